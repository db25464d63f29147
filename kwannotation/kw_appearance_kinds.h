// Every annotation kind whose normal appearance the library rebuilds, in
// one table: the shapes (and the measurements drawn over them), text
// markup and caret, notes, file attachments, stamps and free text.
// Regeneration, the object model's ResetAppearance and the reports all
// look the kind up here.
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
// one; `kind` (when given) receives the subtype without its slash ("" when
// there is none). A measurement's intent on its own subtype draws the
// measurement. A stamp's own picture is never rewritten in place, whatever
// the options say: a wrapper keeps drawing it. A free text drawn by another
// producer keeps the text size that producer drew.
ShapeAppearanceFn AppearanceFor(KPD_Dictionary annot, std::string* kind);

// AppearanceFor's rebuild with the default options; false (with the
// reason) for a kind without one.
bool RebuildAppearance(KPD_Dictionary annot, std::string* reason);

}  // namespace kwannotation
