// XFDF import into a fresh two-page document, then export of what was
// imported and a second import of that export, with the shape appearances
// rebuilt. Attached files of up to 4 KB are carried; larger ones are left
// out.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_xfdf.h"

namespace host = ks::host;

namespace {

void RebuildAppearances(KPD_Document doc) {
  for (int p = 0; p < host::DocPageCount(doc); ++p) {
    KPD_Page page = host::DocGetPage(doc, p);
    for (int k = 0; k < host::PageAnnotCount(page); ++k) {
      KPD_Dictionary annot = host::PageGetAnnot(page, k);
      if (auto fn = kwannotation::AppearanceFor(annot, nullptr)) fn(annot, nullptr, {});
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  KPD_Document doc = host::DocNew();
  KS_FloatRect letter{0, 0, 612, 792};
  host::DocAddPage(doc, &letter);
  KS_FloatRect rotatedBox{0, 0, 792, 612};
  host::DocAddPage(doc, &rotatedBox);

  kwannotation::CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(4096);
  kwannotation::KwXfdfFiles files;
  files.skipLarge = true;
  std::string error;
  int imported = 0;
  if (kwannotation::KW_ImportXFDF(doc, annot_fuzz::Bytes(data, size), &error, &imported, &files) && imported > 0) {
    RebuildAppearances(doc);
    std::string xfdf;
    FUZZ_CHECK(kwannotation::KW_ExportXFDF(doc, &xfdf, &error, &files));
    // What the export wrote is well-formed XFDF for the same pages.
    KPD_Document copy = host::DocNew();
    host::DocAddPage(copy, &letter);
    host::DocAddPage(copy, &rotatedBox);
    FUZZ_CHECK(kwannotation::KW_ImportXFDF(copy, xfdf, &error));
    host::DocClose(copy);
  }
  host::DocClose(doc);
  return 0;
}
