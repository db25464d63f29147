// The eraser tool against the real editor in-process: partial and whole
// erase with their undo, inks it must leave alone, erase-all, the preview,
// the cursor and the stored size.
#include "drawing/cda_rubber.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/editor.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

using kshost::Editor;
using kshost::MouseEvent;

class PrefsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    kshost::Env().Reset();
  }
  void TearDown() override { kshost::Env().Reset(); }

 private:
  kshost::testing::TempDir config_;
};
const auto* const kPrefsEnvironment = ::testing::AddGlobalTestEnvironment(new PrefsEnvironment);

std::string Written(KPD_Object object) {
  Host::ByteString out;
  Host::ObjectWrite(object, out.get());
  return out.str();
}

// One stroke of 21 points along y = 100 from x = 100 to x = 300.
const char kStraight[] = "[[100 100 110 100 120 100 130 100 140 100 150 100 160 100 170 100 180 100 190 100 200 100 "
                         "210 100 220 100 230 100 240 100 250 100 260 100 270 100 280 100 290 100 300 100]]";

class Eraser : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::Bind(kshost::CoreHFT(), nullptr);
    Editor::Get().Reset();
    pdf_ = Host::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    Host::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
    Editor::Get().SetView(0, 1.0f, 0);
    Editor::Get().SetTrace([this](const std::string& line) { trace_.push_back(line); });
    rubber_ = std::make_unique<CDA_CNRubberToolHandler>();
    rubber_->Register();
  }
  void TearDown() override {
    rubber_.reset();
    Editor::Get().Reset();
    Host::DocClose(pdf_);
  }

  KA_Annot Ink(const std::string& inkList, const std::string& extra = "", bool appearance = true) {
    std::string text = "<< /Type /Annot /Subtype /Ink /Rect [90 40 310 160] /C [1 0 0] /InkList " + inkList + " " +
                       extra + " >>";
    KPD_Object parsed = Host::ObjectParse(text.data(), text.size());
    KPD_Dictionary dict = Host::PageInsertAnnot(Host::DocGetPage(pdf_, 0), -1, parsed);
    Host::ObjectRelease(parsed);
    if (appearance) {
      EXPECT_TRUE(kwannotation::RebuildAppearance(dict, nullptr));
    }
    return Host::AnnotFromDict(doc_, dict);
  }
  void Drag(std::vector<KS_FloatPoint> pts) {
    std::string why;
    for (size_t i = 0; i < pts.size(); ++i) {
      MouseEvent kind = i == 0 ? MouseEvent::LeftDown : MouseEvent::Move;
      ASSERT_TRUE(Editor::Get().Mouse(kind, 0, pts[i], 0, &why)) << why;
    }
    ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftUp, 0, pts.back(), 0, &why)) << why;
  }
  // The dictionary and its normal appearance, as undo must give them back.
  static std::string StateOf(KA_Annot annot) {
    KPD_Dictionary dict = Host::AnnotGetDict(annot);
    KPD_Object n = Host::DictGet(Host::DictGet(dict, "/AP"), "/N");
    Host::ByteString data;
    if (n) Host::StreamGetData(n, 0, data.get());
    return Written(dict) + " | " + (n ? Written(n) : "") + " | " + data.str();
  }
  int StrokeCount(KA_Annot annot) { return Host::ArrayCount(Host::DictGet(Host::AnnotGetDict(annot), "/InkList")); }
  // The numbers of one stroke of /InkList or /PSI.
  static std::vector<float> Numbers(KA_Annot annot, const char* key, int stroke) {
    KPD_Object a = Host::ArrayGet(Host::DictGet(Host::AnnotGetDict(annot), key), stroke);
    std::vector<float> v(size_t(std::max(0, Host::ArrayGetNumbers(a, nullptr, 0))));
    if (!v.empty()) Host::ArrayGetNumbers(a, v.data(), int32_t(v.size()));
    return v;
  }
  bool Traced(const std::string& start) const {
    for (const auto& l : trace_)
      if (l.rfind(start, 0) == 0) return true;
    return false;
  }

  KPD_Document pdf_ = nullptr;
  KA_Document doc_ = nullptr;
  std::unique_ptr<CDA_CNRubberToolHandler> rubber_;
  std::vector<std::string> trace_;
};

