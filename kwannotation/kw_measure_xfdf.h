// The exchange form of a measure dictionary in the XFDF-style export of
// annotations: one "measure" element with a "number-format" child per
// element of each number-format array.
#pragma once

#include "sdk/ks_types.h"

namespace kwannotation {

// Appends a "measure" element for `measure` to `parent`. False, and nothing
// appended, when `measure` is not a dictionary or the host has no XML
// service.
bool ExportMeasureToXFDF(KPD_Dictionary measure, KX_Element parent);

// A new measure dictionary read from a "measure" element, owned by the
// caller (release it with ObjectRelease, or store it in `doc`). Null when
// `element` is null or is not named "measure". Attributes that are missing
// or do not hold a number where one is needed leave their key out.
KPD_Dictionary ImportMeasureFromXFDF(KPD_Document doc, KX_Element element);

}  // namespace kwannotation

namespace kwannotation {

class CKW_AnnotImpl;

// The measurement keys of an annotation as attributes: "caption",
// "caption-color", "measurement-types", "depth", "depth-unit", "label",
// "centerpoint", "segments", "align-on-segment", "slope-type", "slope",
// "pitch-run", "rise-drop", "flip-text"; each only when its key is present.
void ExportMeasureAttributes(KPD_Dictionary annot, KX_Element element);

// Reads those attributes back into their keys through the annotation's
// write path. An attribute that does not parse leaves its key alone.
void ImportMeasureAttributes(CKW_AnnotImpl& annot, KX_Element element);

}  // namespace kwannotation
