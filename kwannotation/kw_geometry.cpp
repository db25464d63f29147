#include "kwannotation/kw_geometry.h"

namespace kwannotation::geom {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

bool InRange(const std::vector<float>& values) {
  for (float v : values)
    if (!InRange(v)) return false;
  return true;
}

bool SameRect(const KS_FloatRect& a, const KS_FloatRect& b) {
  return a.left == b.left && a.bottom == b.bottom && a.right == b.right && a.top == b.top;
}

KS_FloatRect Inset(const KS_FloatRect& rect, const float rd[4]) {
  auto inset = [](float lo, float hi, float a, float b, float* outLo, float* outHi) {
    const double da = a < 0 ? 0.0 : a, db = b < 0 ? 0.0 : b;
    const double extent = double(hi) - lo;
    if (da + db > extent) {
      *outLo = *outHi = float(lo + extent * (da / (da + db)));
    } else {
      *outLo = lo + float(da);
      *outHi = hi - float(db);
    }
  };
  KS_FloatRect r;
  inset(rect.left, rect.right, rd[0], rd[2], &r.left, &r.right);
  inset(rect.bottom, rect.top, rd[1], rd[3], &r.bottom, &r.top);
  return r;
}

KS_FloatRect InsetsBetween(const KS_FloatRect& outer, const KS_FloatRect& inner) {
  return {inner.left - outer.left, inner.bottom - outer.bottom, outer.right - inner.right, outer.top - inner.top};
}

KS_FloatRect Deflate(const KS_FloatRect& r, double by) {
  double cx = (double(r.left) + r.right) / 2, cy = (double(r.bottom) + r.top) / 2;
  double hx = std::fabs((double(r.right) - r.left) / 2 - by);
  double hy = std::fabs((double(r.top) - r.bottom) / 2 - by);
  return {float(cx - hx), float(cy - hy), float(cx + hx), float(cy + hy)};
}

double Radians(double degrees) { return std::fmod(degrees, 360.0) * kPi / 180.0; }

std::vector<Point> PointsOf(const std::vector<float>& values) {
  std::vector<Point> points;
  points.reserve(values.size() / 2);
  for (size_t i = 0; i + 1 < values.size(); i += 2) points.push_back({values[i], values[i + 1]});
  return points;
}

}  // namespace kwannotation::geom
