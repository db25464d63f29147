// Annotations of open documents, their handlers' default service, behaviour
// objects, selection and page-view rectangles, as the plug-in reaches them.
// Every handle the plug-in passes in is checked before use: a stale or
// foreign one answers nothing.
#include <algorithm>
#include <cstring>

#include "host/annot_edit.h"
#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {
namespace {

Editor& Ed() { return Editor::Get(); }

bool LiveOnPage(KA_Annot annot) { return Ed().IsLiveAnnot(annot) && Ed().PageIndexOf(annot) >= 0; }

}  // namespace

// ---- 26: selection and focus ----------------------------------------------------

int32_t AppDocSelectionCount(KA_Document doc) { return static_cast<int32_t>(Ed().Selection(doc).size()); }

KA_Annot AppDocGetSelected(KA_Document doc, int32_t index) {
  const std::vector<KA_Annot> sel = Ed().Selection(doc);
  return index >= 0 && size_t(index) < sel.size() ? sel[size_t(index)] : nullptr;
}

int32_t AppDocIsSelected(KA_Document doc, KA_Annot annot) {
  const std::vector<KA_Annot> sel = Ed().Selection(doc);
  return annot && std::find(sel.begin(), sel.end(), annot) != sel.end();
}

int32_t AppDocSelect(KA_Document doc, KA_Annot annot, int32_t add) { return Ed().Select(doc, annot, add != 0); }

int32_t AppDocDeselectAll(KA_Document doc) { return Ed().DeselectAll(doc); }

KA_Annot AppDocGetFocusedAnnot(KA_Document doc) { return Ed().Focused(doc); }

int32_t AppDocSetFocusedAnnot(KA_Document doc, KA_Annot annot) {
  if (annot && !Ed().IsLiveAnnot(annot)) return 0;
  return Ed().SetFocused(doc, annot);
}

int32_t AppDocInvalidateRect(KA_Document doc, int32_t pageIndex, const KS_FloatRect*) {
  if (!Ed().IsLiveDocument(doc) || pageIndex < 0 || pageIndex >= DocPageCount(doc->pdf)) return 0;
  Ed().Invalidate(doc, pageIndex);
  return 1;
}

// ---- 32: page-view rectangles ------------------------------------------------------

int32_t PageViewPageRectToDevice(KA_PageView view, const KS_FloatRect* rect, KS_DeviceRect* out) {
  return view && rect && out && edit::PageRectToDevice(view, *rect, out);
}

int32_t PageViewDeviceRectToPage(KA_PageView view, const KS_DeviceRect* rect, KS_FloatRect* out) {
  return view && rect && out && edit::DeviceRectToPage(view, *rect, out);
}

// ---- 268: annotation handlers, and the editor's default handling ----------------------

KA_AnnotHandler AnnotHandlerRegister(const char* type, const KS_AnnotHandlerCallbacks* record) {
  if (!type || !*type || !record || record->size != sizeof(KS_AnnotHandlerCallbacks)) return nullptr;
  return Ed().RegisterAnnotHandler(type, *record);
}

int32_t AnnotHandlerUnregister(KA_AnnotHandler handler) { return Ed().UnregisterAnnotHandler(handler) ? 1 : 0; }

intptr_t AnnotHandlerDefault(KA_AnnotHandler, int32_t index, const KS_AnnotCallArgs* args) {
  if (!args || args->size < sizeof(KS_AnnotCallArgs)) return 0;
  if (index == 8) {
    KA_Tool tool = Ed().CurrentTool();
    return tool && (tool->name == "Hand" || tool->name == "Annot");
  }
  if (!Ed().IsLiveObject(args->object)) return 0;
  KA_Annot annot = args->object->annot;
  if (!args->view || !LiveOnPage(annot)) return index == KS_AHD_HANDLE_AT ? KS_HANDLE_NONE : 0;
  switch (index) {
    case KS_AHD_MOVE:
      if (args->values[1] != 0) return edit::MoveBy(annot, args->pagePoint.x, args->pagePoint.y);
      return edit::Move(annot, args->view, args->rect1, args->rect2);
    case KS_AHD_RESIZE: return edit::Resize(annot, args->view, args->rect1, args->rect2);
    case KS_AHD_MOVE_POINT:
      if (args->values[1] != 0) return edit::MovePointTo(annot, static_cast<int>(args->values[0]), args->pagePoint);
      return edit::MovePoint(annot, args->view, static_cast<int>(args->values[0]), args->point);
    case KS_AHD_ROTATE: return edit::Rotate(annot, static_cast<int>(args->values[0]));
    case KS_AHD_HANDLE_AT: return edit::HandleAt(annot, args->view, args->rect1, args->point);
    default: return 0;
  }
}

// ---- 296: behaviour objects ------------------------------------------------------------

KA_AnnotObject AnnotObjectNew(KA_AnnotHandler handler, const KS_AnnotObjectCallbacks* record, KA_Annot annot,
                              intptr_t value) {
  return record ? Ed().NewObject(handler, *record, annot, value) : nullptr;
}

KA_Annot AnnotObjectGetAnnot(KA_AnnotObject obj) { return Ed().IsLiveObject(obj) ? obj->annot : nullptr; }

int32_t AnnotObjectAppearanceChanged(KA_AnnotObject obj) {
  if (!Ed().IsLiveObject(obj) || !LiveOnPage(obj->annot)) return 0;
  Ed().InvalidateAnnot(obj->annot);
  return 1;
}

