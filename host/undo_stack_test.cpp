#include "host/undo_stack.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kshost {
namespace {

// Items that write what happens to them into one log; `onUndo` runs inside
// the item's undo.
struct Log {
  std::vector<std::string> lines;
  std::vector<std::string> events;
};

struct Item {
  Log* log;
  std::string name;
  std::function<void()> onUndo;
};

KS_UndoRecord Record(Log& log, std::string name, bool undo = true, bool redo = true) {
  KS_UndoRecord r{};
  r.size = sizeof r;
  r.clientData = new Item{&log, std::move(name), nullptr};
  if (undo)
    r.Undo = [](void* cd) {
      auto* item = static_cast<Item*>(cd);
      item->log->lines.push_back("undo " + item->name);
      if (item->onUndo) item->onUndo();
    };
  if (redo)
    r.Redo = [](void* cd) {
      auto* item = static_cast<Item*>(cd);
      item->log->lines.push_back("redo " + item->name);
    };
  r.Release = [](void* cd) {
    auto* item = static_cast<Item*>(cd);
    item->log->lines.push_back("release " + item->name);
    delete item;
  };
  return r;
}

void Listen(UndoStack& stack, Log& log) {
  stack.SetListener([&log](UndoEvent const& e) { log.events.push_back(TraceText(e)); });
}

using Lines = std::vector<std::string>;

// Groups nest: only the outermost one's end makes the step, under its
// caption, and the step undoes its items newest first, redoes them oldest
// first. A group begun without a caption takes its first item's; an empty
// group adds nothing and says nothing.
TEST(UndoStack, NestedGroupsBecomeOneStepUnderTheOutermostCaption) {
  Log log;
  {
    UndoStack stack;
    Listen(stack, log);
    stack.BeginGroup(u"");
    EXPECT_TRUE(stack.EndGroup());
    EXPECT_EQ(stack.UndoCount(), 0u);
    stack.BeginGroup(u"Move");
    EXPECT_TRUE(stack.Add(u"a", Record(log, "a")));
    stack.BeginGroup(u"Inner");
    EXPECT_TRUE(stack.Add(u"b", Record(log, "b")));
    EXPECT_TRUE(stack.EndGroup());
    EXPECT_TRUE(stack.InGroup());
    EXPECT_EQ(stack.UndoCount(), 0u) << "an inner group's end makes no step";
    EXPECT_TRUE(stack.Add(u"c", Record(log, "c")));
    EXPECT_TRUE(stack.EndGroup());
    EXPECT_FALSE(stack.InGroup());
    EXPECT_FALSE(stack.EndGroup()) << "no group is open";
    ASSERT_EQ(stack.UndoCount(), 1u);
    EXPECT_EQ(stack.Top()->caption, u"Move");
    EXPECT_TRUE(stack.Undo());
    EXPECT_FALSE(stack.Undo());
    EXPECT_TRUE(stack.Redo());
    EXPECT_FALSE(stack.Redo());
    stack.BeginGroup(u"");
    stack.Add(u"Erase", Record(log, "d"));
    stack.Add(u"Other", Record(log, "e"));
    stack.EndGroup();
    EXPECT_EQ(stack.Top()->caption, u"Erase");
    stack.Clear();
  }
  EXPECT_EQ(log.lines, (Lines{"undo c", "undo b", "undo a", "redo a", "redo b", "redo c", "release e", "release d",
                              "release c", "release b", "release a"}));
  EXPECT_EQ(log.events,
            (Lines{"undo: push \"Move\"", "undo: undo \"Move\"", "undo: redo \"Move\"", "undo: push \"Erase\""}));
}

// Every item is released exactly once: the redo branch when a new step is
// pushed, the open group's items and both sides when the stack is cleared,
// newest first. A record of a shorter layout is refused and left alone.
TEST(UndoStack, ItemsAreReleasedOnceWhenTheyCanNoLongerBeReached) {
  Log log;
  UndoStack stack;
  stack.Add(u"a", Record(log, "a"));
  stack.Add(u"b", Record(log, "b"));
  stack.Add(u"c", Record(log, "c"));
  stack.Undo();
  stack.Undo();
  EXPECT_EQ(stack.RedoCount(), 2u);
  stack.Add(u"d", Record(log, "d"));
  EXPECT_EQ(stack.RedoCount(), 0u);
  EXPECT_EQ(log.lines, (Lines{"undo c", "undo b", "release b", "release c"}));

  KS_UndoRecord shorter = Record(log, "short");
  shorter.size = sizeof shorter - 8;
  EXPECT_FALSE(stack.Add(u"short", shorter));
  EXPECT_EQ(stack.UndoCount(), 2u);
  shorter.Release(shorter.clientData);

  stack.Undo();  // d to the redo side
  stack.BeginGroup(u"open");
  stack.Add(u"e", Record(log, "e"));
  log.lines.clear();
  stack.Clear();
  EXPECT_FALSE(stack.InGroup());
  EXPECT_EQ(log.lines, (Lines{"release e", "release a", "release d"}));
  EXPECT_EQ(stack.UndoCount() + stack.RedoCount(), 0u);
}

// An item without an undo or redo is passed over and its step moves all the
// same. An item that adds to the stack while it is undone pushes a new step
// (dropping the redo branch) but never releases its own step, which then
// waits on the redo side.
TEST(UndoStack, StepsMoveWhateverTheirItemsDo) {
  Log log;
  UndoStack stack;
  stack.BeginGroup(u"g");
  stack.Add(u"", Record(log, "no-undo", false, true));
  stack.Add(u"", Record(log, "no-redo", true, false));
  stack.EndGroup();
  EXPECT_TRUE(stack.Undo());
  EXPECT_EQ(stack.RedoCount(), 1u);
  EXPECT_TRUE(stack.Redo());
  EXPECT_EQ(stack.UndoCount(), 1u);
  EXPECT_EQ(log.lines, (Lines{"undo no-redo", "redo no-undo"}));

  log.lines.clear();
  UndoStack other;
  KS_UndoRecord adding = Record(log, "adding");
  static_cast<Item*>(adding.clientData)->onUndo = [&] { other.Add(u"added", Record(log, "added")); };
  other.Add(u"adding", adding);
  other.Add(u"x", Record(log, "x"));
  other.Undo();
  other.Undo();
  EXPECT_EQ(log.lines, (Lines{"undo x", "undo adding", "release x"}));
  EXPECT_EQ(other.RedoCount(), 1u);
  ASSERT_NE(other.Top(), nullptr);
  EXPECT_EQ(other.Top()->caption, u"added");
  log.lines.clear();
  other.Clear();
  EXPECT_EQ(log.lines, (Lines{"release added", "release adding"}));
  stack.Clear();
}

// Changed tells a state other than the one saved: after a new step or an
// undo, not after an undo and its redo; a new step that replaces an undone
// one is a change even where it looks like it (same depth, same item).
TEST(UndoStack, ChangedTracksTheStateSinceTheSave) {
  Log log;
  UndoStack stack;
  EXPECT_FALSE(stack.Changed()) << "a new stack is in the state the document was opened in";
  stack.Add(u"a", Record(log, "a"));
  EXPECT_TRUE(stack.Changed());
  stack.MarkSaved();
  EXPECT_FALSE(stack.Changed());
  stack.Undo();
  EXPECT_TRUE(stack.Changed());
  stack.Redo();
  EXPECT_FALSE(stack.Changed());

  // One item, undone and then pushed again as a new step: the document
  // differs from the saved one by whatever the item did between.
  KS_UndoRecord reused{};
  reused.size = sizeof reused;
  reused.clientData = &log;
  stack.Add(u"b", reused);
  stack.MarkSaved();
  stack.Undo();
  stack.Add(u"b", reused);
  EXPECT_TRUE(stack.Changed());
  stack.BeginGroup(u"open");
  stack.Add(u"c", Record(log, "c"));
  EXPECT_TRUE(stack.Changed());
  stack.Undo();
  stack.MarkSaved();
  stack.EndGroup();
  EXPECT_TRUE(stack.Changed()) << "the group's step came after the save";
  stack.Clear();
}

}  // namespace
}  // namespace kshost
