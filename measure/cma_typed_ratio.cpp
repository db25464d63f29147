#include "measure/cma_typed_ratio.h"

#include <charconv>
#include <cmath>

#include "measure/cma_page_scale.h"

namespace AnnotationPlugin {
namespace {

// Longer texts are no numbers anyone types.
constexpr size_t kLongestNumber = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool Usable(double v) { return std::isfinite(v) && v > 0; }

// Reads the pieces of a typed length left to right.
class LengthScanner {
 public:
  explicit LengthScanner(std::string_view s) : s_(s) {}

  void SkipBlanks() {
    while (p_ < s_.size() && IsBlank(s_[p_])) ++p_;
  }
  bool AtEnd() const { return p_ == s_.size(); }
  bool Take(char c) {
    if (p_ < s_.size() && s_[p_] == c) {
      ++p_;
      return true;
    }
    return false;
  }

  // Digits with at most one point ("12", "2.5", ".5", "12."); the value
  // read exactly.
  std::optional<double> Number() {
    const size_t begin = p_;
    while (p_ < s_.size() && IsDigit(s_[p_])) ++p_;
    const size_t wholeDigits = p_ - begin;
    size_t fractionDigits = 0;
    if (p_ < s_.size() && s_[p_] == '.') {
      ++p_;
      while (p_ < s_.size() && IsDigit(s_[p_])) ++p_, ++fractionDigits;
    }
    if (wholeDigits + fractionDigits == 0) {
      p_ = begin;
      return std::nullopt;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(s_.data() + begin, s_.data() + p_, v, std::chars_format::fixed);
    if (ec != std::errc() || end != s_.data() + p_ || !std::isfinite(v)) return std::nullopt;
    return v;
  }

  // A number, a fraction "1/8", or a whole and a fraction "1 1/2".
  std::optional<double> Amount() {
    std::optional<double> first = Number();
    if (!first) return std::nullopt;
    const size_t afterFirst = p_;
    SkipBlanks();
    if (Take('/')) {
      SkipBlanks();
      std::optional<double> below = Number();
      if (!below || *below <= 0) return std::nullopt;
      return *first / *below;
    }
    // "1 1/2": a second number only counts with its fraction bar.
    if (p_ > afterFirst) {
      const size_t mark = p_;
      std::optional<double> above = Number();
      SkipBlanks();
      if (above && Take('/')) {
        SkipBlanks();
        std::optional<double> below = Number();
        if (!below || *below <= 0) return std::nullopt;
        return *first + *above / *below;
      }
      p_ = mark;
    }
    p_ = afterFirst;
    return first;
  }

 private:
  std::string_view s_;
  size_t p_ = 0;
};

// The ASCII bytes of `text`, a comma taken as the decimal point; false for
// any other character beyond ASCII.
bool AsciiOf(std::u16string_view text, std::string* out) {
  out->clear();
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    out->push_back(c == u',' ? '.' : static_cast<char>(c));
  }
  return true;
}

std::u16string Trimmed(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::u16string(text);
}

// The key of `text` in `list`, or empty when it names none of its units.
std::u16string ListKey(std::u16string_view text, UnitList list) {
  const std::u16string key = UnitKeyFromText(text, list);
  const int index = kwannotation::UnitIndex(key, list);
  const auto keys = kwannotation::UnitKeys(list);
  return index >= 0 && index < static_cast<int>(keys.size()) ? std::u16string(keys[index]) : std::u16string();
}

// One side of "PAPER = REAL": the number and the unit key of `list`.
bool ReadSide(std::u16string_view side, UnitList list, double* value, std::u16string* unit) {
  const std::u16string text = Trimmed(side);
  // The number is what comes before the first character that no number
  // has; the rest is the unit, or the feet and inches marks of the number.
  size_t end = 0;
  while (end < text.size() && std::u16string_view(u"0123456789.,/ \t").find(text[end]) != std::u16string_view::npos)
    ++end;
  const bool marks = end < text.size() && (text[end] == u'\'' || text[end] == u'"');
  std::optional<TypedLength> length = ParseTypedLength(marks ? std::u16string_view(text) : text.substr(0, end));
  if (!length || (!marks && !length->unit.empty())) return false;
  std::u16string named = marks ? length->unit : Trimmed(text.substr(end));
  // Inches typed with their mark are plain inches on paper.
  if (list == UnitList::Paper && named == u"in\"") named = u"in";
  *unit = ListKey(named, list);
  *value = length->value;
  return !unit->empty();
}

}  // namespace

std::optional<TypedLength> ParseTypedLength(std::u16string_view text) {
  std::string s;
  if (text.size() > kLongestNumber || !AsciiOf(text, &s)) return std::nullopt;
  LengthScanner scan(s);
  scan.SkipBlanks();
  std::optional<double> first = scan.Amount();
  if (!first) return std::nullopt;
  scan.SkipBlanks();
  TypedLength out;
  if (scan.Take('\'')) {
    // Feet, and inches after them: 1'-6", 1' 6", 1'6".
    out.unit = u"ft'in\"";
    out.value = *first;
    scan.SkipBlanks();
    if (scan.Take('-')) scan.SkipBlanks();
    if (!scan.AtEnd()) {
      std::optional<double> inches = scan.Amount();
      scan.SkipBlanks();
      if (!inches || !scan.Take('"')) return std::nullopt;
      out.value += *inches / 12;
      scan.SkipBlanks();
    }
  } else if (scan.Take('"')) {
    out.unit = u"in\"";
    out.value = *first;
    scan.SkipBlanks();
  } else {
    out.value = *first;
  }
  if (!scan.AtEnd() || !Usable(out.value)) return std::nullopt;
  return out;
}

std::u16string TypedNumberText(double value) {
  if (!Usable(value)) return {};
  char buf[kLongestNumber + 1];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (ec != std::errc() || static_cast<size_t>(end - buf) > kLongestNumber) return {};
  return std::u16string(buf, end);
}

std::optional<MeasureRatioPair> ParseTypedRatio(std::u16string_view text) {
  MeasureRatioPair r;
  const size_t equals = text.find(u'=');
  if (equals != std::u16string_view::npos) {
    if (text.find(u'=', equals + 1) != std::u16string_view::npos ||
        !ReadSide(text.substr(0, equals), UnitList::Paper, &r.paperNumber, &r.paperUnit) ||
        !ReadSide(text.substr(equals + 1), UnitList::Real, &r.realNumber, &r.realUnit))
      return std::nullopt;
    return r;
  }
  // "A:B": so many of a unit on paper stand for so many of it in reality.
  const size_t colon = text.find(u':');
  if (colon == std::u16string_view::npos || text.find(u':', colon + 1) != std::u16string_view::npos)
    return std::nullopt;
  const std::optional<TypedLength> paper = ParseTypedLength(text.substr(0, colon));
  const std::optional<TypedLength> real = ParseTypedLength(text.substr(colon + 1));
  if (!paper || !real || !paper->unit.empty() || !real->unit.empty()) return std::nullopt;
  for (const ScalePreset& preset : BuiltInScalePresets()) {
    const size_t at = preset.name.find(u':');
    const std::optional<TypedLength> a = ParseTypedLength(std::u16string_view(preset.name).substr(0, at));
    const std::optional<TypedLength> b = ParseTypedLength(std::u16string_view(preset.name).substr(at + 1));
    if (a && b && a->value == paper->value && b->value == real->value) return preset.ratio;
  }
  r = {paper->value, u"cm", real->value / 100, u"m"};
  if (!Usable(r.realNumber)) return std::nullopt;
  return r;
}

}  // namespace AnnotationPlugin
