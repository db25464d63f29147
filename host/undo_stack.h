// The undo stack of one document: the steps that can be undone, the steps
// that can be redone, the group being collected, and whether the document
// moved away from the state it was saved in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/editor_events.h"
#include "sdk/ks_records.h"

namespace kshost {

// One step of the undo stack: the items of one group (or one item), undone
// newest first and redone oldest first.
struct UndoStep {
  std::u16string caption;
  std::vector<KS_UndoRecord> items;
  uint64_t serial = 0;  // tells this step from every other of its stack
};

class UndoStack {
 public:
  UndoStack() = default;
  // Leaves the items still held alone: a stack that goes with the editor
  // at the process's end may hold items of a plug-in already unloaded. The
  // editor clears a document's stack when the document closes.
  ~UndoStack() = default;
  UndoStack(UndoStack const&) = delete;
  UndoStack& operator=(UndoStack const&) = delete;

  // Hears of each step pushed, undone and redone, with its caption; an undo
  // or redo is told before its items run. Null for no one.
  void SetListener(std::function<void(UndoEvent const&)> listener) { listener_ = std::move(listener); }

  // Takes `record`: the stack releases it exactly once, when a new step
  // drops the redo branch it ended up in or when the stack is cleared.
  // Outside a group the item is a step of its own, captioned `caption`;
  // inside one it joins the group, whose caption it gives when the group
  // began without one. A record of a shorter layout than KS_UndoRecord is
  // refused and left alone (false).
  bool Add(std::u16string const& caption, KS_UndoRecord const& record);
  // Groups nest; the items added until the outermost group ends become one
  // step, captioned with that group's caption (else its first item's). An
  // empty group adds nothing. EndGroup is false without a group open.
  void BeginGroup(std::u16string const& caption);
  bool EndGroup();
  bool InGroup() const { return groupDepth_ > 0; }

  // Runs the newest step's items backwards (Undo) or the newest undone
  // step's items forwards (Redo) and moves the step to the other side. An
  // item without the callback is passed over; the step moves all the same.
  // False when there is no step to move.
  bool Undo();
  bool Redo();

  size_t UndoCount() const { return undo_.size(); }
  size_t RedoCount() const { return redo_.size(); }
  // The step Undo would undo, or null.
  UndoStep const* Top() const { return undo_.empty() ? nullptr : &undo_.back(); }

  // Notes the present state as the one the document was saved in (or
  // opened in: a new stack starts there). Changed is true while the step on
  // top is another than at that moment: after a new step, or an undo past
  // it, but not after undoing a step and redoing it.
  void MarkSaved() { saved_ = TopSerial(); }
  // The serial of the step on top (0 when empty): it differs after any new
  // step, undo or redo.
  uint64_t TopSerial() const { return undo_.empty() ? 0 : undo_.back().serial; }
  bool Changed() const { return TopSerial() != saved_; }

  // Releases every item, newest first: the open group's (the group is
  // closed), then the undo steps', then the redo steps'.
  void Clear();

 private:
  void Push(UndoStep step);
  bool Move(bool undo);
  static void ReleaseItems(std::vector<KS_UndoRecord>& items);
  static void ReleaseSteps(std::vector<UndoStep>& steps);

  std::vector<UndoStep> undo_;
  std::vector<UndoStep> redo_;
  // The open group: its depth, caption and the items added so far.
  int groupDepth_ = 0;
  std::u16string groupCaption_;
  std::vector<KS_UndoRecord> groupItems_;
  uint64_t serials_ = 0;
  uint64_t saved_ = 0;
  std::function<void(UndoEvent const&)> listener_;
};

}  // namespace kshost
