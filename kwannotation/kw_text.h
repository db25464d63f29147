// Small UTF-16 text helpers shared by the unit, ratio and number-format code.
// Private to the library.
#pragma once

#include <string>
#include <string_view>

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

}  // namespace kwannotation::text
