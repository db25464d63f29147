#include "kwannotation/kw_measure_appearance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_caption_text.h"
#include "kwannotation/kw_provider.h"
#include "kwannotation/kw_geometry.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_measure_values.h"
#include "kwannotation/kw_number_format.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_units.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

constexpr double kPi = 3.14159265358979323846;

bool Fail(std::string* reason, const char* text) {
  if (reason) *reason = text;
  return false;
}

struct Pt {
  double x = 0, y = 0;
};

double Dist(Pt a, Pt b) { return std::hypot(b.x - a.x, b.y - a.y); }

std::vector<double> Flat(const std::vector<KS_FloatPoint>& p) {
  std::vector<double> xy;
  xy.reserve(p.size() * 2);
  for (const auto& q : p) {
    xy.push_back(q.x);
    xy.push_back(q.y);
  }
  return xy;
}

// The area centroid of a simple polygon; the mean of its points when the
// area is (nearly) zero.
Pt Centroid(const std::vector<KS_FloatPoint>& p) {
  double a = 0, cx = 0, cy = 0;
  const size_t n = p.size();
  for (size_t i = 0; i < n; ++i) {
    const KS_FloatPoint& u = p[i];
    const KS_FloatPoint& v = p[(i + 1) % n];
    double c = double(u.x) * v.y - double(v.x) * u.y;
    a += c;
    cx += (double(u.x) + v.x) * c;
    cy += (double(u.y) + v.y) * c;
  }
  if (std::fabs(a) > 1e-9) return {cx / (3 * a), cy / (3 * a)};
  Pt m;
  for (const auto& q : p) {
    m.x += q.x / double(n);
    m.y += q.y / double(n);
  }
  return m;
}

// The angle at p[1] between the arms to p[0] and p[2], in degrees (0 to 180).
// The angle between the arms of the flat points x0 y0 x1 y1 x2 y2, at the
// second point.
double ArmAngle(const std::vector<double>& xy, const KwMeasureScale& s) {
  double ax = (xy[0] - xy[2]) * s.x, ay = (xy[1] - xy[3]) * s.y;
  double bx = (xy[4] - xy[2]) * s.x, by = (xy[5] - xy[3]) * s.y;
  if ((ax == 0 && ay == 0) || (bx == 0 && by == 0)) return 0;
  double d = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
  return std::fabs(d) * 180.0 / kPi;
}

// The name a caption line carries in front of its value; empty for none.
// The letters are the standard's symbols; the slope is named in words.
std::u16string LineName(uint32_t bit) {
  switch (bit) {
    case kMeasureTypeLength: return u"L";
    case kMeasureTypeDepth: return u"D";
    case kMeasureTypeWallArea: return u"WA";
    case kMeasureTypeSlope: return KW_LocalizedText("IDS_SLOPE");
    default: return {};
  }
}

class Formatter {
 public:
  Formatter(const CKW_MeasureDictImpl& m, const KwMeasureScale& s) : m_(m), s_(s) {}
  // A distance in X units with "D", else with "X".
  std::u16string Distance(double xUnits) const {
    if (m_.GetFormatCount(kMeasureArrayD) > 0) return Or(m_.FormatValue(kMeasureArrayD, xUnits));
    return Or(m_.FormatValue(kMeasureArrayX, xUnits / s_.x));
  }
  std::u16string Area(double v) const { return Or(m_.FormatValue(kMeasureArrayA, v)); }
  std::u16string Volume(double v) const { return Or(m_.FormatValue(int(FormatArray::V), v)); }
  std::u16string Angle(double degrees) const {
    if (m_.GetFormatCount(int(FormatArray::T)) > 0) return Or(m_.FormatValue(int(FormatArray::T), degrees));
    return std::isfinite(degrees) ? KW_FormatDegrees(degrees) : std::u16string();
  }

 private:
  static std::u16string Or(const std::optional<std::u16string>& t) { return t ? *t : std::u16string(); }
  const CKW_MeasureDictImpl& m_;
  KwMeasureScale s_;
};

// The unit the X array measures in: the normalised label of its first
// element.
std::u16string XUnit(const CKW_MeasureDictImpl& m) {
  if (m.GetFormatCount(kMeasureArrayX) == 0) return {};
  return NormalizeUnit(m.GetFormat(kMeasureArrayX, 0).unit);
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) < 1e15; }

// A flag stored as a boolean, or as a number (non-zero is on).
bool Flag(KPD_Dictionary d, const char* key) {
  if (auto b = dict::GetBool(d, key)) return *b;
  if (auto n = dict::GetNumber(d, key)) return *n != 0;
  return false;
}

}  // namespace

const KwMeasureQuantity* KwMeasureTexts::Find(uint32_t bit) const {
  for (const auto& q : quantities)
    if (q.bit == bit) return &q;
  return nullptr;
}

uint32_t KW_DefaultMeasurementTypes(int32_t kind) {
  switch (kind) {
    case KW_MEASURE_LINE:
    case KW_MEASURE_POLYLINE:
    case KW_MEASURE_RADIUS: return kMeasureTypeLabel | kMeasureTypeLength;
    case KW_MEASURE_POLYGON:
    case KW_MEASURE_CIRCLE: return kMeasureTypeLabel | kMeasureTypeArea;
    case KW_MEASURE_VOLUME: return kMeasureTypeLabel | kMeasureTypeVolume;
    case KW_MEASURE_ANGLE: return kMeasureTypeLabel | kMeasureTypeAngle;
    default: return kMeasureTypeLabel;
  }
}

