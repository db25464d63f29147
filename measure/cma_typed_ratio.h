// Scale ratios as users type them: in the page-scale dialog's value fields
// and after `annot measure scale --ratio`. Architects write 1/8" = 1'-0",
// engineers 1:100; both read here into the ratio record the dialog applies.
// Pure functions but for the display names of units, which come from the
// translation tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "measure/cma_units.h"

namespace AnnotationPlugin {

// One side of a ratio as typed: a number, and the unit the number brings
// with it when it is written in feet and inches. The unit is `ft'in"` for
// feet (1', 1'-6", 1' 6 1/2"), `in"` for inches alone (6", 1/8"), and empty
// for a bare number.
struct TypedLength {
  double value = 0;
  std::u16string unit;
};

// Reads a typed length: a decimal (digits with at most one point; a comma
// is taken as the point), a fraction "1/8", a whole and a fraction
// "1 1/2", or those with feet (') and inches (") marks. Blanks around the
// pieces are allowed. Empty for anything else and for values that are not
// positive and finite.
std::optional<TypedLength> ParseTypedLength(std::u16string_view text);

// The shortest decimal text that reads back as exactly `value` through
// ParseTypedLength ("0.125", "2.5", "100"); empty for values that are not
// positive and finite or too long to type.
std::u16string TypedNumberText(double value);

// Reads a ratio: "PAPER = REAL", each side a typed length followed by a
// unit (a key or a display name) unless its marks bring one ("1/8 in = 1
// ft", 1/8" = 1'-0", "10 cm = 5 m"); or "A:B" ("1:100", "1 : 100"), the
// built-in preset of that name when there is one, else A cm = B cm written
// in metres. The paper unit must be one of the paper list (inches typed
// with a mark are "in"), the real unit one of the real-world list. Empty
// when the text is anything else.
std::optional<MeasureRatioPair> ParseTypedRatio(std::u16string_view text);

}  // namespace AnnotationPlugin
