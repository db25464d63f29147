// Tools (selector 19) and the application's tool registry (selector 20,
// rows 6 to 10), over the editor's tools.
#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {

// ---- 19: tools ----------------------------------------------------------------

KA_Tool ToolNew(const char* name, const KS_ToolCallbacks* callbacks) {
  return name ? Editor::Get().NewTool(name, callbacks) : nullptr;
}
void ToolRelease(KA_Tool tool) {
  if (Editor::Get().IsValidTool(tool) && !tool->builtIn) Editor::Get().ReleaseTool(tool);
}
int32_t ToolGetName(KA_Tool tool, KS_ByteString out) {
  if (!Editor::Get().IsValidTool(tool)) return 0;
  ByteStringSet(out, tool->name.data(), tool->name.size());
  return 1;
}
void ToolSetCategory(KA_Tool tool, const char16_t* category) {
  if (Editor::Get().IsValidTool(tool)) tool->category = category ? category : u"";
}
void ToolSetGroup(KA_Tool tool, const char16_t* group) {
  if (Editor::Get().IsValidTool(tool)) tool->group = group ? group : u"";
}

// ---- 20: the registered tools and the current one --------------------------------

int32_t AppRegisterTool(KA_Tool tool) { return Editor::Get().RegisterTool(tool); }
int32_t AppUnregisterTool(KA_Tool tool) { return Editor::Get().UnregisterTool(tool); }
KA_Tool AppGetToolByName(const char* name) { return name ? Editor::Get().FindTool(name) : nullptr; }
KA_Tool AppGetCurrentTool() { return Editor::Get().CurrentTool(); }
int32_t AppSetCurrentTool(KA_Tool tool, int32_t persistent) {
  return Editor::Get().SetCurrentTool(tool, persistent != 0);
}

}  // namespace kshost::direct
