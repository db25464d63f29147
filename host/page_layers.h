// A page drawn in two layers, as annot serve draws it: what the page itself
// draws (its content), drawn once for a view and kept while it stays the
// same, and above it the page's annotations, drawn anew after each change
// from a small PDF that holds only them. These tell when the first layer
// must be drawn again and write the second.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "sdk/ks_types.h"

namespace kshost {

// A PDF of one empty page with the boxes, rotation and unit of page
// `pageIndex` of `doc`, holding that page's annotations and everything they
// refer to (appearance streams, their fonts and images, popups), so that a
// viewer that draws it over a transparent background draws the annotations
// as it would over the page itself. Objects keep the numbers they have in
// `doc`, the page its own; what would lead out of the page (another page,
// the page tree, the catalog) is left out and reads as null.
//
// False with the reason when the annotations would not draw the same on
// their own, and the page is then to be drawn whole: a form field (its look
// depends on the document's form), an annotation in optional content, a
// blend mode other than Normal anywhere in them (it mixes with what lies
// under it), an annotation that is not an object of its own; also when the
// page does not exist or an object cannot be read. `bytes` is left alone
// on failure.
bool AnnotationLayerOf(KPD_Document doc, int pageIndex, std::string* bytes, std::string* why);

// A PDF of page `pageIndex` of `doc` as it draws without its annotations:
// its content, resources, boxes, rotation, unit and group with everything
// they refer to, objects numbered as in `doc`, the rest of the document left
// out as AnnotationLayerOf leaves it. False with the reason when the page
// does not exist or an object cannot be read; `bytes` is left alone then.
bool PageDrawingOf(KPD_Document doc, int pageIndex, std::string* bytes, std::string* why);

// A moment in the life of one open document: which document, and how many
// changes had been made to it then.
struct DocumentMoment {
  uint64_t document = 0;
  uint64_t changes = 0;
  bool operator==(const DocumentMoment& o) const { return document == o.document && changes == o.changes; }
  bool operator!=(const DocumentMoment& o) const { return !(*this == o); }
  // "DOCUMENT:CHANGES", as the page compares them.
  std::string Text() const { return std::to_string(document) + ":" + std::to_string(changes); }
};

// The document as it is now; nothing (all zero) for no document.
DocumentMoment MomentOf(KPD_Document doc);

// When what each page draws besides its annotations last changed. A copy
// of the document written at moment W draws page P as it looks now when W
// is of the same document and W.changes >= LastChange(P).changes.
class PageLooks {
 public:
  // The moment the content, resources, boxes, rotation or group of page
  // `pageIndex` of `doc` last changed: the latest change marked on any
  // object they are drawn from, or on the page's own entries for them. The
  // first time a page is asked about, a page whose dictionary or tree
  // changed since the document was read counts as changed now, since what
  // changed in it is not known. The moment now when the page cannot be read.
  DocumentMoment LastChange(KPD_Document doc, int pageIndex);

 private:
  struct Seen {
    std::string entries;  // the page's drawing entries, as text
    uint64_t changedAt = 0;
  };
  std::map<std::pair<uint64_t, int>, Seen> seen_;  // by document and page index
};

}  // namespace kshost
