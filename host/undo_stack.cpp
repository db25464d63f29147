#include "host/undo_stack.h"

#include <utility>

#include "host/utf.h"

namespace kshost {

void UndoStack::ReleaseItems(std::vector<KS_UndoRecord>& items) {
  // Newest first, as they would leave the stack.
  while (!items.empty()) {
    KS_UndoRecord r = items.back();
    items.pop_back();
    if (r.Release) r.Release(r.clientData);
  }
}

void UndoStack::ReleaseSteps(std::vector<UndoStep>& steps) {
  while (!steps.empty()) {
    UndoStep step = std::move(steps.back());
    steps.pop_back();
    ReleaseItems(step.items);
  }
}

void UndoStack::Clear() {
  groupDepth_ = 0;
  groupCaption_.clear();
  ReleaseItems(groupItems_);
  ReleaseSteps(undo_);
  ReleaseSteps(redo_);
}

void UndoStack::Push(UndoStep step) {
  ReleaseSteps(redo_);
  step.serial = ++serials_;
  if (listener_) listener_(UndoEvent{UndoEvent::Action::Push, ToUtf8(step.caption)});
  undo_.push_back(std::move(step));
}

bool UndoStack::Add(std::u16string const& caption, KS_UndoRecord const& record) {
  if (record.size < sizeof(KS_UndoRecord)) return false;
  if (groupDepth_ > 0) {
    if (groupItems_.empty() && groupCaption_.empty()) groupCaption_ = caption;
    groupItems_.push_back(record);
    return true;
  }
  Push(UndoStep{caption, {record}});
  return true;
}

void UndoStack::BeginGroup(std::u16string const& caption) {
  // The outermost group's caption names the step.
  if (groupDepth_++ == 0) {
    groupCaption_ = caption;
    groupItems_.clear();
  }
}

bool UndoStack::EndGroup() {
  if (groupDepth_ == 0) return false;
  if (--groupDepth_ > 0 || groupItems_.empty()) return true;
  UndoStep step{groupCaption_, std::move(groupItems_)};
  groupItems_.clear();
  groupCaption_.clear();
  Push(std::move(step));
  return true;
}

// The step is on neither side while its items run, so an item that adds to
// the stack meanwhile (which drops the redo branch) cannot release it.
bool UndoStack::Move(bool undo) {
  auto& from = undo ? undo_ : redo_;
  auto& to = undo ? redo_ : undo_;
  if (from.empty()) return false;
  UndoStep step = std::move(from.back());
  from.pop_back();
  if (listener_)
    listener_(UndoEvent{undo ? UndoEvent::Action::Undo : UndoEvent::Action::Redo, ToUtf8(step.caption)});
  if (undo) {
    for (auto it = step.items.rbegin(); it != step.items.rend(); ++it)
      if (it->Undo) it->Undo(it->clientData);
  } else {
    for (KS_UndoRecord const& r : step.items)
      if (r.Redo) r.Redo(r.clientData);
  }
  to.push_back(std::move(step));
  return true;
}

bool UndoStack::Undo() { return Move(true); }

bool UndoStack::Redo() { return Move(false); }

}  // namespace kshost
