// Every annotation kind whose normal appearance the library rebuilds, and
// the rebuild of one annotation by its /Subtype: the shapes, text markup
// and caret, notes, file attachments, stamps and free text.
#pragma once

#include <array>
#include <string>

#include "kwannotation/kw_shape_appearance.h"
#include "sdk/ks_types.h"

namespace kwannotation {

// The subtype names with a generated appearance, in the order reports list
// them: the shapes first.
inline constexpr std::array<const char*, 15> kAppearanceKinds = {
    "Square",    "Circle",   "Polygon",   "PolyLine", "Line", "Ink",           "Highlight", "Underline",
    "Squiggly", "StrikeOut", "Caret",     "Text",     "FileAttachment", "Stamp", "FreeText"};

// The rebuild for the annotation's /Subtype, or null for a kind without
// one; `kind` (when given) receives the subtype without its slash. A
// stamp's own picture is never rewritten in place, whatever the options
// say: a wrapper keeps drawing it.
ShapeAppearanceFn AppearanceFor(KPD_Dictionary annot, std::string* kind);

}  // namespace kwannotation
