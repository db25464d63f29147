// The shape generators against the real host: exact content, the box and
// /Rect, the transparency state, and bad input left alone.
#include "kwannotation/kw_appearance_kinds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_common.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_test_support.h"
#include "sdk/ks_number.h"

namespace kwannotation {
namespace {

using test::AppearanceTest;

std::vector<double> Numbers(const std::string& content) {
  std::vector<double> out;
  std::istringstream in(content);
  std::string token;
  while (in >> token)
    if (std::isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-') out.push_back(std::stod(token));
  return out;
}
namespace host = ks::host;

class ShapeAppearance : public AppearanceTest {
 protected:
  // Rebuilds the appearance and expects success.
  void Reset(KPD_Dictionary annot) {
    std::string reason;
    ASSERT_TRUE(RebuildAppearance(annot, &reason)) << reason;
  }
};

TEST_F(ShapeAppearance, SquareWithAndWithoutFill) {
  struct Case {
    const char* dict;
    const char* content;
  } cases[] = {
      {"<< /Subtype /Square /Rect [100 100 200 150] /C [1 0 0] /BS << /W 3 >> >>",
       "1.000 0.000 0.000 RG\n3.00 w\n0 J\n0 j\n102.000 102.000 96.000 46.000 re\nS\n"},
      {"<< /Subtype /Square /Rect [100 100 200 150] /C [1 0 0] /IC [0 0 1] /BS << /W 3 >> >>",
       "1.000 0.000 0.000 RG\n0.000 0.000 1.000 rg\n3.00 w\n0 J\n0 j\n102.000 102.000 96.000 46.000 re\nB\n"},
      // No border: only the interior is painted.
      {"<< /Subtype /Square /Rect [100 100 200 150] /C [1 0 0] /IC [0 0 1] /Border [0 0 0] >>",
       "1.000 0.000 0.000 RG\n0.000 0.000 1.000 rg\n100.000 100.000 100.000 50.000 re\nf\n"},
      // Neither colour: laid out only.
      {"<< /Subtype /Square /Rect [100 100 200 150] >>",
       "1.00 w\n0 J\n0 j\n100.667 100.667 98.667 48.667 re\nn\n"},
      // Dashed, with /RD insets.
      {"<< /Subtype /Square /Rect [100 100 200 150] /RD [10 5 10 5] /C [0] /BS << /W 1.5 /S /D /D [4.9 2] >> >>",
       "0.000 0.000 0.000 RG\n1.50 w\n0 J\n0 j\n[4 2]0 d\n111.000 106.000 78.000 38.000 re\nS\n"},
      // Dashes that are all zero once truncated are no pattern: solid.
      {"<< /Subtype /Square /Rect [100 100 200 150] /C [0 0 0] /BS << /W 3 /S /D /D [0.5 0.25] >> >>",
       "0.000 0.000 0.000 RG\n3.00 w\n0 J\n0 j\n102.000 102.000 96.000 46.000 re\nS\n"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Drawn(c.dict);
    EXPECT_EQ(Content(annot), c.content) << c.dict;
    EXPECT_EQ(Value(StreamDict(annot), "/BBox"), "[ 100 100 200 150 ]") << c.dict;
    EXPECT_EQ(Value(annot, "/Rect"), "[ 100 100 200 150 ]") << c.dict;
    EXPECT_EQ(Value(StreamDict(annot), "/Matrix"), "[ 1 0 0 1 0 0 ]");
    EXPECT_EQ(Value(StreamDict(annot), "/Subtype"), "/Form");
    EXPECT_EQ(Value(Resources(annot), "/ProcSet"), "[ /PDF ]");
    EXPECT_EQ(Value(Resources(annot), "/ExtGState"), "<absent>");
  }
}

// A border thicker than a third of the side: the inset sides cross and
// swap over, so the stroke covers the box instead of vanishing. A circle
// whose border is wider than its radius is a disc in the border's colour
// reaching to the stroke's outer edge (5.5 = |5 - 2 * 9 / 3| + 9 / 2), with
// no stroke whose inner edge would turn inside out.
TEST_F(ShapeAppearance, ThickBorderFillsTheBox) {
  struct Case {
    const char* dict;
    const char* path;
    const char* rect;  // grown to hold the whole stroke
  } cases[] = {
      {"<< /Subtype /Square /Rect [100 100 110 110] /C [1 0 0] /BS << /W 9 >> >>",
       "104.000 104.000 2.000 2.000 re\nS\n", "[ 99.5 99.5 110.5 110.5 ]"},
      {"<< /Subtype /Circle /Rect [100 100 110 110] /C [1 0 0] /BS << /W 9 >> >>",
       "1.000 0.000 0.000 rg\n110.500 105.000 m\n110.500 108.038 108.038 110.500 105.000 110.500 c\n",
       "[ 99.5 99.5 110.5 110.5 ]"},
      // Wide but flat: only the height's sides cross.
      {"<< /Subtype /Square /Rect [0 0 100 10] /C [1 0 0] /BS << /W 12 >> >>", "8.000 2.000 84.000 6.000 re\nS\n",
       "[ 0 -4 100 14 ]"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Drawn(c.dict);
    EXPECT_NE(Content(annot).find(c.path), std::string::npos) << c.dict << "\n" << Content(annot);
    EXPECT_EQ(Value(annot, "/Rect"), c.rect) << c.dict;
    if (std::string(c.dict).find("/Circle") != std::string::npos) {
      EXPECT_EQ(Content(annot).find("S\n"), std::string::npos) << Content(annot);
      EXPECT_EQ(Content(annot).substr(Content(annot).size() - 2), "f\n");
    }
  }

  // With an interior it is painted first, and the disc goes over it with
  // the border's opacity; a dashed border stays a stroke.
  KPD_Dictionary filled = Drawn(
      "<< /Subtype /Circle /Rect [100 100 110 110] /C [1 0 0] /IC [0 0 1] /CA 0.5 /ca 0.25 /BS << /W 9 >> >>");
  const std::string content = Content(filled);
  const size_t interior = content.find("106.000 105.000 m\n");
  const size_t disc = content.find("1.000 0.000 0.000 rg\n110.500 105.000 m\n");
  ASSERT_NE(interior, std::string::npos) << content;
  ASSERT_NE(disc, std::string::npos) << content;
  EXPECT_LT(interior, disc);
  EXPECT_EQ(Value(host::DictGet(Resources(filled), "/ExtGState"), "/TransGs"),
            "<< /AIS false /CA 0.5 /Type /ExtGState /ca 0.5 >>");
  KPD_Dictionary dashed =
      Drawn("<< /Subtype /Circle /Rect [100 100 110 110] /C [1 0 0] /BS << /W 9 /S /D /D [2 2] >> >>");
  EXPECT_NE(Content(dashed).find("106.000 105.000 m\n"), std::string::npos) << Content(dashed);
  EXPECT_NE(Content(dashed).find("S\n"), std::string::npos) << Content(dashed);
}

// /RD from a file: negative insets count as 0, insets that cross are
// scaled until they meet, and the figure stays inside /Rect.
TEST_F(ShapeAppearance, RectDifferencesAreReadLeniently) {
  struct Case {
    const char* rd;
    const char* path;
  } cases[] = {
      {"[10 5 10 5]", "110.000 105.000 80.000 40.000 re\n"},
      {"[-5 10 5 10]", "100.000 110.000 95.000 30.000 re\n"},
      // 80 and 40 on a width of 100 meet two thirds of the way across.
      {"[80 0 40 0]", "166.667 100.000 0.000 50.000 re\n"},
      {"[0 60 0 0]", "100.000 150.000 100.000 0.000 re\n"},
      {"[-1 -1 -1 -1]", "100.000 100.000 100.000 50.000 re\n"},
      {"[1 2 3]", "100.000 100.000 100.000 50.000 re\n"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Drawn(std::string("<< /Subtype /Square /Rect [100 100 200 150] /IC [0 0 1] /Border [0 0 0]"
                                             " /RD ") + c.rd + " >>");
    EXPECT_EQ(Content(annot), std::string("0.000 0.000 1.000 rg\n") + c.path + "f\n") << c.rd;
    EXPECT_EQ(Value(annot, "/Rect"), "[ 100 100 200 150 ]") << c.rd;
  }
}

TEST_F(ShapeAppearance, OpacityResourcesOnlyWhenNeeded) {
  struct Case {
    const char* extra;
    bool gs;
    const char* state;
  } cases[] = {
      {"", false, ""},
      {"/CA 1.0 /ca 1", false, ""},
      // /CA alone covers the fills too; an explicit /ca rules them.
      {"/CA 0.35", true, "<< /AIS false /CA 0.35 /Type /ExtGState /ca 0.35 >>"},
      {"/CA 0.5 /ca 1", true, "<< /AIS false /CA 0.5 /Type /ExtGState /ca 1 >>"},
      {"/ca 0.25", true, "<< /AIS false /CA 1 /Type /ExtGState /ca 0.25 >>"},
      {"/BM /Multiply", true, "<< /AIS false /BM /Multiply /CA 1 /Type /ExtGState /ca 1 >>"},
      {"/CA -1", false, ""},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot =
        Drawn(std::string("<< /Subtype /Circle /Rect [0 0 30 30] /C [0 1 0] /IC [1 1 0] ") + c.extra + " >>");
    std::string content = Content(annot);
    EXPECT_EQ(content.find("/TransGs gs\n") != std::string::npos, c.gs) << c.extra << "\n" << content;
    KPD_Object egs = host::DictGet(Resources(annot), "/ExtGState");
    if (c.gs)
      EXPECT_EQ(Value(egs, "/TransGs"), c.state) << c.extra;
    else
      EXPECT_EQ(egs, nullptr) << c.extra;
  }
}

TEST_F(ShapeAppearance, CircleFillOnlyAndNoColour) {
  KPD_Dictionary filled = Drawn("<< /Subtype /Circle /Rect [0 0 100 50] /IC [0 0 1] /BS << /W 0 >> >>");
  EXPECT_EQ(Content(filled),
            "0.000 0.000 1.000 rg\n100.000 25.000 m\n100.000 38.807 77.614 50.000 50.000 50.000 c\n"
            "22.386 50.000 0.000 38.807 0.000 25.000 c\n0.000 11.193 22.386 0.000 50.000 0.000 c\n"
            "77.614 0.000 100.000 11.193 100.000 25.000 c\nf\n");
  KPD_Dictionary bare = Drawn("<< /Subtype /Circle /Rect [0 0 100 50] >>");
  std::string content = Content(bare);
  EXPECT_EQ(content.substr(0, 31), "1.00 w\n0 J\n2 j\n99.333 25.000 m\n");
  EXPECT_EQ(content.substr(content.size() - 2), "n\n");
}

TEST_F(ShapeAppearance, RotatedEllipseGrowsTheBox) {
  KPD_Dictionary annot = Drawn("<< /Subtype /Circle /Rect [0 0 100 50] /C [1 0 0] /Border [0 0 0] /Rotation 90 >>");
  // Turned a quarter about (50, 25): the first point (100, 25) goes to
  // (50, 75); nothing is stroked without a border.
  EXPECT_EQ(Content(annot),
            "1.000 0.000 0.000 RG\n50.000 75.000 m\n36.193 75.000 25.000 52.614 25.000 25.000 c\n"
            "25.000 -2.614 36.193 -25.000 50.000 -25.000 c\n63.807 -25.000 75.000 -2.614 75.000 25.000 c\n"
            "75.000 52.614 63.807 75.000 50.000 75.000 c\nn\n");
  EXPECT_EQ(Value(annot, "/Rect"), "[ 0 -25 100 75 ]");
  EXPECT_EQ(Value(StreamDict(annot), "/BBox"), "[ 0 -25 100 75 ]");
}

TEST_F(ShapeAppearance, CloudySquareIsStableAcrossRebuilds) {
  KPD_Dictionary annot =
      Drawn("<< /Subtype /Square /Rect [100 100 200 150] /C [1 0 0] /IC [1 1 1] /BE << /S /C /I 1 >> >>");
  std::string first = Content(annot);
  EXPECT_EQ(first.substr(0, 57), "1.000 0.000 0.000 RG\n1.000 1.000 1.000 rg\n1.00 w\n0 J\n2 j\n");
  EXPECT_EQ(first.substr(first.size() - 4), "h\nB\n");
  EXPECT_EQ(first.find(" re\n"), std::string::npos);
  EXPECT_EQ(first.find(" l\n"), std::string::npos);
  // The bumps stick out of the rectangle; /Rect grows and /RD keeps the
  // drawing rectangle where it was.
  std::string rect = Value(annot, "/Rect");
  EXPECT_NE(rect, "[ 100 100 200 150 ]");
  EXPECT_EQ(Value(StreamDict(annot), "/BBox"), rect);
  ASSERT_NE(Value(annot, "/RD"), "<absent>");
  // A second rebuild draws the same cloud (up to the rounding of the
  // stored rectangle) in the same box.
  Reset(annot);
  std::vector<double> a = Numbers(first), b = Numbers(Content(annot));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 0.0015) << i;
  EXPECT_EQ(Value(annot, "/Rect"), rect);
}

// Other programs write some rectangles from the top right corner down; the
// shape is drawn in the rectangle they span, written back the right way up.
TEST_F(ShapeAppearance, UpsideDownRectanglesAreReadTheRightWayUp) {
  KPD_Dictionary polygon =
      Drawn("<< /Subtype /Polygon /Rect [100 100 0 0] /C [0 0 1] /Vertices [10 10 90 10 50 90] >>");
  EXPECT_EQ(Value(polygon, "/Rect"), "[ 0 0 100 100 ]");
  KPD_Dictionary square = Drawn("<< /Subtype /Square /Rect [10 50 50 10] /C [1 0 0] /BS << /W 2 >> >>");
  // The border inset by two thirds of its width on each side: 40 - 8/3 wide.
  EXPECT_EQ(Value(square, "/Rect"), "[ 10 10 50 50 ]");
  EXPECT_NE(Content(square).find("11.333 11.333 37.333 37.333 re"), std::string::npos) << Content(square);
}

TEST_F(ShapeAppearance, PolygonWithCurvesAndPolyLineWithEndings) {
  KPD_Dictionary polygon = Drawn(
      "<< /Subtype /Polygon /Rect [0 0 100 100] /C [0 0 1] /BS << /W 2 >> /Vertices [10 10 90 10 50 90]"
      " /Curves [1 100 30 80 70] >>");
  EXPECT_EQ(Content(polygon),
            "0.000 0.000 1.000 RG\n2.00 w\n0 J\n0 j\n10.000 10.000 m\n90.000 10.000 l\n"
            "100.000 30.000 80.000 70.000 50.000 90.000 c\nh\nS\n");
  EXPECT_EQ(Value(polygon, "/Rect"), "[ 0 0 101 100 ]");  // the control point at x 100 plus half the width

  KPD_Dictionary polyline = Drawn(
      "<< /Subtype /PolyLine /Rect [0 0 100 100] /C [1 0 0] /IC [0 1 0] /Vertices [10 50 50 50 50 90]"
      " /LE [/Square /ClosedArrow] >>");
  EXPECT_EQ(Content(polyline),
            "1.000 0.000 0.000 RG\n0.000 1.000 0.000 rg\n1.00 w\n0 J\n0 j\n10.000 50.000 m\n50.000 50.000 l\n"
            "50.000 90.000 l\nS\n"
            "13.000 53.000 m\n7.000 53.000 l\n7.000 47.000 l\n13.000 47.000 l\nh\nB\n"
            "53.000 83.804 m\n50.000 89.000 l\n47.000 83.804 l\n53.000 83.804 l\nh\nB\n");
}

TEST_F(ShapeAppearance, LineWithArrowAndLeaders) {
  struct Case {
    const char* dict;
    const char* content;
    const char* rect;
  } cases[] = {
      {"<< /Subtype /Line /Rect [0 0 1 1] /L [100 100 200 100] /C [0 0 1] /LE [/None /OpenArrow] >>",
       "0.000 0.000 1.000 RG\n1.000 w\n0 J\n0 j\n100.000 100.000 m\n200.000 100.000 l\nS\n"
       "193.804 97.000 m\n199.000 100.000 l\n193.804 103.000 l\nS\n",
       "[ 96 93 204 107 ]"},
      // "LineArrow" without /LE ends in an open arrow.
      {"<< /Subtype /Line /IT /LineArrow /L [100 100 200 100] /C [0 0 1] /BS << /W 2 >> >>",
       "0.000 0.000 1.000 RG\n2.000 w\n0 J\n0 j\n100.000 100.000 m\n200.000 100.000 l\nS\n"
       "188.608 94.000 m\n199.000 100.000 l\n188.608 106.000 l\nS\n",
       "[ 95 89 205 111 ]"},
      // A negative leader length puts the line below its end points.
      {"<< /Subtype /Line /L [100 100 200 100] /C [0 0 0] /LL -10 /LLE 5 /LLO 2 >>",
       "0.000 0.000 0.000 RG\n1.000 w\n0 J\n0 j\n100.000 88.000 m\n200.000 88.000 l\n"
       "100.000 98.000 m\n100.000 83.000 l\n200.000 98.000 m\n200.000 83.000 l\nS\n",
       "[ 96 79 204 102 ]"},
      {"<< /Subtype /Line /L [100 100 100 200] /C [0 0 0] /LL 10 >>",
       "0.000 0.000 0.000 RG\n1.000 w\n0 J\n0 j\n90.000 100.000 m\n90.000 200.000 l\n"
       "100.000 100.000 m\n90.000 100.000 l\n100.000 200.000 m\n90.000 200.000 l\nS\n",
       "[ 86 96 104 204 ]"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Drawn(c.dict);
    EXPECT_EQ(Content(annot), c.content) << c.dict;
    EXPECT_EQ(Value(annot, "/Rect"), c.rect) << c.dict;
    EXPECT_EQ(Value(StreamDict(annot), "/BBox"), c.rect) << c.dict;
  }
}

TEST_F(ShapeAppearance, LineCaptionColourAndFont) {
  KPD_Dictionary annot = Drawn(
      "<< /Subtype /Line /L [100 100 300 100] /C [1 0 0] /Cap true /CP /Top /Contents (12.5 mm) >>");
  std::string content = Content(annot);
  // The colour is 1 - (255 ^ 165) / 255 and 1 - (0 ^ 165) / 255. "12.5 mm"
  // is 3890/1000 em of Helvetica, 35.01 at 9 points, centred on x 200; its
  // baseline sits the half width, 2 and the descent (218/1000 em) above.
  EXPECT_NE(content.find("q BT\n0.647 0.353 0.353 rg\n/Helv 9.000 Tf\n1.000 0.000 0.000 1.000 182.495 104.462 Tm\n"),
            std::string::npos)
      << content;
  // The box reaches the caption's ascent (729/1000 em).
  EXPECT_EQ(Value(annot, "/Rect"), "[ 96 96 304 111.023 ]");
  EXPECT_NE(content.find("(12.5 mm) Tj\nET Q\n"), std::string::npos);
  // A caption offset that cannot be used leaves the caption where it would
  // be without one, and the line is still drawn.
  EXPECT_EQ(Content(Drawn("<< /Subtype /Line /L [100 100 300 100] /C [1 0 0] /Cap true /CP /Top /CO [0 99999999999] "
                          "/Contents (12.5 mm) >>")),
            content);
  KPD_Object fonts = host::DictGet(Resources(annot), "/Font");
  EXPECT_EQ(Value(fonts, "/Helv"), "<< /BaseFont /Helvetica /Encoding /WinAnsiEncoding /Subtype /Type1 /Type /Font >>");
  // Inline, the line is broken around the caption.
  KPD_Dictionary inlined = Drawn("<< /Subtype /Line /L [100 100 300 100] /C [0 0 0] /Cap true /Contents (12.5 mm) >>");
  const std::string head =
      "0.000 0.000 0.000 RG\n1.000 w\n0 J\n0 j\n100.000 100.000 m\n180.495 100.000 l\n219.505 100.000 m\n"
      "300.000 100.000 l\nS\n";
  EXPECT_EQ(Content(inlined).substr(0, head.size()), head);
  // /CC wins over the derived colour.
  KPD_Dictionary cc = Drawn(
      "<< /Subtype /Line /L [100 100 300 100] /C [1 0 0] /CC [0 0 1] /Cap true /Contents (a\\(b\\)) >>");
  content = Content(cc);
  EXPECT_NE(content.find("q BT\n0.000 0.000 1.000 rg\n"), std::string::npos) << content;
  EXPECT_NE(content.find("(a\\(b\\)) Tj"), std::string::npos) << content;
}

// The ink's strokes and box are checked against the drawing rules in
// kw_ink_appearance_test.cpp; a highlighter multiplies.
TEST_F(ShapeAppearance, InkHighlightMultiplies) {
  KPD_Dictionary highlight = Drawn("<< /Subtype /Ink /IT /InkHighlight /C [1 1 0] /InkList [[0 0 50 50]] >>");
  EXPECT_NE(Content(highlight).find("/TransGs gs\n"), std::string::npos);
  EXPECT_EQ(Value(host::DictGet(Resources(highlight), "/ExtGState"), "/TransGs"),
            "<< /AIS false /BM /Multiply /CA 1 /Type /ExtGState /ca 1 >>");
}

// A line ending on a curved polyline segment follows the curve's tangent at
// the end point, not the chord.
TEST_F(ShapeAppearance, PolyLineEndingsFollowTheCurve) {
  struct Case {
    const char* curves;
    const char* endings;
  } cases[] = {
      // An arch from (10, 50) up and over to (50, 50): both ends meet the
      // base going straight down.
      {"[0 10 90 50 90]", "13.000 50.000 m\n7.000 50.000 l\nS\n47.000 56.196 m\n50.000 51.000 l\n53.000 56.196 l\nS\n"},
      // A control point on the end point itself gives no direction; the
      // other one does: the start is met from the upper right.
      {"[0 10 50 50 90]", "12.121 47.879 m\n7.879 52.121 l\nS\n47.000 56.196 m\n50.000 51.000 l\n53.000 56.196 l\nS\n"},
      // Straight: along the chord.
      {"[]", "10.000 47.000 m\n10.000 53.000 l\nS\n43.804 47.000 m\n49.000 50.000 l\n43.804 53.000 l\nS\n"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Drawn(std::string("<< /Subtype /PolyLine /Rect [0 0 100 100] /C [0 0 0]"
                                             " /Vertices [10 50 50 50] /LE [/Butt /OpenArrow] /Curves ") +
                                 c.curves + " >>");
    std::string content = Content(annot);
    size_t path = content.find("S\n");
    ASSERT_NE(path, std::string::npos);
    EXPECT_EQ(content.substr(path + 2), c.endings) << c.curves;
  }
}

TEST_F(ShapeAppearance, BadInputIsSkippedAndKeepsTheOldAppearance) {
  std::string longDash = "[";
  for (int i = 0; i < 10000; ++i) longDash += "3 ";
  longDash += "]";
  struct Case {
    std::string dict;
    const char* reason;
  } cases[] = {
      {"/Subtype /Square /Rect [10 10 10 50]", "empty /Rect"},
      {"/Subtype /Polygon /Rect [10 50 50 50] /Vertices [10 50 30 50 50 50]", "empty /Rect"},
      {"/Subtype /Circle /Rect [0 0 1000000000000000000000000000000.0 50]", "/Rect out of range"},
      {"/Subtype /Circle /Rect [0 0 100000000000 50]", "/Rect out of range"},
      {"/Subtype /Circle /Rect [0 0 10 10] /C [1 0]", "malformed /C"},
      {"/Subtype /Polygon /Rect [0 0 10 10] /Vertices [1 2 3 4 5]", "/Vertices of odd length"},
      {"/Subtype /Polygon /Rect [0 0 10 10] /Vertices [1 2 (x) 4]", "missing or malformed /Vertices"},
      {"/Subtype /PolyLine /Rect [0 0 10 10] /Vertices [1 2]", "fewer than two vertices"},
      {"/Subtype /Ink /InkList [1 2 3 4]", "/InkList holds a non-array"},
      {"/Subtype /Ink /InkList [[1 2] /Foo]", "/InkList holds a non-array"},
      {"/Subtype /Ink /InkList []", "/InkList has no strokes"},
      {"/Subtype /Square /Rect [0 0 10 10] /BE << /S /C /I 1000000000 >>", "cloud intensity out of range"},
      {"/Subtype /Square /Rect [0 0 10 10] /BS << /S /D /D " + longDash + " >>", "dash array too long"},
      {"/Subtype /Square /Rect [0 0 10 10] /BS << /W 1000000000000 >>", "border width out of range"},
      {"/Subtype /Line /L [0 0 10]", "missing or malformed /L"},
      {"/Subtype /Line /L [0 0 10 10] /LL -100000000000000000000.0", "leader out of range"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Add("<< " + c.dict + " /AP << >> >>");
    KPD_Stream old = host::DocNewStream(doc_, "0 g", 3);
    host::DictSet(host::DictGet(annot, "/AP"), "/N", old);
    std::string before = Value(annot, "/AP") + Value(annot, "/Rect");
    std::string reason;
    EXPECT_FALSE(RebuildAppearance(annot, &reason)) << c.dict.substr(0, 80);
    EXPECT_EQ(reason, c.reason) << c.dict.substr(0, 80);
    EXPECT_EQ(Value(annot, "/AP") + Value(annot, "/Rect"), before);
    EXPECT_TRUE(host::ObjectIsIdentical(Normal(annot), old));
  }
}

TEST_F(ShapeAppearance, ReplacingKeepsFontsAndOtherAppearances) {
  KPD_Dictionary annot = Add("<< /Subtype /Square /Rect [0 0 10 10] /C [0 0 0] /AP << >> >>");
  KPD_Dictionary ap = host::DictGet(annot, "/AP");
  KPD_Stream oldStream = host::DocNewStream(doc_, "BT /F1 9 Tf ET", 14);
  host::DictSet(host::StreamGetDict(oldStream), "/Resources", test::Parse("<< /Font << >> >>").get());
  KPD_Object fontRef = Indirect("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
  host::DictSet(host::DictGet(host::DictGet(host::StreamGetDict(oldStream), "/Resources"), "/Font"), "/F1", fontRef);
  host::DictSet(ap, "/N", oldStream);
  KPD_Stream down = host::DocNewStream(doc_, "", 0);
  host::DictSet(ap, "/D", down);

  Reset(annot);
  EXPECT_FALSE(host::ObjectIsIdentical(Normal(annot), oldStream));
  ASSERT_TRUE(fontRef);
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(host::DictGet(Resources(annot), "/Font"), "/F1"), fontRef));
  EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(ap, "/D"), down));
}

TEST_F(ShapeAppearance, TransparencyStateRenamesXjcAndClearsWhenOpaque) {
  KPD_Stream stream = host::DocNewStream(doc_, "", 0);
  host::DictSet(host::StreamGetDict(stream), "/Resources",
                test::Parse("<< /ExtGState << /XJC << /Type /ExtGState /CA 0.3 >> >> >>").get());
  ASSERT_TRUE(SetTransparencyGState(stream, "TransGs", 0.5f, 0.75f, doc_, true, ""));
  KPD_Object egs = host::DictGet(host::DictGet(host::StreamGetDict(stream), "/Resources"), "/ExtGState");
  EXPECT_EQ(Value(egs, "/XJC"), "<absent>");
  EXPECT_EQ(Value(egs, "/TransGs"), "<< /AIS false /CA 1 /Type /ExtGState /ca 0.75 >>");
  ASSERT_TRUE(SetTransparencyGState(stream, "TransGs", 1.0f, -1.0f, doc_, false, ""));
  EXPECT_EQ(Value(host::DictGet(host::StreamGetDict(stream), "/Resources"), "/ExtGState"), "<absent>");
}

TEST_F(ShapeAppearance, DispatchByKindAndReuseInPlace) {
  struct Case {
    const char* subtype;
    bool drawn;
    const char* kind;
  } cases[] = {{"/Square", true, "Square"}, {"/Circle", true, "Circle"}, {"/Polygon", true, "Polygon"},
               {"/PolyLine", true, "PolyLine"}, {"/Line", true, "Line"}, {"/Ink", true, "Ink"},
               {"/Link", false, "Link"}, {"(Square)", false, ""}};
  for (const Case& c : cases) {
    KPD_Dictionary annot = Add(std::string("<< /Subtype ") + c.subtype + " /Rect [0 0 50 50] /C [1 0 0]"
                               " /Vertices [0 0 50 50] /L [0 0 50 50] /InkList [[0 0 50 50]] >>");
    std::string kind = "x";
    ShapeAppearanceFn fn = AppearanceFor(annot, &kind);
    EXPECT_EQ(fn != nullptr, c.drawn) << c.subtype;
    EXPECT_EQ(kind, c.kind);
    if (!fn) continue;
    std::string reason;
    ASSERT_TRUE(fn(annot, &reason, {})) << reason;
    KPD_Stream first = Normal(annot);
    std::string content = Content(annot);
    // In place: the same stream object, the same drawing.
    ASSERT_TRUE(fn(annot, &reason, {true})) << reason;
    EXPECT_TRUE(host::ObjectIsIdentical(Normal(annot), first)) << c.subtype;
    EXPECT_EQ(Content(annot), content);
    // Replaced: a new stream.
    ASSERT_TRUE(fn(annot, &reason, {})) << reason;
    EXPECT_FALSE(host::ObjectIsIdentical(Normal(annot), first)) << c.subtype;
  }
}

TEST_F(ShapeAppearance, ComputingWritesNothingAndTheApplierWritesWhatWasComputed) {
  // A border wider than the box: the figure grows /Rect and /RD.
  const char* text = "<< /Subtype /Square /Rect [0 0 20 10] /C [1 0 0] /BS << /W 30 >> /CA 0.5 /RD [1 1 1 1] >>";
  KPD_Dictionary annot = Add(text);
  KPD_Dictionary twin = Add(text);
  const std::string before = test::Write(annot);

  CKW_MarkupAnnotImpl view(annot, KW_ANNOT_SQUARE, nullptr);
  ShapeAppearanceResult result;
  std::string reason;
  ASSERT_TRUE(ComputeShapeAppearance(view, &result, &reason)) << reason;
  EXPECT_EQ(test::Write(annot), before);
  EXPECT_TRUE(result.setRect);
  EXPECT_TRUE(result.setInsets);

  ASSERT_TRUE(CKW_AppearanceWriter::Apply(view, result, {}, &reason)) << reason;
  ASSERT_TRUE(RebuildAppearance(twin, &reason)) << reason;
  EXPECT_EQ(Content(annot), result.content);
  EXPECT_EQ(Content(annot), Content(twin));
  for (const char* key : {"/Rect", "/RD"}) EXPECT_EQ(Value(annot, key), Value(twin, key)) << key;
  EXPECT_EQ(Value(StreamDict(annot), "/BBox"), Value(StreamDict(twin), "/BBox"));
  EXPECT_EQ(Value(Resources(annot), "/ExtGState"), Value(Resources(twin), "/ExtGState"));

  // What no generator can draw is refused before anything is written.
  KPD_Dictionary bad = Add("<< /Subtype /Square /Rect [0 0 10 10] /C [1 0] >>");
  CKW_MarkupAnnotImpl badView(bad, KW_ANNOT_SQUARE, nullptr);
  EXPECT_FALSE(ComputeShapeAppearance(badView, &result, &reason));
  EXPECT_EQ(reason, "malformed /C");
  CKW_MarkupAnnotImpl note(Add("<< /Subtype /Text /Rect [0 0 10 10] >>"), KW_ANNOT_TEXT, nullptr);
  EXPECT_FALSE(ComputeShapeAppearance(note, &result, &reason));
}

// The applier refuses content composed with a number that is not finite,
// and only that: words holding "inf" or "nan" are text like any other, and
// a number written before a result was begun does not count against it.
TEST_F(ShapeAppearance, OnlyNumbersThatAreNotFiniteAreRefused) {
  KPD_Dictionary annot = Add("<< /Subtype /Square /Rect [0 0 20 10] >>");
  CKW_MarkupAnnotImpl view(annot, KW_ANNOT_SQUARE, nullptr);
  std::string reason;

  ShapeAppearanceResult bad;
  bad.bbox = {0, 0, 20, 10};
  AppendMoveTo(bad.content, 0, 0);
  AppendLineTo(bad.content, std::nan(""), 5);
  EXPECT_FALSE(CKW_AppearanceWriter::Apply(view, bad, {}, &reason));
  EXPECT_EQ(reason, "geometry is not finite");
  EXPECT_EQ(Value(annot, "/AP"), "<absent>");

  ShapeAppearanceResult words;
  words.bbox = {0, 0, 20, 10};
  words.content = "BT\n/Helv 9 Tf\n";
  AppendTextMatrix(words.content, {1, 0, 0, 1, 2, 2});
  words.content += "(Financial information, Maintenance: nan and inf) Tj\nET\n";
  ASSERT_TRUE(CKW_AppearanceWriter::Apply(view, words, {}, &reason)) << reason;
  EXPECT_EQ(Content(annot), words.content);
}

// The drawing takes every value from the object model, so the two cannot
// read one key differently.
TEST_F(ShapeAppearance, TheDrawingShowsWhatTheModelReads) {
  struct Case {
    const char* keys;
  } cases[] = {
      {"/Border [0 0 2 []]"},              // an empty dash array still dashes
      {"/Border [0 0 3 [4 2]]"},
      {"/Border [0 0 1.5]"},
      {"/BS << /W 2 /S /D >>"},            // dashed without its own pattern
      {"/BS << /W 2 /S /D /D [5] >> /Border [0 0 7 [1 1]]"},  // /BS wins
      {"/BS << /W -4 >>"},                 // a negative width draws nothing
      {"/BS << /S /U >> /BE << /S /S >>"},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = Add(std::string("<< /Subtype /Square /Rect [0 0 40 40] /C [0 0 1] ") + c.keys + " >>");
    CKW_MarkupAnnotImpl view(annot, KW_ANNOT_SQUARE, nullptr);
    KwBorderInfo border;
    view.GetBorderInfo(&border);
    std::string reason;
    ASSERT_TRUE(RebuildAppearance(annot, &reason)) << c.keys << ": " << reason;
    const std::string content = Content(annot);
    EXPECT_EQ(border.style == KW_BORDER_DASH, content.find(" d\n") != std::string::npos) << c.keys << "\n" << content;
    if (border.width > 0) {
      EXPECT_NE(content.find(ks::FormatFixed(border.width, 2) + " w\n"), std::string::npos) << c.keys << "\n" << content;
    } else {
      EXPECT_EQ(content.find(" w\n"), std::string::npos) << c.keys << "\n" << content;
    }
  }

  // /Rotation is read in whole degrees, by the model and by the drawing.
  KPD_Dictionary fractional = Add("<< /Subtype /Circle /Rect [0 0 100 50] /C [1 0 0] /Rotation 45.4 >>");
  KPD_Dictionary whole = Add("<< /Subtype /Circle /Rect [0 0 100 50] /C [1 0 0] /Rotation 45 >>");
  int32_t degrees = 0;
  ASSERT_TRUE(CKW_MarkupAnnotImpl(fractional, KW_ANNOT_CIRCLE, nullptr).GetRotation(&degrees));
  EXPECT_EQ(degrees, 45);
  ASSERT_TRUE(RebuildAppearance(fractional, nullptr));
  ASSERT_TRUE(RebuildAppearance(whole, nullptr));
  EXPECT_EQ(Content(fractional), Content(whole));

  // Fill opacity falls back to /CA, as the model reads it.
  KPD_Dictionary onlyCA = Add("<< /Subtype /Square /Rect [0 0 10 10] /IC [1 0 0] /CA 0.25 >>");
  CKW_MarkupAnnotImpl onlyCAView(onlyCA, KW_ANNOT_SQUARE, nullptr);
  EXPECT_FLOAT_EQ(onlyCAView.GetFillOpacity(), 0.25f);
  ASSERT_TRUE(RebuildAppearance(onlyCA, nullptr));
  EXPECT_NE(Value(Resources(onlyCA), "/ExtGState").find("/ca 0.25"), std::string::npos)
      << Value(Resources(onlyCA), "/ExtGState");
}

}  // namespace
}  // namespace kwannotation
