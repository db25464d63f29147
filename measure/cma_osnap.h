// Segment geometry of the measuring tools, the polygon checks that keep an
// area free of self-intersections, and the tools' way to the host's
// snapping service.
#pragma once

#include <cstddef>
#include <vector>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {
namespace osnap {

// A geometric element of a figure.
class Line {
 public:
  virtual ~Line() = default;
  virtual KS_FloatPoint Midpoint() const = 0;
  // The point of the element nearest to `p`.
  virtual KS_FloatPoint NearestPoint(KS_FloatPoint p) const = 0;
  // left/right and bottom/top ordered.
  virtual KS_FloatRect BoundingBox() const = 0;
};

// A segment between two end points.
class StraightLine final : public Line {
 public:
  StraightLine(KS_FloatPoint from, KS_FloatPoint to) : points_{from, to} {}
  KS_FloatPoint Midpoint() const override;
  // The foot of the perpendicular from `p` when it lies on the segment
  // (box edges included); otherwise the end nearer to that foot, the second
  // end on a tie.
  KS_FloatPoint NearestPoint(KS_FloatPoint p) const override;
  KS_FloatRect BoundingBox() const override;
  const std::vector<KS_FloatPoint>& Points() const { return points_; }

 private:
  std::vector<KS_FloatPoint> points_;
};

// Where two segments cross: no point when their boxes do not overlap, when
// they are parallel (collinear overlapping ones included) or when the
// crossing of their lines lies outside either; else that one point.
std::vector<KS_FloatPoint> Intersect(const StraightLine& a, const StraightLine& b);

// Whether the newest edge (from the second-to-last to the last vertex)
// crosses an earlier edge that does not touch it. Fewer than four vertices,
// or a last vertex back on the first, never do.
bool NewestEdgeIntersects(const std::vector<KS_FloatPoint>& vertices);

// Whether either edge at vertex k of the closed polygon crosses an edge that
// shares no vertex with it. Fewer than four vertices never do; nor does a
// vertex that sits on its neighbour.
bool EdgesAtVertexIntersect(const std::vector<KS_FloatPoint>& vertices, size_t k);

// The snap mode preferences: section "snap", keys by mode index.
const char16_t* SnapModeKey(int index);
// Switches a snap mode: the host's state at the index turns over, and the new
// value is stored under section "snap". The new state, or false for an index
// out of range.
bool ToggleSnapMode(int index);

}  // namespace osnap

// Asks the host's snapping service about the device point `pt` of the view
// (with the gesture's start point once a gesture started) and moves `*out`
// onto the snapped point. The snap kind (KS_SNAP_*), or KS_SNAP_NONE when
// `*out` stayed.
int SnapPoint(KA_PageView view, const KS_DevicePoint& pt, bool started, KS_FloatPoint start, KS_FloatPoint* out);

}  // namespace AnnotationPlugin
