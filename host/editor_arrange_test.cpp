// The editor's commands that arrange the selection, on annotations no
// handler manages: select all, copy and paste, bring to front, move to
// another page, and what the properties panel reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "host/annot_edit.h"
#include "host/annot_props.h"
#include "host/editor.h"
#include "host/pdf_test_support.h"
#include "host/utf.h"

namespace kshost {
namespace {

using pdf::test::Owned;
using pdf::test::Parse;
using pdf::test::Write;

class EditorArrangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Editor::Get().Reset();
    pdf_ = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    for (int i = 0; i < 3; ++i) pages_.push_back(direct::DocAddPage(pdf_, &letter));
    doc_ = Editor::Get().AddDocument(pdf_, false);
    Editor::Get().SetView(0, 1, 0);
  }
  void TearDown() override {
    Editor::Get().Reset();
    direct::DocClose(pdf_);
  }

  KA_Annot Add(const std::string& text, int page = 0) {
    Owned dict = Parse(text);
    return direct::AnnotFromDict(doc_, direct::PageInsertAnnot(pages_[size_t(page)], -1, dict.get()));
  }
  KA_Annot Square(const std::string& name, int page = 0, const std::string& more = "") {
    return Add("<< /Type /Annot /Subtype /Square /NM (" + name + ") /Rect [100 100 200 200] " + more + ">>", page);
  }
  // The /NM of each annotation of a page, in /Annots order.
  std::vector<std::string> Names(int page) {
    std::vector<std::string> names;
    for (int i = 0, n = direct::PageAnnotCount(pages_[size_t(page)]); i < n; ++i)
      names.push_back(Write(direct::DictGet(direct::PageGetAnnot(pages_[size_t(page)], i), "/NM")));
    return names;
  }
  using Names_ = std::vector<std::string>;

  KPD_Document pdf_ = nullptr;
  std::vector<KPD_Page> pages_;
  KA_Document doc_ = nullptr;
  std::string error_;
};

TEST_F(EditorArrangeTest, BringToFrontKeepsTheOrderOfTheSelectedAndUndoRedoRestoreEachOrder) {
  Square("a");
  KA_Annot b = Square("b"), c = Square("c");
  Square("d");
  // Selected in the other order than drawn: they keep the drawn one.
  Editor::Get().Select(doc_, c, false);
  Editor::Get().Select(doc_, b, true);
  ASSERT_TRUE(Editor::Get().BringToFront(doc_, &error_)) << error_;
  const Names_ front{"(a)", "(d)", "(b)", "(c)"}, was{"(a)", "(b)", "(c)", "(d)"};
  EXPECT_EQ(Names(0), front);
  EXPECT_EQ(doc_->undo.UndoCount(), 1u);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(Editor::Get().Undo(doc_));
    EXPECT_EQ(Names(0), was);
    ASSERT_TRUE(Editor::Get().Redo(doc_));
    EXPECT_EQ(Names(0), front);
  }
  // What is in front already stays, and nothing is recorded.
  EXPECT_FALSE(Editor::Get().BringToFront(doc_, &error_));
  EXPECT_EQ(error_, "the selection is in front already");
  EXPECT_EQ(doc_->undo.UndoCount(), 1u);
}

TEST_F(EditorArrangeTest, MoveToPageTakesThePopupAlongAndUndoPutsBothBackInPlace) {
  Square("first");
  KA_Annot popup = Add("<< /Type /Annot /Subtype /Popup /NM (pop) /Rect [200 200 300 300] >>");
  KA_Annot note = Square("note");
  direct::DictSet(direct::AnnotGetDict(note), "/Popup", direct::AnnotGetDict(popup));
  Square("last");
  Square("there", 2);
  Editor::Get().Select(doc_, note, false);
  ASSERT_TRUE(Editor::Get().MoveSelectionToPage(doc_, 2, &error_)) << error_;
  EXPECT_EQ(Names(0), (Names_{"(first)", "(last)"}));
  EXPECT_EQ(Names(2), (Names_{"(there)", "(note)", "(pop)"}));
  // /P names the new page.
  EXPECT_TRUE(direct::ObjectIsIdentical(direct::DictGet(direct::AnnotGetDict(note), "/P"), direct::DictGet(direct::AnnotGetDict(popup), "/P")));
  EXPECT_EQ(Editor::Get().PageIndexOf(note), 2);
  EXPECT_EQ(Editor::Get().Selection(doc_).size(), 1u) << "the moved annotation stays selected";
  EXPECT_EQ(doc_->undo.UndoCount(), 1u);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Names(0), (Names_{"(first)", "(pop)", "(note)", "(last)"}));
  EXPECT_EQ(Names(2), (Names_{"(there)"}));
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(Names(2), (Names_{"(there)", "(note)", "(pop)"}));
  // Errors name what is wrong, and change nothing.
  EXPECT_FALSE(Editor::Get().MoveSelectionToPage(doc_, 3, &error_));
  EXPECT_EQ(error_, "the document has no page 4");
  EXPECT_FALSE(Editor::Get().MoveSelectionToPage(doc_, 2, &error_));
  EXPECT_EQ(error_, "nothing moved to page 3");
  EXPECT_EQ(doc_->undo.UndoCount(), 1u);
}

