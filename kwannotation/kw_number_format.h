// Number formats of measure dictionaries (ISO 32000-1, 12.9.2): the record
// that one element of an X, Y, D, A, T, S or V array holds, and the display
// rule that turns a measured value into caption text with such an array.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kwannotation {

// The number-format arrays of a measure dictionary, by their index.
enum class FormatArray { X = 0, Y = 1, D = 2, A = 3, T = 4, S = 5, V = 6 };

// "O": where the unit label goes.
enum class LabelPosition { Suffix = 0, Prefix = 1 };

// "F": how the last element of an array shows its value.
enum class DisplayMode { Decimal = 0, Fraction = 1, Round = 2, Truncate = 3 };

// One number-format dictionary. The four texts are optional because the PDF
// standard gives an absent one a default ("," "." and one space); use the
// accessors to read them. An explicitly empty decimal separator also means
// the default ".", while an empty thousands separator, prefix or suffix
// means no text at all.
struct NumberFormat {
  std::u16string unit;                         // "U"
  double factor = 1.0;                         // "C"
  std::optional<std::u16string> thousandsSep;  // "RT"
  std::optional<std::u16string> decimalSep;    // "RD"
  std::optional<std::u16string> prefix;        // "PS"
  std::optional<std::u16string> suffix;        // "SS"
  LabelPosition position = LabelPosition::Suffix;
  DisplayMode mode = DisplayMode::Decimal;
  int32_t decimalDenominator = 100;  // "D" outside fraction mode: 10^digits
  int32_t fractionDenominator = 16;  // "D" in fraction mode
  bool noReduce = false;             // "FD"
  // Cleared by the reader when the dictionary or the array element is
  // missing; an unreadable element makes the whole array unusable.
  bool readable = true;

  std::u16string_view ThousandsSeparator() const {
    return thousandsSep ? std::u16string_view(*thousandsSep) : std::u16string_view(u",");
  }
  std::u16string_view DecimalSeparator() const {
    return decimalSep && !decimalSep->empty() ? std::u16string_view(*decimalSep) : std::u16string_view(u".");
  }
  std::u16string_view PrefixText() const {
    return prefix ? std::u16string_view(*prefix) : std::u16string_view(u" ");
  }
  std::u16string_view SuffixText() const {
    return suffix ? std::u16string_view(*suffix) : std::u16string_view(u" ");
  }
};

// The mode named by an "F" value: by its upper-cased first character "F"
// fraction, "R" round, "T" truncate, anything else decimal.
DisplayMode DisplayModeFromName(std::string_view name);
// The "F" name of a mode: "D", "F", "R" or "T".
std::string_view DisplayModeName(DisplayMode mode);
// The position named by an "O" value: "P" or "p" first is prefix, else suffix.
LabelPosition LabelPositionFromName(std::string_view name);

// Whether `format` can be an element of an array: readable, with a unit label
// and a positive finite factor. The last element must in addition satisfy
// HasUsableDenominator.
bool IsUsableElement(const NumberFormat& format);
// Decimal mode needs a decimal denominator above 0, fraction mode a fraction
// denominator of at least 1; round and truncate need none.
bool HasUsableDenominator(const NumberFormat& format);

// Formats `value` with a number-format array the way the PDF standard
// describes: each element but the last takes the whole units, the last shows
// the remainder in its display mode, a rounded-up remainder carries into the
// elements before it (12 inches make a foot), and each piece gets its label.
// A two-element feet/inches array shows 10.53 ft as 10'-6 3/8". An empty
// label in the angle array (T) reads as "°". Empty when the array is empty,
// an element is not usable, the last element's denominator is not usable, or
// the value is not finite or too large to show exactly.
std::optional<std::u16string> FormatValue(std::span<const NumberFormat> formats, FormatArray array,
                                          double value);

// The slope of a line as shown beside it: empty for a slope of exactly 0;
// whole numbers (within 1e-5) without decimals, others with two; for the
// pitch type (0) "<slope>/<run>", empty when the run is within 1e-5 of 0.
// Types 1 (degree) and 2 (grade) show the slope alone. Empty for numbers
// that are not finite.
std::u16string SlopeText(double slope, int slopeType, double pitchRun);

// SlopeText with the unit word the measuring dialogs show: "°" for degrees,
// "% " + `gradeWord` for grades, " " + `pitchWord` for pitches (the
// translations of "IDS_GRADE" and "IDS_PITCH"). Empty when SlopeText is.
std::u16string SlopeDisplayText(double slope, int slopeType, double pitchRun, std::u16string_view gradeWord,
                                std::u16string_view pitchWord);

}  // namespace kwannotation
