#include "measure/cma_measure_tool.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_values.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_units.h"
#include "kwannotation/kw_viewport.h"
#include "measure/cma_calibration_tool.h"
#include "measure/cma_figure_values.h"
#include "measure/cma_format_tab.h"
#include "measure/cma_osnap.h"
#include "measure/cma_right_panel.h"
#include "measure/cma_typed_ratio.h"
#include "measure/cma_units.h"
#include "plugin/annot_identity.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {
namespace {

using kwannotation::CKW_MeasureDict;

constexpr double kMinSize = 2.0;          // page units: the smallest distance, radius or arm
constexpr double kMinClickDevice = 2.0;   // device units between the clicks of a 3-point radius
constexpr double kPi = 3.14159265358979323846;
constexpr int kEscape = 27;

double Distance(KS_FloatPoint a, KS_FloatPoint b) { return std::hypot(double(b.x) - a.x, double(b.y) - a.y); }

std::u16string TextPref(const char16_t* section, const char16_t* key, std::u16string fallback) {
  Host::WideString out;
  if (!Host::PrefGetText(section, key, out.get())) return fallback;
  std::u16string text = out.str();
  return text.empty() ? fallback : text;
}

KPD_ColorF ColorOf(int rgb) {
  // Host colour values keep red in the low byte.
  KPD_ColorF c{KPD_COLOR_RGB, {(rgb & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, ((rgb >> 16) & 0xFF) / 255.0f, 0}};
  return c;
}

// The points of a clicked figure with repeated clicks (closer than half a
// unit to the one before) taken out.
constexpr double kRepeat = 0.5;
std::vector<KS_FloatPoint> WithoutRepeats(const std::vector<KS_FloatPoint>& points) {
  std::vector<KS_FloatPoint> out;
  for (const KS_FloatPoint& p : points)
    if (out.empty() || Distance(out.back(), p) >= kRepeat) out.push_back(p);
  return out;
}

// The scale source of a gesture: the viewport under the first point, else
// the page's scale (its viewport 0), else a measure dictionary of its own
// written from the default ratio of the preferences.
CKW_MeasureDict ScaleSource(KPD_Page page, KPD_Document pdf, KS_FloatPoint first) {
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  if (kwannotation::CKW_Viewport vp = list.FindViewportObjectAt(first)) return vp->GetMeasureDict();
  if (kwannotation::CKW_Viewport vp0 = list.GetViewport(0)) {
    CKW_MeasureDict m = vp0->GetMeasureDict();
    if (m.IsValid() && m->RatioProblem().empty()) return m;
  }
  return {};
}

// A scale written by another program may have no "V" array. A volume is
// then shown in the cube of the "X" array's first unit, with the scale's
// precision, as an area is shown in its square; the page's own dictionary
// is left as it is.
CKW_MeasureDict WithVolumeFormats(const CKW_MeasureDict& m) {
  constexpr int kArrayV = static_cast<int>(kwannotation::FormatArray::V);
  if (!m || m->GetFormatCount(kArrayV) > 0) return m;
  const std::vector<kwannotation::NumberFormat> x = m->GetFormats(kwannotation::kMeasureArrayX);
  const std::u16string unit =
      x.empty() ? std::u16string() : kwannotation::VolumeKeyOfLength(kwannotation::NormalizeUnit(x.front().unit));
  if (unit.empty()) return m;
  CKW_MeasureDict copy = CKW_MeasureDict::Own(Host::ObjectClone(m.GetDict()));
  if (!copy || !copy->SetFormats(kArrayV, kwannotation::ScaleFormatsFor(unit, m->GetPrecision())))
    return m;
  return copy;
}

// Tells the user that the figure was measured but its value cannot be shown
// with the scale it was measured against.
void TellNotShown() {
  Host::MessageBox(Widgets::Translate("IDS_MEASURE_NOT_SHOWN").c_str(), Widgets::Translate("IDS_MEASURE").c_str(), 0);
}

// A measure dictionary of the default ratio, its lengths in the ratio's
// real unit and its areas and volumes in that unit's square and cube: with
// 1 pt = 1 pt a page without a scale measures in points, square and cubic
// points.
CKW_MeasureDict DefaultScale(const PageScale& scale) {
  CKW_MeasureDict own = CKW_MeasureDict::Own(Host::DictNew());
  if (!own) return own;
  PageScale withKeys = scale;
  withKeys.x.realUnit = UnitKeyFromText(scale.x.realUnit, UnitList::Real);
  withKeys.y.realUnit = UnitKeyFromText(scale.y.realUnit, UnitList::Real);
  const std::u16string& real = withKeys.x.realUnit;
  const kwannotation::MeasureUnits units{real, kwannotation::AreaKeyOfLength(real),
                                         kwannotation::VolumeKeyOfLength(real)};
  if (!own->WriteScale(withKeys, RatioText(scale), units)) return {};
  return own;
}

// The key of a unit setting when it names a unit of its kind, else empty.
std::u16string SetUnit(const std::u16string& text, UnitList list, kwannotation::UnitDimension dimension) {
  if (text.empty()) return {};
  const std::u16string key = UnitKeyFromText(text, list);
  return kwannotation::IsKnownUnit(dimension, key) ? key : std::u16string();
}

}  // namespace

// ---- settings ---------------------------------------------------------------------

MeasureToolSettings ReadMeasureToolSettings(int type) {
  MeasureToolSettings s;
  const MeasureTypeInfo* row = MeasureTypeRow(type);
  if (!row) return s;
  const char16_t* section = row->settingsSection;
  const int caps = MeasureCapabilities(type);
  s.label = TextPref(section, u"Label", u"");
  s.lengthUnit = TextPref(section, u"LengthUnit", u"");
  s.areaUnit = TextPref(section, u"AreaUnit", u"");
  if (type == kMeasureVolume) {
    s.depthUnit = SetUnit(TextPref(section, u"DepthUnit", u""), UnitList::Real, kwannotation::UnitDimension::Length);
    // The depth is kept as text so that "2.5" reads the same in every locale.
    const std::optional<TypedLength> d = ParseTypedLength(TextPref(section, u"Depth", u"1"));
    if (d && d->unit.empty()) s.depth = d->value;
  }
  if (caps & kCapSlope) s.slopeType = Host::PrefGetInt(section, u"SlopeType", 1);
  if (caps & kCapVolumeUnit) s.volumeUnit = TextPref(section, u"VolumeUnit", u"");
  if (caps & kCapSegments) s.showSegment = Host::PrefGetInt(section, u"ShowSegment", type == kMeasurePolylength);
  s.showCaption = Host::PrefGetInt(section, u"ShowCaption", DefaultShowCaption(type));
  return s;
}

bool WriteVolumeToolDepth(double depth, const std::u16string& unit) {
  const MeasureTypeInfo* row = MeasureTypeRow(kMeasureVolume);
  const std::u16string key = SetUnit(unit, UnitList::Real, kwannotation::UnitDimension::Length);
  if (!row || !std::isfinite(depth) || depth <= 0 || (!unit.empty() && key.empty())) return false;
  const std::u16string text = TypedNumberText(depth);
  if (text.empty()) return false;
  return Host::PrefSetText(row->settingsSection, u"Depth", text.c_str()) &&
         Host::PrefSetText(row->settingsSection, u"DepthUnit", key.c_str());
}

CKW_MeasureDict InToolUnits(const CKW_MeasureDict& measure, const MeasureToolSettings& settings) {
  using kwannotation::UnitDimension;
  const kwannotation::MeasureUnits units{SetUnit(settings.lengthUnit, UnitList::Real, UnitDimension::Length),
                                         SetUnit(settings.areaUnit, UnitList::Area, UnitDimension::Area),
                                         SetUnit(settings.volumeUnit, UnitList::Volume, UnitDimension::Volume)};
  if (!measure || (units.length.empty() && units.area.empty() && units.volume.empty())) return measure;
  // The scale may be a viewport's: the measurement gets a copy in its units.
  CKW_MeasureDict copy = CKW_MeasureDict::Own(Host::ObjectClone(measure.GetDict()));
  if (!copy || !copy->SetDisplayUnits(units) || !copy->IsValid()) return measure;
  return copy;
}

MeasureToolStyle ReadMeasureToolStyle(int type) {
  MeasureToolStyle style;
  const MeasureTypeInfo* row = MeasureTypeRow(type);
  if (!row) return style;
  const char16_t* section = row->styleSection;
  style.hasSetting = Host::PrefGetInt(section, u"HasSetting", 0) != 0;
  if (!style.hasSetting) return style;
  style.color = Host::PrefGetInt(section, u"Color", 255);
  const int noFill = -1;
  const int fill = Host::PrefGetInt(section, u"FillColor", noFill);
  if (fill != noFill) style.fillColor = fill;
  style.opacity = std::clamp(Host::PrefGetInt(section, u"Opacity", 100), 0, 100);
  if (type == kMeasureDistance) style.textInLine = Host::PrefGetInt(section, u"ShowTextInLine", 0) != 0;
  return style;
}

// ---- geometry ---------------------------------------------------------------------

bool CircleThrough(KS_FloatPoint p1, KS_FloatPoint p2, KS_FloatPoint p3, KS_FloatPoint* centre, double* radius) {
  const double x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y, x3 = p3.x, y3 = p3.y;
  const double a = 2 * (x2 - x1), b = 2 * (y2 - y1), c = x2 * x2 + y2 * y2 - x1 * x1 - y1 * y1;
  const double d = 2 * (x3 - x2), e = 2 * (y3 - y2), f = x3 * x3 + y3 * y3 - x2 * x2 - y2 * y2;
  const double det = e * a - d * b;
  if (std::fabs(det) < 1e-6) return false;
  const double cx = (e * c - f * b) / det, cy = (f * a - d * c) / det;
  const double r = std::hypot(x1 - cx, y1 - cy);
  if (!std::isfinite(r) || r < kMinSize) return false;
  *centre = KS_FloatPoint{static_cast<float>(cx), static_cast<float>(cy)};
  *radius = r;
  return true;
}

KS_FloatPoint ConstrainTo45(KS_FloatPoint from, KS_FloatPoint p) {
  const double dx = double(p.x) - from.x, dy = double(p.y) - from.y;
  const double length = std::hypot(dx, dy);
  if (length <= 1.0) return p;
  const double angle = std::atan2(dy, dx);
  const double rounded = std::floor(angle * 4 / kPi + 0.5) * kPi / 4;
  return KS_FloatPoint{static_cast<float>(from.x + length * std::cos(rounded)),
                       static_cast<float>(from.y + length * std::sin(rounded))};
}

// ---- undo -------------------------------------------------------------------------

CMSA_UndoCreate::CMSA_UndoCreate(KA_Document doc, int pageIndex, KPD_Dictionary dict, int index)
    : doc_(doc), pageIndex_(pageIndex), dict_(dict), index_(index) {}

KPD_Page CMSA_UndoCreate::Page() const {
  KPD_Document pdf = Host::AppDocGetPdfDocument(doc_);
  return pdf ? Host::DocGetPage(pdf, pageIndex_) : nullptr;
}

void CMSA_UndoCreate::Undo() {
  KPD_Page page = Page();
  if (!page) return;
  const int at = Host::PageFindAnnot(page, dict_);
  if (at < 0) return;
  // A pop-up opened for the measurement goes with it.
  KPD_Object popup = Host::DictGet(dict_, "/Popup");
  const int popupAt = popup && Host::ObjectGetType(popup) == KPD_OBJ_DICTIONARY
                          ? Host::PageFindAnnot(page, reinterpret_cast<KPD_Dictionary>(popup))
                          : -1;
  popup_ = popupAt >= 0 ? reinterpret_cast<KPD_Dictionary>(popup) : nullptr;
  if (popupAt > at) Host::PageRemoveAnnot(page, popupAt);
  Host::PageRemoveAnnot(page, at);
  if (popupAt >= 0 && popupAt < at) Host::PageRemoveAnnot(page, popupAt);
  Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
}

void CMSA_UndoCreate::Redo() {
  KPD_Page page = Page();
  if (!page || Host::PageFindAnnot(page, dict_) >= 0) return;
  const int count = Host::PageAnnotCount(page);
  const int at = std::clamp(index_, 0, count);
  Host::PageInsertAnnot(page, at, dict_);
  if (popup_ && Host::PageFindAnnot(page, popup_) < 0) Host::PageInsertAnnot(page, at + 1, popup_);
  Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
}

// ---- the tool ---------------------------------------------------------------------

std::string CMA_MeasureToolBase::GetName() const {
  const MeasureTypeInfo* row = MeasureTypeRow(type_);
  return row ? row->toolName : "";
}

bool CMA_MeasureToolBase::ToPage(KA_PageView view, const KS_DevicePoint& pt, uint32_t flags,
                                 KS_FloatPoint* out) const {
  if (!view || !Host::PageViewDeviceToPage(view, pt, out)) return false;
  // Every click of a tool lands on the drawing's features where snapping
  // finds one; Shift turns snapping off, so that the click is free to
  // follow the 45-degree constraint instead.
  if (!(flags & KS_FLAG_SHIFT)) SnapPoint(view, pt, started_, started_ ? points_.front() : KS_FloatPoint{}, out);
  return OnPage(view, *out);
}

bool CMA_MeasureToolBase::OnPage(KA_PageView view, KS_FloatPoint p) {
  KPD_Page page = view ? Host::PageViewGetPage(view) : nullptr;
  KS_FloatRect box{};
  if (!page || (!Host::PageGetBox(page, "/CropBox", &box) && !Host::PageGetBox(page, "/MediaBox", &box)))
    return false;
  const float left = std::min(box.left, box.right), right = std::max(box.left, box.right);
  const float bottom = std::min(box.bottom, box.top), top = std::max(box.bottom, box.top);
  return p.x >= left && p.x <= right && p.y >= bottom && p.y <= top;
}

KS_FloatPoint CMA_MeasureToolBase::Constrained(uint32_t flags, KS_FloatPoint p) const {
  if (!(flags & KS_FLAG_SHIFT) || points_.size() < 2) return p;
  if (type_ == kMeasureCircleArea || type_ == kMeasureDiameter) return p;
  return ConstrainTo45(points_[points_.size() - 2], p);
}

void CMA_MeasureToolBase::Invalidate(bool pointerMoved) {
  if (!view_) return;
  Host::AppDocInvalidateRect(Host::PageViewGetDocument(view_), Host::PageViewGetPageIndex(view_), nullptr);
  // The read-out follows the pointer while "Show Ruler" is on; off, it
  // changes only with the clicks.
  if (pointerMoved && Host::PrefGetInt(u"Measurement", u"Show Ruler", 1) == 0) return;
  UpdatePanel();
}

bool CMA_MeasureToolBase::Start(KA_PageView view, KS_FloatPoint p) {
  KA_Document doc = Host::PageViewGetDocument(view);
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Page page = Host::PageViewGetPage(view);
  if (!pdf || !page) return false;
  liveMeasure_ = ScaleSource(page, pdf, p);
  // A page without a scale asks for one while the calibration tips are on;
  // cancelling the prompt starts no measurement.
  if (!liveMeasure_ && CalibrationTipEnabled()) {
    if (!TryShowScaleDialog(doc, Host::PageViewGetPageIndex(view))) return false;
    liveMeasure_ = ScaleSource(page, pdf, p);
  }
  settings_ = ReadMeasureToolSettings(type_);
  style_ = ReadMeasureToolStyle(type_);
  if (!liveMeasure_) liveMeasure_ = DefaultScale(LoadDefaultRatio(kwannotation::DefaultUnitKey(0)));
  if (!liveMeasure_) return false;
  if (type_ == kMeasureVolume) liveMeasure_ = WithVolumeFormats(liveMeasure_);
  // A depth without a unit of its own is in the length unit of the scale,
  // also when the tool shows its values in other units.
  depthUnit_ = settings_.depthUnit.empty() ? kwannotation::KW_ScaleDepthUnit(*liveMeasure_.GetImpl())
                                           : settings_.depthUnit;
  // The tool's own units, where it has them, over the scale's.
  liveMeasure_ = InToolUnits(liveMeasure_, settings_);
  depthInX_ = kwannotation::KW_DepthInXUnits(*liveMeasure_.GetImpl(), settings_.depth, depthUnit_);
  view_ = view;
  points_ = {p, p};
  fixed_ = PathSums(kwannotation::KW_MeasureScaleOf(*liveMeasure_.GetImpl()));
  fixedBefore_ = fixed_;
  fixed_.Add(p);
  device_.clear();
  started_ = true;
  finishing_ = false;
  leaderPhase_ = false;
  Invalidate();
  return true;
}

void CMA_MeasureToolBase::Drop() {
  Host::SnapClear();
  markerShown_ = false;
  if (!started_) return;
  Invalidate();
  started_ = false;
  finishing_ = false;
  leaderPhase_ = false;
  points_.clear();
  fixed_ = fixedBefore_ = PathSums();
  device_.clear();
  view_ = nullptr;
  liveMeasure_ = {};
}

void CMA_MeasureToolBase::FixVertex(KS_FloatPoint p) {
  points_.back() = p;
  if (Distance(fixed_.last, p) >= kRepeat) {
    fixedBefore_ = fixed_;
    fixed_.Add(p);
  }
  points_.push_back(p);
}

bool CMA_MeasureToolBase::OnKeyDown(int32_t key, uint32_t) {
  if (key != kEscape || !started_ || finishing_) return false;
  Drop();
  // The values of the figure given up go with it.
  MeasureRightPanel().HideAll();
  return true;
}

bool CMA_MeasureToolBase::OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!IsUsableNow()) return false;
  KS_FloatPoint p{};
  if (!started_) {
    if (!ToPage(view, pt, flags, &p) || !Start(view, p)) return false;
    pressDevice_ = pt;
    return true;
  }
  if (view != view_ || !ToPage(view, pt, flags, &p)) return true;
  p = Constrained(flags, p);
  const KS_FloatPoint previous = points_[points_.size() - 2];
  switch (type_) {
    case kMeasureDistance:
      points_.back() = p;
      if (leaderPhase_) return Complete(), true;
      if (Host::PrefGetInt(u"Preferences\\Measuring", u"bLeader", 0) != 0) {
        if (Distance(points_[0], p) < kMinSize) {
          Drop();
          return true;
        }
        leaderPhase_ = true;
        points_.push_back(p);
        Invalidate();
        return true;
      }
      Complete();
      return true;
    case kMeasureAngle:
      if (Distance(previous, p) < kMinSize) return true;
      points_.back() = p;
      if (points_.size() == 3) return Complete(), true;
      points_.push_back(p);
      Invalidate();
      return true;
    case kMeasure3PointRadius: {
      KS_DevicePoint prevDevice{};
      Host::PageViewPageToDevice(view, previous, &prevDevice);
      if (std::hypot(double(pt.x) - prevDevice.x, double(pt.y) - prevDevice.y) < kMinClickDevice) return true;
      points_.back() = p;
      if (points_.size() == 3) {
        // A third point snapped onto the line of the first two gives no
        // circle; the point as clicked may.
        KS_FloatPoint centre{}, raw{};
        double radius = 0;
        if (!CircleThrough(points_[0], points_[1], p, &centre, &radius) && Host::PageViewDeviceToPage(view, pt, &raw))
          points_.back() = Constrained(flags, raw);
        return Complete(), true;
      }
      points_.push_back(p);
      Invalidate();
      return true;
    }
    case kMeasureCenterRadius:
      points_.back() = p;
      Complete();
      return true;
    case kMeasureCircleArea:
    case kMeasureDiameter:
      return true;
    default:  // perimeter, polylength, area, volume: a vertex more
      if (type_ == kMeasureArea || type_ == kMeasureVolume) {
        // A vertex whose edge would cross an earlier one is not taken.
        std::vector<KS_FloatPoint> tried = points_;
        tried.back() = p;
        if (osnap::NewestEdgeIntersects(tried)) return true;
      }
      FixVertex(p);
      Invalidate();
      return true;
  }
}

