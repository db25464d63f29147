// Text markup, caret, icon and stamp appearances against the real host:
// quadrilateral orders, exact content where it matters, the graphics
// states, and bad input that keeps the old appearance.
#include "kwannotation/kw_markup_appearance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_test_support.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_icon_appearance.h"
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_xfdf.h"

namespace kwannotation {
namespace {

using test::AppearanceTest;
namespace host = ks::host;

bool Same(KS_FloatPoint a, KS_FloatPoint b) { return a.x == b.x && a.y == b.y; }

TEST(MarkupQuads, EveryCornerOrderGivesTheSameQuad) {
  // Upper-left (10,30), upper-right (50,30), lower-left (10,20), lower-right (50,20).
  const std::vector<std::vector<float>> orders = {
      {10, 30, 50, 30, 10, 20, 50, 20},  // upper edge, then baseline
      {10, 20, 50, 20, 10, 30, 50, 30},  // baseline, then upper edge
      {10, 20, 50, 20, 50, 30, 10, 30},  // round from the baseline, counter-clockwise
      {10, 30, 50, 30, 50, 20, 10, 20},  // round from the upper edge, clockwise
  };
  for (const auto& values : orders) {
    std::vector<MarkupQuad> quads;
    std::string reason;
    ASSERT_TRUE(MarkupQuadsFromPoints(values, &quads, &reason)) << reason;
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_TRUE(Same(quads[0].ul, {10, 30}) && Same(quads[0].ur, {50, 30}) && Same(quads[0].ll, {10, 20}) &&
                Same(quads[0].lr, {50, 20}))
        << values[0] << "," << values[1] << " first";
  }
  // Text turned a quarter: the baseline runs upwards on the right.
  std::vector<MarkupQuad> quads;
  ASSERT_TRUE(MarkupQuadsFromPoints({20, 10, 20, 50, 30, 10, 30, 50}, &quads, nullptr));
  EXPECT_TRUE(Same(quads[0].ll, {30, 10}) && Same(quads[0].lr, {30, 50}));
}

TEST(MarkupQuads, BadQuadPoints) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    std::vector<float> values;
    size_t quads;  // 0: refused
  } cases[] = {
      {{10, 30, 50, 30, 10, 20, 50, 20, 99}, 1},                           // odd: the tail is ignored
      {{10, 30, 50, 30, 10, 20, 50, 20, 1, 2, 3, 4, 5, 6}, 1},             // not a multiple of 8
      {{10, 30, 50, 30, 10, 20, 50, 20, 5, 5, 5, 5, 5, 5, 5, 5}, 1},       // a degenerate quad is skipped
      {{5, 5, 5, 5, 5, 5, 5, 5}, 0},                                       // nothing with an area
      {{10, 30, 50, 30, 10, 20, 50, nan}, 0},                              // NaN
      {{10, 30, 50, 30, 10, 20, 50, 1e30f}, 0},                            // beyond any page
      {{1, 2, 3}, 0},                                                      // no complete quad
  };
  for (const Case& c : cases) {
    std::vector<MarkupQuad> quads;
    std::string reason;
    bool ok = MarkupQuadsFromPoints(c.values, &quads, &reason);
    EXPECT_EQ(ok, c.quads > 0) << c.values.size() << " numbers";
    if (ok) EXPECT_EQ(quads.size(), c.quads);
    if (!ok) EXPECT_FALSE(reason.empty());
  }
}

class MarkupAppearance : public AppearanceTest {
 protected:
  bool Reset(KPD_Dictionary annot, std::string* reason = nullptr) {
    std::string kind, ignored;
    ShapeAppearanceFn fn = AppearanceFor(annot, &kind);
    EXPECT_NE(fn, nullptr) << kind;
    return fn && fn(annot, reason ? reason : &ignored, {});
  }
  KPD_Object State(KPD_Dictionary annot, const char* name) {
    KPD_Object egs = host::DictGet(Resources(annot), "/ExtGState");
    return egs ? host::DictGet(egs, name) : nullptr;
  }
};

TEST_F(MarkupAppearance, HighlightFillsItsQuadsAsOnePathAndMultiplies) {
  KPD_Dictionary a = Add(
      "<< /Subtype /Highlight /Rect [0 0 1 1] /C [1 1 0] /QuadPoints [10 30 50 30 10 20 50 20 60 30 90 30 60 20 90 "
      "20] >>");
  std::string reason;
  ASSERT_TRUE(Reset(a, &reason)) << reason;
  EXPECT_EQ(Content(a),
            "/TransGs gs 1.000000 1.000000 0.000000 rg \n"
            "10.000 30.000 m 50.000 30.000 l 50.000 20.000 l 10.000 20.000 l h\n"
            "60.000 30.000 m 90.000 30.000 l 90.000 20.000 l 60.000 20.000 l h\nf\n");
  EXPECT_EQ(Value(a, "/Rect"), "[ 10 20 90 30 ]");
  EXPECT_EQ(Value(State(a, "/TransGs"), "/BM"), "/Multiply");

  // Without a colour nothing is painted, but the box is still set.
  KPD_Dictionary bare = Drawn("<< /Subtype /Highlight /Rect [0 0 1 1] /QuadPoints [10 30 50 30 10 20 50 20] >>");
  EXPECT_NE(Content(bare).find("h\nn\n"), std::string::npos) << Content(bare);
  EXPECT_EQ(Value(bare, "/Rect"), "[ 10 20 50 30 ]");
}