namespace {
KwMeasureTexts ComputeMeasureTexts(const CKW_MeasureDictImpl* measure, const KwMeasureInput& in, bool checked);
}  // namespace

KwMeasureTexts KW_ComputeMeasureTexts(const CKW_MeasureDictImpl* measure, const KwMeasureInput& in) {
  return ComputeMeasureTexts(measure, in, false);
}

KwMeasureTexts KW_ComputeMeasureTextsOfValid(const CKW_MeasureDictImpl& measure, const KwMeasureInput& in) {
  return ComputeMeasureTexts(&measure, in, true);
}

namespace {

// `checked`: the dictionary is known to be valid.
KwMeasureTexts ComputeMeasureTexts(const CKW_MeasureDictImpl* measure, const KwMeasureInput& in, bool checked) {
  KwMeasureTexts t;
  t.kind = in.kind;
  t.types = in.types ? in.types : KW_DefaultMeasurementTypes(in.kind);
  if (!measure || !measure->GetDict()) {
    t.problem = "no measure dictionary";
    return t;
  }
  std::string invalid = checked ? std::string() : measure->InvalidReason();
  if (!invalid.empty()) {
    t.problem = "invalid measure dictionary: " + invalid;
    return t;
  }
  const KwMeasureScale s = KW_MeasureScaleOf(*measure);
  if (!s.usable) {
    t.problem = "no usable X scale";
    return t;
  }
  const Formatter f(*measure, s);
  const std::vector<KS_FloatPoint>& p = in.points;
  // Values come from the geometry as stored, not from its float copy.
  const std::vector<double> xy = in.xy.size() == 2 * p.size() ? in.xy : Flat(p);
  auto add = [&](uint32_t bit, double value, std::u16string text) {
    if (!Finite(value)) text.clear();
    t.quantities.push_back({bit, value, std::move(text)});
  };
  const double depth = in.hasDepth ? KW_DepthInXUnits(*measure, in.depth, in.depthUnit) : in.depth;

  switch (in.kind) {
    case KW_MEASURE_LINE: {
      if (p.size() < 2) break;
      double len = KW_ScaledLength(s, xy[0], xy[1], xy[2], xy[3]);
      add(kMeasureTypeLength, len, f.Distance(len));
      if (in.hasDepth) {
        add(kMeasureTypeDepth, depth, f.Distance(depth));
        add(kMeasureTypeWallArea, len * depth, f.Area(len * depth));
      }
      double run = std::fabs((xy[2] - xy[0]) * s.x), rise = std::fabs((xy[3] - xy[1]) * s.y);
      double slope = 0;
      if (in.slopeType == 1) slope = std::atan2(rise, run) * 180.0 / kPi;
      else if (run > 0) slope = in.slopeType == 2 ? 100.0 * rise / run : in.pitchRun * rise / run;
      add(kMeasureTypeSlope, slope,
          SlopeDisplayText(slope, in.slopeType, in.pitchRun, KW_LocalizedText("IDS_GRADE"),
                           KW_LocalizedText("IDS_PITCH")));
      break;
    }
    case KW_MEASURE_POLYLINE: {
      if (p.size() < 2) break;
      double len = KW_PathLength(s, xy, false);
      add(kMeasureTypeLength, len, f.Distance(len));
      break;
    }
    case KW_MEASURE_POLYGON:
    case KW_MEASURE_VOLUME: {
      if (p.size() < 3) break;
      double area = KW_PolygonArea(s, xy), per = KW_PathLength(s, xy, true);
      add(kMeasureTypeArea, area, f.Area(area));
      if (in.kind == KW_MEASURE_VOLUME || in.hasDepth) {
        add(kMeasureTypeVolume, area * depth, f.Volume(area * depth));
        add(kMeasureTypeDepth, depth, f.Distance(depth));
      }
      add(kMeasureTypePerimeter, per, f.Distance(per));
      break;
    }
    case KW_MEASURE_CIRCLE: {
      const bool exact = in.circleWidth >= 0 && in.circleHeight >= 0;
      double w = (exact ? in.circleWidth : std::fabs(double(in.circle.right) - in.circle.left)) * s.x;
      double h = (exact ? in.circleHeight : std::fabs(double(in.circle.top) - in.circle.bottom)) * s.y;
      if (!(w > 0) || !(h > 0)) break;
      double a = w / 2, b = h / 2;
      // Ramanujan's perimeter of the ellipse; exact for a circle.
      double circ = kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b)));
      add(kMeasureTypeArea, kPi * a * b, f.Area(kPi * a * b));
      add(kMeasureTypeDiameter, w, f.Distance(w));
      add(kMeasureTypeCircumference, circ, f.Distance(circ));
      break;
    }
    case KW_MEASURE_RADIUS: {
      if (p.size() < 2) break;
      double r = KW_ScaledLength(s, xy[0], xy[1], xy[2], xy[3]);
      add(kMeasureTypeArea, kPi * r * r, f.Area(kPi * r * r));
      add(kMeasureTypeLength, r, f.Distance(r));
      add(kMeasureTypeDiameter, 2 * r, f.Distance(2 * r));
      add(kMeasureTypeCircumference, 2 * kPi * r, f.Distance(2 * kPi * r));
      break;
    }
    case KW_MEASURE_ANGLE: {
      if (p.size() < 3) break;
      double deg = ArmAngle(xy, s);
      add(kMeasureTypeAngle, deg, f.Angle(deg));
      break;
    }
    default: break;
  }

  const uint32_t selected = t.types & ~uint32_t(kMeasureTypeLabel);
  if ((t.types & kMeasureTypeLabel) && !in.label.empty()) t.captionLines.push_back(in.label);
  for (const auto& q : t.quantities) {
    if (!(selected & q.bit) || q.text.empty()) continue;
    std::u16string line = q.text;
    const std::u16string name = LineName(q.bit);
    if (!name.empty() && selected != kMeasureTypeLength) {
      std::u16string prefix = name + u" = ";
      if (line.compare(0, prefix.size(), prefix) != 0) line = prefix + line;
    }
    if (t.primary.empty()) t.primary = q.text;
    if (!t.contents.empty()) t.contents += u'\n';
    t.contents += line;
    t.captionLines.push_back(std::move(line));
  }
  if (t.contents.empty() && t.problem.empty())
    t.problem = t.quantities.empty() ? "no usable geometry" : "the values cannot be shown with this measure dictionary";
  return t;
}

}  // namespace

