#include "kwannotation/kw_ratio.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "kwannotation/kw_text.h"
#include "kwannotation/kw_units.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace {

// The ratio pattern (\d*\.?\d+)\s*(\w+)\s*=\s*(\d*\.?\d+)\s*(\w+), searched
// for as a regular-expression engine would, but with a table of which
// (element, position) pairs can still lead to a match. Walking that table
// in the engine's order of preference gives the engine's captures without
// its backtracking, in time linear in the text. Classes are ASCII, as in
// the "C" locale, so the result does not depend on the process locale.
enum class Cls : uint8_t { Digit, Dot, Space, Word, Equals };
enum class Rep : uint8_t { One, Opt, Star };
struct Elem {
  Cls cls;
  Rep rep;
};

constexpr Elem kPattern[] = {
    {Cls::Digit, Rep::Star}, {Cls::Dot, Rep::Opt},    {Cls::Digit, Rep::One},   {Cls::Digit, Rep::Star},
    {Cls::Space, Rep::Star}, {Cls::Word, Rep::One},   {Cls::Word, Rep::Star},   {Cls::Space, Rep::Star},
    {Cls::Equals, Rep::One}, {Cls::Space, Rep::Star}, {Cls::Digit, Rep::Star},  {Cls::Dot, Rep::Opt},
    {Cls::Digit, Rep::One},  {Cls::Digit, Rep::Star}, {Cls::Space, Rep::Star}, {Cls::Word, Rep::One},
    {Cls::Word, Rep::Star},
};
constexpr size_t kElems = std::size(kPattern);
// Where each capture begins and ends, as element indexes (kElems = the end).
constexpr size_t kGroups[4][2] = {{0, 4}, {5, 7}, {10, 14}, {15, kElems}};

bool InClass(Cls cls, char16_t c) {
  switch (cls) {
    case Cls::Digit: return c >= u'0' && c <= u'9';
    case Cls::Dot: return c == u'.';
    case Cls::Space: return c == u' ' || (c >= u'\t' && c <= u'\r');
    case Cls::Word:
      return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
    case Cls::Equals: return c == u'=';
  }
  return false;
}

struct RatioMatch {
  std::u16string_view groups[4];
};

std::optional<RatioMatch> MatchRatio(std::u16string_view s) {
  if (s.find(u'=') == std::u16string_view::npos) return std::nullopt;
  const size_t n = s.size();
  const size_t stride = n + 1;
  // ok[e * stride + p]: the pattern from element e on matches at position p.
  std::vector<uint8_t> ok((kElems + 1) * stride, 0);
  auto at = [&](size_t e, size_t p) -> uint8_t& { return ok[e * stride + p]; };
  for (size_t p = 0; p <= n; ++p) at(kElems, p) = 1;
  for (size_t p = n + 1; p-- > 0;) {
    for (size_t e = kElems; e-- > 0;) {
      const bool takes = p < n && InClass(kPattern[e].cls, s[p]);
      switch (kPattern[e].rep) {
        case Rep::One: at(e, p) = takes && at(e + 1, p + 1); break;
        case Rep::Opt: at(e, p) = (takes && at(e + 1, p + 1)) || at(e + 1, p); break;
        case Rep::Star: at(e, p) = (takes && at(e, p + 1)) || at(e + 1, p); break;
      }
    }
  }
  size_t start = 0;
  while (start <= n && !at(0, start)) ++start;
  if (start > n) return std::nullopt;

  size_t entry[kElems + 1];
  size_t p = start;
  for (size_t e = 0; e < kElems; ++e) {
    entry[e] = p;
    auto takes = [&](size_t next) { return p < n && InClass(kPattern[e].cls, s[p]) && at(next, p + 1); };
    switch (kPattern[e].rep) {
      case Rep::One: ++p; break;
      case Rep::Opt: if (takes(e + 1)) ++p; break;
      case Rep::Star: while (takes(e)) ++p; break;
    }
  }
  entry[kElems] = p;
  RatioMatch m;
  for (int g = 0; g < 4; ++g) {
    size_t b = entry[kGroups[g][0]], e = entry[kGroups[g][1]];
    m.groups[g] = s.substr(b, e - b);
  }
  return m;
}

