#include "measure/cma_typed_ratio.h"

#include <gtest/gtest.h>

#include "kwannotation/kw_test_support.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {
namespace {

class TypedRatioTest : public kwannotation::test::HostDocTest {};

TEST_F(TypedRatioTest, LengthsAreDecimalsFractionsOrFeetAndInches) {
  struct Case {
    const char16_t* text;
    double value;
    const char16_t* unit;
  } cases[] = {
      {u"2.5", 2.5, u""},          {u" 2,5 ", 2.5, u""},        {u".5", 0.5, u""},
      {u"1/8", 0.125, u""},        {u"1 1/2", 1.5, u""},        {u"3 / 4", 0.75, u""},
      {u"1/8\"", 0.125, u"in\""},  {u"6 \"", 6, u"in\""},      {u"1'", 1, u"ft'in\""},
      {u"1'-0\"", 1, u"ft'in\""},  {u"1'-6\"", 1.5, u"ft'in\""}, {u"2' 6 1/2\"", 2 + 6.5 / 12, u"ft'in\""},
      {u"0'-3\"", 0.25, u"ft'in\""},
  };
  for (const Case& c : cases) {
    const std::optional<TypedLength> got = ParseTypedLength(c.text);
    ASSERT_TRUE(got) << ks::ToUtf8(c.text);
    EXPECT_DOUBLE_EQ(got->value, c.value) << ks::ToUtf8(c.text);
    EXPECT_EQ(got->unit, c.unit) << ks::ToUtf8(c.text);
  }
  for (const char16_t* bad : {u"", u"0", u"0/5", u"1/0", u"1/", u"-1", u"1e3", u"12 34", u"1..2", u"1\"-6'",
                              u"1'-6", u"1' 6\" 7", u"abc", u"1 in", u"\u0661"}) {
    EXPECT_FALSE(ParseTypedLength(bad)) << ks::ToUtf8(bad);
  }
  // What is written reads back as exactly the same number.
  for (double v : {0.125, 2.5, 100.0, 1.0 / 3, 1e14, 0.000001}) {
    const std::optional<TypedLength> again = ParseTypedLength(TypedNumberText(v));
    ASSERT_TRUE(again) << v;
    EXPECT_EQ(again->value, v);
  }
}

TEST_F(TypedRatioTest, RatiosAsArchitectsAndEngineersWriteThem) {
  struct Case {
    const char16_t* text;
    MeasureRatioPair want;
  } cases[] = {
      {u"1 in = 10 ft", {1, u"in", 10, u"ft"}},
      {u"1/8 in = 1 ft", {0.125, u"in", 1, u"ft"}},
      {u"1/8\" = 1'-0\"", {0.125, u"in", 1, u"ft'in\""}},
      {u"3/16\"=1'", {0.1875, u"in", 1, u"ft'in\""}},
      {u"1 1/2 in = 1 ft", {1.5, u"in", 1, u"ft"}},
      {u"10 cm = 5 m", {10, u"cm", 5, u"m"}},
      {u"1 inch = 6\"", {1, u"in", 6, u"in\""}},
      // The presets of those names, and other ratios in centimetres.
      {u"1:100", {1, u"cm", 1, u"m"}},
      {u"1 : 100", {1, u"cm", 1, u"m"}},
      {u"1:50", {10, u"cm", 5, u"m"}},
      {u"1:1", {1, u"mm", 1, u"mm"}},
      {u"1:250", {1, u"cm", 2.5, u"m"}},
  };
  for (const Case& c : cases) {
    const std::optional<MeasureRatioPair> got = ParseTypedRatio(c.text);
    ASSERT_TRUE(got) << ks::ToUtf8(c.text);
    EXPECT_EQ(got->paperNumber, c.want.paperNumber) << ks::ToUtf8(c.text);
    EXPECT_EQ(got->paperUnit, c.want.paperUnit) << ks::ToUtf8(c.text);
    EXPECT_EQ(got->realNumber, c.want.realNumber) << ks::ToUtf8(c.text);
    EXPECT_EQ(got->realUnit, c.want.realUnit) << ks::ToUtf8(c.text);
  }
  for (const char16_t* bad : {u"", u"1 in to 10 ft", u"1 in = 10", u"in = 10 ft", u"1 ft = 10 ft",  // ft on paper
                              u"1' = 10 ft", u"1 in = 10 furlong", u"1 in = 1 ft = 2 ft", u"1:", u"1:0", u"1:2:3",
                              u"1 in:100", u"0 in = 1 ft", u"1/0\" = 1'"}) {
    EXPECT_FALSE(ParseTypedRatio(bad)) << ks::ToUtf8(bad);
  }
}

}  // namespace
}  // namespace AnnotationPlugin
