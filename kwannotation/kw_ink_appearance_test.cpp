// The ink's content is written straight into the memory of its stream, a
// segment at a time, with each segment's lengths and midpoints carried over
// from the one before. Checked here against the drawing rules spelt out
// plainly, number by number with printf, on fixed and random inks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kwannotation/kw_ap_test_support.h"
#include "kwannotation/kw_content_buffer.h"
#include "kwannotation/kw_appearance_kinds.h"

namespace kwannotation::test {
namespace {

struct P {
  double x, y;
};

std::string Num(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f ", v);
  return text;
}

// One stroke as the rules read: a point is a move and a line 0.001 away;
// otherwise point to point, or curves whose control points come from the
// neighbours' midpoints weighted by the segment lengths. `hull` gets every
// point and control point.
std::string Stroke(const std::vector<P>& p, bool smooth, std::vector<P>& hull) {
  const size_t n = p.size();
  hull.insert(hull.end(), p.begin(), p.end());
  std::string out = Num(p[0].x) + Num(p[0].y) + "m\n";
  if (n == 1) return out + Num(p[0].x + 0.001) + Num(p[0].y + 0.001) + "l\n";
  if (!smooth) {
    for (size_t i = 1; i < n; ++i) out += Num(p[i].x) + Num(p[i].y) + "l\n";
    return out;
  }
  const bool closed = p[0].x == p[n - 1].x && p[0].y == p[n - 1].y && n > 2;
  for (size_t i = 0; i + 1 < n; ++i) {
    P p1 = p[i], p2 = p[i + 1];
    P p0 = i > 0 ? p[i - 1] : (closed ? p[n - 2] : p[0]);
    P p3 = i + 2 < n ? p[i + 2] : (closed ? p[1] : p2);
    P m1{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2}, m2{(p1.x + p2.x) / 2, (p1.y + p2.y) / 2},
        m3{(p2.x + p3.x) / 2, (p2.y + p3.y) / 2};
    double l1 = std::sqrt((p1.x - p0.x) * (p1.x - p0.x) + (p1.y - p0.y) * (p1.y - p0.y));
    double l2 = std::sqrt((p2.x - p1.x) * (p2.x - p1.x) + (p2.y - p1.y) * (p2.y - p1.y));
    double l3 = std::sqrt((p3.x - p2.x) * (p3.x - p2.x) + (p3.y - p2.y) * (p3.y - p2.y));
    double k1 = 0.5, k2 = 0.5;
    if (l1 + l2 > 0.0001 && l2 + l3 > 0.0001) {
      k1 = l1 / (l1 + l2);
      k2 = l2 / (l2 + l3);
    }
    P b1{m1.x + (m2.x - m1.x) * k1, m1.y + (m2.y - m1.y) * k1};
    P b2{m2.x + (m3.x - m2.x) * k2, m2.y + (m3.y - m2.y) * k2};
    P c1{p1.x + (m2.x - b1.x) * 0.8, p1.y + (m2.y - b1.y) * 0.8};
    P c2{p2.x + (m2.x - b2.x) * 0.8, p2.y + (m2.y - b2.y) * 0.8};
    out += Num(c1.x) + Num(c1.y) + Num(c2.x) + Num(c2.y) + Num(p2.x) + Num(p2.y) + "c\n";
    hull.push_back(c1);
    hull.push_back(c2);
  }
  return out;
}

class InkAppearance : public AppearanceTest {};

// Strokes of every shape the smoothing treats apart: closed ones, repeated
// points (segments of no length), single points, two points that meet,
// coordinates below zero and beyond a thousand, with and without colour,
// smoothed and point to point.
TEST_F(InkAppearance, MatchesTheRulesOnFixedAndRandomInks) {
  struct Kind {
    const char* keys;
    bool smooth;
    const char* head;
    const char* paint;
    double width;
  } kinds[] = {
      {"/C [0 0 1]", true, "0.000 0.000 1.000 RG\n1.00 w\n1 J\n1 j\n2.000 M\n", "S\n", 1},
      {"/C [1 0 0] /KwLineType 1 /BS << /W 3.5 >>", true, "1.000 0.000 0.000 RG\n3.50 w\n1 J\n1 j\n7.000 M\n",
       "S\n", 3.5},
      {"/C [0 1 0] /KwLineType 0 /BS << /W 0 >>", false, "0.000 1.000 0.000 RG\n0.00 w\n1 J\n1 j\n2.000 M\n",
       "S\n", 0},
      {"/KwLineType 2", false, "1.00 w\n1 J\n1 j\n2.000 M\n", "n\n", 1},
      {"", true, "1.00 w\n1 J\n1 j\n2.000 M\n", "n\n", 1},
  };
  // Draws `strokes` as `kind` and checks the content and the box against
  // the rules.
  auto check = [&](const Kind& kind, const std::vector<std::vector<P>>& strokes, const std::string& what) {
    SCOPED_TRACE(std::string(kind.keys) + " " + what);
    std::string list, want = kind.head;
    std::vector<P> hull;
    for (const std::vector<P>& pts : strokes) {
      list += "[";
      for (const P& p : pts) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6f %.6f ", p.x, p.y);
        list += text;
      }
      list += "] ";
      want += Stroke(pts, kind.smooth, hull) + kind.paint;
    }
    KPD_Dictionary annot = Add(std::string("<< /Subtype /Ink ") + kind.keys + " /InkList [" + list + "] >>");
    std::string reason;
    ASSERT_TRUE(RebuildAppearance(annot, &reason)) << reason;
    ASSERT_EQ(Content(annot), want);

    // The box: every point and control point, half the width around.
    const double w = kind.width;
    double l = hull[0].x, b = hull[0].y, r = l, t = b;
    for (const P& p : hull) {
      l = std::min(l, p.x);
      r = std::max(r, p.x);
      b = std::min(b, p.y);
      t = std::max(t, p.y);
    }
    double box[4] = {l - w / 2, b - w / 2, r + w / 2, t + w / 2};
    for (int axis = 0; axis < 2; ++axis) {
      // Too small to see: 16 about the centre.
      const double c = (box[axis] + box[axis + 2]) / 2;
      if (box[axis + 2] - box[axis] < 16) box[axis] = c - 8, box[axis + 2] = c + 8;
    }
    std::istringstream rect(Value(annot, "/Rect").substr(1));
    double got[4] = {};
    rect >> got[0] >> got[1] >> got[2] >> got[3];
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], box[i], 0.0011);

