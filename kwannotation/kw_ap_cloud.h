// Cloudy borders: a closed figure drawn as a ring of equal circular bumps.
#pragma once

#include <string>
#include <vector>

#include "kwannotation/kw_ap_path.h"
#include "sdk/ks_types.h"

namespace kwannotation {

// Bumps around a w by h figure at `intensity`: (w + h) / 4 at intensity 1,
// (w + h) / 6 otherwise, made even and kept between 2 and 96.
int CloudBumpCount(double width, double height, double intensity);

// The ring of bumps around points placed on a closed figure (in
// counter-clockwise order): each bump has radius 0.55 times the largest
// spacing of consecutive points and starts 20 degrees inside the previous
// bump. Returns the union of the squares p +- r; empty when fewer than one
// distinct point or no spacing.
ApBounds AppendCloud(std::string& out, const std::vector<KS_FloatPoint>& points);

// The cloud around the ellipse inscribed in `rect` turned by `angle`, around
// a rectangle, and around a polygon (its vertices in order, either turn).
ApBounds AppendEllipseCloud(std::string& out, const KS_FloatRect& rect, double angle, double intensity);
ApBounds AppendRectangleCloud(std::string& out, const KS_FloatRect& rect, double intensity);
ApBounds AppendPolygonCloud(std::string& out, const std::vector<KS_FloatPoint>& vertices, double intensity);

// The points a rectangle cloud places on `rect` (exposed for tests).
std::vector<KS_FloatPoint> RectangleCloudPoints(const KS_FloatRect& rect, double intensity);

// The points a polygon cloud places on the outline, counter-clockwise.
// When every edge is long enough for a point (at least half the spacing),
// each edge gets its own evenly spread share starting at its corner;
// otherwise the points run at equal steps along the whole outline.
std::vector<KS_FloatPoint> PolygonCloudPoints(const std::vector<KS_FloatPoint>& vertices, double intensity);

}  // namespace kwannotation
