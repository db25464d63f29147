// The editor's commands that arrange the selection: select all, copy and
// paste, bring to front, move to another page, and properties set from a
// panel. Each change is one undo step.
#include <algorithm>
#include <cstdio>
#include <random>

#include "host/annot_edit.h"
#include "host/annot_props.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/session.h"
#include "host/utf.h"
#include "tessel/dialog.h"

namespace kshost {
namespace {

// Where an annotation sits: its page and its place in that page's /Annots.
struct Place {
  KA_Annot annot = nullptr;
  int page = -1;
  int index = -1;
};

int IndexOn(KA_Annot annot, int page) {
  return direct::PageFindAnnot(direct::DocGetPage(annot->doc->pdf, page), annot->dict);
}

// Takes the annotation out of the page it is on and inserts it at `index`
// of page `to` (-1: the end). False, with the annotation where it was, when
// either page refuses.
bool PutAt(KA_Annot annot, int to, int index) {
  Editor& editor = Editor::Get();
  const int from = editor.PageIndexOf(annot);
  if (from < 0) return false;
  KPD_Page source = direct::DocGetPage(annot->doc->pdf, from), target = direct::DocGetPage(annot->doc->pdf, to);
  const int at = direct::PageFindAnnot(source, annot->dict);
  if (!target || at < 0) return false;
  editor.InvalidateAnnot(annot);
  if (!direct::PageRemoveAnnot(source, at)) return false;
  if (!direct::PageInsertAnnot(target, index, annot->dict)) {
    direct::PageInsertAnnot(source, at, annot->dict);
    return false;
  }
  editor.InvalidateAnnot(annot);
  return true;
}

// Undo item of annotations that changed place, each recorded in the order
// the change made: undo puts them back newest first.
struct PlacesUndo {
  struct Move {
    KA_Annot annot;
    Place from, to;  // to.index -1: the end
  };
  std::vector<Move> moves;

  static void Apply(void* cd, bool undo) {
    auto& moves = static_cast<PlacesUndo*>(cd)->moves;
    auto one = [&](const Move& m) {
      if (!Editor::Get().IsLiveAnnot(m.annot) || Editor::Get().PageIndexOf(m.annot) < 0) return;
      const Place& p = undo ? m.from : m.to;
      PutAt(m.annot, p.page, p.index);
    };
    if (undo)
      std::for_each(moves.rbegin(), moves.rend(), one);
    else
      std::for_each(moves.begin(), moves.end(), one);
  }
  static KS_UndoRecord Record(PlacesUndo* item) {
    KS_UndoRecord r{};
    r.size = sizeof r;
    r.clientData = item;
    r.Undo = [](void* cd) { Apply(cd, true); };
    r.Redo = [](void* cd) { Apply(cd, false); };
    r.Release = [](void* cd) { delete static_cast<PlacesUndo*>(cd); };
    return r;
  }
};

// Undo item of pasted annotations: undo takes them off their page, redo
// puts them back at the end where they were.
struct PasteUndo {
  std::vector<Place> placed;

