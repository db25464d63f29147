// The tagged appearance reader on arbitrary text; what it reads is written
// again and must read back.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_tagged_appearance.h"

namespace host = ks::host;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  KPD_Document doc = host::DocNew();
  std::string reason;
  KPD_Dictionary ap = kwannotation::KW_ReadTaggedAppearance(doc, annot_fuzz::Bytes(data, size), &reason);
  FUZZ_CHECK(ap || !reason.empty());
  if (ap) {
    // Written from a dictionary in the document, as a stamp's /AP is.
    KPD_Object stored = host::DocMakeIndirect(doc, ap);
    std::string text = kwannotation::KW_WriteTaggedAppearance(stored);
    KPD_Dictionary again = kwannotation::KW_ReadTaggedAppearance(doc, text, &reason);
    FUZZ_CHECK(again);
    host::ObjectRelease(again);
    host::ObjectRelease(ap);
  }
  host::DocClose(doc);
  return 0;
}
