// Numbers for PDF content: the text C's printf gives in the "C" locale,
// whatever locale the process runs in. Everything that writes a number into
// a content stream or a PDF string goes through here.
#pragma once

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace ks {

// Room WriteFixed may need for one number.
constexpr size_t kFixedTextMax = 400;

// Writes `value` as printf("%.<precision>f") would in the C locale at `out`,
// which has room for kFixedTextMax characters; returns the end of the text
// (`out` itself when the value cannot be written in that room).
inline char* WriteFixed(char* out, double value, int precision) {
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
        // The digits, last first, into a small buffer: at most 12 of them.
        char digits[24];
        char* d = digits + sizeof digits;
        do {
          *--d = static_cast<char>('0' + n % 10);
          n /= 10;
        } while (n != 0);
        const int count = static_cast<int>(digits + sizeof digits - d);
        char* p = out;
        if (std::signbit(value)) *p++ = '-';
        if (count <= precision) {
          *p++ = '0';
          if (precision > 0) {
            *p++ = '.';
            for (int i = count; i < precision; ++i) *p++ = '0';
            std::memcpy(p, d, size_t(count));
            p += count;
          }
        } else {
          const int integral = count - precision;
          std::memcpy(p, d, size_t(integral));
          p += integral;
          if (precision > 0) {
            *p++ = '.';
            std::memcpy(p, d + integral, size_t(precision));
            p += precision;
          }
        }
        return p;
      }
    }
  }
  auto r = std::to_chars(out, out + kFixedTextMax, value, std::chars_format::fixed, precision);
  return r.ec == std::errc() ? r.ptr : out;
}

// Appends `value` as printf("%.<precision>f") would in the C locale.
inline void AppendFixed(std::string& out, double value, int precision) {
  char buf[kFixedTextMax];
  out.append(buf, WriteFixed(buf, value, precision));
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
