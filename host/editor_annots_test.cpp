// The editor with annotations: the selection tools, painting, and commands,
// driven with a small handler written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "host/editor.h"
#include "host/pdf_test_support.h"

namespace kshost {
namespace {

using pdf::test::Owned;
using pdf::test::Parse;
using pdf::test::Write;

// A handler for "Square/Test": its objects regenerate nothing, hit anywhere
// in a 20-pixel margin, draw a green frame, move by recording the rects, and
// refuse command 10.
struct HandlerLog {
  std::vector<std::string> calls;
};
HandlerLog* g_log = nullptr;
KA_AnnotHandler g_handler = nullptr;

std::string Rect(const KS_DeviceRect* r) {
  return std::to_string(r->left) + " " + std::to_string(r->top) + " " + std::to_string(r->right) + " " +
         std::to_string(r->bottom);
}

KS_AnnotHandlerCallbacks TestHandler() {
  KS_AnnotHandlerCallbacks r{};
  r.size = sizeof r;
  KS_RECORD_POSITION(r, KS_AH_CREATE_OBJECT) =
      reinterpret_cast<void*>(+[](void*, KA_Annot annot, intptr_t value) -> KA_AnnotObject {
        KS_AnnotObjectCallbacks rec{};
        rec.size = sizeof rec;
        return direct::AnnotObjectNew(g_handler, &rec, annot, value);
      });
  KS_RECORD_POSITION(r, KS_AH_HIT_TEST) =
      reinterpret_cast<void*>(+[](void*, KA_PageView view, KA_AnnotObject obj, KS_DevicePoint pt) -> int32_t {
        KS_FloatRect rect{};
        KS_DeviceRect d{};
        direct::AnnotGetRect(direct::AnnotObjectGetAnnot(obj), &rect);
        direct::PageViewPageRectToDevice(view, &rect, &d);
        return pt.x >= d.left - 20 && pt.x <= d.right + 20 && pt.y >= d.top - 20 && pt.y <= d.bottom + 20;
      });
  KS_RECORD_POSITION(r, KS_AH_DRAW) =
      reinterpret_cast<void*>(+[](void*, KA_PageView view, KA_Device device, KA_AnnotObject obj, intptr_t) {
        KS_FloatRect rect{};
        KS_DeviceRect d{};
        direct::AnnotGetRect(direct::AnnotObjectGetAnnot(obj), &rect);
        direct::PageViewPageRectToDevice(view, &rect, &d);
        KA_Pen pen = direct::PenNew(0x00FF00, 3, 0);
        KA_Pen old = direct::DeviceSelectPen(device, pen);
        direct::DeviceRectangle(device, &d);
        direct::DeviceSelectPen(device, old);
        direct::PenRelease(pen);
      });
  KS_RECORD_POSITION(r, KS_AH_MOVE) = reinterpret_cast<void*>(
      +[](void*, KA_PageView, KA_AnnotObject, const KS_DeviceRect* from, const KS_DeviceRect* to) -> int32_t {
        g_log->calls.push_back("move " + Rect(from) + " -> " + Rect(to));
        return 1;
      });
  KS_RECORD_POSITION(r, KS_AH_ROTATE) =
      reinterpret_cast<void*>(+[](void*, KA_PageView, KA_AnnotObject, int32_t degrees) -> int32_t {
        g_log->calls.push_back("rotate " + std::to_string(degrees));
        return 1;
      });
  KS_RECORD_POSITION(r, KS_AH_COMMAND_ENABLED) =
      reinterpret_cast<void*>(+[](void*, KA_Document, int32_t command) -> int32_t { return command != 10; });
  return r;
}

class EditorAnnotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Editor::Get().Reset();
    g_log = &log_;
    pdf_ = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    page_ = direct::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
    Editor::Get().SetView(0, 1, 0);
    Editor::Get().SetTrace([this](const std::string& line) { trace_.push_back(line); });
  }
  void TearDown() override {
    Editor::Get().Reset();
    direct::DocClose(pdf_);
    g_log = nullptr;
    g_handler = nullptr;
  }

