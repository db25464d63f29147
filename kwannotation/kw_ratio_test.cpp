#include "kwannotation/kw_ratio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kwannotation/kw_units.h"

namespace kwannotation {
namespace {

TEST(ParseRatioText, ReadsUnitsAndRatio) {
  const struct {
    std::u16string text;
    std::u16string paper;
    std::u16string real;
    double ratio;
  } cases[] = {
      {u"1 in = 10 ft", u"in", u"ft", 120},
      {u"1 in = 1 in", u"in", u"in", 1},
      {u"1in=10ft", u"in", u"ft", 120},
      {u"2.5 cm = 1 m", u"cm", u"m", 40},
      {u".5 in = 1 ft", u"in", u"ft", 24},
      {u"1 mm\t=\t1 km", u"mm", u"km", 1e6},
      {u"3 in = 6 furlong", u"in", u"furlong", 2},  // an unknown unit converts as 1
      {u"  1 in = 10 ft \r\n", u"in", u"ft", 120},
      // The feet-and-inches and inch-fraction keys the composer writes.
      {u"1 in = 10 ft'in\"", u"in", u"ft", 120},
      {u"1 in = 10 ft' in\"", u"in", u"ft", 120},
      {u"1 in = 3 in\"", u"in", u"in", 3},
      {u"1 in = 2 ft'", u"in", u"ft", 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    std::optional<ParsedRatio> r = ParseRatioText(c.text);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->paperUnit, c.paper);
    EXPECT_EQ(r->realUnit, c.real);
    EXPECT_NEAR(r->ratio, c.ratio, c.ratio * 1e-12);
  }
}

TEST(ParseRatioText, RejectsTextWithoutAPositiveRatio) {
  const std::u16string cases[] = {
      u"",
      u"=",
      u"1 in = 0 ft",
      u"0 in = 1 ft",
      u"0.000 in = 1 ft",
      u"1 in =",
      u"in = ft",
      u"1 in 10 ft",
      u"1 = 10 ft",
      u"1 in = ft",
      u"1 \u00b5m = 1 m",  // units are ASCII word characters
      // The whole text is the ratio: no sign, exponent or text around it.
      u"-3 in = 2 ft",
      u"1e400 in = 1 ft",
      u"1 in = 1e3 ft",
      u"in X 1 in = 10 ft, in Y 1 in = 20 ft",
      u"1 in = 10 ft!",
      u"12. in = 1 ft",
      u"12=3ft",
      u"1 in = 10",
      u"1 in == 10 ft",
      // Too large, or too small, for a double.
      u"1" + std::u16string(400, u'0') + u" in = 1 ft",
      u"0." + std::u16string(400, u'0') + u"1 in = 1 ft",
  };
  for (const std::u16string& text : cases) {
    SCOPED_TRACE(std::string(text.begin(), text.begin() + std::min<size_t>(text.size(), 40)));
    EXPECT_EQ(ParseRatioText(text), std::nullopt);
  }
}

TEST(ParseRatioText, LongTextsAreReadWhole) {
  std::u16string longUnit = u"1 " + std::u16string(10000, u'a') + u" = 2 ft";
  std::optional<ParsedRatio> r = ParseRatioText(longUnit);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->paperUnit.size(), 10000u);
  EXPECT_EQ(r->ratio, 2);
  std::u16string digits;
  for (int i = 0; i < 20000; ++i) digits += u"12345 = . ";
  EXPECT_EQ(ParseRatioText(digits), std::nullopt);
}

TEST(RatioText, NumbersDropTrailingZeros) {
  EXPECT_EQ(RatioNumberText(2.5), u"2.5");
  EXPECT_EQ(RatioNumberText(10), u"10");
  EXPECT_EQ(RatioNumberText(0.1234567), u"0.123457");
  EXPECT_EQ(RatioNumberText(1e20), u"100000000000000000000");
  EXPECT_EQ(RatioNumberText(std::numeric_limits<double>::quiet_NaN()), u"");
}

TEST(RatioText, ComposesKeysFromDisplayNames) {
  std::vector<std::u16string> paper = SplitUnitNames(u"Points\\nInches\\nMillimeters\\nCentimeters\\nPicas");
  std::vector<std::u16string> real = SplitUnitNames(u"Inches\\nFeet\\nFeet-Inches");
  PageScale scale;
  scale.x = {1, u"Inches", 10, u"Feet-Inches"};
  EXPECT_EQ(ComposeRatioText(scale, paper, real), u"1 in = 10 ft'in\"");
  scale.x = {2.5, u"inch", 10, u"ft'"};
  EXPECT_EQ(ComposeRatioText(scale, paper, real), u"2.5 in = 10 ft");

  scale.separateY = true;
  scale.y = {1, u"in", 20, u"ft"};
  std::u16string text = ComposeRatioText(scale, paper, real);
  EXPECT_EQ(text, u"in X 2.5 in = 10 ft, in Y 1 in = 20 ft");
  // A measure dictionary splits this text at "X", "," and "Y" before it
  // parses each side.
  std::optional<ParsedRatio> back = ParseRatioText(u" 2.5 in = 10 ft");
  ASSERT_TRUE(back.has_value());
  EXPECT_DOUBLE_EQ(back->ratio, 48);

  scale.y.realNumber = 0;
  EXPECT_EQ(ComposeRatioText(scale, paper, real), u"");
  scale.separateY = false;  // the unused Y ratio no longer matters
  EXPECT_NE(ComposeRatioText(scale, paper, real), u"");
  scale.x.paperNumber = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ComposeRatioText(scale, paper, real), u"");
}

