#include "kwannotation/kw_ratio.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "kwannotation/kw_text.h"
#include "kwannotation/kw_units.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace {

// A ratio text is the whole of: number, unit, "=", number, unit, with blanks
// allowed between the pieces and around them. A number is ASCII digits with
// at most one point and at least one digit after it (\d*\.?\d+); no sign
// and no exponent, so "-3 in = 2 ft" and "1e400 in = 1 ft" are refused
// instead of being read as "3 in = 2 ft" and "400 in = 1 ft". A unit is a
// run of ASCII letters, digits, underscores, apostrophes and double quotes,
// so the feet-and-inches and inch-fraction keys the ratio composer writes
// (ft'in", in") read back; ft' in" with its blank is read too.
struct RatioMatch {
  std::u16string_view groups[4];
};

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsUnitChar(char16_t c) {
  return IsDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u'\'' ||
         c == u'"';
}

class RatioScanner {
 public:
  explicit RatioScanner(std::u16string_view s) : s_(s) {}

  void SkipBlanks() {
    while (p_ < s_.size() && IsBlank(s_[p_])) ++p_;
  }
  bool AtEnd() const { return p_ == s_.size(); }
  bool Take(char16_t c) {
    if (p_ < s_.size() && s_[p_] == c) {
      ++p_;
      return true;
    }
    return false;
  }
  std::u16string_view Number() {
    const size_t begin = p_;
    while (p_ < s_.size() && IsDigit(s_[p_])) ++p_;
    if (p_ < s_.size() && s_[p_] == u'.') {
      const size_t afterDot = ++p_;
      while (p_ < s_.size() && IsDigit(s_[p_])) ++p_;
      if (p_ == afterDot) return {};  // "12." has no digit after the point
    }
    return s_.substr(begin, p_ - begin);
  }
  std::u16string_view Unit() {
    const size_t begin = p_;
    while (p_ < s_.size() && IsUnitChar(s_[p_])) ++p_;
    // ft' in" is one unit with a blank inside.
    if (s_.substr(begin, p_ - begin) == u"ft'") {
      size_t q = p_;
      while (q < s_.size() && IsBlank(s_[q])) ++q;
      if (s_.substr(q, 3) == u"in\"" && (q + 3 == s_.size() || !IsUnitChar(s_[q + 3]))) p_ = q + 3;
    }
    return s_.substr(begin, p_ - begin);
  }

 private:
  std::u16string_view s_;
  size_t p_ = 0;
};

std::optional<RatioMatch> MatchRatio(std::u16string_view s) {
  RatioScanner scan(s);
  RatioMatch m;
  for (int side = 0; side < 2; ++side) {
    scan.SkipBlanks();
    m.groups[2 * side] = scan.Number();
    if (m.groups[2 * side].empty()) return std::nullopt;
    scan.SkipBlanks();
    m.groups[2 * side + 1] = scan.Unit();
    if (m.groups[2 * side + 1].empty()) return std::nullopt;
    scan.SkipBlanks();
    if (side == 0 && !scan.Take(u'=')) return std::nullopt;
  }
  if (!scan.AtEnd()) return std::nullopt;
  return m;
}

// The quoted and apostrophe forms of feet and inches name plain feet and
// inches in a ratio.
std::u16string NarrowRatioUnit(std::u16string_view unit) {
  if (unit == u"in\"" || unit == u"\"") return u"in";
  if (unit == u"ft'" || unit == u"ft' in\"" || unit == u"ft'in\"" || unit == u"'" || unit == u"'\"") return u"ft";
  return std::u16string(unit);
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
  ParsedRatio out;
  out.paperUnit = NarrowRatioUnit(m->groups[1]);
  out.realUnit = NarrowRatioUnit(m->groups[3]);
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
