// UTF-8 <-> UTF-16 conversion shared by the host, the widget library and the
// plug-in: text crosses the host's tables as UTF-16 while files, XML and PDF
// names want UTF-8. Broken input becomes U+FFFD instead of failing, because a
// bad file name or preference value must never take anything down.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ks {
namespace utf_detail {

inline constexpr char32_t kReplacement = 0xFFFD;

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace utf_detail

// Appends one code point: above U+FFFF as a surrogate pair, below it as the
// one unit it is (so the halves of a pair that arrive one at a time, as
// typed keys do, pass through), and a value above U+10FFFF as U+FFFD.
inline void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp > 0x10FFFF) {
    out.push_back(static_cast<char16_t>(utf_detail::kReplacement));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// The code point that starts at text[*at] (*at below the size), with *at
// moved past it: a surrogate pair is one code point, a lone surrogate
// stands for itself.
inline char32_t NextCodePoint(std::u16string_view text, size_t* at) {
  char32_t unit = text[(*at)++];
  if (unit >= 0xD800 && unit <= 0xDBFF && *at < text.size() && text[*at] >= 0xDC00 && text[*at] <= 0xDFFF)
    return 0x10000 + ((unit - 0xD800) << 10) + (text[(*at)++] - 0xDC00);
  return unit;
}

// Surrogate pairs become one 4-byte sequence; a lone surrogate becomes U+FFFD.
inline std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, &i);
    utf_detail::AppendUtf8(out, cp >= 0xD800 && cp <= 0xDFFF ? utf_detail::kReplacement : cp);
  }
  return out;
}

// Each byte that does not start a well-formed sequence (overlong forms,
// encoded surrogates, values above U+10FFFF, truncated sequences) becomes
// one U+FFFD.
inline std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    }
    bool ok = length != 0 && i + length <= text.size();
    for (size_t k = 1; ok && k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      ok = utf_detail::IsContinuation(c);
      cp = (cp << 6) | (c & 0x3F);
    }
    ok = ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (ok) {
      AppendUtf16(out, cp);
      i += length;
    } else {
      out.push_back(static_cast<char16_t>(utf_detail::kReplacement));
      ++i;
    }
  }
  return out;
}

}  // namespace ks
