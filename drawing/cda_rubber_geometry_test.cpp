// What the eraser takes away: reach, crossing, runs, whole strokes,
// pressure, and the grid agreeing with the plain rule.
#include "drawing/cda_rubber_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace AnnotationPlugin {
namespace {

DA_InkStroke Stroke(std::vector<KS_FloatPoint> pts, std::vector<float> pressure = {}) {
  return DA_InkStroke{std::move(pts), std::move(pressure)};
}

CDA_RubberTrail Trail(int32_t size, std::vector<KS_FloatPoint> pts) {
  CDA_RubberTrail t(RubberRadius(size));
  for (KS_FloatPoint p : pts) t.Add(p);
  return t;
}

// Both implementations on the same input, which must agree; the indexed
// result is returned.
DA_EraseResult Part(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail) {
  DA_EraseResult plain = RubberReferencePart(strokes, trail);
  DA_EraseResult indexed = CDA_StrokeIndex(strokes).ErasePart(trail);
  EXPECT_EQ(plain.changed, indexed.changed);
  EXPECT_EQ(plain.strokes.size(), indexed.strokes.size());
  return indexed;
}

DA_EraseResult Whole(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail) {
  DA_EraseResult plain = RubberReferenceWhole(strokes, trail);
  DA_EraseResult indexed = CDA_StrokeIndex(strokes).EraseWhole(trail);
  EXPECT_EQ(plain.strokes.size(), indexed.strokes.size());
  return indexed;
}

// The pieces of `strokes` that `runs` name, with their pressure.
DA_InkStrokes Cut(const DA_InkStrokes& strokes, const std::vector<DA_InkRun>& runs) {
  DA_InkStrokes out;
  for (const DA_InkRun& r : runs) {
    const DA_InkStroke& s = strokes.at(size_t(r.stroke));
    DA_InkStroke piece;
    piece.points.assign(s.points.begin() + r.first, s.points.begin() + r.first + r.points);
    if (!s.pressure.empty()) piece.pressure.assign(s.pressure.begin() + r.first, s.pressure.begin() + r.first + r.points);
    out.push_back(std::move(piece));
  }
  return out;
}

std::vector<float> Xs(const DA_InkStroke& s) {
  std::vector<float> xs;
  for (KS_FloatPoint p : s.points) xs.push_back(p.x);
  return xs;
}

bool SameStrokes(const DA_InkStrokes& a, const DA_InkStrokes& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].points.size() != b[i].points.size() || a[i].pressure != b[i].pressure) return false;
    for (size_t k = 0; k < a[i].points.size(); ++k)
      if (a[i].points[k].x != b[i].points[k].x || a[i].points[k].y != b[i].points[k].y) return false;
  }
  return true;
}

TEST(RubberGeometry, RadiusIsHalfTheSizeAndATenth) {
  EXPECT_FLOAT_EQ(RubberRadius(8), 4.1f);
  EXPECT_FLOAT_EQ(RubberRadius(1), 0.6f);
  EXPECT_FLOAT_EQ(RubberRadius(0), 0.6f);   // clamped up
  EXPECT_FLOAT_EQ(RubberRadius(45), 15.1f); // clamped down
}

