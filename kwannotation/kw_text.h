// Small UTF-16 text helpers shared by the unit, ratio and number-format code.
// Private to the library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sdk/ks_utf.h"

namespace kwannotation::text {

// The blanks that user-typed unit and number texts are trimmed of.
inline bool IsTrimChar(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

inline std::u16string_view Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsTrimChar(s[b])) ++b;
  while (e > b && IsTrimChar(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Number texts are ASCII; widening byte by byte is exact for them.
inline void AppendAscii(std::u16string& out, std::string_view ascii) {
  out.append(ascii.begin(), ascii.end());
}

inline std::u16string FromAscii(std::string_view ascii) {
  std::u16string out;
  AppendAscii(out, ascii);
  return out;
}

// The ASCII form of `s`, or false when it holds anything else; number
// parsing is done on this form with std::from_chars.
inline bool ToAscii(std::u16string_view s, std::string& out) {
  out.clear();
  out.reserve(s.size());
  for (char16_t c : s) {
    if (c > 0x7f) return false;
    out.push_back(static_cast<char>(c));
  }
  return true;
}

// UTF-8 of UTF-16 text, as the host's XML rows take it. An unpaired
// surrogate becomes U+FFFD.
inline std::string ToUtf8(std::u16string_view s) { return ks::ToUtf8(s); }

// UTF-16 of UTF-8 text; a malformed byte sequence becomes U+FFFD.
inline std::u16string FromUtf8(std::string_view s) { return ks::ToUtf16(s); }

}  // namespace kwannotation::text
