// Scale ratios ("1 in = 10 ft"): the ratio record, its text in a measure
// dictionary's "R" entry, the number texts kept in preferences, and the
// precision choices that map to number-format denominators.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kwannotation/kw_number_format.h"

namespace kwannotation {

// One scale ratio: paper number and unit "=" real number and unit. Numbers
// are positive; the units are keys of the paper and real-world unit lists.
struct MeasureRatioPair {
  double paperNumber = 1.0;
  std::u16string paperUnit;
  double realNumber = 1.0;
  std::u16string realUnit;
};

// A page scale: the X ratio, and a Y ratio that applies only when
// `separateY` is set, with the precision index (0 to 5) of its display.
struct PageScale {
  MeasureRatioPair x;
  bool separateY = false;
  MeasureRatioPair y;
  int precision = 2;
};

// What a ratio text says: its two unit texts as written and how many real
// units one paper unit stands for, both counted in the paper unit.
struct ParsedRatio {
  std::u16string paperUnit;
  std::u16string realUnit;
  double ratio = 1.0;
};

// Reads a whole ratio text "<number> <unit> = <number> <unit>" (blanks
// optional) and turns it into a ratio: "1 in = 10 ft" gives 120. Numbers are
// digits with at most one point, without sign or exponent; units are ASCII
// letters, digits, underscores, apostrophes and double quotes, and the
// feet-and-inches and inch-fraction forms (ft'in", in", ft') come back as
// "ft" and "in". Empty when the text is anything else (other text around
// the ratio included), when a number is 0 or does not fit a double, or when
// the ratio is not a positive finite number.
std::optional<ParsedRatio> ParseRatioText(std::u16string_view text);

// A ratio number as written in a measure dictionary: six decimals with
// trailing zeros and point dropped (2.5, 10). Empty for a number that is not
// finite.
std::u16string RatioNumberText(double value);

// The "R" text of a scale: "1 in = 10 ft", or with a separate Y ratio
// "in X 1 in = 10 ft, in Y 1 in = 20 ft". Units are turned into keys with
// UnitKeyFromText against the display names of the paper and real-world
// lists. Empty when a number is not positive and finite.
std::u16string ComposeRatioText(const PageScale& scale, std::span<const std::u16string> paperNames,
                                std::span<const std::u16string> realNames);

// Reads a ratio number kept in preferences. The whole text must be a number
// (leading blanks allowed); one that is not, is not finite or is not
// positive reads as 1; larger than 99999999 reads as 99999999.
double ReadPreferenceRatioNumber(std::u16string_view text);

// A ratio number as kept in preferences: printf "%.15g" in the C locale.
std::u16string PreferenceRatioNumberText(double value);

// The entries of the precision list ("1" to "0.00001") and of the preset
// ratio list ("1:1" to "1:1000").
std::span<const std::u16string_view> PrecisionChoices();
std::span<const std::u16string_view> PresetRatios();

// Sets the display mode and denominator of `format` for precision index
// `precision` (clamped to 0..5) and the real unit `realUnit`: feet-and-inches
// and inch-fraction units get fractions of 2^precision, every other unit
// 10^precision in decimal mode.
void ApplyPrecision(NumberFormat& format, int precision, std::u16string_view realUnit);

// The precision index of a number format: log2 of its fraction denominator
// in fraction mode, log10 of its decimal denominator otherwise, truncated;
// 0 for a denominator below 1.
int PrecisionOf(const NumberFormat& format);

}  // namespace kwannotation
