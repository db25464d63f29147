#include "host/pref_file.h"

#include "host/utf.h"

namespace kshost {
namespace {

bool NeedsEscape(char16_t c) {
  return c < 0x20 || c == 0x7F || c == u'%' || c == u'=' || c == u'[' || c == u']' || c == u';' ||
         c == u'#';
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendHex(std::u16string& out, unsigned value, int digits) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
}

std::string Escape(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      out.push_back(c);
      out.push_back(text[++i]);
    } else if (IsHigh(c) || IsLow(c)) {
      out += u"%u";
      AppendHex(out, c, 4);
    } else if (NeedsEscape(c)) {
      out.push_back(u'%');
      AppendHex(out, c, 2);
    } else {
      out.push_back(c);
    }
  }
  return ToUtf8(out);
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

std::optional<unsigned> ParseHex(std::u16string_view digits) {
  unsigned value = 0;
  for (char16_t c : digits) {
    const int v = HexValue(c);
    if (v < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(v);
  }
  return value;
}

std::optional<std::u16string> Unescape(std::string_view utf8) {
  const std::u16string text = ToUtf16(utf8);
  // A U+FFFD that was not in the bytes means they were not UTF-8.
  if (ToUtf8(text) != utf8) return std::nullopt;
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') {
      out.push_back(text[i]);
      continue;
    }
    const size_t width = (i + 1 < text.size() && text[i + 1] == u'u') ? 4 : 2;
    const size_t start = i + 1 + (width == 4 ? 1 : 0);
    if (start + width > text.size()) return std::nullopt;
    const auto value = ParseHex(std::u16string_view(text).substr(start, width));
    if (!value) return std::nullopt;
    out.push_back(static_cast<char16_t>(*value));
    i = start + width - 1;
  }
  return out;
}

}  // namespace

std::string FormatPrefFile(const PrefMap& prefs) {
  std::string out = "; annot preferences: UTF-8, %XX and %uXXXX stand for special characters\n";
  const std::u16string* section = nullptr;
  for (const auto& [where, value] : prefs) {
    if (!section || *section != where.first) {
      section = &where.first;
      out += "[" + Escape(where.first) + "]\n";
    }
    out += Escape(where.second) + "=" + Escape(value) + "\n";
  }
  return out;
}

std::optional<PrefMap> ParsePrefFile(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  PrefMap prefs;
  std::u16string section;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Our own writer escapes CR, so a trailing one comes from a hand edit.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 2) return std::nullopt;
      auto name = Unescape(line.substr(1, line.size() - 2));
      if (!name) return std::nullopt;
      section = std::move(*name);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    auto key = Unescape(line.substr(0, eq));
    auto value = Unescape(line.substr(eq + 1));
    if (!key || !value) return std::nullopt;
    prefs[{section, std::move(*key)}] = std::move(*value);
  }
  return prefs;
}

}  // namespace kshost
