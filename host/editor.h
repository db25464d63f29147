// The editor's own model behind the application functions: documents with
// their undo stacks and page views, tools and the current tool, and the
// answers a headless host gives in place of a user.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/device.h"
#include "host/editor_events.h"
#include "host/undo_stack.h"
#include "sdk/ks_records.h"

struct KA_Tool__ {
  std::string name;
  KS_ToolCallbacks callbacks{};
  std::u16string category;
  std::u16string group;
  bool registered = false;
  bool builtIn = false;
};

struct KA_PageView__ {
  KA_Document doc = nullptr;
  int pageIndex = 0;
  float zoom = 1;
  int rotation = 0;          // the view's own, added to the page's /Rotate
  KS_Matrix pageToDevice{};  // device pixels, y downwards
};

// The behaviour object a handler made for one annotation; the editor keeps
// it until the document closes.
struct KA_AnnotObject__ {
  KA_AnnotHandler handler = nullptr;
  KS_AnnotObjectCallbacks record{};
  KA_Annot annot = nullptr;
  intptr_t value = 0;
};

// One annotation dictionary of an open document. The handle lives as long as
// the document; the annotation's page is looked up afresh, so a removed
// annotation answers -1 and one put back is found again.
struct KA_Annot__ {
  KA_Document doc = nullptr;
  KPD_Dictionary dict = nullptr;  // lent by the document
  int pageHint = 0;
  std::unique_ptr<KA_AnnotObject__> object;
  bool creatingObject = false;
};

struct KA_Document__ {
  KPD_Document pdf = nullptr;
  std::string path;  // the file it was opened from, absolute; empty for none
  bool readOnly = false;
  kshost::UndoStack undo;
  std::vector<std::unique_ptr<KA_PageView__>> views;
  std::vector<std::unique_ptr<KA_Annot__>> annots;
  std::vector<KA_Annot> selection;  // in the order selected
  KA_Annot focused = nullptr;       // one of the selection, or null
  int activePage = 0;               // the page events go to; painted when invalid
  std::vector<int> invalidPages;
};

// The context menu of an annotation while its handler fills it: item ids
// and texts in the order added.
struct KA_Menu__ {
  std::vector<std::pair<std::string, std::u16string>> items;
};

struct KA_AnnotHandler__ {
  std::string type;
  KS_AnnotHandlerCallbacks callbacks{};
};

namespace kshost {

enum class MouseEvent { LeftDown, LeftUp, LeftDouble, Move, RightDown, RightUp, RightDouble };

class Editor {
 public:
  static Editor& Get();

  // Forgets every document and tool; built-in tools come back.
  void Reset();

  // Documents. The editor does not own the PDF document.
  KA_Document AddDocument(KPD_Document pdf, bool readOnly);
  void RemoveDocument(KA_Document doc);
  KA_Document CurrentDocument() const { return current_; }

  // The view of a page of the current document, made or changed to the given
  // zoom and rotation. Null when there is no such page.
  KA_PageView SetView(int pageIndex, float zoom, int rotation);
  KA_PageView View(int pageIndex);
  void RecomputeView(KA_PageView view);

  // Tools.
  KA_Tool NewTool(const std::string& name, const KS_ToolCallbacks* callbacks);
  void ReleaseTool(KA_Tool tool);
  bool RegisterTool(KA_Tool tool);
  bool UnregisterTool(KA_Tool tool);
  KA_Tool FindTool(const std::string& name) const;
  KA_Tool CurrentTool() const { return currentTool_; }
  bool SetCurrentTool(KA_Tool tool, bool persistent);
  bool IsValidTool(KA_Tool tool) const;
  std::vector<KA_Tool> RegisteredTools() const;

  // Events for the current tool at a page point of the current document.
  // While the tool is busy its events keep going through the view its
  // gesture started on.
  bool Mouse(MouseEvent kind, int pageIndex, KS_FloatPoint pt, uint32_t flags, std::string* error);
  bool Wheel(int pageIndex, KS_FloatPoint pt, int delta, uint32_t flags, std::string* error);
  bool Key(int code, uint32_t flags, std::string* error);
  // A character typed (a Unicode code point), for the current tool: text
  // tools take it as input. False with the reason without a tool.
  bool Char(uint32_t codePoint, uint32_t flags, std::string* error);

