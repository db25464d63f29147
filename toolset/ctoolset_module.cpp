#include "toolset/ctoolset_module.h"

#include <string>
#include <vector>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/tool_chest.h"
#include "toolset/toolset_tool_handler.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr int kPanelClientWidth = 200;

void SetText(KS_ByteString out, const std::string& text) { host::ByteStringSet(out, text.data(), text.size()); }

// Panel commands of scripts: "click SET TOOL", "toggle SET", "zoomin",
// "zoomout", "delete SET TOOL", "top SET TOOL", "show".
int32_t PanelCommand(void* cd, int32_t argc, const char* const* argv, KS_ByteString error) {
  auto* panel = static_cast<CToolChestPanel*>(cd);
  std::vector<std::string> a(argv, argv + argc);
  auto fail = [&](const std::string& why) {
    SetText(error, why);
    return 0;
  };
  if (a.empty()) return fail("no panel command");
  const std::string& verb = a[0];
  if (verb == "show" && a.size() == 1) return 1;
  if (verb == "zoomin" && a.size() == 1) return panel->ZoomIn() ? 1 : fail("the items are as large as they get");
  if (verb == "zoomout" && a.size() == 1) return panel->ZoomOut() ? 1 : fail("the items are as small as they get");
  if (verb == "toggle" && a.size() == 2)
    return panel->ToggleGroup(ks::ToUtf16(a[1])) ? 1 : fail("no toolset '" + a[1] + "' in the tool chest");
  if (a.size() != 3) return fail("unknown tool chest command '" + verb + "'");
  std::u16string set = ks::ToUtf16(a[1]), tool = ks::ToUtf16(a[2]);
  if (verb == "click") return panel->ClickItem(set, tool) ? 1 : fail("no tool '" + a[2] + "' to pick in '" + a[1] + "'");
  if (verb == "delete") return panel->Menu(set, tool, ToolChestMenu::kDelete) ? 1 : fail("no tool '" + a[2] + "'");
  if (verb == "top") return panel->Menu(set, tool, ToolChestMenu::kMoveToTop) ? 1 : fail("no tool '" + a[2] + "'");
  return fail("unknown tool chest command '" + verb + "'");
}

int32_t PanelDescribe(void* cd, KS_ByteString out) {
  auto* panel = static_cast<CToolChestPanel*>(cd);
  std::string text = "items " + std::to_string(panel->ItemWidth()) + (panel->CanZoomIn() ? "" : " largest") +
                     (panel->CanZoomOut() ? "" : " smallest") + "\n";
  for (const std::string& line : panel->Describe()) text += line + "\n";
  SetText(out, text);
  return 1;
}

}  // namespace

CToolset_Module::CToolset_Module() = default;
CToolset_Module::~CToolset_Module() = default;

void CToolset_Module::Init() {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  mgr.Reload();
  int saved = host::PrefGetInt(u"ToolChestPanel", u"ItemWidth", 40);
  panel_ = std::make_shared<CToolChestPanel>(96, saved, kPanelClientWidth);
  mgr.AddEventHandler(panel_);
  handler_ = std::make_unique<CAnnot_ToolsetToolHandler>();
  handler_->Register();
  CAnnot_ToolsetToolHandler* handler = handler_.get();
  CToolChestPanel* panel = panel_.get();
  panel_->arm = [handler](const std::shared_ptr<CAnnot_ToolSet>& set, const std::shared_ptr<CAnnot_Tool>& tool) {
    handler->SetTool(set, tool);
    host::AppSetCurrentTool(handler->HostTool(), 1);
  };
  handler_->onDeselect = [panel] { panel->ClearSelection(); };
  record_ = {sizeof(KS_PanelCallbacks), panel_.get(), &PanelCommand, &PanelDescribe};
  host::PanelRegister(kToolChestPanelName, &record_);
}

void CToolset_Module::Exit() {
  if (!panel_) return;
  host::PanelUnregister(kToolChestPanelName);
  host::PrefSetInt(u"ToolChestPanel", u"ItemWidth", panel_->ItemWidth());
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  mgr.SaveAll();
  mgr.RemoveEventHandler(panel_.get());
  handler_.reset();
  panel_.reset();
}

std::unique_ptr<IAnnot_Module> MakeToolsetModule() { return std::make_unique<CToolset_Module>(); }

}  // namespace AnnotationPlugin