bool CMA_MeasureToolBase::OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_) return false;
  if (type_ != kMeasureCircleArea && type_ != kMeasureDiameter) return true;
  if (view != view_) {
    Drop();
    return true;
  }
  KS_FloatPoint p{};
  if (!DraggedCorner(view, flags, pt, &p)) {
    Drop();
    return true;
  }
  points_.back() = p;
  Complete();
  return true;
}

bool CMA_MeasureToolBase::DraggedCorner(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt,
                                        KS_FloatPoint* out) const {
  // Clamped to the view's device rectangle (the page's).
  KS_DevicePoint end = pt;
  KPD_Page page = Host::PageViewGetPage(view);
  KS_FloatRect box{};
  KS_DeviceRect device{};
  if (page && Host::PageGetBox(page, "/MediaBox", &box) && Host::PageViewPageRectToDevice(view, &box, &device)) {
    end.x = std::clamp(end.x, std::min(device.left, device.right), std::max(device.left, device.right));
    end.y = std::clamp(end.y, std::min(device.top, device.bottom), std::max(device.top, device.bottom));
  }
  if ((flags & KS_FLAG_SHIFT) || type_ == kMeasureDiameter) {
    const int dx = end.x - pressDevice_.x, dy = end.y - pressDevice_.y;
    const int side = std::min(std::abs(dx), std::abs(dy));
    end.x = pressDevice_.x + (dx < 0 ? -side : side);
    end.y = pressDevice_.y + (dy < 0 ? -side : side);
  }
  return Host::PageViewDeviceToPage(view, end, out) != 0;
}

