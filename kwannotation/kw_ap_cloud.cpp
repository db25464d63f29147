#include "kwannotation/kw_ap_cloud.h"

#include <algorithm>
#include <cmath>

namespace kwannotation {
namespace {

// |(dx, dy)|. Coordinates are bounded well below overflow, so the plain
// square root does; std::hypot's care costs several times as much.
inline double Length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

constexpr double kTwoPi = 6.2831855;
constexpr double kTwentyDegrees = 0.34906587;

bool Same(const KS_FloatPoint& a, const KS_FloatPoint& b) { return a.x == b.x && a.y == b.y; }

// Even spread of `count` points along the edge from `a` to `b`, starting
// at `a`; the far corner belongs to the next edge.
void Spread(std::vector<KS_FloatPoint>& out, KS_FloatPoint a, KS_FloatPoint b, long count) {
  for (long i = 0; i < count; ++i) {
    double t = double(i) / double(count);
    out.push_back({float(a.x + (b.x - a.x) * t), float(a.y + (b.y - a.y) * t)});
  }
}

// round() of a non-negative spacing ratio, bounded so that a wild figure
// cannot ask for more points than the bump limit allows.
long EdgeCount(double length, double step) {
  if (!(step > 0)) return 0;
  return std::min(200L, std::lround(length / step));
}

}  // namespace

int CloudBumpCount(double width, double height, double intensity) {
  double sum = std::fabs(width) + std::fabs(height);
  double raw = std::fabs(intensity - 1.0) < 0.0001 ? sum * 0.25 : sum / 6.0;
  long n = raw >= 96 ? 96 : std::max(2L, static_cast<long>(raw));
  if (n % 2) ++n;
  return static_cast<int>(std::min(96L, std::max(2L, n)));
}

ApBounds AppendCloud(std::string& out, const std::vector<KS_FloatPoint>& points) {
  ApBounds bounds;
  const size_t n = points.size();
  if (n < 1) return bounds;
  double maxGap = 0;
  for (size_t i = 0; i < n; ++i) {
    const KS_FloatPoint& a = points[i];
    const KS_FloatPoint& b = points[(i + 1) % n];
    maxGap = std::max(maxGap, Length(double(b.x) - a.x, double(b.y) - a.y));
  }
  const double r = 0.55 * maxGap;
  if (!(r > 1e-6)) return bounds;

  bool first = true;
  for (size_t i = 0; i < n; ++i) {
    const KS_FloatPoint& p = points[i];
    // Neighbours that coincide with p give no direction; take the next
    // distinct ones.
    size_t qi = (i + n - 1) % n, si = (i + 1) % n;
    for (size_t k = 0; k < n && Same(points[qi], p); ++k) qi = (qi + n - 1) % n;
    for (size_t k = 0; k < n && Same(points[si], p); ++k) si = (si + 1) % n;
    const KS_FloatPoint& q = points[qi];
    const KS_FloatPoint& s = points[si];
    if (Same(q, p) || Same(s, p)) continue;
    double dqx = double(q.x) - p.x, dqy = double(q.y) - p.y;
    double dsx = double(s.x) - p.x, dsy = double(s.y) - p.y;
    double dq = Length(dqx, dqy), ds = Length(dsx, dsy);
    double a1 = std::atan2(dqy, dqx) + (std::acos(std::min(1.0, dq / (2 * r))) - kTwentyDegrees);
    double a2 = std::atan2(dsy, dsx) - std::acos(std::min(1.0, ds / (2 * r)));
    if (a1 > a2) a2 += kTwoPi;
    CMKA_Path::AppendArc(out, p.x, p.y, r, a1, a2, first);
    first = false;
    bounds.Add(p.x - r, p.y - r);
    bounds.Add(p.x + r, p.y + r);
  }
  return bounds;
}

ApBounds AppendEllipseCloud(std::string& out, const KS_FloatRect& rect, double angle, double intensity) {
  double w = double(rect.right) - rect.left, h = double(rect.top) - rect.bottom;
  if (!(w > 0) || !(h > 0)) return {};
  int n = CloudBumpCount(w, h, intensity);
  double cx = (double(rect.left) + rect.right) / 2, cy = (double(rect.bottom) + rect.top) / 2;
  double cs = std::cos(angle), sn = std::sin(angle);
  std::vector<KS_FloatPoint> points;
  points.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    double t = kTwoPi * i / n;
    double x = w / 2 * std::cos(t), y = h / 2 * std::sin(t);
    points.push_back({float(cx + x * cs - y * sn), float(cy + x * sn + y * cs)});
  }
  return AppendCloud(out, points);
}

