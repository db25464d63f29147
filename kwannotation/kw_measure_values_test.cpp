// Lengths and areas of measurements from their geometry and scale.
#include "kwannotation/kw_measure_values.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

class MeasureValues : public test::HostDocTest {
 protected:
  KwMeasureScale ScaleOf(const std::string& measure) {
    test::Owned dict = test::Parse(measure);
    CKW_MeasureDictImpl m(dict.get());
    return KW_MeasureScaleOf(m);
  }
};

TEST_F(MeasureValues, ScaleTakesTheFirstFactorsAndBringsYIntoXUnits) {
  struct Case {
    const char* measure;
    bool usable;
    double x, y;
  } cases[] = {
      {"<< /X [<< /U (ft) /C 0.5 >> << /U (in) /C 12 >>] >>", true, 0.5, 0.5},
      {"<< /X [<< /U (cm) /C 2 >>] /Y [<< /U (cm) /C 3 >>] /CYX 1.5 >>", true, 2, 4.5},
      {"<< /X [<< /U (cm) /C 2 >>] /Y [<< /U (cm) /C 3 >>] >>", true, 2, 3},
      {"<< /D [<< /U (cm) /C 2 >>] >>", false, 1, 1},
      {"<< /X [<< /U (cm) /C 0 >>] >>", false, 0, 0},
      {"<< /X [<< /U (cm) /C 2 >>] /Y [<< /U (cm) /C -1 >>] >>", false, 2, -1},
  };
  for (const Case& c : cases) {
    KwMeasureScale s = ScaleOf(c.measure);
    EXPECT_EQ(s.usable, c.usable) << c.measure;
    if (c.usable) {
      EXPECT_DOUBLE_EQ(s.x, c.x) << c.measure;
      EXPECT_DOUBLE_EQ(s.y, c.y) << c.measure;
    }
  }
}

TEST(MeasureValueMaths, LengthsScaleEachAxisAndAreasBothWhicheverWayThePointsRun) {
  const KwMeasureScale s{2.0, 3.0, true};
  EXPECT_DOUBLE_EQ(KW_ScaledLength(s, 0, 0, 3, 4), std::hypot(6.0, 12.0));
  const std::vector<double> square = {0, 0, 10, 0, 10, 10, 0, 10};
  const std::vector<double> reversed = {0, 10, 10, 10, 10, 0, 0, 0};
  EXPECT_DOUBLE_EQ(KW_PathLength(s, square, false), 20 + 30 + 20);
  EXPECT_DOUBLE_EQ(KW_PathLength(s, square, true), 20 + 30 + 20 + 30);
  EXPECT_DOUBLE_EQ(KW_PolygonArea(s, square), 100 * 6);
  EXPECT_DOUBLE_EQ(KW_PolygonArea(s, reversed), 100 * 6);
  // A concave "L": 10x10 less its upper right 5x5 quarter.
  const std::vector<double> ell = {0, 0, 10, 0, 10, 5, 5, 5, 5, 10, 0, 10};
  EXPECT_DOUBLE_EQ(KW_PolygonArea(KwMeasureScale{1, 1, true}, ell), 75);
  EXPECT_EQ(KW_PathLength(s, {1, 2}, true), 0);
  EXPECT_EQ(KW_PolygonArea(s, {0, 0, 5, 5}), 0);
  EXPECT_EQ(KW_PathLength(s, {0, 0, 1, 0, 7}, false), 2);  // the odd number is ignored
}

TEST_F(MeasureValues, GeometryIsReadByTheKindOfTheMeasurement) {
  const KwMeasureScale s{1.0, 1.0, true};
  struct Case {
    const char* annot;
    int32_t kind;
    KwMeasuredGeometry::Status status;
    bool isArea;
    double length, area;
  } cases[] = {
      {"<< /L [0 0 3 4] >>", KW_MEASURE_LINE, KwMeasuredGeometry::kMeasured, false, 5, 0},
      {"<< /L [0 0 3] >>", KW_MEASURE_LINE, KwMeasuredGeometry::kNoGeometry, false, 0, 0},
      {"<< /L [0 0 3 (x)] >>", KW_MEASURE_LINE, KwMeasuredGeometry::kNoGeometry, false, 0, 0},
      {"<< /Vertices [0 0 3 4 3 0] >>", KW_MEASURE_POLYLINE, KwMeasuredGeometry::kMeasured, false, 9, 0},
      {"<< /Vertices [0 0 3 4 3 0] >>", KW_MEASURE_POLYGON, KwMeasuredGeometry::kMeasured, true, 12, 6},
      {"<< /Vertices [0 0 3 4 3] >>", KW_MEASURE_POLYGON, KwMeasuredGeometry::kNoGeometry, false, 0, 0},
      {"<< /Vertices [0 0] >>", KW_MEASURE_POLYLINE, KwMeasuredGeometry::kNoGeometry, false, 0, 0},
      {"<< /Vertices [0 0 3 4 3 0] >>", KW_MEASURE_ANGLE, KwMeasuredGeometry::kNotMeasured, false, 0, 0},
  };
  for (const Case& c : cases) {
    test::Owned annot = test::Parse(c.annot);
    KwMeasuredGeometry g = KW_MeasureGeometry(annot.get(), c.kind, s);
    EXPECT_EQ(g.status, c.status) << c.annot;
    EXPECT_EQ(g.isArea, c.isArea) << c.annot;
    EXPECT_DOUBLE_EQ(g.length, c.length) << c.annot;
    EXPECT_DOUBLE_EQ(g.area, c.area) << c.annot;
  }
}

}  // namespace
}  // namespace kwannotation