// A captured number: ASCII digits with at most one point.
std::optional<double> ParseDigits(std::u16string_view digits) {
  std::string ascii;
  if (!text::ToAscii(digits, ascii)) return std::nullopt;
  double v = 0;
  auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool IsPositive(double v) { return v > 0 && std::isfinite(v); }

void AppendRatioSide(std::u16string& out, const MeasureRatioPair& r, std::span<const std::u16string> paperNames,
                     std::span<const std::u16string> realNames) {
  out += RatioNumberText(r.paperNumber);
  out += u' ';
  out += UnitKeyFromText(r.paperUnit, UnitList::Paper, paperNames);
  out += u" = ";
  out += RatioNumberText(r.realNumber);
  out += u' ';
  out += UnitKeyFromText(r.realUnit, UnitList::Real, realNames);
}

constexpr std::u16string_view kPrecisionChoices[] = {u"1", u"0.1", u"0.01", u"0.001", u"0.0001", u"0.00001"};
constexpr std::u16string_view kPresetRatios[] = {u"1:1",   u"1:10",  u"1:20",  u"1:50",
                                                 u"1:100", u"1:200", u"1:500", u"1:1000"};
constexpr int kMaxPrecision = 5;
constexpr double kMaxPreferenceNumber = 99999999;

}  // namespace

std::optional<ParsedRatio> ParseRatioText(std::u16string_view text) {
  std::optional<RatioMatch> m = MatchRatio(text);
  if (!m) return std::nullopt;
  std::optional<double> paper = ParseDigits(m->groups[0]);
  std::optional<double> real = ParseDigits(m->groups[2]);
  if (!paper || !real || !IsPositive(*paper) || !IsPositive(*real)) return std::nullopt;
  // The units are word characters only, so the quoted alias forms (in", ft')
  // cannot occur here and need no narrowing.
  ParsedRatio out;
  out.paperUnit = std::u16string(m->groups[1]);
  out.realUnit = std::u16string(m->groups[3]);
  out.ratio = LengthFactor(out.realUnit, out.paperUnit) * *real / *paper;
  if (!IsPositive(out.ratio)) return std::nullopt;
  return out;
}

std::u16string RatioNumberText(double value) {
  if (!std::isfinite(value)) return {};
  std::string s = ks::FormatFixed(value, 6);
  size_t end = s.find_last_not_of('0');
  if (s[end] == '.') --end;
  s.resize(end + 1);
  return text::FromAscii(s);
}

std::u16string ComposeRatioText(const PageScale& scale, std::span<const std::u16string> paperNames,
                                std::span<const std::u16string> realNames) {
  auto usable = [](const MeasureRatioPair& r) { return IsPositive(r.paperNumber) && IsPositive(r.realNumber); };
  std::u16string out;
  if (!usable(scale.x) || (scale.separateY && !usable(scale.y))) return out;
  if (!scale.separateY) {
    AppendRatioSide(out, scale.x, paperNames, realNames);
    return out;
  }
  out += u"in X ";
  AppendRatioSide(out, scale.x, paperNames, realNames);
  out += u", in Y ";
  AppendRatioSide(out, scale.y, paperNames, realNames);
  return out;
}

double ReadPreferenceRatioNumber(std::u16string_view input) {
  std::string s;
  if (!text::ToAscii(input, s)) return 1.0;
  // What a whole-string wcstod accepts: leading blanks, a sign, decimal or
  // "0x" hexadecimal digits. Words such as "inf" and "nan" are never
  // positive finite numbers, so they need not be recognised.
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  auto format = std::chars_format::general;
  if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    format = std::chars_format::hex;
    i += 2;
  }
  if (i >= s.size() || s[i] == '+' || s[i] == '-') return 1.0;
  double v = 0;
  auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, format);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 1.0;
  if (negative || !IsPositive(v)) return 1.0;
  return std::min(v, kMaxPreferenceNumber);
}

std::u16string PreferenceRatioNumberText(double value) {
  if (!std::isfinite(value)) return {};
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (r.ec != std::errc()) return {};
  return text::FromAscii(std::string_view(buf, r.ptr - buf));
}

std::span<const std::u16string_view> PrecisionChoices() { return kPrecisionChoices; }
std::span<const std::u16string_view> PresetRatios() { return kPresetRatios; }

void ApplyPrecision(NumberFormat& format, int precision, std::u16string_view realUnit) {
  const int p = std::clamp(precision, 0, kMaxPrecision);
  const UnitKind kind = GetUnitKind(realUnit);
  if (kind == UnitKind::FeetInches || kind == UnitKind::InchFraction) {
    format.mode = DisplayMode::Fraction;
    format.fractionDenominator = int32_t{1} << p;
  } else {
    format.mode = DisplayMode::Decimal;
    int32_t d = 1;
    for (int i = 0; i < p; ++i) d *= 10;
    format.decimalDenominator = d;
  }
}

int PrecisionOf(const NumberFormat& format) {
  if (format.mode == DisplayMode::Fraction) {
    if (format.fractionDenominator < 1) return 0;
    return std::bit_width(static_cast<uint32_t>(format.fractionDenominator)) - 1;
  }
  int digits = 0;
  for (int32_t d = format.decimalDenominator; d >= 10; d /= 10) ++digits;
  return digits;
}

}  // namespace kwannotation
