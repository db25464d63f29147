// Plane geometry of the annotation model: points, rectangles and angles as
// the appearance generators and the editing code use them. Pure functions;
// nothing here reads or writes a PDF object.
#pragma once

#include <cmath>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation::geom {

// A point at full precision; the dictionaries hold floats, the drawing
// computes in doubles.
struct Point {
  double x, y;
};

inline KS_FloatPoint ToFloat(Point p) { return {float(p.x), float(p.y)}; }

// |(dx, dy)|. Coordinates are bounded well below overflow, so the plain
// square root does; std::hypot's care costs several times as much.
inline double Length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// Beyond this magnitude a coordinate is not a drawing any renderer could
// show, but damage.
inline constexpr double kMaxCoordinate = 1.0e7;
inline bool InRange(double value) { return std::isfinite(value) && std::fabs(value) <= kMaxCoordinate; }
bool InRange(const std::vector<float>& values);

// Exact equality of all four sides.
bool SameRect(const KS_FloatRect& a, const KS_FloatRect& b);

// `rect` less the insets `rd` (left, bottom, right, top), read leniently as
// files carry insets no writer should: a negative inset counts as 0, and
// insets that meet or cross on an axis are scaled down until they just
// meet, so the result keeps to `rect` on that axis (as a line or a point).
KS_FloatRect Inset(const KS_FloatRect& rect, const float rd[4]);

// The insets (as left, bottom, right, top) that bring `outer` to `inner`.
KS_FloatRect InsetsBetween(const KS_FloatRect& outer, const KS_FloatRect& inner);

// `r` moved in by `by` on every side. When the insets cross (a border
// thicker than the figure is wide) the sides change places about the
// centre instead of collapsing, so a stroke still fills the box.
KS_FloatRect Deflate(const KS_FloatRect& r, double by);

// A rotation in whole degrees as radians, taken modulo one turn.
double Radians(double degrees);

// The points of a flat coordinate list (x0 y0 x1 y1 ...); a trailing odd
// number is dropped.
std::vector<Point> PointsOf(const std::vector<float>& values);

}  // namespace kwannotation::geom