TEST_F(MarkupAppearance, LineKindsDrawWhereTheyBelong) {
  // A 16 high piece of text: line width 2.
  const char* quads = "/QuadPoints [10 36 50 36 10 20 50 20]";
  KPD_Dictionary under = Add(std::string("<< /Subtype /Underline /Rect [0 0 1 1] /C [0 0 1] ") + quads + " >>");
  KPD_Dictionary strike = Add(std::string("<< /Subtype /StrikeOut /Rect [0 0 1 1] /C [1 0 0] ") + quads + " >>");
  KPD_Dictionary squiggly = Add(std::string("<< /Subtype /Squiggly /Rect [0 0 1 1] /C [0 1 0] ") + quads + " >>");
  for (KPD_Dictionary a : {under, strike, squiggly}) ASSERT_TRUE(Reset(a));
  EXPECT_EQ(Content(under), "/TransGs gs 0.000000 0.000000 1.000000 RG\n2.000 w 10.000 20.000 m 50.000 20.000 l S\n");
  EXPECT_EQ(Value(State(under, "/TransGs"), "/SA"), "true");
  EXPECT_EQ(Content(strike), "1.000000 0.000000 0.000000 RG\n2.000 w 10.000 28.000 m 50.000 28.000 l S\n");
  EXPECT_EQ(Value(under, "/Rect"), "[ 9 19 51 37 ]");
  // The squiggle stays on the baseline, rising by an eighth of the height.
  std::string wave = Content(squiggly);
  EXPECT_EQ(wave.rfind("0.000000 1.000000 0.000000 RG\n2.000 w 10.000 20.000 m ", 0), 0u) << wave;
  EXPECT_NE(wave.find(" 22.000 l "), std::string::npos) << wave;
  EXPECT_NE(wave.find("50.000 2"), std::string::npos) << wave;
  size_t points = 0;
  for (size_t at = wave.find(" l "); at != std::string::npos; at = wave.find(" l ", at + 1), ++points) {
    std::string y = wave.substr(at - 6, 6);
    EXPECT_TRUE(y == "20.000" || y == "22.000") << y;
  }
  EXPECT_GT(points, 10u);
}

TEST_F(MarkupAppearance, BadQuadPointsKeepTheOldAppearance) {
  const char* dicts[] = {
      "<< /Subtype /Highlight /Rect [0 0 1 1] /C [1 1 0] /AP << /X 1 >> >>",
      "<< /Subtype /Highlight /Rect [0 0 1 1] /C [1 1 0] /QuadPoints [1 1 1 1 1 1 1 1] >>",
      "<< /Subtype /Underline /Rect [0 0 1 1] /C [1 1 0] /QuadPoints [1 2 3] >>",
      "<< /Subtype /StrikeOut /Rect [0 0 1 1] /C [1 1 0] /QuadPoints (text) >>",
  };
  for (const char* d : dicts) {
    KPD_Dictionary a = Add(d);
    std::string before = Value(a, "/AP"), reason;
    EXPECT_FALSE(Reset(a, &reason)) << d;
    EXPECT_FALSE(reason.empty()) << d;
    EXPECT_EQ(Value(a, "/AP"), before) << d;
    EXPECT_EQ(Value(a, "/Rect"), "[ 0 0 1 1 ]") << d;
  }
}

TEST_F(MarkupAppearance, CaretDrawsAWedgeInItsOwnState) {
  KPD_Dictionary a = Drawn("<< /Subtype /Caret /Rect [100 100 112 120] /C [0 0 1] /CA 0.5 /Sy /None >>");
  const std::string c = Content(a);
  EXPECT_EQ(c.rfind("/XTTrans gs \n0.000 0.000 1.000 RG ", 0), 0u) << c;
  // Feet on the bottom edge, the apex in the middle.
  EXPECT_NE(c.find(" 0 m\n6.0000 "), std::string::npos) << c;
  EXPECT_NE(c.find(" 0 l\nS\n"), std::string::npos) << c;
  EXPECT_EQ(c.find(" f\n"), std::string::npos) << c;  // no paragraph mark
  KPD_Object gs = State(a, "/XTTrans");
  EXPECT_EQ(Value(gs, "/BM"), "/Multiply");
  EXPECT_EQ(Value(gs, "/CA"), "0.5");
  EXPECT_EQ(Value(StreamDict(a), "/BBox"), "[ 0 0 12 20 ]");
  EXPECT_EQ(Value(a, "/Rect"), "[ 100 100 112 120 ]");

  KPD_Dictionary p = Drawn("<< /Subtype /Caret /Rect [100 100 130 120] /C [0 0 1] /Sy /P >>");
  EXPECT_NE(Content(p).find(" c\nf\n"), std::string::npos) << Content(p);
  KPD_Dictionary none = Add("<< /Subtype /Caret /Rect [100 100 100 120] >>");
  EXPECT_FALSE(Reset(none));
}

