#include "kwannotation/kw_units.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kwannotation {
namespace {

TEST(UnitFactors, ConvertBetweenNormalisedKeys) {
  const struct {
    UnitDimension dimension;
    std::u16string from;
    std::u16string to;
    double factor;
  } cases[] = {
      {UnitDimension::Length, u"ft'in\"", u"in", 12},
      {UnitDimension::Length, u"in", u"ft", 1.0 / 12},
      {UnitDimension::Length, u"furlong", u"in", 1},
      {UnitDimension::Length, u"in", u"furlong", 1},
      {UnitDimension::Length, u"m", u"m", 1},
      {UnitDimension::Length, u" Inch ", u"mm", 25.4},
      {UnitDimension::Length, u"1 in = 10 FT", u"in", 12},
      {UnitDimension::Length, u"mi", u"ft", 5280},
      {UnitDimension::Length, u"pt", u"in", 1.0 / 72},
      {UnitDimension::Length, u"p", u"pt", 12},
      {UnitDimension::Length, u"picas", u"in", 1.0 / 6},
      {UnitDimension::Area, u"sq ft", u"sq in", 144},
      {UnitDimension::Area, u" Sq Inch ", u"sq ft", 1.0 / 144},
      {UnitDimension::Area, u"acre", u"sq m", 4046.8564224},
      {UnitDimension::Area, u"ac", u"sf", 43560},
      {UnitDimension::Area, u"tsubo", u"sq m", 3.305785},
      {UnitDimension::Area, u"sq mi", u"sq km", 2.589988110336},
      {UnitDimension::Volume, u"cu ft", u"cu in", 1728},
      {UnitDimension::Volume, u"cu m", u"cu cm", 1e6},
      {UnitDimension::Volume, u"cu yd", u"cu parsec", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from.begin(), c.from.end()) + " -> " + std::string(c.to.begin(), c.to.end()));
    double f = c.dimension == UnitDimension::Length ? LengthFactor(c.from, c.to)
               : c.dimension == UnitDimension::Area ? AreaFactor(c.from, c.to)
                                                    : VolumeFactor(c.from, c.to);
    EXPECT_NEAR(f, c.factor, c.factor * 1e-14);
  }
}

// The tools convert through points and inches, the captions through
// millimetres; a typo in either column would put the two out of step.
TEST(UnitFactors, PointsInchesAndMillimetresAgree) {
  for (std::u16string_view key : {u"in", u"\"", u"in\"", u"inch", u"ft", u"'", u"ft' in\"", u"ft'in\"", u"ft'",
                                  u"'\"", u"' \"", u"yd", u"mi", u"mm", u"cm", u"m", u"km", u"pt", u"p"}) {
    SCOPED_TRACE(std::string(key.begin(), key.end()));
    std::optional<double> points = PointsPerUnit(key);
    std::optional<double> inches = InchesPerUnit(key);
    ASSERT_TRUE(points && inches);
    double mm = MillimetresPerUnit(UnitDimension::Length, key);
    EXPECT_NEAR(*points, mm * 72 / 25.4, *points * 1e-15);
    EXPECT_NEAR(*inches, mm / 25.4, *inches * 1e-15);
  }
  const std::pair<UnitDimension, UnitList> lists[] = {
      {UnitDimension::Length, UnitList::Real}, {UnitDimension::Area, UnitList::Area},
      {UnitDimension::Volume, UnitList::Volume}};
  for (auto [dimension, list] : lists) {
    for (std::u16string_view key : UnitKeys(list)) {
      SCOPED_TRACE(std::string(key.begin(), key.end()));
      EXPECT_NEAR(MillimetresPerUnit(dimension, key) * UnitsPerMillimetre(dimension, key), 1.0, 1e-15);
    }
  }
  // Area and volume units are the squares and cubes of their length unit.
  for (std::u16string_view key : UnitKeys(UnitList::Real)) {
    SCOPED_TRACE(std::string(key.begin(), key.end()));
    double mm = MillimetresPerUnit(UnitDimension::Length, key);
    double mm2 = MillimetresPerUnit(UnitDimension::Area, AreaKeyOfLength(key));
    double mm3 = MillimetresPerUnit(UnitDimension::Volume, VolumeKeyOfLength(key));
    EXPECT_NEAR(mm2, mm * mm, mm2 * 1e-15);
    EXPECT_NEAR(mm3, mm * mm * mm, mm3 * 1e-15);
  }
  EXPECT_EQ(PointsPerUnit(u"furlong"), std::nullopt);
  EXPECT_EQ(InchesPerUnit(u"FT"), std::nullopt);  // exact keys only
  EXPECT_EQ(MillimetresPerUnit(UnitDimension::Area, u"ft"), -1);
  EXPECT_EQ(AreaKeyOfLength(u"furlong"), u"");
}

