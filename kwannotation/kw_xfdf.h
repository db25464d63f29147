// XFDF exchange of a whole document's annotations: the common and markup
// attributes of each annotation (its implementation's import and export)
// plus the geometry a standard XFDF carries, so that an annotation can be
// rebuilt from the file. Appearance streams are not carried, except a
// stamp's picture, which travels as tagged text.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// What to do with an attached file over the size limit that
// CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit sets, and the files that
// were left out for it.
struct KwXfdfFiles {
  // False: such a file fails the whole exchange, and the error names it.
  // True: it is left out (the annotation still names it) and listed below.
  bool skipLarge = false;
  // Each file left out: its name, size and page.
  std::vector<std::string> leftOut;
  // The exchange failed for a file over the limit.
  bool refusedLarge = false;
  // Import: each annotation that had the name of an earlier one in the same
  // XFDF and was kept under a new name, said in a sentence.
  std::vector<std::string> renamed;
};

// The XFDF text of every annotation of `doc`: root "xfdf" with its
// namespace, an "annots" element, one element per annotation named by its
// subtype in lower case. Popups are carried by the annotation they belong
// to. False with a reason in `error` when the host cannot build XML.
// With `files`, an attached file over the limit fails the export (or is left
// out and listed, as `files` says); without, it is left out silently.
bool KW_ExportXFDF(KPD_Document doc, std::string* xfdf, std::string* error, KwXfdfFiles* files = nullptr);

// Adds the annotations of an XFDF text to `doc`, or updates the one with the
// same "name" on that page; a later element with the name of an earlier one
// of the same text is added under a new name ("<name>-2"), listed in
// `files->renamed`. The text is checked whole before anything
// changes: malformed XML (the error names line and column), an annotation
// for a page the document lacks, one whose geometry or border holds a
// number that cannot be a PDF value (NaN, an infinity, beyond 1e7) or a
// negative dash, or a carried file that is not base64 (the error names the
// element's line and the reason) leaves the document untouched; so does a
// carried file over the limit, unless `files` says to skip it (without
// `files` it is skipped silently). `imported`, when given, receives the
// number of annotations added or updated.
//
// `settled`, when given, is called with each annotation as soon as nothing
// later in the file can touch it again (no later element replies to it or
// reuses its name, and what it replies to is found): a caller that saves
// as it goes may write it out and free it then.
bool KW_ImportXFDF(KPD_Document doc, std::string_view xfdf, std::string* error, int* imported = nullptr,
                   KwXfdfFiles* files = nullptr, const std::function<void(KPD_Annot)>& settled = {});

}  // namespace kwannotation
