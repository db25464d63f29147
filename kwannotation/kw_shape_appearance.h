// Normal appearances of the shape annotations: square, circle, polygon,
// polyline, line and ink, rebuilt from the annotation dictionary alone.
//
// Each generator reads and checks everything it needs first and writes only
// when the whole appearance could be built: on failure it returns false,
// puts a short reason into *skipReason (when given) and leaves the
// annotation as it was. On success the annotation's /AP /N is a new stream
// (the old one is no longer referenced), /Rect covers everything drawn, and
// the "TransGs" graphics state is present exactly when /CA, /ca, /BM or the
// ink highlight intent call for it.
#pragma once

#include <string>

#include "sdk/ks_types.h"

namespace kwannotation {

bool ResetSquareAppearance(KPD_Dictionary annot, std::string* skipReason);
bool ResetCircleAppearance(KPD_Dictionary annot, std::string* skipReason);
bool ResetPolygonAppearance(KPD_Dictionary annot, std::string* skipReason);
bool ResetPolyLineAppearance(KPD_Dictionary annot, std::string* skipReason);
bool ResetLineAppearance(KPD_Dictionary annot, std::string* skipReason);
bool ResetInkAppearance(KPD_Dictionary annot, std::string* skipReason);

struct ShapeAppearanceOptions {
  // Rewrite the existing normal appearance stream in place (keeping its
  // object, its other resources and its fonts) instead of making a new
  // one. Only for a stream that nothing else in the document refers to:
  // every other user would change with it.
  bool reuseStream = false;
};

using ShapeAppearanceFn = bool (*)(KPD_Dictionary annot, std::string* skipReason,
                                   const ShapeAppearanceOptions& options);

// The generator for the annotation's /Subtype ("Square", "Circle",
// "Polygon", "PolyLine", "Line", "Ink"), or null for any other kind. When
// `kind` is given it receives the subtype without its slash ("" when there
// is none).
ShapeAppearanceFn ShapeAppearanceFor(KPD_Dictionary annot, std::string* kind);

}  // namespace kwannotation
