#include "measure/cma_page_scale.h"

#include <gtest/gtest.h>

#include <string>

#include "host/editor.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_test_support.h"
#include "kwannotation/kw_viewport.h"
#include "measure/cma_calibration_tool.h"
#include "tessel/headless.h"

namespace AnnotationPlugin {
namespace {

namespace host = ks::host;
using kwannotation::test::HostDocTest;

std::string Scales(const std::vector<MeasureRatioPair>& presets) {
  std::string out;
  for (const auto& p : presets) {
    const std::u16string t = PresetText(p);
    out += std::string(t.begin(), t.end()) + ";";
  }
  return out;
}

std::string Row(const char* base, const char* baseUnit, const char* target, const char* targetUnit) {
  return std::string("<Scale BaseValue=\"") + base + "\" BaseUnit=\"" + baseUnit + "\" TargetValue=\"" + target +
         "\" TargetUnit=\"" + targetUnit + "\"/>";
}

TEST(ScalePresets, AFileIsReadLenientlyEntryByEntry) {
  struct Case {
    std::string xml;
    const char* presets;
    int skipped;
  } cases[] = {
      {"not xml at all", "", 0},
      {"<Other>" + Row("1", "cm", "2", "m") + "</Other>", "", 0},
      {"<CustomScales>" + Row("1", "cm", "2", "m") + Row("2.5", "in", "10", "ft") + "</CustomScales>",
       "1 cm = 2 m;2.5 in = 10 ft;", 0},
      {"<CustomScales>" + Row("-1", "cm", "2", "m") + Row("1", "cm", "-2", "m") + Row("0", "cm", "2", "m") +
           "</CustomScales>",
       "", 3},
      {"<CustomScales>" + Row("abc", "cm", "2", "m") + Row("1e3", "cm", "2", "m") + Row("NaN", "cm", "2", "m") +
           Row("", "cm", "2", "m") + Row("1.2.3", "cm", "2", "m") + Row("4", "cm", "5", "m") + "</CustomScales>",
       "4 cm = 5 m;", 5},
      // A real unit is no paper unit; a missing unit is none.
      {"<CustomScales>" + Row("1", "ft", "2", "m") + Row("1", "cm", "2", "parsec") +
           "<Scale BaseValue=\"1\" TargetValue=\"2\" TargetUnit=\"m\"/></CustomScales>",
       "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    int skipped = -1;
    EXPECT_EQ(Scales(ParseScalePresets(c.xml, &skipped)), c.presets);
    EXPECT_EQ(skipped, c.skipped);
  }
}

TEST(ScalePresets, AHugeFileKeepsItsFirstThousand) {
  std::string xml = "<CustomScales>";
  for (int i = 0; i < 100000; ++i) xml += Row("1", "cm", std::to_string(i + 1).c_str(), "m");
  xml += "</CustomScales>";
  int skipped = 0;
  const std::vector<MeasureRatioPair> presets = ParseScalePresets(xml, &skipped);
  ASSERT_EQ(presets.size(), kMostCustomPresets);
  EXPECT_EQ(skipped, 100000 - static_cast<int>(kMostCustomPresets));
  EXPECT_EQ(presets.back().realNumber, 1000);
}

TEST(ScalePresets, WrittenFilesReadBackTheSame) {
  host::Bind(kshost::CoreHFT(), nullptr);
  const std::vector<MeasureRatioPair> presets = {{2.5, u"in", 10, u"ft"}, {1, u"pt", 0.125, u"km"}};
  const std::string text = WriteScalePresets(presets);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("<Scale BaseValue=\"2.5\" BaseUnit=\"in\" TargetValue=\"10\" TargetUnit=\"ft\""),
            std::string::npos)
      << text;
  EXPECT_EQ(Scales(ParseScalePresets(text)), Scales(presets));
}

TEST(ScaleModel, OnlyPositiveRatiosWithUnitsAndAPrecisionAreAccepted) {
  struct Case {
    MeasureRatioPair x;
    bool separateY;
    MeasureRatioPair y;
    int precision;
    bool ok;
  } cases[] = {
      {{1, u"cm", 1, u"m"}, false, {}, 2, true},
      {{0, u"cm", 1, u"m"}, false, {}, 2, false},
      {{1, u"cm", -1, u"m"}, false, {}, 2, false},
      {{1, u"", 1, u"m"}, false, {}, 2, false},
      {{1, u"cm", 1, u""}, false, {}, 2, false},
      {{1, u"cm", 1, u"m"}, false, {}, -1, false},
      {{1, u"cm", 1, u"m"}, true, {1, u"cm", 0, u"m"}, 2, false},
      {{1, u"cm", 1, u"m"}, false, {1, u"cm", 0, u"m"}, 2, true},  // Y unused
      {{1, u"cm", 1, u"m"}, true, {1, u"in", 4, u"ft"}, 5, true},
  };
  for (const Case& c : cases) {
    ScaleDataModel m = ScaleDataModel::Default();
    m.scale.x = c.x;
    m.scale.separateY = c.separateY;
    m.scale.y = c.y;
    m.scale.precision = c.precision;
    const ScaleMessage message = m.ValidateScale();
    EXPECT_EQ(message.empty(), c.ok) << PresetText(c.x).size() << " " << c.precision;
    if (!c.ok) {
      EXPECT_EQ(message.key, "IDS_PAGESCALE_INVALID_ERR");
    }
  }
  EXPECT_EQ(PresetText(ScaleDataModel::Default().scale.x), u"1 cm = 1 m");
}

// A document in the editor with one page and a distance measurement of an
// inch of paper, measured at 1 in = 1 in.
class PageScaleTest : public HostDocTest {
 protected:
  void SetUp() override {
    HostDocTest::SetUp();
    kshost::Editor::Get().Reset();
    doc_view_ = kshost::Editor::Get().AddDocument(doc_, false);
    ASSERT_NE(doc_view_, nullptr);
    ASSERT_TRUE(kshost::Editor::Get().SetView(0, 1, 0));
    distance_ = Add(
        "<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [100 90 172 110] /L [100 100 172 100] "
        "/MeasurementTypes 130 /Contents (1.00 in) /Measure << /Type /Measure /R (1 in = 1 in) /X [ << /U (in) /C "
        "0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq in) /C 1 /D 100 >> ] >> >>");
  }
  void TearDown() override {
    kshost::Editor::Get().Reset();
    Tessel::Headless::ClearAnswers();
    ForgetPageScales(doc_view_);
    HostDocTest::TearDown();
  }

