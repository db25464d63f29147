#include "kwannotation/kw_number_format.h"

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "kwannotation/kw_text.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace {

// Values this close to a whole number are that number: factors such as
// 5280 or 1/864 leave binary noise that would otherwise show as 11.999...
constexpr double kSnap = 1e-9;

// Above 2^53 a double no longer holds every whole number, so the digits of
// a count of units (or of units times a denominator) would be noise; such
// values are refused rather than shown wrong.
constexpr double kMaxExact = 9007199254740992.0;

double Snap(double x) {
  double r = std::round(x);
  return std::fabs(x - r) <= kSnap ? r : x;
}

bool IsPowerOfTen(int32_t d) {
  for (int32_t p = 1; p <= d; p *= 10) {
    if (p == d) return true;
    if (p > INT32_MAX / 10) break;
  }
  return false;
}

int DigitCount(long long n) {
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}

// A count (whole, non-negative, below 2^53) with `sep` between groups of
// three digits when it has at least four.
void AppendGrouped(std::u16string& out, double count, std::u16string_view sep) {
  std::string digits;
  ks::AppendInt(digits, static_cast<long long>(count));
  size_t len = digits.size();
  for (size_t i = 0; i < len; ++i) {
    if (i > 0 && len >= 4 && (len - i) % 3 == 0) out += sep;
    out += static_cast<char16_t>(digits[i]);
  }
}

void AppendInt(std::u16string& out, long long n) {
  std::string digits;
  ks::AppendInt(digits, n);
  text::AppendAscii(out, digits);
}

std::u16string_view LabelOf(const NumberFormat& format, FormatArray array) {
  if (format.unit.empty() && array == FormatArray::T) return u"\u00b0";
  return format.unit;
}

bool IsUsable(const NumberFormat& format, std::u16string_view label) {
  // The PDF standard only asks for a positive factor; an infinite one would
  // turn every value into infinity, so it is refused too.
  return format.readable && !label.empty() && format.factor > 0 && std::isfinite(format.factor);
}

void AppendLabelled(std::u16string& out, std::u16string_view number, const NumberFormat& format,
                    std::u16string_view unit) {
  std::u16string label(format.PrefixText());
  label += unit;
  label += format.SuffixText();
  if (format.position == LabelPosition::Prefix) {
    out += label;
    out += number;
  } else {
    out += number;
    out += label;
  }
}

// The last element's value in its display mode, without the label.
std::u16string LastNumberText(const NumberFormat& format, double v) {
  std::u16string out;
  std::u16string_view sep = format.ThousandsSeparator();
  switch (format.mode) {
    case DisplayMode::Decimal: {
      const long long d = format.decimalDenominator;
      const long long n = std::llround(v * static_cast<double>(d));
      AppendGrouped(out, static_cast<double>(n / d), sep);
      long long r = n % d;
      if (d > 1 && IsPowerOfTen(format.decimalDenominator)) {
        out += format.DecimalSeparator();
        std::string digits;
        ks::AppendInt(digits, r);
        out.append(static_cast<size_t>(DigitCount(d) - 1) - digits.size(), u'0');
        text::AppendAscii(out, digits);
      } else if (r != 0) {
        // A denominator such as 8 shows its eighths exactly (0.375); one such
        // as 3 is cut off after twelve digits.
        out += format.DecimalSeparator();
        for (int i = 0; i < 12 && r != 0; ++i) {
          r *= 10;
          out += static_cast<char16_t>(u'0' + r / d);
          r %= d;
        }
      }
      break;
    }
    case DisplayMode::Fraction: {
      long long den = format.fractionDenominator;
      double whole = std::floor(v);
      long long num = std::llround(static_cast<double>(den) * (v - whole));
      if (num >= den) {
        whole += static_cast<double>(num / den);
        num %= den;
      }
      if (num != 0 && !format.noReduce) {
        long long g = std::gcd(num, den);
        num /= g;
        den /= g;
      }
      if (whole != 0 || num == 0) AppendGrouped(out, whole, sep);
      if (num != 0) {
        if (whole != 0) out += u' ';
        AppendInt(out, num);
        out += u'/';
        AppendInt(out, den);
      }
      break;
    }
    case DisplayMode::Round:
    case DisplayMode::Truncate:
      AppendGrouped(out, v, sep);
      break;
  }
  return out;
}

}  // namespace

DisplayMode DisplayModeFromName(std::string_view name) {
  if (name.empty()) return DisplayMode::Decimal;
  switch (name[0]) {
    case 'F': case 'f': return DisplayMode::Fraction;
    case 'R': case 'r': return DisplayMode::Round;
    case 'T': case 't': return DisplayMode::Truncate;
    default: return DisplayMode::Decimal;
  }
}

std::string_view DisplayModeName(DisplayMode mode) {
  switch (mode) {
    case DisplayMode::Fraction: return "F";
    case DisplayMode::Round: return "R";
    case DisplayMode::Truncate: return "T";
    case DisplayMode::Decimal: break;
  }
  return "D";
}

