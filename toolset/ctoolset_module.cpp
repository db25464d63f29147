#include "toolset/ctoolset_module.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/annot_toolset.h"
#include "toolset/tool_chest.h"
#include "toolset/toolset_tool_handler.h"
#include "toolset/ts_manage_dlg.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

constexpr int kPanelClientWidth = 200;

void SetText(KS_ByteString out, const std::string& text) { host::ByteStringSet(out, text.data(), text.size()); }

// The toolset titled `title` among the loaded ones.
std::shared_ptr<CAnnot_ToolSet> ToolSetTitled(const std::string& title) {
  const std::u16string wanted = ks::ToUtf16(title);
  for (const auto& set : CAnnot_ToolSetMgr::Get().ToolSets())
    if (set && (set->title == wanted || ShownTitle(*set) == wanted)) return set;
  return nullptr;
}

// Captures every selected annotation of the current document into `set`,
// each from its own page. How many were added.
int CaptureSelection(CAnnot_ToolSet& set, std::string* why) {
  KA_Document doc = host::AppGetCurrentDocument();
  KPD_Document pdf = doc ? host::AppDocGetPdfDocument(doc) : nullptr;
  if (!pdf) {
    *why = "no document is open";
    return 0;
  }
  int added = 0;
  const int32_t selected = host::AppDocSelectionCount(doc);
  for (int32_t i = 0; i < selected; ++i) {
    KA_Annot annot = host::AppDocGetSelected(doc, i);
    const int32_t pageIndex = annot ? host::AnnotGetPageIndex(annot) : -1;
    KPD_Page page = pageIndex >= 0 ? host::DocGetPage(pdf, pageIndex) : nullptr;
    const int32_t at = page ? host::PageFindAnnot(page, host::AnnotGetDict(annot)) : -1;
    std::string error;
    if (at >= 0 && set.AddTool(page, at, &error)) ++added;
    else if (!error.empty()) *why = error;
  }
  if (selected == 0) *why = "nothing is selected";
  return added;
}

// What the chest shows as a tool's name: the subject of its annotation,
// else the kind of annotation it makes.
std::string ShownToolName(const CAnnot_Tool& tool) {
  if (KPD_Dictionary dict = tool.Dictionary()) {
    host::WideString subject;
    if (KPD_Object o = host::DictGet(dict, "/Subj"); o && host::StringObjectGetText(o, subject.get()) &&
                                                      !subject.str().empty())
    {
      std::string text = ks::ToUtf8(subject.str());
      for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
      return text;
    }
  }
  const std::string prefix = kToolTypePrefix;
  return tool.type.rfind(prefix, 0) == 0 ? tool.type.substr(prefix.size()) : tool.type;
}

