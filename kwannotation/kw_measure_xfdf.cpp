#include "kwannotation/kw_measure_xfdf.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_xfdf_util.h"
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

// ---- measurement keys as attributes ---------------------------------------------------

namespace kwannotation {

namespace {

// A flag stored as a boolean, or as a number (non-zero is on).
std::optional<bool> FlagOf(KPD_Dictionary d, const char* key) {
  if (auto b = dict::GetBool(d, key)) return b;
  if (auto n = dict::GetNumber(d, key)) return *n != 0;
  return std::nullopt;
}

void ExportFlag(KPD_Dictionary d, const char* key, KX_Element e, const char* attr) {
  if (auto f = FlagOf(d, key)) xfdf::SetAttr(e, attr, *f ? "yes" : "no");
}

void ExportNumber(KPD_Dictionary d, const char* key, KX_Element e, const char* attr) {
  if (auto n = dict::GetNumber(d, key)) xfdf::SetAttr(e, attr, NumberText(*n));
}

std::optional<bool> ParseFlag(std::string_view v) {
  if (v == "yes" || v == "true" || v == "1") return true;
  if (v == "no" || v == "false" || v == "0") return false;
  return std::nullopt;
}

}  // namespace

void ExportMeasureAttributes(KPD_Dictionary d, KX_Element e) {
  if (!d || !e) return;
  ExportFlag(d, "/Cap", e, "caption");
  KPD_ColorF cc{};
  if (dict::ColorFromArray(host::DictGet(d, "/CC"), &cc) && cc.kind != KPD_COLOR_NONE)
    xfdf::SetAttr(e, "caption-color", xfdf::FormatColor(cc));
  if (auto t = dict::GetInteger(d, "/MeasurementTypes")) xfdf::SetAttr(e, "measurement-types", std::to_string(*t));
  ExportNumber(d, "/Depth", e, "depth");
  const std::u16string depthUnit = KW_DepthUnitOf(d);
  if (!depthUnit.empty()) xfdf::SetAttr(e, "depth-unit", text::ToUtf8(depthUnit));
  std::u16string label;
  if (dict::GetText(d, "/Label", &label)) xfdf::SetAttr(e, "label", text::ToUtf8(label));
  ExportFlag(d, "/CenterPoint", e, "centerpoint");
  ExportFlag(d, "/Segments", e, "segments");
  ExportFlag(d, "/AlignOnSegment", e, "align-on-segment");
  ExportNumber(d, "/SlopeType", e, "slope-type");
  ExportNumber(d, "/Slope", e, "slope");
  ExportNumber(d, "/PitchRun", e, "pitch-run");
  if (dict::Has(d, "/RiseDrop")) xfdf::SetAttr(e, "rise-drop", "yes");
  ExportFlag(d, "/FlipText", e, "flip-text");
}

void ImportMeasureAttributes(CKW_AnnotImpl& annot, KX_Element e) {
  KPD_Dictionary d = annot.GetDict();
  if (!d || !e) return;
  CKW_AnnotWriter w(annot);
  std::string v;
  auto flag = [&](const char* attr, const char* key) {
    if (!xfdf::GetAttr(e, attr, &v)) return;
    if (auto f = ParseFlag(v)) w.SetBool(key, *f);
  };
  auto number = [&](const char* attr, const char* key) {
    if (!xfdf::GetAttr(e, attr, &v)) return;
    if (auto n = ParseNumber(v)) w.SetNumber(key, *n);
  };
  flag("caption", "/Cap");
  if (xfdf::GetAttr(e, "caption-color", &v)) {
    KPD_ColorF c{};
    if (xfdf::ParseColor(v, &c) && c.kind == KPD_COLOR_RGB) w.SetNumbers("/CC", c.c, 3);
  }
  if (xfdf::GetAttr(e, "measurement-types", &v)) {
    auto n = ParseNumber(v);
    if (n && *n >= 0 && *n < 16777216 && *n == std::floor(*n)) w.SetInteger("/MeasurementTypes", int64_t(*n));
  }
  number("depth", "/Depth");
  if (xfdf::GetAttr(e, "depth-unit", &v) && !v.empty()) {
    dict::Owned array(KW_NewDepthUnit(text::FromUtf8(v)));
    if (array.get()) w.Set("/DepthUnit", array.get());
  }
  if (xfdf::GetAttr(e, "label", &v)) {
    std::u16string label = text::FromUtf8(v);
    dict::Owned s(host::StringObjectNewFromText(label.data(), label.size()));
    if (s.get()) w.Set("/Label", s.get());
  }
  flag("centerpoint", "/CenterPoint");
  flag("segments", "/Segments");
  flag("align-on-segment", "/AlignOnSegment");
  if (xfdf::GetAttr(e, "slope-type", &v)) {
    auto n = ParseNumber(v);
    if (n && (*n == 0 || *n == 1 || *n == 2)) w.SetInteger("/SlopeType", int64_t(*n));
  }
  number("slope", "/Slope");
  number("pitch-run", "/PitchRun");
  if (xfdf::GetAttr(e, "rise-drop", &v)) {
    if (v == "no") w.Remove("/RiseDrop");
    else w.SetBool("/RiseDrop", true);
  }
  flag("flip-text", "/FlipText");
}

}  // namespace kwannotation