  static void Undo(void* cd) {
    auto& placed = static_cast<PasteUndo*>(cd)->placed;
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      const int page = Editor::Get().PageIndexOf(it->annot);
      if (page < 0) continue;
      Editor::Get().InvalidateAnnot(it->annot);
      KPD_Page p = direct::DocGetPage(it->annot->doc->pdf, page);
      direct::PageRemoveAnnot(p, direct::PageFindAnnot(p, it->annot->dict));
    }
  }
  static void Redo(void* cd) {
    for (const Place& p : static_cast<PasteUndo*>(cd)->placed) {
      if (!Editor::Get().IsLiveAnnot(p.annot) || Editor::Get().PageIndexOf(p.annot) >= 0) continue;
      if (direct::PageInsertAnnot(direct::DocGetPage(p.annot->doc->pdf, p.page), p.index, p.annot->dict))
        Editor::Get().InvalidateAnnot(p.annot);
    }
  }
};

// A moved annotation is kept this far inside a smaller page's crop box, a
// little more than the rounding of the view (at kFitZoom) that a handler
// moves it in.
constexpr float kFitZoom = 16;
constexpr float kFitMargin = 0.25f;

// Moves an annotation that lies off page `pageIndex` inside the page's crop
// box, made smaller first when it is larger than the page; by its handler
// (in a view of the page) when it has one, else by the editor. Recorded for
// undo; false when it lay on the page already or could not be moved.
bool FitOnPage(KA_Annot annot, int pageIndex) {
  Editor& editor = Editor::Get();
  KPD_Page page = direct::DocGetPage(annot->doc->pdf, pageIndex);
  KS_FloatRect crop{}, rect{};
  if (!page || !direct::PageGetBox(page, "CropBox", &crop) || !direct::AnnotGetRect(annot, &rect)) return false;
  if (rect.left >= crop.left && rect.bottom >= crop.bottom && rect.right <= crop.right && rect.top <= crop.top)
    return false;
  const KS_FloatRect to = edit::FitInside(rect, crop, kFitMargin);
  if (to.left == rect.left && to.bottom == rect.bottom && to.right == rect.right && to.top == rect.top) return false;
  const bool smaller = to.right - to.left < rect.right - rect.left || to.top - to.bottom < rect.top - rect.bottom;
  KA_AnnotHandler handler = editor.HandlerFor(annot);
  KA_AnnotObject obj = editor.ObjectFor(annot);
  auto rects = HandlerPosition<KS_AHRectsProc>(handler, smaller ? KS_AH_RESIZE : KS_AH_MOVE);
  if (!rects || !obj)
    return EditAlone(annot, smaller ? "IDS_EDITOR_UNDO_RESIZE" : "IDS_EDITOR_UNDO_MOVE",
                     [&] { return edit::MapRect(annot, rect, to); });
  KA_PageView view = annot->doc == editor.CurrentDocument() ? editor.View(pageIndex) : nullptr;
  if (!view) return false;
  const float zoom = view->zoom;
  view->zoom = kFitZoom;
  editor.RecomputeView(view);
  KS_DeviceRect from{}, dest{};
  const bool moved = edit::PageRectToDevice(view, rect, &from) && edit::PageRectToDevice(view, to, &dest) &&
                     rects(handler->callbacks.clientData, view, obj, &from, &dest) != 0;
  view->zoom = zoom;
  editor.RecomputeView(view);
  return moved;
}

// Keeps an annotation just moved to page `pageIndex` on that page. A
// handler's annotation may keep margins of its own that do not shrink with
// its geometry (a measurement's caption): made smaller, it is looked at
// again, each time closer, a few times at most.
void KeepOnPage(KA_Annot annot, int pageIndex) {
  for (int pass = 0; pass < 4 && FitOnPage(annot, pageIndex); ++pass) {
  }
}

// A fresh annotation name: 32 random hexadecimal digits in the layout of a
// UUID (version 4).
std::string FreshName() {
  static std::mt19937_64 rng{std::random_device{}()};
  const uint64_t a = rng(), b = rng();
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-4%03x-%04x-%012llx", unsigned(a >> 32), unsigned((a >> 16) & 0xFFFF),
                unsigned(a & 0xFFF), unsigned(0x8000 | ((b >> 48) & 0x3FFF)),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return text;
}

// The appearance dictionary with every stream (also those of appearance
// states) copied, so that the copy's appearance is its own.
void CopyAppearance(KPD_Dictionary copy) {
  KPD_Object ap = direct::DictGet(copy, "/AP");
  if (!ap || direct::ObjectGetType(ap) != KPD_OBJ_DICTIONARY) return;
  KPD_Dictionary fresh = direct::DictNew();
  for (const char* which : {"/N", "/D", "/R"}) {
    KPD_Object v = direct::DictGet(ap, which);
    if (!v) continue;
    if (direct::ObjectGetType(v) == KPD_OBJ_STREAM) {
      KPD_Object stream = direct::ObjectClone(v);
      direct::DictSet(fresh, which, stream);
      direct::ObjectRelease(stream);
    } else if (direct::ObjectGetType(v) == KPD_OBJ_DICTIONARY) {
      KPD_Dictionary states = direct::DictNew();
      KS_ByteString key = direct::ByteStringNew("", 0);
      for (int i = 0, n = direct::DictKeyCount(v); i < n; ++i) {
        if (!direct::DictKeyAt(v, i, key)) continue;
        const std::string k(direct::ByteStringData(key), direct::ByteStringLength(key));
        KPD_Object state = direct::DictGet(v, k.c_str());
        if (direct::ObjectGetType(state) != KPD_OBJ_STREAM) continue;
        KPD_Object stream = direct::ObjectClone(state);
        direct::DictSet(states, k.c_str(), stream);
        direct::ObjectRelease(stream);
      }
      direct::ByteStringDestroy(key);
      direct::DictSet(fresh, which, states);
      direct::ObjectRelease(states);
    }
  }
  direct::DictSet(copy, "/AP", fresh);
  direct::ObjectRelease(fresh);
}

// A copy of an annotation dictionary fit to be placed as a new annotation.
KPD_Object CopyOf(KPD_Dictionary dict) {
  KPD_Object copy = direct::ObjectClone(dict);
  if (!copy) return nullptr;
  for (const char* key : {"/P", "/Popup", "/IRT", "/RT", "/StructParent"}) direct::DictRemove(copy, key);
  CopyAppearance(copy);
  return copy;
}

}  // namespace

