#include "comment/ccm_module.h"

#include <string>

#include "comment/ccm_comment_tool.h"
#include "comment/ccm_style_handler.h"
#include "plugin/host_binding.h"

namespace AnnotationComment {

namespace Host = ::ks::host;
namespace {

constexpr char kCommentCategory[] = "Ribbon_Category_Comment";

struct PanelRow {
  const char* name;
  const char16_t* title;
  std::vector<CommentGesture> gestures;
};

const std::vector<PanelRow>& Panels() {
  static const std::vector<PanelRow> panels = {
      {"Comment_Panel_Shapes", u"Shapes", {CommentGesture::kBox, CommentGesture::kLine, CommentGesture::kVertices,
                                           CommentGesture::kCallout}},
      {"Comment_Panel_Draw", u"Draw", {CommentGesture::kFreehand}},
      {"Comment_Panel_Text", u"Text", {CommentGesture::kTextBox, CommentGesture::kTypewriter, CommentGesture::kNote}},
      {"Comment_Panel_Markup", u"Text Markup", {CommentGesture::kTextMarkup, CommentGesture::kCaret}},
      {"Comment_Panel_Stamp", u"Stamps and Files", {CommentGesture::kStamp, CommentGesture::kAttach}},
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

CCM_CommentTool* CCM_CommentModule::Tool(const std::string& name) const {
  for (const auto& t : tools_)
    if (t->GetName() == name) return t.get();
  return nullptr;
}

void CCM_CommentModule::BuildRibbon(KA_Frame frame) {
  KA_RibbonElement category = Host::RibbonGetCategory(frame, kCommentCategory);
  if (!category) return;
  int position = 0;
  for (const PanelRow& row : Panels()) {
    KA_RibbonElement panel = Host::RibbonFindPanel(category, row.name);
    if (!panel) panel = Host::RibbonAddPanel(category, row.name, row.title, position);
    ++position;
    if (!panel) continue;
    for (const auto& tool : tools_) {
      const CommentToolInfo& info = tool->Info();
      bool here = false;
      for (CommentGesture g : row.gestures) here = here || g == info.gesture;
      if (!here) continue;
      KA_RibbonElement button = Host::RibbonAddControl(panel, KS_RIBBON_BUTTON, info.button, info.title, info.title);
      Host::RibbonSetPressProc(button, ArmTool, tool.get());
      if (info.gesture != CommentGesture::kStamp) continue;
      // The standard stamps, each a menu item that picks it and arms the tool.
      KA_RibbonElement menu = Host::RibbonAddControl(panel, KS_RIBBON_MENU_BUTTON, "Button_Comment_StampNames",
                                                     u"Stamps", u"Choose the stamp to place");
      for (const std::string& name : RibbonStampNames()) {
        auto item = std::make_unique<StampItem>(StampItem{tool.get(), name});
        const std::string id = kStampItemPrefix + name;
        // "NotApproved" reads "Not Approved".
        std::u16string title;
        for (char c : name) {
          if (!title.empty() && c >= 'A' && c <= 'Z') title += u' ';
          title += char16_t(c);
        }
        KA_RibbonElement control = Host::RibbonAddControl(menu, KS_RIBBON_BUTTON, id.c_str(), title.c_str(), title.c_str());
        Host::RibbonSetPressProc(control, PickStamp, item.get());
        StampItems().push_back(std::move(item));
      }
      KA_RibbonElement custom = Host::RibbonAddControl(menu, KS_RIBBON_BUTTON, kCustomStampId, u"Custom…",
                                                       u"Type the text of a stamp of your own");
      Host::RibbonSetPressProc(custom, AskCustomStamp, tool.get());
    }
  }
}

}  // namespace AnnotationComment
