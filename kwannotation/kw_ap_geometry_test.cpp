// Line endings and clouds: pure geometry, checked against hand-worked
// coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "kwannotation/kw_ap_cloud.h"
#include "kwannotation/kw_ap_ending.h"

namespace kwannotation {
namespace {

std::vector<std::string> Operators(const std::string& content) {
  std::istringstream in(content);
  std::vector<std::string> ops;
  std::string token;
  while (in >> token)
    if (std::isalpha(static_cast<unsigned char>(token[0]))) ops.push_back(token);
  return ops;
}

// Every ending at the end (100, 50) of a line running along +x, size 6.
TEST(ApEnding, EachEndingAtAHorizontalLineEnd) {
  struct Case {
    int style;
    bool closed;
    const char* text;
    KS_FloatRect bounds;
  } cases[] = {
      {kEndNone, false, "", {0, 0, 0, 0}},
      {kEndSquare, true, "97.000 47.000 m\n103.000 47.000 l\n103.000 53.000 l\n97.000 53.000 l\n", {97, 47, 103, 53}},
      {kEndCircle, true,
       "103.000 50.000 m\n103.000 51.657 101.657 53.000 100.000 53.000 c\n"
       "98.343 53.000 97.000 51.657 97.000 50.000 c\n97.000 48.343 98.343 47.000 100.000 47.000 c\n"
       "101.657 47.000 103.000 48.343 103.000 50.000 c\n",
       {97, 47, 103, 53}},
      {kEndDiamond, true, "100.000 45.757 m\n104.243 50.000 l\n100.000 54.243 l\n95.757 50.000 l\n",
       {95.757f, 45.757f, 104.243f, 54.243f}},
      {kEndOpenArrow, false, "93.804 47.000 m\n99.000 50.000 l\n93.804 53.000 l\n", {93.804f, 47, 99, 53}},
      {kEndClosedArrow, true, "93.804 47.000 m\n99.000 50.000 l\n93.804 53.000 l\n93.804 47.000 l\n",
       {93.804f, 47, 99, 53}},
      {kEndButt, false, "100.000 53.000 m\n100.000 47.000 l\n", {100, 47, 100, 53}},
      {kEndROpenArrow, false, "105.196 53.000 m\n100.000 50.000 l\n105.196 47.000 l\n", {100, 47, 105.196f, 53}},
      {kEndRClosedArrow, true, "105.196 53.000 m\n100.000 50.000 l\n105.196 47.000 l\n105.196 53.000 l\n",
       {100, 47, 105.196f, 53}},
      {kEndSlash, false, "101.500 52.598 m\n98.500 47.402 l\n", {98.5f, 47.402f, 101.5f, 52.598f}},
  };
  for (const Case& c : cases) {
    std::string out = "left over";
    bool closed = !c.closed;
    ApBounds b = DrawLineEnding(out, c.style, {100, 50}, {30, 0}, 6, &closed);
    SCOPED_TRACE(LineEndingName(c.style));
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(closed, c.closed);
    EXPECT_EQ(LineEndingFromName(LineEndingName(c.style)), c.style);
    if (c.style == kEndNone) {
      EXPECT_TRUE(b.empty);
      continue;
    }
    EXPECT_NEAR(b.left, c.bounds.left, 1e-3);
    EXPECT_NEAR(b.bottom, c.bounds.bottom, 1e-3);
    EXPECT_NEAR(b.right, c.bounds.right, 1e-3);
    EXPECT_NEAR(b.top, c.bounds.top, 1e-3);
  }
  EXPECT_EQ(LineEndingFromName("Arrow"), kEndNone);
}

TEST(ApEnding, OpenArrowOfAWidthOneLineHasSixUnitWingsAtThirtyDegrees) {
  // A line of width 1 running up and to the left, ending at (10, 20).
  const double dx = -3, dy = 4;
  std::string out;
  DrawLineEnding(out, kEndOpenArrow, {10, 20}, {float(dx), float(dy)}, LineEndingSize(kEndOpenArrow, 1, nullptr),
                 nullptr);
  double w1x, w1y, tx, ty, w2x, w2y;
  ASSERT_EQ(std::sscanf(out.c_str(), "%lf %lf m\n%lf %lf l\n%lf %lf l\n", &w1x, &w1y, &tx, &ty, &w2x, &w2y), 6);
  // The tip is pulled back one unit along the dominant (y) axis.
  EXPECT_NEAR(ty, 19, 1e-3);
  EXPECT_NEAR(tx, 10 + 0.75, 1e-3);
  for (auto [wx, wy] : {std::pair{w1x, w1y}, std::pair{w2x, w2y}}) {
    double len = std::hypot(wx - tx, wy - ty);
    EXPECT_NEAR(len, 6, 2e-3);
    double cosAngle = ((wx - tx) * -dx + (wy - ty) * -dy) / (len * 5);
    EXPECT_NEAR(std::acos(cosAngle), 0.5235988, 1e-3);
  }
}

TEST(ApEnding, ZeroLengthDirectionDrawsAlongTheXAxis) {
  std::string zero, axis;
  DrawLineEnding(zero, kEndSlash, {5, 5}, {0, 0}, 4, nullptr);
  DrawLineEnding(axis, kEndSlash, {5, 5}, {1, 0}, 4, nullptr);
  EXPECT_EQ(zero, axis);
  DrawLineEnding(zero, kEndClosedArrow, {5, 5}, {0, 0}, 4, nullptr);
  EXPECT_EQ(zero.rfind("4.000 5.000 l\n"), zero.find("l\n") - 12);  // tip one unit back along x
}

TEST(ApEnding, SizesFollowWidthOrMeasurementFactors) {
  const double one = 1.0, negative = -2.0;
  EXPECT_DOUBLE_EQ(LineEndingSize(kEndOpenArrow, 2, nullptr), 12);
  EXPECT_DOUBLE_EQ(LineEndingSize(kEndSquare, 1, &one), 6);
  EXPECT_DOUBLE_EQ(LineEndingSize(kEndDiamond, 1, &one), 6 * 5.0 / 7.0);
  for (int arrow : {kEndOpenArrow, kEndClosedArrow, kEndROpenArrow, kEndRClosedArrow})
    EXPECT_DOUBLE_EQ(LineEndingSize(arrow, 1, &one), 9);
  EXPECT_DOUBLE_EQ(LineEndingSize(kEndSlash, 1, &one), 12);
  EXPECT_DOUBLE_EQ(LineEndingSize(kEndSlash, 3, &negative), 18);  // not positive: the width rule
}

TEST(ApCloud, BumpCounts) {
  struct Case {
    double w, h, intensity;
    int bumps;
  } cases[] = {
      {100, 50, 1, 38}, {100, 50, 2, 26}, {3, 4, 1, 2},    {0, 0, 2, 2},
      {1e6, 1e6, 1, 96}, {1e6, 1e6, 2, 96}, {40, 0, 0.5, 6}, {100, 50, 1.00005, 38},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CloudBumpCount(c.w, c.h, c.intensity), c.bumps) << c.w << " " << c.h << " " << c.intensity;
}

TEST(ApCloud, RectanglePointsRunCounterClockwiseFromTheCorner) {
  auto points = RectangleCloudPoints({0, 0, 100, 50}, 1);
  // 38 bumps: step 300/38; 13 along each long edge, 6 along each short one.
  ASSERT_EQ(points.size(), 38u);
  EXPECT_EQ(points[0].x, 0);
  EXPECT_EQ(points[0].y, 0);
  EXPECT_EQ(points[13].x, 100);
  EXPECT_EQ(points[13].y, 0);
  EXPECT_EQ(points[19].x, 100);
  EXPECT_EQ(points[19].y, 50);
  EXPECT_TRUE(RectangleCloudPoints({0, 0, 0, 50}, 1).empty());
}

TEST(ApCloud, RingIsOneMoveThenCurvesAndItsBoundsHoldEveryBump) {
  std::string out;
  ApBounds b = AppendRectangleCloud(out, {0, 0, 100, 50}, 1);
  auto ops = Operators(out);
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(ops[0], "m");
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "m"), 1);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "c"), static_cast<long>(ops.size()) - 1);
  // The short edges hold 6 points each, 50/6 apart: the largest spacing.
  double r = 0.55 * 50.0 / 6;
  EXPECT_NEAR(b.left, -r, 1e-3);
  EXPECT_NEAR(b.right, 100 + r, 1e-3);
  EXPECT_NEAR(b.top, 50 + r, 1e-3);
  // Every bump bulges outwards: no curve point lies deep inside the figure.
  std::istringstream in(out);
  double x, y;
  std::string tok;
  while (in >> tok) {
    if (!std::isdigit(static_cast<unsigned char>(tok[0])) && tok[0] != '-') continue;
    x = std::stod(tok);
    in >> tok;
    y = std::stod(tok);
    EXPECT_FALSE(x > 2 * r && x < 100 - 2 * r && y > 2 * r && y < 50 - 2 * r) << x << " " << y;
  }
}

