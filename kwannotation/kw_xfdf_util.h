// Attribute helpers shared by the XFDF-style import and export: element
// access through the host's XML rows and the number, point and colour texts
// of the attributes. Private to the library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

struct KwBorderInfo;

namespace kwannotation::xfdf {

// True when the element has the attribute; `value` gets its UTF-8 text.
bool GetAttr(KX_Element element, const char* name, std::string* value);
bool SetAttr(KX_Element element, const char* name, std::string_view value);
// The first child element of that name (any name when null), or null.
KX_Element FirstChild(KX_Element element, const char* name);
KX_Element NextSibling(KX_Element element, const char* name);
std::string ElementName(KX_Element element);
std::string ElementText(KX_Element element);  // the element's own text

// "%f" as C's printf writes it, whatever the locale.
std::string FormatF(double value);
// "%.2f".
std::string Format2(double value);
// The shortest plain decimal text that reads back as the same float
// ("694.661", "28").
std::string FormatCompact(float value);

// No coordinate, length or width the import takes is larger than this in
// magnitude: beyond it a number is a fault of the file, not a place on a page.
inline constexpr double kMaxMagnitude = 1e7;

// A whole text as one finite number within kMaxMagnitude; blanks around it
// are allowed.
bool ParseFloat(std::string_view text, float* out);
// Why a list of numbers (separated by commas, semicolons or blanks) cannot
// become PDF numbers: names the first item that reads as NaN, an infinity or
// a number beyond kMaxMagnitude. Empty when there is none; items that are
// no number at all are left to the reader of the list.
std::string NumberFault(std::string_view text);
// Numbers separated by commas (and, where `semicolons`, semicolons); false
// when any item is not a number.
bool ParseFloatList(std::string_view text, std::vector<float>* out, bool semicolons = false);

// "x,y;x,y" point lists. Reading also takes commas only, blanks or line
// breaks around or instead of the separators, and one separator at the end.
std::string FormatPoints(const std::vector<KS_FloatPoint>& points);
bool ParsePoints(std::string_view text, std::vector<KS_FloatPoint>* out);

// "#RRGGBB" of a colour converted to RGB; empty for kind 0.
std::string FormatColor(const KPD_ColorF& color);
bool ParseColor(std::string_view text, KPD_ColorF* out);

// Reads the border attributes "width", "style" and "dashes" into `border`,
// changing only what the element names; true when any was read. A negative
// width or dash length has no meaning, and such a value is left out whole.
bool ReadBorderAttributes(KX_Element element, KwBorderInfo* border);

// Writes `border` as "width", "style" and, for a dashed one, "dashes":
// whole numbers when `wholeDashes` (as markup dash arrays are written),
// else as short as they read exactly.
void WriteBorderAttributes(KX_Element element, const KwBorderInfo& border, bool wholeDashes);

}  // namespace kwannotation::xfdf