TEST(EditFitInside, MovesInAsLittleAsItTakesAndShrinksOnlyWhatIsLarger) {
  const KS_FloatRect page{0, 0, 420, 595};
  const struct {
    KS_FloatRect rect;
    KS_FloatRect fitted;
  } cases[] = {
      {{100, 100, 200, 200}, {100, 100, 200, 200}},              // inside already
      {{800, 500, 1000, 700}, {219.75f, 394.75f, 419.75f, 594.75f}},  // beyond the top right
      {{-50, -80, 50, 20}, {0.25f, 0.25f, 100.25f, 100.25f}},      // beyond the bottom left
      // 600 by 300 into 419.5 by 594.5: scaled by 419.5 / 600 to 419.5 by 209.75.
      {{0, 0, 600, 300}, {0.25f, 0.25f, 419.75f, 210}},
      // 100 by 1189 into 594.5 tall: scaled by a half.
      {{10, 0, 110, 1189}, {10, 0.25f, 60, 594.75f}},
  };
  for (const auto& c : cases) {
    const KS_FloatRect r = edit::FitInside(c.rect, page, 0.25f);
    SCOPED_TRACE(std::to_string(c.rect.left) + " " + std::to_string(c.rect.bottom));
    EXPECT_NEAR(r.left, c.fitted.left, 1e-3);
    EXPECT_NEAR(r.bottom, c.fitted.bottom, 1e-3);
    EXPECT_NEAR(r.right, c.fitted.right, 1e-3);
    EXPECT_NEAR(r.top, c.fitted.top, 1e-3);
  }
}

TEST_F(EditorArrangeTest, MoveToASmallerPageKeepsTheAnnotationInsideItsCropBoxAsOneStep) {
  // Page 2 becomes A5 with a crop box 20 points in from each side.
  const char media[] = "[0 0 420 595]", crop[] = "[20 20 400 575]";
  for (const auto& [key, text] : {std::pair{"/MediaBox", media}, std::pair{"/CropBox", crop}}) {
    KPD_Object box = direct::ObjectParse(text, std::strlen(text));
    direct::DictSet(pages_[1], key, box);
    direct::ObjectRelease(box);
  }
  KA_Annot far = Add("<< /Type /Annot /Subtype /Square /NM (far) /Rect [500 600 600 700] >>");
  KA_Annot wide = Add("<< /Type /Annot /Subtype /Ink /NM (wide) /Rect [0 0 570 100] "
                      "/InkList [[0 0 570 100]] >>");
  Editor::Get().Select(doc_, far, false);
  Editor::Get().Select(doc_, wide, true);
  ASSERT_TRUE(Editor::Get().MoveSelectionToPage(doc_, 1, &error_)) << error_;
  EXPECT_EQ(doc_->undo.UndoCount(), 1u) << "the move and the fit are one step";
  auto rect = [](KA_Annot a) { return Write(direct::DictGet(direct::AnnotGetDict(a), "/Rect")); };
  // Moved in to the crop box's top right, 0.25 in from its sides.
  EXPECT_EQ(rect(far), "[ 299.75 474.75 399.75 574.75 ]");
  // 570 wide into 379.5: scaled by 379.5 / 570, its points with it (100 tall
  // becomes 66.57895).
  EXPECT_EQ(rect(wide), "[ 20.25 20.25 399.75 86.82895 ]");
  EXPECT_EQ(Write(direct::DictGet(direct::AnnotGetDict(wide), "/InkList")), "[ [ 20.25 20.25 399.75 86.82895 ] ]");
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Editor::Get().PageIndexOf(far), 0);
  EXPECT_EQ(rect(far), "[ 500 600 600 700 ]");
  EXPECT_EQ(rect(wide), "[ 0 0 570 100 ]");
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(Editor::Get().PageIndexOf(wide), 1);
  EXPECT_EQ(rect(far), "[ 299.75 474.75 399.75 574.75 ]");
}