TEST(ApCloud, DegenerateFiguresDrawNothing) {
  std::string out;
  EXPECT_TRUE(AppendRectangleCloud(out, {10, 10, 10, 20}, 1).empty);
  EXPECT_TRUE(AppendEllipseCloud(out, {10, 10, 5, 20}, 0, 1).empty);
  EXPECT_TRUE(AppendPolygonCloud(out, {{1, 1}}, 1).empty);
  EXPECT_TRUE(AppendCloud(out, {{3, 3}, {3, 3}, {3, 3}}).empty);
  EXPECT_TRUE(out.empty());
}

TEST(ApCloud, PolygonCloudIsTheSameWhicheverWayTheVerticesTurn) {
  std::vector<KS_FloatPoint> ccw = {{0, 0}, {60, 0}, {60, 60}, {0, 60}};
  std::vector<KS_FloatPoint> cw(ccw.rbegin(), ccw.rend());
  std::string a, b;
  ApBounds ba = AppendPolygonCloud(a, ccw, 2);
  ApBounds bb = AppendPolygonCloud(b, cw, 2);
  EXPECT_FALSE(ba.empty);
  EXPECT_NEAR(ba.left, bb.left, 1e-6);
  EXPECT_NEAR(ba.top, bb.top, 1e-6);
  EXPECT_LT(ba.left, 0);  // bumps outside, not inside
  EXPECT_GT(ba.top, 60);
}

