// Normal appearances of the text markup kinds (highlight, underline,
// squiggly, strike-out) drawn over /QuadPoints, and of the caret.
//
// Like the shape generators, each computes the whole appearance from the
// object model's getters without writing anything; CKW_AppearanceWriter
// then puts it into the annotation. On failure the reason says why and the
// old appearance stays.
#pragma once

#include <string>
#include <vector>

#include "kwannotation/kw_shape_appearance.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_TextMarkupAnnotImpl;
class CKW_CaretAnnotImpl;

// One marked piece of text, its corners named in the text's own direction:
// the upper edge runs from `ul` to `ur`, the baseline from `ll` to `lr`.
struct MarkupQuad {
  KS_FloatPoint ul, ur, ll, lr;
};

// The quadrilaterals of a /QuadPoints array. Files order the four corners
// differently: upper-left, upper-right, lower-left, lower-right (the usual
// one), or around the figure in either sense starting on the baseline or
// the upper edge; the first two corners always run along the text. Each
// quadrilateral is brought to MarkupQuad. A tail of fewer than eight
// numbers is ignored and quadrilaterals without area are skipped; false
// with the reason when a number is not finite or out of range, or when no
// quadrilateral remains.
bool MarkupQuadsFromPoints(const std::vector<float>& values, std::vector<MarkupQuad>* quads, std::string* reason);

// The appearance of a "Highlight", "Underline", "Squiggly" or "StrikeOut"
// annotation: colour from /C (without one nothing is painted but the box is
// still set), opacity from /CA and /ca, a highlight blends with "Multiply",
// an underline's graphics state adjusts strokes. /Rect becomes the box of
// what is drawn.
bool ComputeTextMarkupAppearance(const CKW_TextMarkupAnnotImpl& annot, ShapeAppearanceResult* out,
                                 std::string* reason);

// The caret: an upward wedge in /Rect less /RD, with a paragraph mark
// beside it when /Sy is "P". /Rect stays as it is.
bool ComputeCaretAppearance(const CKW_CaretAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason);

}  // namespace kwannotation