TEST_F(MarkupAppearance, EveryNoteIconIsDrawnAndUnknownOnesDrawTheNote) {
  const char* names[] = {"Check",        "Circle",    "Comment",    "Cross",        "Help",
                         "Insert",       "NewParagraph", "Note",    "Paragraph",    "RightArrow",
                         "RightPointer", "Star",      "UpArrow",    "UpLeftArrow"};
  std::vector<std::string> seen;
  for (const char* name : names) {
    KPD_Dictionary a =
        Drawn(std::string("<< /Subtype /Text /Rect [100 700 120 720] /C [0 0 1] /Name /") + name + " >>");
    std::string c = Content(a);
    EXPECT_EQ(c.rfind("0.600 w\n0.000 0.000 0.000 RG\n0.000 0.000 1.000 rg\n", 0), 0u) << name << c;
    EXPECT_NE(c.find(" B*\n"), std::string::npos) << name;
    for (const std::string& other : seen) EXPECT_NE(c, other) << name << " draws like another icon";
    seen.push_back(c);
    EXPECT_EQ(Value(a, "/Rect"), "[ 100 700 120 720 ]") << name;
  }
  KPD_Dictionary unknown = Add("<< /Subtype /Text /Rect [100 700 120 720] /C [0 0 1] /Name /NoSuchIcon >>");
  KPD_Dictionary unnamed = Add("<< /Subtype /Text /Rect [100 700 120 720] /C [0 0 1] >>");
  ASSERT_TRUE(Reset(unknown));
  ASSERT_TRUE(Reset(unnamed));
  EXPECT_EQ(Content(unknown), seen[7]);
  EXPECT_EQ(Content(unnamed), seen[7]);

  // A larger /Rect keeps the icon at its size in the upper-left corner.
  KPD_Dictionary big = Drawn("<< /Subtype /Text /Rect [100 600 200 700] /Name /Star /CA 0.4 >>");
  EXPECT_EQ(Value(big, "/Rect"), "[ 100 680 120 700 ]");
  EXPECT_EQ(Value(State(big, "/TransGs"), "/CA"), "0.4");
  EXPECT_EQ(Content(big).rfind("/TransGs gs\n", 0), 0u);

  // A tiny /Rect gets the same 20-point icon as a large one, not a dot.
  KPD_Dictionary tiny = Drawn("<< /Subtype /Text /Rect [100 600 102.8 602.8] >>");
  EXPECT_EQ(Value(tiny, "/Rect"), "[ 100 582.8 120 602.8 ]");
  EXPECT_EQ(Value(StreamDict(tiny), "/Matrix"), "[ 1 0 0 1 100 582.8 ]");
  // A tiny box turned 45 degrees: the icon's bounds are 20 x sqrt 2 =
  // 28.28 square and hang from the corner; drawing it again leaves
  // everything in place.
  KPD_Dictionary turned = Drawn("<< /Subtype /Text /Rect [100 600 102 602] /Rotate 45 >>");
  const std::string rect = Value(turned, "/Rect"), matrix = Value(StreamDict(turned), "/Matrix");
  std::vector<float> r;
  ASSERT_EQ(dict::ReadNumbers(host::DictGet(turned, "/Rect"), r, 4), 4u);
  EXPECT_NEAR(r[0], 100, 1e-3);
  EXPECT_NEAR(r[3], 602, 1e-3);
  EXPECT_NEAR(r[2] - r[0], 20 * std::sqrt(2.0), 1e-3);
  EXPECT_NEAR(r[3] - r[1], 20 * std::sqrt(2.0), 1e-3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(Reset(turned));
    EXPECT_EQ(Value(turned, "/Rect"), rect);
    EXPECT_EQ(Value(StreamDict(turned), "/Matrix"), matrix);
  }
}

