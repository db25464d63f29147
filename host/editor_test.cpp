#include "host/editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_functions.h"
#include "host/progress.h"
#include "host/session.h"

namespace kshost {
namespace {

// A document of two pages: 200 x 100 with a crop box offset from the origin,
// and a plain letter page.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Editor::Get().Reset();
    pdf_ = direct::DocNew();
    KS_FloatRect media{0, 0, 300, 200};
    KPD_Page p = direct::DocAddPage(pdf_, &media);
    const char crop[] = "[50 40 250 140]";
    KPD_Object box = direct::ObjectParse(crop, sizeof crop - 1);
    direct::DictSet(p, "/CropBox", box);
    direct::ObjectRelease(box);
    KS_FloatRect letter{0, 0, 612, 792};
    direct::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
  }
  void TearDown() override {
    Editor::Get().Reset();
    direct::DocClose(pdf_);
  }

  KPD_Document pdf_ = nullptr;
  KA_Document doc_ = nullptr;
};

TEST_F(EditorTest, PageViewPutsTheRightCornerAtTheDeviceOrigin) {
  struct Case {
    int rotation;
    KS_FloatPoint atOrigin;   // page point shown at device (0, 0)
    KS_FloatPoint farCorner;  // page point shown at the opposite device corner
    KS_DevicePoint farDevice;
  };
  const Case cases[] = {
      {0, {50, 140}, {250, 40}, {400, 200}},
      {90, {50, 40}, {250, 140}, {200, 400}},
      {180, {250, 40}, {50, 140}, {400, 200}},
      {270, {250, 140}, {50, 40}, {200, 400}},
  };
  for (const Case& c : cases) {
    KA_PageView view = Editor::Get().SetView(0, 2.0f, c.rotation);
    ASSERT_NE(view, nullptr);
    KS_DevicePoint d{};
    ASSERT_TRUE(direct::PageViewPageToDevice(view, c.atOrigin, &d));
    EXPECT_EQ(d.x, 0) << c.rotation;
    EXPECT_EQ(d.y, 0) << c.rotation;
    ASSERT_TRUE(direct::PageViewPageToDevice(view, c.farCorner, &d));
    EXPECT_EQ(d.x, c.farDevice.x) << c.rotation;
    EXPECT_EQ(d.y, c.farDevice.y) << c.rotation;
    KS_FloatPoint back{};
    ASSERT_TRUE(direct::PageViewDeviceToPage(view, {123, 77}, &back));
    ASSERT_TRUE(direct::PageViewPageToDevice(view, back, &d));
    EXPECT_EQ(d.x, 123);
    EXPECT_EQ(d.y, 77);
  }
  EXPECT_EQ(Editor::Get().SetView(2, 1, 0), nullptr);
}

struct Recorder {
  std::vector<std::string> events;
  bool busy = false;
};

KS_ToolCallbacks RecordingTool(Recorder* r) {
  KS_ToolCallbacks cb{};
  cb.size = sizeof cb;
  cb.clientData = r;
  cb.LButtonDown = [](void* cd, KA_PageView v, uint32_t flags, KS_DevicePoint pt) -> int32_t {
    auto* r = static_cast<Recorder*>(cd);
    r->events.push_back("down p" + std::to_string(direct::PageViewGetPageIndex(v)) + " " + std::to_string(pt.x) + "," +
                        std::to_string(pt.y) + (flags & KS_FLAG_SHIFT ? " shift" : ""));
    r->busy = true;
    return 1;
  };
  cb.LButtonUp = [](void* cd, KA_PageView v, uint32_t, KS_DevicePoint) -> int32_t {
    auto* r = static_cast<Recorder*>(cd);
    r->events.push_back("up p" + std::to_string(direct::PageViewGetPageIndex(v)));
    r->busy = false;
    return 1;
  };
  cb.IsBusy = [](void* cd) -> int32_t { return static_cast<Recorder*>(cd)->busy; };
  cb.Activate = [](void* cd, int32_t) { static_cast<Recorder*>(cd)->events.push_back("activate"); };
  cb.Deactivate = [](void* cd) { static_cast<Recorder*>(cd)->events.push_back("deactivate"); };
  cb.KeyDown = [](void* cd, int32_t key, uint32_t) -> int32_t {
    static_cast<Recorder*>(cd)->events.push_back("key " + std::to_string(key));
    return 1;
  };
  return cb;
}

