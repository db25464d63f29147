// Normal appearances of free text: text boxes, typewriter text and
// callouts. The text (plain /Contents, or the rich text of /RC over the
// defaults of /DS and /DA) is laid out by the host's text layout and
// clipped to the text box; the generator wraps it in the fill, the border
// (straight, dashed or cloudy) and, for a callout, the callout line /CL
// with its ending /LE.
#pragma once

#include <string>
#include <string_view>

#include "kwannotation/kw_shape_appearance.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotImpl;

enum class FreeTextKind { kTextBox, kTypewriter, kCallout };

// The kind from /IT: "FreeTextTypewriter", "FreeTextCallout", anything
// else a text box.
FreeTextKind FreeTextKindOf(const CKW_AnnotImpl& annot);

// The /DS a free text without one gets from its /DA: the font family
// ("Helvetica" when empty), the size and the colour as #RRGGBB.
std::u16string DefaultStyleFromAppearance(const std::string& family, float size, const KPD_ColorF& color);

// The standard family a /DA font resource stands for ("Helv", "HeBo" and
// "Arial" are Helvetica, "TiRo" Times, "Cour" Courier, "ZaDb"
// ZapfDingbats, "Symb" Symbol); Helvetica for any name it does not know.
std::string FamilyOfFontResource(const std::string& resource);

// Computes the appearance; writes nothing. False, with the reason, when
// the annotation cannot be drawn (no dictionary, no usable /Rect).
bool ComputeFreeTextAppearance(const CKW_AnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason);

// Rebuilds the normal appearance through the one appearance writer, then
// writes /DS from /DA when there is none.
bool ResetFreeTextAppearance(CKW_AnnotImpl& annot, const ShapeAppearanceOptions& options, std::string* reason);

// Whether the free text has text of its own: /Contents, or an /RC with
// text in it.
bool FreeTextHasText(const CKW_AnnotImpl& annot);

// The size, in the stream's own units, at which all the text a content
// stream shows is drawn: the font size through the text and current
// matrices. 0 when it shows no text, text at more than one size, or a
// size no free text has.
float DrawnTextSize(std::string_view content);

// Where typing into the free text goes on, in page space, from the foot
// of the caret to its head: after the last letter; at the start of a new
// line when the text ends with a line break; where the first letter would
// go when there is no text. False when the free text cannot be drawn.
bool FreeTextCaret(const CKW_AnnotImpl& annot, KS_FloatPoint* foot, KS_FloatPoint* head);

// What `annot regenerate` does: the same as ResetFreeTextAppearance, except
// that a free text without text of its own keeps the normal appearance it
// has (true, nothing written): that drawing is all that records what it
// shows. One whose style is only its /DA takes the size its drawing shows
// its text at into /DA when the two differ.
bool RebuildFreeTextAppearance(CKW_AnnotImpl& annot, const ShapeAppearanceOptions& options, std::string* reason);

}  // namespace kwannotation
