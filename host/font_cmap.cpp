#include "host/font_cmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

namespace kshost {
namespace {

constexpr size_t kMaxMappings = 65536;

// A code's bytes as one number, big-endian; at most four count.
uint32_t CodeOf(const std::string& bytes) {
  uint32_t v = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return v;
}

// The first code point of UTF-16BE text (a pair of surrogates joined).
std::optional<uint32_t> FirstCodePoint(const std::string& utf16) {
  if (utf16.size() < 2) return std::nullopt;
  const uint32_t a = CodeOf(utf16.substr(0, 2));
  if (a >= 0xD800 && a < 0xDC00 && utf16.size() >= 4) {
    const uint32_t b = CodeOf(utf16.substr(2, 2));
    if (b >= 0xDC00 && b < 0xE000) return 0x10000 + ((a - 0xD800) << 10) + (b - 0xDC00);
  }
  return a;
}

}  // namespace

FontCMap FontCMap::Identity() {
  FontCMap map;
  map.spaces_.push_back({2, 0, 0xFFFF});
  map.identity_ = true;
  return map;
}

void FontCMap::Add(uint32_t low, uint32_t high, uint32_t value) {
  if (high < low || targets_.size() >= kMaxMappings) return;
  targets_[low] = Target{high, value};
}

FontCMap FontCMap::Parse(std::string_view text) {
  FontCMap map;
  try {
    auto input = std::make_shared<BufferInputSource>("cmap", std::string(text));
    QPDFTokenizer tokenizer;
    // The operands read since the last operator: strings and numbers as
    // they come, an array's strings in a group of their own.
    struct Operand {
      QPDFTokenizer::token_type_e type;
      std::string value;
      std::vector<std::string> array;
    };
    std::vector<Operand> operands;
    std::string section;  // the begin... word last met
    bool inArray = false;
    for (size_t tokens = 0; tokens < 4000000; ++tokens) {
      QPDFTokenizer::Token t = tokenizer.readToken(input, "cmap", true);
      const auto type = t.getType();
      if (type == QPDFTokenizer::tt_eof || type == QPDFTokenizer::tt_bad) break;
      if (type == QPDFTokenizer::tt_array_open) {
        operands.push_back({type, "", {}});
        inArray = true;
        continue;
      }
      if (type == QPDFTokenizer::tt_array_close) {
        inArray = false;
        continue;
      }
      if (type == QPDFTokenizer::tt_string || type == QPDFTokenizer::tt_integer) {
        if (inArray) {
          if (type == QPDFTokenizer::tt_string) operands.back().array.push_back(t.getValue());
        } else {
          operands.push_back({type, t.getValue(), {}});
        }
        continue;
      }
      if (type != QPDFTokenizer::tt_word) continue;
      inArray = false;
      const std::string word = t.getValue();
      if (word.rfind("begin", 0) == 0) {
        section = word;
        operands.clear();
        continue;
      }
      if (word.rfind("end", 0) != 0 || section.size() <= 5 || section.compare(5, std::string::npos, word, 3) != 0) {
        operands.clear();
        continue;
      }
      const auto isString = [&](size_t i) { return operands[i].type == QPDFTokenizer::tt_string; };
      const auto number = [&](size_t i) -> std::optional<uint32_t> {
        if (operands[i].type != QPDFTokenizer::tt_integer) return std::nullopt;
        const long long v = std::atoll(operands[i].value.c_str());
        if (v < 0 || v > 0xFFFFFFFFll) return std::nullopt;
        return static_cast<uint32_t>(v);
      };
      if (section == "begincodespacerange") {
        for (size_t i = 0; i + 1 < operands.size(); i += 2) {
          const std::string& lo = operands[i].value;
          const std::string& hi = operands[i + 1].value;
          if (!isString(i) || !isString(i + 1) || lo.empty() || lo.size() > 4 || lo.size() != hi.size()) continue;
          if (map.spaces_.size() < 256)
            map.spaces_.push_back({static_cast<int>(lo.size()), CodeOf(lo), CodeOf(hi)});
        }
      } else if (section == "begincidrange") {
        for (size_t i = 0; i + 2 < operands.size(); i += 3)
          if (isString(i) && isString(i + 1))
            if (auto cid = number(i + 2)) map.Add(CodeOf(operands[i].value), CodeOf(operands[i + 1].value), *cid);
      } else if (section == "begincidchar") {
        for (size_t i = 0; i + 1 < operands.size(); i += 2)
          if (isString(i))
            if (auto cid = number(i + 1)) {
              const uint32_t code = CodeOf(operands[i].value);
              map.Add(code, code, *cid);
            }
      } else if (section == "beginbfchar") {
        for (size_t i = 0; i + 1 < operands.size(); i += 2)
          if (isString(i) && isString(i + 1))
            if (auto cp = FirstCodePoint(operands[i + 1].value)) {
              const uint32_t code = CodeOf(operands[i].value);
              map.Add(code, code, *cp);
            }
      } else if (section == "beginbfrange") {
        for (size_t i = 0; i + 2 < operands.size(); i += 3) {
          if (!isString(i) || !isString(i + 1)) continue;
          const uint32_t lo = CodeOf(operands[i].value), hi = CodeOf(operands[i + 1].value);
          if (operands[i + 2].type == QPDFTokenizer::tt_array_open) {
            // One text for each code of the range, in order.
            const std::vector<std::string>& each = operands[i + 2].array;
            for (size_t k = 0; k < each.size() && lo + k <= hi && lo + k >= lo; ++k)
              if (auto cp = FirstCodePoint(each[k])) map.Add(lo + uint32_t(k), lo + uint32_t(k), *cp);
          } else if (isString(i + 2)) {
            if (auto cp = FirstCodePoint(operands[i + 2].value)) map.Add(lo, hi, *cp);
          }
        }
      }
      section.clear();
      operands.clear();
    }
  } catch (...) {
    // What was read before the damage stays.
  }
  return map;
}

bool FontCMap::NextCode(std::string_view bytes, size_t* at, uint32_t* code, int* length) const {
  if (*at >= bytes.size()) return false;
  int shortest = 4;
  for (const Space& s : spaces_) shortest = std::min(shortest, s.length);
  if (spaces_.empty()) shortest = 2;
  uint32_t value = 0;
  for (int n = 1; n <= 4 && *at + size_t(n) <= bytes.size(); ++n) {
    value = (value << 8) | static_cast<unsigned char>(bytes[*at + size_t(n) - 1]);
    for (const Space& s : spaces_)
      if (s.length == n && value >= s.low && value <= s.high) {
        *code = value, *length = n;
        *at += size_t(n);
        return true;
      }
  }
  // No range takes it: as many bytes as the shortest range, or what is left.
  const size_t n = std::min(bytes.size() - *at, size_t(shortest));
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[*at + i]);
  *code = v, *length = static_cast<int>(n);
  *at += n;
  return true;
}

