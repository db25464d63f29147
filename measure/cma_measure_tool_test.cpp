#include "measure/cma_measure_tool.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "host/editor.h"
#include "host/host_functions.h"
#include "kwannotation/kw_measure_values.h"
#include "kwannotation/kw_test_support.h"
#include "sdk/ks_host_binding.h"
#include "measure/cma_annot_handlers.h"
#include "measure/cma_figure_values.h"

namespace AnnotationPlugin {
namespace {

TEST(MeasureTypes, ToolNamesAreComparedExactly) {
  for (int type = kMeasureDistance; type <= kMeasureAngle; ++type)
    EXPECT_EQ(MeasureTypeFromToolName(MeasureTypeRow(type)->toolName), type) << MeasureTypeRow(type)->toolName;
  for (const char* other : {"perimeter", "Distance", "CALIBRATION", ""})
    EXPECT_EQ(MeasureTypeFromToolName(other), kMeasureNone) << other;
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
}

// The sums a tool keeps click by click are the library's own length and
// area of the whole list, to the last bit, at every length of the path.
TEST(PathSums, KeptClickByClickTheyAreTheLengthAndAreaOfTheWholePath) {
  // A hand-checked triangle first: sides 3 and 4 open, 12 closed, area 6.
  PathSums triangle = PathSumsOf({{0, 0}, {3, 0}, {3, 4}}, {1, 1, true});
  EXPECT_EQ(triangle.length, 7);
  EXPECT_EQ(triangle.ClosedLength(), 12);
  EXPECT_EQ(triangle.Area(), 6);
  EXPECT_EQ(triangle.box.right, 3);
  EXPECT_EQ(triangle.box.top, 4);

  const kwannotation::KwMeasureScale scales[] = {{1, 1, true}, {1 / 72.0 * 2.54, 1 / 72.0 * 2.54, true}, {0.5, 3, true}};
  for (const kwannotation::KwMeasureScale& scale : scales) {
    SCOPED_TRACE(scale.y);
    PathSums running(scale);
    std::vector<KS_FloatPoint> points;
    uint32_t seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) % 80000 / 100.0f; };
    for (int i = 0; i < 600; ++i) {
      const KS_FloatPoint p{next(), next()};
      points.push_back(p);
      running.Add(p);
      const std::vector<double> xy = FlatCoordinates(points);
      ASSERT_EQ(running.length, kwannotation::KW_PathLength(scale, xy, false)) << i;
      ASSERT_EQ(running.ClosedLength(), kwannotation::KW_PathLength(scale, xy, true)) << i;
      ASSERT_EQ(running.Area(), kwannotation::KW_PolygonArea(scale, xy)) << i;
      ASSERT_EQ(running.pageLength, kwannotation::KW_PathLength({1, 1, true}, xy, false)) << i;
    }
  }
}

// 1 cm = 1 m, shown in metres with two decimals.
constexpr char kMetric[] =
    "<< /Type /Measure /R (1 cm = 1 m) /X [ << /U (m) /C 0.000352778 /D 100 >> ] /D [ << /U (m) /C 1 /D 100 >> ] "
    "/A [ << /U (sq m) /C 1 /D 100 >> ] /V [ << /U (cu m) /C 1 /D 100 >> ] >>";

// A click through the editor.
void Click(KS_FloatPoint at) {
  std::string why;
  EXPECT_TRUE(kshost::Editor::Get().Mouse(kshost::MouseEvent::LeftDown, 0, at, 0, &why)) << why;
  EXPECT_TRUE(kshost::Editor::Get().Mouse(kshost::MouseEvent::LeftUp, 0, at, 0, &why)) << why;
}

class FigureValuesTest : public kwannotation::test::HostDocTest {};

// The read-outs of paths and polygons are the same from the sums a tool
// keeps as from the points.
TEST_F(FigureValuesTest, PathsShowTheSameFromTheirSumsAsFromTheirPoints) {
  kwannotation::test::Owned dict = kwannotation::test::Parse(kMetric);
  kwannotation::CKW_MeasureDictImpl measure(dict.get());
  MeasureFigure byPoints;
  byPoints.points = {{100, 100}, {172, 100}, {172, 172}, {120, 190}};
  byPoints.depth = 2.5;
  MeasureFigure bySums = byPoints;
  bySums.sums = PathSumsOf(byPoints.points, kwannotation::KW_MeasureScaleOf(measure));
  bySums.points.clear();
  for (int type : {kMeasurePerimeter, kMeasurePolylength, kMeasureArea, kMeasureVolume}) {
    SCOPED_TRACE(type);
    const FigureValues a = MeasureFigureValues(type, byPoints, measure);
    const FigureValues b = MeasureFigureValues(type, bySums, measure);
    EXPECT_FALSE(a.main.empty());
    EXPECT_EQ(a.main, b.main);
    EXPECT_EQ(a.panel, b.panel);
  }
}

