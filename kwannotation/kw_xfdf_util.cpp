#include "kwannotation/kw_xfdf_util.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "kwannotation/kw_annot_types.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation::xfdf {

namespace host = ks::host;

bool GetAttr(KX_Element element, const char* name, std::string* value) {
  if (!element) return false;
  host::ByteString out;
  if (!host::XmlGetAttribute(element, name, out.get())) return false;
  *value = out.str();
  return true;
}

bool SetAttr(KX_Element element, const char* name, std::string_view value) {
  if (!element) return false;
  std::string text(value);
  return host::XmlSetAttribute(element, name, text.c_str()) != 0;
}

KX_Element FirstChild(KX_Element element, const char* name) {
  return element ? host::XmlFirstChild(element, name) : nullptr;
}

KX_Element NextSibling(KX_Element element, const char* name) {
  return element ? host::XmlNextSibling(element, name) : nullptr;
}

std::string ElementName(KX_Element element) {
  if (!element) return {};
  host::ByteString out;
  return host::XmlElementName(element, out.get()) ? out.str() : std::string();
}

std::string ElementText(KX_Element element) {
  if (!element) return {};
  host::ByteString out;
  return host::XmlGetText(element, out.get()) ? out.str() : std::string();
}

std::string FormatF(double value) { return ks::FormatFixed(std::isfinite(value) ? value : 0.0, 6); }

std::string Format2(double value) { return ks::FormatFixed(std::isfinite(value) ? value : 0.0, 2); }

std::string FormatCompact(float value) {
  if (!std::isfinite(value)) value = 0;
  // The shortest fixed text that reads back as the same float.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
  if (s == "-0") s = "0";
  return s;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool ParseFloat(std::string_view text, float* out) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  // Read as a double first: a number too small for a float (1e-60) is a
  // zero, not an error.
  double value = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (r.ptr != text.data() + text.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    const size_t e = text.find_first_of("eE");
    if (e == std::string_view::npos || e + 1 >= text.size() || text[e + 1] != '-') return false;
    value = 0;
  } else if (r.ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(value) || std::fabs(value) > kMaxMagnitude) return false;
  *out = static_cast<float>(value);
  return true;
}

std::string NumberFault(std::string_view text) {
  auto cut = [](char c) { return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && cut(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !cut(text[i])) ++i;
    std::string_view item = text.substr(start, i - start);
    std::string_view digits = item;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty()) continue;
    double value = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::general);
    if (r.ptr != digits.data() + digits.size()) continue;  // not a number: not this check's business
    const std::string quoted = "\"" + std::string(item) + "\"";
    if (r.ec == std::errc::result_out_of_range) {
      // Out of range below (1e-999) is a zero; above it is too large.
      const size_t e = digits.find_first_of("eE");
      if (e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-') continue;
      return quoted + " is beyond 1e7";
    }
    if (r.ec != std::errc()) continue;
    if (!std::isfinite(value)) return quoted + " is not a finite number";
    if (std::fabs(value) > kMaxMagnitude) return quoted + " is beyond 1e7";
  }
  return {};
}

bool ParseFloatList(std::string_view text, std::vector<float>* out, bool semicolons) {
  std::vector<float> values;
  if (TrimBlanks(text).empty()) {
    out->clear();
    return true;
  }
  size_t start = 0;
  while (true) {
    size_t end = start;
    while (end < text.size() && text[end] != ',' && !(semicolons && text[end] == ';')) ++end;
    float v = 0;
    if (!ParseFloat(text.substr(start, end - start), &v)) return false;
    values.push_back(v);
    if (end >= text.size()) break;
    start = end + 1;
  }
  *out = std::move(values);
  return true;
}

std::string FormatPoints(const std::vector<KS_FloatPoint>& points) {
  std::string s;
  for (const KS_FloatPoint& p : points) {
    if (!s.empty()) s += ';';
    s += FormatCompact(p.x);
    s += ',';
    s += FormatCompact(p.y);
  }
  return s;
}