std::optional<uint32_t> FontCMap::Map(uint32_t code) const {
  if (identity_) return code;
  auto it = targets_.upper_bound(code);
  if (it == targets_.begin()) return std::nullopt;
  --it;
  if (code > it->second.high) return std::nullopt;
  return it->second.value + (code - it->first);
}

CidWidths::CidWidths(const std::vector<Item>& w, double defaultWidth) : default_(defaultWidth) {
  size_t kept = 0;
  const auto cidAt = [&](size_t i) -> std::optional<uint32_t> {
    if (i >= w.size() || w[i].isArray || !(w[i].number >= 0) || w[i].number > 0xFFFFFFFF) return std::nullopt;
    return static_cast<uint32_t>(w[i].number);
  };
  for (size_t i = 0; i < w.size() && kept < kMaxMappings;) {
    const auto first = cidAt(i);
    if (!first) break;
    if (i + 1 < w.size() && w[i + 1].isArray) {
      std::vector<double> widths = w[i + 1].array;
      widths.resize(std::min(widths.size(), kMaxMappings - kept));
      if (!widths.empty() && uint64_t(*first) + widths.size() - 1 <= 0xFFFFFFFFull) {
        kept += widths.size();
        runs_[*first] = Run{*first + uint32_t(widths.size() - 1), std::move(widths)};
      }
      i += 2;
      continue;
    }
    const auto last = cidAt(i + 1);
    if (!last || i + 2 >= w.size() || w[i + 2].isArray) break;
    if (*last >= *first) {
      runs_[*first] = Run{*last, {w[i + 2].number}};
      ++kept;
    }
    i += 3;
  }
}

double CidWidths::Width(uint32_t cid) const {
  auto it = runs_.upper_bound(cid);
  if (it == runs_.begin()) return default_;
  --it;
  if (cid > it->second.last) return default_;
  const std::vector<double>& widths = it->second.widths;
  const double w = widths.size() == 1 ? widths[0] : widths[cid - it->first];
  return std::isfinite(w) ? w : default_;
}

}  // namespace kshost
