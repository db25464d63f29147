#include "comment/ccm_module.h"

#include <cctype>
#include <string>

#include "comment/ccm_comment_tool.h"
#include "comment/ccm_style_handler.h"
#include "comment/ccm_tool_table.h"
#include "plugin/host_binding.h"

namespace AnnotationComment {

namespace Host = ::ks::host;
namespace {

constexpr char kCommentCategory[] = "Ribbon_Category_Comment";

struct PanelRow {
  const char* name;
  const char* titleKey;
  std::vector<CommentGesture> gestures;
};

const std::vector<PanelRow>& Panels() {
  static const std::vector<PanelRow> panels = {
      {"Comment_Panel_Shapes", "IDS_EDITOR_PANEL_SHAPES", {CommentGesture::kBox, CommentGesture::kLine, CommentGesture::kVertices,
                                           CommentGesture::kCallout}},
      {"Comment_Panel_Draw", "IDS_EDITOR_PANEL_DRAW", {CommentGesture::kFreehand}},
      {"Comment_Panel_Text", "IDS_EDITOR_PANEL_TEXT", {CommentGesture::kTextBox, CommentGesture::kTypewriter, CommentGesture::kNote}},
      {"Comment_Panel_Markup", "IDS_EDITOR_PANEL_MARKUP", {CommentGesture::kTextMarkup, CommentGesture::kCaret}},
      {"Comment_Panel_Stamp", "IDS_EDITOR_PANEL_STAMP", {CommentGesture::kStamp, CommentGesture::kAttach}},
  };
  return panels;
}

void ArmTool(void* data, KA_RibbonElement) {
  auto* tool = static_cast<CCM_CommentTool*>(data);
  if (tool->HostTool()) Host::AppSetCurrentTool(tool->HostTool(), 1);
}

// A stamp item: the stamp's name is the item's id after the prefix.
constexpr char kStampItemPrefix[] = "Button_Comment_Stamp_";

struct StampItem {
  CCM_CommentTool* tool;
  std::string name;
};

void PickStamp(void* data, KA_RibbonElement) {
  auto* item = static_cast<StampItem*>(data);
  item->tool->SetStampName(item->name);
  if (item->tool->HostTool()) Host::AppSetCurrentTool(item->tool->HostTool(), 1);
}

// The last item of the stamps: a text of the user's own, asked for.
constexpr char kCustomStampId[] = "Button_Comment_StampCustom";

void AskCustomStamp(void* data, KA_RibbonElement) {
  auto* tool = static_cast<CCM_CommentTool*>(data);
  if (tool->AskStampText() && tool->HostTool()) Host::AppSetCurrentTool(tool->HostTool(), 1);
}

// The stamps the tab offers at once; every standard name (and a text of
// the user's own) is the tool's "StampName" preference.
const std::vector<std::string>& RibbonStampNames() {
  static const std::vector<std::string> names = {"Approved", "NotApproved", "Draft", "Final", "Confidential"};
  return names;
}

// "NotApproved" is titled by "IDS_EDITOR_STAMP_NOTAPPROVED".
std::string StampTitleKey(const std::string& name) {
  std::string key = "IDS_EDITOR_STAMP_";
  for (char c : name) key += char(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

constexpr char kStampsKey[] = "IDS_EDITOR_STAMPS";
constexpr char kCustomStampKey[] = "IDS_EDITOR_STAMP_CUSTOM";

std::vector<std::unique_ptr<StampItem>>& StampItems() {
  static std::vector<std::unique_ptr<StampItem>> items;
  return items;
}

}  // namespace

CCM_CommentModule::CCM_CommentModule(KA_Frame frame) {
  for (const CommentToolInfo& info : CommentTools()) {
    auto tool = std::make_unique<CCM_CommentTool>(info);
    tool->SetFrame(frame);
    tool->Register();
    tools_.push_back(std::move(tool));
  }
  styles_ = std::make_unique<CCM_StyleHandler>();
  if (frame) BuildRibbon(frame);
  docEvents_.size = sizeof docEvents_;
  docEvents_.clientData = this;
  KS_RECORD_POSITION(docEvents_, KS_DOCEVENT_WILL_CLOSE) = reinterpret_cast<void*>(&CCM_CommentModule::WillClose);
  Host::AppDocRegisterEvents(&docEvents_);
}

void CCM_CommentModule::WillClose(void* module, KA_Document doc) {
  for (const auto& tool : static_cast<CCM_CommentModule*>(module)->tools_) tool->ForgetDocument(doc);
}

CCM_CommentModule::~CCM_CommentModule() {
  Host::AppDocUnregisterEvents(&docEvents_);
  StampItems().clear();
  tools_.clear();
  styles_.reset();
}

std::vector<std::string> CCM_CommentModule::TextKeys() {
  std::vector<std::string> keys;
  for (const PanelRow& row : Panels()) keys.push_back(row.titleKey);
  for (const CommentToolInfo& info : CommentTools()) {
    keys.push_back(info.titleKey);
    keys.push_back(std::string(info.titleKey) + "_TIP");
  }
  for (const std::string& name : RibbonStampNames()) keys.push_back(StampTitleKey(name));
  for (const std::string key : {kStampsKey, kCustomStampKey}) {
    keys.push_back(key);
    keys.push_back(key + "_TIP");
  }
  for (const char* key : CommentCaptionKeys()) keys.push_back(key);
  return keys;
}

void CCM_CommentModule::BuildRibbon(KA_Frame frame) {
  KA_RibbonElement category = Host::RibbonGetCategory(frame, kCommentCategory);
  if (!category) return;
  int position = 0;
  for (const PanelRow& row : Panels()) {
    KA_RibbonElement panel = Host::RibbonFindPanel(category, row.name);
    if (!panel) panel = Host::RibbonAddPanel(category, row.name, CommentText(row.titleKey).c_str(), position);
    ++position;
    if (!panel) continue;
    for (const auto& tool : tools_) {
      const CommentToolInfo& info = tool->Info();
      bool here = false;
      for (CommentGesture g : row.gestures) here = here || g == info.gesture;
      if (!here) continue;
      KA_RibbonElement button = Host::RibbonAddControl(panel, KS_RIBBON_BUTTON, info.button,
                                                       CommentToolTitle(info).c_str(), CommentToolTip(info).c_str());
      Host::RibbonSetPressProc(button, ArmTool, tool.get());
      if (info.gesture != CommentGesture::kStamp) continue;
      // The standard stamps, each a menu item that picks it and arms the tool.
      KA_RibbonElement menu =
          Host::RibbonAddControl(panel, KS_RIBBON_MENU_BUTTON, "Button_Comment_StampNames",
                                 CommentText(kStampsKey).c_str(), CommentText(std::string(kStampsKey) + "_TIP").c_str());
      for (const std::string& name : RibbonStampNames()) {
        auto item = std::make_unique<StampItem>(StampItem{tool.get(), name});
        const std::string id = kStampItemPrefix + name;
        const std::u16string title = CommentText(StampTitleKey(name));
        KA_RibbonElement control = Host::RibbonAddControl(menu, KS_RIBBON_BUTTON, id.c_str(), title.c_str(), title.c_str());
        Host::RibbonSetPressProc(control, PickStamp, item.get());
        StampItems().push_back(std::move(item));
      }
      KA_RibbonElement custom =
          Host::RibbonAddControl(menu, KS_RIBBON_BUTTON, kCustomStampId, CommentText(kCustomStampKey).c_str(),
                                 CommentText(std::string(kCustomStampKey) + "_TIP").c_str());
      Host::RibbonSetPressProc(custom, AskCustomStamp, tool.get());
    }
  }
}

}  // namespace AnnotationComment