  // Undo stack of a document (see UndoStack). The editor owns the items it
  // was handed and releases each exactly once: when a new step drops the
  // redo branch, when the document closes, or at once when the item is
  // refused. An undo or redo paints what it invalidated.
  bool AddUndo(KA_Document doc, const std::u16string& caption, const KS_UndoRecord& record);
  bool BeginUndoGroup(KA_Document doc, const std::u16string& caption);
  bool EndUndoGroup(KA_Document doc);
  bool Undo(KA_Document doc);
  bool Redo(KA_Document doc);

  bool IsLiveDocument(KA_Document doc) const;

  // Annotations of open documents, one handle per dictionary. AnnotFor makes
  // it on first use (null for a dictionary that is not an annotation of the
  // document); PageIndexOf is -1 once the annotation left its page.
  KA_Annot AnnotFor(KA_Document doc, KPD_Dictionary dict);
  bool IsLiveAnnot(KA_Annot annot) const;
  bool IsLiveObject(KA_AnnotObject obj) const;
  int PageIndexOf(KA_Annot annot);
  std::vector<KA_Annot> PageAnnots(KA_Document doc, int pageIndex);
  // The handler of "Subtype/IT" if registered, else of the Subtype, else null.
  KA_AnnotHandler HandlerFor(KA_Annot annot) const;
  // The behaviour object, made by the handler on first use; null when the
  // editor handles the annotation alone.
  KA_AnnotObject ObjectFor(KA_Annot annot);
  KA_AnnotObject NewObject(KA_AnnotHandler handler, const KS_AnnotObjectCallbacks& record, KA_Annot annot,
                           intptr_t value);

  // Selection and focus of a document. Removed annotations drop out.
  std::vector<KA_Annot> Selection(KA_Document doc);
  // The selection a command works on: empty, with the reason in *error,
  // when no document is open, nothing is selected or (with `change`) the
  // document's annotations may not be changed.
  std::vector<KA_Annot> SelectionFor(KA_Document doc, bool change, std::string* error);
  bool Select(KA_Document doc, KA_Annot annot, bool add);
  bool Deselect(KA_Document doc, KA_Annot annot);
  bool DeselectAll(KA_Document doc);
  KA_Annot Focused(KA_Document doc);
  bool SetFocused(KA_Document doc, KA_Annot annot);

  // Marks a page (or an annotation's page) for repainting; the editor paints
  // the page events go to after each event that invalidated it.
  void Invalidate(KA_Document doc, int pageIndex);
  void InvalidateAnnot(KA_Annot annot);
  void PaintIfNeeded();
  // Paints a view: every annotation of the page through its handler's draw,
  // else its appearance and, when selected, an outline (red when focused,
  // black otherwise). Returns the display list; without `keep` (and with
  // no event sink to send its items to) the list is not made, and the
  // drawing costs no more than the calls.
  std::vector<DrawItem> Paint(KA_PageView view, bool keep = true);

  // Host commands on the selection (KS_COMMAND_*). False with the reason
  // when nothing happened.
  bool Command(KA_Document doc, int command, std::string* error);
  // Turns the focused annotation through its handler.
  bool RotateFocused(KA_Document doc, int degrees, std::string* error);
  // Moves the selection by (dx, dy) points of the screen's directions
  // (x right, y down), each annotation through its handler, as one undo
  // step. False with the reason when nothing moved.
  bool NudgeSelection(KA_Document doc, int dx, int dy, std::string* error);