// Notes written by other programs keep the box they were shown in: the
// icon's 20-point square is fitted into it, centred. A point or an area
// that is no icon box gets the standard 20-point box instead.
TEST_F(MarkupAppearance, NotesKeepTheirProducersBoxAndFitTheIconInIt) {
  struct Case {
    const char* rect;
    float left, bottom, right, top;
  } kept[] = {
      {"[100 82 118 100]", 100, 82, 118, 100},      // iText, 18 by 18
      {"[10 10 34 34]", 10, 10, 34, 34},            // 24 by 24
      {"[300 500 320 518]", 300, 500, 320, 518},    // 20 wide, 18 high
      {"[200 300 210 336]", 200, 300, 210, 336},    // narrow and tall
      {"[480 677.2 487.2 684.4]", 480, 677.2f, 487.2f, 684.4f},  // 7.2 square
  };
  for (const Case& c : kept) {
    SCOPED_TRACE(c.rect);
    KPD_Dictionary a = Drawn(std::string("<< /Subtype /Text /Name /Comment /Rect ") + c.rect + " >>");
    std::vector<float> r, m;
    ASSERT_EQ(dict::ReadNumbers(host::DictGet(a, "/Rect"), r, 4), 4u);
    EXPECT_EQ(r, (std::vector<float>{c.left, c.bottom, c.right, c.top}));
    // The icon's square, as large as the box's shorter side, in its middle.
    const double w = double(c.right) - c.left, h = double(c.top) - c.bottom, side = std::min(w, h);
    ASSERT_EQ(dict::ReadNumbers(host::DictGet(StreamDict(a), "/Matrix"), m, 6), 6u);
    EXPECT_NEAR(m[0], side / 20, 1e-5);
    EXPECT_NEAR(m[3], side / 20, 1e-5);
    EXPECT_NEAR(m[1], 0, 1e-6);
    EXPECT_NEAR(m[2], 0, 1e-6);
    EXPECT_NEAR(m[4], c.left + (w - side) / 2, 1e-3);
    EXPECT_NEAR(m[5], c.bottom + (h - side) / 2, 1e-3);
    EXPECT_EQ(Value(StreamDict(a), "/BBox"), "[ 0 0 20 20 ]");
  }

  // Turned 90 degrees in a square box it fills the box; turned 45 its
  // square's corners touch the box's sides, and the box stays.
  KPD_Dictionary quarter = Drawn("<< /Subtype /Text /Rect [100 100 118 118] /Rotate 90 >>");
  EXPECT_EQ(Value(quarter, "/Rect"), "[ 100 100 118 118 ]");
  EXPECT_EQ(Value(StreamDict(quarter), "/Matrix"), "[ 0 0.9 -0.9 0 118 100 ]");
  KPD_Dictionary eighth = Drawn("<< /Subtype /Text /Rect [100 600 120 620] /Rotate 45 >>");
  EXPECT_EQ(Value(eighth, "/Rect"), "[ 100 600 120 620 ]");
  std::vector<float> m;
  ASSERT_EQ(dict::ReadNumbers(host::DictGet(StreamDict(eighth), "/Matrix"), m, 6), 6u);
  // The design's corner (0, 0) lands on the middle of the box's bottom.
  EXPECT_NEAR(std::hypot(m[0], m[1]), 1 / std::sqrt(2.0), 1e-5);
  EXPECT_NEAR(m[4], 110, 1e-3);
  EXPECT_NEAR(m[5], 600, 1e-3);

  // A box of no area, or one the size of a page, gets the standard box
  // hanging from its upper-left corner.
  KPD_Dictionary point = Drawn("<< /Subtype /Text /Rect [50 50 50 50] >>");
  EXPECT_EQ(Value(point, "/Rect"), "[ 50 30 70 50 ]");
  KPD_Dictionary area = Drawn("<< /Subtype /Text /Rect [0 0 612 400] >>");
  EXPECT_EQ(Value(area, "/Rect"), "[ 0 380 20 400 ]");
}

TEST_F(MarkupAppearance, FileAttachmentIcons) {
  std::vector<std::string> seen;
  for (const char* name : {"Graph", "Paperclip", "PushPin", "VenkoFlag"}) {
    KPD_Dictionary a = Drawn(std::string("<< /Subtype /FileAttachment /Rect [10 10 30 30] /Name /") + name + " >>");
    for (const std::string& other : seen) EXPECT_NE(Content(a), other) << name;
    seen.push_back(Content(a));
  }
  KPD_Dictionary unnamed = Drawn("<< /Subtype /FileAttachment /Rect [10 10 30 30] >>");
  EXPECT_EQ(Content(unnamed), seen[2]);
  EXPECT_EQ(KW_IconToDraw("FileAttachment", "Graph"), "Graph");
  EXPECT_EQ(KW_IconToDraw("Text", "Graph"), "Note");
  // The standard's "Key" note and "Tag" attachment have icons of their own.
  EXPECT_EQ(KW_IconToDraw("Text", "Key"), "Key");
  EXPECT_EQ(KW_IconToDraw("FileAttachment", "Tag"), "Tag");
  EXPECT_EQ(KW_IconToDraw("Text", "Tag"), "Note");

  // Acrobat's 7 by 17 paperclip keeps its box; the clip's ink (8.7 by 20.7
  // in its 20-point design, with the outline) is scaled by 7 / 8.7 to fill
  // the width and centred.
  KPD_Dictionary clip = Drawn("<< /Subtype /FileAttachment /Rect [10 10 17 27] /Name /Paperclip /C [1 1 0] >>");
  EXPECT_EQ(Value(clip, "/Rect"), "[ 10 10 17 27 ]");
  std::vector<float> m;
  ASSERT_EQ(dict::ReadNumbers(host::DictGet(StreamDict(clip), "/Matrix"), m, 6), 6u);
  EXPECT_NEAR(m[0], 7 / 8.7, 1e-3);
  EXPECT_NEAR(m[3], 7 / 8.7, 1e-3);
  // The clip's middle (x 10, y 10 in the design) lands on the box's.
  EXPECT_NEAR(m[0] * 10 + m[4], 13.5, 1e-3);
  EXPECT_NEAR(m[3] * 10 + m[5], 18.5, 1e-3);
  // Yellow lines over a black outline.
  const std::string c = Content(clip);
  EXPECT_LT(c.find("2.700 w"), c.find("1.000 1.000 0.000 RG"));
}