  std::u16string Contents(KPD_Dictionary annot) {
    host::WideString out;
    host::StringObjectGetText(host::DictGet(annot, "/Contents"), out.get());
    return out.str();
  }
  std::u16string PageRatio() {
    kwannotation::CKW_PageViewportListImpl list(page_, doc_);
    kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
    return vp0 ? vp0->GetMeasureDict()->GetRatioText() : u"(none)";
  }
  void Click(KS_FloatPoint at) {
    std::string why;
    ASSERT_TRUE(kshost::Editor::Get().Mouse(kshost::MouseEvent::LeftDown, 0, at, 0, &why)) << why;
    ASSERT_TRUE(kshost::Editor::Get().Mouse(kshost::MouseEvent::LeftUp, 0, at, 0, &why)) << why;
  }
  PageScale Preset(const char16_t* name) {
    PageScale s = ScaleDataModel::Default().scale;
    for (const ScalePreset& p : BuiltInScalePresets())
      if (p.name == name) s.x = s.y = p.ratio;
    return s;
  }

  KA_Document doc_view_ = nullptr;
  KPD_Dictionary distance_ = nullptr;
};

TEST_F(PageScaleTest, ANewScaleReplacesViewportZerosDictionaryAndUndoWritesTheOldBack) {
  ScaleMessage error;
  PageScale imperial = Preset(u"1:100");
  imperial.x = imperial.y = {1, u"in", 10, u"ft"};
  ASSERT_TRUE(ApplyPageScale(doc_view_, {0}, imperial, &error));
  ASSERT_TRUE(ApplyPageScale(doc_view_, {0}, Preset(u"1:100"), &error));
  EXPECT_EQ(PageRatio(), u"1 cm = 1 m");
  EXPECT_EQ(host::ArrayCount(host::DictGet(page_, "/VP")), 1);
  ASSERT_TRUE(kshost::Editor::Get().Undo(doc_view_));
  EXPECT_EQ(PageRatio(), u"1 in = 10 ft");
  EXPECT_EQ(Contents(distance_).rfind(u"10.00 ft", 0), 0u);
  EXPECT_EQ(RecordedPageScale(doc_view_, 0)->x.realUnit, u"ft");
  ASSERT_TRUE(kshost::Editor::Get().Redo(doc_view_));
  EXPECT_EQ(PageRatio(), u"1 cm = 1 m");
}

// What undo must bring back of a measurement: its dictionary as written
// (references as "N G R") and its normal appearance's dictionary and bytes.
std::string MeasurementState(KPD_Dictionary annot) {
  std::string text = kwannotation::test::Write(annot);
  KPD_Object ap = host::DictGet(annot, "/AP");
  KPD_Object normal = ap ? host::DictGet(ap, "/N") : nullptr;
  if (normal && host::ObjectGetType(normal) == KPD_OBJ_STREAM) {
    host::ByteString data;
    host::StreamGetData(normal, 0, data.get());
    text += " | " + kwannotation::test::Write(host::StreamGetDict(normal)) + " | " + data.str();
  }
  return text;
}

// A preset on a page without a scale makes viewport 0, and every
// measurement on the page takes it into its own dictionary. Undo takes the
// viewport away and brings back each measurement byte for byte; redo puts
// the scale back.
TEST_F(PageScaleTest, APresetOnAPageWithoutScaleMakesViewportZeroAndUndoBringsEveryMeasurementBack) {
  KPD_Dictionary area = Add(
      "<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /Rect [90 190 190 290] /Vertices [100 200 172 200 "
      "172 272 100 272] /Segments true /MeasurementTypes 129 /Measure << /Type /Measure /R (1 in = 1 in) /X [ << "
      "/U (in) /C 0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq in) /C 1 /D 100 >> ] >> >>");
  std::string why;
  for (KPD_Dictionary a : {distance_, area})
    ASSERT_TRUE(kwannotation::RegenerateMeasureAppearance(a, &why, kwannotation::ShapeAppearanceOptions{})) << why;
  const std::string before[] = {MeasurementState(distance_), MeasurementState(area)};

  ScaleMessage error;
  int changed = 0;
  ASSERT_TRUE(ApplyPageScale(doc_view_, {0}, Preset(u"1:50"), &error, &changed)) << error.key;
  ASSERT_EQ(changed, 2);
  EXPECT_EQ(PageRatio(), u"10 cm = 5 m");
  EXPECT_EQ(kwannotation::ParseRatioText(PageRatio())->ratio, 50);
  // An inch of paper at 1:50 is 1.27 m.
  EXPECT_EQ(Contents(distance_).rfind(u"1.27 m", 0), 0u)
      << std::string(Contents(distance_).begin(), Contents(distance_).end());
  kwannotation::CKW_MeasureDict own =
      kwannotation::CKW_MeasureDict::Borrow(host::DictGet(distance_, "/Measure"));
  EXPECT_EQ(own->GetRatioText(), u"10 cm = 5 m");
  ASSERT_NE(RecordedPageScale(doc_view_, 0), nullptr);
  const std::string after[] = {MeasurementState(distance_), MeasurementState(area)};
  ASSERT_NE(after[0], before[0]);
  ASSERT_NE(after[1], before[1]);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(kshost::Editor::Get().Undo(doc_view_));
    EXPECT_FALSE(host::DictHasKey(page_, "/VP"));
    EXPECT_EQ(RecordedPageScale(doc_view_, 0), nullptr);
    EXPECT_EQ(MeasurementState(distance_), before[0]);
    EXPECT_EQ(MeasurementState(area), before[1]);
    ASSERT_TRUE(kshost::Editor::Get().Redo(doc_view_));
    EXPECT_EQ(PageRatio(), u"10 cm = 5 m");
    EXPECT_EQ(MeasurementState(distance_), after[0]);
    EXPECT_EQ(MeasurementState(area), after[1]);
  }
}

TEST_F(PageScaleTest, CustomRangesNameExistingPagesOnceOrSayWhyNot) {
  KS_FloatRect letter{0, 0, 612, 792};
  host::DocAddPage(doc_, &letter);
  host::DocAddPage(doc_, &letter);
  struct Case {
    const char16_t* text;
    const char* key;  // empty: pages
    std::vector<int> pages;
  } cases[] = {
      {u"1,3", "", {0, 2}},
      {u"2-3", "", {1, 2}},
      {u"", "IDS_WARN_NOPAGE", {}},
      {u"0", "IDS_STR_ERRORTIP_NOPAGE", {}},
      {u"4", "IDS_STR_ERRORTIP_NOPAGE", {}},
      {u"99999999999", "IDS_STR_ERRORTIP_NOPAGE", {}},
      {u"5-2", "IDS_STRING_INPUTERROR", {}},
      {u"1,,2", "IDS_STRING_INPUTERROR", {}},
      {u"1,1-2", "IDS_STR_WARNINGTIP_SAMEPAGE", {}},
  };
  for (const Case& c : cases) {
    ScaleDataModel m = ScaleDataModel::Default();
    m.scope = PageScope::kCustomRange;
    m.rangeText = c.text;
    std::vector<int> pages;
    ScaleMessage error;
    EXPECT_EQ(ResolveScopePages(doc_view_, m, &pages, &error), *c.key == 0) << c.key;
    EXPECT_EQ(error.key, c.key);
    EXPECT_EQ(pages, c.pages);
  }
  ScaleDataModel all = ScaleDataModel::Default();
  all.scope = PageScope::kAllPages;
  std::vector<int> pages;
  ScaleMessage error;
  ASSERT_TRUE(ResolveScopePages(doc_view_, all, &pages, &error));
  EXPECT_EQ(pages, (std::vector<int>{0, 1, 2}));
}

// Two clicks 100 points apart, "5 m" typed in the dialog.
TEST_F(PageScaleTest, CalibratingTwoPointsSetsTheirRatioInOneUndoStep) {
  kshost::Editor& editor = kshost::Editor::Get();
  CMA_CalibrationTool tool;
  ASSERT_TRUE(tool.Register());
  ASSERT_TRUE(editor.SetCurrentTool(tool.HostTool(), false));
  Tessel::Headless::QueueDialogAnswer(
      {u"ma_dlg_page_scale.ui.kw", {{u"lineEditRightValue", u"5"}, {u"comboBoxRightUnit", u"m"}}, 1});
  Click({100, 300});
  Click({200, 300});
  EXPECT_EQ(Tessel::Headless::PendingAnswers(), 0);
  EXPECT_EQ(PageRatio(), u"100 pt = 5 m");
  // 72 points of paper at 100 pt = 5 m: 3.6 m.
  EXPECT_EQ(Contents(distance_).rfind(u"3.60 m", 0), 0u);
  host::ByteString name;
  ASSERT_TRUE(host::ToolGetName(editor.CurrentTool(), name.get()));
  EXPECT_EQ(name.str(), "Hand");
  EXPECT_FALSE(tool.IsBusy());

  ASSERT_TRUE(editor.Undo(doc_view_));
  EXPECT_FALSE(host::DictHasKey(page_, "/VP"));
  EXPECT_EQ(Contents(distance_), u"1.00 in");
  EXPECT_FALSE(editor.Undo(doc_view_));  // it was one step
}

TEST_F(PageScaleTest, ACalibrationTooShortOrCancelledChangesNothing) {
  kshost::Editor& editor = kshost::Editor::Get();
  CMA_CalibrationTool tool;
  ASSERT_TRUE(tool.Register());
  ASSERT_TRUE(editor.SetCurrentTool(tool.HostTool(), false));
  // One point: no dialog at all.
  Tessel::Headless::QueueDialogAnswer({u"ma_dlg_page_scale.ui.kw", {{u"lineEditRightValue", u"5"}}, 1});
  Click({100, 300});
  Click({101, 300});
  EXPECT_EQ(Tessel::Headless::PendingAnswers(), 1);
  Tessel::Headless::ClearAnswers();
  // Long enough, but the dialog is cancelled; an OK without a real length
  // is refused and, unanswered, ends as cancelled too.
  Tessel::Headless::QueueDialogAnswer({u"ma_dlg_page_scale.ui.kw", {}, 1});
  Click({100, 300});
  Click({200, 300});
  EXPECT_FALSE(host::DictHasKey(page_, "/VP"));
  EXPECT_EQ(Contents(distance_), u"1.00 in");
  EXPECT_FALSE(editor.Undo(doc_view_));
  host::ByteString name;
  ASSERT_TRUE(host::ToolGetName(editor.CurrentTool(), name.get()));
  EXPECT_EQ(name.str(), "CALIBRATION");
}

}  // namespace
}  // namespace AnnotationPlugin