TEST_F(EditorArrangeTest, PasteMakesOffsetCopiesWithNamesAndAppearancesOfTheirOwn) {
  KA_Annot a = Add(
      "<< /Type /Annot /Subtype /Square /NM (a) /Rect [100 100 200 150] /Popup << /Subtype /Popup >> /IRT << >> >>");
  KPD_Stream ap = direct::DocNewStream(pdf_, "0 0 m 100 50 l S", 16);
  Owned apDict = Parse("<< >>");
  direct::DictSet(apDict.get(), "/N", ap);
  direct::DictSet(direct::AnnotGetDict(a), "/AP", apDict.get());
  direct::DictSet(direct::StreamGetDict(ap), "/BBox", Parse("[0 0 100 50]").get());

  EXPECT_FALSE(Editor::Get().Paste(doc_, 0, &error_));
  EXPECT_EQ(error_, "nothing was copied in this document");
  Editor::Get().Select(doc_, a, false);
  ASSERT_TRUE(Editor::Get().CopySelection(doc_, &error_));
  ASSERT_TRUE(Editor::Get().Paste(doc_, 0, &error_)) << error_;
  ASSERT_TRUE(Editor::Get().Paste(doc_, 1, &error_)) << error_;
  EXPECT_EQ(doc_->undo.UndoCount(), 2u) << "one step per paste";
  KA_Annot first = direct::AnnotFromDict(doc_, direct::PageGetAnnot(pages_[0], 1));
  KA_Annot second = direct::AnnotFromDict(doc_, direct::PageGetAnnot(pages_[1], 0));
  // 10 pt right and down per paste since the copy.
  EXPECT_EQ(Write(direct::DictGet(direct::AnnotGetDict(first), "/Rect")), "[ 110 90 210 140 ]");
  EXPECT_EQ(Write(direct::DictGet(direct::AnnotGetDict(second), "/Rect")), "[ 120 80 220 130 ]");
  for (KA_Annot copy : {first, second}) {
    KPD_Dictionary d = direct::AnnotGetDict(copy);
    EXPECT_NE(Write(direct::DictGet(d, "/NM")), "(a)");
    EXPECT_EQ(Write(direct::DictGet(d, "/NM")).size(), 38u) << "a UUID in parentheses";
    EXPECT_FALSE(direct::DictHasKey(d, "/Popup"));
    EXPECT_FALSE(direct::DictHasKey(d, "/IRT"));
    KPD_Object n = direct::DictGet(direct::DictGet(d, "/AP"), "/N");
    ASSERT_NE(n, nullptr);
    EXPECT_FALSE(direct::ObjectIsIdentical(n, ap)) << "the copy's appearance is a stream of its own";
  }
  EXPECT_NE(Write(direct::DictGet(direct::AnnotGetDict(first), "/NM")), Write(direct::DictGet(direct::AnnotGetDict(second), "/NM")));
  // The last paste is what is selected.
  ASSERT_EQ(Editor::Get().Selection(doc_).size(), 1u);
  EXPECT_EQ(Editor::Get().Selection(doc_)[0], second);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(direct::PageAnnotCount(pages_[1]), 0);
  EXPECT_EQ(direct::PageAnnotCount(pages_[0]), 2);
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(direct::PageAnnotCount(pages_[1]), 1);
  // The clipboard goes with its document.
  KPD_Document other = direct::DocNew();
  KA_Document otherDoc = Editor::Get().AddDocument(other, false);
  EXPECT_FALSE(Editor::Get().Paste(otherDoc, 0, &error_));
  Editor::Get().RemoveDocument(otherDoc);
  direct::DocClose(other);
}

TEST_F(EditorArrangeTest, SelectAllTakesWhatTheSelectionToolsWouldSelectOnThatPageOnly) {
  Square("a");
  Add("<< /Type /Annot /Subtype /Square /NM (hidden) /F 2 /Rect [0 0 10 10] >>");
  Add("<< /Type /Annot /Subtype /Popup /NM (pop) /Rect [0 0 10 10] >>");
  Square("b");
  Square("elsewhere", 1);
  ASSERT_TRUE(Editor::Get().SelectAll(doc_, 0));
  std::vector<std::string> selected;
  for (KA_Annot annot : Editor::Get().Selection(doc_)) selected.push_back(Write(direct::DictGet(direct::AnnotGetDict(annot), "/NM")));
  EXPECT_EQ(selected, (Names_{"(a)", "(b)"}));
  EXPECT_FALSE(Editor::Get().SelectAll(doc_, 2)) << "an empty page";
  // As keys: what finds nothing to do says why.
  Editor::Get().DeselectAll(doc_);
  EXPECT_FALSE(Editor::Get().Key('C', KS_FLAG_CTRL, &error_));
  EXPECT_EQ(error_, "nothing is selected");
  EXPECT_FALSE(Editor::Get().Key('V', KS_FLAG_CTRL, &error_));
  EXPECT_EQ(error_, "nothing was copied in this document");
  ASSERT_TRUE(Editor::Get().Key('A', KS_FLAG_CTRL, &error_)) << error_;
  EXPECT_EQ(Editor::Get().Selection(doc_).size(), 2u);
  ASSERT_TRUE(Editor::Get().Key('C', KS_FLAG_CTRL, &error_)) << error_;
  ASSERT_TRUE(Editor::Get().Key('V', KS_FLAG_CTRL, &error_)) << error_;
  EXPECT_EQ(direct::PageAnnotCount(pages_[0]), 6);
  Editor::Get().SetView(2, 1, 0);
  doc_->activePage = 2;
  EXPECT_FALSE(Editor::Get().Key('A', KS_FLAG_CTRL, &error_));
  EXPECT_EQ(error_, "the page has no annotation to select");
}