// While the tool is busy the gesture stays on the page it started on.
TEST_F(EditorTest, BusyToolKeepsItsEventsOnTheStartingView) {
  Recorder rec;
  KS_ToolCallbacks cb = RecordingTool(&rec);
  KA_Tool tool = direct::ToolNew("DISTANCE", &cb);
  ASSERT_TRUE(direct::AppRegisterTool(tool));
  ASSERT_TRUE(direct::AppSetCurrentTool(tool, 0));
  std::string error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, 1, {10, 782}, KS_FLAG_SHIFT, &error)) << error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftUp, 0, {60, 130}, 0, &error)) << error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, 0, {60, 130}, 0, &error)) << error;
  EXPECT_TRUE(Editor::Get().Key(27, 0, &error));
  // Page 5 does not exist, but the busy gesture still owns the events.
  EXPECT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, 5, {0, 0}, 0, &error)) << error;
  direct::AppSetCurrentTool(direct::AppGetToolByName("Hand"), 0);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"activate", "down p1 10,10 shift", "up p1", "down p0 10,10",
                                                  "key 27", "down p0 -50,140", "deactivate"}));
  direct::AppUnregisterTool(tool);
  direct::ToolRelease(tool);
}

TEST_F(EditorTest, ToolNamesAreRegisteredOnce) {
  Recorder rec;
  KS_ToolCallbacks cb = RecordingTool(&rec);
  KA_Tool a = direct::ToolNew("ERASER", &cb);
  KA_Tool b = direct::ToolNew("ERASER", &cb);
  EXPECT_TRUE(direct::AppRegisterTool(a));
  EXPECT_FALSE(direct::AppRegisterTool(a));
  EXPECT_FALSE(direct::AppRegisterTool(b));
  EXPECT_EQ(direct::AppGetToolByName("ERASER"), a);
  EXPECT_NE(direct::AppGetToolByName("Hand"), nullptr);
  EXPECT_NE(direct::AppGetToolByName("Annot"), nullptr);
  direct::ToolRelease(a);
  direct::ToolRelease(b);
  EXPECT_EQ(direct::AppGetToolByName("ERASER"), nullptr);
  EXPECT_EQ(direct::ToolNew("", &cb), nullptr);
}

struct Item {
  std::vector<std::string>* log;
  std::string name;
};

KS_UndoRecord UndoRecordFor(Item* item) {
  KS_UndoRecord r{};
  r.size = sizeof r;
  r.clientData = item;
  r.Undo = [](void* cd) { static_cast<Item*>(cd)->log->push_back("undo " + static_cast<Item*>(cd)->name); };
  r.Release = [](void* cd) {
    auto* item = static_cast<Item*>(cd);
    item->log->push_back("release " + item->name);
    delete item;
  };
  return r;
}

// The host owns every item it was handed: a refused item is released at
// once, closing the document releases the steps on both sides.
TEST_F(EditorTest, UndoStackOwnsItsItems) {
  std::vector<std::string> log;
  auto add = [&](KA_Document doc, const char* name) {
    KS_UndoRecord r = UndoRecordFor(new Item{&log, name});
    return direct::UndoAddItem(u"caption", doc, 0, &r);
  };
  EXPECT_TRUE(add(doc_, "a"));
  EXPECT_TRUE(add(doc_, "b"));
  EXPECT_TRUE(Editor::Get().Undo(doc_));
  EXPECT_FALSE(add(nullptr, "lost"));
  EXPECT_EQ(direct::AppDocUndoCount(doc_), 1);
  Editor::Get().RemoveDocument(doc_);
  EXPECT_EQ(log, (std::vector<std::string>{"undo b", "release lost", "release a", "release b"}));
}

TEST_F(EditorTest, MessageBoxesTakeQueuedAnswersThenTheFirstButton) {
  Editor::Get().QueueMessageAnswer(7);
  EXPECT_EQ(direct::MessageBox(u"Replace the scale?", u"Measure", 4), 7);
  EXPECT_EQ(direct::MessageBox(u"Done", nullptr, 0), 1);
  EXPECT_EQ(Editor::Get().Messages(), (std::vector<std::string>{"Measure: Replace the scale?", "Done"}));
}

// What one session queued or left open does not reach the next session in
// the same process: a cancel meant for an indicator that never came must
// not stop the next one's work.
TEST(SessionEnd, ForgetsQueuedAnswersAndTheOpenIndicator) {
  {
    Session first;
    Editor::Get().QueueMessageAnswer(7);
    Progress::Get().QueueCancel(5);
    Progress::Get().Begin(u"Export", 10);
  }
  EXPECT_EQ(Progress::Get().Current(), nullptr);
  Session second;
  EXPECT_EQ(direct::MessageBox(u"Replace the scale?", u"Measure", 4), 1);
  KA_Progress next = Progress::Get().Begin(u"Export", 10);
  EXPECT_TRUE(Progress::Get().SetValue(next, 8));
  Progress::Get().End(next);
}

}  // namespace
}  // namespace kshost