void Editor::ClearClipboard() {
  for (KPD_Object o : clipboard_) direct::ObjectRelease(o);
  clipboard_.clear();
  clipboardDoc_ = nullptr;
  pastes_ = 0;
}

bool Editor::SelectAll(KA_Document doc, int pageIndex) {
  if (!IsLiveDocument(doc)) return false;
  std::vector<KA_Annot> all;
  for (KA_Annot annot : PageAnnots(doc, pageIndex)) {
    if (direct::AnnotGetFlags(annot) & 2u) continue;  // hidden
    KA_AnnotHandler handler = HandlerFor(annot);
    KA_AnnotObject obj = ObjectFor(annot);
    auto selectable = HandlerPosition<KS_AHObjectProc>(handler, KS_AH_IS_SELECTABLE);
    if (selectable && obj && !selectable(handler->callbacks.clientData, obj)) continue;
    // A pop-up goes with its annotation; on its own it is not selected.
    if (edit::Subtype(annot) == "Popup") continue;
    all.push_back(annot);
  }
  if (all.empty()) return false;
  Select(doc, all.front(), false);
  for (size_t i = 1; i < all.size(); ++i) Select(doc, all[i], true);
  PaintIfNeeded();
  return true;
}

bool Editor::CopySelection(KA_Document doc, std::string* error) {
  const std::vector<KA_Annot> selection = SelectionFor(doc, false, error);
  if (selection.empty()) return false;
  ClearClipboard();
  for (KA_Annot annot : selection)
    if (KPD_Object copy = CopyOf(annot->dict)) clipboard_.push_back(copy);
  clipboardDoc_ = doc;
  return !clipboard_.empty();
}

bool Editor::Paste(KA_Document doc, int pageIndex, std::string* error) {
  if (!IsLiveDocument(doc) || clipboardDoc_ != doc || clipboard_.empty()) {
    *error = "nothing was copied in this document";
    return false;
  }
  if (!AnnotationsWritable(doc)) {
    *error = "the document is read-only";
    return false;
  }
  KPD_Page page = direct::DocGetPage(doc->pdf, pageIndex);
  if (!page) {
    *error = "the document has no page " + std::to_string(pageIndex + 1);
    return false;
  }
  const double offset = 10.0 * ++pastes_;
  auto* item = new PasteUndo;
  std::vector<KA_Annot> pasted;
  for (KPD_Object original : clipboard_) {
    KPD_Object copy = CopyOf(original);
    if (!copy) continue;
    const std::string name = FreshName();
    KPD_Object nm = direct::StringNew(name.data(), name.size());
    direct::DictSet(copy, "/NM", nm);
    direct::ObjectRelease(nm);
    KPD_Dictionary placed = direct::PageInsertAnnot(page, -1, copy);
    direct::ObjectRelease(copy);
    KA_Annot annot = placed ? AnnotFor(doc, placed) : nullptr;
    if (!annot) continue;
    // Right and down on the page: y grows upwards in page space.
    edit::MoveBy(annot, offset, -offset);
    item->placed.push_back({annot, pageIndex, IndexOn(annot, pageIndex)});
    pasted.push_back(annot);
  }
  if (pasted.empty()) {
    delete item;
    *error = "nothing could be pasted";
    return false;
  }
  KS_UndoRecord r{};
  r.size = sizeof r;
  r.clientData = item;
  r.Undo = &PasteUndo::Undo;
  r.Redo = &PasteUndo::Redo;
  r.Release = [](void* cd) { delete static_cast<PasteUndo*>(cd); };
  AddUndo(doc, EditorText("IDS_EDITOR_UNDO_PASTE"), r);
  Select(doc, pasted.front(), false);
  for (size_t i = 1; i < pasted.size(); ++i) Select(doc, pasted[i], true);
  PaintIfNeeded();
  return true;
}

