// Shared pieces of the fuzz targets: the host bound once per process, input
// size caps, and the two ways an input becomes UTF-16 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/core_hft.h"
#include "host/utf.h"
#include "sdk/ks_host_binding.h"

namespace annot_fuzz {

// Texts the parsers see are short; PDFs may be larger. Inputs above the cap
// are skipped so that each run stays fast.
constexpr size_t kMaxTextInput = 64 * 1024;
constexpr size_t kMaxPdfInput = 1024 * 1024;

// The real host, bound on first use and kept for the life of the process.
inline void BindHost() {
  static const bool bound = [] {
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    return true;
  }();
  (void)bound;
}

// The content targets read an input as a content stream, then "%%FORM" and
// the content of the form XObject it may draw; the form's part is cut off
// `content` and returned (empty without one).
inline std::string SplitFormContent(std::string& content) {
  const size_t split = content.find("%%FORM");
  if (split == std::string::npos) return {};
  std::string form = content.substr(split + 6);
  content.resize(split);
  return form;
}

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// UTF-16 text from an input: after the little-endian byte-order mark FF FE
// the rest is taken code unit by code unit (so lone surrogates can be
// reached); anything else is decoded as UTF-8. Seeds stay readable text.
inline std::u16string Utf16(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < size; i += 2) text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
  }
  return kshost::ToUtf16(Bytes(data, size));
}

// Stops the run on a broken invariant the same way a sanitizer does, so the
// fuzzer keeps the input and the replay reports it.
[[noreturn]] void Fail(const char* what);

}  // namespace annot_fuzz

#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) ::annot_fuzz::Fail("check failed: " #cond); \
  } while (0)
