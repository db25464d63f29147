#include "host/editor_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/editor.h"
#include "host/host_functions.h"
#include "tessel/dialog.h"

namespace kshost {
namespace {

// The lines of the kinds the sessions' traces do not show already.
TEST(EditorEvents, TraceTextOfCaptionsTitlesAndNotes) {
  const struct {
    EditorEvent event;
    const char* line;
  } cases[] = {
      {UndoEvent{UndoEvent::Action::Undo, "Add \"Distance\""}, "undo: undo \"Add \"Distance\"\""},
      {UndoEvent{UndoEvent::Action::Redo, ""}, "undo: redo \"\""},
      {MessageEvent{"", "Saved."}, "message: Saved."},
      {NoteEvent{"snap: end 72 72"}, "snap: end 72 72"},
      {NoteEvent{""}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TraceText(c.event), c.line);
}

class EditorEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Editor::Get().Reset();
    pdf_ = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    direct::DocAddPage(pdf_, &letter);
    doc_ = Editor::Get().AddDocument(pdf_, false);
  }
  void TearDown() override {
    Editor::Get().SetEventSink(nullptr);
    Editor::Get().Reset();
    direct::DocClose(pdf_);
  }
  // One undo step that does nothing.
  void Push(const std::u16string& caption) {
    KS_UndoRecord r{};
    r.size = sizeof r;
    ASSERT_TRUE(Editor::Get().AddUndo(doc_, caption, r));
  }

  KPD_Document pdf_ = nullptr;
  KA_Document doc_ = nullptr;
};

// What the editor does arrives as records with their fields, and the trace
// shows the same happenings as lines.
TEST_F(EditorEventsTest, EditorSendsOneRecordPerHappening) {
  std::vector<EditorEvent> events;
  Editor::Get().SetEventSink([&](const EditorEvent& e) { events.push_back(e); });
  Push(u"Add Distance");
  Editor::Get().Undo(doc_);
  Editor::Get().Redo(doc_);
  direct::MessageBox(u"No scale is set.", u"Measure", 0);
  Editor::Get().ShowMessageTip(u"Snapped");
  Tessel::Dialog::TraceValue(u"Edit_Length", u"3 in");
  Editor::Get().SetCursor("cross", 32);
  Editor::Get().FirePageChanged(doc_, 0);

  ASSERT_EQ(events.size(), 8u);
  auto undo = [&](size_t i) { return std::get_if<UndoEvent>(&events[i]); };
  ASSERT_TRUE(undo(0) && undo(1) && undo(2));
  EXPECT_EQ(undo(0)->action, UndoEvent::Action::Push);
  EXPECT_EQ(undo(1)->action, UndoEvent::Action::Undo);
  EXPECT_EQ(undo(2)->action, UndoEvent::Action::Redo);
  EXPECT_EQ(undo(2)->caption, "Add Distance");
  const auto* message = std::get_if<MessageEvent>(&events[3]);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->title, "Measure");
  EXPECT_EQ(message->text, "No scale is set.");
  ASSERT_TRUE(std::holds_alternative<TipEvent>(events[4]));
  EXPECT_EQ(std::get<TipEvent>(events[4]).text, "Snapped");
  const auto* panel = std::get_if<PanelValueEvent>(&events[5]);
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->element, "Edit_Length");
  EXPECT_EQ(panel->value, "3 in");
  ASSERT_TRUE(std::holds_alternative<CursorEvent>(events[6]));
  EXPECT_EQ(std::get<CursorEvent>(events[6]).size, 32);
  ASSERT_TRUE(std::holds_alternative<PageChangedEvent>(events[7]));

  // The trace takes the sink's place and prints the same happenings.
  std::vector<std::string> lines;
  Editor::Get().SetTrace([&](const std::string& line) { lines.push_back(line); });
  Editor::Get().Undo(doc_);
  Tessel::Dialog::TraceValue(u"Edit_Length", u"4 in");
  EXPECT_EQ(lines, (std::vector<std::string>{"undo: undo \"Add Distance\"", "panel Edit_Length = 4 in"}));
  EXPECT_EQ(events.size(), 8u);

  // Without a receiver nothing is sent, panel values included.
  Editor::Get().SetTrace(nullptr);
  Editor::Get().Redo(doc_);
  Tessel::Dialog::TraceValue(u"Edit_Length", u"5 in");
  EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
}  // namespace kshost
