#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/annot_edit.h"
#include "host/editor.h"
#include "host/pdf_test_support.h"

namespace kshost {
namespace {

using pdf::test::Bytes;
using pdf::test::Owned;
using pdf::test::Parse;
using pdf::test::Write;

// What the test handler and its objects were asked.
struct Calls {
  int created = 0;
  int released = 0;
  int regenerated = 0;
  bool regenerate = true;  // whether objects offer a rebuild
};
Calls* g_calls = nullptr;

KS_AnnotObjectCallbacks ObjectRecord(KA_Annot annot) {
  KS_AnnotObjectCallbacks r{};
  r.size = sizeof r;
  r.clientData = annot;
  KS_RECORD_POSITION(r, KS_AO_RELEASE) = reinterpret_cast<void*>(+[](void*) { ++g_calls->released; });
  if (g_calls->regenerate)
    KS_RECORD_POSITION(r, KS_AO_REGENERATE) = reinterpret_cast<void*>(+[](void*) -> int32_t {
      ++g_calls->regenerated;
      return 1;
    });
  return r;
}

KA_AnnotHandler g_handler = nullptr;

KS_AnnotHandlerCallbacks HandlerRecord() {
  KS_AnnotHandlerCallbacks r{};
  r.size = sizeof r;
  KS_RECORD_POSITION(r, KS_AH_CREATE_OBJECT) =
      reinterpret_cast<void*>(+[](void*, KA_Annot annot, intptr_t value) -> KA_AnnotObject {
        ++g_calls->created;
        KS_AnnotObjectCallbacks rec = ObjectRecord(annot);
        return direct::AnnotObjectNew(g_handler, &rec, annot, value);
      });
  return r;
}

class AnnotFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Editor::Get().Reset();
    g_calls = &calls_;
    pdf_ = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    page_ = direct::DocAddPage(pdf_, &letter);
    direct::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
    view_ = Editor::Get().SetView(0, 1, 0);
  }
  void TearDown() override {
    Editor::Get().Reset();
    direct::DocClose(pdf_);
    g_calls = nullptr;
    g_handler = nullptr;
  }

  KA_Annot Add(const std::string& text) {
    Owned dict = Parse(text);
    KPD_Dictionary placed = direct::PageInsertAnnot(page_, -1, dict.get());
    return direct::AnnotFromDict(doc_, placed);
  }
  std::string Key(KA_Annot annot, const char* key) { return Write(direct::DictGet(direct::AnnotGetDict(annot), key)); }
  void RegisterHandler(const char* type) {
    KS_AnnotHandlerCallbacks r = HandlerRecord();
    g_handler = direct::AnnotHandlerRegister(type, &r);
    ASSERT_NE(g_handler, nullptr);
  }
  KS_AnnotCallArgs Args(KA_Annot annot) {
    KS_AnnotCallArgs a{};
    a.size = sizeof a;
    a.view = view_;
    a.object = direct::AnnotGetObject(annot);
    a.document = doc_;
    return a;
  }

  Calls calls_;
  KPD_Document pdf_ = nullptr;
  KPD_Page page_ = nullptr;
  KA_Document doc_ = nullptr;
  KA_PageView view_ = nullptr;
};

const char kLine[] = "<< /Type /Annot /Subtype /Line /Rect [90 90 210 160] /L [100 100 200 150] /F 4 /NM (l1) >>";

