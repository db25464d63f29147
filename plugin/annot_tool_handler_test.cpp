#include "plugin/annot_tool_handler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/test_temp_dir.h"
#include "plugin/annot_event_providers.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

using kshost::Editor;
using kshost::MouseEvent;

// A tool that records the operations the host reaches through its record.
class RecordingTool : public CAnnot_ToolHandler {
 public:
  std::vector<std::string> calls;
  bool busy = false;

  std::string GetName() const override { return "RecordingTool"; }
  void OnActivate(bool persistent) override { calls.push_back(persistent ? "activate+" : "activate"); }
  void OnDeactivate() override { calls.push_back("deactivate"); }
  bool OnKeyDown(int32_t key, uint32_t) override {
    calls.push_back("key " + std::to_string(key));
    return true;
  }
  bool IsBusy() override { return busy; }
  bool GetAnchor(KS_DevicePoint& out) override {
    out = {7, 9};
    return busy;
  }
  bool OnLButtonDown(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override {
    return Record("ldown", flags, pt);
  }
  bool OnLButtonUp(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override { return Record("lup", flags, pt); }
  bool OnLButtonDblClk(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override {
    return Record("ldbl", flags, pt);
  }
  bool OnMouseMove(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override { return Record("move", flags, pt); }
  bool OnRButtonDown(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override {
    return Record("rdown", flags, pt);
  }
  bool OnRButtonUp(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override { return Record("rup", flags, pt); }
  bool OnRButtonDblClk(KA_PageView, uint32_t flags, const KS_DevicePoint& pt) override {
    return Record("rdbl", flags, pt);
  }
  bool OnMouseWheel(KA_PageView, uint32_t flags, int16_t delta, const KS_DevicePoint& pt) override {
    return Record("wheel " + std::to_string(delta), flags, pt);
  }
  void OnPaint(KA_PageView, KA_Device, intptr_t, uint32_t) override { calls.push_back("paint"); }

 private:
  bool Record(const std::string& what, uint32_t flags, const KS_DevicePoint& pt) {
    calls.push_back(what + " " + std::to_string(pt.x) + "," + std::to_string(pt.y) +
                    ((flags & KS_FLAG_SHIFT) ? " shift" : "") + ((flags & KS_FLAG_CTRL) ? " ctrl" : ""));
    return true;
  }
};

class ToolHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::Bind(kshost::CoreHFT(), nullptr);
    Editor::Get().Reset();
  }
  void TearDown() override {
    Editor::Get().Reset();
    for (KPD_Document d : opened_) kshost::direct::DocClose(d);
  }

  // A one-page document made by qpdf's command line with the given extra
  // arguments (encryption), opened by the host.
  KPD_Document OpenMade(const std::string& qpdfArgs) {
    const std::string plain = dir_ / "plain.pdf", made = dir_ / "made.pdf";
    KPD_Document doc = kshost::direct::DocNew();
    KS_FloatRect box{0, 0, 200, 200};
    kshost::direct::DocAddPage(doc, &box);
    EXPECT_EQ(kshost::direct::DocSave(doc, plain.c_str(), nullptr), 1);
    kshost::direct::DocClose(doc);
    const std::string cmd = "qpdf " + qpdfArgs + " " + plain + " " + made;
    const bool encrypted = !qpdfArgs.empty() && std::system(cmd.c_str()) == 0;
    opened_.push_back(kshost::direct::DocOpenFile((encrypted ? made : plain).c_str(), nullptr));
    return opened_.back();
  }

  kshost::testing::TempDir dir_;
  std::vector<KPD_Document> opened_;
};

TEST_F(ToolHandlerTest, RegisteringTwiceMakesOneHostToolWithItsCategory) {
  auto tool = std::make_unique<RecordingTool>();
  KA_Tool first = tool->Register();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(tool->Register(), first);
  int named = 0;
  for (KA_Tool t : Editor::Get().RegisteredTools()) named += t->name == "RecordingTool";
  EXPECT_EQ(named, 1);
  EXPECT_EQ(first->category, u"Annotation");
  EXPECT_EQ(first->group, u"Annotation");
  tool.reset();
  EXPECT_EQ(Editor::Get().FindTool("RecordingTool"), nullptr);
}

// Each record position reaches its own operation with the event's values.
TEST_F(ToolHandlerTest, HostEventsReachTheirOperations) {
  KPD_Document pdf = OpenMade("");
  ASSERT_NE(pdf, nullptr);
  Editor::Get().AddDocument(pdf, false);
  RecordingTool tool;
  ASSERT_TRUE(Editor::Get().SetCurrentTool(tool.Register(), true));
  std::string error;
  KA_PageView view = Editor::Get().SetView(0, 1, 0);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftDown, 0, {10, 190}, KS_FLAG_SHIFT, &error)) << error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::Move, 0, {20, 180}, 0, &error)) << error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::LeftUp, 0, {20, 180}, KS_FLAG_CTRL, &error)) << error;
  ASSERT_TRUE(Editor::Get().Mouse(MouseEvent::RightDouble, 0, {0, 0}, 0, &error)) << error;
  ASSERT_TRUE(Editor::Get().Wheel(0, {0, 200}, -120, 0, &error)) << error;
  ASSERT_TRUE(Editor::Get().Key(27, 0, &error)) << error;
  EXPECT_EQ(tool.calls, (std::vector<std::string>{"activate+", "ldown 10,10 shift", "move 20,20", "lup 20,20 ctrl",
                                                  "rdbl 0,200", "wheel -120 0,0", "key 27"}));

  // The anchor answer passes back through the record only while busy.
  KS_DevicePoint anchor{0, 0};
  const KS_ToolCallbacks& record = tool.HostTool()->callbacks;
  EXPECT_EQ(record.GetAnchor(record.clientData, &anchor), 0);
  tool.busy = true;
  EXPECT_EQ(record.GetAnchor(record.clientData, &anchor), 1);
  EXPECT_EQ(anchor.x, 7);
  EXPECT_EQ(anchor.y, 9);
  EXPECT_EQ(record.Notify(record.clientData), 1);
  EXPECT_EQ(record.IsUsable(record.clientData), 0);  // the base answers false
  EXPECT_EQ(record.Query24(record.clientData, 0, 0), 1);
  EXPECT_EQ(record.unused19, nullptr);
}