bool Editor::BringToFront(KA_Document doc, std::string* error) {
  std::vector<KA_Annot> selection = SelectionFor(doc, true, error);
  if (selection.empty()) return false;
  std::vector<Place> places;
  for (KA_Annot annot : selection) {
    const int page = PageIndexOf(annot);
    places.push_back({annot, page, IndexOn(annot, page)});
  }
  // In the order they are drawn, so that they keep it among themselves.
  std::sort(places.begin(), places.end(),
            [](const Place& a, const Place& b) { return a.page != b.page ? a.page < b.page : a.index < b.index; });
  // A page whose selected annotations are its last ones already stays as
  // it is; on another, each goes to the end in turn.
  std::vector<int> settled;
  for (size_t i = 0; i < places.size();) {
    size_t j = i;
    while (j < places.size() && places[j].page == places[i].page) ++j;
    const int count = direct::PageAnnotCount(direct::DocGetPage(doc->pdf, places[i].page));
    if (places[i].index == count - int(j - i)) settled.push_back(places[i].page);
    i = j;
  }
  auto* item = new PlacesUndo;
  for (const Place& p : places) {
    if (std::find(settled.begin(), settled.end(), p.page) != settled.end()) continue;
    const int now = IndexOn(p.annot, p.page);
    if (now >= 0 && PutAt(p.annot, p.page, -1))
      item->moves.push_back({p.annot, {p.annot, p.page, now}, {p.annot, p.page, -1}});
  }
  if (item->moves.empty()) {
    delete item;
    *error = "the selection is in front already";
    return false;
  }
  AddUndo(doc, EditorText("IDS_EDITOR_UNDO_TO_FRONT"), PlacesUndo::Record(item));
  PaintIfNeeded();
  return true;
}

bool Editor::MoveSelectionToPage(KA_Document doc, int pageIndex, std::string* error) {
  const std::vector<KA_Annot> selection = SelectionFor(doc, false, error);
  if (selection.empty()) return false;
  if (pageIndex < 0 || pageIndex >= direct::DocPageCount(doc->pdf)) {
    *error = "the document has no page " + std::to_string(pageIndex + 1);
    return false;
  }
  if (!AnnotationsWritable(doc)) {
    *error = "the document is read-only";
    return false;
  }
  bool changed = false;
  BeginUndoGroup(doc, EditorText("IDS_EDITOR_UNDO_TO_PAGE"));
  auto* own = new PlacesUndo;
  for (KA_Annot annot : selection) {
    const int from = PageIndexOf(annot);
    if (from < 0 || from == pageIndex) continue;
    KA_AnnotHandler handler = HandlerFor(annot);
    KA_AnnotObject obj = ObjectFor(annot);
    if (auto toPage = HandlerPosition<KS_AHMoveToPageProc>(handler, KS_AH_MOVE_TO_PAGE); toPage && obj) {
      if (toPage(handler->callbacks.clientData, obj, pageIndex) == 0) continue;
      KeepOnPage(annot, pageIndex);
      changed = true;
      continue;
    }
    const Place was{annot, from, IndexOn(annot, from)};
    KA_Annot popup = AnnotFor(doc, direct::DictGet(annot->dict, "/Popup"));
    const bool popupAlong = popup && PageIndexOf(popup) == from;
    if (!PutAt(annot, pageIndex, -1)) continue;
    own->moves.push_back({annot, was, {annot, pageIndex, -1}});
    if (popupAlong) {
      const Place popupWas{popup, from, IndexOn(popup, from)};
      if (PutAt(popup, pageIndex, -1)) own->moves.push_back({popup, popupWas, {popup, pageIndex, -1}});
    }
    changed = true;
  }
  // The places first, so that undo brings back where the annotations lay
  // on the page before it puts them back on theirs.
  std::vector<KA_Annot> moved;
  for (const PlacesUndo::Move& m : own->moves) moved.push_back(m.annot);
  if (own->moves.empty())
    delete own;
  else
    AddUndo(doc, EditorText("IDS_EDITOR_UNDO_TO_PAGE"), PlacesUndo::Record(own));
  for (KA_Annot annot : moved) KeepOnPage(annot, pageIndex);
  EndUndoGroup(doc);
  PaintIfNeeded();
  if (!changed) *error = "nothing moved to page " + std::to_string(pageIndex + 1);
  return changed;
}