TEST_F(AnnotFunctionsTest, AnnotationHandleIsStableAndFollowsItsPage) {
  KA_Annot line = Add(kLine);
  ASSERT_NE(line, nullptr);
  KPD_Dictionary dict = direct::AnnotGetDict(line);
  EXPECT_EQ(direct::AnnotFromDict(doc_, dict), line);
  Owned copy(direct::ObjectClone(dict));
  EXPECT_EQ(direct::AnnotFromDict(doc_, copy.get()), nullptr);  // a copy is not on any page
  EXPECT_EQ(direct::AnnotGetDocument(line), doc_);
  EXPECT_EQ(direct::AnnotGetPageIndex(line), 0);
  EXPECT_EQ(direct::AnnotGetFlags(line), 4u);
  Bytes type;
  ASSERT_TRUE(direct::AnnotGetTypeName(line, type));
  EXPECT_EQ(type.text(), "Line");
  KS_FloatRect r{};
  ASSERT_TRUE(direct::AnnotGetRect(line, &r));
  EXPECT_EQ(r.left, 90);
  EXPECT_EQ(r.top, 160);

  // Moved to the second page, removed, put back: the same handle all along.
  KPD_Page second = direct::DocGetPage(pdf_, 1);
  ASSERT_TRUE(direct::PageRemoveAnnot(page_, 0));
  EXPECT_EQ(direct::AnnotGetPageIndex(line), -1);
  ASSERT_TRUE(direct::PageInsertAnnot(second, 0, dict));
  EXPECT_EQ(direct::AnnotGetPageIndex(line), 1);
  EXPECT_EQ(direct::AnnotFromDict(doc_, direct::PageGetAnnot(second, 0)), line);

  // Stale and foreign handles answer nothing.
  KA_Annot bogus = reinterpret_cast<KA_Annot>(&r);
  EXPECT_EQ(direct::AnnotGetDict(bogus), nullptr);
  EXPECT_EQ(direct::AnnotGetPageIndex(bogus), -1);
  Editor::Get().RemoveDocument(doc_);
  EXPECT_EQ(direct::AnnotGetDict(line), nullptr);
  EXPECT_EQ(direct::AnnotFromDict(doc_, dict), nullptr);
}

TEST_F(AnnotFunctionsTest, HandlerIsChosenByIntentThenSubtypeAndObjectsLiveUntilClose) {
  KS_AnnotHandlerCallbacks plain = HandlerRecord();
  KA_AnnotHandler lineHandler = direct::AnnotHandlerRegister("Line", &plain);
  RegisterHandler("Line/LineDimension");
  KA_Annot dimension = Add("<< /Subtype /Line /IT /LineDimension /Rect [0 0 10 10] /L [0 0 10 10] >>");
  KA_Annot arrow = Add("<< /Subtype /Line /IT /LineArrow /Rect [0 0 10 10] /L [0 0 10 10] >>");
  KA_Annot square = Add("<< /Subtype /Square /Rect [0 0 10 10] >>");
  EXPECT_EQ(Editor::Get().HandlerFor(dimension), g_handler);
  EXPECT_EQ(Editor::Get().HandlerFor(arrow), lineHandler);
  EXPECT_EQ(Editor::Get().HandlerFor(square), nullptr);
  EXPECT_EQ(direct::AnnotGetObject(square), nullptr);

  KA_AnnotObject obj = direct::AnnotGetObject(dimension);
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(direct::AnnotGetObject(dimension), obj);
  EXPECT_EQ(calls_.created, 1);
  EXPECT_EQ(direct::AnnotObjectGetAnnot(obj), dimension);
  KS_AnnotObjectCallbacks again = ObjectRecord(dimension);
  EXPECT_EQ(direct::AnnotObjectNew(g_handler, &again, dimension, 0), nullptr);  // one object per annotation
  ASSERT_NE(direct::AnnotGetObject(arrow), nullptr);

  Editor::Get().RemoveDocument(doc_);
  EXPECT_EQ(calls_.released, 2);
  EXPECT_EQ(direct::AnnotObjectGetAnnot(obj), nullptr);
}

TEST_F(AnnotFunctionsTest, SelectionKeepsTheFocusedAnnotationAndDropsRemovedOnes) {
  KA_Annot a = Add(kLine);
  KA_Annot b = Add("<< /Subtype /Square /Rect [300 300 400 400] >>");
  EXPECT_EQ(direct::AppDocSelectionCount(doc_), 0);
  ASSERT_TRUE(direct::AppDocSelect(doc_, a, 0));
  ASSERT_TRUE(direct::AppDocSelect(doc_, b, 1));
  EXPECT_EQ(direct::AppDocSelectionCount(doc_), 2);
  EXPECT_EQ(direct::AppDocGetSelected(doc_, 0), a);
  EXPECT_EQ(direct::AppDocGetFocusedAnnot(doc_), b);
  ASSERT_TRUE(direct::AppDocSetFocusedAnnot(doc_, a));
  EXPECT_EQ(direct::AppDocGetFocusedAnnot(doc_), a);
  EXPECT_EQ(direct::AppDocSelectionCount(doc_), 2);

  ASSERT_TRUE(direct::PageRemoveAnnot(page_, 0));  // a goes
  EXPECT_EQ(direct::AppDocSelectionCount(doc_), 1);
  EXPECT_FALSE(direct::AppDocIsSelected(doc_, a));
  EXPECT_EQ(direct::AppDocGetFocusedAnnot(doc_), nullptr);
  EXPECT_FALSE(direct::AppDocSelect(doc_, a, 1));  // not on a page

  ASSERT_TRUE(direct::AppDocSelect(doc_, b, 0));
  EXPECT_EQ(direct::AppDocGetFocusedAnnot(doc_), b);
  ASSERT_TRUE(direct::AppDocDeselectAll(doc_));
  EXPECT_EQ(direct::AppDocSelectionCount(doc_), 0);
  EXPECT_EQ(direct::AppDocGetFocusedAnnot(doc_), nullptr);
  EXPECT_FALSE(direct::AppDocSelect(nullptr, b, 0));
}