bool ParsePoints(std::string_view text, std::vector<KS_FloatPoint>* out) {
  // Writers differ: "x,y;x,y", commas only, blanks around the separators or
  // instead of them, line breaks between points, and a separator after the
  // last point ("%f,%f;" per vertex). An empty item ("1;;2") is an error.
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  auto separator = [](char c) { return c == ',' || c == ';'; };
  std::vector<float> values;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && blank(text[i])) ++i;
  while (i < n) {
    const size_t start = i;
    while (i < n && !blank(text[i]) && !separator(text[i])) ++i;
    float v = 0;
    if (start == i || !ParseFloat(text.substr(start, i - start), &v)) return false;
    values.push_back(v);
    while (i < n && blank(text[i])) ++i;
    if (i < n && separator(text[i])) {
      ++i;
      while (i < n && blank(text[i])) ++i;
    }
  }
  if (values.size() % 2 != 0) return false;
  out->clear();
  for (size_t k = 0; k + 1 < values.size(); k += 2) out->push_back({values[k], values[k + 1]});
  return true;
}

std::string FormatColor(const KPD_ColorF& color) {
  float rgb[3];
  auto clamp = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; };
  switch (color.kind) {
    case KPD_COLOR_GRAY:
      rgb[0] = rgb[1] = rgb[2] = clamp(color.c[0]);
      break;
    case KPD_COLOR_RGB:
      for (int i = 0; i < 3; ++i) rgb[i] = clamp(color.c[i]);
      break;
    case KPD_COLOR_CMYK:
      for (int i = 0; i < 3; ++i) rgb[i] = 1.0f - std::min(1.0f, clamp(color.c[i]) + clamp(color.c[3]));
      break;
    default:
      return {};
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string s = "#";
  for (float v : rgb) {
    int byte = static_cast<int>(std::lround(v * 255.0f));
    s += kHex[(byte >> 4) & 15];
    s += kHex[byte & 15];
  }
  return s;
}

bool ParseColor(std::string_view text, KPD_ColorF* out) {
  text = TrimBlanks(text);
  if (text.size() != 7 || text[0] != '#') return false;
  unsigned value = 0;
  auto r = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
  if (r.ec != std::errc() || r.ptr != text.data() + 7) return false;
  *out = KPD_ColorF{KPD_COLOR_RGB, {((value >> 16) & 255) / 255.0f, ((value >> 8) & 255) / 255.0f, (value & 255) / 255.0f, 0}};
  return true;
}

bool ReadBorderAttributes(KX_Element element, KwBorderInfo* border) {
  std::string value;
  float number = 0;
  bool changed = false;
  if (GetAttr(element, "width", &value) && ParseFloat(value, &number) && number >= 0) {
    border->width = number;
    changed = true;
  }
  if (GetAttr(element, "style", &value) && KW_BorderStyleFromName(value) >= 0) {
    border->style = KW_BorderStyleFromName(value);
    changed = true;
  }
  std::vector<float> dashes;
  if (GetAttr(element, "dashes", &value) && ParseFloatList(value, &dashes) &&
      std::none_of(dashes.begin(), dashes.end(), [](float v) { return v < 0; })) {
    border->dashes = std::move(dashes);
    changed = true;
  }
  return changed;
}

void WriteBorderAttributes(KX_Element element, const KwBorderInfo& border, bool wholeDashes) {
  SetAttr(element, "width", Format2(border.width));
  SetAttr(element, "style", KW_BorderStyleName(border.style));
  if (border.style != KW_BORDER_DASH || border.dashes.empty()) return;
  std::string dashes;
  for (float v : border.dashes) {
    if (!dashes.empty()) dashes += ',';
    const float value = std::isfinite(v) ? v : 0.0f;
    dashes += wholeDashes ? std::to_string(std::lround(value)) : FormatCompact(value);
  }
  SetAttr(element, "dashes", dashes);
}

}  // namespace kwannotation::xfdf
