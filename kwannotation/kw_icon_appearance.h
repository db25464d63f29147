// Normal appearances of the kinds that show a picture rather than a drawn
// shape: note icons ("Text"), file attachment icons and stamps.
//
// The generators compute the appearance from the object model's getters
// and write nothing; CKW_AppearanceWriter applies the result.
#pragma once

#include <cstdint>
#include <string>

#include "kwannotation/kw_shape_appearance.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_MarkupAnnotImpl;

// The icon drawn for a /Name: the name itself when this library draws it
// for that subtype ("Text" or "FileAttachment"), else the default ("Note",
// "PushPin"). An empty name also gives the default.
std::string KW_IconToDraw(const std::string& subtype, const std::string& name);

// The key under which an icon appearance made for one look is found again:
// "Icon+<subtype>+<icon>+<stroke>+<fill>-Venko-<provider>-<version>", the
// colours as 8 upper-case hex digits with alpha 0xFF on top; an empty
// provider name or version reads "RDK" and "0".
std::string KW_IconCacheKey(const std::string& subtype, const std::string& icon, const KPD_ColorF& stroke,
                            const KPD_ColorF& fill, const std::string& provider, const std::string& version);

// A note or file attachment, filled with /C (yellow without it) and
// outlined with /IC (black without it), in the annotation's opacity; icons
// made of lines alone are drawn over a wider outline. A note keeps a /Rect
// whose sides are 6 to 64 points: its 20 by 20 icon, turned by /Rotate, is
// fitted into it whole and centred. Any other /Rect gets the standard box:
// the 20-point icon's turned bounds hang from its upper-left corner and
// /Rect becomes those bounds. An attachment keeps its /Rect: the icon's
// ink, turned, is fitted into it whole, centred, keeping its proportions.
bool ComputeIconAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason);

// A stamp. Without a normal appearance of its own the standard stamp of its
// /Name ("Draft" without one; a name of its own in capitals) is drawn as a
// framed caption filling /Rect, turned by /Rotate; when the turn stands the
// frame taller than wide the caption runs along it, level on the page.
// With a picture of its own the picture stays: when the stamp has an opacity it is wrapped in a form that draws it through the
// graphics state "GS0" as the XObject "MWFOForm"; a wrapper made before is
// rebuilt around the same picture. A normal appearance made of states is
// left as it is. `*unchanged` is set when the picture needs nothing.
bool ComputeStampAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, bool* unchanged,
                            std::string* reason);

// The colours these pictures are drawn in, as RGB, for a reader that shows
// them. A note's or attachment's icon is filled with /C, yellow without it.
KPD_ColorF KW_IconFillColor(const CKW_MarkupAnnotImpl& annot);
// A standard stamp is drawn in /C, else in the colour of its /Name (red
// for a name of its own, blue for none).
KPD_ColorF KW_StampColor(const CKW_MarkupAnnotImpl& annot);
// Whether the stamp's picture is the standard stamp this library draws:
// none yet, or one whose content is what the stamp's keys draw now (also
// inside the wrapper an opacity put around it). A picture made elsewhere
// keeps its own colours.
bool KW_StampPictureIsStandard(const CKW_MarkupAnnotImpl& annot);
// Sets a standard stamp's colour and drops its picture, so that the next
// ResetAppearance draws it in that colour. False, with nothing changed,
// for a stamp whose picture was made elsewhere.
bool KW_SetStampColor(CKW_MarkupAnnotImpl& annot, const KPD_ColorF& color);

}  // namespace kwannotation