TEST_F(AnnotFunctionsTest, PageRectsBecomeTheBoundingBoxOfTheirDeviceCorners) {
  struct Case {
    float zoom;
    int rotation;
    KS_FloatRect page;
    KS_DeviceRect device;
  };
  const Case cases[] = {
      {1, 0, {100, 100, 200, 150}, {100, 642, 200, 692}},
      {2, 0, {100.2f, 100, 200.7f, 150}, {200, 1284, 401, 1384}},
      {1, 90, {100, 100, 200, 150}, {100, 100, 150, 200}},
      {1, 180, {0, 0, 12, 792}, {600, 0, 612, 792}},
  };
  for (const Case& c : cases) {
    KA_PageView view = Editor::Get().SetView(0, c.zoom, c.rotation);
    KS_DeviceRect d{};
    ASSERT_TRUE(direct::PageViewPageRectToDevice(view, &c.page, &d));
    EXPECT_EQ(d.left, c.device.left) << c.rotation << " " << c.zoom;
    EXPECT_EQ(d.top, c.device.top) << c.rotation << " " << c.zoom;
    EXPECT_EQ(d.right, c.device.right) << c.rotation << " " << c.zoom;
    EXPECT_EQ(d.bottom, c.device.bottom) << c.rotation << " " << c.zoom;
    KS_FloatRect back{};
    ASSERT_TRUE(direct::PageViewDeviceRectToPage(view, &d, &back));
    EXPECT_LE(back.left, back.right);
    EXPECT_LE(back.bottom, back.top);
    if (c.zoom == 1) EXPECT_EQ(back.left, c.page.left) << c.rotation;
  }
  EXPECT_FALSE(direct::PageViewPageRectToDevice(nullptr, &cases[0].page, nullptr));
}

TEST_F(AnnotFunctionsTest, DeviceRecordsShapesWithTheSelectedPenAndBrush) {
  KA_Device device = NewDevice();
  KA_Pen red = direct::PenNew(0x0000FF, 2, 0);
  KA_Brush fill = direct::BrushNew(0x00FF00, 0);
  KA_Pen stock = direct::DeviceSelectPen(device, red);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(direct::DeviceSelectBrush(device, fill), &device->stockBrush);
  KS_DeviceRect r{30, 40, 10, 20};  // corners in any order
  EXPECT_TRUE(direct::DeviceRectangle(device, &r));
  EXPECT_EQ(direct::DeviceSelectPen(device, stock), red);
  EXPECT_TRUE(direct::DeviceLine(device, {1, 2}, {3, 4}));
  const KS_DevicePoint pts[] = {{0, 0}, {5, 0}, {5, 5}};
  EXPECT_TRUE(direct::DevicePolyline(device, pts, 3, 1));
  EXPECT_FALSE(direct::DevicePolyline(device, pts, 1, 0));
  EXPECT_EQ(direct::DeviceSelectPen(device, reinterpret_cast<KA_Pen>(&r)), nullptr);  // not a pen
  direct::PenRelease(red);
  direct::BrushRelease(fill);

  ASSERT_EQ(device->items.size(), 3u);
  EXPECT_EQ(TraceLine(device->items[0]), "draw: rect 10 20 30 40 pen #FF0000 2 fill #00FF00");
  EXPECT_FALSE(device->items[0].brush.hollow);
  EXPECT_EQ(device->items[0].brush.color, 0x00FF00u);
  EXPECT_EQ(TraceLine(device->items[1]), "draw: line 1 2 3 4 pen #000000 1");
  EXPECT_EQ(TraceLine(device->items[2]), "draw: path 0 0 5 0 5 5 closed pen #000000 1 fill #00FF00");
  ReleaseDevice(device);
  EXPECT_FALSE(direct::DeviceLine(device, {1, 2}, {3, 4}));
}

