#include "measure/cma_page_scale_dlg.h"

#include <cmath>

#include "kwannotation/kw_viewport.h"
#include "measure/cma_measure_tool.h"
#include "measure/cma_typed_ratio.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"
#include "tessel/dialog.h"
#include "tessel/tr_string.h"

namespace AnnotationPlugin {
namespace {

constexpr char16_t kLayout[] = u"ma_dlg_page_scale.ui.kw";
constexpr int kAddPreset = 3;
constexpr int kDeletePreset = 4;
constexpr int kCalibrate = 5;
// A dialog answered with nothing but add and delete ends at some point.
constexpr int kMostRounds = 1000;

std::u16string TranslateIn(const std::string& table, const std::string& key) {
  static bool loaded = false;
  if (!loaded) {
    Widgets::LoadStrings("Globalwnd");
    loaded = true;
  }
  std::u16string text = Tessel::TrString(table, key, u"").ToString();
  return text.empty() ? std::u16string(key.begin(), key.end()) : text;
}

// An index typed into a combo box: digits with at most one point (a comma
// is taken as the point), blanks around allowed.
std::optional<double> TypedNumber(std::u16string text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t') continue;
    if (c == u',') c = u'.';
    if (c > 0x7F) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  if (ascii.empty() || ascii.size() > 32) return std::nullopt;
  int points = 0;
  for (char c : ascii) {
    if (c == '.') ++points;
    else if (c < '0' || c > '9') return std::nullopt;
  }
  if (points > 1 || ascii == ".") return std::nullopt;
  double whole = 0, scale = 1;
  bool fraction = false;
  for (char c : ascii) {
    if (c == '.') {
      fraction = true;
      continue;
    }
    if (fraction) whole += (c - '0') * (scale /= 10);
    else whole = whole * 10 + (c - '0');
  }
  return std::isfinite(whole) ? std::optional<double>(whole) : std::nullopt;
}

template <class T>
std::shared_ptr<T> Get(Tessel::Dialog& d, const std::u16string& name) {
  return d.GetElement<T>(name);
}

void Fill(Tessel::ComboBox* combo, const std::vector<std::u16string>& items, int selected) {
  if (!combo) return;
  combo->ResetContent();
  for (const auto& item : items) combo->AddItem(item);
  combo->SetCurSel(selected);
}

// The chosen index of a combo box: its selection, or its text read as an
// index (an answer may give either).
int Chosen(Tessel::ComboBox* combo) {
  if (!combo) return -1;
  if (combo->GetCurSel() >= 0) return combo->GetCurSel();
  const std::optional<double> n = TypedNumber(combo->GetText());
  return n && *n < combo->GetCount() && *n == std::floor(*n) ? static_cast<int>(*n) : -1;
}

// The unit key of a unit combo box (its text may be a key or a display name).
std::u16string UnitOf(Tessel::ComboBox* combo, UnitList list) {
  return combo ? UnitKeyFromText(combo->GetText(), list) : std::u16string();
}

void SelectUnit(Tessel::ComboBox* combo, const std::u16string& key, UnitList list) {
  if (!combo) return;
  const int index = kwannotation::UnitIndex(key, list);
  if (index >= 0 && index < combo->GetCount()) combo->SetCurSel(index);
  else combo->SetText(key);
}

std::u16string Text(double value) { return kwannotation::RatioNumberText(value); }

// The ratio text of the page's viewport 0, which holds its current scale.
std::optional<std::u16string> PageRatioText(KA_Document doc, int pageIndex) {
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Page page = pdf ? Host::DocGetPage(pdf, pageIndex) : nullptr;
  if (!page) return std::nullopt;
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
  kwannotation::CKW_MeasureDict m = vp0 ? vp0->GetMeasureDict() : kwannotation::CKW_MeasureDict();
  if (!m) return std::nullopt;
  return m->GetRatioText();
}

// The page's current scale.
std::optional<kwannotation::ParsedRatio> PageRatio(KA_Document doc, int pageIndex) {
  const std::optional<std::u16string> text = PageRatioText(doc, pageIndex);
  if (!text) return std::nullopt;
  return kwannotation::ParseRatioText(*text);
}

// The page's ratio text as its four parts ("10 cm = 5 m"); nothing when it
// does not read as a ratio.
std::optional<MeasureRatioPair> PageRatioParts(KA_Document doc, int pageIndex) {
  const std::optional<std::u16string> read = PageRatioText(doc, pageIndex);
  if (!read || !kwannotation::ParseRatioText(*read)) return std::nullopt;
  const std::u16string& text = *read;
  // Each side is a number and a unit.
  auto side = [](std::u16string_view part, double* number, std::u16string* unit) {
    while (!part.empty() && part.front() == u' ') part.remove_prefix(1);
    size_t digits = 0;
    while (digits < part.size() && ((part[digits] >= u'0' && part[digits] <= u'9') || part[digits] == u'.')) ++digits;
    const std::optional<double> n = TypedNumber(std::u16string(part.substr(0, digits)));
    std::u16string_view rest = part.substr(digits);
    while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == u' ') rest.remove_suffix(1);
    if (!n || rest.empty()) return false;
    *number = *n;
    *unit = std::u16string(rest);
    return true;
  };
  const size_t eq = text.find(u'=');
  MeasureRatioPair pair;
  if (eq == std::u16string::npos || !side(std::u16string_view(text).substr(0, eq), &pair.paperNumber, &pair.paperUnit) ||
      !side(std::u16string_view(text).substr(eq + 1), &pair.realNumber, &pair.realUnit))
    return std::nullopt;
  return pair;
}

// The ratio of one section: a preset, or the four custom fields. Unusable
// values come back as they are, for the validation to refuse.
MeasureRatioPair ReadSection(Tessel::Dialog& d, const std::u16string& s, const std::vector<ScalePreset>& presets) {
  auto custom = Get<Tessel::CheckBox>(d, u"radioButtonCustom" + s);
  if (!custom || !custom->GetCheck()) {
    const int chosen = Chosen(Get<Tessel::ComboBox>(d, u"comboBoxPreset" + s).get());
    if (chosen >= 0 && chosen < static_cast<int>(presets.size())) return presets[chosen].ratio;
    return MeasureRatioPair{0, u"", 0, u""};
  }
  MeasureRatioPair r;
  auto left = Get<Tessel::Edit>(d, u"lineEditLeftValue" + s);
  auto right = Get<Tessel::Edit>(d, u"lineEditRightValue" + s);
  const std::optional<TypedLength> paper = left ? ParseTypedLength(left->GetText()) : std::nullopt;
  const std::optional<TypedLength> real = right ? ParseTypedLength(right->GetText()) : std::nullopt;
  r.paperNumber = paper ? paper->value : 0;
  r.realNumber = real ? real->value : 0;
  r.paperUnit = UnitOf(Get<Tessel::ComboBox>(d, u"comboBoxLeftUnit" + s).get(), UnitList::Paper);
  r.realUnit = UnitOf(Get<Tessel::ComboBox>(d, u"comboBoxRightUnit" + s).get(), UnitList::Real);
  // A value written in feet and inches (1/8", 1'-0") brings its unit; on
  // paper, inches are plain inches.
  if (paper && !paper->unit.empty()) r.paperUnit = paper->unit == u"in\"" ? u"in" : paper->unit;
  if (real && !real->unit.empty()) r.realUnit = real->unit;
  return r;
}

std::vector<ScalePreset> AllPresets(const std::vector<MeasureRatioPair>& custom) {
  std::vector<ScalePreset> all = BuiltInScalePresets();
  for (const auto& r : custom) all.push_back({PresetText(r), r, true});
  return all;
}

}  // namespace

