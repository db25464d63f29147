#include "host/font_cmap.h"

#include <gtest/gtest.h>

namespace kshost {
namespace {

// The codes a string splits into, each with its byte count.
std::vector<std::pair<uint32_t, int>> Codes(const FontCMap& map, std::string_view bytes) {
  std::vector<std::pair<uint32_t, int>> out;
  size_t at = 0;
  uint32_t code = 0;
  int length = 0;
  while (map.NextCode(bytes, &at, &code, &length)) out.push_back({code, length});
  return out;
}

TEST(FontCMap, StringsSplitIntoCodesOfTheLengthsTheCodeSpaceSays) {
  using V = std::vector<std::pair<uint32_t, int>>;
  const FontCMap identity = FontCMap::Identity();
  EXPECT_EQ(Codes(identity, std::string("\x00\x24\x01\x02", 4)), (V{{0x24, 2}, {0x102, 2}}));
  EXPECT_EQ(Codes(identity, std::string("\x00\x24\x07", 3)), (V{{0x24, 2}, {0x07, 1}})) << "a last half code";
  EXPECT_EQ(identity.Map(0x1234), 0x1234u);

  // Shift-JIS-like: single bytes below 0x80, pairs from 0x8140.
  const FontCMap mixed = FontCMap::Parse(
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
      "2 begincodespacerange <00> <7F> <8140> <9FFC> endcodespacerange\n"
      "1 begincidrange <20> <7E> 1 endcidrange\n"
      "1 begincidchar <8140> 633 endcidchar\n"
      "endcmap CMapName currentdict /CMap defineresource pop end end");
  EXPECT_EQ(Codes(mixed, "A\x81\x40 "), (V{{0x41, 1}, {0x8140, 2}, {0x20, 1}}));
  // 0xA0 is in no range: it takes one byte, as the shortest range does.
  EXPECT_EQ(Codes(mixed, "\xA0\x41"), (V{{0xA0, 1}, {0x41, 1}}));
  EXPECT_EQ(mixed.Map(0x20), 1u);
  EXPECT_EQ(mixed.Map(0x41), 0x41u - 0x20 + 1);
  EXPECT_EQ(mixed.Map(0x8140), 633u);
  EXPECT_FALSE(mixed.Map(0x7F).has_value());
  EXPECT_FALSE(mixed.Map(0x8141).has_value());

  // A map that states no code space splits into pairs of bytes.
  EXPECT_EQ(Codes(FontCMap::Parse("garbage ] >> endcmap"), std::string("\x00\x41\x00\x42", 4)),
            (V{{0x41, 2}, {0x42, 2}}));
}

TEST(FontCMap, ToUnicodeMapsGiveTheFirstCodePointOfEachCodesText) {
  const FontCMap map = FontCMap::Parse(
      "begincmap 1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
      "3 beginbfchar <0024> <0041> <0003> <0020> <0100> <D83DDC4D> endbfchar\n"
      "2 beginbfrange <0028> <002A> <0061> <0030> <0032> [<0078> <00660069> <007A>] endbfrange\n"
      "1 beginbfchar <0040> endbfchar\n"  // damaged: a code without its text
      "endcmap");
  EXPECT_EQ(map.Map(0x24), 0x41u);
  EXPECT_EQ(map.Map(0x03), 0x20u);
  EXPECT_EQ(map.Map(0x100), 0x1F44Du) << "a pair of surrogates is one code point";
  EXPECT_EQ(map.Map(0x28), 0x61u);
  EXPECT_EQ(map.Map(0x2A), 0x63u);
  EXPECT_EQ(map.Map(0x30), 0x78u);
  EXPECT_EQ(map.Map(0x31), 0x66u) << "a ligature's text starts with its first letter";
  EXPECT_EQ(map.Map(0x32), 0x7Au);
  EXPECT_FALSE(map.Map(0x2B).has_value());
  EXPECT_FALSE(map.Map(0x40).has_value());
}

TEST(CidWidths, ArraysAndRunsGiveWidthsByCidAndTheDefaultElsewhere) {
  using Item = CidWidths::Item;
  // 36 [600 700]  40 42 500  100 [250]  then a damaged tail.
  const std::vector<Item> w = {{false, 36, {}}, {true, 0, {600, 700}}, {false, 40, {}}, {false, 42, {}},
                               {false, 500, {}}, {false, 100, {}},     {true, 0, {250}}, {false, 7, {}}};
  const CidWidths widths(w, 900);
  const struct {
    uint32_t cid;
    double width;
  } cases[] = {{35, 900}, {36, 600}, {37, 700}, {38, 900}, {40, 500}, {41, 500}, {42, 500}, {43, 900},
               {100, 250}, {101, 900}, {7, 900}};
  for (const auto& c : cases) EXPECT_EQ(widths.Width(c.cid), c.width) << c.cid;
  EXPECT_EQ(CidWidths({}, 1000).Width(5), 1000);
}

}  // namespace
}  // namespace kshost