TEST(UnitNames, NormaliseKeepsTheLastLabelRun) {
  const struct {
    std::u16string text;
    std::u16string expected;
  } cases[] = {
      {u"  FT \r\n", u"ft"},       {u"1 in = 10 Ft", u"ft"},    {u"Inch", u"in"},
      {u"12.5 mm", u"mm"},         {u"ft' in\"", u"in\""},      {u"10'", u"'"},
      {u" 123 ", u"123"},          {u"", u""},                  {u"a=", u""},
      {u"sq ft", u"ft"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(NormalizeUnit(c.text), c.expected);
  }
}

TEST(UnitNames, AliasesAndKinds) {
  EXPECT_EQ(CanonicalUnitKey(u"inch"), u"in");
  EXPECT_EQ(CanonicalUnitKey(u"\""), u"in\"");
  EXPECT_EQ(CanonicalUnitKey(u"ft'"), u"ft");
  EXPECT_EQ(CanonicalUnitKey(u"Inch"), u"Inch");
  for (std::u16string_view k : {u"ft' in\"", u"'\"", u"' \"", u"'"}) EXPECT_EQ(CanonicalUnitKey(k), u"ft'in\"");
  EXPECT_EQ(GetUnitKind(u"' \""), UnitKind::FeetInches);
  EXPECT_EQ(GetUnitKind(u"\""), UnitKind::InchFraction);
  EXPECT_EQ(GetUnitKind(u"in"), UnitKind::Decimal);
}

// Units are stored in preferences by list index, so these positions are a
// file format.
TEST(UnitNames, IndexesInTheStoredLists) {
  const struct {
    std::u16string key;
    UnitList list;
    int index;
  } cases[] = {
      {u"inch", UnitList::Paper, 1}, {u"p", UnitList::Paper, 4},   {u"yd", UnitList::Paper, -1},
      {u"ft'", UnitList::Real, 1},   {u"'", UnitList::Real, 2},    {u"\"", UnitList::Real, 3},
      {u"p", UnitList::Real, 11},    {u"sf", UnitList::Area, 1},   {u"ac", UnitList::Area, 8},
      {u"tsubo", UnitList::Area, 10}, {u"cu km", UnitList::Volume, 7}, {u"sq m", UnitList::Volume, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key.begin(), c.key.end()));
    EXPECT_EQ(UnitIndex(c.key, c.list), c.index);
  }
  EXPECT_EQ(UnitIndex(DefaultUnitKey(1), UnitList::Paper), 1);
  EXPECT_EQ(DefaultUnitKey(3), u"p");
  EXPECT_EQ(DefaultUnitKey(7), u"pt");
}

TEST(UnitNames, DisplayNamesMapBackToKeys) {
  EXPECT_EQ(SplitUnitNames(u"a\\nb\\n"), (std::vector<std::u16string>{u"a", u"b", u""}));
  EXPECT_EQ(SplitUnitNames(u"a\nb"), (std::vector<std::u16string>{u"a\nb"}));
  std::vector<std::u16string> paper = SplitUnitNames(u"Points\\nInches\\nMillimeters\\nCentimeters\\nPicas");
  EXPECT_EQ(UnitKeyFromText(u"Inches", UnitList::Paper, paper), u"in");
  EXPECT_EQ(UnitKeyFromText(u"inch", UnitList::Paper, paper), u"in");
  EXPECT_EQ(UnitKeyFromText(u" furlong\t", UnitList::Paper, paper), u"furlong");
  EXPECT_EQ(UnitKeyFromText(u"'", UnitList::Real, {}), u"ft'in\"");

  std::vector<std::u16string> area = SplitUnitNames(u"in\u00b2\\nft\u00b2\\nyd\u00b2");
  EXPECT_EQ(AreaUnitNameFor(u"ft'in\"", area), u"ft\u00b2");
  EXPECT_EQ(AreaUnitNameFor(u"\"", area), u"in\u00b2");
  EXPECT_EQ(AreaUnitNameFor(u"km", area), u"sq km");  // no translation for it
  EXPECT_EQ(AreaUnitNameFor(u"furlong", area), u"sq mm");
  EXPECT_EQ(VolumeUnitNameFor(u"'", {}), u"cu ft");
  EXPECT_EQ(VolumeUnitNameFor(u"pt", {}), u"cu mm");
}

}  // namespace
}  // namespace kwannotation
