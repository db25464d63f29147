// Rectangles and matrices as PDF arrays, shared by the page and geometry
// tables. Internal to host/.
#pragma once

#include "host/pdf_handles.h"

namespace kshost::pdf {

// An array of four numbers as a normalised rectangle.
bool ReadRect(QPDFObjectHandle const& array, KS_FloatRect& out);

// [left bottom right top] of the rectangle as given (not normalised).
QPDFObjectHandle RectArray(KS_FloatRect const& rect);

}  // namespace kshost::pdf