// The editor has no private operations to forward to.
intptr_t AnnotObjectForward(KA_AnnotObject, intptr_t, intptr_t) { return 0; }

// ---- 303: annotations on pages ----------------------------------------------------------

KA_Annot AnnotFromDict(KA_Document doc, KPD_Dictionary dict) { return Ed().AnnotFor(doc, dict); }

KPD_Dictionary AnnotGetDict(KA_Annot annot) { return Ed().IsLiveAnnot(annot) ? annot->dict : nullptr; }

KA_Document AnnotGetDocument(KA_Annot annot) { return Ed().IsLiveAnnot(annot) ? annot->doc : nullptr; }

int32_t AnnotGetPageIndex(KA_Annot annot) { return Ed().PageIndexOf(annot); }

int32_t AnnotGetRect(KA_Annot annot, KS_FloatRect* out) {
  if (!Ed().IsLiveAnnot(annot) || !out) return 0;
  KS_FloatRect r{};
  if (!RectFromObject(DictGet(annot->dict, "/Rect"), &r)) return 0;
  RectNormalize(&r);
  *out = r;
  return 1;
}

uint32_t AnnotGetFlags(KA_Annot annot) {
  if (!Ed().IsLiveAnnot(annot)) return 0;
  return static_cast<uint32_t>(ObjectGetInteger(DictGet(annot->dict, "/F")));
}

KA_AnnotObject AnnotGetObject(KA_Annot annot) { return Ed().ObjectFor(annot); }

int32_t AnnotGetTypeName(KA_Annot annot, KS_ByteString out) {
  if (!Ed().IsLiveAnnot(annot) || !out) return 0;
  KPD_Object subtype = DictGet(annot->dict, "/Subtype");
  if (!NameGet(subtype, out)) return 0;
  const char* data = ByteStringData(out);
  const size_t length = ByteStringLength(out);
  if (length > 0 && data[0] == '/') {
    const std::string name(data + 1, length - 1);
    ByteStringSet(out, name.data(), name.size());
  }
  return 1;
}

int32_t AnnotDrawAppearance(KA_Annot annot, KA_PageView view, KA_Device device) {
  KS_FloatRect rect{};
  KS_DeviceRect box{};
  if (!LiveOnPage(annot) || !view || !AnnotGetRect(annot, &rect) || !edit::PageRectToDevice(view, rect, &box))
    return 0;
  return RecordAppearance(device, annot, box);
}

int32_t AnnotOpenPopup(KA_Annot annot) {
  if (!LiveOnPage(annot)) return 0;
  const int32_t pageIndex = Ed().PageIndexOf(annot);
  KPD_Page page = DocGetPage(annot->doc->pdf, pageIndex);
  if (!page) return 0;
  KPD_Object popup = DictGet(annot->dict, "/Popup");
  if (ObjectGetType(popup) != KPD_OBJ_DICTIONARY) {
    // A note 180 by 120 to the right of the annotation's top, kept on the
    // page.
    KS_FloatRect at{}, box{};
    if (!AnnotGetRect(annot, &at)) return 0;
    if (!PageGetBox(page, "/CropBox", &box) && !PageGetBox(page, "/MediaBox", &box)) box = {0, 0, 612, 792};
    RectNormalize(&box);
    const float w = std::min(180.0f, box.right - box.left), h = std::min(120.0f, box.top - box.bottom);
    const float left = std::clamp(at.right + 10, box.left, box.right - w);
    const float top = std::clamp(at.top, box.bottom + h, box.top);
    const KS_FloatRect rect{left, top - h, left + w, top};
    KPD_Dictionary made = DictNew();
    KPD_Object type = NameNew("/Annot"), subtype = NameNew("/Popup");
    KPD_Object where = reinterpret_cast<KPD_Object>(RectToObject(&rect));
    DictSet(made, "/Type", type);
    DictSet(made, "/Subtype", subtype);
    DictSet(made, "/Rect", where);
    DictSet(made, "/Parent", reinterpret_cast<KPD_Object>(annot->dict));
    for (KPD_Object o : {type, subtype, where}) ObjectRelease(o);
    KPD_Dictionary inserted = PageInsertAnnot(page, PageFindAnnot(page, annot->dict) + 1, made);
    ObjectRelease(reinterpret_cast<KPD_Object>(made));
    if (!inserted) return 0;
    DictSet(annot->dict, "/Popup", reinterpret_cast<KPD_Object>(inserted));
    popup = reinterpret_cast<KPD_Object>(inserted);
  }
  KPD_Object open = BooleanNew(1);
  const int32_t ok = DictSet(reinterpret_cast<KPD_Dictionary>(popup), "/Open", open);
  ObjectRelease(open);
  Ed().Invalidate(annot->doc, pageIndex);
  return ok;
}

// ---- 339, 445, 732 -----------------------------------------------------------------------

int32_t PropertyPanelRefresh() { return 1; }

uint32_t ColorFromRef(KS_ColorRef color, int32_t alpha) {
  uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  return (static_cast<uint32_t>(alpha & 0xFF) << 24) | (r << 16) | (g << 8) | b;
}
int32_t ColorSplit(uint32_t argb, int32_t* a, int32_t* r, int32_t* g, int32_t* b) {
  if (!a || !r || !g || !b) return 0;
  *a = (argb >> 24) & 0xFF;
  *r = (argb >> 16) & 0xFF;
  *g = (argb >> 8) & 0xFF;
  *b = argb & 0xFF;
  return 1;
}


}  // namespace kshost::direct