bool KW_ReadMeasureInput(KPD_Dictionary annot, KwMeasureInput* in) {
  if (!annot) return false;
  host::ByteString it;
  KPD_Object itObj = host::DictGet(annot, "/IT");
  if (!itObj || !host::NameGet(itObj, it.get())) return false;
  std::string intent = it.str();
  if (!intent.empty() && intent[0] == '/') intent.erase(0, 1);
  in->kind = KW_MeasureKindFromIntent(intent);
  if (in->kind == KW_MEASURE_NONE) return false;
  in->points.clear();
  in->circleWidth = in->circleHeight = -1;
  std::vector<double> v;
  if (in->kind == KW_MEASURE_LINE) v = dict::GetDoubles(host::DictGet(annot, "/L"));
  else if (in->kind != KW_MEASURE_CIRCLE) v = dict::GetDoubles(host::DictGet(annot, "/Vertices"));
  for (size_t i = 0; i + 1 < v.size(); i += 2) {
    if (!geom::InRange(v[i]) || !geom::InRange(v[i + 1])) return false;
    in->points.push_back({float(v[i]), float(v[i + 1])});
  }
  v.resize(in->points.size() * 2);
  in->xy = std::move(v);
  if (in->kind == KW_MEASURE_CIRCLE) {
    std::vector<double> r = dict::GetDoubles(host::DictGet(annot, "/Rect"));
    if (r.size() != 4) return false;
    KS_FloatRect rect{float(std::min(r[0], r[2])), float(std::min(r[1], r[3])), float(std::max(r[0], r[2])),
                      float(std::max(r[1], r[3]))};
    float rd[4];
    std::vector<double> d = dict::GetDoubles(host::DictGet(annot, "/RD"));
    double width = std::fabs(r[2] - r[0]), height = std::fabs(r[3] - r[1]);
    if (d.size() == 4) {
      for (int i = 0; i < 4; ++i) rd[i] = float(d[i]);
      KS_FloatRect inner = geom::Inset(rect, rd);
      if (inner.left < inner.right && inner.bottom < inner.top) {
        rect = inner;
        // Negative differences count as none, as in the inset rectangle.
        width -= std::max(0.0, d[0]) + std::max(0.0, d[2]);
        height -= std::max(0.0, d[1]) + std::max(0.0, d[3]);
      }
    }
    in->circle = rect;
    in->circleWidth = width;
    in->circleHeight = height;
  } else if (in->points.empty()) {
    return false;
  }
  std::optional<int64_t> types = dict::GetInteger(annot, "/MeasurementTypes");
  in->types = types && *types > 0 && *types < (1 << 24) ? uint32_t(*types) : 0;
  std::u16string text;
  in->label = dict::GetText(annot, "/Label", &text) ? text : std::u16string();
  double depth = 0;
  in->hasDepth = dict::GetNumber(annot, "/Depth", &depth) && Finite(depth);
  in->depth = in->hasDepth ? depth : 0;
  const std::u16string depthUnit = KW_DepthUnitOf(annot);
  in->depthUnit = depthUnit.empty() ? depthUnit : NormalizeUnit(depthUnit);
  std::optional<int64_t> st = dict::GetInteger(annot, "/SlopeType");
  in->slopeType = st && *st >= 0 && *st <= 2 ? int(*st) : 1;
  double run = 12;
  in->pitchRun = dict::GetNumber(annot, "/PitchRun", &run) && Finite(run) && run > 0 ? run : 12;
  return true;
}

std::u16string KW_FormatDegrees(double degrees) {
  double shown = std::isfinite(degrees) ? std::round(degrees * 100) / 100 : 0.0;
  if (shown >= 360.0) shown -= 360.0;
  if (shown == 0) shown = 0;  // no "-0.00"
  return text::FromAscii(ks::FormatFixed(shown, 2)) + u"\u00B0";
}

std::u16string KW_DepthUnitOf(KPD_Dictionary annot) {
  std::u16string text;
  KPD_Object du = annot ? host::DictGet(annot, "/DepthUnit") : nullptr;
  if (!du) return text;
  // A number-format array whose first element names the unit; a plain
  // text is read as the unit too.
  if (host::ObjectGetType(du) == KPD_OBJ_ARRAY) {
    KPD_Object first = host::ArrayCount(du) > 0 ? host::ArrayGet(du, 0) : nullptr;
    if (first && host::ObjectGetType(first) == KPD_OBJ_DICTIONARY) dict::GetText(first, "/U", &text);
  } else {
    dict::GetText(annot, "/DepthUnit", &text);
  }
  return text;
}

