// XFDF exchange of a whole document's annotations: the common and markup
// attributes of each annotation (its implementation's import and export)
// plus the geometry a standard XFDF carries, so that an annotation can be
// rebuilt from the file. Appearance streams are not carried, except a
// stamp's picture, which travels as tagged text.
#pragma once

#include <string>
#include <string_view>

#include "sdk/ks_types.h"

namespace kwannotation {

// The XFDF text of every annotation of `doc`: root "xfdf" with its
// namespace, an "annots" element, one element per annotation named by its
// subtype in lower case. Popups are carried by the annotation they belong
// to. False with a reason in `error` when the host cannot build XML.
bool KW_ExportXFDF(KPD_Document doc, std::string* xfdf, std::string* error);

// Adds the annotations of an XFDF text to `doc`, or updates the one with the
// same "name" on that page. The text is checked whole before anything
// changes: malformed XML (the error names line and column), an annotation
// for a page the document lacks, or one whose geometry or border holds a
// number that cannot be a PDF value (NaN, an infinity, beyond 1e7) or a
// negative dash (the error names the element's line and the reason) leaves
// the document untouched. `imported`,
// when given, receives the number of annotations added or updated.
bool KW_ImportXFDF(KPD_Document doc, std::string_view xfdf, std::string* error, int* imported = nullptr);

}  // namespace kwannotation