  // Ctrl+A: selects every annotation of the page that the selection tools
  // would select (hidden ones and those their handler keeps out stay out).
  // False when the page has none.
  bool SelectAll(KA_Document doc, int pageIndex);
  // Ctrl+C: keeps copies of the selected annotations (with their
  // appearances) for Paste within the same document; the clipboard holds
  // them until the next copy or until the document closes.
  bool CopySelection(KA_Document doc, std::string* error);
  // Ctrl+V: puts new annotations made from the copies onto a page, offset
  // 10 points right and down per paste since the copy, each under a fresh
  // /NM and without the pop-up and reply links of its original, as one
  // undo step; they are selected afterwards.
  bool Paste(KA_Document doc, int pageIndex, std::string* error);
  // Puts the selected annotations last in their pages' /Annots, in the
  // order they had, so they draw on top and are hit first; one undo step.
  bool BringToFront(KA_Document doc, std::string* error);
  // Moves the selected annotations to page `pageIndex` (0-based), each
  // through its handler when it has a way (its own undo item), else the
  // editor's own; one undo step. They keep their coordinates and stay
  // selected.
  bool MoveSelectionToPage(KA_Document doc, int pageIndex, std::string* error);
  // Asks for the page in the dialog "editor_move_to_page.ui.kw"
  // (lineEditPage, counting from 1) and moves the selection there.
  bool AskMoveToPage(KA_Document doc, std::string* error);
  // Sets one property of every selected annotation through its handler, as
  // one undo step. False with the reason when none of them changed.
  bool SetSelectionProperty(KA_Document doc, const KS_AnnotPropertyValue& value, std::string* error);
  // How often the context menu's Properties was chosen; a front end shows
  // its properties panel when the count grows.
  int PropertiesAsked() const { return propertiesAsked_; }

  // The context menu of an annotation: the items its handler adds (none
  // when the handler adds none). "menu: ID TEXT | ..." goes to the trace.
  std::vector<std::pair<std::string, std::u16string>> AnnotMenu(KA_PageView view, KA_Annot annot);
  // Shows the menu of `annot` and runs the item chosen: answered like a
  // message box (a queued answer picks the item by number, else the first;
  // 0 or a number past the last item closes it). The editor's own items
  // follow the handler's: Delete, Properties, Bring to front and, in a file
  // of several pages, Move to page. False when there was no menu, nothing was
  // chosen or the item did nothing.
  bool ShowAnnotMenu(KA_PageView view, KA_Annot annot);
  // Runs item `itemId` of the focused annotation's menu. False with the
  // reason when there is no such item or it did nothing.
  bool RunAnnotMenuItem(KA_Document doc, const std::string& itemId, std::string* error);

  // The events of the editor as they happen (see EditorEvent): each step
  // pushed, undone and redone, each message box and tip, value changes of
  // the plug-in's panels, each drawn item of a paint, and the notes of
  // host services. One receiver at a time; null for none.
  using EventSink = std::function<void(const EditorEvent&)>;
  void SetEventSink(EventSink sink);
  // The events as the trace's lines (TraceText); null for none. Takes the
  // place of an event sink, as an event sink takes its place.
  void SetTrace(std::function<void(const std::string&)> trace);
  // A line of a plug-in's panel for the trace.
  void TracePanel(const std::string& line) const { Emit(NoteEvent{line}); }
  // A line of a host service for the trace ("snap: end 72 72").
  void TraceNote(const std::string& line) const { Emit(NoteEvent{line}); }

  // What plug-ins announced besides tools: feature modules (name, enabled),
  // annotation handlers by type, and document event receivers. The records
  // are copied; a receiver is known by the address it registered with.
  void AnnounceModule(const std::string& name, bool enabled) { modules_.emplace_back(name, enabled); }
  const std::vector<std::pair<std::string, bool>>& Modules() const { return modules_; }
  KA_AnnotHandler RegisterAnnotHandler(const std::string& type, const KS_AnnotHandlerCallbacks& record);
  bool UnregisterAnnotHandler(KA_AnnotHandler handler);
  std::vector<std::string> AnnotHandlerTypes() const;
  bool RegisterDocEvents(const KS_DocEventCallbacks* record);
  bool UnregisterDocEvents(const KS_DocEventCallbacks* record);
  int DocEventReceiverCount() const { return static_cast<int>(docEvents_.size()); }
  KA_Document FindDocument(KPD_Document pdf) const;
  // Tells every document event receiver of an event with only a document.
  void FireDocEvent(int position, KA_Document doc);
  // Tells every receiver that a page of the document changed ("changed: page
  // N" in the trace, counting from 1).
  void FirePageChanged(KA_Document doc, int pageIndex);
  // The open documents, in the order they were opened.
  std::vector<KA_Document> Documents() const;