TEST(IconCacheKey, SameLookSameKey) {
  KPD_ColorF black{KPD_COLOR_RGB, {0, 0, 0, 0}}, yellow{KPD_COLOR_RGB, {1, 1, 0, 0}};
  KPD_ColorF gray{KPD_COLOR_GRAY, {1, 0, 0, 0}};
  EXPECT_EQ(KW_IconCacheKey("Text", "Note", black, yellow, "", ""), "Icon+Text+Note+FF000000+FFFFFF00-Venko-RDK-0");
  EXPECT_EQ(KW_IconCacheKey("Text", "Note", black, gray, "P", "2"), "Icon+Text+Note+FF000000+FFFFFFFF-Venko-P-2");
}

TEST_F(MarkupAppearance, StampsDrawTheirNameOrWrapTheirPicture) {
  // Without a name a stamp is a draft.
  KPD_Dictionary plain = Drawn("<< /Subtype /Stamp /Rect [100 100 300 160] >>");
  EXPECT_NE(Content(plain).find("(DRAFT) Tj"), std::string::npos) << Content(plain);
  EXPECT_NE(host::DictGet(host::DictGet(Resources(plain), "/Font"), "/Helv"), nullptr);

  // Turned a quarter: the unturned box is 60 by 200 and lands on /Rect.
  KPD_Dictionary turned = Drawn("<< /Subtype /Stamp /Rect [100 100 160 300] /Rotate 90 /Name /Approved >>");
  EXPECT_NE(Content(turned).find("(APPROVED) Tj"), std::string::npos);
  EXPECT_EQ(Value(StreamDict(turned), "/BBox"), "[ 0 0 200 60 ]");
  EXPECT_EQ(Value(StreamDict(turned), "/Matrix"), "[ 0 1 -1 0 160 100 ]");
  EXPECT_EQ(Value(turned, "/Rect"), "[ 100 100 160 300 ]");

  // A picture of its own stays; with an opacity it is wrapped once.
  KPD_Dictionary custom = Add("<< /Subtype /Stamp /Rect [0 0 50 50] /CA 0.5 >>");
  KPD_Stream picture = host::DocNewStream(doc_, "0 0 1 rg 0 0 50 50 re f", 23);
  test::Owned pd = test::Parse("<< /Type /XObject /Subtype /Form /BBox [0 0 50 50] >>");
  for (const char* key : {"/Type", "/Subtype", "/BBox"}) host::DictSet(host::StreamGetDict(picture), key,
                                                                      host::DictGet(pd.get(), key));
  test::Owned ap = test::Parse("<< >>");
  host::DictSet(ap.get(), "/N", picture);
  host::DictSet(custom, "/AP", ap.get());
  ASSERT_TRUE(Reset(custom));
  EXPECT_EQ(Content(custom), "/GS0 gs\n/MWFOForm Do\n");
  KPD_Object inner = host::DictGet(host::DictGet(Resources(custom), "/XObject"), "/MWFOForm");
  EXPECT_TRUE(host::ObjectIsIdentical(inner, picture));
  EXPECT_EQ(Value(State(custom, "/GS0"), "/CA"), "0.5");
  EXPECT_EQ(Value(StreamDict(custom), "/Group"), "<< /S /Transparency /Type /Group >>");
  // Again, with a new opacity: still one wrapper around the same picture.
  host::DictSet(custom, "/CA", test::Parse("0.25").get());
  ASSERT_TRUE(Reset(custom));
  inner = host::DictGet(host::DictGet(Resources(custom), "/XObject"), "/MWFOForm");
  EXPECT_TRUE(host::ObjectIsIdentical(inner, picture));
  EXPECT_EQ(Value(State(custom, "/GS0"), "/CA"), "0.25");

  // Pictures by appearance state are left alone.
  KPD_Dictionary states = Drawn("<< /Subtype /Stamp /Rect [0 0 50 50] /CA 0.5 /AP << /N << /On 1 >> >> >>");
  EXPECT_EQ(Value(states, "/AP"), "<< /N << /On 1 >> >>");

  // Opaque and unwrapped: nothing changes.
  KPD_Dictionary opaque = Add("<< /Subtype /Stamp /Rect [0 0 50 50] >>");
  test::Owned ap2 = test::Parse("<< >>");
  host::DictSet(ap2.get(), "/N", picture);
  host::DictSet(opaque, "/AP", ap2.get());
  ASSERT_TRUE(Reset(opaque));
  EXPECT_TRUE(host::ObjectIsIdentical(Normal(opaque), picture));
}