// FNV-1a of a content string: a short, exact fingerprint of a long ring.
uint64_t Fingerprint(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// Polygons whose every edge holds a bump draw exactly the ring they always
// have: files rebuilt again must not change.
TEST(ApCloud, PolygonsWithLongEdgesKeepTheirRing) {
  struct Case {
    const char* what;
    std::vector<KS_FloatPoint> vertices;
    double intensity;
    size_t length;
    uint64_t fingerprint;
  } cases[] = {
      {"triangle", {{0, 0}, {60, 0}, {30, 40}}, 2, 1346, 9939161674731214781ull},
      {"hexagon", {{123, 53}, {98, 81}, {48, 81}, {23, 53}, {48, 25}, {98, 25}}, 1, 3163, 12478011468627732504ull},
      {"clockwise quadrilateral", {{10, 10}, {15, 90}, {95, 80}, {90, 5}}, 2, 2492, 13341742852685113107ull},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_FALSE(AppendPolygonCloud(out, c.vertices, c.intensity).empty) << c.what;
    EXPECT_EQ(out.size(), c.length) << c.what;
    EXPECT_EQ(Fingerprint(out), c.fingerprint) << c.what << "\n" << out;
  }
  // A rectangle given as a polygon is the rectangle's own cloud.
  std::string polygon, rectangle;
  AppendPolygonCloud(polygon, {{0, 0}, {100, 0}, {100, 50}, {0, 50}}, 1);
  AppendRectangleCloud(rectangle, {0, 0, 100, 50}, 1);
  EXPECT_EQ(polygon, rectangle);
}

// Edges shorter than half the bump spacing still carry bumps: the ring
// runs evenly around the whole outline.
TEST(ApCloud, EveryPolygonGetsEvenBumpsAroundItsWholeOutline) {
  std::vector<KS_FloatPoint> circle;
  for (int i = 0; i < 200; ++i)
    circle.push_back({float(100 + 50 * std::cos(i * 2 * M_PI / 200)), float(100 + 50 * std::sin(i * 2 * M_PI / 200))});
  // A square whose top is drawn as 60 tiny steps, clockwise.
  std::vector<KS_FloatPoint> stepped = {{0, 0}, {0, 60}};
  for (int i = 1; i <= 60; ++i) stepped.push_back({float(i), 60});
  stepped.push_back({60, 0});
  struct Case {
    const char* what;
    std::vector<KS_FloatPoint> vertices;
    double intensity;
    size_t bumps;
  } cases[] = {
      {"200-vertex circle", circle, 1, 40},
      {"sliver triangle", {{0, 0}, {100, 0}, {100, 3}}, 1, 26},
      {"stepped square", stepped, 2, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<KS_FloatPoint> points = PolygonCloudPoints(c.vertices, c.intensity);
    ASSERT_EQ(points.size(), c.bumps);
    double shortest = 1e9, longest = 0;
    for (size_t i = 0; i < points.size(); ++i) {
      const KS_FloatPoint& a = points[i];
      const KS_FloatPoint& b = points[(i + 1) % points.size()];
      double d = std::hypot(double(b.x) - a.x, double(b.y) - a.y);
      shortest = std::min(shortest, d);
      longest = std::max(longest, d);
    }
    // Spacing cut short only where the outline turns a corner.
    EXPECT_LT(longest / shortest, 1.5) << shortest << " " << longest;
    std::string out;
    ApBounds b = AppendPolygonCloud(out, c.vertices, c.intensity);
    EXPECT_FALSE(b.empty);
    EXPECT_EQ(std::count(out.begin(), out.end(), 'm'), 1);
  }
}

}  // namespace
}  // namespace kwannotation
