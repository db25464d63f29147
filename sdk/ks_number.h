// Numbers for PDF content: the text C's printf gives in the "C" locale,
// whatever locale the process runs in. Everything that writes a number into
// a content stream or a PDF string goes through here.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

namespace ks {

// Appends `value` as printf("%.<precision>f") would in the C locale.
inline void AppendFixed(std::string& out, double value, int precision) {
  // Fast path for the coordinates of content streams: scale to an integer
  // and write its digits. Taken only where the scaled value is small enough
  // for its rounding error (below 2e-5) not to matter and is not within
  // 1e-4 of a rounding tie; everything else goes to to_chars, which rounds
  // the exact binary value as printf does.
  static constexpr double kScale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  if (precision >= 0 && precision <= 6) {
    double scaled = std::fabs(value) * kScale[precision];
    if (scaled < 1e11) {
      double whole = std::floor(scaled);
      double frac = scaled - whole;
      if (std::fabs(frac - 0.5) > 1e-4) {
        unsigned long long n = static_cast<unsigned long long>(whole) + (frac > 0.5 ? 1 : 0);
        char digits[24];
        char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        int count = static_cast<int>(end - digits);
        // Sign, integer part, point and decimals into one buffer, appended once.
        char text[40];
        char* p = text;
        if (std::signbit(value)) *p++ = '-';
        if (count <= precision) {
          *p++ = '0';
          if (precision > 0) {
            *p++ = '.';
            for (int i = count; i < precision; ++i) *p++ = '0';
            for (char* d = digits; d != end; ++d) *p++ = *d;
          }
        } else {
          for (char* d = digits; d != end - precision; ++d) *p++ = *d;
          if (precision > 0) {
            *p++ = '.';
            for (char* d = end - precision; d != end; ++d) *p++ = *d;
          }
        }
        out.append(text, p);
        return;
      }
    }
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  if (r.ec == std::errc()) out.append(buf, r.ptr);
}

inline std::string FormatFixed(double value, int precision) {
  std::string s;
  AppendFixed(s, value, precision);
  return s;
}

// Appends `value` as printf("%d") would.
inline void AppendInt(std::string& out, long long value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

}  // namespace ks
