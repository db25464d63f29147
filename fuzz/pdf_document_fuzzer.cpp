// A whole PDF opened from memory: every page and annotation walked, the
// annotations' objects read through the annotation library, shape
// appearances rebuilt, each page's annotations and its own drawing written
// apart (each PDF must open with one page) and the annotations exported as
// XFDF; then the incremental update of those changes is built, appended,
// and the result opened again; so is the whole file rewritten by copying
// what did not change.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "host/page_layers.h"
#include "host/session.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_xfdf.h"

namespace host = ks::host;

namespace {

// Enough to reach every code path of a damaged file without letting one
// input with a huge page tree or annotation list take seconds.
constexpr int kMaxPages = 64;
constexpr int kMaxAnnotsPerPage = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxPdfInput) return 0;
  annot_fuzz::BindHost();
  host::ByteString error;
  KPD_Document doc = host::DocOpenMemory(reinterpret_cast<const char*>(data), size, error.get());
  if (!doc) return 0;
  const int pages = std::min(host::DocPageCount(doc), kMaxPages);
  kshost::PageLooks looks;
  for (int p = 0; p < pages; ++p) {
    KPD_Page page = host::DocGetPage(doc, p);
    if (!page) continue;
    KS_FloatRect box{};
    host::PageGetBox(page, "/MediaBox", &box);
    host::PageGetRotation(page);
    const int count = std::min(host::PageAnnotCount(page), kMaxAnnotsPerPage);
    for (int k = 0; k < count; ++k) {
      KPD_Dictionary annot = host::PageGetAnnot(page, k);
      if (!annot) continue;
      std::string kind, reason;
      if (auto fn = kwannotation::AppearanceFor(annot, &kind)) fn(annot, &reason, {});
    }
    std::string layer, why;
    if (kshost::AnnotationLayerOf(doc, p, &layer, &why)) {
      host::ByteString layerError;
      KPD_Document apart = host::DocOpenMemory(layer.data(), layer.size(), layerError.get());
      if (!apart || host::DocPageCount(apart) != 1) __builtin_trap();
      host::DocClose(apart);
    }
    // The page's own drawing, as its text is read, opens as one page too.
    std::string drawing;
    if (kshost::PageDrawingOf(doc, p, &drawing, &why)) {
      host::ByteString drawingError;
      KPD_Document apart = host::DocOpenMemory(drawing.data(), drawing.size(), drawingError.get());
      if (!apart || host::DocPageCount(apart) != 1) __builtin_trap();
      host::DocClose(apart);
    }
    looks.LastChange(doc, p);
  }
  if (host::DocPageCount(doc) <= kMaxPages) {
    std::string xfdf, reason;
    kwannotation::KW_ExportXFDF(doc, &xfdf, &reason);
  }
  std::string update, reason;
  size_t base = size;
  if (kshost::IncrementalUpdateOf(doc, &update, &reason, &base) && !update.empty()) {
    // The update goes after the bytes the document read, which leave out
    // the end of an unfinished update.
    std::string updated(reinterpret_cast<const char*>(data), std::min(base, size));
    updated += update;
    host::ByteString reopenError;
    KPD_Document reopened = host::DocOpenMemory(updated.data(), updated.size(), reopenError.get());
    // What was read once must read again with the update after it.
    if (!reopened) __builtin_trap();
    host::DocClose(reopened);
  }
  // The whole file written by copying what did not change must open again
  // wherever the file itself opened without repairs.
  std::string rewritten;
  if (kshost::RewrittenFileOf(doc, &rewritten, &reason)) {
    host::ByteString reopenError;
    KPD_Document reopened = host::DocOpenMemory(rewritten.data(), rewritten.size(), reopenError.get());
    if (!reopened) __builtin_trap();
    host::DocClose(reopened);
  }
  host::DocClose(doc);
  return 0;
}
