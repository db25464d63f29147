#include "host/editor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/host_functions.h"
#include "host/utf.h"
#include "tessel/dialog.h"

namespace kshost {
namespace {

KS_Matrix Multiply(const KS_Matrix& m, const KS_Matrix& n) {  // m then n
  return {m.a * n.a + m.b * n.c,         m.a * n.b + m.b * n.d,         m.c * n.a + m.d * n.c,
          m.c * n.b + m.d * n.d,         m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

// Built-in tools answer nothing and handle nothing.
KS_ToolCallbacks InertCallbacks() {
  KS_ToolCallbacks cb{};
  cb.size = sizeof cb;
  return cb;
}

}  // namespace

Editor& Editor::Get() {
  static Editor editor;
  return editor;
}

Editor::Editor() { Reset(); }

void Editor::Reset() {
  while (!docs_.empty()) RemoveDocument(docs_.back().get());
  tools_.clear();
  currentTool_ = nullptr;
  captured_ = nullptr;
  messageAnswers_.clear();
  messages_.clear();
  modules_.clear();
  handlers_.clear();
  docEvents_.clear();
  events_ = nullptr;
  drag_ = Drag{};
  cursor_.clear();
  tips_.clear();
  ClearClipboard();
  propertiesAsked_ = 0;
  if (window_) ReleaseDevice(window_);
  window_ = nullptr;
  KS_ToolCallbacks inert = InertCallbacks();
  for (const char* name : {"Hand", "Annot"}) {
    KA_Tool t = NewTool(name, &inert);
    t->builtIn = true;
    RegisterTool(t);
  }
  currentTool_ = FindTool("Hand");
}

KA_AnnotHandler Editor::RegisterAnnotHandler(const std::string& type, const KS_AnnotHandlerCallbacks& record) {
  for (const auto& h : handlers_)
    if (h->type == type) return nullptr;  // one handler per annotation type
  auto handler = std::make_unique<KA_AnnotHandler__>();
  handler->type = type;
  handler->callbacks = record;
  handlers_.push_back(std::move(handler));
  return handlers_.back().get();
}

bool Editor::UnregisterAnnotHandler(KA_AnnotHandler handler) {
  for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
    if (it->get() == handler) {
      // The handler's objects go with it.
      for (const auto& d : docs_) ReleaseObjects(d.get(), handler);
      handlers_.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<std::string> Editor::AnnotHandlerTypes() const {
  std::vector<std::string> types;
  for (const auto& h : handlers_) types.push_back(h->type);
  return types;
}

bool Editor::RegisterDocEvents(const KS_DocEventCallbacks* record) {
  if (!record || record->size != sizeof(KS_DocEventCallbacks)) return false;
  if (std::find(docEvents_.begin(), docEvents_.end(), record) != docEvents_.end()) return false;
  docEvents_.push_back(record);
  return true;
}

bool Editor::UnregisterDocEvents(const KS_DocEventCallbacks* record) {
  const auto it = std::find(docEvents_.begin(), docEvents_.end(), record);
  if (it == docEvents_.end()) return false;
  docEvents_.erase(it);
  return true;
}

KA_Document Editor::FindDocument(KPD_Document pdf) const {
  for (const auto& d : docs_)
    if (pdf && d->pdf == pdf) return d.get();
  return nullptr;
}

KA_Document Editor::AddDocument(KPD_Document pdf, bool readOnly) {
  auto d = std::make_unique<KA_Document__>();
  d->pdf = pdf;
  d->readOnly = readOnly;
  d->undo.SetListener([this](const UndoEvent& event) { Emit(event); });
  docs_.push_back(std::move(d));
  current_ = docs_.back().get();
  FireDocEvent(KS_DOCEVENT_OPENED, current_);
  FireDocEvent(KS_DOCEVENT_ACTIVATED, current_);
  return current_;
}

void Editor::FireDocEvent(int position, KA_Document doc) {
  // A receiver may unregister itself while being told; walk a copy.
  const std::vector<const KS_DocEventCallbacks*> receivers = docEvents_;
  for (const KS_DocEventCallbacks* r : receivers) {
    if (std::find(docEvents_.begin(), docEvents_.end(), r) == docEvents_.end()) continue;
    if (auto fn = reinterpret_cast<KS_DocEventProc>(KS_RECORD_POSITION(*r, position))) fn(r->clientData, doc);
  }
}

void Editor::FirePageChanged(KA_Document doc, int pageIndex) {
  Emit(PageChangedEvent{pageIndex});
  const std::vector<const KS_DocEventCallbacks*> receivers = docEvents_;
  for (const KS_DocEventCallbacks* r : receivers) {
    if (std::find(docEvents_.begin(), docEvents_.end(), r) == docEvents_.end()) continue;
    if (auto fn = reinterpret_cast<KS_DocPageEventProc>(KS_RECORD_POSITION(*r, KS_DOCEVENT_PAGE_CHANGED)))
      fn(r->clientData, doc, pageIndex);
  }
}

std::vector<KA_Document> Editor::Documents() const {
  std::vector<KA_Document> out;
  for (const auto& d : docs_) out.push_back(d.get());
  return out;
}

void Editor::RemoveDocument(KA_Document doc) {
  auto it = std::find_if(docs_.begin(), docs_.end(), [&](const auto& d) { return d.get() == doc; });
  if (it == docs_.end()) return;
  FireDocEvent(KS_DOCEVENT_WILL_CLOSE, doc);
  it = std::find_if(docs_.begin(), docs_.end(), [&](const auto& d) { return d.get() == doc; });
  if (it == docs_.end()) return;
  doc->undo.Clear();
  ReleaseObjects(doc, nullptr);
  if (clipboardDoc_ == doc) ClearClipboard();
  for (const auto& a : doc->annots) liveAnnots_.erase(a.get());
  if (captured_ && captured_->doc == doc) captured_ = nullptr;
  if (drag_.annot && drag_.annot->doc == doc) drag_ = Drag{};
  docs_.erase(it);
  if (current_ == doc) current_ = docs_.empty() ? nullptr : docs_.back().get();
  FireDocEvent(KS_DOCEVENT_CLOSED, doc);
}

void Editor::RecomputeView(KA_PageView view) {
  KPD_Page page = direct::DocGetPage(view->doc->pdf, view->pageIndex);
  KS_FloatRect box{0, 0, 612, 792};
  if (page) direct::PageGetBox(page, "CropBox", &box);
  int rotation = (((page ? direct::PageGetRotation(page) : 0) + view->rotation) % 360 + 360) % 360;
  const float z = view->zoom, w = box.right - box.left, h = box.top - box.bottom;
  // The crop box's top-left corner is device (0, 0) at rotation 0; each
  // quarter turn clockwise brings the next corner there.
  KS_Matrix toOrigin{1, 0, 0, 1, -box.left, -box.bottom};
  KS_Matrix turn;
  switch (rotation) {
    case 90: turn = {0, 1, 1, 0, 0, 0}; break;
    case 180: turn = {-1, 0, 0, 1, w, 0}; break;
    case 270: turn = {0, -1, -1, 0, h, w}; break;
    default: turn = {1, 0, 0, -1, 0, h}; break;
  }
  KS_Matrix scale{z, 0, 0, z, 0, 0};
  view->pageToDevice = Multiply(Multiply(toOrigin, turn), scale);
}

KA_PageView Editor::SetView(int pageIndex, float zoom, int rotation) {
  KA_PageView view = View(pageIndex);
  if (!view) return nullptr;
  view->zoom = zoom;
  view->rotation = rotation;
  view->doc->activePage = pageIndex;
  RecomputeView(view);
  return view;
}

KA_PageView Editor::View(int pageIndex) {
  if (!current_ || pageIndex < 0 || pageIndex >= direct::DocPageCount(current_->pdf)) return nullptr;
  for (auto& v : current_->views)
    if (v->pageIndex == pageIndex) return v.get();
  auto v = std::make_unique<KA_PageView__>();
  v->doc = current_;
  v->pageIndex = pageIndex;
  RecomputeView(v.get());
  current_->views.push_back(std::move(v));
  return current_->views.back().get();
}

KA_Tool Editor::NewTool(const std::string& name, const KS_ToolCallbacks* callbacks) {
  if (name.empty() || !callbacks || callbacks->size < 2 * sizeof(void*)) return nullptr;
  auto t = std::make_unique<KA_Tool__>();
  t->name = name;
  // Callers may hand a shorter record of an older layout; the rest stays null.
  std::memcpy(&t->callbacks, callbacks, std::min<size_t>(callbacks->size, sizeof(KS_ToolCallbacks)));
  tools_.push_back(std::move(t));
  return tools_.back().get();
}

bool Editor::IsValidTool(KA_Tool tool) const {
  return tool && std::any_of(tools_.begin(), tools_.end(), [&](const auto& t) { return t.get() == tool; });
}

void Editor::ReleaseTool(KA_Tool tool) {
  if (!IsValidTool(tool)) return;
  if (currentTool_ == tool) currentTool_ = FindTool("Hand");
  tools_.erase(std::find_if(tools_.begin(), tools_.end(), [&](const auto& t) { return t.get() == tool; }));
}

// One registered tool per name: a second tool of the same name is refused.
bool Editor::RegisterTool(KA_Tool tool) {
  if (!IsValidTool(tool) || tool->registered) return false;
  if (FindTool(tool->name)) return false;
  tool->registered = true;
  return true;
}

bool Editor::UnregisterTool(KA_Tool tool) {
  if (!IsValidTool(tool) || !tool->registered) return false;
  if (currentTool_ == tool) SetCurrentTool(FindTool("Hand"), false);
  tool->registered = false;
  return true;
}

KA_Tool Editor::FindTool(const std::string& name) const {
  for (const auto& t : tools_)
    if (t->registered && t->name == name) return t.get();
  return nullptr;
}

std::vector<KA_Tool> Editor::RegisteredTools() const {
  std::vector<KA_Tool> out;
  for (const auto& t : tools_)
    if (t->registered) out.push_back(t.get());
  return out;
}

bool Editor::SetCurrentTool(KA_Tool tool, bool persistent) {
  if (!tool || !IsValidTool(tool) || !tool->registered) return false;
  KA_Tool old = currentTool_;
  if (old == tool) return true;
  captured_ = nullptr;
  currentTool_ = tool;
  // A cursor the old tool asked for (the eraser's circle) goes with it.
  cursor_.clear();
  if (old && old->callbacks.Deactivate) old->callbacks.Deactivate(old->callbacks.clientData);
  if (tool->callbacks.Activate) tool->callbacks.Activate(tool->callbacks.clientData, persistent ? 1 : 0);
  return true;
}

KA_PageView Editor::EventView(int pageIndex, std::string* error) {
  if (!current_) {
    *error = "no document is open";
    return nullptr;
  }
  KA_PageView view = View(pageIndex);
  if (!view) *error = "the document has no page " + std::to_string(pageIndex + 1);
  else current_->activePage = pageIndex;
  return view;
}

bool Editor::Deliver(MouseEvent kind, KA_PageView view, KS_DevicePoint pt, uint32_t flags) {
  KA_Tool t = currentTool_;
  if (!t) return false;
  const KS_ToolCallbacks& cb = t->callbacks;
  using Proc = int32_t (*)(void*, KA_PageView, uint32_t, KS_DevicePoint);
  Proc proc = nullptr;
  switch (kind) {
    case MouseEvent::LeftDown: proc = cb.LButtonDown; break;
    case MouseEvent::LeftUp: proc = cb.LButtonUp; break;
    case MouseEvent::LeftDouble: proc = cb.LButtonDblClk; break;
    case MouseEvent::Move: proc = cb.MouseMove; break;
    case MouseEvent::RightDown: proc = cb.RButtonDown; break;
    case MouseEvent::RightUp: proc = cb.RButtonUp; break;
    case MouseEvent::RightDouble: proc = cb.RButtonDblClk; break;
  }
  bool handled = t->builtIn ? HandMouse(kind, view, pt, flags) : proc && proc(cb.clientData, view, flags, pt) != 0;
  FlushWindow();
  bool busy = cb.IsBusy && currentTool_ == t && cb.IsBusy(cb.clientData) != 0;
  captured_ = busy ? view : nullptr;
  return handled;
}

bool Editor::Mouse(MouseEvent kind, int pageIndex, KS_FloatPoint pt, uint32_t flags, std::string* error) {
  KA_PageView view = captured_ ? captured_ : EventView(pageIndex, error);
  if (!view) return false;
  KS_DevicePoint device{};
  direct::PageViewPageToDevice(view, pt, &device);
  Deliver(kind, view, device, flags);
  PaintIfNeeded();
  return true;
}

bool Editor::Wheel(int pageIndex, KS_FloatPoint pt, int delta, uint32_t flags, std::string* error) {
  KA_PageView view = captured_ ? captured_ : EventView(pageIndex, error);
  if (!view) return false;
  KS_DevicePoint device{};
  direct::PageViewPageToDevice(view, pt, &device);
  if (currentTool_ && currentTool_->callbacks.MouseWheel)
    currentTool_->callbacks.MouseWheel(currentTool_->callbacks.clientData, view, flags,
                                       static_cast<int16_t>(std::clamp(delta, -32768, 32767)), device);
  PaintIfNeeded();
  return true;
}

bool Editor::Char(uint32_t codePoint, uint32_t flags, std::string* error) {
  if (!currentTool_) {
    if (error) *error = "no current tool to type into";
    return false;
  }
  if (currentTool_->callbacks.Char)
    currentTool_->callbacks.Char(currentTool_->callbacks.clientData, static_cast<int32_t>(codePoint), flags);
  PaintIfNeeded();
  return true;
}

bool Editor::Key(int code, uint32_t flags, std::string* error) {
  // The selection tools take Delete, Backspace and the arrows for the
  // selection: arrows nudge by a point, by ten with Shift.
  constexpr int kEscape = 27;
  // Ctrl+A, Ctrl+C and Ctrl+V select all of the page, copy and paste; one
  // that finds nothing to do says why.
  if (currentTool_ && currentTool_->builtIn && current_ && (flags & KS_FLAG_CTRL) &&
      (code == 'A' || code == 'C' || code == 'V')) {
    if (code == 'A' && !SelectAll(current_, current_->activePage)) {
      *error = "the page has no annotation to select";
      return false;
    }
    if (code == 'C') return CopySelection(current_, error);
    if (code == 'V') return Paste(current_, current_->activePage, error);
    return true;
  }
  if (currentTool_ && currentTool_->builtIn && current_ && !Selection(current_).empty()) {
    constexpr int kDelete = 46, kBackspace = 8, kLeft = 37, kUp = 38, kRight = 39, kDown = 40;
    const int step = (flags & KS_FLAG_SHIFT) ? 10 : 1;
    std::string why;
    switch (code) {
      case kDelete:
      case kBackspace: Command(current_, KS_COMMAND_DELETE, &why); return true;
      case kLeft: NudgeSelection(current_, -step, 0, &why); return true;
      case kRight: NudgeSelection(current_, step, 0, &why); return true;
      case kUp: NudgeSelection(current_, 0, -step, &why); return true;
      case kDown: NudgeSelection(current_, 0, step, &why); return true;
      case kEscape: DeselectAll(current_); PaintIfNeeded(); return true;
      default: break;
    }
  }
  // Escape ends a tool's gesture; with none under way it clears the
  // selection instead.
  const KS_ToolCallbacks* cb = currentTool_ ? &currentTool_->callbacks : nullptr;
  const bool drawing = cb && cb->IsBusy && cb->IsBusy(cb->clientData) != 0;
  if (code == kEscape && !drawing && current_) DeselectAll(current_);
  if (currentTool_ && currentTool_->callbacks.KeyDown)
    currentTool_->callbacks.KeyDown(currentTool_->callbacks.clientData, code, flags);
  if (currentTool_ && currentTool_->callbacks.KeyUp)
    currentTool_->callbacks.KeyUp(currentTool_->callbacks.clientData, code, flags);
  PaintIfNeeded();
  return true;
}

bool Editor::IsLiveDocument(KA_Document doc) const {
  return doc && std::any_of(docs_.begin(), docs_.end(), [&](const auto& d) { return d.get() == doc; });
}

bool Editor::AddUndo(KA_Document doc, const std::u16string& caption, const KS_UndoRecord& record) {
  if (!IsLiveDocument(doc) || record.size < sizeof(KS_UndoRecord)) {
    // The giver has let go of the item: drop it here.
    if (record.size >= sizeof(KS_UndoRecord) && record.Release) record.Release(record.clientData);
    return false;
  }
  return doc->undo.Add(caption, record);
}

bool Editor::BeginUndoGroup(KA_Document doc, const std::u16string& caption) {
  if (!IsLiveDocument(doc)) return false;
  doc->undo.BeginGroup(caption);
  return true;
}

bool Editor::EndUndoGroup(KA_Document doc) { return IsLiveDocument(doc) && doc->undo.EndGroup(); }

bool Editor::Undo(KA_Document doc) {
  if (!IsLiveDocument(doc) || !doc->undo.Undo()) return false;
  PaintIfNeeded();
  return true;
}

bool Editor::Redo(KA_Document doc) {
  if (!IsLiveDocument(doc) || !doc->undo.Redo()) return false;
  PaintIfNeeded();
  return true;
}

void Editor::SetEventSink(EventSink sink) {
  events_ = std::move(sink);
  if (!events_) {
    Tessel::Dialog::SetValueTraceSink(nullptr);
    return;
  }
  Tessel::Dialog::SetValueTraceSink([this](const std::u16string& element, const std::u16string& text) {
    Emit(PanelValueEvent{ToUtf8(element), ToUtf8(text)});
  });
}

void Editor::SetTrace(std::function<void(const std::string&)> trace) {
  if (!trace) return SetEventSink(nullptr);
  SetEventSink([trace = std::move(trace)](const EditorEvent& event) { trace(TraceText(event)); });
}

int Editor::AnswerMessage(const std::u16string& title, const std::u16string& text, uint32_t buttons) {
  MessageEvent shown{ToUtf8(title), ToUtf8(text)};
  messages_.push_back(shown.Shown());
  Emit(shown);
  if (messageAnswers_.empty()) {
    if (askMessage_)
      if (std::optional<int> answer = askMessage_(title, text, buttons)) return *answer;
    return 1;
  }
  int answer = messageAnswers_.front();
  messageAnswers_.pop_front();
  return answer;
}

void Editor::SetCursor(const std::string& name, int size) {
  std::string line = name + " " + std::to_string(size);
  if (line == cursor_) return;
  cursor_ = line;
  Emit(CursorEvent{name, size});
}

KA_Device Editor::WindowDevice(KA_PageView view) {
  if (!view || !IsLiveDocument(view->doc)) return nullptr;
  if (!window_) window_ = NewDevice();
  return window_;
}

void Editor::FlushWindow() {
  if (!window_) return;
  if (windowSink_) windowSink_(window_->items);
  for (const DrawItem& item : window_->items)
    if (item.kind != DrawItem::Kind::Appearance) Emit(DrawEvent{&item});
  ReleaseDevice(window_);
  window_ = nullptr;
}

void Editor::ShowMessageTip(const std::u16string& text) {
  if (text.empty()) return;
  tips_.push_back(ToUtf8(text));
  Emit(TipEvent{tips_.back()});
}

}  // namespace kshost
