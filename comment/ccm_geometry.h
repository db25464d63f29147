// The figures the comment tools take from the pointer: pure functions of
// page points, so that each rule can be checked on its own.
#pragma once

#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace AnnotationComment {

// The rectangle a drag from `a` to `b` spans, normalised; with `square` its
// shorter side grows to the longer, away from `a`.
KS_FloatRect BoxFromDrag(KS_FloatPoint a, KS_FloatPoint b, bool square);

// `to` moved onto the nearest ray from `from` at a multiple of 45 degrees,
// keeping its distance from `from`.
KS_FloatPoint ConstrainTo45(KS_FloatPoint from, KS_FloatPoint to);

// A callout dragged from `tip` (what its leader points at) to `at`: the
// text box of `width` by `height` beside `at`, on the side away from the
// tip, with `at` in the middle of its near side; the leader runs from the
// tip to `at`.
struct CalloutLayout {
  KS_FloatRect box;
  std::vector<KS_FloatPoint> leader;
};
CalloutLayout LayoutCallout(KS_FloatPoint tip, KS_FloatPoint at, float width, float height);

// The text a drag across the page's glyphs (in reading order) selects: from
// the glyph nearest `from` to the glyph nearest `to`, either way round. One
// quadrilateral per line in reading order, each spanning the line's selected
// glyphs along and across the text as its first glyph stands, written as
// /QuadPoints (upper-left, upper-right, lower-left, lower-right). Empty when
// there are no glyphs.
struct TextSelection {
  std::vector<float> quads;
  std::u16string text;  // lines joined by a line feed
};
TextSelection SelectText(const std::vector<KS_TextGlyph>& glyphs, KS_FloatPoint from, KS_FloatPoint to);

// Where a caret goes for a click at `at`: at the gap between two glyphs
// nearest it on the nearest glyph's line, below the line's middle, as wide
// as half the glyph's height and as tall as that. False without glyphs.
bool CaretBox(const std::vector<KS_TextGlyph>& glyphs, KS_FloatPoint at, KS_FloatRect* out);

// The box a typewriter text needs at `origin` (its top-left corner) for
// lines as wide as `lineWidths` at `fontSize`: the widest line plus a margin,
// and a line height of 1.2 times the size each (at least one line).
KS_FloatRect TypewriterBox(KS_FloatPoint origin, const std::vector<float>& lineWidths, float fontSize);

}  // namespace AnnotationComment