bool CMA_MeasureToolBase::OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_) return false;
  switch (type_) {
    case kMeasurePerimeter:
    case kMeasurePolylength:
    case kMeasureArea:
    case kMeasureVolume: Complete(); return true;
    default: return true;
  }
}

bool CMA_MeasureToolBase::OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_) {
    // Before the first click the marker shows where it would land.
    KS_FloatPoint p{};
    if (flags & KS_FLAG_SHIFT) Host::SnapClear();
    const bool marked = view && !(flags & KS_FLAG_SHIFT) && Host::PageViewDeviceToPage(view, pt, &p) &&
                        SnapPoint(view, pt, false, {}, &p);
    if (view && (marked || markerShown_))
      Host::AppDocInvalidateRect(Host::PageViewGetDocument(view), Host::PageViewGetPageIndex(view), nullptr);
    markerShown_ = marked;
    return false;
  }
  if (view != view_) return false;
  KS_FloatPoint p{};
  if ((type_ == kMeasureCircleArea && (flags & KS_FLAG_SHIFT)) || type_ == kMeasureDiameter) {
    // The rubber band is the square the release will make.
    Host::SnapClear();
    if (!DraggedCorner(view, flags, pt, &p)) return true;
    points_.back() = p;
    Invalidate(true);
    return true;
  }
  if (!Host::PageViewDeviceToPage(view, pt, &p)) return true;
  if (flags & KS_FLAG_SHIFT)
    Host::SnapClear();  // no marker where the point will not go
  else
    SnapPoint(view, pt, true, points_.front(), &p);
  points_.back() = Constrained(flags, p);
  Invalidate(true);
  return true;
}