  KA_Annot Add(const std::string& text) {
    Owned dict = Parse(text);
    return direct::AnnotFromDict(doc_, direct::PageInsertAnnot(page_, -1, dict.get()));
  }
  std::string Key(KA_Annot annot, const char* key) { return Write(direct::DictGet(direct::AnnotGetDict(annot), key)); }
  void Mouse(MouseEvent kind, float x, float y, uint32_t flags = 0) {
    std::string error;
    ASSERT_TRUE(Editor::Get().Mouse(kind, 0, {x, y}, flags, &error)) << error;
  }
  void Click(float x, float y, uint32_t flags = 0) {
    Mouse(MouseEvent::LeftDown, x, y, flags);
    Mouse(MouseEvent::LeftUp, x, y, flags);
  }
  void Drag(float x1, float y1, float x2, float y2) {
    Mouse(MouseEvent::LeftDown, x1, y1);
    Mouse(MouseEvent::Move, (x1 + x2) / 2, (y1 + y2) / 2);
    Mouse(MouseEvent::LeftUp, x2, y2);
  }
  std::vector<std::string> DrawLines() {
    std::vector<std::string> out;
    for (const std::string& line : trace_)
      if (line.rfind("draw:", 0) == 0) out.push_back(line);
    return out;
  }

  HandlerLog log_;
  std::vector<std::string> trace_;
  KPD_Document pdf_ = nullptr;
  KPD_Page page_ = nullptr;
  KA_Document doc_ = nullptr;
};

const char kLow[] = "<< /Subtype /Square /NM (low) /Rect [100 100 200 200] >>";
const char kHigh[] = "<< /Subtype /Square /NM (high) /Rect [150 150 250 250] >>";

// The Hand tool's clicks select the topmost annotation under the pointer;
// shift adds, ctrl takes out, a plain click on one selected keeps the
// selection and moves the focus. Receivers hear of each change of the
// selection or its focus, and of nothing when a click or a call leaves both
// as they were.
TEST_F(EditorAnnotsTest, HandClicksSelectTheTopmostAndEachChangeIsToldOnce) {
  KA_Annot low = Add(kLow);
  KA_Annot high = Add(kHigh);
  static int told = 0;
  told = 0;
  KS_DocEventCallbacks record{};
  record.size = sizeof record;
  record.positions[KS_DOCEVENT_SELECTION_CHANGED - 2] =
      reinterpret_cast<void*>(+[](void*, KA_Document) { ++told; });
  ASSERT_TRUE(Editor::Get().RegisterDocEvents(&record));
  struct Step {
    const char* what;
    float x, y;
    uint32_t flags;
    std::vector<KA_Annot> selected;
    KA_Annot focused;
    int told;
  };
  const Step steps[] = {
      {"both are there; the later one is on top", 175, 175, 0, {high}, high, 1},
      {"the same again: no change", 175, 175, 0, {high}, high, 1},
      {"shift adds the other, which takes the focus", 110, 110, KS_FLAG_SHIFT, {high, low}, low, 2},
      {"ctrl takes the focused one out", 110, 110, KS_FLAG_CTRL, {high}, high, 3},
      {"a plain click on one not selected replaces the selection", 110, 110, 0, {low}, low, 4},
      {"shift adds the top one", 175, 175, KS_FLAG_SHIFT, {low, high}, high, 5},
      {"a plain click on one selected: the focus moves, both stay", 110, 110, 0, {low, high}, low, 6},
      {"nothing there: all deselected", 400, 400, 0, {}, nullptr, 7},
      {"and again: nothing to tell", 400, 400, 0, {}, nullptr, 7},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Click(step.x, step.y, step.flags);
    EXPECT_EQ(Editor::Get().Selection(doc_), step.selected);
    EXPECT_EQ(Editor::Get().Focused(doc_), step.focused);
    EXPECT_EQ(told, step.told);
  }
  EXPECT_TRUE(Editor::Get().Select(doc_, low, false));
  EXPECT_TRUE(Editor::Get().Deselect(doc_, low));
  EXPECT_FALSE(Editor::Get().Deselect(doc_, high));
  EXPECT_EQ(told, 9);
  // A hidden annotation is passed over.
  direct::DictSet(direct::AnnotGetDict(high), "/F", Parse("2").get());
  Click(175, 175);
  EXPECT_EQ(Editor::Get().Selection(doc_), std::vector<KA_Annot>{low});
  EXPECT_EQ(told, 10);
  // Deleting the selection empties it.
  std::string error;
  ASSERT_TRUE(Editor::Get().Command(doc_, KS_COMMAND_DELETE, &error)) << error;
  EXPECT_TRUE(Editor::Get().Selection(doc_).empty());
  EXPECT_EQ(told, 11);
  Editor::Get().UnregisterDocEvents(&record);
}

