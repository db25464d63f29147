#include "measure/cma_osnap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstdlib>
#include <optional>

#include "host/core_hft.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/test_temp_dir.h"
#include "sdk/ks_host_binding.h"

namespace AnnotationPlugin::osnap {
namespace {

struct NearestCase {
  KS_FloatPoint a, b, p, expected;
};

TEST(OsnapLine, NearestPointIsTheFootOrTheEndNearerToIt) {
  const NearestCase cases[] = {
      {{0, 0}, {10, 0}, {5, 7}, {5, 0}},      // horizontal, foot inside
      {{0, 0}, {10, 0}, {15, 3}, {10, 0}},    // beyond the end
      {{3, 0}, {3, 10}, {8, 4}, {3, 4}},      // vertical
      {{3, 10}, {3, 0}, {8, -4}, {3, 0}},     // vertical, before the start
      {{0, 0}, {10, 10}, {0, 10}, {5, 5}},    // diagonal
      {{0, 0}, {10, 10}, {-6, -4}, {0, 0}},   // diagonal, past the first end
      {{0, 0}, {10, 0}, {10, 5}, {10, 0}},    // foot on the box edge counts as inside
  };
  for (const NearestCase& c : cases) {
    const KS_FloatPoint got = StraightLine(c.a, c.b).NearestPoint(c.p);
    EXPECT_NEAR(got.x, c.expected.x, 1e-5) << c.p.x << "," << c.p.y;
    EXPECT_NEAR(got.y, c.expected.y, 1e-5) << c.p.x << "," << c.p.y;
  }
}

TEST(OsnapLine, MidpointAndBoxAreOrderedWhateverTheDirection) {
  const StraightLine line({8, -2}, {2, 6});
  EXPECT_EQ(line.Midpoint().x, 5);
  EXPECT_EQ(line.Midpoint().y, 2);
  const KS_FloatRect box = line.BoundingBox();
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.right, 8);
  EXPECT_EQ(box.bottom, -2);
  EXPECT_EQ(box.top, 6);
}

struct CrossCase {
  const char* name;
  KS_FloatPoint a1, a2, b1, b2;
  std::vector<KS_FloatPoint> expected;
};

TEST(OsnapIntersect, AtMostOnePointWhereBothSegmentsAre) {
  const CrossCase cases[] = {
      {"crossing", {0, 0}, {10, 10}, {0, 10}, {10, 0}, {{5, 5}}},
      {"T junction at an end", {0, 0}, {10, 0}, {5, 0}, {5, 8}, {{5, 0}}},
      {"shared corner", {0, 0}, {10, 0}, {10, 0}, {10, 10}, {{10, 0}}},
      {"collinear overlapping", {0, 0}, {10, 0}, {5, 0}, {15, 0}, {}},
      {"parallel", {0, 0}, {10, 0}, {0, 1}, {10, 1}, {}},
      {"boxes apart", {0, 0}, {1, 1}, {5, 0}, {6, -1}, {}},
      {"lines cross outside one segment", {0, 0}, {10, 0}, {12, -5}, {12, 5}, {}},
      {"boxes overlap, segments miss", {0, 0}, {10, 10}, {6, 0}, {10, 3}, {}},
  };
  for (const CrossCase& c : cases) {
    const std::vector<KS_FloatPoint> got = Intersect(StraightLine(c.a1, c.a2), StraightLine(c.b1, c.b2));
    ASSERT_EQ(got.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i].x, c.expected[i].x, 1e-5) << c.name;
      EXPECT_NEAR(got[i].y, c.expected[i].y, 1e-5) << c.name;
    }
  }
}

struct PolygonCase {
  const char* name;
  std::vector<KS_FloatPoint> vertices;
  bool newestEdge;
};

TEST(OsnapPolygon, NewestEdgeCrossingAnEarlierOne) {
  const PolygonCase cases[] = {
      {"triangle", {{0, 0}, {10, 10}, {10, 0}}, false},
      {"bow-tie", {{0, 0}, {10, 10}, {10, 0}, {0, 10}}, true},
      {"square", {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false},
      {"closed on the first vertex", {{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}, false},
      {"back across the first edge", {{0, 0}, {10, 0}, {10, 10}, {5, 10}, {5, -5}}, true},
      {"touching the neighbour edge only", {{0, 0}, {10, 0}, {10, 10}, {10, 5}}, false},
  };
  for (const PolygonCase& c : cases) EXPECT_EQ(NewestEdgeIntersects(c.vertices), c.newestEdge) << c.name;
}

TEST(OsnapPolygon, EdgesAtAVertex) {
  const std::vector<KS_FloatPoint> square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const std::vector<KS_FloatPoint> bowTie{{0, 0}, {10, 10}, {10, 0}, {0, 10}};
  const std::vector<KS_FloatPoint> triangle{{0, 0}, {10, 10}, {10, 0}};
  // Dragging vertex 2 of a square across the opposite side.
  const std::vector<KS_FloatPoint> folded{{0, 0}, {10, 0}, {-5, 5}, {0, 10}};
  const std::vector<KS_FloatPoint> onNeighbour{{0, 0}, {10, 0}, {10, 0}, {0, 10}};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_FALSE(EdgesAtVertexIntersect(square, k)) << k;
    EXPECT_TRUE(EdgesAtVertexIntersect(bowTie, k)) << k;
  }
  for (size_t k = 0; k < 3; ++k) EXPECT_FALSE(EdgesAtVertexIntersect(triangle, k)) << k;
  EXPECT_TRUE(EdgesAtVertexIntersect(folded, 2));
  EXPECT_FALSE(EdgesAtVertexIntersect(onNeighbour, 2));
  EXPECT_FALSE(EdgesAtVertexIntersect(square, 7));
}

// Preferences of a fresh configuration folder, gone afterwards.
class OsnapModes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig_ = old;
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    kshost::Env().Reset();
    ks::host::Bind(kshost::CoreHFT(), nullptr);
  }
  void TearDown() override {
    if (oldConfig_) ::setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    kshost::Env().Reset();
  }
  kshost::testing::TempDir config_;
  std::optional<std::string> oldConfig_;
};

TEST_F(OsnapModes, ToggleTurnsTheHostStateOverAndStoresItUnderItsKey) {
  const char16_t* keys[] = {u"end", u"mid", u"inter", u"near"};
  for (int index = 0; index < 4; ++index) {
    const bool before = kshost::direct::SnapGetMode(1, index) != 0;
    EXPECT_EQ(ToggleSnapMode(index), !before) << index;
    EXPECT_EQ(kshost::direct::SnapGetMode(1, index) != 0, !before) << index;
    EXPECT_EQ(kshost::direct::PrefGetInt(u"snap", keys[index], -1), before ? 0 : 1) << index;
    // Only this mode changed.
    for (int other = 0; other < 4; ++other)
      if (other != index) EXPECT_EQ(kshost::direct::PrefGetInt(u"snap", keys[other], 0), 0) << index << other;
    EXPECT_EQ(ToggleSnapMode(index), before) << index;
  }
  EXPECT_FALSE(ToggleSnapMode(4));
  EXPECT_FALSE(ToggleSnapMode(-1));
}

}  // namespace
}  // namespace AnnotationPlugin::osnap