bool Editor::AskMoveToPage(KA_Document doc, std::string* error) {
  if (SelectionFor(doc, false, error).empty()) return false;
  const int pages = direct::DocPageCount(doc->pdf);
  Tessel::Dialog dialog(u"editor_move_to_page.ui.kw", nullptr);
  const int here = PageIndexOf(Selection(doc).front());
  dialog.SetInitHook([&](Tessel::Dialog& d) {
    d.SetWindowTitle(EditorText("IDS_EDITOR_TO_PAGE_TITLE"));
    if (auto label = d.GetElement<Tessel::Label>(u"labelPage"))
      label->SetText(EditorText("IDS_EDITOR_TO_PAGE_LABEL") + u" (1–" + ToUtf16(std::to_string(pages)) + u")");
    if (auto edit = d.GetElement<Tessel::Edit>(u"lineEditPage"))
      edit->SetText(ToUtf16(std::to_string(here + 2 <= pages ? here + 2 : 1)));
  });
  if (dialog.DoModal() != Tessel::kDialogOk) {
    *error = "the move was cancelled";
    return false;
  }
  auto edit = dialog.GetElement<Tessel::Edit>(u"lineEditPage");
  const std::string text = edit ? ToUtf8(edit->GetText()) : std::string();
  int page = 0;
  const bool digits = !text.empty() && text.size() < 7 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) page = std::stoi(text);
  if (page < 1 || page > pages) {
    *error = "'" + text.substr(0, 20) + "' is not a page of this document (1 to " + std::to_string(pages) + ")";
    return false;
  }
  return MoveSelectionToPage(doc, page - 1, error);
}

bool Editor::SetSelectionProperty(KA_Document doc, const KS_AnnotPropertyValue& value, std::string* error) {
  const std::vector<KA_Annot> selection = SelectionFor(doc, true, error);
  if (selection.empty()) return false;
  bool changed = false;
  BeginUndoGroup(doc, EditorText("IDS_EDITOR_UNDO_PROPERTIES"));
  for (KA_Annot annot : selection) {
    KA_AnnotHandler handler = HandlerFor(annot);
    KA_AnnotObject obj = ObjectFor(annot);
    if (auto set = HandlerPosition<KS_AHSetPropertyProc>(handler, KS_AH_SET_PROPERTY); set && obj) {
      InvalidateAnnot(annot);
      changed = set(handler->callbacks.clientData, obj, &value) != 0 || changed;
    }
  }
  EndUndoGroup(doc);
  PaintIfNeeded();
  if (!changed) *error = "the selection has no such property or has that value already";
  return changed;
}

}  // namespace kshost

