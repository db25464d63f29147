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

namespace detail {

// "000" to "999", each with a fourth byte, so that one four-byte copy moves
// three digits (the fourth lands in room the caller has and is written over
// or left past the end).
struct DigitTable {
  char text[1000][4];
};
constexpr DigitTable MakeDigitTable() {
  DigitTable t{};
  for (int i = 0; i < 1000; ++i) {
    t.text[i][0] = static_cast<char>('0' + i / 100);
    t.text[i][1] = static_cast<char>('0' + i / 10 % 10);
    t.text[i][2] = static_cast<char>('0' + i % 10);
    t.text[i][3] = ' ';
  }
  return t;
}
inline constexpr DigitTable kDigits = MakeDigitTable();

constexpr unsigned long long Pow10(int n) {
  unsigned long long r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

// The digits of `n` without leading zeros.
inline char* WriteWhole(char* p, unsigned long long n) {
  if (n < 1000) {
    const int skip = n < 10 ? 2 : n < 100 ? 1 : 0;
    std::memcpy(p, kDigits.text[n] + skip, 4);
    return p + 3 - skip;
  }
  p = WriteWhole(p, n / 1000);
  std::memcpy(p, kDigits.text[n % 1000], 4);
  return p + 3;
}

// The last `P` digits of `n` (below 10^P), with leading zeros.
template <int P>
inline char* WriteDigits(char* p, unsigned long long n) {
  if constexpr (P <= 3) {
    std::memcpy(p, kDigits.text[n] + (3 - P), 4);
    return p + P;
  } else {
    p = WriteDigits<P - 3>(p, n / 1000);
    std::memcpy(p, kDigits.text[n % 1000], 4);
    return p + 3;
  }
}

// The coordinates of content streams: the value scaled to an integer whose
// digits are written. Taken only where the scaled value is small enough for
// its rounding error (below 2e-5) not to matter and is not within 1e-4 of a
// rounding tie; null otherwise, for to_chars, which rounds the exact binary
// value as printf does.
template <int P>
inline char* WriteFixedScaled(char* out, double value) {
  constexpr unsigned long long kUnit = Pow10(P);
  const double scaled = std::fabs(value) * static_cast<double>(kUnit);
  if (!(scaled < 1e11)) return nullptr;
  const auto whole = static_cast<unsigned long long>(scaled);
  const double frac = scaled - static_cast<double>(whole);
  if (std::fabs(frac - 0.5) <= 1e-4) return nullptr;
  const unsigned long long n = whole + (frac > 0.5 ? 1 : 0);
  char* p = out;
  *p = '-';
  p += std::signbit(value) ? 1 : 0;
  if constexpr (P == 0) {
    return WriteWhole(p, n);
  } else {
    p = WriteWhole(p, n / kUnit);
    *p++ = '.';
    return WriteDigits<P>(p, n % kUnit);
  }
}

// Numbers that are not finite this thread was asked to write.
inline thread_local unsigned long long tl_nonFiniteWrites = 0;

}  // namespace detail

// How many numbers that are not finite (NaN, an infinity) this thread has
// been asked to write so far. PDF has no text for them, so a writer of
// content compares the count before and after composing it and refuses
// content that took one; the words of the content itself ("information",
// "Financial") are never looked at.
inline unsigned long long NonFiniteWrites() { return detail::tl_nonFiniteWrites; }

// Writes `value` as printf("%.<precision>f") would in the C locale at `out`,
// which has room for kFixedTextMax characters; returns the end of the text
// (`out` itself when the value cannot be written in that room). Bytes just
// past the end may have been written over.
inline char* WriteFixed(char* out, double value, int precision) {
  char* end = nullptr;
  switch (precision) {
    case 0: end = detail::WriteFixedScaled<0>(out, value); break;
    case 1: end = detail::WriteFixedScaled<1>(out, value); break;
    case 2: end = detail::WriteFixedScaled<2>(out, value); break;
    case 3: end = detail::WriteFixedScaled<3>(out, value); break;
    case 4: end = detail::WriteFixedScaled<4>(out, value); break;
    case 5: end = detail::WriteFixedScaled<5>(out, value); break;
    case 6: end = detail::WriteFixedScaled<6>(out, value); break;
    default: break;
  }
  if (end) return end;
  if (!std::isfinite(value)) ++detail::tl_nonFiniteWrites;
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