TEST_F(EditorAnnotsTest, PaintOutlinesTheFocusedInRedAndOtherSelectedInBlack) {
  Add(kLow);
  Add(kHigh);
  Click(110, 110);
  Click(240, 240, KS_FLAG_SHIFT);
  // Device y runs down from the top of the 792-point page.
  EXPECT_EQ(DrawLines().back(), "draw: rect 150 542 250 642 pen #FF0000 1");
  EXPECT_EQ(DrawLines()[DrawLines().size() - 2], "draw: rect 100 592 200 692 pen #000000 1");
  const std::vector<DrawItem> items = Editor::Get().Paint(Editor::Get().View(0));
  ASSERT_EQ(items.size(), 4u);  // two appearances, two outlines
  EXPECT_EQ(items[0].kind, DrawItem::Kind::Appearance);
  EXPECT_TRUE(items[1].brush.hollow);
  // Nothing invalidated: no paint.
  trace_.clear();
  Mouse(MouseEvent::Move, 300, 300);
  EXPECT_TRUE(trace_.empty());
}

TEST_F(EditorAnnotsTest, DragMovesAnAnnotationTheEditorHandlesAloneAndUndoRestoresIt) {
  KA_Annot low = Add("<< /Subtype /Square /Rect [100 100 200 200] /RD [1 1 1 1] >>");
  const std::string before = Write(direct::AnnotGetDict(low));
  Drag(150, 150, 200, 140);
  EXPECT_EQ(Key(low, "/Rect"), "[ 150 90 250 190 ]");
  const std::string after = Write(direct::AnnotGetDict(low));
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 1);
  EXPECT_NE(std::find(trace_.begin(), trace_.end(), "undo: push \"Move\""), trace_.end());
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Write(direct::AnnotGetDict(low)), before);
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(Write(direct::AnnotGetDict(low)), after);

  // The bottom-right frame handle resizes.
  Drag(250, 90, 300, 40);
  EXPECT_EQ(Key(low, "/Rect"), "[ 150 40 300 190 ]");
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 2);

  // A vertex cannot move without a handler to rebuild the appearance.
  KA_Annot line = Add("<< /Subtype /Line /Rect [300 300 400 400] /L [300 300 400 400] >>");
  Drag(300, 300, 320, 320);
  EXPECT_EQ(Key(line, "/L"), "[ 300 300 400 400 ]");
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 2);
}

