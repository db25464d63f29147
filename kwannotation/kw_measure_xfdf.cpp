#include "kwannotation/kw_measure_xfdf.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace {

namespace host = ks::host;

constexpr const char* kLetters = "XYDATSV";
constexpr int kArrayCount = 7;

// Shortest text that reads back as the same double; locale-independent.
std::string NumberText(double v) {
  if (!std::isfinite(v)) return "0";
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

std::optional<double> ParseNumber(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

void SetAttr(KX_Element e, const char* name, std::string_view value) {
  std::string v(value);
  host::XmlSetAttribute(e, name, v.c_str());
}

void SetTextAttr(KX_Element e, const char* name, std::u16string_view value) {
  host::XmlSetAttribute(e, name, text::ToUtf8(value).c_str());
}

std::optional<std::string> GetAttr(KX_Element e, const char* name) {
  host::ByteString out;
  if (!host::XmlGetAttribute(e, name, out.get())) return std::nullopt;
  return out.str();
}

void ExportFormat(KX_Element measure, char letter, const NumberFormat& f) {
  KX_Element e = host::XmlAppendChild(measure, "number-format");
  if (!e) return;
  const char type[2] = {letter, 0};
  SetAttr(e, "type", type);
  SetTextAttr(e, "unit", f.unit);
  SetAttr(e, "scale-factor", NumberText(f.factor));
  SetTextAttr(e, "thousands-sep", f.ThousandsSeparator());
  SetTextAttr(e, "decimal-sep", f.DecimalSeparator());
  SetTextAttr(e, "prefix", f.PrefixText());
  SetTextAttr(e, "suffix", f.SuffixText());
  SetAttr(e, "placement", f.position == LabelPosition::Prefix ? "P" : "S");
  SetAttr(e, "display-format", DisplayModeName(f.mode));
  SetAttr(e, "precision",
          std::to_string(f.mode == DisplayMode::Fraction ? f.fractionDenominator : f.decimalDenominator));
  SetAttr(e, "preserve-format", f.noReduce ? "yes" : "no");
}

void ImportTextKey(KPD_Dictionary d, KX_Element e, const char* attr, const char* key) {
  if (std::optional<std::string> v = GetAttr(e, attr)) dict::SetText(d, key, text::FromUtf8(*v));
}

KPD_Dictionary ImportFormat(KX_Element e) {
  KPD_Dictionary d = host::DictNew();
  if (!d) return nullptr;
  ImportTextKey(d, e, "unit", "/U");
  if (std::optional<std::string> v = GetAttr(e, "scale-factor"))
    if (std::optional<double> c = ParseNumber(*v)) dict::SetNumber(d, "/C", *c);
  ImportTextKey(d, e, "thousands-sep", "/RT");
  ImportTextKey(d, e, "decimal-sep", "/RD");
  ImportTextKey(d, e, "prefix", "/PS");
  ImportTextKey(d, e, "suffix", "/SS");
  if (std::optional<std::string> v = GetAttr(e, "placement"))
    dict::SetName(d, "/O", LabelPositionFromName(*v) == LabelPosition::Prefix ? "P" : "S");
  if (std::optional<std::string> v = GetAttr(e, "display-format"))
    dict::SetName(d, "/F", DisplayModeName(DisplayModeFromName(*v)));
  if (std::optional<std::string> v = GetAttr(e, "precision"))
    if (std::optional<double> p = ParseNumber(*v))
      if (*p >= INT32_MIN && *p <= INT32_MAX) dict::SetInteger(d, "/D", static_cast<int64_t>(std::llround(*p)));
  if (std::optional<std::string> v = GetAttr(e, "preserve-format")) dict::SetBool(d, "/FD", *v == "yes");
  return d;
}

}  // namespace

bool ExportMeasureToXFDF(KPD_Dictionary measure, KX_Element parent) {
  if (!dict::IsType(measure, KPD_OBJ_DICTIONARY) || !parent) return false;
  KX_Element e = host::XmlAppendChild(parent, "measure");
  if (!e) return false;
  CKW_MeasureDictImpl dict(measure);
  SetTextAttr(e, "ratio", dict.GetRatioText());
  SetAttr(e, "coord-system", dict.IsGeospatial() ? "GEO" : "RL");
  if (std::optional<KS_FloatPoint> origin = dict.GetOrigin()) {
    SetAttr(e, "origin-x", NumberText(origin->x));
    SetAttr(e, "origin-y", NumberText(origin->y));
  }
  if (std::optional<double> cyx = dict.GetCYX()) SetAttr(e, "cyx", NumberText(*cyx));
  for (int a = 0; a < kArrayCount; ++a)
    for (const NumberFormat& f : dict.GetFormats(a)) ExportFormat(e, kLetters[a], f);
  return true;
}

KPD_Dictionary ImportMeasureFromXFDF(KPD_Document /*doc*/, KX_Element element) {
  if (!element) return nullptr;
  host::ByteString name;
  if (!host::XmlElementName(element, name.get()) || name.str() != "measure") return nullptr;
  KPD_Dictionary measure = host::DictNew();
  if (!measure) return nullptr;
  dict::SetName(measure, "/Type", "Measure");
  std::optional<std::string> coords = GetAttr(element, "coord-system");
  dict::SetName(measure, "/SubType", coords && *coords == "GEO" ? "GEO" : "RL");
  ImportTextKey(measure, element, "ratio", "/R");
  std::optional<std::string> ox = GetAttr(element, "origin-x"), oy = GetAttr(element, "origin-y");
  std::optional<double> x = ox ? ParseNumber(*ox) : std::nullopt, y = oy ? ParseNumber(*oy) : std::nullopt;
  if (x && y) {
    KPD_Array o = host::ArrayNew();
    dict::AppendOwned(o, host::NumberNew(*x));
    dict::AppendOwned(o, host::NumberNew(*y));
    dict::SetOwned(measure, "/O", o);
  }
  if (std::optional<std::string> v = GetAttr(element, "cyx"))
    if (std::optional<double> cyx = ParseNumber(*v)) dict::SetNumber(measure, "/CYX", *cyx);

  KPD_Array arrays[kArrayCount] = {};
  for (KX_Element f = host::XmlFirstChild(element, "number-format"); f; f = host::XmlNextSibling(f, "number-format")) {
    std::optional<std::string> type = GetAttr(f, "type");
    if (!type || type->size() != 1) continue;
    const char* at = std::char_traits<char>::find(kLetters, kArrayCount, (*type)[0]);
    if (!at) continue;
    KPD_Array& array = arrays[at - kLetters];
    if (!array) array = host::ArrayNew();
    dict::AppendOwned(array, ImportFormat(f));
  }
  for (int a = 0; a < kArrayCount; ++a)
    if (arrays[a]) dict::SetOwned(measure, FormatArrayKey(a), arrays[a]);
  return measure;
}

}  // namespace kwannotation
