#include "measure/cma_osnap.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace osnap {
namespace {

// Float bit patterns laid out so that neighbouring floats differ by one
// (negative values mirrored below zero; +0 and -0 meet).
int64_t Ordered(float v) {
  int32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits < 0 ? int64_t(INT32_MIN) - bits : bits;
}

// Within one unit in the last place of each other.
bool WithinUlp(float a, float b) { return std::llabs(Ordered(a) - Ordered(b)) <= 1; }

// lo <= v <= hi, where a v one unit in the last place outside still counts.
bool InsideRange(float v, float lo, float hi) {
  return (v >= lo || WithinUlp(v, lo)) && (v <= hi || WithinUlp(v, hi));
}

bool BoxesOverlap(const KS_FloatRect& a, const KS_FloatRect& b) {
  return a.left <= b.right && b.left <= a.right && a.bottom <= b.top && b.bottom <= a.top;
}

constexpr float kSameVertex = 1e-6f;

bool SamePoint(KS_FloatPoint a, KS_FloatPoint b) {
  return std::abs(a.x - b.x) <= kSameVertex && std::abs(a.y - b.y) <= kSameVertex;
}

bool Crosses(KS_FloatPoint a1, KS_FloatPoint a2, KS_FloatPoint b1, KS_FloatPoint b2) {
  return !Intersect(StraightLine(a1, a2), StraightLine(b1, b2)).empty();
}

}  // namespace

KS_FloatPoint StraightLine::Midpoint() const {
  return {(points_[0].x + points_[1].x) / 2, (points_[0].y + points_[1].y) / 2};
}

KS_FloatRect StraightLine::BoundingBox() const {
  KS_FloatRect box{points_[0].x, points_[0].y, points_[0].x, points_[0].y};
  for (const KS_FloatPoint& p : points_) {
    box.left = std::min(box.left, p.x), box.right = std::max(box.right, p.x);
    box.bottom = std::min(box.bottom, p.y), box.top = std::max(box.top, p.y);
  }
  return box;
}

KS_FloatPoint StraightLine::NearestPoint(KS_FloatPoint p) const {
  const KS_FloatPoint a = points_[0], b = points_[1];
  const float dx = b.x - a.x, dy = b.y - a.y;
  KS_FloatPoint foot;
  if (std::abs(dy) <= std::abs(b.y) * FLT_EPSILON) {
    foot = {p.x, (a.y + b.y) / 2};  // horizontal
  } else if (std::abs(dx) <= std::abs(b.x) * FLT_EPSILON) {
    foot = {(a.x + b.x) / 2, p.y};  // vertical
  } else {
    // Where the line meets its normal through p.
    const double m = double(dy) / dx, n = -1 / m;
    foot = {static_cast<float>((a.y - m * a.x - p.y + n * p.x) / (n - m)),
            static_cast<float>((n * a.y + a.x - p.y * m - p.x) / (n - m))};
  }
  const KS_FloatRect box = BoundingBox();
  if (foot.x >= box.left && foot.x <= box.right && foot.y >= box.bottom && foot.y <= box.top) return foot;
  const double toA = std::hypot(double(foot.x) - a.x, double(foot.y) - a.y);
  const double toB = std::hypot(double(foot.x) - b.x, double(foot.y) - b.y);
  return toA < toB ? a : b;
}

std::vector<KS_FloatPoint> Intersect(const StraightLine& first, const StraightLine& second) {
  const KS_FloatRect boxA = first.BoundingBox(), boxB = second.BoundingBox();
  if (!BoxesOverlap(boxA, boxB)) return {};
  const KS_FloatPoint p1 = first.Points()[0], p2 = first.Points()[1];
  const KS_FloatPoint q1 = second.Points()[0], q2 = second.Points()[1];
  // Each line as a*x + b*y = c.
  const float a1 = p2.y - p1.y, b1 = p1.x - p2.x, a2 = q2.y - q1.y, b2 = q1.x - q2.x;
  const double c1 = double(a1) * p1.x + double(b1) * p1.y, c2 = double(a2) * q1.x + double(b2) * q1.y;
  const float cross1 = a1 * b2, cross2 = a2 * b1;
  if (WithinUlp(cross1, cross2)) return {};  // parallel
  const double det = double(a1) * b2 - double(a2) * b1;
  const KS_FloatPoint at{static_cast<float>((double(b2) * c1 - double(b1) * c2) / det),
                         static_cast<float>((double(a1) * c2 - double(a2) * c1) / det)};
  for (const KS_FloatRect& box : {boxA, boxB})
    if (!InsideRange(at.x, box.left, box.right) || !InsideRange(at.y, box.bottom, box.top)) return {};
  return {at};
}

bool NewestEdgeIntersects(const std::vector<KS_FloatPoint>& v) {
  const size_t count = v.size();
  if (count < 4 || SamePoint(v.back(), v.front())) return false;
  const KS_FloatPoint from = v[count - 2], to = v[count - 1];
  for (size_t i = 0; i + 4 <= count; ++i)
    if (Crosses(from, to, v[i], v[i + 1])) return true;
  return false;
}

bool EdgesAtVertexIntersect(const std::vector<KS_FloatPoint>& v, size_t k) {
  const size_t count = v.size();
  if (count < 4 || k >= count) return false;
  const size_t next = (k + 1) % count, previous = (k + count - 1) % count;
  if (SamePoint(v[next], v[k]) || SamePoint(v[previous], v[k])) return false;
  // The two edges at k, each against the closed polygon's edges that share
  // no vertex with it.
  for (size_t from : {previous, k}) {
    const size_t to = (from + 1) % count;
    for (size_t i = 0; i < count; ++i) {
      const size_t j = (i + 1) % count;
      if (i == from || i == to || j == from || j == to) continue;
      if (Crosses(v[from], v[to], v[i], v[j])) return true;
    }
  }
  return false;
}

const char16_t* SnapModeKey(int index) {
  static const char16_t* const keys[] = {u"end", u"mid", u"inter", u"near"};
  return index >= 0 && index < 4 ? keys[index] : nullptr;
}

bool ToggleSnapMode(int index) {
  const char16_t* key = SnapModeKey(index);
  if (!key) return false;
  const bool on = Host::SnapGetMode(1, index) == 0;
  Host::SnapSetMode(1, index, on ? 1 : 0);
  Host::PrefSetInt(u"snap", key, on ? 1 : 0);
  return on;
}

}  // namespace osnap

int SnapPoint(KA_PageView view, const KS_DevicePoint& pt, bool started, KS_FloatPoint start, KS_FloatPoint* out) {
  if (!view || !out || !Host::SnapUpdate(view, pt, started ? 1 : 0, start)) return KS_SNAP_NONE;
  KS_FloatPoint snapped{};
  int32_t kind = KS_SNAP_NONE;
  if (!Host::SnapGetResult(&snapped, &kind) || kind == KS_SNAP_NONE) return KS_SNAP_NONE;
  *out = snapped;
  return kind;
}

}  // namespace AnnotationPlugin