TEST_F(EditorAnnotsTest, HandlerHitTestsDrawsAndMoves) {
  KS_AnnotHandlerCallbacks record = TestHandler();
  g_handler = direct::AnnotHandlerRegister("Square/Test", &record);
  KA_Annot mine = Add("<< /Subtype /Square /IT /Test /Rect [100 100 200 200] >>");
  Click(90, 150);  // 10 pixels left of the rectangle: the handler's margin
  EXPECT_EQ(Editor::Get().Focused(doc_), mine);
  EXPECT_EQ(DrawLines(), std::vector<std::string>{"draw: rect 100 592 200 692 pen #00FF00 3"});
  Drag(150, 150, 200, 150);
  EXPECT_EQ(log_.calls, std::vector<std::string>{"move 100 592 200 692 -> 150 592 250 692"});
  EXPECT_EQ(Key(mine, "/Rect"), "[ 100 100 200 200 ]");  // the handler moved nothing
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 0);              // and the editor recorded nothing

  std::string error;
  EXPECT_FALSE(Editor::Get().Command(doc_, 10, &error));
  EXPECT_EQ(error, "command 10 is not available for the selection");
  EXPECT_TRUE(Editor::Get().Command(doc_, KS_COMMAND_ROTATE_RIGHT, &error)) << error;
  EXPECT_TRUE(Editor::Get().RotateFocused(doc_, 30, &error)) << error;
  EXPECT_EQ(log_.calls.back(), "rotate 30");
  EXPECT_EQ(log_.calls[1], "rotate -90");
}

// Commands that cannot run say why; on a read-only document neither they
// nor a drag change anything, though a click still selects.
TEST_F(EditorAnnotsTest, RefusedCommandsAndReadOnlyDragsChangeNothing) {
  struct Case {
    int command;
    bool select;
    bool readOnly;
    std::string error;
  };
  const Case refused[] = {
      {KS_COMMAND_DELETE, false, false, "nothing is selected"},
      {7, true, false, "unknown command 7"},
      {KS_COMMAND_DELETE, true, true, "the document is read-only"},
      {KS_COMMAND_ROTATE_LEFT, true, true, "the document is read-only"},
  };
  KA_Annot low = Add(kLow);
  for (const Case& c : refused) {
    Editor::Get().DeselectAll(doc_);
    if (c.select) Editor::Get().Select(doc_, low, false);
    doc_->readOnly = c.readOnly;
    std::string error;
    EXPECT_FALSE(Editor::Get().Command(doc_, c.command, &error)) << c.command;
    EXPECT_EQ(error, c.error);
  }
  Editor::Get().DeselectAll(doc_);
  Drag(150, 150, 200, 200);
  EXPECT_EQ(Key(low, "/Rect"), "[ 100 100 200 200 ]");
  EXPECT_EQ(Editor::Get().Selection(doc_), std::vector<KA_Annot>{low});
  doc_->readOnly = false;
  EXPECT_EQ(direct::PageAnnotCount(page_), 1);
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 0);
}

TEST_F(EditorAnnotsTest, DeleteIsOneStepThatPutsAnnotationsBackAtTheirPlace) {
  KA_Annot a = Add(kLow);
  KA_Annot b = Add(kHigh);
  KA_Annot c = Add("<< /Subtype /Circle /NM (c) /Rect [400 400 450 450] >>");
  Editor::Get().Select(doc_, c, false);
  Editor::Get().Select(doc_, a, true);
  std::string error;
  ASSERT_TRUE(Editor::Get().Command(doc_, KS_COMMAND_DELETE, &error)) << error;
  EXPECT_EQ(direct::PageAnnotCount(page_), 1);
  EXPECT_TRUE(Editor::Get().Selection(doc_).empty());
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 1);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  ASSERT_EQ(direct::PageAnnotCount(page_), 3);
  EXPECT_EQ(direct::AnnotGetPageIndex(a), 0);
  EXPECT_EQ(direct::PageFindAnnot(page_, direct::AnnotGetDict(a)), 0);
  EXPECT_EQ(direct::PageFindAnnot(page_, direct::AnnotGetDict(b)), 1);
  EXPECT_EQ(direct::PageFindAnnot(page_, direct::AnnotGetDict(c)), 2);
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_EQ(direct::PageAnnotCount(page_), 1);
  EXPECT_EQ(direct::AnnotGetPageIndex(c), -1);
}