bool CMA_MeasureToolBase::OnRButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_) return false;
  const std::u16string complete = Widgets::Translate("ID_MEASURE_COMPLETE");
  const std::u16string cancel = Widgets::Translate("ID_MEASURE_CANCEL");
  const char16_t* items[] = {complete.c_str(), cancel.c_str()};
  const int chosen = Host::PopupMenu(items, 2);
  if (chosen == 1) {
    // Complete ends the figure at the last fixed point.
    if (points_.size() > 1 && type_ != kMeasureCircleArea && type_ != kMeasureDiameter) points_.pop_back();
    points_.push_back(points_.back());
    Complete();
  } else if (chosen == 2) {
    Drop();
  }
  return true;
}

void CMA_MeasureToolBase::OnPaint(KA_PageView view, KA_Device device, intptr_t, uint32_t) {
  Host::SnapDrawMarker(view, device);
  if (!started_ || view != view_ || points_.empty()) return;
  KA_Pen pen = Host::PenNew(static_cast<KS_ColorRef>(style_.color), 1, 0);
  KA_Pen old = Host::DeviceSelectPen(device, pen);
  // The vertices that no longer move keep their device points until the
  // view is zoomed, scrolled or turned; only the one at the pointer is
  // turned into device space anew.
  KS_Matrix matrix{};
  Host::PageViewGetMatrix(view, &matrix);
  const auto same = [](const KS_Matrix& a, const KS_Matrix& b) {
    return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.e == b.e && a.f == b.f;
  };
  if (!same(matrix, deviceMatrix_)) device_.clear();
  deviceMatrix_ = matrix;
  const size_t fixedCount = points_.size() - 1;
  if (device_.size() > fixedCount) device_.clear();
  for (size_t i = device_.size(); i < fixedCount; ++i) {
    KS_DevicePoint d{};
    Host::PageViewPageToDevice(view, points_[i], &d);
    device_.push_back(d);
  }
  KS_DevicePoint live{};
  Host::PageViewPageToDevice(view, points_.back(), &live);
  device_.push_back(live);
  if (type_ == kMeasureCircleArea || type_ == kMeasureDiameter) {
    KS_DeviceRect r{std::min(device_.front().x, device_.back().x), std::min(device_.front().y, device_.back().y),
                    std::max(device_.front().x, device_.back().x), std::max(device_.front().y, device_.back().y)};
    Host::DeviceRectangle(device, &r);
  } else {
    const bool closed = type_ == kMeasureArea || type_ == kMeasureVolume;
    Host::DevicePolyline(device, device_.data(), static_cast<int32_t>(device_.size()), closed && device_.size() > 2);
  }
  device_.pop_back();
  Host::DeviceSelectPen(device, old);
  Host::PenRelease(pen);
}

