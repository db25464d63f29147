// Page-range text: what reads as valid names pages of the document, each
// once, and writes back to text that reads the same; anything else has
// an error and no pages.
#include "fuzz/fuzz_support.h"
#include "host/page_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  const std::u16string text = annot_fuzz::Utf16(data, size);
  for (int pageCount : {0, 1, 12, 100000}) {
    const kshost::PageRanges r = kshost::ParsePageRanges(text, pageCount);
    if (r.error != kshost::PageRangeError::kNone) {
      FUZZ_CHECK(r.ranges.empty());
      FUZZ_CHECK(*kshost::PageRangeMessageKey(r.error) != 0);
      continue;
    }
    FUZZ_CHECK(!r.ranges.empty());
    FUZZ_CHECK(kshost::PageRangeCount(r.ranges) <= pageCount);
    for (const auto& range : r.ranges)
      FUZZ_CHECK(range.first >= 1 && range.first <= range.second && range.second <= pageCount);
    const kshost::PageRanges again = kshost::ParsePageRanges(kshost::FormatPageRanges(r.ranges), pageCount);
    FUZZ_CHECK(again.error == kshost::PageRangeError::kNone && again.ranges == r.ranges);
  }
  return 0;
}