TEST_F(EditorAnnotsTest, RotateCommandsTurnEachSelectedAnnotationAsOneStep) {
  KA_Annot line = Add("<< /Subtype /Line /Rect [100 100 200 200] /L [100 150 200 150] >>");
  KA_Annot square = Add(kHigh);
  Editor::Get().Select(doc_, line, false);
  Editor::Get().Select(doc_, square, true);
  std::string error;
  ASSERT_TRUE(Editor::Get().Command(doc_, KS_COMMAND_ROTATE_RIGHT, &error)) << error;
  EXPECT_EQ(Key(line, "/L"), "[ 150 200 150 100 ]");
  EXPECT_EQ(Key(line, "/Rotation"), "-90");
  EXPECT_EQ(Key(square, "/Rotation"), "-90");
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 1);
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(Key(line, "/L"), "[ 100 150 200 150 ]");
  EXPECT_FALSE(direct::DictHasKey(direct::AnnotGetDict(square), "/Rotation"));
}

TEST_F(EditorAnnotsTest, UndoOfAnAnnotationRemovedMeanwhileDoesNothing) {
  KA_Annot low = Add(kLow);
  Drag(150, 150, 200, 150);
  ASSERT_EQ(direct::AppDocUndoCount(doc_), 1);
  ASSERT_TRUE(direct::PageRemoveAnnot(page_, 0));
  EXPECT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_EQ(direct::AnnotGetPageIndex(low), -1);
  EXPECT_EQ(Key(low, "/Rect"), "[ 150 100 250 200 ]");
  EXPECT_EQ(direct::PageAnnotCount(page_), 0);
}

// Objects of the shape kinds that rebuild their appearance from the geometry
// the way a generator does: /Rect around the points, the stream from the
// numbers.
int32_t RegenerateShape(void* cd) {
  auto annot = static_cast<KA_Annot>(cd);
  KPD_Dictionary dict = direct::AnnotGetDict(annot);
  KPD_Object points = direct::DictHasKey(dict, "/L") ? direct::DictGet(dict, "/L") : direct::DictGet(dict, "/Vertices");
  if (points) {
    float n[64];
    const int count = direct::ArrayGetNumbers(points, n, 64);
    KS_FloatRect box{n[0], n[1], n[0], n[1]};
    for (int i = 0; i + 1 < count; i += 2) {
      box.left = std::min(box.left, n[i]);
      box.right = std::max(box.right, n[i]);
      box.bottom = std::min(box.bottom, n[i + 1]);
      box.top = std::max(box.top, n[i + 1]);
    }
    box = {box.left - 5, box.bottom - 5, box.right + 5, box.top + 5};
    Owned rect(direct::RectToObject(&box));
    direct::DictSet(dict, "/Rect", rect.get());
  }
  const std::string content = Write(direct::DictGet(dict, "/Rect")) + Write(points) + Write(direct::DictGet(dict, "/Rotation"));
  KPD_Object ap = direct::DictGet(direct::DictGet(dict, "/AP"), "/N");
  return direct::StreamSetData(ap, content.data(), content.size());
}

KS_AnnotHandlerCallbacks ShapeHandler() {
  KS_AnnotHandlerCallbacks r{};
  r.size = sizeof r;
  KS_RECORD_POSITION(r, KS_AH_CREATE_OBJECT) =
      reinterpret_cast<void*>(+[](void*, KA_Annot annot, intptr_t value) -> KA_AnnotObject {
        KS_AnnotObjectCallbacks rec{};
        rec.size = sizeof rec;
        rec.clientData = annot;
        KS_RECORD_POSITION(rec, KS_AO_REGENERATE) = reinterpret_cast<void*>(&RegenerateShape);
        return direct::AnnotObjectNew(Editor::Get().HandlerFor(annot), &rec, annot, value);
      });
  return r;
}

std::string StreamText(KPD_Object stream) {
  pdf::test::Bytes data;
  return direct::StreamGetData(stream, 1, data) ? data.text() : "<no data>";
}