void ShowScaleMessage(const ScaleMessage& message) {
  if (message.empty()) return;
  const std::u16string text = TranslateIn(message.table, message.key);
  const std::u16string title = Widgets::Translate("IDS_STR_SCALE_TITLE");
  Host::MessageBox(text.c_str(), title.c_str(), 0);
}

CPageScaleDlg::CPageScaleDlg(KA_Document doc, int currentPage, std::optional<double> calibratedLength)
    : doc_(doc), calibrated_(calibratedLength), model_(ScaleDataModel::Default()) {
  model_.currentPage = currentPage;
}

PageScaleResult CPageScaleDlg::Run() {
  Tessel::Dialog d(kLayout, nullptr);
  std::vector<MeasureRatioPair> custom = LoadCustomPresets();
  std::vector<ScalePreset> presets = AllPresets(custom);
  std::vector<std::u16string> presetNames;
  auto refreshPresets = [&] {
    presets = AllPresets(custom);
    presetNames.clear();
    for (const auto& p : presets) presetNames.push_back(p.name);
    for (const std::u16string s : {u"", u"_Y"}) {
      auto combo = Get<Tessel::ComboBox>(d, u"comboBoxPreset" + s);
      const int keep = combo ? combo->GetCurSel() : -1;
      Fill(combo.get(), presetNames,
           keep >= 0 && keep < static_cast<int>(presets.size()) ? keep : DefaultScalePresetIndex());
    }
  };

  // The first showing is filled from the defaults; later ones keep what
  // the user left.
  bool filled = false;
  d.SetInitHook([&](Tessel::Dialog& dlg) {
    if (filled) return;
    filled = true;
    dlg.SetWindowTitle(Widgets::Translate("IDS_STR_SCALE_TITLE"));
    Fill(Get<Tessel::ComboBox>(dlg, u"comboBoxPages").get(),
         {Widgets::Translate("IDS_MA_PAGESCALE_MODE_ALLPAGES"), Widgets::Translate("IDS_MA_PAGESCALE_MODE_CURRENTPAGE"),
          Widgets::Translate("IDS_MA_PAGESCALE_MODE_CUSTOM_RANGE")},
         static_cast<int>(PageScope::kCurrentPage));
    if (auto l = Get<Tessel::Label>(dlg, u"labelPageSummary"))
      l->SetText(Widgets::Translate("IDS_MA_PAGESCALE_PAGESUMMARY_CURRENT"));
    if (auto l = Get<Tessel::Label>(dlg, u"labelInfo"))
      l->SetText(Widgets::Translate("IDS_PAGESCALE_LOGICALPAGE_INFO"));
    if (auto l = Get<Tessel::Label>(dlg, u"labelXScale")) l->SetText(Widgets::Translate("IDS_MA_PAGESCALE_XSCALE"));
    if (auto l = Get<Tessel::Label>(dlg, u"labelYScale")) l->SetText(Widgets::Translate("IDS_MA_PAGESCALE_YSCALE"));
    std::vector<std::u16string> precision(kwannotation::PrecisionChoices().begin(),
                                          kwannotation::PrecisionChoices().end());
    Fill(Get<Tessel::ComboBox>(dlg, u"comboBoxPrecision").get(), precision, model_.scale.precision);
    // The precision has no label of its own in the layout: its tooltip names it.
    if (auto c = Get<Tessel::ComboBox>(dlg, u"comboBoxPrecision"))
      c->SetToolTip(Widgets::Translate("IDS_MEASURE_PROP_PRECISION"));
    for (const std::u16string s : {u"", u"_Y"}) {
      Fill(Get<Tessel::ComboBox>(dlg, u"comboBoxLeftUnit" + s).get(), UnitDisplayNames(UnitList::Paper), -1);
      Fill(Get<Tessel::ComboBox>(dlg, u"comboBoxRightUnit" + s).get(), UnitDisplayNames(UnitList::Real), -1);
      SelectUnit(Get<Tessel::ComboBox>(dlg, u"comboBoxLeftUnit" + s).get(), model_.scale.x.paperUnit, UnitList::Paper);
      SelectUnit(Get<Tessel::ComboBox>(dlg, u"comboBoxRightUnit" + s).get(), model_.scale.x.realUnit, UnitList::Real);
    }
    refreshPresets();
    const std::optional<kwannotation::ParsedRatio> current = PageRatio(doc_, model_.currentPage);
    if (auto l = Get<Tessel::Label>(dlg, u"labelRecalibrate")) {
      l->SetText(Widgets::Translate("IDS_PAGE_SCALE_RECALIBRATE"));
      l->Show(current.has_value());
    }
    // A page with a scale opens on it: its preset when one gives the same
    // ratio, and the custom fields.
    const std::optional<MeasureRatioPair> parts = current ? PageRatioParts(doc_, model_.currentPage) : std::nullopt;
    if (!calibrated_ && parts) {
      int same = -1;
      for (size_t i = 0; i < presets.size() && same < 0; ++i) {
        const MeasureRatioPair& p = presets[i].ratio;
        const std::optional<kwannotation::ParsedRatio> r = kwannotation::ParseRatioText(
            Text(p.paperNumber) + u" " + p.paperUnit + u" = " + Text(p.realNumber) + u" " + p.realUnit);
        if (r && std::fabs(r->ratio - current->ratio) <= 1e-9 * std::fabs(current->ratio)) same = static_cast<int>(i);
      }
      // The choice of preset or custom stays as it was: a script that
      // answers with a preset alone still gets that preset.
      if (same >= 0)
        if (auto combo = Get<Tessel::ComboBox>(dlg, u"comboBoxPreset")) combo->SetCurSel(same);
      if (auto e = Get<Tessel::Edit>(dlg, u"lineEditLeftValue")) e->SetText(Text(parts->paperNumber));
      if (auto e = Get<Tessel::Edit>(dlg, u"lineEditRightValue")) e->SetText(Text(parts->realNumber));
      SelectUnit(Get<Tessel::ComboBox>(dlg, u"comboBoxLeftUnit").get(),
                 UnitKeyFromText(parts->paperUnit, UnitList::Paper), UnitList::Paper);
      SelectUnit(Get<Tessel::ComboBox>(dlg, u"comboBoxRightUnit").get(),
                 UnitKeyFromText(parts->realUnit, UnitList::Real), UnitList::Real);
    }
    if (calibrated_) {
      // The measured length is the paper side, in points so that it is
      // exact; the user types the real length it stands for.
      if (auto c = Get<Tessel::CheckBox>(dlg, u"radioButtonCustom")) c->SetCheck(true);
      if (auto c = Get<Tessel::CheckBox>(dlg, u"radioButtonPreset")) c->SetCheck(false);
      if (auto e = Get<Tessel::Edit>(dlg, u"lineEditLeftValue")) e->SetText(Text(*calibrated_));
      SelectUnit(Get<Tessel::ComboBox>(dlg, u"comboBoxLeftUnit").get(), u"pt", UnitList::Paper);
      if (auto e = Get<Tessel::Edit>(dlg, u"lineEditRightValue")) e->SetText(u"");
      if (auto b = Get<Tessel::Button>(dlg, u"pushButtonCalibrate")) b->Show(false);
    }
  });

  for (int round = 0; round < kMostRounds; ++round) {
    const int result = d.DoModal();
    if (result == Tessel::kDialogCancel || result == 0) return PageScaleResult::kCancelled;
    if (result == kCalibrate && !calibrated_) return PageScaleResult::kCalibrate;

    model_.scale.x = ReadSection(d, u"", presets);
    auto separate = Get<Tessel::CheckBox>(d, u"checkBoxSeparateYScale");
    model_.scale.separateY = separate && separate->GetCheck();
    model_.scale.y = model_.scale.separateY ? ReadSection(d, u"_Y", presets) : model_.scale.x;
    model_.scale.precision = Chosen(Get<Tessel::ComboBox>(d, u"comboBoxPrecision").get());

    if (result == kAddPreset || result == kDeletePreset) {
      if (result == kAddPreset) {
        ScaleDataModel check = model_;
        check.scale.separateY = false;
        check.scale.precision = 0;
        if (!check.ValidateScale().empty()) {
          ShowScaleMessage(check.ValidateScale());
          continue;
        }
        custom.push_back(model_.scale.x);
      } else {
        const int chosen = Chosen(Get<Tessel::ComboBox>(d, u"comboBoxPreset").get());
        const int at = chosen - static_cast<int>(BuiltInScalePresets().size());
        if (at < 0 || at >= static_cast<int>(custom.size())) continue;
        custom.erase(custom.begin() + at);
        if (auto combo = Get<Tessel::ComboBox>(d, u"comboBoxPreset")) combo->SetCurSel(DefaultScalePresetIndex());
      }
      if (!SaveCustomPresets(custom)) ShowScaleMessage({"Annotation", "IDS_STR_SAVE_ERROR"});
      custom = LoadCustomPresets();
      refreshPresets();
      continue;
    }
    if (result != Tessel::kDialogOk) return PageScaleResult::kCancelled;

    const ScaleMessage invalid = model_.ValidateScale();
    if (!invalid.empty()) {
      ShowScaleMessage(invalid);
      continue;
    }
    const int scope = Chosen(Get<Tessel::ComboBox>(d, u"comboBoxPages").get());
    model_.scope = scope >= 0 && scope <= 2 ? static_cast<PageScope>(scope) : PageScope::kCurrentPage;
    model_.rangeText.clear();
    if (auto e = Get<Tessel::Edit>(d, u"lineEditPageRangeMac")) model_.rangeText = e->GetText();
    if (auto c = Get<Tessel::ComboBox>(d, u"comboBoxPageRange"); c && model_.rangeText.empty())
      model_.rangeText = c->GetText();
    ScaleMessage rangeError;
    if (!ResolveScopePages(doc_, model_, &pages_, &rangeError)) {
      ShowScaleMessage(rangeError);
      continue;
    }
    if (const ScaleMessage unshowable = CheckScaleShowsValues(doc_, pages_, model_.scale); !unshowable.empty()) {
      ShowScaleMessage(unshowable);
      continue;
    }
    return PageScaleResult::kConfirmed;
  }
  return PageScaleResult::kCancelled;
}