bool CMA_MeasureToolBase::Complete() {
  if (!started_) return false;
  if (type_ == kMeasureArea || type_ == kMeasureVolume) {
    // A polygon whose closing edge would cross another one is refused as a
    // vertex that crosses is: nothing is made and the figure stays open.
    MeasureFigure figure;
    if (CurrentFigure(true, &figure) && osnap::EdgesAtVertexIntersect(figure.points, 0)) return false;
  }
  finishing_ = true;
  const bool made = Create();
  Drop();
  return made;
}

bool CMA_MeasureToolBase::CurrentFigure(bool final, MeasureFigure* out) const {
  *out = MeasureFigure{};
  out->depth = depthInX_;
  if (points_.empty()) return false;
  switch (type_) {
    case kMeasureDistance: {
      if (points_.size() < 2) return false;
      out->points = {points_[0], points_[1]};
      // Its direction is read in the view the user draws in.
      KS_Matrix matrix{};
      if (view_ && Host::PageViewGetMatrix(view_, &matrix)) out->viewTurn = ViewTurnOf(matrix);
      return Distance(points_[0], points_[1]) >= kMinSize;
    }
    case kMeasurePerimeter:
    case kMeasurePolylength:
      if (!final) {
        PathSums path = fixed_;
        if (Distance(path.last, points_.back()) >= kRepeat) path.Add(points_.back());
        out->sums = path;
        return path.count >= 2 && path.pageLength >= kMinSize;
      }
      out->points = WithoutRepeats(std::vector<KS_FloatPoint>(points_.begin(), points_.end() - 1));
      return out->points.size() >= 2 &&
             kwannotation::KW_PathLength({1, 1, true}, FlatCoordinates(out->points), false) >= kMinSize;
    case kMeasureArea:
    case kMeasureVolume: {
      if (!final) {
        // As the points below: repeats left out, and a last vertex back on
        // the first one taken off.
        PathSums path = fixed_, withoutLast = fixedBefore_;
        if (Distance(path.last, points_.back()) >= kRepeat) {
          withoutLast = path;
          path.Add(points_.back());
        }
        if (path.count >= 2 && Distance(path.first, path.last) < kRepeat) path = withoutLast;
        out->sums = path;
        return path.count >= 3 && path.PageArea() >= kMinSize;
      }
      out->points = WithoutRepeats(std::vector<KS_FloatPoint>(points_.begin(), points_.end() - 1));
      if (out->points.size() >= 2 && Distance(out->points.front(), out->points.back()) < kRepeat)
        out->points.pop_back();
      return out->points.size() >= 3 &&
             kwannotation::KW_PolygonArea({1, 1, true}, FlatCoordinates(out->points)) >= kMinSize;
    }
    case kMeasureAngle:
      out->points = points_;
      return points_.size() == 3;
    case kMeasureCenterRadius:
      if (points_.size() < 2) return false;
      out->points = {points_[0], points_.back()};
      return Distance(points_[0], points_.back()) >= kMinSize;
    case kMeasure3PointRadius: {
      KS_FloatPoint centre{};
      double radius = 0;
      if (points_.size() < 3 || !CircleThrough(points_[0], points_[1], points_[2], &centre, &radius)) {
        // Before the third click the panel shows the first chord.
        out->points = {points_[0], points_.back()};
        return false;
      }
      out->points = {centre, points_[0]};
      return true;
    }
    case kMeasureCircleArea:
    case kMeasureDiameter: {
      const KS_FloatPoint a = points_.front(), b = points_.back();
      out->rect = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
      return out->rect.right - out->rect.left >= kMinSize && out->rect.top - out->rect.bottom >= kMinSize;
    }
    default: return false;
  }
}

