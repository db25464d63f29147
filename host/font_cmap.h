// The CMaps of composite (Type0) fonts: how a shown string splits into
// codes (the code space ranges), and what each code stands for, a CID
// (cidrange, cidchar) or Unicode text (a /ToUnicode map's bfrange, bfchar).
// Internal to host/.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kshost {

class FontCMap {
 public:
  // Identity-H: two-byte codes, each its own CID.
  static FontCMap Identity();
  // Reads a CMap stream's text. What cannot be read is left out: a map
  // that states no code space splits strings into two-byte codes. At most
  // 65,536 mappings are kept.
  static FontCMap Parse(std::string_view text);

  // The next code of `bytes` from `*at`, which it moves past the code's
  // bytes (one to four, as the code space says; a code in no range takes
  // as many bytes as the shortest range). False at the end.
  bool NextCode(std::string_view bytes, size_t* at, uint32_t* code, int* length) const;
  // What `code` maps to: its CID, or the first Unicode code point of its
  // text; nothing for a code the map does not cover. Identity maps every
  // code to itself.
  std::optional<uint32_t> Map(uint32_t code) const;

 private:
  struct Space {
    int length;
    uint32_t low, high;
  };
  struct Target {
    uint32_t high;
    uint32_t value;  // what the range's low code maps to; each code after it one more
  };
  void Add(uint32_t low, uint32_t high, uint32_t value);

  std::vector<Space> spaces_;
  std::map<uint32_t, Target> targets_;  // by the low code of each range
  bool identity_ = false;
};

// The widths of a CIDFont's glyphs (/W, thousandths of the em) by CID,
// with its default width (/DW) for the rest.
class CidWidths {
 public:
  // `w` is the /W array as (number or array) items: "c [w1 w2 ...]" or
  // "c_first c_last w". At most 65,536 entries are kept.
  struct Item {
    bool isArray = false;
    double number = 0;
    std::vector<double> array;
  };
  CidWidths(const std::vector<Item>& w, double defaultWidth);
  double Width(uint32_t cid) const;

 private:
  struct Run {
    uint32_t last;
    std::vector<double> widths;  // one for each CID, or one for the whole run
  };
  std::map<uint32_t, Run> runs_;  // by the first CID
  double default_;
};

}  // namespace kshost
