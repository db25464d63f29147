// Text set at an angle: the glyphs a page shows along a baseline that is not
// level or upright on the page, read from its content with qpdf, each boxed
// along its own baseline. Text readers that box glyphs square to the page
// (poppler's) cannot follow such text. Internal to host/.
#pragma once

#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "sdk/ks_types.h"

namespace kshost {

// The glyphs of `page` (a page dictionary) whose baseline is turned by an
// angle that is not a multiple of 90 degrees, in the order drawn: each
// glyph's quadrilateral spans its advance along the baseline and the font's
// descent to ascent across it (as KS_TextGlyph); glyphs shown by one text
// positioning share a line, counted from 0. Simple fonts (Type 1,
// TrueType, Type 3 with their /Widths, or the metrics of a standard font)
// and composite fonts written horizontally (Identity-H or a CMap of their
// own; widths from /W and /DW, text from /ToUnicode, else the code); what
// cannot be read is left out.
std::vector<KS_TextGlyph> ReadAngledGlyphs(QPDFObjectHandle page);

}  // namespace kshost