TEST(PreferenceRatioNumber, AcceptsOnlyWholePositiveNumbers) {
  const struct {
    std::u16string text;
    double expected;
  } cases[] = {
      {u"2.5", 2.5},   {u" 3", 3},      {u"+4", 4},       {u"0x10", 16},   {u"1e3", 1000},
      {u"1e9", 99999999}, {u"", 1},    {u"abc", 1},      {u"2.5x", 1},    {u"3 ", 1},
      {u"-3", 1},      {u"0", 1},       {u"inf", 1},      {u"nan", 1},     {u"1e400", 1},
      {u"+-3", 1},     {u"0x", 1},      {u"\u0663", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(ReadPreferenceRatioNumber(c.text), c.expected);
  }
  EXPECT_EQ(PreferenceRatioNumberText(2.5), u"2.5");
  EXPECT_EQ(PreferenceRatioNumberText(1.0 / 3), u"0.333333333333333");
  EXPECT_EQ(PreferenceRatioNumberText(1e20), u"1e+20");
  EXPECT_EQ(PreferenceRatioNumberText(std::numeric_limits<double>::infinity()), u"");
}

TEST(Precision, MapsToDenominatorsByUnitKind) {
  NumberFormat g;
  ApplyPrecision(g, 3, u"ft'in\"");
  EXPECT_EQ(g.mode, DisplayMode::Fraction);
  EXPECT_EQ(g.fractionDenominator, 8);
  ApplyPrecision(g, 3, u"ft");
  EXPECT_EQ(g.mode, DisplayMode::Decimal);
  EXPECT_EQ(g.decimalDenominator, 1000);
  ApplyPrecision(g, 9, u"m");  // the list ends at 0.00001
  EXPECT_EQ(g.decimalDenominator, 100000);
  ApplyPrecision(g, -1, u"m");
  EXPECT_EQ(g.decimalDenominator, 1);
  for (int p = 0; p <= 5; ++p) {
    for (std::u16string unit : {u"m", u"in\""}) {
      NumberFormat f;
      ApplyPrecision(f, p, unit);
      EXPECT_EQ(PrecisionOf(f), p);
    }
  }
  NumberFormat f;
  f.decimalDenominator = 250;  // not a power of ten: truncated
  EXPECT_EQ(PrecisionOf(f), 2);
  f.mode = DisplayMode::Fraction;
  f.fractionDenominator = -5;
  EXPECT_EQ(PrecisionOf(f), 0);
}

}  // namespace
}  // namespace kwannotation