// A stroke of points one unit apart along y = h; a trail at the origin (or
// along the x axis) with size 8 (radius 4.1) erases the points within reach
// and splits the stroke there.
TEST(RubberGeometry, PointsWithinReachOfATrailAreErased) {
  struct Case {
    const char* what;
    std::vector<KS_FloatPoint> trail;
    float h;
    std::vector<std::vector<float>> kept;  // xs of the strokes left
  };
  const Case cases[] = {
      // One-point trail at (0, 0): |x| <= 4 is within 4.1, and the segments
      // [-5, -4] and [4, 5] are 4 away, so their far ends go too.
      {"one point, on the stroke", {{0, 0}}, 0, {{-10, -9, -8, -7, -6}, {6, 7, 8, 9, 10}}},
      // At height 4 only x = 0 is within reach ((1, 4) is 4.12 away), but
      // the segments on either side are 4 away: -1, 0 and 1 go.
      {"one point, at the edge", {{0, 0}}, 4, {{-10, -9, -8, -7, -6, -5, -4, -3, -2}, {2, 3, 4, 5, 6, 7, 8, 9, 10}}},
      {"one point, out of reach", {{0, 0}}, 4.2f, {{-10, -9, -8, -7, -6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}},
      // A trail segment from (-2, 0) to (2, 0) at height 4: x in [-2, 2] is
      // within reach; the segments next to x = -2 are within reach of the
      // trail's first point, so -3 goes too, but 3 (4.12 from the end) stays.
      {"segment, beside it", {{-2, 0}, {2, 0}}, 4, {{-10, -9, -8, -7, -6, -5, -4}, {3, 4, 5, 6, 7, 8, 9, 10}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<KS_FloatPoint> pts;
    for (int x = -10; x <= 10; ++x) pts.push_back({float(x), c.h});
    DA_EraseResult r = Part({Stroke(pts)}, Trail(8, c.trail));
    std::vector<std::vector<float>> kept;
    for (const auto& s : r.strokes) kept.push_back(Xs(s));
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(r.changed, c.kept.size() != 1 || c.kept[0].size() != 21);
  }
}

TEST(RubberGeometry, SegmentsCrossWhenTheyTouch) {
  struct Case {
    const char* what;
    KS_FloatPoint a, b, c, d;
    bool cross;
  };
  const Case cases[] = {
      {"plain crossing", {0, 0}, {10, 10}, {0, 10}, {10, 0}, true},
      {"end on the other segment", {0, 0}, {10, 0}, {5, 0}, {5, 10}, true},
      {"ends meet", {0, 0}, {10, 0}, {10, 0}, {20, 5}, true},
      {"collinear overlap", {0, 0}, {10, 0}, {5, 0}, {15, 0}, true},
      {"collinear apart", {0, 0}, {10, 0}, {11, 0}, {15, 0}, false},
      {"parallel", {0, 0}, {10, 0}, {0, 1}, {10, 1}, false},
      {"would cross if longer", {0, 0}, {10, 0}, {5, 1}, {5, 10}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RubberSegmentsCross(c.a, c.b, c.c, c.d), c.cross) << c.what;
    EXPECT_EQ(RubberSegmentsCross(c.c, c.d, c.a, c.b), c.cross) << c.what << " (swapped)";
  }
}

// A trail that crosses a long stroke segment far from both its points
// erases both of them: the segment is touched.
TEST(RubberGeometry, ATrailCrossingASegmentErasesItsEnds) {
  DA_InkStrokes strokes = {Stroke({{-50, -100}, {0, -50}, {0, 50}, {50, 100}})};
  DA_EraseResult r = Part(strokes, Trail(1, {{-10, 0}, {10, 0}}));
  ASSERT_TRUE(r.changed);
  // Points 1 and 2 go; points 0 and 3 are runs of one point and go too.
  EXPECT_TRUE(r.strokes.empty());
  EXPECT_EQ(r.droppedSinglePoints, 2);

  // Touching counts: a one-point trail on the segment, far from its points.
  r = Part(strokes, Trail(1, {{0, 0}}));
  EXPECT_TRUE(r.changed);
  // A trail that misses by more than the radius leaves it alone.
  r = Part(strokes, Trail(1, {{1, 0}, {10, 0}}));
  EXPECT_FALSE(r.changed);
  ASSERT_EQ(r.strokes.size(), 1u);
  EXPECT_EQ(r.strokes[0].points.size(), 4u);
}

TEST(RubberGeometry, RunsOfOnePointAreDroppedAndLongerRunsKept) {
  // Points along x at 10-unit spacing; a one-point trail at x = 20 with
  // radius 0.6 reaches point 2, and its segments to 1 and 3 are touched, so
  // points 1, 2, 3 go: the runs are {0} (dropped) and {4, 5, 6}.
  DA_InkStrokes strokes = {Stroke({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}, {50, 0}, {60, 0}})};
  DA_EraseResult r = Part(strokes, Trail(1, {{20, 0}}));
  ASSERT_EQ(r.strokes.size(), 1u);
  EXPECT_EQ(Xs(r.strokes[0]), (std::vector<float>{40, 50, 60}));
  EXPECT_EQ(r.droppedSinglePoints, 1);
}

TEST(RubberGeometry, WholeStrokeGoesWhenTheTrailOnlyCrossesASegment) {
  DA_InkStrokes strokes = {Stroke({{0, 0}, {100, 0}}), Stroke({{0, -100}, {0, -200}}, {0.5f, 0.6f}),
                           Stroke({{0, 50}, {100, 50}})};
  // Crosses the middle of the first stroke, 50 units from its points.
  DA_EraseResult r = Whole(strokes, Trail(1, {{50, -10}, {50, 10}}));
  ASSERT_TRUE(r.changed);
  ASSERT_EQ(r.strokes.size(), 2u);
  EXPECT_EQ(r.strokes[0].points[0].y, -100);  // the others, in their order
  EXPECT_EQ(r.strokes[0].pressure, (std::vector<float>{0.5f, 0.6f}));
  EXPECT_EQ(r.strokes[1].points[0].y, 50);
  // Every stroke touched: nothing left.
  r = Whole(strokes, Trail(1, {{50, -300}, {50, 300}, {0, -150}}));
  EXPECT_TRUE(r.strokes.empty());
  // Nothing touched: nothing changes.
  r = Whole(strokes, Trail(1, {{200, 200}, {300, 300}}));
  EXPECT_FALSE(r.changed);
  EXPECT_TRUE(SameStrokes(r.strokes, strokes));
}

TEST(RubberGeometry, EmptyTrailAndStrokesThatCannotBeErased) {
  const float nan = std::nanf("");
  DA_InkStrokes strokes = {Stroke({{0, 0}, {nan, 0}, {2, 0}}), Stroke({{0, 0}, {1, 0}})};
  // An empty trail reaches nothing.
  DA_EraseResult r = Part(strokes, Trail(8, {}));
  EXPECT_FALSE(r.changed);
  // A stroke with a coordinate that is not finite is kept as it is and
  // counted; the other one is erased.
  r = Part(strokes, Trail(8, {{0, 0}}));
  EXPECT_TRUE(r.changed);
  ASSERT_EQ(r.strokes.size(), 1u);
  EXPECT_EQ(r.strokes[0].points.size(), 3u);
  EXPECT_EQ(r.skippedStrokes, 1);
}

// A million points: the grid cuts where the plain rule does, and every run
// left has two points or more.
TEST(RubberGeometry, AMillionPointsAreCutWhereThePlainRuleCuts) {
  DA_InkStrokes strokes(10);
  for (int s = 0; s < 10; ++s)
    for (int i = 0; i < 100000; ++i)
      strokes[size_t(s)].points.push_back({50.0f + float(i) * 0.005f, 100.0f + float(s) * 20});
  CDA_RubberTrail trail = Trail(8, {{300, 90}, {300, 300}, {400, 300}, {400, 90}});
  DA_EraseResult r = CDA_StrokeIndex(strokes).ErasePart(trail);
  EXPECT_EQ(r.strokes.size(), 30u);
  EXPECT_TRUE(SameStrokes(r.strokes, RubberReferencePart(strokes, trail).strokes));
  for (const auto& s : r.strokes) EXPECT_GE(s.points.size(), 2u);
}

// The grid gives the same runs and the same preview as the plain rule on
// random inks and trails, and the strokes left are the pieces the runs
// name, each point with its own pressure.
TEST(RubberGeometry, IndexAgreesWithThePlainRule) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> coord(0, 400), step(-12, 12), count(0, 1);
  for (int round = 0; round < 60; ++round) {
    DA_InkStrokes strokes;
    const int nStrokes = 1 + int(count(rng) * 20);
    for (int s = 0; s < nStrokes; ++s) {
      DA_InkStroke stroke;
      KS_FloatPoint p{coord(rng), coord(rng)};
      const int n = 1 + int(count(rng) * 60);
      for (int i = 0; i < n; ++i) {
        stroke.points.push_back(p);
        stroke.pressure.push_back(count(rng));
        // Now and then a long jump across the ink.
        if (count(rng) < 0.05f) p = {coord(rng), coord(rng)};
        else p = {p.x + step(rng), p.y + step(rng)};
      }
      strokes.push_back(std::move(stroke));
    }
    const int size = 1 + int(count(rng) * 29);
    CDA_RubberTrail trail(RubberRadius(size));
    const int trailPoints = int(count(rng) * 30);
    KS_FloatPoint t{coord(rng), coord(rng)};
    CDA_StrokeIndex index(strokes);
    CDA_StrokeIndex::Preview part(index, false), whole(index, true);
    // Each step hands out only what it had not handed out before, so the
    // steps together are the preview of the whole trail, each segment once.
    std::vector<DA_SegmentRef> partShown, wholeShown;
    for (int i = 0; i < trailPoints; ++i) {
      trail.Add(t);
      for (const DA_SegmentRef& s : part.Extend(trail)) partShown.push_back(s);
      for (const DA_SegmentRef& s : whole.Extend(trail)) wholeShown.push_back(s);
      t = {t.x + step(rng) * 3, t.y + step(rng) * 3};
    }
    SCOPED_TRACE("round " + std::to_string(round));
    const DA_EraseResult partIndexed = index.ErasePart(trail), partPlain = RubberReferencePart(strokes, trail);
    const DA_EraseResult wholeIndexed = index.EraseWhole(trail), wholePlain = RubberReferenceWhole(strokes, trail);
    EXPECT_TRUE(SameStrokes(partIndexed.strokes, partPlain.strokes));
    EXPECT_TRUE(SameStrokes(wholeIndexed.strokes, wholePlain.strokes));
    // The pieces the host keeps are the strokes left, pressure and all.
    EXPECT_EQ(partIndexed.runs, partPlain.runs);
    EXPECT_EQ(wholeIndexed.runs, wholePlain.runs);
    EXPECT_TRUE(SameStrokes(Cut(strokes, partIndexed.runs), partIndexed.strokes));
    EXPECT_TRUE(SameStrokes(Cut(strokes, wholeIndexed.runs), wholeIndexed.strokes));
    std::sort(partShown.begin(), partShown.end());
    std::sort(wholeShown.begin(), wholeShown.end());
    EXPECT_EQ(partShown, RubberReferencePreview(strokes, trail, false));
    EXPECT_EQ(wholeShown, RubberReferencePreview(strokes, trail, true));
  }
}

}  // namespace
}  // namespace AnnotationPlugin
