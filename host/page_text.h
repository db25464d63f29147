// The text of a page with the box of every glyph, read by poppler from the
// document as it stands (its current objects, not the file on disk).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kshost {

// The glyphs of page `pageIndex` of `doc` in reading order (KS_TextGlyph):
// the page's own text, what its annotations show left out; false with the
// reason when the page cannot be read. The page is written out for poppler
// (alone, without its annotations) only when what it draws changed since it
// was last read: later calls, after changes to annotations too, read what
// that reading found.
bool ReadPageGlyphs(KPD_Document doc, int pageIndex, std::vector<KS_TextGlyph>* out, std::string* error);

// How often ReadPageGlyphs has written a page out for poppler.
uint64_t PageTextWrites();

// The user-space point of a point of poppler's text space: 72 units an
// inch, y downwards from the top-left corner of the page as shown (the crop
// box turned by the page's rotation, 0, 90, 180 or 270 degrees clockwise).
KS_FloatPoint UserPointOfTextSpace(const KS_FloatRect& cropBox, int rotation, double x, double y);

}  // namespace kshost