KPD_Object KW_NewDepthUnit(std::u16string_view unit) {
  dict::Owned array(host::ArrayNew());
  dict::Owned element(host::DictNew());
  dict::Owned type(host::NameNew("/NumberFormat"));
  dict::Owned label(host::StringObjectNewFromText(unit.data(), unit.size()));
  dict::Owned one(host::IntegerNew(1));
  if (!array.get() || !element.get() || !type.get() || !label.get() || !one.get()) return nullptr;
  host::DictSet(element.get(), "/Type", type.get());
  host::DictSet(element.get(), "/U", label.get());
  host::DictSet(element.get(), "/C", one.get());
  host::ArrayAppend(array.get(), element.get());
  return array.release();
}

std::u16string KW_ScaleDepthUnit(const CKW_MeasureDictImpl& measure) {
  const std::u16string unit = measure.GetDisplayUnits().length;
  switch (GetUnitKind(unit)) {
    case UnitKind::FeetInches: return u"ft";
    case UnitKind::InchFraction: return u"in";
    case UnitKind::Decimal: return unit;
  }
  return unit;
}

void KW_PinDepthUnit(KPD_Dictionary annot) {
  double depth = 0;
  if (!annot || !dict::GetNumber(annot, "/Depth", &depth) || !KW_DepthUnitOf(annot).empty()) return;
  KPD_Dictionary own = CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, nullptr, false);
  const std::u16string unit = own ? KW_ScaleDepthUnit(CKW_MeasureDictImpl(own)) : std::u16string();
  if (!unit.empty()) dict::SetOwned(annot, "/DepthUnit", KW_NewDepthUnit(unit));
}

double KW_DepthInXUnits(const CKW_MeasureDictImpl& measure, double depth, std::u16string_view depthUnit) {
  if (depthUnit.empty()) return depth;
  const std::u16string x = XUnit(measure);
  return x.empty() ? depth : depth * LengthFactor(depthUnit, x);
}

KwMeasureTexts KW_MeasureTextsOf(KPD_Dictionary annot) {
  KwMeasureInput in;
  if (!KW_ReadMeasureInput(annot, &in)) {
    KwMeasureTexts t;
    t.problem = "not a measurement with usable geometry";
    return t;
  }
  KPD_Object m = host::DictGet(annot, "/Measure");
  if (!m || host::ObjectGetType(m) != KPD_OBJ_DICTIONARY) return KW_ComputeMeasureTexts(nullptr, in);
  CKW_MeasureDictImpl measure(m);
  return KW_ComputeMeasureTexts(&measure, in);
}

KPD_ColorF KW_MeasureCaptionColor(const CKW_MarkupAnnotImpl& annot) {
  KPD_ColorF cc{};
  if (KW_ColorFromArray(host::DictGet(annot.GetDict(), "/CC"), &cc) && cc.kind != KPD_COLOR_NONE) return ToRGB(cc);
  KPD_ColorF c{};
  KPD_ColorF out{};
  out.kind = KPD_COLOR_RGB;
  if (!annot.GetColor(&c) || c.kind == KPD_COLOR_NONE) return out;
  c = ToRGB(c);
  for (int i = 0; i < 3; ++i) {
    int v = static_cast<int>(c.c[i] * 255.0f);
    out.c[i] = 1.0f - static_cast<float>(v ^ 165) / 255.0f;
  }
  return out;
}

double KW_CentreMarkHalfSize(const KS_FloatRect& r) {
  double w = std::fabs(double(r.right) - r.left), h = std::fabs(double(r.top) - r.bottom);
  return std::max(2.0, 0.03 * std::min(w, h));
}