// Switching to the eraser leaves nothing selected in any open document and
// keeps the eraser armed. A partial erase splits the stroke where the
// pointer passes over the ink's rectangle, in one undo step, and tells
// listeners which page changed; a gesture that erases nothing does not.
// Undo and redo alternate exactly however often they are repeated.
TEST_F(Eraser, PartialEraseSplitsTheStrokeAndUndoRestoresItExactly) {
  KA_Annot ink = Ink(kStraight);
  KPD_Document otherPdf = Host::DocNew();
  KS_FloatRect letter{0, 0, 612, 792};
  Host::DocAddPage(otherPdf, &letter);
  std::string text = "<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] >>";
  KPD_Object parsed = Host::ObjectParse(text.data(), text.size());
  KPD_Dictionary square = Host::PageInsertAnnot(Host::DocGetPage(otherPdf, 0), -1, parsed);
  Host::ObjectRelease(parsed);
  KA_Document other = Editor::Get().AddDocument(otherPdf, false);
  ASSERT_TRUE(Host::AppDocSelect(other, Host::AnnotFromDict(other, square), 0));
  ASSERT_TRUE(Host::AppDocSelect(doc_, ink, 0));

  rubber_->OnControl("Button_CNRubberPart");
  ASSERT_EQ(Editor::Get().CurrentTool(), rubber_->HostTool());
  EXPECT_EQ(Host::AppDocSelectionCount(doc_), 0);
  EXPECT_EQ(Host::AppDocSelectionCount(other), 0);
  EXPECT_EQ(Host::PrefGetInt(u"KeepToolSelected", u"Rubber", 0), 1);
  // The first document is the current one again.
  Editor::Get().RemoveDocument(other);
  Host::DocClose(otherPdf);

  const std::string before = StateOf(ink);
  Drag({{200, 400}, {210, 400}});  // nowhere near the ink
  EXPECT_FALSE(Traced("changed: page"));
  Drag({{200, 130}, {200, 100}, {200, 70}});
  EXPECT_TRUE(Traced("changed: page 1"));
  ASSERT_EQ(StrokeCount(ink), 2);
  // x = 200 is reached (radius 4.1) and its segments are crossed: 190, 200
  // and 210 go.
  EXPECT_EQ(Numbers(ink, "/InkList", 0).size(), 18u);
  const std::vector<float> second = Numbers(ink, "/InkList", 1);
  ASSERT_EQ(second.size(), 18u);
  EXPECT_EQ(second[0], 220);
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 1);
  const std::string after = StateOf(ink);
  ASSERT_NE(after, before);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Editor::Get().Undo(doc_));
    EXPECT_EQ(StateOf(ink), before) << round;
    ASSERT_TRUE(Editor::Get().Redo(doc_));
    EXPECT_EQ(StateOf(ink), after) << round;
  }
}

TEST_F(Eraser, WholeEraseOfTheLastStrokeTakesTheInkOffItsPageAndUndoPutsItBackInPlace) {
  KA_Annot first = Ink("[[100 300 200 300]]");
  KA_Annot ink = Ink("[[100 100 300 100] [100 150 300 150]]");
  KA_Annot last = Ink("[[100 500 200 500]]");
  const std::string before = StateOf(ink);
  rubber_->OnControl("Button_CNRubberWhole");
  // Crosses the middle of the first stroke only, far from its points.
  Drag({{200, 110}, {200, 90}});
  ASSERT_EQ(StrokeCount(ink), 1);
  const std::string oneLeft = StateOf(ink);
  // Now the other one: the ink leaves the page.
  Drag({{200, 160}, {200, 150}, {200, 140}});
  EXPECT_EQ(Host::AnnotGetPageIndex(ink), -1);
  KPD_Page page = Host::DocGetPage(pdf_, 0);
  EXPECT_EQ(Host::PageAnnotCount(page), 2);

  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Host::PageFindAnnot(page, Host::AnnotGetDict(ink)), 1);
  EXPECT_EQ(StateOf(ink), oneLeft);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(StateOf(ink), before);
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(StateOf(ink), oneLeft);
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(Host::AnnotGetPageIndex(ink), -1);
  EXPECT_EQ(Host::PageFindAnnot(page, Host::AnnotGetDict(first)), 0);
  EXPECT_EQ(Host::PageFindAnnot(page, Host::AnnotGetDict(last)), 1);
}

