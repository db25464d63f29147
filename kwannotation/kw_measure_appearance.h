// What a measurement annotation shows: its quantities, each formatted with
// the annotation's measure dictionary, the caption lines built from them,
// and the normal appearance that draws the shape with its caption, centre
// mark, angle arc, radius figure and per-segment values.
//
// The texts are computed from the dictionary alone, so that the tools can
// fill /Contents and their panels with the same words the page shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_MarkupAnnotImpl;
class CKW_MeasureDictImpl;
struct ShapeAppearanceResult;

// The bits of "MeasurementTypes": which quantities the caption lists.
// Bit 128 shows the "Label" above the values.
enum KW_MeasureTypeBit : uint32_t {
  kMeasureTypeArea = 1,
  kMeasureTypeLength = 2,  // the distance, the path length, or the radius
  kMeasureTypeVolume = 4,
  kMeasureTypeDepth = 8,      // "D"
  kMeasureTypeWallArea = 16,  // "WA": length times depth
  kMeasureTypePerimeter = 32,
  kMeasureTypeLabel = 128,
  kMeasureTypeDiameter = 256,
  kMeasureTypeCircumference = 512,
  kMeasureTypeAngle = 1024,
  kMeasureTypeSlope = 2048,
};

// "MeasurementTypes" of a measure kind when the annotation has none: the
// defaults of the measuring tools (130 distance, 129 area, 132 volume, 1152
// angle ...). The diameter tool writes 384 itself.
uint32_t KW_DefaultMeasurementTypes(int32_t measureKind);

// The geometry and settings a measurement is computed from, in page units.
struct KwMeasureInput {
  int32_t kind = 0;                 // KW_MeasureKind
  std::vector<KS_FloatPoint> points;  // /L (two points) or /Vertices
  KS_FloatRect circle{};            // the ellipse's rectangle (circle kind)
  uint32_t types = 0;               // 0: the kind's default
  std::u16string label;
  bool hasDepth = false;
  double depth = 0;                 // "Depth", in "DepthUnit"
  std::u16string depthUnit;         // empty: the unit of the distances
  int slopeType = 1;                // "SlopeType": 0 pitch, 1 degree, 2 grade
  double pitchRun = 12;             // "PitchRun"
  // The same geometry at the precision the file stores it with: the values
  // are computed from these when they are given, so that a program that
  // reads /L, /Vertices or /Rect from the file gets the stored value to the
  // last digit. Empty (and -1) for input made of floats alone.
  std::vector<double> xy;           // x0 y0 x1 y1 ... of `points`
  double circleWidth = -1;          // of `circle`
  double circleHeight = -1;
};

struct KwMeasureQuantity {
  uint32_t bit = 0;     // its KW_MeasureTypeBit
  double value = 0;     // in real units (degrees for angles)
  std::u16string text;  // formatted; empty when it cannot be shown
};

struct KwMeasureTexts {
  int32_t kind = 0;
  uint32_t types = 0;  // as used
  // Every quantity the kind has, selected or not, in bit order.
  std::vector<KwMeasureQuantity> quantities;
  // The label line (when bit 128 and a label) and one line per selected
  // quantity that could be formatted: "L = 10'-6"", or the value alone when
  // the length is the only selection.
  std::vector<std::u16string> captionLines;
  // The text for /Contents: the value lines (without the label) joined by
  // a line feed. Empty when nothing could be formatted.
  std::u16string contents;
  // The first selected quantity's text (the main value), for read-outs.
  std::u16string primary;
  // Why nothing could be formatted ("no measure dictionary", "invalid
  // measure dictionary: ..."); empty otherwise.
  std::string problem;

  const KwMeasureQuantity* Find(uint32_t bit) const;
};

// Computes every quantity of `in` with `measure` and the texts of them.
// Nothing in the result is "nan", "inf" or an empty value line: what cannot
// be formatted is left out (and `problem` says why when nothing could).
KwMeasureTexts KW_ComputeMeasureTexts(const CKW_MeasureDictImpl* measure, const KwMeasureInput& in);
// The same with a dictionary the caller has found valid (IsValid), for many
// measurements with one dictionary: it is not checked again.
KwMeasureTexts KW_ComputeMeasureTextsOfValid(const CKW_MeasureDictImpl& measure, const KwMeasureInput& in);

// Reads the input of a measurement annotation (intent, /L, /Vertices, /Rect
// less /RD, "MeasurementTypes", "Label", "Depth", "DepthUnit", "SlopeType",
// "PitchRun"). False when it has no measurement intent or no geometry.
bool KW_ReadMeasureInput(KPD_Dictionary annot, KwMeasureInput* in);