  // The cursor over page views ("cursor: NAME SIZE" in the trace when it
  // changes), the device a tool draws on straight onto a view's window
  // (its items go to the trace as "draw:" lines after the event and are
  // then dropped) and the self-hiding message tip ("tip: TEXT").
  void SetCursor(const std::string& name, int size);
  const std::string& Cursor() const { return cursor_; }
  KA_Device WindowDevice(KA_PageView view);
  void ShowMessageTip(const std::u16string& text);
  const std::vector<std::string>& Tips() const { return tips_; }

  // Message boxes: answers queued by a script; without one, the first button.
  void QueueMessageAnswer(int answer) { messageAnswers_.push_back(answer); }
  // A front end that asks a person: called for a message box no queued
  // answer is left for; nothing from it takes the first button.
  // `buttons` is the box's kind as the plug-in asked for it: 0 OK, 1 OK and
  // Cancel, 3 Yes, No and Cancel, 4 Yes and No (menus: 0).
  using MessageProvider = std::function<std::optional<int>(const std::u16string& title, const std::u16string& text,
                                                           uint32_t buttons)>;
  void SetMessageProvider(MessageProvider ask) { askMessage_ = std::move(ask); }
  // A front end that shows what tools draw straight onto the window gets
  // those items after each event, before they are dropped; null for none.
  void SetWindowSink(std::function<void(const std::vector<DrawItem>&)> sink) { windowSink_ = std::move(sink); }
  int AnswerMessage(const std::u16string& title, const std::u16string& text, uint32_t buttons = 0);
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  Editor();
  bool Deliver(MouseEvent kind, KA_PageView view, KS_DevicePoint pt, uint32_t flags);
  KA_PageView EventView(int pageIndex, std::string* error);
  void Emit(const EditorEvent& event) const {
    if (events_) events_(event);
  }
  void ReleaseObjects(KA_Document doc, KA_AnnotHandler handler);
  struct SelectionState {
    std::vector<KA_Annot> selection;
    KA_Annot focused = nullptr;
  };
  void SelectionChanged(KA_Document doc, const SelectionState& before);

  // The built-in "Hand" and "Annot" tools: select, move, resize and reshape.
  struct Drag {
    KA_Annot annot = nullptr;
    KA_PageView view = nullptr;
    int handle = KS_HANDLE_NONE;
    KS_DevicePoint start{};
    KS_DeviceRect rect{};
  };
  bool HandMouse(MouseEvent kind, KA_PageView view, KS_DevicePoint pt, uint32_t flags);
  KA_Annot HitTest(KA_PageView view, KS_DevicePoint pt);
  bool HandContextMenu(KA_PageView view, KS_DevicePoint pt);
  bool EndDrag(KS_DevicePoint pt);
  bool Rotate(KA_Annot annot, int degrees);

  std::vector<std::unique_ptr<KA_Document__>> docs_;
  KA_Document current_ = nullptr;
  std::vector<std::unique_ptr<KA_Tool__>> tools_;
  KA_Tool currentTool_ = nullptr;
  KA_PageView captured_ = nullptr;
  std::deque<int> messageAnswers_;
  std::vector<std::string> messages_;
  std::vector<std::pair<std::string, bool>> modules_;
  std::vector<std::unique_ptr<KA_AnnotHandler__>> handlers_;
  std::vector<const KS_DocEventCallbacks*> docEvents_;
  std::unordered_set<const KA_Annot__*> liveAnnots_;
  std::unordered_set<const KA_AnnotObject__*> liveObjects_;
  EventSink events_;
  Drag drag_;
  std::string cursor_;
  KA_Device window_ = nullptr;
  std::vector<std::string> tips_;
  MessageProvider askMessage_;
  std::function<void(const std::vector<DrawItem>&)> windowSink_;
  void FlushWindow();
  // Copies of annotations for Paste, owned; of `clipboardDoc_` only.
  std::vector<KPD_Object> clipboard_;
  KA_Document clipboardDoc_ = nullptr;
  int pastes_ = 0;
  int propertiesAsked_ = 0;
  void ClearClipboard();
};

// A text of the editor's own ("Editor" string table) in the current
// language, else in English; the key itself when no table has it.
std::u16string EditorText(const char* key);

}  // namespace kshost
