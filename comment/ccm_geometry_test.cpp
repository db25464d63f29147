#include "comment/ccm_geometry.h"

#include <cmath>

#include <gtest/gtest.h>

namespace AnnotationComment {
namespace {

// A line of glyphs as Helvetica sets them at `size` from (x, baseline):
// advances from the font's published widths (1/1000 em), boxes from the
// descender -207 to the ascender 718.
std::vector<KS_TextGlyph> HelveticaLine(const std::u32string& text, float x, float baseline, float size, int line) {
  std::vector<KS_TextGlyph> out;
  const auto width = [](char32_t c) {
    switch (c) {
      case U'T': return 611;
      case U'h': case U'e': case U'o': case U'n': case U'd': case U'a': return 556;
      case U'x': return 500;
      case U'i': case U'l': return 222;
      default: return 556;
    }
  };
  const float top = baseline + 0.718f * size, bottom = baseline - 0.207f * size;
  for (char32_t c : text) {
    const float w = width(c) * size / 1000;
    if (c != U' ') {
      KS_TextGlyph g{};
      g.quad[0] = {x, top}, g.quad[1] = {x + w, top}, g.quad[2] = {x, bottom}, g.quad[3] = {x + w, bottom};
      g.line = line;
      g.codepoint = static_cast<uint32_t>(c);
      out.push_back(g);
    }
    x += c == U' ' ? 278 * size / 1000 : w;
  }
  return out;
}

// The same glyphs turned by `degrees` counter-clockwise about `centre`.
std::vector<KS_TextGlyph> Turned(std::vector<KS_TextGlyph> glyphs, double degrees, KS_FloatPoint centre) {
  const double a = degrees * std::acos(-1.0) / 180, c = std::cos(a), s = std::sin(a);
  for (KS_TextGlyph& g : glyphs)
    for (KS_FloatPoint& p : g.quad) {
      const double dx = p.x - centre.x, dy = p.y - centre.y;
      p = {static_cast<float>(centre.x + dx * c - dy * s), static_cast<float>(centre.y + dx * s + dy * c)};
    }
  return glyphs;
}

TEST(CommentGeometry, ShiftMakesSquaresAndFortyFiveDegreeLines) {
  struct Case {
    KS_FloatPoint a, b;
    bool square;
    KS_FloatRect want;
  } cases[] = {
      {{10, 10}, {40, 20}, false, {10, 10, 40, 20}},
      {{10, 10}, {40, 20}, true, {10, 10, 40, 40}},
      // Dragged down and to the left, the square grows that way.
      {{50, 50}, {20, 40}, true, {20, 20, 50, 50}},
  };
  for (const Case& c : cases) {
    const KS_FloatRect r = BoxFromDrag(c.a, c.b, c.square);
    EXPECT_FLOAT_EQ(r.left, c.want.left);
    EXPECT_FLOAT_EQ(r.bottom, c.want.bottom);
    EXPECT_FLOAT_EQ(r.right, c.want.right);
    EXPECT_FLOAT_EQ(r.top, c.want.top);
  }
  // Nearly level goes level; nearly diagonal goes diagonal; the length stays.
  KS_FloatPoint p = ConstrainTo45({0, 0}, {10, 1});
  EXPECT_NEAR(p.x, std::hypot(10, 1), 1e-4);
  EXPECT_NEAR(p.y, 0, 1e-4);
  p = ConstrainTo45({5, 5}, {15, 14});
  EXPECT_NEAR(p.x - 5, p.y - 5, 1e-4);
  EXPECT_NEAR(std::hypot(p.x - 5, p.y - 5), std::hypot(10, 9), 1e-4);
  p = ConstrainTo45({0, 0}, {-1, -10});
  EXPECT_NEAR(p.x, 0, 1e-4);
  EXPECT_NEAR(p.y, -std::hypot(1, 10), 1e-4);
}

TEST(CommentGeometry, ACalloutsBoxLiesBeyondTheReleaseAwayFromTheTip) {
  CalloutLayout right = LayoutCallout({100, 100}, {200, 150}, 160, 40);
  EXPECT_FLOAT_EQ(right.box.left, 200);
  EXPECT_FLOAT_EQ(right.box.right, 360);
  EXPECT_FLOAT_EQ(right.box.bottom, 130);
  EXPECT_FLOAT_EQ(right.box.top, 170);
  ASSERT_EQ(right.leader.size(), 2u);
  EXPECT_FLOAT_EQ(right.leader[0].x, 100);
  EXPECT_FLOAT_EQ(right.leader[1].x, 200);
  CalloutLayout left = LayoutCallout({300, 100}, {200, 150}, 160, 40);
  EXPECT_FLOAT_EQ(left.box.left, 40);
  EXPECT_FLOAT_EQ(left.box.right, 200);
}

TEST(CommentGeometry, ADragAcrossTwoLinesGivesOneQuadPerLineCoveringItsGlyphs) {
  std::vector<KS_TextGlyph> glyphs = HelveticaLine(U"The hand", 72, 700, 12, 0);
  const std::vector<KS_TextGlyph> second = HelveticaLine(U"an index", 72, 680, 12, 1);
  glyphs.insert(glyphs.end(), second.begin(), second.end());
  // From inside "h" of "hand" to inside "n" of "an".
  const float hand = 72 + (611 + 556 + 556 + 278) * 0.012f;
  const TextSelection sel = SelectText(glyphs, {hand + 1, 703}, {80, 683});
  ASSERT_EQ(sel.quads.size(), 16u);
  EXPECT_EQ(sel.text, u"hand\nan");
  const float top1 = 700 + 0.718f * 12, bottom1 = 700 - 0.207f * 12;
  const float handEnd = hand + (556 * 3 + 556) * 0.012f;
  const float want1[8] = {hand, top1, handEnd, top1, hand, bottom1, handEnd, bottom1};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(sel.quads[i], want1[i], 1e-3) << i;
  const float top2 = 680 + 0.718f * 12, bottom2 = 680 - 0.207f * 12, anEnd = 72 + 2 * 556 * 0.012f;
  const float want2[8] = {72, top2, anEnd, top2, 72, bottom2, anEnd, bottom2};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(sel.quads[8 + i], want2[i], 1e-3) << i;
  // Dragged the other way, the same text.
  const TextSelection back = SelectText(glyphs, {80, 683}, {hand + 1, 703});
  EXPECT_EQ(back.quads, sel.quads);
  EXPECT_TRUE(SelectText({}, {0, 0}, {1, 1}).quads.empty());
}

TEST(CommentGeometry, TextAtAnAngleIsMarkedAlongItsOwnBaseline) {
  const std::vector<KS_TextGlyph> level = HelveticaLine(U"The", 100, 100, 10, 0);
  const std::vector<KS_TextGlyph> turned = Turned(level, 30, {100, 100});
  const TextSelection sel = SelectText(turned, turned.front().quad[2], turned.back().quad[3]);
  ASSERT_EQ(sel.quads.size(), 8u);
  // The quad's corners are the level line's corners turned the same way.
  const float width = (611 + 556 + 556) * 0.01f;
  KS_TextGlyph whole{};
  whole.quad[0] = {100, 100 + 7.18f}, whole.quad[1] = {100 + width, 100 + 7.18f};
  whole.quad[2] = {100, 100 - 2.07f}, whole.quad[3] = {100 + width, 100 - 2.07f};
  const KS_TextGlyph want = Turned({whole}, 30, {100, 100}).front();
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(sel.quads[2 * k], want.quad[k].x, 1e-3) << k;
    EXPECT_NEAR(sel.quads[2 * k + 1], want.quad[k].y, 1e-3) << k;
  }
}

TEST(CommentGeometry, ACaretSitsInTheGapNearestTheClick) {
  const std::vector<KS_TextGlyph> glyphs = HelveticaLine(U"The", 100, 100, 10, 0);
  const float gapAfterT = 100 + 6.11f;
  KS_FloatRect r{};
  // On the right half of "T": after it; on the left half of "h": before it.
  for (float x : {gapAfterT - 1.0f, gapAfterT + 1.0f}) {
    ASSERT_TRUE(CaretBox(glyphs, {x, 102}, &r));
    EXPECT_NEAR((r.left + r.right) / 2, gapAfterT, 1e-3) << x;
    EXPECT_NEAR(r.top, 100 + (7.18f - 2.07f) / 2, 1e-3) << x;
    EXPECT_LT(r.bottom, r.top);
  }
  EXPECT_FALSE(CaretBox({}, {0, 0}, &r));
}

TEST(CommentGeometry, ATypewriterBoxFitsItsWidestLine) {
  const KS_FloatRect r = TypewriterBox({50, 500}, {30, 80.5f, 10}, 12);
  EXPECT_FLOAT_EQ(r.left, 50);
  EXPECT_FLOAT_EQ(r.top, 500);
  EXPECT_FLOAT_EQ(r.right, 50 + 80.5f + 4);
  EXPECT_NEAR(r.bottom, 500 - 3 * 14.4f - 2, 1e-4);
  // Nothing typed yet: room for one character of one line.
  const KS_FloatRect empty = TypewriterBox({0, 100}, {0}, 10);
  EXPECT_FLOAT_EQ(empty.right, 14);
  EXPECT_NEAR(empty.bottom, 100 - 12 - 2, 1e-4);
}

}  // namespace
}  // namespace AnnotationComment
