// What a measuring figure measures, as the texts its measure dictionary
// formats them to: the main value that becomes the annotation's contents,
// and the read-outs of the right-hand panel, by the panel's element names.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_measure_values.h"
#include "plugin/measure_types.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// What the read-outs of a path or polygon need, summed over its vertices in
// order: the length through them, the shoelace terms of its edges, its box
// and its last two vertices. A tool adds the vertices as they are clicked,
// so that the read-out after the thousandth click costs what it did after
// the third; the sums are taken in the order the library's path length and
// polygon area take them, so the values agree to the last bit.
struct PathSums {
  kwannotation::KwMeasureScale scale;  // of the scaled length
  size_t count = 0;
  KS_FloatPoint first{}, beforeLast{}, last{};
  double length = 0;      // scaled
  double pageLength = 0;  // in page units
  double twiceArea = 0;   // shoelace terms of the edges so far, page units
  KS_FloatRect box{};     // left, bottom, right, top

  explicit PathSums(const kwannotation::KwMeasureScale& s = {}) : scale(s) {}
  void Add(KS_FloatPoint p);
  // The path closed back to its first vertex.
  double ClosedLength() const;
  // The polygon's area, scaled and in page units; 0 below three vertices.
  double Area() const;
  double PageArea() const;
};

// The sums of a whole list of vertices.
PathSums PathSumsOf(const std::vector<KS_FloatPoint>& points, const kwannotation::KwMeasureScale& scale);

// A figure in page space. Lines, paths and polygons use `points`; the
// circle tools use `rect`; the radius tools use the centre and one point of
// the circle. Paths and polygons may bring their sums instead of their
// points, made with the scale of the measure dictionary they are shown with.
struct MeasureFigure {
  std::vector<KS_FloatPoint> points;
  std::optional<PathSums> sums;
  KS_FloatRect rect{};
  double depth = 1.0;  // volume: in the X array's largest unit
  // Degrees by which the view shows the page turned clockwise (the page's
  // /Rotate and any turn of the view): directions are read in the view.
  double viewTurn = 0;
};

struct FigureValues {
  // The main value, empty when it cannot be shown.
  std::u16string main;
  // Panel element -> text.
  std::map<std::u16string, std::u16string> panel;
};

// Formats the figure of a type with `measure`. A distance's direction is
// read as the view shows it, counter-clockwise from the view's right, from
// 0.00 up to 359.99 degrees. `main` is empty when the
// scale is not usable or the value is not finite or cannot be formatted.
FigureValues MeasureFigureValues(int type, const MeasureFigure& figure, const kwannotation::CKW_MeasureDictImpl& measure);

// The clockwise turn, in degrees, of a view's page-to-device matrix (device
// y downwards); 0 for a matrix that does not turn.
double ViewTurnOf(const KS_Matrix& pageToDevice);

// Whether a formatted text can stand as a value: present and not empty.
// Values that are not finite never reach a text.
bool ShowableValue(const std::optional<std::u16string>& text);

// The points as x0 y0 x1 y1 ..., as the library's measurement values take them.
std::vector<double> FlatCoordinates(const std::vector<KS_FloatPoint>& points);

}  // namespace AnnotationPlugin
