// The editor's annotations: handles per dictionary, handlers and behaviour
// objects, selection, painting, the built-in selection tools and the
// commands on the selection.
#include <algorithm>
#include <functional>

#include "host/annot_edit.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/session.h"
#include "host/utf.h"
#include "tessel/translator.h"

namespace kshost {

bool AnnotationsWritable(KA_Document doc) { return !doc->readOnly && MayChangeAnnotations(doc->pdf); }

namespace {

// Undo item of an edit the editor made on its own: the dictionary before and
// after, as owned copies; applying one puts its keys back and rebuilds the
// appearance where the annotation's object can.
struct SnapshotUndo {
  KA_Annot annot;
  KPD_Object before;
  KPD_Object after;

  static void Apply(KA_Annot annot, KPD_Object state) {
    if (!Editor::Get().IsLiveAnnot(annot) || Editor::Get().PageIndexOf(annot) < 0) return;
    Editor::Get().InvalidateAnnot(annot);
    KS_ByteString key = direct::ByteStringNew("", 0);
    std::vector<std::string> keys;
    for (int i = 0, n = direct::DictKeyCount(annot->dict); i < n; ++i)
      if (direct::DictKeyAt(annot->dict, i, key)) keys.emplace_back(direct::ByteStringData(key), direct::ByteStringLength(key));
    for (const std::string& k : keys)
      if (!direct::DictHasKey(state, k.c_str())) direct::DictRemove(annot->dict, k.c_str());
    for (int i = 0, n = direct::DictKeyCount(state); i < n; ++i) {
      if (!direct::DictKeyAt(state, i, key)) continue;
      const std::string k(direct::ByteStringData(key), direct::ByteStringLength(key));
      direct::DictSet(annot->dict, k.c_str(), direct::DictGet(state, k.c_str()));
    }
    direct::ByteStringDestroy(key);
    if (edit::CanRegenerate(annot)) edit::Regenerate(annot);
    Editor::Get().InvalidateAnnot(annot);
  }

  static KS_UndoRecord Record(SnapshotUndo* item) {
    KS_UndoRecord r{};
    r.size = sizeof r;
    r.clientData = item;
    r.Undo = [](void* cd) { Apply(static_cast<SnapshotUndo*>(cd)->annot, static_cast<SnapshotUndo*>(cd)->before); };
    r.Redo = [](void* cd) { Apply(static_cast<SnapshotUndo*>(cd)->annot, static_cast<SnapshotUndo*>(cd)->after); };
    r.Release = [](void* cd) {
      auto* item = static_cast<SnapshotUndo*>(cd);
      direct::ObjectRelease(item->before);
      direct::ObjectRelease(item->after);
      delete item;
    };
    return r;
  }
};


// Undo item of deleted annotations: where each was, so that undo puts it
// back at its index and redo takes it out again.
struct DeleteUndo {
  struct Place {
    KA_Annot annot;
    int page;
    int index;
  };
  std::vector<Place> places;  // in the order removed: last index first