// Panel commands of scripts: "click SET TOOL", "toggle SET", "zoomin",
// "zoomout", "delete SET TOOL", "top SET TOOL", "show", and "manage" (the
// header button that opens the manage-toolsets dialog). The page of annot
// serve adds what the manage dialog and the context menu do one at a time:
// "create TITLE", "rename SET TITLE", "remove SET" (the toolset and its
// file), "capture SET" (the current document's selection, as tools) and
// "move SET TOOL N" (to position N, from 0).
int32_t PanelCommand(void* cd, int32_t argc, const char* const* argv, KS_ByteString error) {
  auto* panel = static_cast<CToolChestPanel*>(cd);
  std::vector<std::string> a(argv, argv + argc);
  auto fail = [&](const std::string& why) {
    SetText(error, why);
    return 0;
  };
  if (a.empty()) return fail("no panel command");
  // The panel repaints after every command, whatever it did.
  struct Repaint {
    CToolChestPanel* panel;
    ~Repaint() { panel->Paint(host::PanelGetDevice(kToolChestPanelName)); }
  } repaint{panel};
  const std::string& verb = a[0];
  // The panel shows what other processes stored since, too.
  if (verb == "show" && a.size() == 1) {
    CAnnot_ToolSetMgr::Get().Refresh();
    return 1;
  }
  if (verb == "manage" && a.size() == 1) {
    CTS_ManageToolBoxDlg(nullptr).DoModal();
    return 1;
  }
  if (verb == "zoomin" && a.size() == 1) return panel->ZoomIn() ? 1 : fail("the items are as large as they get");
  if (verb == "zoomout" && a.size() == 1) return panel->ZoomOut() ? 1 : fail("the items are as small as they get");
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  if (verb == "create" && a.size() == 2) {
    std::string why;
    if (!mgr.CreateToolSet(ks::ToUtf16(a[1]), &why)) return fail(why);
    mgr.SavePreferences();
    panel->Rebuild();
    return 1;
  }
  if ((verb == "rename" && a.size() == 3) || ((verb == "remove" || verb == "capture") && a.size() == 2)) {
    auto set = ToolSetTitled(a[1]);
    if (!set) return fail("no toolset '" + a[1] + "' in the tool chest");
    std::string why;
    if (verb == "rename") {
      if (ks::ToUtf16(a[2]).find_first_not_of(u" \t") == std::u16string::npos) return fail("a toolset needs a title");
      if (!mgr.RenameToolSet(*set, ks::ToUtf16(a[2]), &why)) return fail(why);
      mgr.SavePreferences();
      panel->Rebuild();
      return 1;
    }
    if (verb == "remove") return mgr.DeleteToolSet(set->filePath, &why) ? 1 : fail(why);
    if (CaptureSelection(*set, &why) == 0) return fail(why.empty() ? "the selection cannot be captured" : why);
    return SaveToolSetChanges(*set) ? 1 : fail("cannot write " + ks::ToUtf8(set->filePath));
  }
  if (verb == "move" && a.size() == 4) {
    auto set = ToolSetTitled(a[1]);
    auto tool = set ? set->FindTool(ks::ToUtf16(a[2])) : nullptr;
    char* end = nullptr;
    const long position = std::strtol(a[3].c_str(), &end, 10);
    if (!tool || a[3].empty() || *end || position < 0) return fail("no tool '" + a[2] + "' to move in '" + a[1] + "'");
    set->MoveTool(tool.get(), static_cast<size_t>(position));
    return SaveToolSetChanges(*set) ? 1 : fail("cannot write " + ks::ToUtf8(set->filePath));
  }
  if (verb == "toggle" && a.size() == 2)
    return panel->ToggleGroup(ks::ToUtf16(a[1])) ? 1 : fail("no toolset '" + a[1] + "' in the tool chest");
  if (a.size() != 3) return fail("unknown tool chest command '" + verb + "'");
  std::u16string set = ks::ToUtf16(a[1]), tool = ks::ToUtf16(a[2]);
  if (verb == "click" && !panel->Enabled())
    return fail("the tool chest is disabled: no document is open or it does not allow changing annotations");
  if (verb == "click") return panel->ClickItem(set, tool) ? 1 : fail("no tool '" + a[2] + "' to pick in '" + a[1] + "'");
  if (verb == "delete") return panel->Menu(set, tool, ToolChestMenu::kDelete) ? 1 : fail("no tool '" + a[2] + "'");
  if (verb == "top") return panel->Menu(set, tool, ToolChestMenu::kMoveToTop) ? 1 : fail("no tool '" + a[2] + "'");
  return fail("unknown tool chest command '" + verb + "'");
}

int32_t PanelDescribe(void* cd, KS_ByteString out) {
  auto* panel = static_cast<CToolChestPanel*>(cd);
  std::string text = "items " + std::to_string(panel->ItemWidth()) + (panel->CanZoomIn() ? "" : " largest") +
                     (panel->CanZoomOut() ? "" : " smallest") + "\n";
  // Each item is followed by the name it shows.
  std::vector<const CAnnot_Tool*> items;
  for (const auto& g : panel->Groups())
    if (g.Expanded())
      for (const auto& item : g.items) items.push_back(item.tool.get());
  size_t next = 0;
  for (const std::string& line : panel->Describe()) {
    text += line + "\n";
    if (line.rfind("  item ", 0) == 0 && next < items.size()) text += "    shown " + ShownToolName(*items[next++]) + "\n";
  }
  SetText(out, text);
  return 1;
}