TEST_F(MarkupAppearance, AStandardStampTakesAColourAndAPictureMadeElsewhereKeepsItsOwn) {
  auto list = CKW_PageAnnotList::Create(doc_, 0);
  ASSERT_TRUE(list);
  auto impl = [&](KPD_Dictionary d) { return static_cast<CKW_MarkupAnnotImpl*>(list->GetAnnot(d)->GetImpl().get()); };
  KPD_Dictionary own = Add("<< /Subtype /Stamp /Rect [0 0 120 40] /Name /Checked >>");
  CKW_MarkupAnnotImpl* stamp = impl(own);
  // A name of its own is drawn red, no name blue; /C rules over both.
  const KPD_ColorF red = KW_StampColor(*stamp);
  EXPECT_FLOAT_EQ(red.c[0], 0.75f);
  EXPECT_FLOAT_EQ(red.c[1], 0.1f);
  ASSERT_TRUE(Reset(own));
  EXPECT_NE(Content(own).find("0.750 0.100 0.100 RG"), std::string::npos);
  EXPECT_TRUE(KW_StampPictureIsStandard(*stamp));
  // Wrapped for an opacity, the picture is still the standard one.
  host::DictSet(own, "/CA", test::Parse("0.5").get());
  ASSERT_TRUE(Reset(own));
  ASSERT_EQ(Content(own), "/GS0 gs\n/MWFOForm Do\n");
  EXPECT_TRUE(KW_StampPictureIsStandard(*stamp));
  ASSERT_TRUE(KW_SetStampColor(*stamp, {KPD_COLOR_RGB, {0, 0, 1, 0}}));
  ASSERT_TRUE(Reset(own));
  EXPECT_NE(Content(own).find("0.000 0.000 1.000 RG"), std::string::npos) << Content(own);
  EXPECT_TRUE(KW_StampPictureIsStandard(*stamp));

  // A picture from elsewhere: no colour is set, nothing changes.
  KPD_Dictionary foreign = Add("<< /Subtype /Stamp /Rect [0 0 50 50] >>");
  KPD_Stream picture = host::DocNewStream(doc_, "0 1 0 rg 0 0 50 50 re f", 23);
  host::DictSet(host::StreamGetDict(picture), "/BBox", test::Parse("[0 0 50 50]").get());
  test::Owned ap = test::Parse("<< >>");
  host::DictSet(ap.get(), "/N", picture);
  host::DictSet(foreign, "/AP", ap.get());
  CKW_MarkupAnnotImpl* other = impl(foreign);
  EXPECT_FALSE(KW_StampPictureIsStandard(*other));
  EXPECT_FALSE(KW_SetStampColor(*other, {KPD_COLOR_RGB, {0, 0, 1, 0}}));
  EXPECT_FALSE(host::DictHasKey(foreign, "/C"));
  EXPECT_TRUE(host::ObjectIsIdentical(Normal(foreign), picture));

  // A note's icon is yellow without /C.
  KPD_Dictionary note = Add("<< /Subtype /Text /Rect [0 0 20 20] >>");
  const KPD_ColorF yellow = KW_IconFillColor(*impl(note));
  EXPECT_EQ(yellow.kind, KPD_COLOR_RGB);
  EXPECT_FLOAT_EQ(yellow.c[0] + yellow.c[1] + yellow.c[2], 2.0f);
}

// An attachment holding "plan\x01text" with a binary checksum.
class EmbeddedAttachment : public test::HostDocTest {
 protected:
  void SetUp() override {
    test::HostDocTest::SetUp();
    annot_ = Add("<< /Type /Annot /Subtype /FileAttachment /NM (f) /Rect [10 10 30 30] >>");
    KPD_Stream file = host::DocNewStream(doc_, "plan\x01text", 9);
    test::Owned fs = test::Parse("<< /Type /Filespec /F (plan.txt) /UF (plan.txt) /EF << >> >>");
    host::DictSet(host::DictGet(fs.get(), "/EF"), "/F", file);
    test::Owned params = test::Parse("<< /Size 9 /CheckSum <00FF10203040506070809AABBCCDDEEF> >>");
    host::DictSet(host::StreamGetDict(file), "/Params", params.get());
    host::DictSet(annot_, "/FS", fs.get());
  }
  void TearDown() override {
    CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(0);
    test::HostDocTest::TearDown();
  }
  std::string Export(size_t limit) {
    CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(limit);
    std::string xfdf, error;
    EXPECT_TRUE(KW_ExportXFDF(doc_, &xfdf, &error)) << error;
    return xfdf;
  }
  // An exchange of one attachment of "plan.txt" on the first page, with the
  // attributes `attrs` and the data element `data`.
  static std::string Exchange(const std::string& attrs, const std::string& data) {
    return "<xfdf><annots><fileattachment page=\"0\" file=\"plan.txt\" " + attrs + ">" + data +
           "</fileattachment></annots></xfdf>";
  }
  // The embedded file's bytes, or "<none>".
  static std::string FileOf(KPD_Dictionary annot) {
    KPD_Object fs = host::DictGet(annot, "/FS");
    KPD_Object ef = fs ? host::DictGet(fs, "/EF") : nullptr;
    host::ByteString data;
    if (!ef || !host::StreamGetData(host::DictGet(ef, "/F"), 1, data.get())) return "<none>";
    return data.str();
  }
  KPD_Dictionary annot_ = nullptr;
};