// A distance's direction reads from 0.00° up to 359.99°: one a hair below
// a full turn rounds to 0.00°, never to 360.00°.
TEST_F(FigureValuesTest, DirectionsAreShownFromZeroToBelowAFullTurn) {
  kwannotation::test::Owned dict = kwannotation::test::Parse(kMetric);
  kwannotation::CKW_MeasureDictImpl measure(dict.get());
  const std::pair<double, const char16_t*> cases[] = {
      {-0.001, u"0.00\u00B0"},   {-0.004, u"0.00\u00B0"},     {-0.006, u"359.99\u00B0"}, {0.001, u"0.00\u00B0"},
      {0.006, u"0.01\u00B0"},    {90, u"90.00\u00B0"},        {180, u"180.00\u00B0"},     {-90, u"270.00\u00B0"},
  };
  auto check = [&] {
    for (auto [degrees, want] : cases) {
      const double a = degrees * 3.14159265358979323846 / 180;
      MeasureFigure figure;
      figure.points = {{0, 0}, {static_cast<float>(100 * std::cos(a)), static_cast<float>(100 * std::sin(a))}};
      EXPECT_EQ(MeasureFigureValues(kMeasureDistance, figure, measure).panel.at(u"label_angle"), want) << degrees;
    }
  };
  check();
  // A host in a decimal-comma locale still reads points.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  check();
  std::setlocale(LC_ALL, saved.c_str());
}

int g_toDevice = 0;
int32_t CountedPageToDevice(KA_PageView view, KS_FloatPoint point, KS_DevicePoint* out) {
  ++g_toDevice;
  return kshost::direct::PageViewPageToDevice(view, point, out);
}

// A click of a path tool costs the same however many came before: the
// rubber band turns a vertex into device space once, when it is fixed,
// and again only when the view changes.
TEST_F(FigureValuesTest, EachClickOfAPathConvertsAFixedNumberOfPoints) {
  ks::host::PrefSetInt(u"Measurement", u"ShowCalibrateTip", 0);  // the page has no scale: no prompt
  kshost::Editor& editor = kshost::Editor::Get();
  editor.Reset();
  editor.AddDocument(doc_, false);
  ASSERT_TRUE(editor.SetView(0, 1, 0));
  CMA_MeasureToolBase tool(kMeasurePolylength);
  ASSERT_TRUE(tool.Register());
  ASSERT_TRUE(editor.SetCurrentTool(tool.HostTool(), false));
  ks::host::detail::g_found[ks::host::detail::kSlotPageViewPageToDevice] =
      reinterpret_cast<void*>(&CountedPageToDevice);
  const auto clicks = [&](int from, int to) {
    g_toDevice = 0;
    for (int i = from; i < to; ++i) Click({static_cast<float>(50 + i % 50 * 10), static_cast<float>(50 + i / 50 * 10)});
    return g_toDevice;
  };
  const int first = clicks(0, 100);
  const int later = clicks(100, 200);
  EXPECT_GT(first, 0);
  EXPECT_EQ(later, first);
  EXPECT_EQ(tool.Points().size(), 201u);
  // A new zoom turns the fixed vertices into device space once more.
  ASSERT_TRUE(editor.SetView(0, 2, 0));
  EXPECT_EQ(clicks(200, 201), first / 100 + 200);
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  editor.Reset();
}

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
  EXPECT_TRUE(paths.AcceptsToolName("POLYLENGTH"));
  EXPECT_TRUE(paths.AcceptsToolName("Perimeter"));
  EXPECT_FALSE(paths.AcceptsToolName("Area"));
}

// Two clicks of the distance tool through the editor: a measurement on a
// document that takes changes, nothing on a read-only one.
TEST_F(FigureValuesTest, ReadOnlyDocumentsGetNoMeasurement) {
  ks::host::PrefSetInt(u"Measurement", u"ShowCalibrateTip", 0);  // the page has no scale: no prompt
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
      Click({100, 100});
      Click({200, 100});
      EXPECT_FALSE(tool.IsBusy());
    }
    EXPECT_EQ(ks::host::PageAnnotCount(page_) - before, readOnly ? 0 : 1);
    editor.Reset();
  }
}

}  // namespace
}  // namespace AnnotationPlugin