// An angle as shown when no "T" format says otherwise: two decimals and a
// degree sign, whatever the process locale; a direction a hair below a
// full turn rounds to 360.00, which reads 0.00°.
std::u16string KW_FormatDegrees(double degrees);

// "DepthUnit" of a measurement as written: the unit label of its
// number-format array's first element, or a plain text; empty when absent.
std::u16string KW_DepthUnitOf(KPD_Dictionary annot);
// A new "DepthUnit" value naming `unit`: an array of one number-format
// dictionary. Owned by the caller; null when it cannot be made.
KPD_Object KW_NewDepthUnit(std::u16string_view unit);
// The unit a depth without "DepthUnit" is in: the length unit of the "X"
// array of `measure` (feet for feet and inches, inches for an inch
// fraction); empty when it has none.
std::u16string KW_ScaleDepthUnit(const CKW_MeasureDictImpl& measure);
// Gives a measurement's depth that has no unit the unit it is in now (that
// of its own measure dictionary), so that it keeps its length when the
// scale's units change. Does nothing without a depth, with a unit already,
// or without a measure dictionary.
void KW_PinDepthUnit(KPD_Dictionary annot);
// A depth of `depth` in `depthUnit` in the units the "X" array of `measure`
// measures in, which the volume and wall-area quantities take. An empty or
// unknown unit, or a scale without "X", leaves the depth as it is.
double KW_DepthInXUnits(const CKW_MeasureDictImpl& measure, double depth, std::u16string_view depthUnit);

// The texts of a measurement annotation with its own "Measure" dictionary.
// `problem` is set when the annotation is not a measurement or has no
// usable geometry.
KwMeasureTexts KW_MeasureTextsOf(KPD_Dictionary annot);

// The caption colour of a measurement: /CC, else each of the first three
// components c of /C turned into 1 - (trunc(c * 255) XOR 0xA5) / 255.
// Black when the annotation has neither. RGB.
KPD_ColorF KW_MeasureCaptionColor(const CKW_MarkupAnnotImpl& annot);

// The half size of the centre mark of a circle in `rect`.
double KW_CentreMarkHalfSize(const KS_FloatRect& rect);

// Where the parts of a distance measurement lie on the page, as its
// appearance draws them: the measured points of /L, the dimension line
// moved off them by the leader ("LL", "LLO"), the leader lines out to their
// extension ("LLE"), and the caption's box (moved by "CO": along the line
// as it reads in the view, then up from it; the view shows the page turned
// by its /Rotate). False when the annotation is not a line with two
// distinct, finite ends.
struct KwDistanceParts {
  KS_FloatPoint ends[2]{};       // /L
  KS_FloatPoint lineEnds[2]{};   // the dimension line
  bool leaders = false;          // leader lines are drawn
  KS_FloatPoint leaderFrom[2]{}, leaderTo[2]{};  // at each end, out to the extension
  KS_FloatPoint side{};          // unit vector from the measured points to the line
  KS_FloatPoint along{}, up{};   // the caption's reading frame
  KS_FloatPoint captionAnchor{};  // middle of the caption's foot, "CO" included
  bool hasCaption = false;
  KS_FloatRect captionBox{};     // the caption as drawn
};
bool KW_DistanceParts(const CKW_MarkupAnnotImpl& annot, KwDistanceParts* out);

// Computes the appearance of a measurement annotation: the shape's own
// appearance with the measurement's parts added, /Rect grown over all of
// them. Captions read upright in the view of the annotation's page (the
// page of its list, else its /P), turned by the page's /Rotate: level ones
// level, those of a line or segment along it, left to right. Writes nothing. False, with the reason, when the shape cannot be
// drawn (a line whose ends coincide among them).
bool ComputeMeasureAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason);
// The same, also giving the box of each caption drawn, in drawing order.
bool ComputeMeasureAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason,
                              std::vector<KS_FloatRect>* captionBoxes);

// The same for a bare annotation dictionary, with the writer's options: the
// generator the shape regeneration uses for an annotation whose intent is a
// measurement.
struct ShapeAppearanceOptions;
bool RegenerateMeasureAppearance(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options);
// The same with the annotation's texts computed already (KW_MeasureTextsOf,
// or KW_ComputeMeasureTexts with a measure dictionary equal to its own), for
// a caller that needs them too.
bool RegenerateMeasureAppearance(KPD_Dictionary annot, const KwMeasureTexts& texts, std::string* reason,
                                 const ShapeAppearanceOptions& options);

}  // namespace kwannotation
