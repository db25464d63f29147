// The undo stack of a document as plug-ins add to it (selector 149).
#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {

int32_t UndoAddItem(const char16_t* caption, KA_Document doc, int32_t, const KS_UndoRecord* record) {
  return record && Editor::Get().AddUndo(doc, caption ? caption : u"", *record);
}
int32_t UndoBeginGroup(KA_Document doc, const char16_t* caption) {
  return Editor::Get().BeginUndoGroup(doc, caption ? caption : u"");
}
int32_t UndoEndGroup(KA_Document doc) { return Editor::Get().EndUndoGroup(doc); }

}  // namespace kshost::direct