bool CMA_MeasurePageScaleDlg(KA_Document doc, int pageIndex, std::optional<double> calibratedLength,
                             PageScaleResult* result) {
  if (result) *result = PageScaleResult::kCancelled;
  if (!doc) return false;
  CPageScaleDlg dlg(doc, pageIndex, calibratedLength);
  const PageScaleResult r = dlg.Run();
  if (result) *result = r;
  if (r != PageScaleResult::kConfirmed) return false;
  ScaleMessage error;
  const bool grouped = Host::UndoBeginGroup(doc, Widgets::Translate("IDS_STR_UNDO_PAGESCALE").c_str()) != 0;
  const bool applied = ApplyPageScale(doc, dlg.Pages(), dlg.Model().scale, &error);
  if (grouped) Host::UndoEndGroup(doc);
  if (!applied) ShowScaleMessage(error);
  return applied;
}

std::optional<kwannotation::MeasureRatioPair> CMA_MeasureToolBase::TryShowScaleDialog(KA_Document doc, int pageIndex) {
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Page page = pdf ? Host::DocGetPage(pdf, pageIndex) : nullptr;
  if (!page) return std::nullopt;
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
  if (vp0 && vp0->GetMeasureDict().IsValid()) return std::nullopt;
  CPageScaleDlg dlg(doc, pageIndex);
  if (dlg.Run() != PageScaleResult::kConfirmed) return std::nullopt;
  ScaleMessage error;
  const bool grouped = Host::UndoBeginGroup(doc, Widgets::Translate("IDS_STR_UNDO_PAGESCALE").c_str()) != 0;
  const bool applied = ApplyPageScale(doc, dlg.Pages(), dlg.Model().scale, &error);
  if (grouped) Host::UndoEndGroup(doc);
  if (!applied) {
    ShowScaleMessage(error);
    return std::nullopt;
  }
  return dlg.Model().scale.x;
}

}  // namespace AnnotationPlugin