struct Item {
  std::vector<std::string>* log;
  std::string name;
};

KS_UndoRecord Record(std::vector<std::string>* log, const std::string& name) {
  KS_UndoRecord r{};
  r.size = sizeof r;
  r.clientData = new Item{log, name};
  r.Undo = [](void* cd) { static_cast<Item*>(cd)->log->push_back("undo " + static_cast<Item*>(cd)->name); };
  r.Redo = [](void* cd) { static_cast<Item*>(cd)->log->push_back("redo " + static_cast<Item*>(cd)->name); };
  r.Release = [](void* cd) {
    static_cast<Item*>(cd)->log->push_back("release " + static_cast<Item*>(cd)->name);
    delete static_cast<Item*>(cd);
  };
  return r;
}

TEST_F(AnnotFunctionsTest, UndoGroupsMakeOneStepUndoneBackwardsAndRedoneForwards) {
  std::vector<std::string> log, trace;
  Editor::Get().SetTrace([&](const std::string& line) { trace.push_back(line); });
  auto add = [&](const char16_t* caption, const std::string& name) {
    KS_UndoRecord r = Record(&log, name);
    return direct::UndoAddItem(caption, doc_, 0, &r);
  };
  ASSERT_TRUE(direct::UndoBeginGroup(doc_, u"Move"));
  ASSERT_TRUE(direct::UndoBeginGroup(doc_, u"inner"));  // nested: still one step
  EXPECT_TRUE(add(u"a", "a"));
  ASSERT_TRUE(direct::UndoEndGroup(doc_));
  EXPECT_TRUE(add(u"b", "b"));
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 0);
  ASSERT_TRUE(direct::UndoEndGroup(doc_));
  EXPECT_FALSE(direct::UndoEndGroup(doc_));
  ASSERT_TRUE(direct::UndoBeginGroup(doc_, u"empty"));
  ASSERT_TRUE(direct::UndoEndGroup(doc_));
  ASSERT_TRUE(direct::UndoBeginGroup(doc_, nullptr));  // no caption: the first item's
  EXPECT_TRUE(add(u"Rotate", "c"));
  ASSERT_TRUE(direct::UndoEndGroup(doc_));
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 2);

  ASSERT_TRUE(Editor::Get().Undo(doc_));
  ASSERT_TRUE(Editor::Get().Undo(doc_));
  ASSERT_TRUE(Editor::Get().Redo(doc_));
  EXPECT_TRUE(add(u"Delete", "d"));  // drops the redo branch (c)
  EXPECT_EQ(direct::AppDocRedoCount(doc_), 0);
  Editor::Get().RemoveDocument(doc_);
  EXPECT_EQ(log, (std::vector<std::string>{"undo c", "undo b", "undo a", "redo a", "redo b", "release c",
                                           "release d", "release b", "release a"}));
  EXPECT_EQ(trace, (std::vector<std::string>{"undo: push \"Move\"", "undo: push \"Rotate\"", "undo: undo \"Rotate\"",
                                             "undo: undo \"Move\"", "undo: redo \"Move\"", "undo: push \"Delete\""}));
}

TEST_F(AnnotFunctionsTest, AnOpenGroupIsReleasedWithItsDocument) {
  std::vector<std::string> log;
  ASSERT_TRUE(direct::UndoBeginGroup(doc_, u"g"));
  KS_UndoRecord r = Record(&log, "x");
  ASSERT_TRUE(direct::UndoAddItem(u"x", doc_, 0, &r));
  Editor::Get().RemoveDocument(doc_);
  EXPECT_EQ(log, (std::vector<std::string>{"release x"}));
  EXPECT_FALSE(direct::UndoBeginGroup(doc_, u"g"));
}

// ---- the default service -------------------------------------------------------------

