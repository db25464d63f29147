// The reading of one object's text as a full save copies it: where it
// ends, what it refers to, a stream's data passed over by its length.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/pdf_rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  kshost::pdf::ScannedObject scanned;
  // A length kept in an object of its own is read from the same text.
  auto lengthOf = [&](QPDFObjGen, int64_t& length) {
    kshost::pdf::ScannedObject inner;
    if (!kshost::pdf::ScanObject(text, 0, nullptr, inner) || !inner.isInteger) return false;
    length = inner.integer;
    return true;
  };
  if (kshost::pdf::ScanObject(text, 0, lengthOf, scanned)) {
    // What was found lies inside the text, in order.
    if (scanned.begin > scanned.end || scanned.end > size) __builtin_trap();
  }
  return 0;
}
