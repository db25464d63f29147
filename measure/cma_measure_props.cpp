#include "measure/cma_measure_props.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_units.h"
#include "measure/cma_annot_handlers.h"
#include "measure/cma_figure_values.h"
#include "plugin/annot_tool_handler.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

using kwannotation::CKW_MeasureDictImpl;
using kwannotation::DisplayMode;
using kwannotation::NumberFormat;

namespace {

constexpr int kFormatArrays = 7;  // "X" to "V"
constexpr unsigned kLabelBit = kwannotation::kMeasureTypeLabel;

std::optional<bool> BoolOf(KPD_Dictionary annot, const char* key) {
  KPD_Object v = Host::DictGet(annot, key);
  if (!v || Host::ObjectGetType(v) != KPD_OBJ_BOOLEAN) return std::nullopt;
  return Host::BooleanGet(v) != 0;
}

std::optional<int64_t> IntegerOf(KPD_Dictionary annot, const char* key) {
  KPD_Object v = Host::DictGet(annot, key);
  if (!v || Host::ObjectGetType(v) != KPD_OBJ_NUMBER || !Host::ObjectIsInteger(v)) return std::nullopt;
  return Host::ObjectGetInteger(v);
}

bool SetOwned(KPD_Dictionary annot, const char* key, KPD_Object value) {
  if (!value) return false;
  const bool ok = Host::DictSet(annot, key, value) != 0;
  Host::ObjectRelease(value);
  return ok;
}

unsigned AvailableFor(int type) {
  unsigned bits = kPropPrecision | kPropCaption | kPropUnit;
  // A circle area is told from a diameter by having no caption bits, so it
  // keeps none.
  if (type != kMeasureCircleArea) bits |= kPropShowLabel;
  if (MeasureCapabilities(type) & kCapSegments) bits |= kPropSegments;
  if (type == kMeasureVolume) bits |= kPropDepth;
  return bits;
}

// Every number format of the measure dictionary shows its values at
// precision `p`: its last element (the inches of feet and inches) keeps
// fractions as fractions of 2^p, anything else becomes 10^p decimals.
bool WritePrecision(CKW_MeasureDictImpl& measure, int p) {
  bool wrote = false;
  for (int a = 0; a < kFormatArrays; ++a) {
    std::vector<NumberFormat> formats = measure.GetFormats(a);
    if (formats.empty()) continue;
    NumberFormat& last = formats.back();
    if (last.mode == DisplayMode::Fraction) {
      last.fractionDenominator = int32_t{1} << p;
    } else {
      last.mode = DisplayMode::Decimal;
      int32_t d = 1;
      for (int i = 0; i < p; ++i) d *= 10;
      last.decimalDenominator = d;
    }
    wrote = measure.SetFormats(a, formats) || wrote;
  }
  return wrote;
}

// Shows the lengths in `unit` with the same ratio: the number formats are
// written afresh for the unit (feet and inches become two elements), areas
// and volumes in the unit's square and cube, at precision `p`.
bool WriteUnit(CKW_MeasureDictImpl& measure, const std::u16string& unit, int p) {
  using kwannotation::UnitList;
  if (kwannotation::UnitIndex(unit, UnitList::Real) < 0) return false;
  // The ratio is kept as it is; one that does not read leaves the
  // measurement unshowable, and the change is then refused.
  const std::u16string ratio = measure.GetRatioText();
  if (measure.IsGeospatial()) return false;
  kwannotation::PageScale scale;
  scale.x.realUnit = unit;
  scale.separateY = measure.GetFormatCount(static_cast<int>(kwannotation::FormatArray::Y)) > 0;
  scale.y.realUnit = unit;
  scale.precision = p;
  const kwannotation::MeasureUnits units{unit, kwannotation::AreaKeyOfLength(unit),
                                         kwannotation::VolumeKeyOfLength(unit)};
  return measure.WriteScale(scale, ratio, units);
}

}  // namespace

std::optional<MeasureAnnotProps> CMeasureAnnotPropReader::Read(KPD_Dictionary annot) const {
  const int type = annot ? MeasureTypeOfAnnot(annot) : kMeasureNone;
  if (std::find(types_.begin(), types_.end(), type) == types_.end()) return std::nullopt;
  MeasureAnnotProps p;
  p.type = type;
  p.available = AvailableFor(type);
  if (KPD_Dictionary m = CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, nullptr, false)) {
    CKW_MeasureDictImpl measure(m);
    p.precision = measure.GetPrecision();
    p.ratio = measure.GetRatioText();
    p.lengthUnit = measure.GetDisplayUnits().length;
  }
  // A line draws its caption only when asked to, the other figures unless
  // told not to.
  const char* subtype = MeasureTypeRow(type)->subtype;
  p.caption = BoolOf(annot, "/Cap").value_or(std::string(subtype) != "Line");
  const int64_t types = IntegerOf(annot, "/MeasurementTypes").value_or(DefaultShowCaption(type));
  p.showLabel = (types & kLabelBit) != 0;
  p.segments = BoolOf(annot, "/Segments").value_or(false);
  if (p.available & kPropDepth) {
    KPD_Object depth = Host::DictGet(annot, "/Depth");
    if (depth && Host::ObjectGetType(depth) == KPD_OBJ_NUMBER) p.depth = Host::ObjectGetNumber(depth);
    p.depthUnit = kwannotation::CanonicalUnitKey(kwannotation::KW_DepthUnitOf(annot));
  }
  return p;
}

