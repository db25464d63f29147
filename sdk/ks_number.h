// Numbers for PDF content: the text C's printf gives in the "C" locale,
// whatever locale the process runs in. Everything that writes a number into
// a content stream or a PDF string goes through here.
#pragma once

#include <charconv>
#include <string>

namespace ks {

// Appends `value` as printf("%.<precision>f") would in the C locale.
inline void AppendFixed(std::string& out, double value, int precision) {
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