    // The box reads back as itself: rebuilding in place leaves /Rect alone.
    KPD_Object stored = host::DictGet(annot, "/Rect");
    ASSERT_TRUE(AppearanceFor(annot, nullptr)(annot, &reason, {true})) << reason;
    EXPECT_TRUE(host::ObjectIsIdentical(host::DictGet(annot, "/Rect"), stored));
  };

  // A dot alone, a straight run, and an arch whose curves bulge past its
  // points, before the random ones.
  const std::vector<std::vector<P>> fixed[] = {
      {{{50, 60}}},
      {{{100, 100}, {110, 100}, {120, 100}}, {{5, 5}}},
      {{{24, 100}, {26, 137}, {28, 144}, {30, 121}, {32, 128}}},
  };
  std::mt19937 rng(5);
  // Sixty-fourths: the same numbers in single and double precision, and in
  // the PDF text.
  std::uniform_int_distribution<int> coord(-300 * 64, 3000 * 64), step(-40 * 64, 40 * 64);
  std::uniform_int_distribution<int> length(1, 60), shape(0, 5);
  for (const Kind& kind : kinds) {
    for (size_t f = 0; f < std::size(fixed); ++f) check(kind, fixed[f], "fixed " + std::to_string(f));
    for (int round = 0; round < 6; ++round) {
      std::vector<std::vector<P>> strokes;
      for (int s = 0; s < 1 + round * 3; ++s) {
        std::vector<P> pts;
        const int n = length(rng);
        const int form = shape(rng);
        int x = coord(rng), y = coord(rng);
        for (int i = 0; i < n; ++i) {
          pts.push_back({x / 64.0, y / 64.0});
          if (form == 1 && i % 3 == 0) continue;  // the next point repeats this one
          x += step(rng);
          y += step(rng);
        }
        if (form == 2 && n > 1) pts.back() = pts.front();  // closed (or two points that meet)
        strokes.push_back(pts);
      }
      check(kind, strokes, "round " + std::to_string(round));
    }
  }
}

// A buffer sized too small at first grows as the text is written and hands
// all of it over; once handed over it is spent.
TEST_F(InkAppearance, ContentBufferGrowsAndIsHandedOverOnce) {
  CKW_ContentBuffer buffer(3);
  std::string want;
  for (int i = 0; i < 20000; ++i) {
    std::string piece = std::to_string(i) + " 0 m\n";
    ASSERT_TRUE(buffer.Append(piece));
    want += piece;
  }
  EXPECT_EQ(buffer.View(), want);
  KPD_Stream stream = buffer.NewStream(doc_);
  ASSERT_NE(stream, nullptr);
  host::ByteString data;
  ASSERT_TRUE(host::StreamGetData(stream, 1, data.get()));
  EXPECT_EQ(data.str(), want);
  EXPECT_FALSE(buffer.Usable());
  EXPECT_EQ(buffer.NewStream(doc_), nullptr);
  EXPECT_FALSE(buffer.SetStreamData(stream));

  CKW_ContentBuffer replacing(16);
  ASSERT_TRUE(replacing.Append("q Q\n"));
  ASSERT_TRUE(replacing.SetStreamData(stream));
  ASSERT_TRUE(host::StreamGetData(stream, 1, data.get()));
  EXPECT_EQ(data.str(), "q Q\n");
}

}  // namespace
}  // namespace kwannotation::test