LabelPosition LabelPositionFromName(std::string_view name) {
  return !name.empty() && (name[0] == 'P' || name[0] == 'p') ? LabelPosition::Prefix : LabelPosition::Suffix;
}

bool IsUsableElement(const NumberFormat& format) { return IsUsable(format, format.unit); }

bool HasUsableDenominator(const NumberFormat& format) {
  switch (format.mode) {
    case DisplayMode::Decimal: return format.decimalDenominator > 0;
    case DisplayMode::Fraction: return format.fractionDenominator >= 1;
    case DisplayMode::Round:
    case DisplayMode::Truncate: return true;
  }
  return false;
}

std::optional<std::u16string> FormatValue(std::span<const NumberFormat> formats, FormatArray array,
                                          double value) {
  if (formats.empty() || !std::isfinite(value)) return std::nullopt;
  for (const NumberFormat& f : formats)
    if (!IsUsable(f, LabelOf(f, array))) return std::nullopt;
  const NumberFormat& lastFormat = formats.back();
  if (!HasUsableDenominator(lastFormat)) return std::nullopt;

  const size_t count = formats.size();
  const bool negative = value < 0;
  // parts[i]: whole units of element i; parts.back(): the shown remainder.
  std::vector<double> parts(count);
  double x = std::fabs(value);
  for (size_t i = 0; i < count; ++i) {
    x = Snap(x * formats[i].factor);
    if (!(x < kMaxExact)) return std::nullopt;
    if (i + 1 == count) break;
    double whole = std::floor(x);
    double fraction = x - whole;
    parts[i] = whole;
    x = fraction <= kSnap ? 0.0 : fraction;
  }

  double scale = 1.0;
  if (lastFormat.mode == DisplayMode::Decimal) scale = lastFormat.decimalDenominator;
  if (lastFormat.mode == DisplayMode::Fraction) scale = lastFormat.fractionDenominator;
  if (!(x * scale < kMaxExact)) return std::nullopt;
  switch (lastFormat.mode) {
    case DisplayMode::Decimal:
    case DisplayMode::Fraction: x = std::round(x * scale) / scale; break;
    case DisplayMode::Round: x = std::round(x); break;
    case DisplayMode::Truncate: x = std::floor(x); break;
  }
  parts.back() = x;

  // A remainder rounded up to a whole unit of the element before it moves
  // there: 11.999 in shown to 1/16 is 12 in, which is one more foot.
  for (size_t k = count - 1; k >= 1; --k) {
    double factor = formats[k].factor;
    double q = std::floor(Snap(parts[k] / factor));
    if (q <= 0) continue;
    parts[k - 1] += q;
    if (!(parts[k - 1] < kMaxExact)) return std::nullopt;
    double rest = Snap(parts[k] - q * factor);
    // The snap of the quotient can leave the rest a hair below zero.
    parts[k] = std::fabs(rest) <= kSnap || rest < 0 ? 0.0 : rest;
  }

  std::u16string out;
  bool nonZero = false;
  for (size_t i = 0; i + 1 < count; ++i) {
    const NumberFormat& f = formats[i];
    double whole = std::floor(parts[i]);
    if (std::fabs(parts[i]) > kSnap) nonZero = true;
    std::u16string number;
    AppendGrouped(number, whole, f.ThousandsSeparator());
    AppendLabelled(out, number, f, LabelOf(f, array));
  }
  if (std::fabs(parts.back()) > kSnap) nonZero = true;
  AppendLabelled(out, LastNumberText(lastFormat, parts.back()), lastFormat, LabelOf(lastFormat, array));
  if (negative && nonZero) out.insert(out.begin(), u'-');
  return out;
}

namespace {

// "%d" of the rounded number when it is whole within 1e-5, else "%.2f".
void AppendSlopeNumber(std::u16string& out, double x) {
  double r = std::round(x);
  std::string digits = std::fabs(x - r) <= 1e-5 ? ks::FormatFixed(r == 0 ? 0.0 : r, 0) : ks::FormatFixed(x, 2);
  text::AppendAscii(out, digits);
}

}  // namespace

std::u16string SlopeText(double slope, int slopeType, double pitchRun) {
  std::u16string out;
  if (slope == 0 || !std::isfinite(slope)) return out;
  if (slopeType != 0) {
    AppendSlopeNumber(out, slope);
    return out;
  }
  if (!std::isfinite(pitchRun) || std::fabs(pitchRun) <= 1e-5) return out;
  AppendSlopeNumber(out, slope);
  out += u'/';
  AppendSlopeNumber(out, pitchRun);
  return out;
}

std::u16string SlopeDisplayText(double slope, int slopeType, double pitchRun, std::u16string_view gradeWord,
                                std::u16string_view pitchWord) {
  std::u16string out = SlopeText(slope, slopeType, pitchRun);
  if (out.empty()) return out;
  switch (slopeType) {
    case 0:
      out += u' ';
      out += pitchWord;
      break;
    case 1:
      out += u'\u00b0';
      break;
    case 2:
      out += u"% ";
      out += gradeWord;
      break;
    default:
      break;
  }
  return out;
}

}  // namespace kwannotation
