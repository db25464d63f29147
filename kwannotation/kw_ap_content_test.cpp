#include "kwannotation/kw_ap_content.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_rich_text.h"
#include "sdk/ks_number.h"

namespace kwannotation {
namespace {

TEST(ApContent, DashValuesAndPhaseAreTruncatedAndAnEmptyArrayIsThree) {
  struct Case {
    std::vector<float> dashes;
    float phase;
    const char* text;
  } cases[] = {
      {{2.7f, 1.2f}, 0.9f, "[2 1]0 d\n"},
      {{}, 0, "[3]0 d\n"},
      {{4, 2, 1}, 3.5f, "[4 2 1]3 d\n"},
      {{1e12f}, 0, "[2147483647]0 d\n"},
      {{0, 3}, 0, "[0 3]0 d\n"},
      // Nothing but zero lengths (also after truncation) is no pattern: solid.
      {{0, 0}, 2, ""},
      {{0}, 0, ""},
      {{0.4f, 0.9f, 0}, 0, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendDash(out, c.dashes, c.phase);
    EXPECT_EQ(out, c.text);
  }
}

TEST(ApContent, ColoursAreWrittenAsRgb) {
  struct Case {
    KPD_ColorF color;
    const char* stroke;
  } cases[] = {
      {{KPD_COLOR_GRAY, {0.5f}}, "0.500 0.500 0.500 RG\n"},
      {{KPD_COLOR_RGB, {1, 0.25f, 0}}, "1.000 0.250 0.000 RG\n"},
      {{KPD_COLOR_CMYK, {0, 1, 1, 0}}, "1.000 0.000 0.000 RG\n"},
      {{KPD_COLOR_CMYK, {0, 0, 0, 1}}, "0.000 0.000 0.000 RG\n"},
      {{KPD_COLOR_NONE, {}}, "0.000 0.000 0.000 RG\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendStrokeColor(out, c.color);
    EXPECT_EQ(out, c.stroke);
  }
  std::string fill;
  AppendFillColor(fill, {KPD_COLOR_GRAY, {0.25f}});
  EXPECT_EQ(fill, "0.250 0.250 0.250 rg\n");
}

TEST(ApContent, PaintingOperatorFollowsColoursAndClosure) {
  struct Case {
    bool closed, fill, stroke;
    const char* op;
  } cases[] = {
      {true, true, true, "h\nB\n"}, {true, true, false, "f\n"},  {true, false, true, "h\nS\n"},
      {true, false, false, "n\n"},  {false, true, true, "S\n"},  {false, true, false, "n\n"},
      {false, false, true, "S\n"},  {false, false, false, "n\n"},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(PaintOperator(c.closed, c.fill, c.stroke), c.op) << c.closed << c.fill << c.stroke;
}

TEST(ApContent, OperatorFormats) {
  std::string out;
  AppendMoveTo(out, 1, 2.0005);
  AppendLineTo(out, -3.25, 4);
  AppendCurveTo(out, 1, 2, 3, 4, 5, 6);
  AppendRectangle(out, 10, 20, 30.5, 40);
  AppendLineState(out, 1.5, 2, true);
  AppendLineState(out, 1.5, 3, false);
  EXPECT_EQ(out,
            "1.000 2.001 m\n-3.250 4.000 l\n1.000 2.000 3.000 4.000 5.000 6.000 c\n10.000 20.000 30.500 40.000 re\n"
            "1.50 w\n0 J\n2 j\n1.500 w\n0 J\n0 j\n");
}

TEST(ApContent, PathElementsUseSixDecimalsWithLeadingBlanks) {
  CKW_PathImpl path;
  path.MoveTo({1, 2});
  path.LineTo({3.5f, -4});
  path.CurveTo({1, 2}, {3, 4}, {5, 6});
  EXPECT_EQ(path.Elements().size(), 3u);
  EXPECT_EQ(path.ToString(),
            " 1.000000 2.000000 m 3.500000 -4.000000 l 1.000000 2.000000 3.000000 4.000000 5.000000 6.000000 c");
}

// A host that switches to a decimal-comma locale still writes points.
TEST(ApContent, NumbersIgnoreTheProcessLocale) {
  const char* before = std::setlocale(LC_ALL, nullptr);
  std::string saved = before ? before : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5");  // the locale really is in force
  std::string out;
  AppendStrokeColor(out, {KPD_COLOR_GRAY, {0.5f}});
  AppendLineState(out, 0.5, 2, false);
  AppendRectangle(out, 0.5, 0.5, 9.5, 9);
  CKW_PathImpl path;
  path.MoveTo({0.5f, 1.25f});
  out += path.ToString();
  CKW_RichTextStyle style;
  style.fontSize = 12.5f;
  const std::u16string css = RichTextStyleToCss(style);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_NE(css.find(u"font-size:12.50pt"), std::u16string::npos);
  EXPECT_EQ(out, "0.500 0.500 0.500 RG\n0.50 w\n0 J\n0 j\n0.500 0.500 9.500 9.000 re\n 0.500000 1.250000 m");
}


}  // namespace
}  // namespace kwannotation