TEST_F(Eraser, PressureInksKeepOnePressureValuePerPoint) {
  KA_Annot ink = Ink("[[100 100 125 100 150 100 175 100 200 100 225 100 250 100 275 100 300 100]]",
                     "/PSI [[1 2 3 4 5 6 7 8 9]]");
  rubber_->OnControl("Button_CNRubberPart");
  // A click: 200 is within reach, and its segments reach 175 and 225.
  Drag({{200, 100}});
  ASSERT_EQ(StrokeCount(ink), 2);
  EXPECT_EQ(Numbers(ink, "/InkList", 0), (std::vector<float>{100, 100, 125, 100, 150, 100}));
  EXPECT_EQ(Numbers(ink, "/InkList", 1), (std::vector<float>{250, 100, 275, 100, 300, 100}));
  EXPECT_EQ(Numbers(ink, "/PSI", 0), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(Numbers(ink, "/PSI", 1), (std::vector<float>{7, 8, 9}));
}

// Inks the eraser must not change: it leaves each exactly as it was, adds
// no undo step, and says why when the ink itself is the reason.
TEST_F(Eraser, InksItCannotEraseAreLeftAsTheyWere) {
  struct Case {
    const char* what;
    std::string inkList, extra;
    bool told;
  };
  const Case cases[] = {
      {"an entry that is not an array", "[[100 100 300 100] 5]", "", true},
      {"an odd count", "[[100 100 300 100 200]]", "", true},
      {"a value that is not a number", "[[100 100 300 (x)]]", "", true},
      {"pressure of another length", "[[100 100 300 100]]", "/PSI [[0.5]]", true},
      {"pressure for fewer strokes", "[[100 100 300 100] [100 120 300 120]]", "/PSI [[0.5 0.5]]", true},
      {"locked", "[[100 100 300 100]]", "/F 128", false},
  };
  rubber_->OnControl("Button_CNRubberPart");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    trace_.clear();
    KA_Annot ink = Ink(c.inkList, c.extra, false);
    const std::string before = Written(Host::AnnotGetDict(ink));
    Drag({{200, 130}, {200, 70}});
    EXPECT_EQ(Written(Host::AnnotGetDict(ink)), before);
    EXPECT_EQ(Host::AppDocUndoCount(doc_), 0);
    EXPECT_EQ(Traced("tip: "), c.told);
    Host::PageRemoveAnnot(Host::DocGetPage(pdf_, 0), Host::PageFindAnnot(Host::DocGetPage(pdf_, 0), Host::AnnotGetDict(ink)));
  }
}

// 200,000 points in ten strokes: the trail cuts each stroke once, every
// stroke splits in two, and nothing else is lost. (A million points takes
// the same path; most of its time goes to the PDF objects of the strokes.)
TEST_F(Eraser, ADenseInkSplitsWhereTheTrailPasses) {
  KA_Annot ink = Ink("[[100 100 300 100]]", "", false);
  DA_InkData data;
  for (int s = 0; s < 10; ++s) {
    DA_InkStroke stroke;
    for (int i = 0; i < 20000; ++i) stroke.points.push_back({50.0f + float(i) * 0.025f, 100.0f + float(s) * 20});
    data.strokes.push_back(std::move(stroke));
  }
  ASSERT_TRUE(DA_WriteInk(Host::AnnotGetDict(ink), data));
  ASSERT_TRUE(kwannotation::RebuildAppearance(Host::AnnotGetDict(ink), nullptr));
  rubber_->OnControl("Button_CNRubberPart");
  Drag({{300, 90}, {300, 150}, {300, 300}});
  const DA_InkData after = DA_ReadInk(Host::AnnotGetDict(ink));
  ASSERT_EQ(after.strokes.size(), 20u);
  size_t points = 0;
  for (const auto& s : after.strokes) points += s.points.size();
  CDA_RubberTrail trail(RubberRadius(8));
  for (KS_FloatPoint p : {KS_FloatPoint{300, 90}, KS_FloatPoint{300, 150}, KS_FloatPoint{300, 300}}) trail.Add(p);
  size_t expected = 0;
  for (const auto& s : RubberReferencePart(data.strokes, trail).strokes) expected += s.points.size();
  EXPECT_EQ(points, expected);
  // About 4.1 either side of x = 300 at 40 points a unit.
  EXPECT_NEAR(double(200000 - points) / 10, 330, 3);
}