TEST_F(ToolHandlerTest, UsableNowNeedsAnEditableDocumentThatAllowsAnnotations) {
  EXPECT_FALSE(CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits());  // no document

  KA_Document open = Editor::Get().AddDocument(OpenMade(""), false);
  EXPECT_TRUE(CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits());
  Editor::Get().RemoveDocument(open);

  Editor::Get().AddDocument(OpenMade(""), true);  // opened read-only
  EXPECT_FALSE(CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits());

  KPD_Document locked = OpenMade("--encrypt '' owner 256 --annotate=n --");
  ASSERT_NE(locked, nullptr);
  ASSERT_EQ(kshost::direct::DocIsEncrypted(locked), 1) << "qpdf could not encrypt the test file";
  Editor::Get().AddDocument(locked, false);
  EXPECT_EQ(kshost::direct::DocGetPermissions(locked) & KPD_PERM_MODIFY_ANNOTS, 0u);
  EXPECT_FALSE(CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits());
}

// The host tells a registered receiver of documents opening, saving and
// closing, and stops once it unregisters.
TEST_F(ToolHandlerTest, DocumentEventsReachTheReceiver) {
  struct Receiver : CAnnot_DoceventProvider {
    std::vector<std::string> events;
    void OnDocOpened(KA_Document) override { events.push_back("opened"); }
    void OnDocWillClose(KA_Document) override { events.push_back("will close"); }
    void OnDocClosed(KA_Document) override { events.push_back("closed"); }
  } receiver;
  const KS_DocEventCallbacks record = MakeDocEventRecord(&receiver);
  ASSERT_EQ(Host::AppDocRegisterEvents(&record), 1);
  EXPECT_EQ(Host::AppDocRegisterEvents(&record), 0);  // once
  KA_Document doc = Editor::Get().AddDocument(OpenMade(""), false);
  Editor::Get().RemoveDocument(doc);
  ASSERT_EQ(Host::AppDocUnregisterEvents(&record), 1);
  Editor::Get().AddDocument(OpenMade(""), false);
  EXPECT_EQ(receiver.events, (std::vector<std::string>{"opened", "will close", "closed"}));
  auto canClose = reinterpret_cast<KS_DocQueryProc>(record.positions[KS_DOCEVENT_CAN_CLOSE - 2]);
  EXPECT_EQ(canClose(record.clientData, nullptr), 1);
}

}  // namespace
}  // namespace AnnotationPlugin