// A move by the displacement between two device rectangles, or by a page
// displacement given instead; an ink without an object moves too.
TEST_F(AnnotFunctionsTest, DefaultMoveTranslatesEveryGeometryKeyAndRegenerates) {
  RegisterHandler("Line");
  KA_Annot line = Add(
      "<< /Subtype /Line /Rect [90 90 210 160] /L [100 100 200 150] /CL [1 2 3 4] /QuadPoints [0 0 1 1] >>");
  KS_AnnotCallArgs a = Args(line);
  a.rect1 = {90, 632, 210, 702};
  a.rect2 = {140, 622, 260, 692};  // 50 right, 10 up
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE, &a), 1);
  EXPECT_EQ(Key(line, "/Rect"), "[ 140 100 260 170 ]");
  EXPECT_EQ(Key(line, "/L"), "[ 150 110 250 160 ]");
  EXPECT_EQ(Key(line, "/CL"), "[ 51 12 53 14 ]");
  EXPECT_EQ(Key(line, "/QuadPoints"), "[ 50 10 51 11 ]");
  EXPECT_EQ(calls_.regenerated, 1);
  // The page displacement, of no whole device pixel, is taken over the
  // rectangles; one that is no number moves nothing.
  a.values[1] = 1;
  a.pagePoint = {-2.75f, 0.5f};
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE, &a), 1);
  EXPECT_EQ(Key(line, "/L"), "[ 147.25 110.5 247.25 160.5 ]");
  a.pagePoint = {NAN, 1};
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE, &a), 0);
  EXPECT_EQ(Key(line, "/L"), "[ 147.25 110.5 247.25 160.5 ]");

  KA_Annot ink = Add("<< /Subtype /Ink /Rect [0 0 20 20] /InkList [[1 1 2 2] [3 3]] >>");
  KS_AnnotCallArgs b = Args(ink);  // the editor alone: no object
  EXPECT_EQ(b.object, nullptr);
  EXPECT_EQ(edit::Move(ink, view_, {0, 772, 20, 792}, {10, 772, 30, 792}), true);
  EXPECT_EQ(Key(ink, "/InkList"), "[ [ 11 1 12 2 ] [ 13 3 ] ]");
  EXPECT_EQ(Key(ink, "/Rect"), "[ 10 0 30 20 ]");
}

TEST_F(AnnotFunctionsTest, DefaultResizeMapsTheOldRectangleOntoTheNew) {
  RegisterHandler("Polygon");
  KA_Annot poly = Add("<< /Subtype /Polygon /Rect [100 100 200 200] /Vertices [100 100 200 100 150 200] >>");
  KS_AnnotCallArgs a = Args(poly);
  a.rect1 = {100, 592, 200, 692};
  a.rect2 = {100, 492, 300, 692};  // twice as wide and tall, bottom-left kept
  a.values[0] = 5;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_RESIZE, &a), 1);
  EXPECT_EQ(Key(poly, "/Rect"), "[ 100 100 300 300 ]");
  EXPECT_EQ(Key(poly, "/Vertices"), "[ 100 100 300 100 200 300 ]");
  EXPECT_EQ(calls_.regenerated, 1);
}

TEST_F(AnnotFunctionsTest, DefaultMovePointNeedsARebuildAndAKnownVertex) {
  RegisterHandler("Line");
  KA_Annot line = Add(kLine);
  KS_AnnotCallArgs a = Args(line);
  a.point = {300, 492};  // page (300, 300)
  a.values[0] = 1;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE_POINT, &a), 1);
  EXPECT_EQ(Key(line, "/L"), "[ 100 100 300 300 ]");
  a.values[0] = 2;  // a line has two ends
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE_POINT, &a), 0);
  // A page point given takes the place of the device point.
  a.values[0] = 0;
  a.values[1] = 1;
  a.pagePoint = {99.75f, 100.5f};
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE_POINT, &a), 1);
  EXPECT_EQ(Key(line, "/L"), "[ 99.75 100.5 300 300 ]");
  a.values[1] = 0;

  calls_.regenerate = false;
  KA_Annot other = Add(kLine);
  KS_AnnotCallArgs b = Args(other);
  b.point = {300, 492};
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE_POINT, &b), 0);
  EXPECT_EQ(Key(other, "/L"), "[ 100 100 200 150 ]");
}

