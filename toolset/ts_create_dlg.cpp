#include "toolset/ts_create_dlg.h"

#include "plugin/widget_binding.h"
#include "tessel/dialog.h"

namespace AnnotationPlugin {
namespace {

constexpr char16_t kLayout[] = u"ts_createtoolboxdlg.ui.kw";
// A dialog answered only with refused titles ends at some point.
constexpr int kMostRounds = 100;

template <class T>
void SetText(Tessel::Dialog& d, const std::u16string& name, const std::u16string& text) {
  if (auto e = d.GetElement<T>(name)) e->SetText(text);
}

}  // namespace

std::u16string TrimTitle(const std::u16string& text) {
  const std::u16string blanks = u" \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::u16string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

CAuiDlgCreateToolBox::CAuiDlgCreateToolBox(PathOf pathOf, Taken taken, void* parent)
    : pathOf_(std::move(pathOf)), taken_(std::move(taken)), parent_(parent) {}

CAuiDlgCreateToolBox::Check CAuiDlgCreateToolBox::Validate(const std::u16string& title) const {
  Check check;
  const std::u16string trimmed = TrimTitle(title);
  check.path = trimmed.empty() || !pathOf_ ? std::u16string() : pathOf_(trimmed);
  if (check.path.empty()) return check;
  if (taken_ && taken_(trimmed, check.path)) {
    check.info = Widgets::Translate("IDS_TS_SELECTTOOLBOX_DUPLICATE_TITLE");
    return check;
  }
  check.ok = true;
  return check;
}

std::optional<std::u16string> CAuiDlgCreateToolBox::Run(const std::u16string& title) {
  Tessel::Dialog d(kLayout, parent_);
  std::u16string current = title;
  // The path, the reason a title is refused and the OK button follow the
  // title as it is typed.
  auto show = [this](Tessel::Dialog& dlg, const std::u16string& text) {
    const Check check = Validate(text);
    SetText<Tessel::Label>(dlg, u"labelPathValue", check.path);
    SetText<Tessel::Label>(dlg, u"labelInfo", check.info);
    if (auto box = dlg.GetElement<Tessel::ButtonBox>(u"buttonBox"))
      if (auto ok = box->GetButton(Tessel::StandardButton::Ok)) ok->Enable(check.ok);
  };
  d.SetInitHook([&](Tessel::Dialog& dlg) {
    dlg.SetWindowTitle(Widgets::Translate("IDS_TS_CREATETOOLBOX_TITLE"));
    SetText<Tessel::Label>(dlg, u"labelTitle", Widgets::Translate("IDS_TS_CREATETOOLBOX_LABEL_TITLE"));
    SetText<Tessel::Label>(dlg, u"labelPath", Widgets::Translate("IDS_TS_CREATETOOLBOX_LABEL_PATH"));
    if (auto box = dlg.GetElement<Tessel::ButtonBox>(u"buttonBox")) {
      if (auto ok = box->GetButton(Tessel::StandardButton::Ok)) ok->SetText(Widgets::Translate("IDS_TS_SELECTTOOLBOX_OK"));
      if (auto cancel = box->GetButton(Tessel::StandardButton::Cancel))
        cancel->SetText(Widgets::Translate("IDS_TS_SELECTTOOLBOX_CANCEL"));
    }
    if (auto edit = dlg.GetElement<Tessel::Edit>(u"lineEditTitle")) {
      edit->SetText(current);
      edit->SetEventProcedure([&dlg, show](Tessel::Element& e, const Tessel::Event& event) {
        if (event.kind != Tessel::EventKind::Change) return false;
        show(dlg, e.GetText());
        return true;
      });
    }
    show(dlg, current);
    dlg.SetFocusToCtrl(u"lineEditTitle");
  });
  for (int round = 0; round < kMostRounds; ++round) {
    if (d.DoModal() != Tessel::kDialogOk) return std::nullopt;
    auto edit = d.GetElement<Tessel::Edit>(u"lineEditTitle");
    current = edit ? edit->GetText() : std::u16string();
    const Check check = Validate(current);
    if (check.ok) return TrimTitle(current);
    // OK is disabled for this title: the user is still in the dialog.
    Tessel::Dialog::TraceValue(u"labelInfo", check.info.empty() ? u"-" : check.info);
  }
  return std::nullopt;
}

}  // namespace AnnotationPlugin