// An export without the file, brought back by name with or without files
// on import, changes nothing of the file; one with the file brings it back
// whole, checksum and type included, into another document, where one
// without names it only. A caret's paragraph symbol goes along.
TEST_F(EmbeddedAttachment, AnImportWithoutTheFileKeepsTheEmbeddedFile) {
  struct Case {
    size_t exportLimit, importLimit;
  } cases[] = {{0, 0}, {0, 1024}, {1024, 0}, {4, 1024}};
  const KPD_Object fs = host::DictGet(annot_, "/FS");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.exportLimit) + " " + std::to_string(c.importLimit));
    const std::string xfdf = Export(c.exportLimit);
    EXPECT_NE(xfdf.find("file=\"plan.txt\""), std::string::npos) << xfdf;
    EXPECT_EQ(xfdf.find("<data") != std::string::npos, c.exportLimit == 1024) << xfdf;
    CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(c.importLimit);
    std::string error;
    ASSERT_TRUE(KW_ImportXFDF(doc_, xfdf, &error)) << error;
    ASSERT_EQ(host::PageAnnotCount(page_), 1);
    EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(annot_, "/FS"), fs));
    EXPECT_EQ(FileOf(annot_), std::string("plan\x01text", 9));
  }

  host::DictSet(host::StreamGetDict(host::DictGet(host::DictGet(fs, "/EF"), "/F")), "/Subtype",
                test::Parse("/text#2Fplain").get());
  Add("<< /Type /Annot /Subtype /Caret /NM (c) /Rect [40 40 60 60] /Sy /P >>");
  for (size_t limit : {0, 1024}) {
    SCOPED_TRACE(limit);
    const std::string xfdf = Export(limit);
    EXPECT_NE(xfdf.find("symbol=\"paragraph\""), std::string::npos) << xfdf;
    KPD_Document other = host::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    KPD_Page page = host::DocAddPage(other, &letter);
    std::string error;
    ASSERT_TRUE(KW_ImportXFDF(other, xfdf, &error)) << error;
    KPD_Dictionary copy = host::PageGetAnnot(page, 0);
    EXPECT_EQ(test::Write(host::DictGet(host::PageGetAnnot(page, 1), "/Sy")), "/P");
    EXPECT_EQ(test::Write(host::DictGet(host::DictGet(copy, "/FS"), "/F")), "(plan.txt)");
    if (limit == 0) {
      EXPECT_EQ(FileOf(copy), "<none>");
    } else {
      EXPECT_NE(xfdf.find("checksum=\"00FF10203040506070809AABBCCDDEEF\""), std::string::npos) << xfdf;
      EXPECT_EQ(FileOf(copy), std::string("plan\x01text", 9));
      KPD_Object file = host::DictGet(host::DictGet(host::DictGet(copy, "/FS"), "/EF"), "/F");
      EXPECT_EQ(test::Write(host::DictGet(host::DictGet(host::StreamGetDict(file), "/Params"), "/CheckSum")),
                "<00ff10203040506070809aabbccddeef>");
      EXPECT_EQ(test::Write(host::DictGet(host::StreamGetDict(file), "/Subtype")), "/text#2fplain");
    }
    host::DocClose(other);
  }
}

// The filter a file was stored with travels beside its decoded data; data
// that comes RAW, still encoded, is decoded with the filter it names.
TEST_F(EmbeddedAttachment, TheFileFilterSurvivesARoundTrip) {
  const std::string deflated(
      "\x78\x9c\x2b\xc8\x49\xcc\x53\xc8\x4f\x53\x28\xc9\x48\x55\x48"
      "\x2f\xca\x2f\xcd\x4b\x51\x48\xcb\xc9\xcf\x2f\x02\x00\x6d\x93\x08\xf3",
      32);  // "plan of the ground floor", deflated
  KPD_Stream file = host::DictGet(host::DictGet(host::DictGet(annot_, "/FS"), "/EF"), "/F");
  host::StreamSetData(file, deflated.data(), deflated.size());
  test::Owned flate = test::Parse("/FlateDecode");
  host::DictSet(host::StreamGetDict(file), "/Filter", flate.get());
  const std::string xfdf = Export(1024);
  EXPECT_NE(xfdf.find("filter=\"FlateDecode\""), std::string::npos) << xfdf;

  const std::string rawXfdf = Exchange("name=\"raw\" rect=\"40,10,60,30\"",
                                       "<data MODE=\"RAW\" encoding=\"base64\" filter=\"FlateDecode\">"
                                       "eJwryEnMU8hPUyjJSFVIL8ovzUtRSMvJzy8CAG2TCPM=</data>");
  std::string error;
  ASSERT_TRUE(KW_ImportXFDF(doc_, rawXfdf, &error)) << error;
  KPD_Dictionary raw = host::PageGetAnnot(page_, 1);
  EXPECT_EQ(FileOf(raw), "plan of the ground floor");
  KPD_Object ef = host::DictGet(host::DictGet(raw, "/FS"), "/EF");
  KPD_Object params = host::DictGet(host::StreamGetDict(host::DictGet(ef, "/F")), "/Params");
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(params, "/Size")), 24);
}