bool CMeasureAnnotPropApplier::Apply(KPD_Dictionary annot, KPD_Document doc, const MeasureAnnotProps& props,
                                     unsigned which) const {
  const int type = annot ? MeasureTypeOfAnnot(annot) : kMeasureNone;
  if (std::find(types_.begin(), types_.end(), type) == types_.end()) return false;
  which &= AvailableFor(type);
  if (which == 0) return false;
  // Written into a copy first: a change that leaves a value that cannot be
  // shown is not made at all.
  KPD_Object copy = Host::ObjectClone(annot);
  if (!copy) return false;
  bool ok = true;
  if (which & (kPropPrecision | kPropUnit)) {
    KPD_Dictionary m = CKW_MeasureDictImpl::GetOrCreateForAnnot(copy, doc, false);
    if (m) {
      // The measure dictionary may be shared with other annotations or a
      // viewport: the annotation gets a copy of its own.
      KPD_Object own = Host::ObjectClone(m);
      ok = own && SetOwned(copy, "/Measure", own);
      m = ok ? CKW_MeasureDictImpl::GetOrCreateForAnnot(copy, doc, false) : nullptr;
    }
    CKW_MeasureDictImpl measure(m);
    const int precision = (which & kPropPrecision) ? std::clamp(props.precision, 0, kMostPrecision)
                                                   : measure.GetPrecision();
    if (ok && m && (which & kPropUnit)) {
      kwannotation::KW_PinDepthUnit(copy);
      ok = WriteUnit(measure, props.lengthUnit, precision);
    }
    if (ok && m && (which & kPropPrecision)) ok = WritePrecision(measure, precision);
    ok = ok && m;
  }
  if (ok && (which & kPropCaption)) ok = SetOwned(copy, "/Cap", Host::BooleanNew(props.caption ? 1 : 0));
  if (ok && (which & kPropShowLabel)) {
    int64_t types = IntegerOf(copy, "/MeasurementTypes").value_or(DefaultShowCaption(type));
    types = props.showLabel ? (types | kLabelBit) : (types & ~int64_t{kLabelBit});
    ok = SetOwned(copy, "/MeasurementTypes", Host::IntegerNew(types));
  }
  if (ok && (which & kPropSegments)) ok = SetOwned(copy, "/Segments", Host::BooleanNew(props.segments ? 1 : 0));
  if (ok && (which & kPropDepth)) {
    // A depth in a unit of its own, or in the unit of the scale.
    const std::u16string unit = kwannotation::CanonicalUnitKey(props.depthUnit);
    ok = std::isfinite(props.depth) && props.depth > 0 &&
         (unit.empty() || kwannotation::IsKnownUnit(kwannotation::UnitDimension::Length, unit)) &&
         SetOwned(copy, "/Depth", Host::NumberNew(props.depth));
    if (ok && unit.empty()) Host::DictRemove(copy, "/DepthUnit");
    else if (ok) ok = SetOwned(copy, "/DepthUnit", kwannotation::KW_NewDepthUnit(unit));
  }
  const std::optional<std::u16string> contents = ok ? DerivedContents(copy, doc) : std::nullopt;
  const bool showable = ok && ShowableValue(contents);
  if (!showable) {
    Host::ObjectRelease(copy);
    return false;
  }
  // The keys the edit touched go over into the annotation through its own
  // write path (a key it took away goes); then the value and the caption
  // follow.
  kwannotation::CKW_MarkupAnnotImpl view(annot, kwannotation::KW_ANNOT_UNKNOWN, nullptr);
  kwannotation::CKW_AnnotWriter writer(view);
  for (const char* key : {"/Measure", "/Cap", "/MeasurementTypes", "/Segments", "/Depth", "/DepthUnit"}) {
    KPD_Object v = Host::DictGet(copy, key);
    KPD_Object was = Host::DictGet(annot, key);
    if (v && !Host::ObjectIsEqual(v, was)) {
      writer.SetOwned(key, Host::ObjectClone(v));
    } else if (!v && was) {
      writer.Remove(key);
    }
  }
  Host::ObjectRelease(copy);
  RederiveContents(annot, doc);
  std::string reason;
  kwannotation::RegenerateMeasureAppearance(annot, &reason, kwannotation::ShapeAppearanceOptions{});
  return true;
}