TEST_F(AnnotFunctionsTest, DefaultRotateTurnsPointsAndAddsToTheStoredAngle) {
  RegisterHandler("Line");
  KA_Annot line = Add("<< /Subtype /Line /Rect [100 100 200 200] /L [100 150 200 150] /Rotation 170 >>");
  KS_AnnotCallArgs a = Args(line);
  a.values[0] = 90;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_ROTATE, &a), 1);
  EXPECT_EQ(Key(line, "/L"), "[ 150 100 150 200 ]");
  EXPECT_EQ(Key(line, "/Rotation"), "-100");
  a.values[0] = -90;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_ROTATE, &a), 1);
  EXPECT_EQ(Key(line, "/L"), "[ 100 150 200 150 ]");
  EXPECT_EQ(Key(line, "/Rotation"), "170");

  KA_Annot stamp = Add("<< /Subtype /Stamp /Rect [0 0 10 10] >>");
  EXPECT_TRUE(edit::Rotate(stamp, -90));
  EXPECT_EQ(Key(stamp, "/Rotate"), "-90");
  EXPECT_FALSE(direct::DictHasKey(direct::AnnotGetDict(stamp), "/Rotation"));
}

TEST_F(AnnotFunctionsTest, DefaultHandleAtPrefersVerticesThenFrameThenBody) {
  RegisterHandler("Line");
  KA_Annot line = Add(kLine);  // ends at device (100, 692) and (200, 642)
  KS_AnnotCallArgs a = Args(line);
  a.rect1 = {90, 632, 210, 702};
  struct Case {
    KS_DevicePoint pt;
    intptr_t handle;
  };
  const Case cases[] = {
      {{104, 688}, KS_HANDLE_VERTEX + 0}, {{200, 642}, KS_HANDLE_VERTEX + 1}, {{90, 632}, 1},
      {{150, 628}, 2},                    {{214, 702}, 5},                    {{86, 667}, 8},
      {{150, 667}, KS_HANDLE_BODY},       {{250, 667}, KS_HANDLE_NONE},       {{96, 640}, KS_HANDLE_BODY},
  };
  for (const Case& c : cases) {
    a.point = c.pt;
    EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_HANDLE_AT, &a), c.handle) << c.pt.x << "," << c.pt.y;
  }
  // A thin box (a horizontal line) has no frame handles: its middle moves it.
  a.rect1 = {90, 660, 210, 672};
  for (KS_DevicePoint pt : {KS_DevicePoint{150, 666}, KS_DevicePoint{150, 660}, KS_DevicePoint{92, 672}}) {
    a.point = pt;
    EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_HANDLE_AT, &a), KS_HANDLE_BODY) << pt.x << "," << pt.y;
  }
}

TEST_F(AnnotFunctionsTest, DefaultsDoNothingOnReadOnlyRemovedOrMissingInput) {
  RegisterHandler("Line");
  KA_Annot line = Add(kLine);
  KS_AnnotCallArgs a = Args(line);
  a.rect1 = {90, 632, 210, 702};
  a.rect2 = {140, 632, 260, 702};
  a.values[0] = 90;
  const int edits[] = {KS_AHD_MOVE, KS_AHD_RESIZE, KS_AHD_ROTATE, KS_AHD_MOVE_POINT};
  doc_->readOnly = true;
  for (int index : edits) EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, index, &a), 0) << index;
  doc_->readOnly = false;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, 99, &a), 0);
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE, nullptr), 0);
  KS_AnnotCallArgs short_ = a;
  short_.size = 8;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_MOVE, &short_), 0);
  ASSERT_TRUE(direct::PageRemoveAnnot(page_, 0));
  for (int index : edits) EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, index, &a), 0) << index;
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, KS_AHD_HANDLE_AT, &a), KS_HANDLE_NONE);
  EXPECT_EQ(Key(line, "/L"), "[ 100 100 200 150 ]");
  EXPECT_EQ(calls_.regenerated, 0);

  // Selectable with the editor's selection tools only.
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, 8, &a), 1);
  KS_ToolCallbacks cb{};
  cb.size = sizeof cb;
  KA_Tool other = direct::ToolNew("DISTANCE", &cb);
  direct::AppRegisterTool(other);
  direct::AppSetCurrentTool(other, 0);
  EXPECT_EQ(direct::AnnotHandlerDefault(g_handler, 8, &a), 0);
}

}  // namespace
}  // namespace kshost
