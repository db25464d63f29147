// Rectangle and angle helpers of the annotation model.
#include "kwannotation/kw_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kwannotation::geom {
namespace {

void ExpectRect(const KS_FloatRect& r, float l, float b, float rt, float t, const char* what) {
  EXPECT_FLOAT_EQ(r.left, l) << what;
  EXPECT_FLOAT_EQ(r.bottom, b) << what;
  EXPECT_FLOAT_EQ(r.right, rt) << what;
  EXPECT_FLOAT_EQ(r.top, t) << what;
}

TEST(Geometry, InsetsAreClampedAndCrossingInsetsMeetInProportion) {
  const KS_FloatRect rect{0, 0, 100, 50};
  struct Case {
    const char* what;
    float rd[4];
    float l, b, r, t;
  } cases[] = {
      {"plain", {10, 5, 20, 15}, 10, 5, 80, 35},
      {"negative counts as none", {-10, 5, -1, 15}, 0, 5, 100, 35},
      // 60 + 60 > 100: they meet at 60 / 120 of the width.
      {"crossing on x", {60, 0, 60, 0}, 50, 0, 50, 50},
      {"crossing unevenly on y", {0, 90, 0, 10}, 0, 45, 100, 45},
      {"exactly meeting", {40, 0, 60, 0}, 40, 0, 40, 50},
  };
  for (const Case& c : cases) ExpectRect(Inset(rect, c.rd), c.l, c.b, c.r, c.t, c.what);
}

TEST(Geometry, InsetsBetweenUndoAnInset) {
  const KS_FloatRect outer{-20, 10, 80, 90};
  const float rd[4] = {3, 4, 5, 6};
  const KS_FloatRect inner = Inset(outer, rd);
  const KS_FloatRect back = InsetsBetween(outer, inner);
  ExpectRect(back, 3, 4, 5, 6, "round trip");
  ExpectRect(Inset(outer, &back.left), inner.left, inner.bottom, inner.right, inner.top, "applied again");
}

TEST(Geometry, DeflateSwapsSidesAboutTheCentreInsteadOfCollapsing) {
  ExpectRect(Deflate({0, 0, 10, 20}, 2), 2, 2, 8, 18, "thin border");
  // Half-width 5, inset 8: the x sides land 3 past the centre, swapped,
  // so the figure keeps a width of 6 rather than none.
  ExpectRect(Deflate({0, 0, 10, 20}, 8), 2, 8, 8, 12, "border thicker than the figure is wide");
  ExpectRect(Deflate({0, 0, 10, 20}, 12), -2, 8, 12, 12, "thicker on both axes");
}

TEST(Geometry, AnglesAndRanges) {
  EXPECT_DOUBLE_EQ(Radians(90), 3.14159265358979323846 / 2);
  EXPECT_DOUBLE_EQ(Radians(450), Radians(90));
  EXPECT_DOUBLE_EQ(Radians(-90), -Radians(90));
  EXPECT_TRUE(InRange(1.0e7));
  EXPECT_FALSE(InRange(1.0e7 + 1));
  EXPECT_FALSE(InRange(std::nan("")));
  EXPECT_FALSE(InRange(std::vector<float>{1, 2, 3e7f}));
  EXPECT_TRUE(SameRect({1, 2, 3, 4}, {1, 2, 3, 4}));
  EXPECT_FALSE(SameRect({1, 2, 3, 4}, {1, 2, 3, 4.001f}));
  std::vector<Point> points = PointsOf({1, 2, 3, 4, 5});
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].x, 3);
  EXPECT_EQ(points[1].y, 4);
}

}  // namespace
}  // namespace kwannotation::geom