std::unique_ptr<IMeasureAnnotPropReader> MakeMeasurePropReader(int type) {
  switch (type) {
    case kMeasureDistance: return std::make_unique<CDistanceAnnotPropReader>();
    case kMeasurePerimeter:
    case kMeasurePolylength: return std::make_unique<CPerimeterAnnotPropReader>();
    case kMeasureArea:
    case kMeasureVolume:
    case kMeasureCircleArea: return std::make_unique<CAreaAnnotPropReader>();
    case kMeasureDiameter: return std::make_unique<CDiameterAnnotPropReader>();
    case kMeasureCenterRadius:
    case kMeasure3PointRadius: return std::make_unique<CRadiusAnnotPropReader>();
    case kMeasureAngle: return std::make_unique<CAngleAnnotPropReader>();
    default: return nullptr;
  }
}

std::unique_ptr<IMeasureAnnotPropApplier> MakeMeasurePropApplier(int type) {
  switch (type) {
    case kMeasureDistance: return std::make_unique<CDistanceAnnotPropApplier>();
    case kMeasurePerimeter:
    case kMeasurePolylength: return std::make_unique<CPerimeterAnnotPropApplier>();
    case kMeasureArea:
    case kMeasureVolume:
    case kMeasureCircleArea: return std::make_unique<CAreaAnnotPropApplier>();
    case kMeasureDiameter: return std::make_unique<CDiameterAnnotPropApplier>();
    case kMeasureCenterRadius:
    case kMeasure3PointRadius: return std::make_unique<CRadiusAnnotPropApplier>();
    case kMeasureAngle: return std::make_unique<CAngleAnnotPropApplier>();
    default: return nullptr;
  }
}

// ---- undo -------------------------------------------------------------------------

CMSA_UndoFormatProp::CMSA_UndoFormatProp(KA_Document doc) : doc_(doc) {}
CMSA_UndoFormatProp::~CMSA_UndoFormatProp() = default;

bool CMSA_UndoFormatProp::Change(KA_Annot annot, const MeasureAnnotProps& props, unsigned which) {
  KPD_Dictionary dict = annot ? Host::AnnotGetDict(annot) : nullptr;
  auto applier = dict ? MakeMeasurePropApplier(MeasureTypeOfAnnot(dict)) : nullptr;
  if (!applier) return false;
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict);
  if (!applier->Apply(dict, MeasureDocOf(annot), props, which) || !change->Finish()) return false;
  if (KA_AnnotObject object = Host::AnnotGetObject(annot)) Host::AnnotObjectAppearanceChanged(object);
  Host::AppDocInvalidateRect(doc_, Host::AnnotGetPageIndex(annot), nullptr);
  changes_.emplace_back(annot, std::move(change));
  return true;
}

void CMSA_UndoFormatProp::Apply(bool after) {
  auto step = [&](auto& entry) {
    if (!entry.second->Apply(after)) return;
    if (KA_AnnotObject object = Host::AnnotGetObject(entry.first)) Host::AnnotObjectAppearanceChanged(object);
    Host::AppDocInvalidateRect(doc_, Host::AnnotGetPageIndex(entry.first), nullptr);
  };
  if (after)
    for (auto& entry : changes_) step(entry);
  else
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) step(*it);
  Host::PropertyPanelRefresh();
}

std::vector<KA_Annot> SelectedMeasurements(KA_Document doc) {
  std::vector<KA_Annot> out;
  if (!doc) return out;
  KA_Annot focused = Host::AppDocGetFocusedAnnot(doc);
  auto isMeasurement = [](KA_Annot a) {
    KPD_Dictionary d = a ? Host::AnnotGetDict(a) : nullptr;
    return d && MeasureTypeOfAnnot(d) != kMeasureNone;
  };
  if (isMeasurement(focused)) out.push_back(focused);
  const int count = Host::AppDocSelectionCount(doc);
  for (int i = 0; i < count; ++i) {
    KA_Annot a = Host::AppDocGetSelected(doc, i);
    if (a != focused && isMeasurement(a)) out.push_back(a);
  }
  return out;
}

bool ChangeSelectedMeasurementsWith(KA_Document doc, unsigned which, void (*edit)(MeasureAnnotProps*, const void*),
                                    const void* data) {
  if (!doc || !CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits()) return false;
  auto undo = std::make_unique<CMSA_UndoFormatProp>(doc);
  for (KA_Annot annot : SelectedMeasurements(doc)) {
    KPD_Dictionary dict = Host::AnnotGetDict(annot);
    auto reader = MakeMeasurePropReader(MeasureTypeOfAnnot(dict));
    std::optional<MeasureAnnotProps> props = reader ? reader->Read(dict) : std::nullopt;
    if (!props) continue;
    edit(&*props, data);
    undo->Change(annot, *props, which);
  }
  if (undo->Empty()) return false;
  undo->SetCaption(Widgets::Translate("IDS_STR_UNDOFORMATPROP"));
  Host::PropertyPanelRefresh();
  return AnnotUndo_HandOver(std::move(undo), doc);
}

}  // namespace AnnotationPlugin
