#include "measure/cma_figure_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_values.h"

namespace AnnotationPlugin {
namespace {

using kwannotation::CKW_MeasureDictImpl;
using kwannotation::KwMeasureScale;

constexpr double kPi = 3.14159265358979323846;
constexpr int kArrayT = 4;
constexpr int kArrayV = 6;


std::optional<std::u16string> Length(const CKW_MeasureDictImpl& m, const KwMeasureScale& s, double xUnits) {
  if (!std::isfinite(xUnits)) return std::nullopt;
  if (m.GetFormatCount(kwannotation::kMeasureArrayD) > 0) return m.FormatValue(kwannotation::kMeasureArrayD, xUnits);
  return m.FormatValue(kwannotation::kMeasureArrayX, xUnits / s.x);
}

std::optional<std::u16string> Formatted(const CKW_MeasureDictImpl& m, int array, double value) {
  if (!std::isfinite(value)) return std::nullopt;
  return m.FormatValue(array, value);
}

double Hypot(KS_FloatPoint a, KS_FloatPoint b) { return std::hypot(double(b.x) - a.x, double(b.y) - a.y); }

// The direction of a -> b in degrees [0, 360).
double Direction(KS_FloatPoint a, KS_FloatPoint b) {
  if (Hypot(a, b) == 0) return 0;
  return std::fmod(std::atan2(double(b.y) - a.y, double(b.x) - a.x) * 180.0 / kPi + 360.0, 360.0);
}

// The direction of a -> b as a view turned clockwise by `turn` degrees
// shows it, in degrees [0, 360).
double ViewDirection(KS_FloatPoint a, KS_FloatPoint b, double turn) {
  if (Hypot(a, b) == 0 || !std::isfinite(turn)) return Direction(a, b);
  const double d = std::fmod(Direction(a, b) - std::fmod(turn, 360.0), 360.0);
  return d < 0 ? d + 360.0 : d;
}

// The angle at `b` between the arms to `a` and `c`, in degrees [0, 180].
double AngleAt(KS_FloatPoint a, KS_FloatPoint b, KS_FloatPoint c) {
  double d = std::fabs(Direction(b, c) - Direction(b, a));
  return d > 180.0 ? 360.0 - d : d;
}

void Put(FigureValues& v, const char16_t* element, const std::optional<std::u16string>& text) {
  v.panel[element] = ShowableValue(text) ? *text : std::u16string(u"-");
}

// Width and height of the vertices' bounding box, scaled.
void PutBox(FigureValues& v, const CKW_MeasureDictImpl& m, const KwMeasureScale& s, const PathSums& path) {
  if (path.count == 0) return;
  Put(v, u"label_width", Length(m, s, (double(path.box.right) - path.box.left) * s.x));
  Put(v, u"label_height", Length(m, s, (double(path.box.top) - path.box.bottom) * s.y));
}

// One shoelace term: twice the signed area under the edge a -> b.
double Shoelace(KS_FloatPoint a, KS_FloatPoint b) { return double(a.x) * b.y - double(b.x) * a.y; }

}  // namespace

void PathSums::Add(KS_FloatPoint p) {
  if (count == 0) {
    first = p;
    box = {p.x, p.y, p.x, p.y};
  } else {
    length += kwannotation::KW_ScaledLength(scale, last.x, last.y, p.x, p.y);
    pageLength += kwannotation::KW_ScaledLength({1, 1, true}, last.x, last.y, p.x, p.y);
    twiceArea += Shoelace(last, p);
    box = {std::min(box.left, p.x), std::min(box.bottom, p.y), std::max(box.right, p.x), std::max(box.top, p.y)};
  }
  beforeLast = count == 0 ? p : last;
  last = p;
  ++count;
}

double PathSums::ClosedLength() const {
  return count < 2 ? 0 : length + kwannotation::KW_ScaledLength(scale, last.x, last.y, first.x, first.y);
}

double PathSums::Area() const { return PageArea() * scale.x * scale.y; }

double PathSums::PageArea() const { return count < 3 ? 0 : std::fabs(twiceArea + Shoelace(last, first)) / 2; }

PathSums PathSumsOf(const std::vector<KS_FloatPoint>& points, const KwMeasureScale& scale) {
  PathSums sums(scale);
  for (const KS_FloatPoint& p : points) sums.Add(p);
  return sums;
}

double ViewTurnOf(const KS_Matrix& m) {
  // The page's x axis in the device is (a, b), y downwards: a clockwise
  // turn of the page shows it at an angle of that turn below the right.
  const double a = m.a, b = m.b;
  if (!std::isfinite(a) || !std::isfinite(b) || (a == 0 && b == 0)) return 0;
  const double turn = std::atan2(b, a) * 180.0 / kPi;
  return turn < 0 ? turn + 360.0 : turn;
}

bool ShowableValue(const std::optional<std::u16string>& text) {
  // A value that is not finite is never formatted (the formatters answer
  // nothing for it), so any text left is a real value: a unit such as
  // "nanometres" or a label such as "Infill" stays.
  return text && !text->empty();
}

FigureValues MeasureFigureValues(int type, const MeasureFigure& f, const CKW_MeasureDictImpl& m) {
  FigureValues v;
  const KwMeasureScale s = kwannotation::KW_MeasureScaleOf(m);
  if (!s.usable) return v;
  const std::vector<KS_FloatPoint>& p = f.points;
  std::optional<std::u16string> main;
  switch (type) {
    case kMeasureDistance: {
      if (p.size() < 2) break;
      main = Length(m, s, kwannotation::KW_ScaledLength(s, p[0].x, p[0].y, p[1].x, p[1].y));
      Put(v, u"label_length", main);
      v.panel[u"label_angle"] = kwannotation::KW_FormatDegrees(ViewDirection(p[0], p[1], f.viewTurn));
      break;
    }
    case kMeasurePerimeter:
    case kMeasurePolylength: {
      const PathSums path = f.sums ? *f.sums : PathSumsOf(p, s);
      if (path.count < 2) break;
      main = Length(m, s, path.length);
      const KS_FloatPoint a = path.beforeLast, b = path.last;
      std::optional<std::u16string> segment = Length(m, s, kwannotation::KW_ScaledLength(s, a.x, a.y, b.x, b.y));
      Put(v, type == kMeasurePerimeter ? u"label_perimeter" : u"label_total_length", main);
      Put(v, u"label_cur_segment", segment);
      if (type == kMeasurePerimeter) PutBox(v, m, s, path);
      break;
    }
    case kMeasureArea:
    case kMeasureVolume: {
      const PathSums path = f.sums ? *f.sums : PathSumsOf(p, s);
      if (path.count < 2) break;
      const double area = path.Area();
      std::optional<std::u16string> areaText = Formatted(m, kwannotation::kMeasureArrayA, area);
      Put(v, u"label_area", areaText);
      PutBox(v, m, s, path);
      if (type == kMeasureArea) {
        main = areaText;
        Put(v, u"label_perimeter", Length(m, s, path.ClosedLength()));
        const KS_FloatPoint a = path.beforeLast, b = path.last;
        Put(v, u"label_cur_segment", Length(m, s, kwannotation::KW_ScaledLength(s, a.x, a.y, b.x, b.y)));
      } else {
        main = Formatted(m, kArrayV, area * f.depth);
        Put(v, u"label_volume", main);
        Put(v, u"label_depth", Length(m, s, f.depth));
      }
      break;
    }
    case kMeasureAngle: {
      if (p.size() < 3) break;
      const double degrees = AngleAt(p[0], p[1], p[2]);
      main = m.GetFormatCount(kArrayT) > 0 ? Formatted(m, kArrayT, degrees) : std::optional(kwannotation::KW_FormatDegrees(degrees));
      v.panel[u"label_angle"] = kwannotation::KW_FormatDegrees(degrees);
      break;
    }
    case kMeasureCenterRadius:
    case kMeasure3PointRadius: {
      if (p.size() < 2) break;
      main = Length(m, s, kwannotation::KW_ScaledLength(s, p[0].x, p[0].y, p[1].x, p[1].y));
      Put(v, u"label_radius", main);
      break;
    }
    case kMeasureCircleArea:
    case kMeasureDiameter: {
      const double a = (double(f.rect.right) - f.rect.left) / 2.0 * s.x;
      const double b = (double(f.rect.top) - f.rect.bottom) / 2.0 * s.y;
      std::optional<std::u16string> area = Formatted(m, kwannotation::kMeasureArrayA, kPi * a * b);
      Put(v, u"label_area", area);
      if (type == kMeasureCircleArea) {
        main = area;
        Put(v, u"label_width", Length(m, s, 2 * a));
        Put(v, u"label_height", Length(m, s, 2 * b));
      } else {
        // Ramanujan's approximation; exact for a circle.
        const double h = (a + b) > 0 ? (a - b) * (a - b) / ((a + b) * (a + b)) : 0;
        const double circumference = kPi * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h)));
        main = Length(m, s, 2 * a);
        Put(v, u"label_diameter", main);
        Put(v, u"label_circumference", Length(m, s, circumference));
      }
      break;
    }
    default: break;
  }
  if (ShowableValue(main)) v.main = *main;
  return v;
}

std::vector<double> FlatCoordinates(const std::vector<KS_FloatPoint>& points) {
  std::vector<double> xy;
  xy.reserve(points.size() * 2);
  for (const KS_FloatPoint& p : points) {
    xy.push_back(p.x);
    xy.push_back(p.y);
  }
  return xy;
}

}  // namespace AnnotationPlugin
