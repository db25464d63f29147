#include "kwannotation/kw_number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kwannotation {
namespace {

NumberFormat Dec(std::u16string unit, double factor = 1.0, int32_t d = 100) {
  NumberFormat f;
  f.unit = std::move(unit);
  f.factor = factor;
  f.decimalDenominator = d;
  return f;
}

NumberFormat Frac(std::u16string unit, double factor, int32_t den) {
  NumberFormat f = Dec(std::move(unit), factor);
  f.mode = DisplayMode::Fraction;
  f.fractionDenominator = den;
  return f;
}

NumberFormat WithMode(NumberFormat f, DisplayMode mode) {
  f.mode = mode;
  return f;
}

NumberFormat WithSeparators(NumberFormat f, std::u16string rt, std::u16string rd, std::u16string ps,
                            std::u16string ss) {
  f.thousandsSep = std::move(rt);
  f.decimalSep = std::move(rd);
  f.prefix = std::move(ps);
  f.suffix = std::move(ss);
  return f;
}

// The feet-and-inches array the measuring tools write: 10'-6 3/8".
std::vector<NumberFormat> FeetInches() {
  return {WithSeparators(Dec(u"'"), u",", u".", u"", u"-"), WithSeparators(Frac(u"\"", 12, 16), u",", u".", u"", u"")};
}

struct FormatCase {
  const char* name;
  std::vector<NumberFormat> formats;
  double value;
  std::u16string expected;
  FormatArray array = FormatArray::D;
};

TEST(FormatValue, ShowsValuesAsThePdfStandardDescribes) {
  NumberFormat prefixed = WithSeparators(Dec(u"USD"), u",", u".", u"", u" ");
  prefixed.position = LabelPosition::Prefix;
  NumberFormat noReduce = Frac(u"in", 1, 16);
  noReduce.noReduce = true;
  // Only the last element's denominator is ever divided by.
  NumberFormat badDenominators = Dec(u"ft", 1, 0);
  badDenominators.fractionDenominator = -5;

  const FormatCase cases[] = {
      // ISO 32000-1, 12.9.2, with the separators left to their defaults.
      {"StandardExample", {Dec(u"mi"), Dec(u"ft", 5280), Frac(u"in", 12, 8)}, 1.4505, u"1 mi 2,378 ft 7 5/8 in "},
      {"FeetInchesWhole", FeetInches(), 10.5, u"10'-6\""},
      {"FeetInchesFraction", FeetInches(), 10.53, u"10'-6 3/8\""},
      {"FeetInchesNegative", FeetInches(), -10.5, u"-10'-6\""},
      {"InchesRoundUpCarryToFeet", FeetInches(), 3.999, u"4'-0\""},
      {"TwoElementsDefaults", {Dec(u"ft"), Frac(u"in", 12, 16)}, 3.5, u"3 ft 6 in "},
      {"EarlierDenominatorsIgnored", {badDenominators, Frac(u"in", 12, 2)}, 1.25, u"1 ft 3 in "},
      {"DecimalCarry", {Dec(u"m"), Dec(u"cm", 100, 1)}, 1.999, u"2 m 0 cm "},
      {"MileCarry", {Dec(u"mi"), Dec(u"ft", 5280, 1)}, 0.99999999, u"1 mi 0 ft "},
      {"Grouping", {Dec(u"m")}, 1234567.891, u"1,234,567.89 m "},
      {"ZeroPaddedDecimals", {Dec(u"m")}, 1200, u"1,200.00 m "},
      {"SmallDecimals", {Dec(u"m", 1, 1000)}, 0.05, u"0.050 m "},
      {"DenominatorOne", {Dec(u"m", 1, 1)}, 1200, u"1,200 m "},
      {"ThreeDigitsNotGrouped", {Dec(u"m", 1, 1)}, 999, u"999 m "},
      {"NonDecimalDenominatorExact", {Dec(u"m", 1, 8)}, 0.4, u"0.375 m "},
      {"NonDecimalDenominatorCutOff", {Dec(u"m", 1, 3)}, 1.0 / 3, u"0.333333333333 m "},
      {"NonDecimalDenominatorWhole", {Dec(u"m", 1, 3)}, 2, u"2 m "},
      // An empty decimal separator is the default point; an empty thousands
      // separator, prefix or suffix is no text.
      {"ExplicitlyEmptySeparators", {WithSeparators(Dec(u"m"), u"", u"", u"", u"")}, 1234.5, u"1234.50m"},
      {"EmptyDecimalSeparatorKeepsGrouping", {WithSeparators(Dec(u"m"), u",", u"", u" ", u" ")}, 1234.5,
       u"1,234.50 m "},
      {"EuropeanSeparators", {WithSeparators(Dec(u"m"), u".", u",", u" ", u"")}, 1234567.891, u"1.234.567,89 m"},
      {"PrefixLabel", {prefixed}, 5, u"USD 5.00"},
      {"FractionReduced", {Frac(u"in", 1, 16)}, 0.75, u"3/4 in "},
      {"FractionNotReduced", {noReduce}, 0.75, u"12/16 in "},
      {"FractionWhole", {Frac(u"in", 1, 16)}, 2.0, u"2 in "},
      {"FractionZero", {Frac(u"in", 1, 16)}, 0.01, u"0 in "},
      {"FractionRoundsUpToWhole", {Frac(u"in", 1, 4)}, 2.9, u"3 in "},
      {"FractionGrouped", {Frac(u"in", 1, 2)}, 1234.5, u"1,234 1/2 in "},
      {"Round", {WithMode(Dec(u"m"), DisplayMode::Round)}, 12345.5, u"12,346 m "},
      {"Truncate", {WithMode(Dec(u"m"), DisplayMode::Truncate)}, 2.9999, u"2 m "},
      {"TinyNegativeHasNoSign", {Dec(u"m")}, -0.0000000001, u"0.00 m "},
      {"NegativeRoundedToZeroHasNoSign", {Dec(u"m")}, -0.004, u"0.00 m "},
      {"Negative", {Dec(u"m")}, -2.5, u"-2.50 m "},
      {"Factor", {Dec(u"in", 12)}, 1.5, u"18.00 in "},
      {"AngleGetsDegreeLabel", {WithSeparators(Dec(u""), u",", u".", u"", u"")}, 45, u"45.00\u00b0", FormatArray::T},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<std::u16string> text = FormatValue(c.formats, c.array, c.value);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.expected);
  }
}