namespace {

// Everything a measurement adds to its shape, and the box over it.
struct Parts {
  std::string content;
  ApBounds box;
  CaptionFontSpec font;
  KPD_ColorF color{};
  double angle = 0;  // extra caption turn in radians
  int quarters = 0;  // the page's clockwise turn in the view
  double turn = 0;   // the same in radians: level in the view
  std::vector<CaptionPlacement> captions;
};

void Stroke(Parts& parts, const std::vector<Pt>& line) {
  for (size_t i = 0; i < line.size(); ++i) {
    if (i == 0) AppendMoveTo(parts.content, line[i].x, line[i].y);
    else AppendLineTo(parts.content, line[i].x, line[i].y);
    parts.box.Add(line[i].x, line[i].y);
  }
}

// The caption's own turn: -"CaptionRotation" degrees.
double CaptionAngle(const CKW_MarkupAnnotImpl& annot) {
  double rot = 0;
  if (dict::GetNumber(annot.GetDict(), "/CaptionRotation", &rot) && std::isfinite(rot))
    return -std::fmod(rot, 360.0) * 0.017453292;
  return 0;
}

// The quarter turns, clockwise, by which the view shows the annotation's
// page: the page of its list, else `known`, else the page its /P names.
// The page the annotation lies on: its list's, else `known`, else its /P.
KPD_Page PageOf(const CKW_MarkupAnnotImpl& annot, KPD_Page known) {
  KPD_Page page = nullptr;
  if (auto list = annot.GetPageList()) page = list->GetPage();
  if (!page) page = known;
  if (!page) {
    KPD_Object p = host::DictGet(annot.GetDict(), "/P");
    if (p && host::ObjectGetType(p) == KPD_OBJ_DICTIONARY) page = p;
  }
  return page;
}

int PageQuarters(KPD_Page page) { return page ? (host::PageGetRotation(page) / 90) & 3 : 0; }

// Draws the centre cross and grows the box over it.
void CentreMark(Parts& parts, const KS_FloatRect& r) {
  double s = KW_CentreMarkHalfSize(r);
  double cx = (double(r.left) + r.right) / 2, cy = (double(r.bottom) + r.top) / 2;
  Stroke(parts, {{cx - s, cy}, {cx + s, cy}});
  parts.content += "S\n";
  Stroke(parts, {{cx, cy - s}, {cx, cy + s}});
  parts.content += "S\n";
}

// The arc between the two arms at p1, on the smaller side.
void AngleArc(Parts& parts, Pt p0, Pt p1, Pt p2) {
  double r = std::min(Dist(p0, p1), Dist(p2, p1)) * 0.33;
  r = std::clamp(r, 0.0, 30.0);
  if (!(r > 0)) return;
  double a1 = std::atan2(p0.y - p1.y, p0.x - p1.x);
  double d = std::atan2(p2.y - p1.y, p2.x - p1.x) - a1;
  while (d <= -kPi) d += 2 * kPi;
  while (d > kPi) d -= 2 * kPi;
  if (d >= 0) CMKA_Path::AppendArc(parts.content, p1.x, p1.y, r, a1, a1 + d, true);
  else CMKA_Path::AppendArc(parts.content, p1.x, p1.y, r, a1 + d, a1, true);
  parts.content += "S\n";
  parts.box.Add(p1.x - r, p1.y - r);
  parts.box.Add(p1.x + r, p1.y + r);
}

// The radius: a line from the centre to the rim and the circle through the
// rim point.
void RadiusFigure(Parts& parts, Pt c, Pt rim) {
  double r = Dist(c, rim);
  if (!(r > 0)) return;
  Stroke(parts, {c, rim});
  parts.content += "S\n";
  double a = std::atan2(rim.y - c.y, rim.x - c.x);
  CMKA_Path::AppendArc(parts.content, c.x, c.y, r, a, a + 2 * kPi, true);
  parts.content += "S\n";
  parts.box.Add(c.x - r, c.y - r);
  parts.box.Add(c.x + r, c.y + r);
}

void AddCaption(Parts& parts, std::vector<std::u16string> lines, Pt anchor, double angle, CaptionAnchor how,
                double gap) {
  if (lines.empty()) return;
  CaptionPlacement c;
  c.lines = std::move(lines);
  c.x = anchor.x;
  c.y = anchor.y;
  c.angle = angle + parts.angle;
  c.anchor = how;
  c.gap = gap;
  parts.captions.push_back(std::move(c));
}

// Direction in page space of a segment's text that reads left to right
// (bottom to top when upright) in the view, which shows the page turned
// clockwise by `quarters`.
double ReadingAngle(Pt a, Pt b, int quarters) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  // The segment as the view shows it; quarter turns are exact.
  double vx = dx, vy = dy;
  switch (quarters & 3) {
    case 1: vx = dy, vy = -dx; break;
    case 2: vx = -dx, vy = -dy; break;
    case 3: vx = -dy, vy = dx; break;
    default: break;
  }
  if (vx < 0 || (vx == 0 && vy < 0)) {
    vx = -vx;
    vy = -vy;
  }
  return std::atan2(vy, vx) + (quarters & 3) * (kPi / 2);
}

// The dimension line of a distance: /L moved off the measured points by
// the leader, and the caption's reading frame. False without two distinct,
// finite ends.
struct DistanceFrame {
  Pt p[2], a[2];
  Pt n, t, up;
  double ll = 0, lle = 0, llo = 0;
  double coAlong = 0, coUp = 0;
};

bool ReadDistanceFrame(KPD_Dictionary d, int quarters, DistanceFrame* f) {
  std::vector<double> l = dict::GetDoubles(host::DictGet(d, "/L"));
  if (l.size() != 4 || !std::all_of(l.begin(), l.end(), [](double v) { return std::isfinite(v); })) return false;
  f->p[0] = {l[0], l[1]};
  f->p[1] = {l[2], l[3]};
  const double len = Dist(f->p[0], f->p[1]);
  if (!(len > 0)) return false;
  KwLineLeader leader;
  KW_ReadLineLeader(d, &leader);  // a damaged key reads as 0
  f->ll = leader.length;
  f->lle = leader.extension;
  f->llo = leader.offset;
  const Pt u{(f->p[1].x - f->p[0].x) / len, (f->p[1].y - f->p[0].y) / len};
  f->n = f->ll >= 0 ? Pt{-u.y, u.x} : Pt{u.y, -u.x};
  const double off = std::fabs(f->ll) + f->llo;
  for (int i = 0; i < 2; ++i) f->a[i] = {f->p[i].x + off * f->n.x, f->p[i].y + off * f->n.y};
  const double angle = ReadingAngle(f->p[0], f->p[1], quarters);
  f->t = {std::cos(angle), std::sin(angle)};
  f->up = {-f->t.y, f->t.x};
  KW_ReadCaptionOffset(d, &f->coAlong, &f->coUp);
  return true;
}

// The foot of the caption: the middle of the dimension line moved by "CO".
Pt CaptionFoot(const DistanceFrame& f) {
  return {(f.a[0].x + f.a[1].x) / 2 + f.coAlong * f.t.x + f.coUp * f.up.x,
          (f.a[0].y + f.a[1].y) / 2 + f.coAlong * f.t.y + f.coUp * f.up.y};
}

}  // namespace