// The visible preferences in list order, read first when none are loaded.
std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> VisiblePreferences() {
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  if (mgr.Preferences().empty()) mgr.Reload();
  std::vector<std::shared_ptr<CAnnot_ToolSetPreference>> visible;
  for (const auto& pref : mgr.Preferences())
    if (pref && pref->visible) visible.push_back(pref);
  return visible;
}

}  // namespace

std::vector<std::u16string> CToolsetExtensionAccess::VisibleTitles() {
  std::vector<std::u16string> titles;
  for (const auto& pref : VisiblePreferences())
    titles.push_back(!pref->title.empty() || !pref->toolset ? pref->title : ShownTitle(*pref->toolset));
  return titles;
}

bool CToolsetExtensionAccess::AddSelection(int32_t index, KPD_Page page) {
  auto visible = VisiblePreferences();
  if (index < 0 || static_cast<size_t>(index) >= visible.size() || !page) return false;
  const std::shared_ptr<CAnnot_ToolSet> set = visible[static_cast<size_t>(index)]->toolset;
  if (!set) return false;  // the list names a file that did not load
  KA_Document doc = host::AppDocFromPdfDocument(host::DocOfObject(reinterpret_cast<KPD_Object>(page)));
  if (!doc) return false;
  bool added = false;
  const int32_t selected = host::AppDocSelectionCount(doc);
  for (int32_t i = 0; i < selected; ++i) {
    KA_Annot annot = host::AppDocGetSelected(doc, i);
    const int32_t at = annot ? host::PageFindAnnot(page, host::AnnotGetDict(annot)) : -1;
    // A selected annotation of another page is not captured "for this page".
    if (at >= 0 && set->AddTool(page, at)) added = true;
  }
  if (added) SaveToolSetChanges(*set);
  return true;
}

CToolset_Module::CToolset_Module() = default;
CToolset_Module::~CToolset_Module() {
  if (TheApp().ToolsetAccess() == &access_) TheApp().SetToolsetAccess(nullptr);
}

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
  UpdateEnabled();
  documentRecord_ = MakeDocEventRecord(&documentEvents_);
  host::AppDocRegisterEvents(&documentRecord_);
  handler_->SetPreviews(panel_->Previews());
  record_ = {sizeof(KS_PanelCallbacks), panel_.get(), &PanelCommand, &PanelDescribe};
  host::PanelRegister(kToolChestPanelName, &record_);
  TheApp().SetToolsetAccess(&access_);
}

void CToolset_Module::Exit() {
  if (TheApp().ToolsetAccess() == &access_) TheApp().SetToolsetAccess(nullptr);
  if (!panel_) return;
  host::AppDocUnregisterEvents(&documentRecord_);
  host::PanelUnregister(kToolChestPanelName);
  host::PrefSetInt(u"ToolChestPanel", u"ItemWidth", panel_->ItemWidth());
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  mgr.SaveAll();
  mgr.RemoveEventHandler(panel_.get());
  handler_.reset();
  panel_.reset();
}

void CToolset_Module::UpdateEnabled() {
  if (!panel_) return;
  const bool enabled = CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits();
  if (enabled == panel_->Enabled()) return;
  panel_->SetEnabled(enabled);
  if (!enabled && handler_) {
    // An armed tool has nothing left to place on.
    handler_->ClearTool();
    panel_->ClearSelection();
  }
  panel_->Paint(host::PanelGetDevice(kToolChestPanelName));
}

std::unique_ptr<IAnnot_Module> MakeToolsetModule() { return std::make_unique<CToolset_Module>(); }

}  // namespace AnnotationPlugin