TEST_F(Eraser, NothingIsErasedOnAReadOnlyDocument) {
  KA_Annot ink = Ink(kStraight);
  const std::string before = StateOf(ink);
  doc_->readOnly = true;
  rubber_->OnControl("Button_CNRubberPart");
  Drag({{200, 130}, {200, 70}});
  EXPECT_EQ(StateOf(ink), before);
  EXPECT_FALSE(rubber_->EraseAll());
  EXPECT_EQ(StateOf(ink), before);
  doc_->readOnly = false;
}

// (Erase-all without ink, which only says so, is checked by the eraser
// session.)
TEST_F(Eraser, EraseAllTakesEveryInkInOneStepAndUndoPutsThemBack) {
  KA_Annot a = Ink(kStraight);
  KA_Annot b = Ink("[[100 300 200 300]]");
  const std::string stateA = StateOf(a), stateB = StateOf(b);
  ASSERT_TRUE(rubber_->EraseAll());
  EXPECT_EQ(Host::PageAnnotCount(Host::DocGetPage(pdf_, 0)), 0);
  EXPECT_EQ(Host::AppDocUndoCount(doc_), 1);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  KPD_Page page = Host::DocGetPage(pdf_, 0);
  EXPECT_EQ(Host::PageFindAnnot(page, Host::AnnotGetDict(a)), 0);
  EXPECT_EQ(Host::PageFindAnnot(page, Host::AnnotGetDict(b)), 1);
  EXPECT_EQ(StateOf(a), stateA);
  EXPECT_EQ(StateOf(b), stateB);
}

TEST_F(Eraser, PreviewPaintsTheTouchedSegmentsInTheBackgroundColourUnderAZoomedCursor) {
  Ink(kStraight, "/BS << /W 3 >>");
  Editor::Get().SetView(0, 2.0f, 0);
  rubber_->OnControl("Button_CNRubberPart");
  std::string why;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, 0, {200, 130}, 0, &why));
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::Move, 0, {200, 100}, 0, &why));
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::Move, 0, {200, 70}, 0, &why));
  // Size 8 at zoom 2: a circle of 16 pixels. Width 3 at zoom 2: (3 + 1) * 2.
  EXPECT_TRUE(Traced("cursor: circle 16")) << ::testing::PrintToString(trace_);
  int lines = 0;
  for (const auto& l : trace_)
    if (l.rfind("draw: line", 0) == 0) {
      ++lines;
      EXPECT_NE(l.find(" pen #FFFFFF 8"), std::string::npos) << l;
    }
  // The segments at either side of the one point within reach, (200, 100).
  EXPECT_EQ(lines, 2);
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftUp, 0, {200, 70}, 0, &why));
}

TEST(EraserSettings, SizeIsClampedAndNightModeChoosesThePreviewColour) {
  Host::Bind(kshost::CoreHFT(), nullptr);
  struct Row {
    bool present;
    int32_t stored, size;
  } rows[] = {{false, 0, 8}, {true, 0, 1}, {true, 45, 30}, {true, 12, 12}};
  for (const Row& row : rows) {
    if (row.present) Host::PrefSetInt(u"Annotation\\RubberSize", u"Size", row.stored);
    else Host::PrefRemove(u"Annotation\\RubberSize", u"Size");
    EXPECT_EQ(CDA_CNRubberToolHandler::ReadSize(), row.size) << row.stored;
  }
  EXPECT_EQ(CDA_CNRubberToolHandler::PreviewColor(0), 0xFFFFFFu);
  EXPECT_EQ(CDA_CNRubberToolHandler::PreviewColor(1), 0x272727u);
  EXPECT_EQ(CDA_CNRubberToolHandler::PreviewColor(2), 0xE5F7E0u);  // 0x00BBGGRR
  EXPECT_EQ(CDA_CNRubberToolHandler::PreviewColor(3), 0xD7EBFAu);
  EXPECT_EQ(CDA_CNRubberToolHandler::PreviewColor(7), 0xFFFFFFu);
}

}  // namespace
}  // namespace AnnotationPlugin
