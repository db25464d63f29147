// The values a measurement stands for, computed from its geometry and the
// scale of its measure dictionary: lengths of segments and paths, and the
// area of a polygon. Pure functions over page coordinates.
#pragma once

#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_MeasureDictImpl;

// Number-format arrays of a measure dictionary by index.
inline constexpr int kMeasureArrayX = 0;
inline constexpr int kMeasureArrayY = 1;
inline constexpr int kMeasureArrayD = 2;
inline constexpr int kMeasureArrayA = 3;

// Factors that turn page distances into the largest unit of "X": along x
// the first "X" factor; along y the first "Y" factor brought into X units by
// "CYX" (1 when absent) when the scale has a separate Y ratio, else the X
// factor again. `usable` is false when there is no "X" or a factor is not a
// positive finite number; the factors are then not to be used.
struct KwMeasureScale {
  double x = 1.0;
  double y = 1.0;
  bool usable = false;
};
KwMeasureScale KW_MeasureScaleOf(const CKW_MeasureDictImpl& measure);

// The scaled length of the segment (x0, y0)-(x1, y1).
double KW_ScaledLength(const KwMeasureScale& scale, double x0, double y0, double x1, double y1);

// The scaled length of the path through the points of the flat list `xy`
// (x0 y0 x1 y1 ...), back to the first point when `closed`. 0 for fewer than
// two points; a trailing odd number is ignored.
double KW_PathLength(const KwMeasureScale& scale, const std::vector<double>& xy, bool closed);

// The scaled area of the polygon through the points of `xy` by the
// shoelace formula: whichever way the points run, never negative. 0 for
// fewer than three points.
double KW_PolygonArea(const KwMeasureScale& scale, const std::vector<double>& xy);

// What the geometry of a measurement annotation measures, by its measure
// kind: a distance ("LineDimension" from /L, "PolyLineDimension" along
// /Vertices), or an area with its perimeter ("PolygonDimension"). Points
// are read at full precision.
struct KwMeasuredGeometry {
  enum Status {
    kMeasured,
    kNoGeometry,   // /L or /Vertices is missing or unusable for the kind
    kNotMeasured,  // a kind whose value is not computed from its geometry
  };
  Status status = kNotMeasured;
  bool isArea = false;
  double length = 0;  // the distance, or the perimeter of an area
  double area = 0;
};
KwMeasuredGeometry KW_MeasureGeometry(KPD_Dictionary annot, int32_t measureKind, const KwMeasureScale& scale);

}  // namespace kwannotation
