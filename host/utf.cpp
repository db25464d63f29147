#include "host/utf.h"

#include "sdk/ks_utf.h"

namespace kshost {

std::string ToUtf8(std::u16string_view text) { return ks::ToUtf8(text); }

std::u16string ToUtf16(std::string_view text) { return ks::ToUtf16(text); }

std::u16string_view ViewOf(const char16_t* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace kshost