  static void Undo(void* cd) {
    auto* item = static_cast<DeleteUndo*>(cd);
    for (auto it = item->places.rbegin(); it != item->places.rend(); ++it) {
      if (!Editor::Get().IsLiveAnnot(it->annot) || Editor::Get().PageIndexOf(it->annot) >= 0) continue;
      KPD_Page page = direct::DocGetPage(it->annot->doc->pdf, it->page);
      if (page && direct::PageInsertAnnot(page, it->index, it->annot->dict)) Editor::Get().InvalidateAnnot(it->annot);
    }
  }
  static void Redo(void* cd) {
    for (const Place& p : static_cast<DeleteUndo*>(cd)->places) {
      if (!Editor::Get().IsLiveAnnot(p.annot) || Editor::Get().PageIndexOf(p.annot) != p.page) continue;
      KPD_Page page = direct::DocGetPage(p.annot->doc->pdf, p.page);
      Editor::Get().InvalidateAnnot(p.annot);
      direct::PageRemoveAnnot(page, direct::PageFindAnnot(page, p.annot->dict));
    }
  }
};

}  // namespace

bool EditAlone(KA_Annot annot, const char* captionKey, const std::function<bool()>& change) {
  KPD_Object before = direct::ObjectClone(annot->dict);
  if (!before || !change()) {
    direct::ObjectRelease(before);
    return false;
  }
  auto* item = new SnapshotUndo{annot, before, direct::ObjectClone(annot->dict)};
  Editor::Get().AddUndo(annot->doc, EditorText(captionKey), SnapshotUndo::Record(item));
  return true;
}

// ---- annotations -------------------------------------------------------------

bool Editor::IsLiveAnnot(KA_Annot annot) const { return annot && liveAnnots_.count(annot); }

bool Editor::IsLiveObject(KA_AnnotObject obj) const { return obj && liveObjects_.count(obj); }

KA_Annot Editor::AnnotFor(KA_Document doc, KPD_Dictionary dict) {
  if (!IsLiveDocument(doc) || direct::ObjectGetType(dict) != KPD_OBJ_DICTIONARY) return nullptr;
  for (const auto& a : doc->annots)
    if (a->dict == dict) return a.get();
  for (const auto& a : doc->annots)
    if (direct::ObjectIsIdentical(a->dict, dict)) return a.get();
  // Keep the document's own handle of the dictionary, which lives as long as
  // the document, never a handle the caller may release.
  KPD_Dictionary lent = nullptr;
  int pageIndex = 0;
  for (int p = 0, pages = direct::DocPageCount(doc->pdf); p < pages && !lent; ++p) {
    KPD_Page page = direct::DocGetPage(doc->pdf, p);
    const int i = direct::PageFindAnnot(page, dict);
    if (i >= 0) {
      lent = direct::PageGetAnnot(page, i);
      pageIndex = p;
    }
  }
  if (!lent && direct::ObjectIsIndirect(dict)) {
    KPD_Object o = direct::DocGetObject(doc->pdf, direct::ObjectGetObjNum(dict), direct::ObjectGetGenNum(dict));
    if (direct::ObjectIsIdentical(o, dict)) lent = o;
  }
  if (!lent) return nullptr;
  auto annot = std::make_unique<KA_Annot__>();
  annot->doc = doc;
  annot->dict = lent;
  annot->pageHint = pageIndex;
  liveAnnots_.insert(annot.get());
  doc->annots.push_back(std::move(annot));
  return doc->annots.back().get();
}

int Editor::PageIndexOf(KA_Annot annot) {
  if (!IsLiveAnnot(annot)) return -1;
  KPD_Document pdf = annot->doc->pdf;
  if (direct::PageFindAnnot(direct::DocGetPage(pdf, annot->pageHint), annot->dict) >= 0) return annot->pageHint;
  for (int p = 0, pages = direct::DocPageCount(pdf); p < pages; ++p) {
    if (direct::PageFindAnnot(direct::DocGetPage(pdf, p), annot->dict) >= 0) {
      annot->pageHint = p;
      return p;
    }
  }
  return -1;
}

std::vector<KA_Annot> Editor::PageAnnots(KA_Document doc, int pageIndex) {
  std::vector<KA_Annot> out;
  if (!IsLiveDocument(doc)) return out;
  KPD_Page page = direct::DocGetPage(doc->pdf, pageIndex);
  for (int i = 0, n = direct::PageAnnotCount(page); i < n; ++i)
    if (KA_Annot a = AnnotFor(doc, direct::PageGetAnnot(page, i))) {
      a->pageHint = pageIndex;
      out.push_back(a);
    }
  return out;
}

KA_AnnotHandler Editor::HandlerFor(KA_Annot annot) const {
  if (!IsLiveAnnot(annot) || handlers_.empty()) return nullptr;
  const std::string subtype = edit::Subtype(annot);
  const std::string intent = edit::NameText(direct::DictGet(annot->dict, "/IT"));
  if (subtype.empty()) return nullptr;
  for (const std::string& type : {intent.empty() ? std::string() : subtype + "/" + intent, subtype}) {
    if (type.empty()) continue;
    for (const auto& h : handlers_)
      if (h->type == type) return h.get();
  }
  return nullptr;
}

KA_AnnotObject Editor::ObjectFor(KA_Annot annot) {
  if (!IsLiveAnnot(annot)) return nullptr;
  if (annot->object || annot->creatingObject) return annot->object.get();
  KA_AnnotHandler handler = HandlerFor(annot);
  auto create = HandlerPosition<KS_AHCreateObjectProc>(handler, KS_AH_CREATE_OBJECT);
  if (!create) return nullptr;
  annot->creatingObject = true;
  create(handler->callbacks.clientData, annot, 0);
  annot->creatingObject = false;
  return annot->object.get();
}

KA_AnnotObject Editor::NewObject(KA_AnnotHandler handler, const KS_AnnotObjectCallbacks& record, KA_Annot annot,
                                 intptr_t value) {
  const bool known = std::any_of(handlers_.begin(), handlers_.end(), [&](const auto& h) { return h.get() == handler; });
  if (!known || !IsLiveAnnot(annot) || annot->object || record.size != sizeof(KS_AnnotObjectCallbacks)) return nullptr;
  annot->object = std::make_unique<KA_AnnotObject__>(KA_AnnotObject__{handler, record, annot, value});
  liveObjects_.insert(annot->object.get());
  return annot->object.get();
}

// Tells the objects' owners that the editor drops them: every object of the
// document, or only those of one handler.
void Editor::ReleaseObjects(KA_Document doc, KA_AnnotHandler handler) {
  for (const auto& a : doc->annots) {
    if (!a->object || (handler && a->object->handler != handler)) continue;
    std::unique_ptr<KA_AnnotObject__> object = std::move(a->object);
    liveObjects_.erase(object.get());
    if (auto release = reinterpret_cast<void (*)(void*)>(KS_RECORD_POSITION(object->record, KS_AO_RELEASE)))
      release(object->record.clientData);
  }
}

// ---- selection ----------------------------------------------------------------

// Receivers hear of a change of the selection or of its focus, not of a
// select that changed nothing.
void Editor::SelectionChanged(KA_Document doc, const SelectionState& before) {
  if (before.selection != doc->selection || before.focused != doc->focused)
    FireDocEvent(KS_DOCEVENT_SELECTION_CHANGED, doc);
}

std::vector<KA_Annot> Editor::Selection(KA_Document doc) {
  if (!IsLiveDocument(doc)) return {};
  auto& sel = doc->selection;
  sel.erase(std::remove_if(sel.begin(), sel.end(), [&](KA_Annot a) { return PageIndexOf(a) < 0; }), sel.end());
  if (std::find(sel.begin(), sel.end(), doc->focused) == sel.end()) doc->focused = nullptr;
  return sel;
}

std::vector<KA_Annot> Editor::SelectionFor(KA_Document doc, bool change, std::string* error) {
  std::vector<KA_Annot> selection = Selection(doc);
  if (selection.empty()) {
    *error = IsLiveDocument(doc) ? "nothing is selected" : "no document is open";
  } else if (change && !AnnotationsWritable(doc)) {
    *error = "the document is read-only";
    selection.clear();
  }
  return selection;
}

bool Editor::Select(KA_Document doc, KA_Annot annot, bool add) {
  if (!IsLiveDocument(doc) || !IsLiveAnnot(annot) || annot->doc != doc || PageIndexOf(annot) < 0) return false;
  const SelectionState before{doc->selection, doc->focused};
  if (!add) {
    for (KA_Annot a : Selection(doc)) InvalidateAnnot(a);
    doc->selection.clear();
  }
  if (std::find(doc->selection.begin(), doc->selection.end(), annot) == doc->selection.end())
    doc->selection.push_back(annot);
  if (doc->focused) InvalidateAnnot(doc->focused);
  doc->focused = annot;
  InvalidateAnnot(annot);
  SelectionChanged(doc, before);
  return true;
}

bool Editor::Deselect(KA_Document doc, KA_Annot annot) {
  if (!IsLiveDocument(doc)) return false;
  auto& sel = doc->selection;
  const auto it = std::find(sel.begin(), sel.end(), annot);
  if (it == sel.end()) return false;
  sel.erase(it);
  InvalidateAnnot(annot);
  if (doc->focused == annot) {
    doc->focused = sel.empty() ? nullptr : sel.back();
    if (doc->focused) InvalidateAnnot(doc->focused);
  }
  FireDocEvent(KS_DOCEVENT_SELECTION_CHANGED, doc);
  return true;
}

bool Editor::DeselectAll(KA_Document doc) {
  if (!IsLiveDocument(doc)) return false;
  const bool had = !Selection(doc).empty();
  for (KA_Annot a : doc->selection) InvalidateAnnot(a);
  doc->selection.clear();
  doc->focused = nullptr;
  if (had) FireDocEvent(KS_DOCEVENT_SELECTION_CHANGED, doc);
  return true;
}

KA_Annot Editor::Focused(KA_Document doc) {
  Selection(doc);
  return IsLiveDocument(doc) ? doc->focused : nullptr;
}

bool Editor::SetFocused(KA_Document doc, KA_Annot annot) {
  if (!IsLiveDocument(doc)) return false;
  if (!annot) {
    if (!doc->focused) return true;
    InvalidateAnnot(doc->focused);
    doc->focused = nullptr;
    FireDocEvent(KS_DOCEVENT_SELECTION_CHANGED, doc);
    return true;
  }
  return Select(doc, annot, true);
}

// ---- painting -----------------------------------------------------------------

void Editor::Invalidate(KA_Document doc, int pageIndex) {
  if (!IsLiveDocument(doc) || pageIndex < 0) return;
  if (std::find(doc->invalidPages.begin(), doc->invalidPages.end(), pageIndex) == doc->invalidPages.end())
    doc->invalidPages.push_back(pageIndex);
}

void Editor::InvalidateAnnot(KA_Annot annot) {
  if (IsLiveAnnot(annot)) Invalidate(annot->doc, PageIndexOf(annot));
}

void Editor::PaintIfNeeded() {
  KA_Document doc = current_;
  if (!doc) return;
  const bool dirty = std::find(doc->invalidPages.begin(), doc->invalidPages.end(), doc->activePage) !=
                     doc->invalidPages.end();
  if (dirty)
    if (KA_PageView view = View(doc->activePage)) Paint(view, false);
  // Pages out of view are painted when they come into view.
  doc->invalidPages.clear();
}

std::vector<DrawItem> Editor::Paint(KA_PageView view, bool keep) {
  if (!view || !IsLiveDocument(view->doc)) return {};
  KA_Document doc = view->doc;
  KA_Device device = NewDevice();
  // A long rubber band is redrawn whole after every click; copying its
  // points each time only pays when someone reads them.
  device->records = keep || events_;
  const std::vector<KA_Annot> selected = Selection(doc);
  for (KA_Annot annot : PageAnnots(doc, view->pageIndex)) {
    KA_AnnotHandler handler = HandlerFor(annot);
    if (auto draw = HandlerPosition<KS_AHDrawProc>(handler, KS_AH_DRAW)) {
      draw(handler->callbacks.clientData, view, device, ObjectFor(annot), 0);
      continue;
    }
    direct::AnnotDrawAppearance(annot, view, device);
    if (std::find(selected.begin(), selected.end(), annot) == selected.end()) continue;
    KS_FloatRect rect{};
    KS_DeviceRect box{};
    if (!direct::AnnotGetRect(annot, &rect) || !edit::PageRectToDevice(view, rect, &box)) continue;
    KA_Pen pen = direct::PenNew(annot == doc->focused ? 0x0000FFu : 0x000000u, 1, 0);
    KA_Brush brush = direct::BrushNew(0, 1);
    KA_Pen oldPen = direct::DeviceSelectPen(device, pen);
    KA_Brush oldBrush = direct::DeviceSelectBrush(device, brush);
    direct::DeviceRectangle(device, &box);
    direct::DeviceSelectPen(device, oldPen);
    direct::DeviceSelectBrush(device, oldBrush);
    direct::PenRelease(pen);
    direct::BrushRelease(brush);
  }
  // The current tool's feedback (a rubber band) on top of the annotations.
  if (currentTool_ && !currentTool_->builtIn && currentTool_->callbacks.Paint)
    currentTool_->callbacks.Paint(currentTool_->callbacks.clientData, view, device, 0, 0);
  std::vector<DrawItem> items = std::move(device->items);
  ReleaseDevice(device);
  if (events_)
    for (const DrawItem& item : items)
      if (item.kind != DrawItem::Kind::Appearance) Emit(DrawEvent{&item});
  return items;
}

// ---- the selection tools --------------------------------------------------------

KA_Annot Editor::HitTest(KA_PageView view, KS_DevicePoint pt) {
  const std::vector<KA_Annot> annots = PageAnnots(view->doc, view->pageIndex);
  const bool toolSelects = currentTool_ && (currentTool_->name == "Hand" || currentTool_->name == "Annot");
  for (auto it = annots.rbegin(); it != annots.rend(); ++it) {
    KA_Annot annot = *it;
    if (direct::AnnotGetFlags(annot) & 2u) continue;  // hidden
    KA_AnnotHandler handler = HandlerFor(annot);
    KA_AnnotObject obj = ObjectFor(annot);
    auto selectable = HandlerPosition<KS_AHObjectProc>(handler, KS_AH_IS_SELECTABLE);
    if (!(selectable && obj ? selectable(handler->callbacks.clientData, obj) != 0 : toolSelects)) continue;
    bool hit = false;
    if (auto test = HandlerPosition<KS_AHHitTestProc>(handler, KS_AH_HIT_TEST); test && obj) {
      hit = test(handler->callbacks.clientData, view, obj, pt) != 0;
    } else {
      KS_FloatRect rect{};
      KS_DeviceRect box{};
      hit = direct::AnnotGetRect(annot, &rect) && edit::PageRectToDevice(view, rect, &box) && pt.x >= box.left &&
            pt.x <= box.right && pt.y >= box.top && pt.y <= box.bottom;
    }
    if (hit) return annot;
  }
  return nullptr;
}

bool Editor::HandMouse(MouseEvent kind, KA_PageView view, KS_DevicePoint pt, uint32_t flags) {
  if (kind == MouseEvent::LeftUp) {
    const bool changed = drag_.annot && EndDrag(pt);
    drag_ = Drag{};
    return changed;
  }
  if (kind == MouseEvent::RightUp && !drag_.annot) return HandContextMenu(view, pt);
  if (kind != MouseEvent::LeftDown) return drag_.annot != nullptr;
  drag_ = Drag{};
  KA_Document doc = view->doc;
  KA_Annot target = HitTest(view, pt);
  if (!target) {
    DeselectAll(doc);
    return false;
  }
  const bool selected = std::find(doc->selection.begin(), doc->selection.end(), target) != doc->selection.end();
  if (flags & (KS_FLAG_SHIFT | KS_FLAG_CTRL)) {
    if (selected) return Deselect(doc, target);
    Select(doc, target, true);
  } else if (!selected) {
    Select(doc, target, false);
  } else {
    SetFocused(doc, target);
  }
  KS_FloatRect rect{};
  if (!direct::AnnotGetRect(target, &rect) || !edit::PageRectToDevice(view, rect, &drag_.rect)) return true;
  drag_.annot = target;
  drag_.view = view;
  drag_.start = pt;
  KA_AnnotHandler handler = HandlerFor(target);
  KA_AnnotObject obj = ObjectFor(target);
  if (auto handleAt = HandlerPosition<KS_AHHandleAtProc>(handler, KS_AH_HANDLE_AT); handleAt && obj)
    drag_.handle = handleAt(handler->callbacks.clientData, view, obj, &drag_.rect, pt, int32_t(flags));
  else
    drag_.handle = edit::HandleAt(target, view, drag_.rect, pt);
  // A press inside the hit area but off the rectangle still moves it.
  if (drag_.handle == KS_HANDLE_NONE) drag_.handle = KS_HANDLE_BODY;
  return true;
}

// The right button on an annotation selects it, as the left does, and
// shows its menu.
bool Editor::HandContextMenu(KA_PageView view, KS_DevicePoint pt) {
  KA_Document doc = view->doc;
  KA_Annot target = HitTest(view, pt);
  if (!target) return false;
  const auto& sel = doc->selection;
  if (std::find(sel.begin(), sel.end(), target) == sel.end())
    Select(doc, target, false);
  else
    SetFocused(doc, target);
  ShowAnnotMenu(view, target);
  return true;
}

bool Editor::EndDrag(KS_DevicePoint pt) {
  const Drag d = drag_;
  if ((pt.x == d.start.x && pt.y == d.start.y) || PageIndexOf(d.annot) < 0 || !AnnotationsWritable(d.annot->doc))
    return false;
  KA_AnnotHandler handler = HandlerFor(d.annot);
  KA_AnnotObject obj = ObjectFor(d.annot);
  void* cd = handler ? handler->callbacks.clientData : nullptr;
  if (d.handle >= KS_HANDLE_VERTEX) {
    const int index = d.handle - KS_HANDLE_VERTEX;
    if (auto movePoint = HandlerPosition<KS_AHMovePointProc>(handler, KS_AH_MOVE_POINT); movePoint && obj)
      return movePoint(cd, d.view, obj, index, pt) != 0;
    return EditAlone(d.annot, "IDS_EDITOR_UNDO_MOVE_POINT", [&] { return edit::MovePoint(d.annot, d.view, index, pt); });
  }
  const KS_DeviceRect to = edit::DraggedRect(d.rect, d.handle, pt.x - d.start.x, pt.y - d.start.y);
  const bool body = d.handle == KS_HANDLE_BODY;
  if (auto rects = HandlerPosition<KS_AHRectsProc>(handler, body ? KS_AH_MOVE : KS_AH_RESIZE); rects && obj)
    return rects(cd, d.view, obj, &d.rect, &to) != 0;
  if (body) return EditAlone(d.annot, "IDS_EDITOR_UNDO_MOVE", [&] { return edit::Move(d.annot, d.view, d.rect, to); });
  return EditAlone(d.annot, "IDS_EDITOR_UNDO_RESIZE", [&] { return edit::Resize(d.annot, d.view, d.rect, to); });
}

// ---- context menus ------------------------------------------------------------------

std::vector<std::pair<std::string, std::u16string>> Editor::AnnotMenu(KA_PageView view, KA_Annot annot) {
  KA_AnnotHandler handler = HandlerFor(annot);
  KA_AnnotObject obj = ObjectFor(annot);
  auto items = HandlerPosition<KS_AHMenuItemsProc>(handler, KS_AH_MENU_ITEMS);
  if (!items || !obj) return {};
  KA_Menu__ menu;
  items(handler->callbacks.clientData, view, obj, &menu);
  std::string line;
  for (const auto& [id, text] : menu.items) line += (line.empty() ? "" : " | ") + id + " " + ToUtf8(text);
  if (!line.empty()) Emit(MenuEvent{line});
  return menu.items;
}

namespace {

bool RunMenuItem(KA_AnnotHandler handler, KA_PageView view, KA_AnnotObject obj, const std::string& id) {
  auto run = HandlerPosition<KS_AHMenuRunProc>(handler, KS_AH_MENU_RUN);
  return run && obj && run(handler->callbacks.clientData, view, obj, id.c_str()) != 0;
}

}  // namespace

// The editor's own items follow the handler's: Delete takes the selection
// away, as the Delete key does; Properties asks the front end for its
// panel; Bring to front and Move to page arrange the selection.
bool Editor::ShowAnnotMenu(KA_PageView view, KA_Annot annot) {
  const auto items = AnnotMenu(view, annot);
  // A script answers menus it expects; one that never showed before must
  // not take the first item (Delete) unasked.
  if (items.empty() && !askMessage_) return false;
  enum class Own { Delete, Properties, Front, ToPage };
  std::vector<std::pair<Own, const char*>> own;
  if (AnnotationsWritable(view->doc)) own.push_back({Own::Delete, "IDS_EDITOR_MENU_DELETE"});
  own.push_back({Own::Properties, "IDS_EDITOR_MENU_PROPERTIES"});
  if (AnnotationsWritable(view->doc)) {
    own.push_back({Own::Front, "IDS_EDITOR_MENU_TO_FRONT"});
    if (direct::DocPageCount(view->doc->pdf) > 1) own.push_back({Own::ToPage, "IDS_EDITOR_MENU_TO_PAGE"});
  }
  std::u16string text;
  for (size_t i = 0; i < items.size(); ++i) text += (i ? u" | " : u"") + items[i].second;
  for (const auto& [which, key] : own) text += (text.empty() ? u"" : u" | ") + EditorText(key);
  const int chosen = AnswerMessage(u"menu", text);
  if (chosen < 1 || size_t(chosen) > items.size() + own.size()) return false;
  std::string why;
  bool ran = false;
  if (size_t(chosen) <= items.size()) {
    ran = RunMenuItem(HandlerFor(annot), view, ObjectFor(annot), items[size_t(chosen) - 1].first);
  } else {
    switch (own[size_t(chosen) - items.size() - 1].first) {
      case Own::Delete: ran = Command(view->doc, KS_COMMAND_DELETE, &why); break;
      case Own::Properties:
        ++propertiesAsked_;
        Emit(NoteEvent{"properties: shown"});
        ran = true;
        break;
      case Own::Front: ran = BringToFront(view->doc, &why); break;
      case Own::ToPage: ran = AskMoveToPage(view->doc, &why); break;
    }
  }
  PaintIfNeeded();
  return ran;
}

bool Editor::RunAnnotMenuItem(KA_Document doc, const std::string& itemId, std::string* error) {
  KA_Annot annot = Focused(doc);
  if (!annot) {
    *error = IsLiveDocument(doc) ? "no annotation is focused" : "no document is open";
    return false;
  }
  const int page = PageIndexOf(annot);
  KA_PageView view = doc == current_ && page >= 0 ? View(page) : nullptr;
  const auto items = AnnotMenu(view, annot);
  std::string names;
  for (const auto& item : items) names += (names.empty() ? "" : ", ") + item.first;
  if (std::none_of(items.begin(), items.end(), [&](const auto& item) { return item.first == itemId; })) {
    *error = "the focused annotation's menu has no item " + itemId + (names.empty() ? " (it has none)" : " (items: " + names + ")");
    return false;
  }
  const bool ran = RunMenuItem(HandlerFor(annot), view, ObjectFor(annot), itemId);
  PaintIfNeeded();
  if (!ran) *error = "menu item " + itemId + " changed nothing";
  return ran;
}

// ---- commands ---------------------------------------------------------------------

bool Editor::Rotate(KA_Annot annot, int degrees) {
  const int page = PageIndexOf(annot);
  if (page < 0 || !AnnotationsWritable(annot->doc)) return false;
  KA_PageView view = annot->doc == current_ ? View(page) : nullptr;
  KA_AnnotHandler handler = HandlerFor(annot);
  KA_AnnotObject obj = ObjectFor(annot);
  if (auto rotate = HandlerPosition<KS_AHRotateProc>(handler, KS_AH_ROTATE); rotate && obj)
    return rotate(handler->callbacks.clientData, view, obj, degrees) != 0;
  return EditAlone(annot, "IDS_EDITOR_UNDO_ROTATE", [&] { return edit::Rotate(annot, degrees); });
}

bool Editor::RotateFocused(KA_Document doc, int degrees, std::string* error) {
  KA_Annot annot = Focused(doc);
  if (!annot) {
    *error = IsLiveDocument(doc) ? "no annotation is focused" : "no document is open";
    return false;
  }
  if (!AnnotationsWritable(doc)) {
    *error = "the document is read-only";
    return false;
  }
  const bool ok = Rotate(annot, degrees);
  PaintIfNeeded();
  if (!ok) *error = "the focused annotation was not rotated";
  return ok;
}

// Each selected annotation moves through its handler, as a drag of its
// body would, on a view at zoom 1 so that a device pixel is one point.
bool Editor::NudgeSelection(KA_Document doc, int dx, int dy, std::string* error) {
  const std::vector<KA_Annot> selection = SelectionFor(doc, true, error);
  if (selection.empty()) return false;
  bool changed = false;
  BeginUndoGroup(doc, EditorText("IDS_EDITOR_UNDO_MOVE"));
  for (KA_Annot annot : selection) {
    const int page = PageIndexOf(annot);
    KA_PageView view = doc == current_ && page >= 0 ? View(page) : nullptr;
    if (!view) continue;
    const float zoom = view->zoom;
    view->zoom = 1;
    RecomputeView(view);
    KS_FloatRect rect{};
    KS_DeviceRect from{};
    if (direct::AnnotGetRect(annot, &rect) && edit::PageRectToDevice(view, rect, &from)) {
      const KS_DeviceRect to{from.left + dx, from.top + dy, from.right + dx, from.bottom + dy};
      KA_AnnotHandler handler = HandlerFor(annot);
      KA_AnnotObject obj = ObjectFor(annot);
      bool moved;
      if (auto rects = HandlerPosition<KS_AHRectsProc>(handler, KS_AH_MOVE); rects && obj)
        moved = rects(handler->callbacks.clientData, view, obj, &from, &to) != 0;
      else
        moved = EditAlone(annot, "IDS_EDITOR_UNDO_MOVE", [&] { return edit::Move(annot, view, from, to); });
      changed = moved || changed;
    }
    view->zoom = zoom;
    RecomputeView(view);
  }
  EndUndoGroup(doc);
  PaintIfNeeded();
  if (!changed) *error = "the selection did not move";
  return changed;
}

bool Editor::Command(KA_Document doc, int command, std::string* error) {
  const std::string number = std::to_string(command);
  if (!IsLiveDocument(doc)) {
    *error = "no document is open";
    return false;
  }
  const std::vector<KA_Annot> selection = Selection(doc);
  if (selection.empty()) {
    *error = "nothing is selected";
    return false;
  }
  for (KA_Annot annot : selection) {
    KA_AnnotHandler handler = HandlerFor(annot);
    auto enabled = HandlerPosition<KS_AHCommandProc>(handler, KS_AH_COMMAND_ENABLED);
    if (enabled && !enabled(handler->callbacks.clientData, doc, command)) {
      *error = "command " + number + " is not available for the selection";
      return false;
    }
  }
  if (command != KS_COMMAND_DELETE && command != KS_COMMAND_ROTATE_LEFT && command != KS_COMMAND_ROTATE_RIGHT) {
    *error = "unknown command " + number;
    return false;
  }
  if (!AnnotationsWritable(doc)) {
    *error = "the document is read-only";
    return false;
  }
  bool changed = false;
  if (command == KS_COMMAND_DELETE) {
    std::vector<DeleteUndo::Place> places;
    auto take = [&](KA_Annot annot) {
      const int page = PageIndexOf(annot);
      if (page < 0 || std::any_of(places.begin(), places.end(), [&](const auto& p) { return p.annot == annot; }))
        return;
      places.push_back({annot, page, direct::PageFindAnnot(direct::DocGetPage(doc->pdf, page), annot->dict)});
    };
    // A pop-up note goes with the annotation it belongs to.
    for (KA_Annot annot : selection) {
      take(annot);
      if (KA_Annot popup = AnnotFor(doc, direct::DictGet(annot->dict, "/Popup"))) take(popup);
    }
    // Last index first, so that the indices of the others stay right.
    std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) {
      return a.page != b.page ? a.page > b.page : a.index > b.index;
    });
    const SelectionState before{doc->selection, doc->focused};
    auto* item = new DeleteUndo;
    for (const DeleteUndo::Place& p : places) {
      InvalidateAnnot(p.annot);
      if (direct::PageRemoveAnnot(direct::DocGetPage(doc->pdf, p.page), p.index)) item->places.push_back(p);
    }
    changed = !item->places.empty();
    KS_UndoRecord r{};
    r.size = sizeof r;
    r.clientData = item;
    r.Undo = &DeleteUndo::Undo;
    r.Redo = &DeleteUndo::Redo;
    r.Release = [](void* cd) { delete static_cast<DeleteUndo*>(cd); };
    if (changed)
      AddUndo(doc, EditorText("IDS_EDITOR_UNDO_DELETE"), r);
    else
      delete item;
    // What was deleted leaves the selection, and receivers hear of it.
    Selection(doc);
    SelectionChanged(doc, before);
  } else {
    const int degrees = command == KS_COMMAND_ROTATE_LEFT ? 90 : -90;
    BeginUndoGroup(doc, EditorText("IDS_EDITOR_UNDO_ROTATE"));
    for (KA_Annot annot : selection) changed = Rotate(annot, degrees) || changed;
    EndUndoGroup(doc);
  }
  PaintIfNeeded();
  if (!changed) *error = "command " + number + " changed nothing";
  return changed;
}

std::u16string EditorText(const char* key) {
  Tessel::Translator& tr = Tessel::Translator::GetInstance();
  if (!tr.HasTranslation("Editor", key)) tr.LoadStrings("Editor");
  return tr.Translate("Editor", key, u"");
}

namespace direct {

int32_t MenuAddItem(KA_Menu menu, const char* itemId, const char16_t* text) {
  if (!menu || !itemId || !*itemId) return 0;
  auto& items = menu->items;
  if (std::any_of(items.begin(), items.end(), [&](const auto& item) { return item.first == itemId; })) return 0;
  items.emplace_back(itemId, text ? text : u"");
  return 1;
}

int32_t MenuItemCount(KA_Menu menu) { return menu ? static_cast<int32_t>(menu->items.size()) : 0; }

}  // namespace direct

}  // namespace kshost