// Data may come in hexadecimal, broken over lines, with the file's
// parameters on the annotation's element and a lower-case mode, as other
// writers make it: each encoding is read as written.
TEST_F(EmbeddedAttachment, HexadecimalDataIsReadAsHexadecimal) {
  CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(1024);
  // The 32 bytes of "plan of the ground floor" deflated, as hexadecimal.
  const std::string hexXfdf = Exchange(
      "name=\"hex\" rect=\"240.97,672.87,247.97,689.87\" size=\"24\" mimetype=\"text/plain\" "
      "creation=\"D:20190504122052+03'00'\" modification=\"D:20190531185528+03'00'\" "
      "checksum=\"E4D00D1E9DC9311D126504205FCF5490\"",
      "<data MODE=\"raw\" encoding=\"hex\" length=\"32\" filter=\"FlateDecode\">789C2BC849CC53C84F5328C9485548\n"
      "2fca2fcd4b5148cbc9cf2f02006d9308f3</data>");
  std::string error;
  ASSERT_TRUE(KW_ImportXFDF(doc_, hexXfdf, &error)) << error;
  KPD_Dictionary hex = host::PageGetAnnot(page_, 1);
  EXPECT_EQ(FileOf(hex), "plan of the ground floor");
  KPD_Stream file = host::DictGet(host::DictGet(host::DictGet(hex, "/FS"), "/EF"), "/F");
  EXPECT_EQ(dict::GetName(host::StreamGetDict(file), "/Subtype"), "text/plain");
  KPD_Object params = host::DictGet(host::StreamGetDict(file), "/Params");
  EXPECT_EQ(host::ObjectGetInteger(host::DictGet(params, "/Size")), 24);
  EXPECT_EQ(test::Write(host::DictGet(params, "/CheckSum")), "<e4d00d1e9dc9311d126504205fcf5490>");
  EXPECT_EQ(test::Write(host::DictGet(params, "/CreationDate")), "(D:20190504122052+03'00')");
  EXPECT_EQ(test::Write(host::DictGet(params, "/ModDate")), "(D:20190531185528+03'00')");
  EXPECT_EQ(dict::GetDoubles(host::DictGet(hex, "/Rect")), (std::vector<double>{240.97, 672.87, 247.97, 689.87}));

  // Data its encoding does not decode fails the import and changes nothing.
  for (const char* data : {"<data encoding=\"hex\">789C2</data>", "<data encoding=\"hex\">78 9C ZZ</data>",
                           "<data encoding=\"ascii\">*not base64*</data>", "<data encoding=\"rot13\">abc</data>"}) {
    EXPECT_FALSE(KW_ImportXFDF(doc_, Exchange("name=\"f\"", data), &error)) << data;
    EXPECT_NE(error.find("attached file \"plan.txt\" on page 1: its data "), std::string::npos) << error;
    EXPECT_EQ(FileOf(annot_), std::string("plan\x01text", 9));
  }
}

// A file over the limit fails the exchange by name unless it may be left
// out; then the list names it, and an import keeps the file already there.
TEST_F(EmbeddedAttachment, AFileOverTheLimitIsNamed) {
  CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(4);
  std::string xfdf, error;
  KwXfdfFiles strict;
  EXPECT_FALSE(KW_ExportXFDF(doc_, &xfdf, &error, &strict));
  EXPECT_EQ(error, "attached file \"plan.txt\" on page 1 is 9 bytes, over the limit of 4 bytes");
  EXPECT_TRUE(strict.refusedLarge);
  KwXfdfFiles lenient{true, {}, false};
  ASSERT_TRUE(KW_ExportXFDF(doc_, &xfdf, &error, &lenient)) << error;
  EXPECT_EQ(lenient.leftOut, std::vector<std::string>{"attached file \"plan.txt\" on page 1 (9 bytes)"});
  EXPECT_EQ(xfdf.find("<data"), std::string::npos);

  // "bmV3IGJ5dGVz" is "new bytes", 9 of them.
  const std::string carried = Exchange("name=\"f\"", "<data encoding=\"base64\">bmV3IGJ5dGVz</data>");
  KwXfdfFiles strictImport;
  EXPECT_FALSE(KW_ImportXFDF(doc_, carried, &error, nullptr, &strictImport));
  EXPECT_NE(error.find("attached file \"plan.txt\" on page 1 is 9 bytes, over the limit of 4 bytes"),
            std::string::npos)
      << error;
  EXPECT_TRUE(strictImport.refusedLarge);
  KwXfdfFiles lenientImport{true, {}, false};
  ASSERT_TRUE(KW_ImportXFDF(doc_, carried, &error, nullptr, &lenientImport)) << error;
  EXPECT_EQ(lenientImport.leftOut.size(), 1u);
  EXPECT_EQ(FileOf(annot_), std::string("plan\x01text", 9));

  // Under the limit the carried file replaces the old one; data that is
  // not base64 fails whatever the limit allows.
  CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(1024);
  ASSERT_TRUE(KW_ImportXFDF(doc_, carried, &error)) << error;
  EXPECT_EQ(FileOf(annot_), "new bytes");
  EXPECT_FALSE(KW_ImportXFDF(doc_, Exchange("name=\"f\"", "<data encoding=\"base64\">*not base64*</data>"), &error));
  EXPECT_NE(error.find("its data is not base64"), std::string::npos) << error;
  EXPECT_EQ(FileOf(annot_), "new bytes");
}

}  // namespace
}  // namespace kwannotation
