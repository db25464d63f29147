// Drawing appearance streams onto a recording device: the content of a form
// is read operator by operator and every painted path becomes a display-list
// path in its stroke and fill colours, every image its outline. Text,
// shadings and clipping are not drawn. Internal to host/.
#pragma once

#include <cstddef>

#include "host/pdf_handles.h"
#include "sdk/ks_types.h"

namespace kshost::appearance {

// Limits that keep a hostile stream from taking the host down.
inline constexpr size_t kMaxItems = 100'000;
// Operators read in one drawing, forms drawn many times over counted each
// time.
inline constexpr size_t kMaxOperators = 4'000'000;
inline constexpr int kMaxFormDepth = 12;
inline constexpr int kMaxStateDepth = 256;

// The normal appearance form of an annotation dictionary: /AP /N, or the
// entry of /N that /AS names. Null when there is none.
QPDFObjectHandle NormalAppearance(QPDFObjectHandle annot);

// The matrix that draws the form of `annot` on its page as a viewer does:
// the form's /Matrix, then the map of its transformed /BBox onto /Rect.
// False when the form, its box or the rectangle is missing or flat.
bool AppearanceToPage(QPDFObjectHandle annot, QPDFObjectHandle form, double out[6]);

// Draws the normal appearance of `annot` through `pageToDevice`; false when
// it has none. Damaged content keeps what was drawn before the damage.
bool DrawAnnotAppearance(KA_Device device, QPDFObjectHandle annot, const KS_Matrix& pageToDevice);

}  // namespace kshost::appearance