void CMA_MeasureToolBase::UpdatePanel() {
  if (!started_ || !liveMeasure_ || Host::PrefGetInt(u"Measurement", u"Show Dialog", 1) == 0) return;
  MeasureFigure figure;
  CurrentFigure(false, &figure);
  MeasureRightPanel().Show(type_, MeasureFigureValues(type_, figure, *liveMeasure_.GetImpl()).panel);
}

bool CMA_MeasureToolBase::Create() {
  const MeasureTypeInfo* row = MeasureTypeRow(type_);
  KA_PageView view = view_;
  if (!row || !view || !liveMeasure_ || !IsUsableNow()) return false;
  KA_Document doc = Host::PageViewGetDocument(view);
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Page page = Host::PageViewGetPage(view);
  const int pageIndex = Host::PageViewGetPageIndex(view);
  if (!pdf || !page) return false;

  // The figure, checked against its minimum, and its value with the scale
  // the annotation will carry.
  MeasureFigure figure;
  if (!CurrentFigure(true, &figure)) return false;
  if (type_ == kMeasure3PointRadius) {
    // The radius line runs from the centre along the x axis.
    const double r = Distance(figure.points[0], figure.points[1]);
    figure.points[1] = KS_FloatPoint{static_cast<float>(figure.points[0].x + r), figure.points[0].y};
  }
  const FigureValues values = MeasureFigureValues(type_, figure, *liveMeasure_.GetImpl());
  if (values.main.empty()) {
    TellNotShown();
    return false;
  }
  if (Host::PrefGetInt(u"Measurement", u"Markup", 1) == 0) return false;

  auto list = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  if (!list) return false;
  std::shared_ptr<kwannotation::CKW_Annot> annot = list->CreateAnnot(row->subtype, nullptr, row->intent);
  auto* markup = dynamic_cast<kwannotation::CKW_MarkupAnnot*>(annot.get());
  if (!markup) {
    if (annot) list->RemoveAnnot(annot->GetAnnot());
    return false;
  }
  KPD_Dictionary dict = annot->GetDict();
  kwannotation::CKW_AnnotWriter writer(*annot->GetImpl());

  // Geometry.
  if (auto* line = dynamic_cast<kwannotation::CKW_Line*>(annot.get())) {
    line->SetLinePoints(figure.points[0], figure.points[1]);
    if (leaderPhase_ && points_.size() > 2) {
      // The leader length: how far the leader point lies off the line, on
      // the left of its direction when positive.
      const KS_FloatPoint a = figure.points[0], b = figure.points[1], l = points_[2];
      const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
      kwannotation::KwLineLeader leader;
      leader.length = ((double(l.y) - a.y) * dx - (double(l.x) - a.x) * dy) / std::hypot(dx, dy);
      line->SetLeader(leader);
    }
  } else if (type_ == kMeasureCircleArea || type_ == kMeasureDiameter) {
    annot->SetRect(figure.rect);
  } else {
    markup->SetVertices(figure.points);
    // A first /Rect around the vertices (never empty); the appearance grows
    // it to what it draws.
    KS_FloatRect box{figure.points[0].x, figure.points[0].y, figure.points[0].x, figure.points[0].y};
    for (const KS_FloatPoint& p : figure.points) {
      box.left = std::min(box.left, p.x), box.right = std::max(box.right, p.x);
      box.bottom = std::min(box.bottom, p.y), box.top = std::max(box.top, p.y);
    }
    annot->SetRect({box.left - 1, box.bottom - 1, box.right + 1, box.top + 1});
  }

  // Style and subject: without settings of its own a measurement takes the
  // host's default colour (red) and full opacity.
  annot->SetColor(ColorOf(style_.color));
  if (style_.hasSetting) {
    if (style_.fillColor) markup->SetInteriorColor(ColorOf(*style_.fillColor));
    annot->SetOpacity(style_.opacity / 100.0f);
  }
  // A distance says where its caption goes: above the line unless the
  // style puts it in the line (a line without /CP has it in the line).
  if (type_ == kMeasureDistance) writer.SetName("/CP", style_.textInLine ? "Inline" : "Top");
  markup->SetSubject(Widgets::Translate(row->subjectKey));
  // A name of its own, so that XFDF and captured tools can address it, and
  // the user as its author.
  StampIdentity(dict);

  // The measure dictionary and the settings kept on the annotation.
  if (!liveMeasure_->WriteToAnnot(dict, pdf)) {
    list->RemoveAnnot(annot->GetAnnot());
    TellNotShown();
    return false;
  }
  if (!settings_.label.empty()) writer.SetOwned("/Label", Host::StringObjectNewFromText(settings_.label.data(), settings_.label.size()));
  const int caps = MeasureCapabilities(type_);
  if (caps & kCapSlope) {
    writer.SetInteger("/SlopeType", settings_.slopeType);
    writer.SetNumber("/PitchRun", 12);
  }
  // A circle area is told from a diameter by having no caption bits.
  if (type_ != kMeasureCircleArea) writer.SetInteger("/MeasurementTypes", settings_.showCaption);
  if (caps & kCapSegments) writer.SetBool("/Segments", settings_.showSegment != 0);
  if (type_ == kMeasurePolylength) writer.SetBool("/RiseDrop", true);
  // A line shows its caption only when asked to; a distance always is.
  if (type_ == kMeasureDistance) writer.SetBool("/Cap", true);
  if (type_ == kMeasureVolume) {
    writer.SetNumber("/Depth", settings_.depth);
    // The depth always says its unit, so that it keeps its length when the
    // measurement is later shown in other units.
    if (!depthUnit_.empty()) writer.SetOwned("/DepthUnit", kwannotation::KW_NewDepthUnit(depthUnit_));
  }
  if (type_ == kMeasureDiameter || type_ == kMeasureCenterRadius || type_ == kMeasure3PointRadius)
    writer.SetBool("/CenterPoint", true);

  // The contents are the value lines the caption shows, from the
  // annotation's own keys, so that the page, the file and `annot measure
  // info` say the same.
  const kwannotation::KwMeasureTexts texts = kwannotation::KW_MeasureTextsOf(dict);
  if (texts.contents.empty() || !ShowableValue(texts.contents)) {
    list->RemoveAnnot(annot->GetAnnot());
    TellNotShown();
    return false;
  }
  annot->SetContents(texts.contents);
  annot->ResetAppearance();

  // One undo step; the annotation stays where the page put it.
  const int index = Host::PageFindAnnot(page, dict);
  auto undo = std::make_unique<CMSA_UndoCreate>(doc, pageIndex, dict, index);
  undo->SetCaption(Widgets::Translate("IDS_STR_UNDOCREATE") + Widgets::Translate(row->labelKey));
  AnnotUndo_HandOver(std::move(undo), doc);
  Host::AppDocInvalidateRect(doc, pageIndex, nullptr);

  // Unless the tool is kept, the Hand tool takes over with the new
  // measurement as the current annotation, its pop-up opened when the user
  // asked for that ("bAutoOpenPopup").
  if (Host::PrefGetInt(u"KeepToolSelected", row->keepSelectedKey, 1) == 0) {
    KA_Annot made = Host::AnnotFromDict(doc, dict);
    KA_Annot focused = made ? made : Host::AppDocGetFocusedAnnot(doc);
    if (KA_Tool hand = Host::AppGetToolByName("Hand")) Host::AppSetCurrentTool(hand, 0);
    if (focused) {
      Host::AppDocSetFocusedAnnot(doc, focused);
      if (Host::PrefGetInt(u"Annotation", u"bAutoOpenPopup", 0) == 1) Host::AnnotOpenPopup(focused);
    }
  }
  return true;
}

void CMA_MeasureToolBase::OnActivate(bool) { MeasureFormatTab().ToolChanged(); }

void CMA_MeasureToolBase::OnDeactivate() {
  Drop();
  MeasureFormatTab().ToolChanged();
}

}  // namespace AnnotationPlugin
