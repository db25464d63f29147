// PDF text strings to UTF-16 and back: any bytes decode, and the encoding of
// a decoded text decodes to the same text.
#include "fuzz/fuzz_support.h"

namespace host = ks::host;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  host::WideString wide;
  FUZZ_CHECK(host::PdfTextToWide(reinterpret_cast<const char*>(data), size, wide.get()));
  const std::u16string text = wide.str();

  host::ByteString encoded;
  FUZZ_CHECK(host::WideToPdfText(text.data(), text.size(), encoded.get()));
  const std::string bytes = encoded.str();
  host::WideString again;
  FUZZ_CHECK(host::PdfTextToWide(bytes.data(), bytes.size(), again.get()));
  FUZZ_CHECK(again.str() == text);

  // The same text through a string object.
  KPD_Object str = host::StringObjectNewFromText(text.data(), text.size());
  FUZZ_CHECK(str != nullptr);
  host::WideString fromObject;
  FUZZ_CHECK(host::StringObjectGetText(str, fromObject.get()));
  FUZZ_CHECK(fromObject.str() == text);
  host::ObjectRelease(str);
  return 0;
}