// Random moves, resizes, vertex drags and rotations of a line, a polyline, a
// polygon and a circle, each on its own page; undoing every step gives back
// each dictionary and appearance stream exactly, redoing every step the
// state after the edits.
TEST_F(EditorAnnotsTest, RandomEditsUndoAndRedoExactly) {
  KS_AnnotHandlerCallbacks records[4];
  const char* types[] = {"Line", "PolyLine", "Polygon", "Circle"};
  const char* dicts[] = {
      "<< /Subtype /Line /Rect [0 0 1 1] /L [200 300 350 360] >>",
      "<< /Subtype /PolyLine /Rect [0 0 1 1] /Vertices [150 200 250 260 320 210 400 300] >>",
      "<< /Subtype /Polygon /Rect [0 0 1 1] /Vertices [200 200 380 220 300 380] >>",
      "<< /Subtype /Circle /Rect [200 300 330 400] >>",
  };
  KS_FloatRect letter{0, 0, 612, 792};
  for (int i = 1; i < 4; ++i) direct::DocAddPage(pdf_, &letter);
  std::vector<KA_Annot> annots;
  for (int i = 0; i < 4; ++i) {
    records[i] = ShapeHandler();
    ASSERT_NE(direct::AnnotHandlerRegister(types[i], &records[i]), nullptr);
    Owned dict = Parse(dicts[i]);
    Owned ap = Parse("<< >>");
    KPD_Object stream = direct::DocNewStream(pdf_, "", 0);
    direct::DictSet(ap.get(), "/N", stream);
    direct::DictSet(dict.get(), "/AP", ap.get());
    KA_Annot annot = direct::AnnotFromDict(doc_, direct::PageInsertAnnot(direct::DocGetPage(pdf_, i), -1, dict.get()));
    ASSERT_NE(direct::AnnotGetObject(annot), nullptr);
    ASSERT_TRUE(RegenerateShape(annot));
    annots.push_back(annot);
  }
  auto state = [&] {
    std::vector<std::string> out;
    for (KA_Annot a : annots) {
      out.push_back(Write(direct::AnnotGetDict(a)));
      out.push_back(StreamText(direct::DictGet(direct::DictGet(direct::AnnotGetDict(a), "/AP"), "/N")));
    }
    return out;
  };
  const std::vector<std::string> original = state();

  for (unsigned seed = 1; seed <= 5; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % unsigned(n)); };
    int steps = 0, vertexMoves = 0;
    for (int edit = 0; edit < 25; ++edit) {
      const int which = pick(4);
      KA_Annot annot = annots[size_t(which)];
      KA_PageView view = Editor::Get().SetView(which, 1, 0);
      Editor::Get().Select(doc_, annot, false);
      KS_FloatRect rect{};
      ASSERT_TRUE(direct::AnnotGetRect(annot, &rect));
      KS_FloatPoint from{(rect.left + rect.right) / 2, (rect.bottom + rect.top) / 2};
      const int kind = pick(4);
      if (kind == 1) from = {rect.right, rect.bottom};  // a frame handle
      if (kind == 2 && which < 3) {                     // a vertex
        float n[8];
        const int count = direct::ArrayGetNumbers(
            direct::DictGet(direct::AnnotGetDict(annot), which == 0 ? "/L" : "/Vertices"), n, 8);
        const int v = pick(count / 2);
        from = {n[2 * v], n[2 * v + 1]};
      }
      const int before = direct::AppDocUndoCount(doc_);
      if (kind == 3) {
        std::string error;
        const int angles[] = {90, -90, 30, 180};
        ASSERT_TRUE(Editor::Get().RotateFocused(doc_, angles[pick(4)], &error)) << error;
      } else {
        KS_DevicePoint d{};
        direct::PageViewPageToDevice(view, from, &d);
        direct::PageViewDeviceToPage(view, d, &from);  // on a whole pixel
        const KS_FloatPoint to{from.x + float(pick(41) - 20), from.y + float(pick(41) - 20)};
        std::string error;
        ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, which, from, 0, &error));
        ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftUp, which, to, 0, &error));
      }
      steps += direct::AppDocUndoCount(doc_) - before;
      vertexMoves += kind == 2 && which < 3 && direct::AppDocUndoCount(doc_) > before;
    }
    ASSERT_GT(steps, 15) << seed;
    ASSERT_GT(vertexMoves, 0) << seed;
    const std::vector<std::string> edited = state();
    EXPECT_NE(edited, original);
    for (int i = 0; i < steps; ++i) ASSERT_TRUE(Editor::Get().Undo(doc_)) << seed;
    EXPECT_FALSE(Editor::Get().Undo(doc_));
    EXPECT_EQ(state(), original) << seed;
    for (int i = 0; i < steps; ++i) ASSERT_TRUE(Editor::Get().Redo(doc_)) << seed;
    EXPECT_EQ(state(), edited) << seed;
    for (int i = 0; i < steps; ++i) ASSERT_TRUE(Editor::Get().Undo(doc_)) << seed;
  }
}