namespace {

// `known`: the annotation's texts when the caller has them already;
// `captionBoxes`, when given, receives the box of every caption drawn;
// `page`, when given, is the page the annotation lies on.
bool ComputeMeasureAppearanceWith(const CKW_MarkupAnnotImpl& annot, const KwMeasureTexts* known,
                                  ShapeAppearanceResult* out, std::string* reason,
                                  std::vector<KS_FloatRect>* captionBoxes, KPD_Page page = nullptr) {
  KPD_Dictionary d = annot.GetDict();
  if (!d) return Fail(reason, "no annotation dictionary");
  KwMeasureInput in;
  const bool measured = KW_ReadMeasureInput(d, &in);
  const int32_t subtype = KW_SubtypeCodeFromName(annot.GetSubtype());

  // The old /Rect and the drawing rectangle inside it, before the shape may
  // grow them.
  std::vector<double> oldR = dict::GetDoubles(host::DictGet(d, "/Rect"));
  KS_FloatRect oldRect{};
  if (oldR.size() == 4)
    oldRect = {float(std::min(oldR[0], oldR[2])), float(std::min(oldR[1], oldR[3])), float(std::max(oldR[0], oldR[2])),
               float(std::max(oldR[1], oldR[3]))};
  KS_FloatRect drawing = oldRect;
  float rd[4];
  if (annot.GetRectDifferences(rd)) drawing = geom::Inset(oldRect, rd);

  ShapeAppearanceResult base;
  if (subtype == KW_ANNOT_LINE) {
    std::vector<double> l = dict::GetDoubles(host::DictGet(d, "/L"));
    if (l.size() == 4 && l[0] == l[2] && l[1] == l[3]) return Fail(reason, "the line's ends coincide");
    CKW_LineImpl line(d, KW_ANNOT_LINE, nullptr);
    if (!ComputeLineFigure(line, &base, reason)) return false;
  } else if (!ComputeShapeAppearance(annot, &base, reason)) {
    return false;
  }

  Parts parts;
  const KPD_Page onPage = PageOf(annot, page);
  parts.font = CaptionFontOf(annot, onPage);
  parts.color = KW_MeasureCaptionColor(annot);
  parts.angle = CaptionAngle(annot);
  parts.quarters = PageQuarters(onPage);
  parts.turn = parts.quarters * (kPi / 2);
  KwMeasureTexts texts = !measured ? KwMeasureTexts{} : known ? *known : KW_MeasureTextsOf(d);
  // A line shows its caption only when /Cap says so, as the standard has
  // it; the other kinds unless /Cap is false.
  bool cap = subtype != KW_ANNOT_LINE;
  dict::GetBool(d, "/Cap", &cap);
  if (texts.contents.empty()) {
    // Without values to show (no usable scale) the stored text stands in,
    // as another program wrote it.
    std::u16string stored;
    if (annot.GetContents(&stored) && !stored.empty()) {
      texts.captionLines.clear();
      size_t at = 0;
      while (at <= stored.size()) {
        size_t end = stored.find_first_of(u"\r\n", at);
        if (end == std::u16string::npos) end = stored.size();
        if (end > at) texts.captionLines.push_back(stored.substr(at, end - at));
        at = end + 1;
      }
    }
  }
  const bool segments = Flag(d, "/Segments");
  const bool centroid = Flag(d, "/Centroid");
  const bool centre = Flag(d, "/CenterPoint");
  const bool alignOnSegment = !dict::Has(d, "/AlignOnSegment") || Flag(d, "/AlignOnSegment");
  if (Flag(d, "/FlipText")) parts.angle += kPi;
  std::vector<Pt> p;
  for (const auto& q : in.points) p.push_back({q.x, q.y});
  double bw = 1;
  float width = 1;
  if (annot.GetBorderWidth(&width) && std::isfinite(width)) bw = width;
  const double gap = bw / 2 + 2;

  // Strokes of the measurement parts use the shape's stroke colour, which
  // the base content left set.
  parts.content += "q\n";
  switch (in.kind) {
    case KW_MEASURE_LINE:
      if (DistanceFrame f; cap && ReadDistanceFrame(d, parts.quarters, &f)) {
        // "Top" puts the caption above the line; without /CP, or with
        // "Inline", it is written in a break of the line, as the standard
        // has it by default.
        const bool top = dict::NameIs(d, "/CP", "Top");
        AddCaption(parts, texts.captionLines, CaptionFoot(f), ReadingAngle(f.p[0], f.p[1], parts.quarters),
                   top ? CaptionAnchor::kAbove : CaptionAnchor::kCentre, top ? gap : 0);
        if (!top && subtype == KW_ANNOT_LINE && !parts.captions.empty()) {
          // The caption's box laid out level, then its reach along the line.
          CaptionPlacement level = parts.captions.back();
          level.x = level.y = level.angle = 0;
          std::string scratch;
          ApBounds box;
          std::shared_ptr<CaptionFonts> scratchFonts;
          AppendCaption(scratch, parts.font, parts.color, level, &box, &scratchFonts);
          const double w = double(box.right) - box.left, h = double(box.top) - box.bottom;
          if (!box.empty && std::fabs(f.coUp) < h / 2) {
            LineGap cut;
            // The line's figure measures "along" left to right on the
            // page, the caption in the view.
            const Pt u{f.p[1].x - f.p[0].x, f.p[1].y - f.p[0].y};
            const bool pageReverse = u.x < 0 || (u.x == 0 && u.y < 0);
            const bool pageForward = (u.x * f.t.x + u.y * f.t.y > 0) != pageReverse;
            cut.along = pageForward ? f.coAlong : -f.coAlong;
            cut.half = (std::fabs(w * std::cos(parts.angle)) + std::fabs(h * std::sin(parts.angle))) / 2 + 2;
            CKW_LineImpl line(d, KW_ANNOT_LINE, nullptr);
            ShapeAppearanceResult broken;
            if (ComputeLineFigure(line, &broken, nullptr, &cut)) base = std::move(broken);
          }
        }
      }
      break;
    case KW_MEASURE_POLYLINE:
    case KW_MEASURE_ANGLE:
    case KW_MEASURE_POLYGON:
    case KW_MEASURE_VOLUME: {
      const bool closed = in.kind == KW_MEASURE_POLYGON || in.kind == KW_MEASURE_VOLUME;
      if (in.kind == KW_MEASURE_ANGLE && p.size() >= 3) AngleArc(parts, p[0], p[1], p[2]);
      if (segments && p.size() >= 2 && measured) {
        KPD_Object m = host::DictGet(d, "/Measure");
        if (m && host::ObjectGetType(m) == KPD_OBJ_DICTIONARY) {
          CKW_MeasureDictImpl measure(m);
          for (size_t i = 0; i + 1 < p.size() + (closed ? 1 : 0); ++i) {
            Pt a = p[i], b = p[(i + 1) % p.size()];
            KwMeasureInput seg;
            seg.kind = KW_MEASURE_LINE;
            seg.points = {{float(a.x), float(a.y)}, {float(b.x), float(b.y)}};
            if (in.xy.size() == 2 * p.size()) {
              const size_t j = (i + 1) % p.size();
              seg.xy = {in.xy[2 * i], in.xy[2 * i + 1], in.xy[2 * j], in.xy[2 * j + 1]};
            }
            seg.types = kMeasureTypeLength;
            KwMeasureTexts st = KW_ComputeMeasureTexts(&measure, seg);
            if (!st.primary.empty() && Dist(a, b) > 0)
              AddCaption(parts, {st.primary}, {(a.x + b.x) / 2, (a.y + b.y) / 2},
                         alignOnSegment ? ReadingAngle(a, b, parts.quarters) : parts.turn, CaptionAnchor::kAbove, gap);
          }
        }
      }
      if (!cap || p.empty()) break;
      if (in.kind == KW_MEASURE_ANGLE && p.size() >= 3) {
        // Beyond the arc, on the bisector of the two arms.
        double a0 = std::atan2(p[0].y - p[1].y, p[0].x - p[1].x);
        double dd = std::atan2(p[2].y - p[1].y, p[2].x - p[1].x) - a0;
        while (dd <= -kPi) dd += 2 * kPi;
        while (dd > kPi) dd -= 2 * kPi;
        double mid = a0 + dd / 2;
        // Far enough out that the caption's box clears the arc.
        double r = std::clamp(std::min(Dist(p[0], p[1]), Dist(p[2], p[1])) * 0.33, 0.0, 30.0) + gap +
                   parts.font.size * 1.5;
        AddCaption(parts, texts.captionLines, {p[1].x + r * std::cos(mid), p[1].y + r * std::sin(mid)}, parts.turn,
                   CaptionAnchor::kCentre, 0);
      } else if (closed) {
        Pt c;
        if (centroid) {
          c = Centroid(in.points);
        } else {
          ApBounds b;
          for (const Pt& q : p) b.Add(q.x, q.y);
          c = {(b.left + b.right) / 2, (b.bottom + b.top) / 2};
        }
        AddCaption(parts, texts.captionLines, c, parts.turn, CaptionAnchor::kCentre, 0);
      } else if (p.size() >= 2) {
        // Above the middle of the longest segment.
        size_t best = 0;
        for (size_t i = 0; i + 1 < p.size(); ++i)
          if (Dist(p[i], p[i + 1]) > Dist(p[best], p[best + 1])) best = i;
        Pt a = p[best], b = p[best + 1];
        AddCaption(parts, texts.captionLines, {(a.x + b.x) / 2, (a.y + b.y) / 2}, parts.turn, CaptionAnchor::kAbove,
                   gap + (segments ? parts.font.size * 1.2 : 0));
      }
      break;
    }
    case KW_MEASURE_RADIUS:
      if (p.size() >= 2) {
        RadiusFigure(parts, p[0], p[1]);
        if (centre) {
          double r = Dist(p[0], p[1]);
          CentreMark(parts, {float(p[0].x - r), float(p[0].y - r), float(p[0].x + r), float(p[0].y + r)});
        }
        if (cap)
          AddCaption(parts, texts.captionLines, {(p[0].x + p[1].x) / 2, (p[0].y + p[1].y) / 2},
                     ReadingAngle(p[0], p[1], parts.quarters), CaptionAnchor::kAbove, gap);
      }
      break;
    case KW_MEASURE_CIRCLE:
      if (centre) CentreMark(parts, in.circle);
      // Above the centre mark when there is one, else at the centre.
      if (cap)
        AddCaption(parts, texts.captionLines,
                   {(double(in.circle.left) + in.circle.right) / 2, (double(in.circle.bottom) + in.circle.top) / 2},
                   parts.turn, centre ? CaptionAnchor::kAbove : CaptionAnchor::kCentre,
                   centre ? KW_CentreMarkHalfSize(in.circle) + 1 : 0);
      break;
    default: break;
  }
  parts.content += "Q\n";
  if (parts.content == "q\nQ\n") parts.content.clear();

  std::string captionContent;
  ApBounds captionBox;
  std::shared_ptr<CaptionFonts> fonts;
  for (const CaptionPlacement& c : parts.captions) {
    ApBounds one;
    AppendCaption(captionContent, parts.font, parts.color, c, &one, &fonts);
    if (one.empty) continue;
    captionBox.Add(one);
    if (captionBoxes) captionBoxes->push_back(one.Rect());
  }

  *out = std::move(base);
  out->content += parts.content;
  out->content += captionContent;
  ApBounds all;
  all.Add(out->bbox.left, out->bbox.bottom);
  all.Add(out->bbox.right, out->bbox.top);
  if (!parts.box.empty) {
    parts.box.Inflate(bw / 2 + 1);
    all.Add(parts.box);
  }
  if (!captionBox.empty) all.Add(captionBox);
  // Out to thousandths so that /Rect reads back as the same numbers.
  all.left = std::floor(all.left * 1000) / 1000;
  all.bottom = std::floor(all.bottom * 1000) / 1000;
  all.right = std::ceil(all.right * 1000) / 1000;
  all.top = std::ceil(all.top * 1000) / 1000;
  const KS_FloatRect box = all.Rect();
  out->bbox = box;
  out->rect = box;
  out->setRect = !geom::SameRect(box, oldRect);
  if (out->setRect && (subtype == KW_ANNOT_CIRCLE || subtype == KW_ANNOT_SQUARE || out->setInsets)) {
    // The figure's own rectangle stays where it was inside the grown box.
    out->setInsets = true;
    out->insets = geom::InsetsBetween(box, drawing);
  }
  out->captionFonts = std::move(fonts);
  return true;
}

}  // namespace