namespace kshost {
namespace {

std::vector<float> NumbersOf(KPD_Object array) {
  std::vector<float> numbers;
  if (!array || direct::ObjectGetType(array) != KPD_OBJ_ARRAY) return numbers;
  numbers.resize(size_t(std::clamp(direct::ArrayCount(array), 0, 16)));
  numbers.resize(size_t(std::max(0, direct::ArrayGetNumbers(array, numbers.data(), int32_t(numbers.size())))));
  return numbers;
}

// A colour array as RGB: grey, RGB or CMYK; none for an empty or odd one.
std::optional<std::array<float, 3>> ColourOf(KPD_Object array) {
  const std::vector<float> c = NumbersOf(array);
  auto clamp = [](float v) { return std::clamp(v, 0.0f, 1.0f); };
  if (c.size() == 1) return std::array<float, 3>{clamp(c[0]), clamp(c[0]), clamp(c[0])};
  if (c.size() == 3) return std::array<float, 3>{clamp(c[0]), clamp(c[1]), clamp(c[2])};
  if (c.size() == 4) {
    const float k = clamp(c[3]);
    return std::array<float, 3>{(1 - clamp(c[0])) * (1 - k), (1 - clamp(c[1])) * (1 - k), (1 - clamp(c[2])) * (1 - k)};
  }
  return std::nullopt;
}

}  // namespace

AnnotProps ReadAnnotProps(KA_Annot annot) {
  AnnotProps p;
  if (!Editor::Get().IsLiveAnnot(annot)) return p;
  KPD_Dictionary d = annot->dict;
  p.subtype = edit::NameText(direct::DictGet(d, "/Subtype"));
  p.intent = edit::NameText(direct::DictGet(d, "/IT"));
  p.subject = edit::TextOf(d, "/Subj");
  p.contents = edit::TextOf(d, "/Contents");
  p.label = edit::TextOf(d, "/Label");
  p.color = ColourOf(direct::DictGet(d, "/C"));
  p.fill = ColourOf(direct::DictGet(d, "/IC"));
  KPD_Object bs = direct::DictGet(d, "/BS");
  if (bs && direct::ObjectGetType(bs) == KPD_OBJ_DICTIONARY) {
    if (KPD_Object w = direct::DictGet(bs, "/W")) p.width = float(direct::ObjectGetNumber(w));
    if (edit::NameText(direct::DictGet(bs, "/S")) == "D") {
      const std::vector<float> dashes = NumbersOf(direct::DictGet(bs, "/D"));
      p.dash = dashes.empty() ? 3 : dashes[0];
    }
  } else if (const std::vector<float> border = NumbersOf(direct::DictGet(d, "/Border")); border.size() >= 3) {
    p.width = border[2];
  }
  if (KPD_Object ca = direct::DictGet(d, "/CA")) p.opacity = std::clamp(float(direct::ObjectGetNumber(ca)), 0.0f, 1.0f);
  p.lineEndings = p.subtype == "Line" || p.subtype == "PolyLine";
  KPD_Object le = direct::DictGet(d, "/LE");
  if (le && direct::ObjectGetType(le) == KPD_OBJ_ARRAY && direct::ArrayCount(le) == 2) {
    p.lineStart = edit::NameText(direct::ArrayGet(le, 0));
    p.lineEnd = edit::NameText(direct::ArrayGet(le, 1));
  }
  KA_AnnotHandler handler = Editor::Get().HandlerFor(annot);
  p.settable = HandlerPosition<KS_AHSetPropertyProc>(handler, KS_AH_SET_PROPERTY) && AnnotationsWritable(annot->doc);
  KA_AnnotObject obj = Editor::Get().ObjectFor(annot);
  auto get = HandlerPosition<KS_AHGetPropertyProc>(handler, KS_AH_GET_PROPERTY);
  if (!get || !obj) return p;
  auto rgb = [](const KS_AnnotPropertyValue& v) {
    return v.none ? std::nullopt : std::optional<std::array<float, 3>>({v.rgb[0], v.rgb[1], v.rgb[2]});
  };
  for (int32_t code = KS_PROP_COLOR; code <= KS_PROP_FONT_COLOR; ++code) {
    KS_AnnotPropertyValue v{};
    v.size = sizeof v;
    v.property = code;
    if (!get(handler->callbacks.clientData, obj, &v)) continue;
    p.offered |= 1u << code;
    switch (code) {
      case KS_PROP_COLOR: p.color = rgb(v); break;
      case KS_PROP_FILL: p.fill = rgb(v); break;
      case KS_PROP_WIDTH: p.width = v.number; break;
      case KS_PROP_DASH: p.dash = v.number; break;
      case KS_PROP_OPACITY: p.opacity = v.number; break;
      case KS_PROP_FONT_SIZE: p.fontSize = v.number; break;
      case KS_PROP_FONT_COLOR: p.fontColor = rgb(v); break;
      case KS_PROP_CONTENTS:
        if (v.text) p.contents = v.text;
        break;
      default: break;
    }
  }
  return p;
}

}  // namespace kshost
