// What the ink eraser asks of the editor: the cursor, drawing straight onto
// a page view's window, the message tip, a hit test by subtype and the
// protection queries.
#include <string>

#include "host/annot_edit.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/utf.h"

namespace kshost::direct {

namespace {
Editor& Ed() { return Editor::Get(); }
}  // namespace

int32_t AppSetCursor(const char* name, int32_t size) {
  if (!name || !*name) return 0;
  Ed().SetCursor(name, size);
  return 1;
}

KA_Device PageViewGetWindowDevice(KA_PageView view) { return Ed().WindowDevice(view); }

int32_t AppShowMessageTip(const char16_t* text) {
  Ed().ShowMessageTip(text ? std::u16string(text) : std::u16string());
  return 1;
}

KA_Annot PageViewHitTestAnnot(KA_PageView view, KS_DevicePoint pt, const char* subtype) {
  if (!view || !Ed().IsLiveDocument(view->doc) || !subtype) return nullptr;
  const std::vector<KA_Annot> annots = Ed().PageAnnots(view->doc, view->pageIndex);
  for (auto it = annots.rbegin(); it != annots.rend(); ++it) {
    KA_Annot annot = *it;
    if (AnnotGetFlags(annot) & 2u) continue;  // hidden
    KPD_Object type = DictGet(annot->dict, "/Subtype");
    KS_ByteString name = ByteStringNew(nullptr, 0);
    const bool same = type && NameGet(type, name) && std::string(ByteStringData(name), ByteStringLength(name)) ==
                                                            std::string("/") + subtype;
    ByteStringDestroy(name);
    if (!same) continue;
    KS_FloatRect rect{};
    KS_DeviceRect box{};
    if (AnnotGetRect(annot, &rect) && edit::PageRectToDevice(view, rect, &box) && pt.x >= box.left &&
        pt.x <= box.right && pt.y >= box.top && pt.y <= box.bottom)
      return annot;
  }
  return nullptr;
}

int32_t AnnotIsLocked(KA_Annot annot) {
  if (!Ed().IsLiveAnnot(annot)) return 1;
  return (AnnotGetFlags(annot) & 128u) != 0;
}

int32_t AnnotIsReadOnly(KA_Annot annot) {
  if (!Ed().IsLiveAnnot(annot)) return 1;
  return annot->doc->readOnly ? 1 : 0;
}

int32_t AnnotIsModifiable(KA_Annot annot, int32_t) { return edit::MayEdit(annot) ? 1 : 0; }

}  // namespace kshost::direct
