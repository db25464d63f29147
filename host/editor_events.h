// What the editor tells a front end while it works: one small record per
// kind of event. The trace prints each as one line (TraceText); annot serve
// keeps what its page shows from the same records. Neither reads the
// other's text.
#pragma once

#include <string>
#include <variant>

#include "host/device.h"

namespace kshost {

// A step pushed onto the undo stack, or undone, or redone.
struct UndoEvent {
  enum class Action { Push, Undo, Redo };
  Action action = Action::Push;
  std::string caption;
};

// A message box (or a menu, asked as a box titled "menu") as shown: its
// title and text, UTF-8.
struct MessageEvent {
  std::string title;
  std::string text;
  // "TITLE: TEXT", or the text alone for a box without a title.
  std::string Shown() const { return title.empty() ? text : title + ": " + text; }
};

// The self-hiding message tip.
struct TipEvent {
  std::string text;
};

// A value a plug-in's panel shows changed.
struct PanelValueEvent {
  std::string element;
  std::string value;
};

// A page of the document changed (0-based).
struct PageChangedEvent {
  int pageIndex = 0;
};

// The cursor over page views changed.
struct CursorEvent {
  std::string name;
  int size = 0;
};

// The items of an annotation's context menu as its handler added them,
// "ID TEXT" each, joined by " | ".
struct MenuEvent {
  std::string items;
};

// An item drawn by a paint or straight onto a view's window; the item
// lives only while the event is delivered. Never an appearance item.
struct DrawEvent {
  const DrawItem* item = nullptr;
};

// A line of a host service or a plug-in's panel that is only shown
// ("snap: end 72 72", "progress: end", "panel Chest: ...").
struct NoteEvent {
  std::string line;
};

using EditorEvent = std::variant<UndoEvent, MessageEvent, TipEvent, PanelValueEvent, PageChangedEvent, CursorEvent,
                                 MenuEvent, DrawEvent, NoteEvent>;

// The trace's line for an event: "undo: push \"Move\"", "message: TITLE:
// TEXT", "tip: TEXT", "panel ELEMENT = VALUE", "changed: page N" (from 1),
// "cursor: NAME SIZE", "menu: ITEMS", "draw: ..." (see TraceLine) and a
// note as it is.
std::string TraceText(const EditorEvent& event);

}  // namespace kshost