TEST(FormatValue, RefusesUnusableArraysAndValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  NumberFormat unreadable = Dec(u"m");
  unreadable.readable = false;
  const struct {
    const char* name;
    std::vector<NumberFormat> formats;
    double value;
  } cases[] = {
      {"Empty", {}, 1},
      {"EmptyLabelOutsideAngles", {Dec(u"")}, 1},
      {"EmptyLabelInMiddle", {Dec(u"ft"), Dec(u"", 12), Dec(u"in")}, 1},
      {"Unreadable", {Dec(u"ft"), unreadable}, 1},
      {"FactorZero", {Dec(u"m", 0)}, 1},
      {"FactorNegative", {Dec(u"ft"), Dec(u"in", -12)}, 1},
      {"FactorNaN", {Dec(u"m", nan)}, 1},
      {"FactorInfinite", {Dec(u"m", inf)}, 1},
      {"DecimalDenominatorZero", {Dec(u"m", 1, 0)}, 1},
      {"DecimalDenominatorNegative", {Dec(u"m", 1, -5)}, 1},
      {"FractionDenominatorZero", {Frac(u"in", 1, 0)}, 1},
      {"FractionDenominatorNegative", {Frac(u"in", 1, -5)}, 1},
      {"ValueNaN", {Dec(u"m")}, nan},
      {"ValueInfinite", {Dec(u"m")}, -inf},
      {"ValueTooLargeToShowExactly", {Dec(u"m")}, 1e300},
      {"ScaledTooLarge", {Dec(u"m", 1e200), Dec(u"mm", 1e200)}, 1},
      {"HugeDenominatorTimesValue", {Dec(u"m", 1, INT32_MAX)}, 1e7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatValue(c.formats, FormatArray::D, c.value), std::nullopt);
  }
}

TEST(FormatValue, LongArraysAndLabels) {
  std::vector<NumberFormat> many(100000, Dec(u"u"));
  std::optional<std::u16string> text = FormatValue(many, FormatArray::D, 7.25);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->substr(0, 8), u"7 u 0 u ");
  EXPECT_EQ(text->substr(text->size() - 11), u"0 u 0.25 u ");

  many.back().decimalDenominator = 0;
  EXPECT_EQ(FormatValue(many, FormatArray::D, 7.25), std::nullopt);

  std::u16string label(10000, u'x');
  text = FormatValue(std::vector<NumberFormat>{Dec(label)}, FormatArray::D, 1);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"1.00 " + label + u" ");
}

TEST(NumberFormat, NamesFoldCaseOnTheFirstCharacter) {
  EXPECT_EQ(DisplayModeFromName("f"), DisplayMode::Fraction);
  EXPECT_EQ(DisplayModeFromName("Round"), DisplayMode::Round);
  EXPECT_EQ(DisplayModeFromName(""), DisplayMode::Decimal);
  EXPECT_EQ(LabelPositionFromName("p"), LabelPosition::Prefix);
}

// Whole numbers are written without decimals; the dialogs add the unit
// word of each kind (pitch 0, degrees 1, grade 2), and nothing to no slope.
TEST(SlopeText, WritesWholeNumbersWithoutDecimalsAndDialogsAddTheUnit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double slope;
    int type;
    double run;
    std::u16string expected, display;
  } cases[] = {
      {8.333333, 2, 0, u"8.33", u"8.33% grade"},
      {4, 0, 12, u"4/12", u"4/12 pitch"},
      {4.000001, 0, 11.999999, u"4/12", u"4/12 pitch"},
      {2.5, 0, 12, u"2.50/12", u"2.50/12 pitch"},
      {30, 1, 0, u"30", u"30\u00b0"},
      {-0.5, 1, 0, u"-0.50", u"-0.50\u00b0"},
      {-0.000001, 1, 0, u"0", u"0\u00b0"},
      {0, 1, 0, u"", u""},
      {4, 0, 0, u"", u""},
      {4, 0, 1e-6, u"", u""},
      {nan, 1, 0, u"", u""},
      {std::numeric_limits<double>::infinity(), 2, 0, u"", u""},
      {4, 0, nan, u"", u""},
      // Beyond the range of an int the digits are still written out in full.
      {1e20, 1, 0, u"100000000000000000000", u"100000000000000000000\u00b0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.slope);
    EXPECT_EQ(SlopeText(c.slope, c.type, c.run), c.expected);
    EXPECT_EQ(SlopeDisplayText(c.slope, c.type, c.run, u"grade", u"pitch"), c.display);
  }
}

}  // namespace
}  // namespace kwannotation
