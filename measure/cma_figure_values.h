// What a measuring figure measures, as the texts its measure dictionary
// formats them to: the main value that becomes the annotation's contents,
// and the read-outs of the right-hand panel, by the panel's element names.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kwannotation/kw_measure_dict.h"
#include "measure/cma_measure_types.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// A figure in page space. Lines, paths and polygons use `points`; the
// circle tools use `rect`; the radius tools use the centre and one point of
// the circle.
struct MeasureFigure {
  std::vector<KS_FloatPoint> points;
  KS_FloatRect rect{};
  double depth = 1.0;  // volume: in the X array's largest unit
};

struct FigureValues {
  // The main value, empty when it cannot be shown.
  std::u16string main;
  // Panel element -> text.
  std::map<std::u16string, std::u16string> panel;
};

// Formats the figure of a type with `measure`. `main` is empty when the
// scale is not usable or the value is not finite or cannot be formatted.
FigureValues MeasureFigureValues(int type, const MeasureFigure& figure, const kwannotation::CKW_MeasureDictImpl& measure);

// The panel's value element names of a type, in layout order.
std::vector<std::u16string> PanelValueLabels(int type);

// Whether a formatted text can stand as a value: present and not empty.
// Values that are not finite never reach a text.
bool ShowableValue(const std::optional<std::u16string>& text);

// The points as x0 y0 x1 y1 ..., as the library's measurement values take them.
std::vector<double> FlatCoordinates(const std::vector<KS_FloatPoint>& points);

}  // namespace AnnotationPlugin