TEST_F(EditorArrangeTest, PropertiesReadColoursBordersAndTextsAsStored) {
  const struct {
    const char* keys;
    const char* color;  // #RRGGBB by hand, "" for none
    float width, dash, opacity;
  } cases[] = {
      {"/C [1 0 0]", "#FF0000", 1, 0, 1},
      {"/C [0.5] /Border [0 0 3]", "#808080", 3, 0, 1},
      // CMYK: red = (1 - c)(1 - k); 0.2 black on cyan gives (0, 0.8, 0.8).
      {"/C [1 0 0 0.2] /BS << /W 2 /S /D /D [4 2] >>", "#00CCCC", 2, 4, 1},
      {"/C [] /BS << /S /D >> /CA 0.25", "", 1, 3, 0.25f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    KA_Annot annot = Square("x", 0, c.keys);
    const AnnotProps p = ReadAnnotProps(annot);
    if (*c.color) {
      ASSERT_TRUE(p.color.has_value());
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02X%02X%02X", int((*p.color)[0] * 255 + 0.5f), int((*p.color)[1] * 255 + 0.5f),
                    int((*p.color)[2] * 255 + 0.5f));
      EXPECT_EQ(std::string(hex), c.color);
    } else {
      EXPECT_FALSE(p.color.has_value());
    }
    EXPECT_FLOAT_EQ(p.width, c.width);
    EXPECT_FLOAT_EQ(p.dash, c.dash);
    EXPECT_FLOAT_EQ(p.opacity, c.opacity);
    EXPECT_FALSE(p.settable) << "no handler sets a square's properties here";
  }
  KA_Annot line = Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 10 0] /Rect [0 0 10 10] "
                      "/LE [/OpenArrow /Slash] /Subj (Dist\\351) /Label <FEFF004B00FC> >>");
  const AnnotProps p = ReadAnnotProps(line);
  EXPECT_EQ(p.intent, "LineDimension");
  EXPECT_TRUE(p.lineEndings);
  EXPECT_EQ(p.lineStart, "OpenArrow");
  EXPECT_EQ(p.lineEnd, "Slash");
  EXPECT_EQ(p.subject, u"Disté");
  EXPECT_EQ(p.label, u"Kü");
  // Without a handler there is nothing to set them with.
  Editor::Get().Select(doc_, line, false);
  KS_AnnotPropertyValue v{};
  v.size = sizeof v;
  v.property = KS_PROP_COLOR;
  EXPECT_FALSE(Editor::Get().SetSelectionProperty(doc_, v, &error_));
  EXPECT_EQ(doc_->undo.UndoCount(), 0u);
}

// The editor's own items follow Delete in the context menu, in an order
// scripts answer by number: Properties, Bring to front, Move to page (whose
// dialog the distance editing session drives).
TEST_F(EditorArrangeTest, TheContextMenusOwnItemsAskForThePanelAndArrange) {
  Square("a");
  Add("<< /Type /Annot /Subtype /Square /NM (b) /Rect [300 300 400 400] >>");
  std::deque<int> answers;
  std::u16string shown;
  Editor::Get().SetMessageProvider([&](const std::u16string&, const std::u16string& text, uint32_t) {
    shown = text;
    std::optional<int> a;
    if (!answers.empty()) {
      a = answers.front();
      answers.pop_front();
    }
    return a;
  });
  auto menuOnA = [&](int answer) {
    answers.push_back(answer);
    ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::RightDown, 0, {150, 150}, 0, &error_)) << error_;
    ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::RightUp, 0, {150, 150}, 0, &error_)) << error_;
  };
  menuOnA(2);
  EXPECT_EQ(ToUtf8(shown), "Delete | Properties | Bring to front | Move to page…");
  EXPECT_EQ(Editor::Get().PropertiesAsked(), 1);
  EXPECT_EQ(doc_->undo.UndoCount(), 0u);
  menuOnA(3);
  EXPECT_EQ(Names(0), (Names_{"(b)", "(a)"}));
  EXPECT_EQ(doc_->undo.UndoCount(), 1u);
  Editor::Get().SetMessageProvider(nullptr);
}

}  // namespace
}  // namespace kshost