// A handler's context menu: the items it adds (a repeated or empty id is
// refused), shown by the right button of the Hand tool and answered like a
// message box, or run by id for the focused annotation.
TEST_F(EditorAnnotsTest, AHandlersMenuItemsAreShownAndTheChosenOneRuns) {
  KS_AnnotHandlerCallbacks record = TestHandler();
  KS_RECORD_POSITION(record, KS_AH_MENU_ITEMS) =
      reinterpret_cast<void*>(+[](void*, KA_PageView, KA_AnnotObject, KA_Menu menu) {
        std::string added = "add ";
        added += std::to_string(direct::MenuAddItem(menu, "first", u"First"));
        added += std::to_string(direct::MenuAddItem(menu, "second", u"Second"));
        added += std::to_string(direct::MenuAddItem(menu, "first", u"Again"));
        added += std::to_string(direct::MenuAddItem(menu, "", u"Nameless"));
        added += std::to_string(direct::MenuItemCount(menu));
        g_log->calls.push_back(added);
      });
  KS_RECORD_POSITION(record, KS_AH_MENU_RUN) =
      reinterpret_cast<void*>(+[](void*, KA_PageView, KA_AnnotObject, const char* id) -> int32_t {
        g_log->calls.push_back(std::string("run ") + id);
        return 1;
      });
  g_handler = direct::AnnotHandlerRegister("Square/Test", &record);
  KA_Annot tested = Add("<< /Subtype /Square /IT /Test /Rect [100 100 200 200] >>");
  KA_Annot plain = Add("<< /Subtype /Square /Rect [300 300 400 400] >>");

  Editor::Get().QueueMessageAnswer(2);
  Mouse(MouseEvent::RightDown, 150, 150);
  Mouse(MouseEvent::RightUp, 150, 150);
  EXPECT_EQ(Editor::Get().Focused(doc_), tested);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"add 11002", "run second"}));
  EXPECT_NE(std::find(trace_.begin(), trace_.end(), "menu: first First | second Second"), trace_.end());

  std::string error;
  EXPECT_TRUE(Editor::Get().RunAnnotMenuItem(doc_, "first", &error)) << error;
  EXPECT_EQ(log_.calls.back(), "run first");
  EXPECT_FALSE(Editor::Get().RunAnnotMenuItem(doc_, "third", &error));
  EXPECT_EQ(error, "the focused annotation's menu has no item third (items: first, second)");

  // An annotation whose handler has no menu is selected and shows none.
  log_.calls.clear();
  trace_.clear();
  Mouse(MouseEvent::RightUp, 350, 350);
  EXPECT_EQ(Editor::Get().Focused(doc_), plain);
  EXPECT_TRUE(log_.calls.empty());
  EXPECT_TRUE(std::none_of(trace_.begin(), trace_.end(), [](const std::string& l) { return l.rfind("menu", 0) == 0; }));
  EXPECT_FALSE(Editor::Get().RunAnnotMenuItem(doc_, "first", &error));
  EXPECT_EQ(error, "the focused annotation's menu has no item first (it has none)");
}

}  // namespace
}  // namespace kshost