std::vector<KS_FloatPoint> RectangleCloudPoints(const KS_FloatRect& rect, double intensity) {
  std::vector<KS_FloatPoint> points;
  double w = double(rect.right) - rect.left, h = double(rect.top) - rect.bottom;
  if (!(w > 0) || !(h > 0)) return points;
  int n = CloudBumpCount(w, h, intensity);
  double step = (2 * w + 2 * h) / n;
  KS_FloatPoint lb{rect.left, rect.bottom}, rb{rect.right, rect.bottom}, rt{rect.right, rect.top},
      lt{rect.left, rect.top};
  Spread(points, lb, rb, EdgeCount(w, step));
  Spread(points, rb, rt, EdgeCount(h, step));
  Spread(points, rt, lt, EdgeCount(w, step));
  Spread(points, lt, lb, EdgeCount(h, step));
  return points;
}

ApBounds AppendRectangleCloud(std::string& out, const KS_FloatRect& rect, double intensity) {
  return AppendCloud(out, RectangleCloudPoints(rect, intensity));
}

std::vector<KS_FloatPoint> PolygonCloudPoints(const std::vector<KS_FloatPoint>& vertices, double intensity) {
  std::vector<KS_FloatPoint> points;
  const size_t n = vertices.size();
  if (n < 2) return points;
  // Bumps go on the outside only when the points run counter-clockwise.
  double area = 0, perimeter = 0;
  for (size_t i = 0; i < n; ++i) {
    const KS_FloatPoint& a = vertices[i];
    const KS_FloatPoint& b = vertices[(i + 1) % n];
    area += double(a.x) * b.y - double(b.x) * a.y;
    perimeter += Length(double(b.x) - a.x, double(b.y) - a.y);
  }
  if (!(perimeter > 0)) return points;
  std::vector<KS_FloatPoint> ordered(vertices);
  if (area < 0) std::reverse(ordered.begin(), ordered.end());
  // The polygon gets the spacing a rectangle of the same perimeter would.
  const int bumps = CloudBumpCount(perimeter / 2, 0, intensity);
  const double step = perimeter / bumps;
  std::vector<double> lengths(n);
  bool everyEdgeHolds = true;
  for (size_t i = 0; i < n; ++i) {
    const KS_FloatPoint& a = ordered[i];
    const KS_FloatPoint& b = ordered[(i + 1) % n];
    lengths[i] = Length(double(b.x) - a.x, double(b.y) - a.y);
    if (lengths[i] > 0 && EdgeCount(lengths[i], step) == 0) everyEdgeHolds = false;
  }
  points.reserve(size_t(bumps) + 8);
  if (everyEdgeHolds) {
    // Each edge gets its own share of points, the first on its corner.
    for (size_t i = 0; i < n; ++i) Spread(points, ordered[i], ordered[(i + 1) % n], EdgeCount(lengths[i], step));
    return points;
  }
  // Some edge is too short for a point of its own (a finely drawn curve, a
  // sliver): the points go every `step` along the whole outline instead,
  // each short edge handing its length on to the next.
  double start = 0;
  int k = 0;
  for (size_t i = 0; i < n && k < bumps; ++i) {
    const double end = start + lengths[i];
    const KS_FloatPoint& a = ordered[i];
    const KS_FloatPoint& b = ordered[(i + 1) % n];
    for (double at = k * step; k < bumps && at < end; at = ++k * step) {
      double t = (at - start) / lengths[i];
      points.push_back({float(a.x + (b.x - a.x) * t), float(a.y + (b.y - a.y) * t)});
    }
    start = end;
  }
  return points;
}

ApBounds AppendPolygonCloud(std::string& out, const std::vector<KS_FloatPoint>& vertices, double intensity) {
  return AppendCloud(out, PolygonCloudPoints(vertices, intensity));
}

}  // namespace kwannotation
