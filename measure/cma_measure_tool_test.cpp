#include "measure/cma_measure_tool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/editor.h"
#include "kwannotation/kw_test_support.h"
#include "measure/cma_annot_handlers.h"
#include "measure/cma_figure_values.h"

namespace AnnotationPlugin {
namespace {

TEST(MeasureTypes, ToolNamesAreComparedExactly) {
  const std::pair<const char*, int> cases[] = {
      {"DISTANCE", 1},   {"Perimeter", 2},    {"perimeter", 0}, {"Area", 3},   {"CircleArea", 4},
      {"POLYLENGTH", 5}, {"DIAMETER", 6},     {"CENTERRADIUS", 7}, {"3POINTRADIUS", 8}, {"VOLUME", 9},
      {"ANGLE", 10},     {"CALIBRATION", 0}, {"Distance", 0},   {"", 0},
  };
  for (auto [name, code] : cases) EXPECT_EQ(MeasureTypeFromToolName(name), code) << name;
}

TEST(MeasureTypes, RibbonPutsPolylengthRightAfterPerimeter) {
  int count = 0;
  const MeasureType* order = RibbonOrder(&count);
  std::string buttons;
  for (int i = 0; i < count; ++i) buttons += std::string(MeasureTypeRow(order[i])->button) + " ";
  EXPECT_EQ(buttons,
            "Button_Distance Button_Perimeter Button_Polylength Button_Area Button_Circle_Area Button_Diameter "
            "Button_CenterRadius Button_3PointRadius Button_Angle Button_Volume ");
}

TEST(MeasureGeometry, ThreePointsGiveACircleOnlyWhenNotInARowAndWideEnough) {
  KS_FloatPoint centre{};
  double radius = 0;
  ASSERT_TRUE(CircleThrough({100, 136}, {136, 172}, {172, 136}, &centre, &radius));
  EXPECT_NEAR(centre.x, 136, 1e-4);
  EXPECT_NEAR(centre.y, 136, 1e-4);
  EXPECT_NEAR(radius, 36, 1e-4);
  EXPECT_FALSE(CircleThrough({100, 100}, {150, 100}, {200, 100}, &centre, &radius));  // collinear
  EXPECT_FALSE(CircleThrough({100, 100}, {101, 101}, {102, 100}, &centre, &radius));  // radius 1
  EXPECT_TRUE(CircleThrough({100, 100}, {102, 102}, {104, 100}, &centre, &radius));   // radius 2
}

TEST(MeasureGeometry, ShiftPutsThePointOnTheNearest45Degrees) {
  struct Case {
    KS_FloatPoint p, want;
  } cases[] = {
      {{110, 103}, {110.440f, 100}},       // 16.7 degrees: along x
      {{110, 109}, {109.513f, 109.513f}},  // 42 degrees: the diagonal
      {{97, 110}, {100, 110.440f}},        // just past 90 degrees: up
      {{100.5f, 100.5f}, {100.5f, 100.5f}},  // within one unit: as it is
  };
  for (const Case& c : cases) {
    const KS_FloatPoint got = ConstrainTo45({100, 100}, c.p);
    EXPECT_NEAR(got.x, c.want.x, 1e-3) << c.p.x << " " << c.p.y;
    EXPECT_NEAR(got.y, c.want.y, 1e-3) << c.p.x << " " << c.p.y;
  }
}

TEST(MeasureTool, EscapeWhileIdleIsLeftToTheHost) {
  CMA_MeasureToolBase tool(kMeasureDistance);
  EXPECT_FALSE(tool.OnKeyDown(27, 0));
  EXPECT_FALSE(tool.IsBusy());
  EXPECT_EQ(tool.GetName(), "DISTANCE");
}

class FigureValuesTest : public kwannotation::test::HostDocTest {};

TEST_F(FigureValuesTest, AScaleThatCannotFormatGivesNoValue) {
  const char* const dicts[] = {
      "<< /Type /Measure /R (1 in = 10 ft) >>",  // no number formats
      "<< /Type /Measure /R (1 in = 10 ft) /X [ << /U (ft) /C 0 /D 100 >> ] >>",  // factor 0
      "<< /Type /Measure /R (1 in = 10 ft) /X [ << /U (ft) /C 1e308 /D 100 >> ] /D [ << /U (ft) /C 1 /D 100 >> ] >>",
  };
  MeasureFigure figure;
  figure.points = {{0, 0}, {1e30f, 0}};
  for (const char* text : dicts) {
    kwannotation::test::Owned dict = kwannotation::test::Parse(text);
    kwannotation::CKW_MeasureDictImpl measure(dict.get());
    EXPECT_EQ(MeasureFigureValues(kMeasureDistance, figure, measure).main, u"") << text;
  }
}

TEST_F(FigureValuesTest, UnitsSpellingNanOrInfAreShown) {
  // 72 points at 1 in = 1 in is one inch: 25,400,000 nanometres.
  MeasureFigure figure;
  figure.points = {{0, 0}, {72, 0}};
  kwannotation::test::Owned dict = kwannotation::test::Parse(
      "<< /Type /Measure /R (1 in = 1 in) /X [ << /U (nanometres) /C 352777.78 /D 1 >> ] "
      "/D [ << /U (nanometres) /C 1 /D 1 >> ] >>");
  kwannotation::CKW_MeasureDictImpl measure(dict.get());
  const FigureValues length = MeasureFigureValues(kMeasureDistance, figure, measure);
  EXPECT_EQ(length.main.rfind(u"25,400,000 nanometres", 0), 0u);
  EXPECT_EQ(length.panel.at(u"label_length"), length.main);
  EXPECT_TRUE(ShowableValue(u"Infill 3 in"));
  EXPECT_FALSE(ShowableValue(u""));
  EXPECT_FALSE(ShowableValue(std::nullopt));
}

TEST_F(FigureValuesTest, ContentsFollowTheGeometryAndKeepTheLabel) {
  KPD_Dictionary annot = Add(
      "<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Label (Wall) /Measure << /Type /Measure "
      "/R (1 in = 1 in) /X [ << /U (in) /C 0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq "
      "in) /C 1 /D 100 >> ] >> >>");
  std::optional<std::u16string> text = DerivedContents(annot, doc_);
  ASSERT_TRUE(text);
  // The length as the dictionary formats it; the label stays in the caption.
  EXPECT_EQ(text->rfind(u"1.00 in", 0), 0u);
  // A diameter is told from a circle area by its caption bits.
  EXPECT_EQ(MeasureTypeOfAnnot(Add("<< /Subtype /Circle /IT /CircleDimension /MeasurementTypes 384 >>")),
            kMeasureDiameter);
  EXPECT_EQ(MeasureTypeOfAnnot(Add("<< /Subtype /Circle /IT /CircleDimension >>")), kMeasureCircleArea);
  EXPECT_EQ(MeasureTypeOfAnnot(Add("<< /Subtype /PolyLine /IT /PolyLineDimension /RiseDrop true >>")),
            kMeasurePolylength);
}

TEST_F(FigureValuesTest, HandlersAnswerToTheirOwnToolNamesOnly) {
  KPD_Dictionary perimeter = Add("<< /Subtype /PolyLine /IT /PolyLineDimension >>");
  KPD_Dictionary polylength = Add("<< /Subtype /PolyLine /IT /PolyLineDimension /RiseDrop true >>");
  CMA_MeasureHandler<CMA_Perimeter> paths({"Perimeter", "POLYLENGTH"});
  CMA_MeasureHandler<CMA_Diameter> circles({"DIAMETER", "CircleArea", "Ellipse"});
  struct Case {
    CMeasure_AnnotHandler* handler;
    const char* tool;
    KPD_Dictionary annot;
    bool own;
  } cases[] = {
      {&paths, "Perimeter", perimeter, true},    {&paths, "POLYLENGTH", perimeter, false},
      {&paths, "POLYLENGTH", polylength, true},  {&paths, "Perimeter", polylength, false},
      {&paths, "perimeter", perimeter, false},   {&paths, "DISTANCE", perimeter, false},
      {&circles, "Ellipse", perimeter, true},    {&circles, "CIRCLEAREA", perimeter, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.handler->IsOwnTool(c.tool, c.annot), c.own) << c.tool;
  // Slot 2 takes the names as text, both path tools alike.
  EXPECT_TRUE(paths.AcceptsText2("POLYLENGTH"));
  EXPECT_TRUE(paths.AcceptsText2("Perimeter"));
  EXPECT_FALSE(paths.AcceptsText2("Area"));
}

// Two clicks of the distance tool through the editor: a measurement on a
// document that takes changes, nothing on a read-only one.
TEST_F(FigureValuesTest, ReadOnlyDocumentsGetNoMeasurement) {
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly);
    const int before = ks::host::PageAnnotCount(page_);
    kshost::Editor& editor = kshost::Editor::Get();
    editor.Reset();
    editor.AddDocument(doc_, readOnly);
    ASSERT_TRUE(editor.SetView(0, 1, 0));
    {
      CMA_MeasureToolBase tool(kMeasureDistance);
      ASSERT_TRUE(tool.Register());
      ASSERT_TRUE(editor.SetCurrentTool(tool.HostTool(), false));
      std::string why;
      for (KS_FloatPoint at : {KS_FloatPoint{100, 100}, KS_FloatPoint{200, 100}}) {
        ASSERT_TRUE(editor.Mouse(kshost::MouseEvent::LeftDown, 0, at, 0, &why)) << why;
        ASSERT_TRUE(editor.Mouse(kshost::MouseEvent::LeftUp, 0, at, 0, &why)) << why;
      }
      EXPECT_FALSE(tool.IsBusy());
    }
    EXPECT_EQ(ks::host::PageAnnotCount(page_) - before, readOnly ? 0 : 1);
    editor.Reset();
  }
}

}  // namespace
}  // namespace AnnotationPlugin
