// Codes and names of the annotation model: subtype codes, measure kinds,
// line-ending styles, annotation flags, and the border record with its
// reader and writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// Subtype codes of the factory: 0 for any subtype the model does not name.
enum KW_AnnotSubtype : int32_t {
  KW_ANNOT_UNKNOWN = 0,
  KW_ANNOT_TEXT = 1,
  KW_ANNOT_LINK = 2,
  KW_ANNOT_FREETEXT = 3,
  KW_ANNOT_LINE = 4,
  KW_ANNOT_SQUARE = 5,
  KW_ANNOT_CIRCLE = 6,
  KW_ANNOT_POLYGON = 7,
  KW_ANNOT_POLYLINE = 8,
  KW_ANNOT_HIGHLIGHT = 9,
  KW_ANNOT_UNDERLINE = 10,
  KW_ANNOT_SQUIGGLY = 11,
  KW_ANNOT_STRIKEOUT = 12,
  KW_ANNOT_STAMP = 13,
  KW_ANNOT_CARET = 14,
  KW_ANNOT_INK = 15,
  KW_ANNOT_FILEATTACHMENT = 16,
  KW_ANNOT_SOUND = 17,
  KW_ANNOT_MOVIE = 18,
  KW_ANNOT_WIDGET = 19,
  KW_ANNOT_SCREEN = 20,
  KW_ANNOT_PRINTERMARK = 21,
  KW_ANNOT_TRAPNET = 22,
  KW_ANNOT_WATERMARK = 23,
  KW_ANNOT_3D = 24,
  KW_ANNOT_POPUP = 25,
  KW_ANNOT_REDACT = 26,
  KW_ANNOT_PROJECTION = 27,
};
inline constexpr int32_t kKwLastSubtypeCode = KW_ANNOT_PROJECTION;

// Measure kinds, from the intent of a measurement annotation.
enum KW_MeasureKind : int32_t {
  KW_MEASURE_NONE = 0,
  KW_MEASURE_LINE = 1,        // "LineDimension"
  KW_MEASURE_POLYLINE = 2,    // "PolyLineDimension"
  KW_MEASURE_POLYGON = 3,     // "PolygonDimension"
  KW_MEASURE_VOLUME = 4,      // "PolygonVolume"
  KW_MEASURE_CIRCLE = 5,      // "CircleDimension"
  KW_MEASURE_RADIUS = 6,      // "PolygonRadius"
  KW_MEASURE_ANGLE = 7,       // "PolyLineAngle"
};

// Subtype names are given without the leading slash ("Line"). Matching is by
// whole, case-sensitive comparison; an unknown or empty name gives 0, an
// unknown code the empty name.
int32_t KW_SubtypeCodeFromName(std::string_view name);
std::string KW_SubtypeNameFromCode(int32_t code);

// Intent names without the slash. Anything but the seven names gives 0.
int32_t KW_MeasureKindFromIntent(std::string_view intent);
// Whether `intent` is one of the seven intents of a measurement.
inline bool KW_IsMeasurementIntent(std::string_view intent) {
  return KW_MeasureKindFromIntent(intent) != KW_MEASURE_NONE;
}
std::string KW_IntentFromMeasureKind(int32_t kind);
// The subtype a measurement of `kind` is made as; 0 for kind 0 or unknown.
int32_t KW_SubtypeCodeFromMeasureKind(int32_t kind);

// Whether the plug-in handles annotations of this subtype name.
bool KW_IsHandledSubtype(std::string_view name);

// Line endings of /LE: codes 0 "None" to 9 "Slash"; other names read as 0.
int32_t KW_LineEndingFromName(std::string_view name);
std::string KW_LineEndingName(int32_t code);  // "None" for an unknown code

// Annotation flags (/F) as the comma-joined names of the XFDF-style "flags"
// attribute.
inline constexpr uint32_t kKwFlagPrint = 4;
std::string KW_FormatAnnotFlags(uint32_t flags);
// Unknown tokens are ignored; an empty text means print only.
uint32_t KW_ParseAnnotFlags(std::string_view text);

// Border styles of the border record and their attribute names.
enum KW_BorderStyle : int32_t {
  KW_BORDER_SOLID = 0,
  KW_BORDER_DASH = 1,
  KW_BORDER_BEVELLED = 2,
  KW_BORDER_INSET = 3,
  KW_BORDER_UNDERLINE = 4,
  KW_BORDER_CLOUDY = 5,
};
std::string KW_BorderStyleName(int32_t style);           // "solid" for unknown
int32_t KW_BorderStyleFromName(std::string_view name);   // -1 for unknown

struct KwBorderInfo {
  float width = 1.0f;
  int32_t style = KW_BORDER_SOLID;
  float intensity = 0.0f;  // cloudy only
  float dashPhase = 0.0f;
  std::vector<float> dashes;

  // The record as the file holds it, before the repairs above: the
  // appearance generators refuse a value no drawing can use (a huge width,
  // a negative dash) instead of repairing it.
  struct Stored {
    bool bsKey = false;         // /BS is present, of any type
    bool bs = false;            // /BS is a dictionary
    bool bsWidthKey = false;    // that dictionary has /W, of any type
    bool borderKey = false;     // without a /BS dictionary: /Border is present, of any type
    bool hasWidth = false;      // the width entry in use is a number
    double width = 1.0;         // that number
    int32_t bsStyle = KW_BORDER_SOLID;  // /BS /S
    bool dashArray = false;     // the dash entry in use is an array
    int32_t dashCount = -1;     // its length; -1 when it is not all numbers
    std::vector<float> dashes;  // its numbers, unchecked
    bool cloudy = false;        // /BE /S /C
    double intensity = 0.0;     // /BE /I
    bool invert = false;        // /BE /Invert
  } stored;
};

// The one reader of the border record: /BS (/W, /S, /D), else /Border, and
// /BE (/S /C makes it cloudy, /I the intensity). False when the annotation
// has none of them; `out` then holds the defaults (width 1, solid). Widths
// and intensities read as at least 0 and dashes as finite numbers; `stored`
// keeps what the file says.
bool KW_ReadBorderInfo(KPD_Dictionary annot, KwBorderInfo* out);
// The /BS (/Type /Border) and, for a cloudy border, /BE dictionaries of
// `info`, owned by the caller; `be` is null for any other style. Negative or
// non-finite widths are written as 0.
bool KW_MakeBorderObjects(const KwBorderInfo& info, KPD_Object* bs, KPD_Object* be);
// Writes a new /BS (/Type /Border); a cloudy border also gets a new /BE, any
// other style removes /BE. Negative or non-finite widths are written as 0.
bool KW_WriteBorderInfo(KPD_Dictionary annot, const KwBorderInfo& info);

}  // namespace kwannotation
