#include "host/editor_events.h"

namespace kshost {
namespace {

struct TraceWriter {
  std::string operator()(const UndoEvent& e) const {
    static const char* const kActions[] = {"push", "undo", "redo"};
    return std::string("undo: ") + kActions[static_cast<int>(e.action)] + " \"" + e.caption + "\"";
  }
  std::string operator()(const MessageEvent& e) const { return "message: " + e.Shown(); }
  std::string operator()(const TipEvent& e) const { return "tip: " + e.text; }
  std::string operator()(const PanelValueEvent& e) const { return "panel " + e.element + " = " + e.value; }
  std::string operator()(const PageChangedEvent& e) const { return "changed: page " + std::to_string(e.pageIndex + 1); }
  std::string operator()(const CursorEvent& e) const { return "cursor: " + e.name + " " + std::to_string(e.size); }
  std::string operator()(const MenuEvent& e) const { return "menu: " + e.items; }
  std::string operator()(const DrawEvent& e) const { return e.item ? TraceLine(*e.item) : std::string(); }
  std::string operator()(const NoteEvent& e) const { return e.line; }
};

}  // namespace

std::string TraceText(const EditorEvent& event) { return std::visit(TraceWriter{}, event); }

}  // namespace kshost
