// Unit vocabulary of the measuring tools: the unit keys offered in the unit
// lists, their kinds and alias forms, and the one table of unit sizes that
// both the measuring tools (points and inches per unit) and the caption
// formatter (millimetres per unit) read.
//
// Unit keys are compared exactly (case-sensitive) except where a function
// says it normalises its input first.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kwannotation {

// The four unit lists. A unit is stored in preferences by its index in one of
// these lists, so the order of each list is part of the stored format.
enum class UnitList {
  Paper,   // "pt", "in", "mm", "cm", "p"
  Real,    // "in", "ft", ft'in", in", "yd", "mi", "mm", "cm", "m", "km", "pt", "p"
  Area,    // "sq in" ... "tsubo"
  Volume,  // "cu in" ... "cu km"
};

// How a length is shown: feet and inches (10'-6 3/8"), whole inches with a
// fraction (6 3/8"), or a decimal number. The values are the stored codes.
enum class UnitKind { FeetInches = 0, InchFraction = 1, Decimal = 2 };

// What a size table measures: millimetres, square or cubic millimetres.
enum class UnitDimension { Length, Area, Volume };

// The keys of `list`, in list order.
std::span<const std::u16string_view> UnitKeys(UnitList list);

// Splits a translated list of unit names ("IDS_STRINGUNITI" and friends) at
// each two-character sequence backslash-n; the i-th piece names the i-th key
// of its list. An empty text gives one empty piece.
std::vector<std::u16string> SplitUnitNames(std::u16string_view translated);

// The canonical form of a length key: "inch" -> "in", " -> in",
// "ft'" -> "ft", and ft' in", '", ' " and ' -> ft'in". Any other text is
// returned unchanged.
std::u16string CanonicalUnitKey(std::u16string_view key);

// The kind of a length key; every key that is not one of the feet-and-inches
// or inch-fraction forms is decimal.
UnitKind GetUnitKind(std::u16string_view key);

// Index of `key` in `list` after canonicalisation (the length aliases for the
// paper and real-world lists, "sf" and "ac" for the area list), or -1 when the
// list does not hold it.
int UnitIndex(std::u16string_view key, UnitList list);

// Turns user text into a key of `list`: the canonical key when the list holds
// it, else the key whose display name (from `names`, the split translation of
// that list) equals the text, else the text with surrounding blanks, tabs,
// carriage returns and line feeds removed.
std::u16string UnitKeyFromText(std::u16string_view text, UnitList list,
                               std::span<const std::u16string> names);

// The display name of the area (or volume) unit with the same base unit as a
// length key: "ft" and ft'in" give the name of "sq ft". `names` is the split
// translation of the area (or volume) list; where it has no entry for the
// index the key itself is returned. A length key with no area unit in the
// list gives "sq mm" (or "cu mm").
std::u16string AreaUnitNameFor(std::u16string_view lengthKey, std::span<const std::u16string> names);
std::u16string VolumeUnitNameFor(std::u16string_view lengthKey, std::span<const std::u16string> names);

// Page points, or inches, in one `key` (exact key or alias form, no further
// normalisation). Empty when the key is not a known length unit; callers then
// leave the value unconverted.
std::optional<double> PointsPerUnit(std::u16string_view key);
std::optional<double> InchesPerUnit(std::u16string_view key);

// The key for the host's document unit setting: 0 "pt", 1 "inch", 2 "cm",
// 3 "p", 4 "mm"; any other setting gives "pt".
std::u16string DefaultUnitKey(int documentUnitSetting);

// Normalises a unit label as found in a measure dictionary or ratio text:
// trims blanks, keeps what follows the last "=", keeps the last run of
// letters, apostrophes and double quotes (so "1 in = 10 FT" gives "ft"),
// lower-cases ASCII letters and reads "inch" as "in". Text without such a run
// is returned trimmed.
std::u16string NormalizeUnit(std::u16string_view text);

// Size of one `key` in millimetres (square, cubic millimetres for area and
// volume), or its reciprocal; -1 when the table has no such key. The key is
// looked up as given: normalise it first.
double MillimetresPerUnit(UnitDimension dimension, std::u16string_view key);
double UnitsPerMillimetre(UnitDimension dimension, std::u16string_view key);

// Multiplier that turns a value in `from` into a value in `to`. Both keys are
// normalised first (area and volume keys keep their "sq " or "cu " before the
// normalised unit). Equal keys, and keys the table does not know, give 1.0.
double LengthFactor(std::u16string_view from, std::u16string_view to);
// Whether the size table of `dimension` knows `text` once normalised as the
// factors above normalise it ("SQ YD" is an area unit, "furlong" no length).
bool IsKnownUnit(UnitDimension dimension, std::u16string_view text);
double AreaFactor(std::u16string_view from, std::u16string_view to);
double VolumeFactor(std::u16string_view from, std::u16string_view to);

// The area (or volume) key of the same base unit as a length key, as the
// annotation library names it ("ft" -> "sq ft", "p" -> "sq p"); empty for a
// key that is not a length unit. The key is looked up as given.
std::u16string AreaKeyOfLength(std::u16string_view lengthKey);
std::u16string VolumeKeyOfLength(std::u16string_view lengthKey);

}  // namespace kwannotation