bool ComputeMeasureAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason) {
  return ComputeMeasureAppearanceWith(annot, nullptr, out, reason, nullptr);
}

bool ComputeMeasureAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason,
                              std::vector<KS_FloatRect>* captionBoxes) {
  return ComputeMeasureAppearanceWith(annot, nullptr, out, reason, captionBoxes);
}

namespace {

template <typename Impl>
bool RegenerateAs(KPD_Dictionary annot, int32_t code, const KwMeasureTexts* known, std::string* reason,
                  const ShapeAppearanceOptions& options) {
  Impl view(annot, code, nullptr);
  ShapeAppearanceResult result;
  return ComputeMeasureAppearanceWith(view, known, &result, reason, nullptr, options.page) &&
         CKW_AppearanceWriter::Apply(view, result, options, reason);
}

// Through the measurement's own implementation, whose slots the shape
// generators ask.
bool Regenerate(KPD_Dictionary annot, const KwMeasureTexts* known, std::string* reason,
                const ShapeAppearanceOptions& options) {
  host::ByteString subtype;
  KPD_Object name = host::DictGet(annot, "/Subtype");
  if (name && host::NameGet(name, subtype.get()) && subtype.str() == "/Circle")
    return RegenerateAs<CKW_MeasureCircleImpl>(annot, KW_ANNOT_CIRCLE, known, reason, options);
  return RegenerateAs<CKW_MarkupAnnotImpl>(annot, KW_ANNOT_UNKNOWN, known, reason, options);
}

}  // namespace

