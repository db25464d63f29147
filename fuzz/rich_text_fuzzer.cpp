// /RC text: parse the body, walk its runs with their styles, print it and
// read the print back to the same text and runs.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_rich_text.h"

using kwannotation::CKW_RichTextStyle;
using kwannotation::CKW_RichTextXML;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  auto xml = CKW_RichTextXML::Parse(annot_fuzz::Utf16(data, size));
  if (!xml) return 0;
  const auto runs = xml->GetRuns(CKW_RichTextStyle{});
  const std::u16string plain = xml->GetPlainText();
  for (int32_t i = 0; i < 4; ++i) {
    CKW_RichTextStyle style;
    xml->GetRichTextStyle(i, &style);
    xml->GetRichTextContents(i);
  }
  const std::u16string rc = xml->Serialize();
  FUZZ_CHECK(!rc.empty());
  auto again = CKW_RichTextXML::Parse(rc);
  FUZZ_CHECK(again != nullptr);
  FUZZ_CHECK(again->GetPlainText() == plain);
  FUZZ_CHECK(again->Serialize() == rc);
  return 0;
}
