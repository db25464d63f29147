#include "measure/cma_format_tab.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "measure/cma_annot_handlers.h"
#include "measure/cma_calibration_tool.h"
#include "measure/cma_measure_export.h"
#include "measure/cma_measure_props.h"
#include "measure/cma_measure_tool.h"
#include "plugin/measure_types.h"
#include "measure/cma_osnap.h"
#include "measure/cma_typed_ratio.h"
#include "measure/cma_page_scale_dlg.h"
#include "measure/cma_units.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"
#include "tessel/dialog.h"

namespace AnnotationPlugin {

namespace {

constexpr char kPrecisionSlider[] = "Measure_Prop_Precision";
constexpr char kSubjectLine[] = "Measure_Prop_Subject";
// The unit menu: one item per real-world unit, "Measure_Prop_Unit_" and
// the unit's place in that list ("Measure_Prop_Unit_8" is metres).
constexpr char kUnitMenu[] = "Measure_Prop_Unit";

std::string UnitItemId(size_t index) { return std::string(kUnitMenu) + "_" + std::to_string(index); }
// The depth of a volume: a button whose title shows it and whose dialog
// changes it.
constexpr char kDepthButton[] = "Measure_Prop_Depth";
constexpr char16_t kDepthLayout[] = u"ma_dlg_depth.ui.kw";
// A dialog answered with values that cannot be used ends at some point.
constexpr int kMostDepthRounds = 100;
void EditDepth();

// The check buttons of the properties group and the property each turns.
struct PropCheck {
  const char* id;
  const char* titleKey;
  MeasureProp prop;
};
constexpr PropCheck kPropChecks[] = {
    {"Measure_Prop_Caption", "IDS_MEASURE_PROP_CAPTION", kPropCaption},
    {"Measure_Prop_Label", "IDS_MEASURE_PROP_LABEL", kPropShowLabel},
    {"Measure_Prop_Segments", "IDS_MEASURE_PROP_SEGMENTS", kPropSegments},
};

// The snap modes by index, as the host numbers them.
struct SnapCheck {
  const char* id;
  const char* titleKey;
};
constexpr SnapCheck kSnapChecks[] = {
    {"Measure_Snap_End", "IDS_SNAP_ENDPOINT_DESC"},
    {"Measure_Snap_Mid", "IDS_SNAP_MIDPOINT_DESC"},
    {"Measure_Snap_Inter", "IDS_SNAP_INTERSECTION_TITLE"},
    {"Measure_Snap_Near", "IDS_SNAP_NEAREST_DESC"},
};

// The settings group: preferences the measuring tools read, as check buttons.
struct SettingCheck {
  const char* id;
  const char* titleKey;
  const char16_t* section;
  const char16_t* key;
  int fallback;
};
constexpr SettingCheck kSettingChecks[] = {
    {"Measure_Setting_Leader", "IDS_MEASURE_SETTING_LEADER", u"Preferences\\Measuring", u"bLeader", 0},
    {"Measure_Setting_ShowPanel", "IDS_MEASURE_SETTING_SHOW_PANEL", u"Measurement", u"Show Dialog", 1},
};

KA_RibbonElement Group(KA_RibbonElement tab, const char* name, const char* titleKey, int position) {
  KA_RibbonElement group = Host::RibbonFindPanel(tab, name);
  return group ? group : Host::RibbonAddPanel(tab, name, Widgets::Translate(titleKey).c_str(), position);
}

KA_RibbonElement Control(KA_RibbonElement group, int kind, const char* id, const char* titleKey,
                         const char* tooltipKey, KS_RibbonPressProc press, void* data) {
  if (!group) return nullptr;
  KA_RibbonElement c = Host::RibbonAddControl(group, kind, id, Widgets::Translate(titleKey).c_str(),
                                              Widgets::Translate(tooltipKey ? tooltipKey : titleKey).c_str());
  if (c) Host::RibbonSetPressProc(c, press, data);
  return c;
}

KA_RibbonElement Find(const char* id) {
  KA_Frame frame = MeasureFormatTab().Frame();
  return frame ? Host::RibbonFindControl(frame, id) : nullptr;
}

void BuildPageScaleGroup(KA_RibbonElement group, CMA_CalibrationTool* calibration) {
  Control(
      group, KS_RIBBON_BUTTON, "Measure_Group_PageScale", "IDS_MEASURE_GROUP_PAGE_SCALE", "IDS_STR_SCALE_TITLE",
      [](void*, KA_RibbonElement) {
        KA_Document doc = Host::AppGetCurrentDocument();
        if (doc) CMA_MeasurePageScaleDlg(doc, std::max(0, Host::AppDocGetActivePage(doc)));
      },
      nullptr);
  if (!calibration) return;
  Control(
      group, KS_RIBBON_BUTTON, "Button_Calibration", "IDS_STR_CALIBRATE", "IDS_STR_CALIBRATION_TOOLTIP",
      [](void* data, KA_RibbonElement) {
        if (KA_Tool host = static_cast<CMA_CalibrationTool*>(data)->HostTool()) Host::AppSetCurrentTool(host, 0);
      },
      calibration);
}

void BuildPropertiesGroup(KA_RibbonElement group) {
  KA_RibbonElement slider = Control(
      group, KS_RIBBON_SLIDER, kPrecisionSlider, "IDS_MEASURE_PROP_PRECISION", "IDS_MEASURE_GROUP_PROPERTIES_TITLE",
      [](void*, KA_RibbonElement self) {
        const int precision = Host::RibbonGetSliderValue(self);
        ChangeSelectedMeasurements(Host::AppGetCurrentDocument(), kPropPrecision,
                                   [precision](MeasureAnnotProps* p) { p->precision = precision; });
        MeasureFormatTab().SelectionChanged();
      },
      nullptr);
  if (slider) Host::RibbonSetSliderRange(slider, 0, kMostPrecision);
  KA_RibbonElement menu = Control(group, KS_RIBBON_MENU_BUTTON, kUnitMenu, "IDS_MEASURE_PROP_UNIT",
                                  "IDS_MEASURE_GROUP_PROPERTIES_TITLE", nullptr, nullptr);
  const auto keys = kwannotation::UnitKeys(kwannotation::UnitList::Real);
  const std::vector<std::u16string>& names = UnitDisplayNames(kwannotation::UnitList::Real);
  for (size_t i = 0; menu && i < keys.size(); ++i) {
    const std::u16string title = i < names.size() && !names[i].empty() ? names[i] : std::u16string(keys[i]);
    KA_RibbonElement item =
        Host::RibbonAddControl(menu, KS_RIBBON_CHECK_BUTTON, UnitItemId(i).c_str(), title.c_str(), title.c_str());
    if (!item) continue;
    Host::RibbonSetPressProc(
        item,
        [](void* data, KA_RibbonElement) {
          const std::u16string key(kwannotation::UnitKeys(kwannotation::UnitList::Real)[reinterpret_cast<size_t>(data)]);
          ChangeSelectedMeasurements(Host::AppGetCurrentDocument(), kPropUnit,
                                     [&key](MeasureAnnotProps* p) { p->lengthUnit = key; });
          MeasureFormatTab().SelectionChanged();
        },
        reinterpret_cast<void*>(i));
  }
  Control(group, KS_RIBBON_BUTTON, kDepthButton, "IDS_MEASURE_PROP_DEPTH", "IDS_MEASURE_GROUP_PROPERTIES_TITLE",
          [](void*, KA_RibbonElement) { EditDepth(); }, nullptr);
  for (const PropCheck& check : kPropChecks) {
    Control(
        group, KS_RIBBON_CHECK_BUTTON, check.id, check.titleKey, "IDS_MEASURE_GROUP_PROPERTIES_TITLE",
        [](void* data, KA_RibbonElement self) {
          const MeasureProp prop = static_cast<const PropCheck*>(data)->prop;
          const bool on = Host::RibbonIsChecked(self) == 0;
          ChangeSelectedMeasurements(Host::AppGetCurrentDocument(), prop, [prop, on](MeasureAnnotProps* p) {
            if (prop == kPropCaption) p->caption = on;
            if (prop == kPropShowLabel) p->showLabel = on;
            if (prop == kPropSegments) p->segments = on;
          });
          MeasureFormatTab().SelectionChanged();
        },
        const_cast<PropCheck*>(&check));
  }
}

void BuildSettingGroup(KA_RibbonElement group) {
  for (const SettingCheck& s : kSettingChecks) {
    KA_RibbonElement c = Control(
        group, KS_RIBBON_CHECK_BUTTON, s.id, s.titleKey, nullptr,
        [](void* data, KA_RibbonElement self) {
          const auto* setting = static_cast<const SettingCheck*>(data);
          const bool on = Host::PrefGetInt(setting->section, setting->key, setting->fallback) == 0;
          Host::PrefSetInt(setting->section, setting->key, on ? 1 : 0);
          Host::RibbonSetChecked(self, on ? 1 : 0);
        },
        const_cast<SettingCheck*>(&s));
    if (c) Host::RibbonSetChecked(c, Host::PrefGetInt(s.section, s.key, s.fallback) != 0 ? 1 : 0);
  }
}

// The selected measurement whose values the properties group shows.
std::optional<MeasureAnnotProps> FocusedProps() {
  KA_Document doc = Host::AppGetCurrentDocument();
  for (KA_Annot annot : SelectedMeasurements(doc)) {
    KPD_Dictionary dict = Host::AnnotGetDict(annot);
    if (auto reader = MakeMeasurePropReader(MeasureTypeOfAnnot(dict)))
      if (auto props = reader->Read(dict)) return props;
  }
  return std::nullopt;
}

// The depth the properties group shows and changes: the focused volume
// measurement's, else the volume tool's while it is the current tool.
struct DepthTarget {
  bool tool = false;
  double depth = 1;
  std::u16string unit;  // empty: the unit of the scale
};

bool VolumeToolIsCurrent() {
  KA_Tool tool = Host::AppGetCurrentTool();
  Host::ByteString name;
  return tool && Host::ToolGetName(tool, name.get()) && MeasureTypeFromToolName(name.str()) == kMeasureVolume;
}

std::optional<DepthTarget> CurrentDepthTarget() {
  if (std::optional<MeasureAnnotProps> props = FocusedProps(); props && (props->available & kPropDepth))
    return DepthTarget{false, props->depth, props->depthUnit};
  if (!VolumeToolIsCurrent()) return std::nullopt;
  const MeasureToolSettings settings = ReadMeasureToolSettings(kMeasureVolume);
  return DepthTarget{true, settings.depth, settings.depthUnit};
}

// "Depth 50 cm", or "Depth 1" in the unit of the scale; the bare word
// when there is no depth to show.
std::u16string DepthTitle(const std::optional<DepthTarget>& target) {
  std::u16string title = Widgets::Translate("IDS_MEASURE_PROP_DEPTH");
  if (!target) return title;
  title += u" " + TypedNumberText(target->depth);
  if (!target->unit.empty()) title += u" " + target->unit;
  return title;
}

// The depth dialog: the number and its unit, checked on OK (the dialog
// stays open with a message until they can be used), then written to the
// selected volumes as one undo step, or to the volume tool's settings.
void EditDepth() {
  const std::optional<DepthTarget> target = CurrentDepthTarget();
  if (!target) return;
  const auto keys = kwannotation::UnitKeys(kwannotation::UnitList::Real);
  const std::u16string scaleUnit = Widgets::Translate("IDS_MEASURE_DEPTH_SCALE_UNIT");
  Tessel::Dialog d(kDepthLayout, nullptr);
  d.SetInitHook([&](Tessel::Dialog& dlg) {
    dlg.SetWindowTitle(Widgets::Translate("IDS_MEASURE_PROP_DEPTH"));
    if (auto l = dlg.GetElement<Tessel::Label>(u"labelDepth")) l->SetText(Widgets::Translate("IDS_MEASURE_PROP_DEPTH"));
    if (auto e = dlg.GetElement<Tessel::Edit>(u"lineEditDepth"))
      e->SetText(TypedNumberText(target->depth));
    if (auto c = dlg.GetElement<Tessel::ComboBox>(u"comboBoxDepthUnit")) {
      c->ResetContent();
      c->AddItem(scaleUnit);
      for (const std::u16string& name : UnitDisplayNames(kwannotation::UnitList::Real)) c->AddItem(name);
      c->SetCurSel(target->unit.empty() ? 0 : kwannotation::UnitIndex(target->unit, kwannotation::UnitList::Real) + 1);
    }
  });
  for (int round = 0; round < kMostDepthRounds; ++round) {
    if (d.DoModal() != Tessel::kDialogOk) return;
    auto edit = d.GetElement<Tessel::Edit>(u"lineEditDepth");
    auto combo = d.GetElement<Tessel::ComboBox>(u"comboBoxDepthUnit");
    const std::optional<TypedLength> typed = edit ? ParseTypedLength(edit->GetText()) : std::nullopt;
    const std::optional<double> depth = typed ? std::optional<double>(typed->value) : std::nullopt;
    // The unit by its place in the list (0: the scale's), or by its key or
    // name as typed; feet or inches marks in the number bring their own.
    std::optional<std::u16string> unit;
    const int chosen = combo ? combo->GetCurSel() : -1;
    if (chosen == 0 || (combo && chosen < 0 && combo->GetText() == scaleUnit)) {
      unit = std::u16string();
    } else if (chosen > 0 && static_cast<size_t>(chosen) <= keys.size()) {
      unit = std::u16string(keys[static_cast<size_t>(chosen) - 1]);
    } else if (combo) {
      const std::u16string text = combo->GetText();
      const std::u16string key = UnitKeyFromText(text, kwannotation::UnitList::Real);
      const bool digits = !text.empty() && text.size() < 4 &&
                          std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
      const size_t index = digits ? std::stoul(std::string(text.begin(), text.end())) : keys.size() + 1;
      if (index == 0) unit = std::u16string();
      else if (index <= keys.size()) unit = std::u16string(keys[index - 1]);
      else if (kwannotation::UnitIndex(key, kwannotation::UnitList::Real) >= 0) unit = key;
    }
    if (typed && !typed->unit.empty()) unit = typed->unit == u"in\"" ? u"in" : u"ft";
    if (!depth || !unit) {
      const std::u16string text = Widgets::Translate("IDS_MEASURE_DEPTH_INVALID");
      Host::MessageBox(text.c_str(), Widgets::Translate("IDS_MEASURE_PROP_DEPTH").c_str(), 0);
      continue;
    }
    if (target->tool) {
      WriteVolumeToolDepth(*depth, *unit);
    } else {
      ChangeSelectedMeasurements(Host::AppGetCurrentDocument(), kPropDepth, [&](MeasureAnnotProps* p) {
        p->depth = *depth;
        p->depthUnit = *unit;
      });
    }
    MeasureFormatTab().SelectionChanged();
    return;
  }
}

// The figure a type draws: a line, a polyline, a polygon or an oval.
const char* SubjectLineKey(int type) {
  const MeasureTypeInfo* row = MeasureTypeRow(type);
  if (!row || !row->subtype) return nullptr;
  const std::string_view subtype = row->subtype;
  if (subtype == "Line") return "IDS_LINE_SUBJECT";
  if (subtype == "PolyLine") return "IDS_POLYLINE_SUBJECT";
  if (subtype == "Polygon") return "IDS_POLYGON__SUBJECT";
  if (subtype == "Circle") return "IDS_OVAL_SUBJECT";
  return nullptr;
}

}  // namespace

const char* FormatContextFor(int type) {
  if (!MeasureTypeRow(type)) return "";
  return IsLineMeasure(type) ? kFormatLineContext : kFormatShapeContext;
}

void CMA_MeasureSnapDlg::Build(KA_RibbonElement group) {
  for (int i = 0; i < 4; ++i) {
    Control(
        group, KS_RIBBON_CHECK_BUTTON, kSnapChecks[i].id, kSnapChecks[i].titleKey, nullptr,
        [](void* data, KA_RibbonElement self) {
          const bool on = osnap::ToggleSnapMode(static_cast<int>(reinterpret_cast<intptr_t>(data)));
          Host::RibbonSetChecked(self, on ? 1 : 0);
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(i)));
  }
  Refresh();
}

void CMA_MeasureSnapDlg::Refresh() {
  for (int i = 0; i < 4; ++i)
    if (KA_RibbonElement c = Find(kSnapChecks[i].id)) Host::RibbonSetChecked(c, Host::SnapGetMode(1, i) != 0 ? 1 : 0);
}

void CMA_FormatTab::Build(KA_Frame frame, CMA_CalibrationTool* calibration) {
  if (!frame) return;
  KA_RibbonElement tab = Host::RibbonFindContextCategory(frame, kFormatTab);
  if (!tab) tab = Host::RibbonAddContextCategory(frame, kFormatTab, Widgets::Translate("IDS_RIBBON_CATEGORY_FORMAT").c_str());
  if (!tab) return;
  frame_ = frame;
  tab_ = tab;
  // Built once: a second frame shares the tab.
  if (Host::RibbonFindPanel(tab, "Measure_Group_Export")) return Update();
  BuildPageScaleGroup(Group(tab, "Measure_Group_PageScale", "IDS_MEASURE_GROUP_PAGE_SCALE", 0), calibration);
  BuildPropertiesGroup(Group(tab, "Measure_Group_Properties", "IDS_MEASURE_GROUP_PROPERTIES", 1));
  CMA_MeasureSnapDlg::Build(Group(tab, "Measure_Group_Snap", "IDS_RIBBON_PANEL_NAME_SNAP", 2));
  BuildSettingGroup(Group(tab, "Measure_Group_Setting", "IDS_MEASURE_GROUP_SETTING", 3));
  AddMeasureExportButton(Group(tab, "Measure_Group_Export", "IDS_TS_SELECTTOOLBOX_EXPORT", 4));
  Update();
}

void CMA_FormatTab::Remove() {
  if (tab_) Host::RibbonRemove(tab_);
  tab_ = nullptr;
  frame_ = nullptr;
  subjectKey_ = nullptr;
}

void CMA_FormatTab::ToolChanged() { Update(); }

void CMA_FormatTab::SelectionChanged() { Update(); }

void CMA_FormatTab::Update() {
  if (!tab_) return;
  // The host's current tool decides (while tools change, the new one is
  // already current); without a measuring tool, the measurement that is
  // selected.
  int type = kMeasureNone;
  if (KA_Tool tool = Host::AppGetCurrentTool()) {
    Host::ByteString name;
    if (Host::ToolGetName(tool, name.get())) type = MeasureTypeFromToolName(name.str());
  }
  if (type == kMeasureNone) {
    KA_Document doc = Host::AppGetCurrentDocument();
    std::vector<KA_Annot> selected = SelectedMeasurements(doc);
    if (!selected.empty()) type = MeasureTypeOfAnnot(Host::AnnotGetDict(selected.front()));
  }
  Host::RibbonShowContextCategory(tab_, FormatContextFor(type));
  if (type != kMeasureNone) {
    ShowSubject(type);
    RefreshProperties();
    CMA_MeasureSnapDlg::Refresh();
  }
}

void CMA_FormatTab::RefreshProperties() {
  const std::optional<MeasureAnnotProps> props = FocusedProps();
  const unsigned available = props ? props->available : 0u;
  if (KA_RibbonElement slider = Find(kPrecisionSlider)) {
    Host::RibbonSetEnabled(slider, (available & kPropPrecision) ? 1 : 0);
    if (props) Host::RibbonSetSliderValue(slider, props->precision);
  }
  if (KA_RibbonElement menu = Find(kUnitMenu)) Host::RibbonSetEnabled(menu, (available & kPropUnit) ? 1 : 0);
  const auto keys = kwannotation::UnitKeys(kwannotation::UnitList::Real);
  for (size_t i = 0; i < keys.size(); ++i)
    if (KA_RibbonElement item = Find(UnitItemId(i).c_str()))
      Host::RibbonSetChecked(item, props && props->lengthUnit == keys[i] ? 1 : 0);
  ShowDepth();
  for (const PropCheck& check : kPropChecks) {
    KA_RibbonElement c = Find(check.id);
    if (!c) continue;
    Host::RibbonSetEnabled(c, (available & check.prop) ? 1 : 0);
    bool on = false;
    if (props && check.prop == kPropCaption) on = props->caption;
    if (props && check.prop == kPropShowLabel) on = props->showLabel;
    if (props && check.prop == kPropSegments) on = props->segments;
    Host::RibbonSetChecked(c, on ? 1 : 0);
  }
}

// The subject line is a control that cannot be pressed, whose title is the
// figure's name; a control's title is fixed, so a new figure replaces it.
void CMA_FormatTab::ShowSubject(int type) {
  const char* key = SubjectLineKey(type);
  if (!key || (subjectKey_ && std::string_view(subjectKey_) == key)) return;
  KA_RibbonElement group = Host::RibbonFindPanel(tab_, "Measure_Group_Properties");
  if (!group) return;
  if (KA_RibbonElement old = Find(kSubjectLine)) Host::RibbonRemove(old);
  KA_RibbonElement line = Host::RibbonAddControl(group, KS_RIBBON_BUTTON, kSubjectLine,
                                                 Widgets::Translate(key).c_str(),
                                                 Widgets::Translate("IDS_MEASURE_GROUP_PROPERTIES_TITLE").c_str());
  if (line) Host::RibbonSetEnabled(line, 0);
  subjectKey_ = line ? key : nullptr;
}

// A control's title is fixed, so a new depth replaces the button, in its
// place among the group's controls.
void CMA_FormatTab::ShowDepth() {
  const std::optional<DepthTarget> target = CurrentDepthTarget();
  const std::u16string title = DepthTitle(target);
  KA_RibbonElement group = tab_ ? Host::RibbonFindPanel(tab_, "Measure_Group_Properties") : nullptr;
  KA_RibbonElement button = Find(kDepthButton);
  if (!group) return;
  if (!button || title != depthTitle_) {
    if (button) Host::RibbonRemove(button);
    button = Host::RibbonAddControl(group, KS_RIBBON_BUTTON, kDepthButton, title.c_str(),
                                    Widgets::Translate("IDS_MEASURE_GROUP_PROPERTIES_TITLE").c_str());
    if (button) Host::RibbonSetPressProc(button, [](void*, KA_RibbonElement) { EditDepth(); }, nullptr);
    depthTitle_ = button ? title : std::u16string();
  }
  if (button) Host::RibbonSetEnabled(button, target ? 1 : 0);
}

CMA_FormatTab& MeasureFormatTab() {
  static CMA_FormatTab tab;
  return tab;
}

}  // namespace AnnotationPlugin