bool RegenerateMeasureAppearance(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  return Regenerate(annot, nullptr, reason, options);
}

bool KW_DistanceParts(const CKW_MarkupAnnotImpl& annot, KwDistanceParts* out) {
  KPD_Dictionary d = annot.GetDict();
  DistanceFrame f;
  if (!out || !d || !ReadDistanceFrame(d, PageQuarters(PageOf(annot, nullptr)), &f)) return false;
  *out = {};
  auto fp = [](Pt p) { return KS_FloatPoint{float(p.x), float(p.y)}; };
  for (int i = 0; i < 2; ++i) {
    out->ends[i] = fp(f.p[i]);
    out->lineEnds[i] = fp(f.a[i]);
    const double ext = std::fabs(f.ll) + f.llo + f.lle;
    out->leaderFrom[i] = fp({f.p[i].x + f.llo * f.n.x, f.p[i].y + f.llo * f.n.y});
    out->leaderTo[i] = fp({f.p[i].x + ext * f.n.x, f.p[i].y + ext * f.n.y});
  }
  out->leaders = std::fabs(f.ll) >= 0.0001 || std::fabs(f.lle) >= 0.0001;
  out->side = fp(f.n);
  out->along = fp(f.t);
  out->up = fp(f.up);
  out->captionAnchor = fp(CaptionFoot(f));
  // The caption box as the appearance lays it out: a line draws one
  // caption at most.
  ShapeAppearanceResult scratch;
  std::vector<KS_FloatRect> boxes;
  if (ComputeMeasureAppearance(annot, &scratch, nullptr, &boxes) && !boxes.empty()) {
    out->hasCaption = true;
    out->captionBox = boxes.front();
  }
  return true;
}

bool CKW_MeasureLineImpl::Flip() {
  // The dimension line goes over to the other side of the measured points,
  // which keep their order; a distance without a leader swaps its ends.
  KwLineLeader leader;
  if (!GetLeader(&leader)) return false;
  if (leader.length == 0) return CKW_LineImpl::Flip();
  return CKW_AnnotWriter(*this).SetNumber("/LL", -leader.length);
}

bool CKW_MeasureCircleImpl::InflateCloudRect(KS_FloatRect* rect) const {
  if (!rect) return false;
  rect->left -= 5.0f;
  rect->right += 5.0f;
  rect->bottom -= 4.5f;
  rect->top += 4.5f;
  return true;
}

bool RegenerateMeasureAppearance(KPD_Dictionary annot, const KwMeasureTexts& texts, std::string* reason,
                                 const ShapeAppearanceOptions& options) {
  return Regenerate(annot, &texts, reason, options);
}

}  // namespace kwannotation
