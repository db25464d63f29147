#include "drawing/cda_rubber_undo.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

namespace {

KPD_Page PageOf(KA_Document doc, int32_t index) {
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  return pdf && index >= 0 ? Host::DocGetPage(pdf, index) : nullptr;
}

}  // namespace

bool DA_RemoveFromPage(KA_Annot annot, DA_Removal* removal) {
  KA_Document doc = annot ? Host::AnnotGetDocument(annot) : nullptr;
  const int32_t pageIndex = annot ? Host::AnnotGetPageIndex(annot) : -1;
  KPD_Page page = PageOf(doc, pageIndex);
  KPD_Dictionary dict = page ? Host::AnnotGetDict(annot) : nullptr;
  const int32_t at = dict ? Host::PageFindAnnot(page, dict) : -1;
  if (at < 0) return false;
  Host::AppDocInvalidateRect(doc, pageIndex, nullptr);
  if (!Host::PageRemoveAnnot(page, at)) return false;
  *removal = {true, pageIndex, at};
  return true;
}

CDA_UndoRubberBase::CDA_UndoRubberBase(KA_Document doc, KA_Annot annot, KW_ChangePtr change,
                                       DA_InkStrokes before, DA_InkStrokes after, const DA_Removal& removal,
                                       std::u16string caption)
    : doc_(doc),
      annot_(annot),
      dict_(annot ? Host::AnnotGetDict(annot) : nullptr),
      change_(std::move(change)),
      before_(std::move(before)),
      after_(std::move(after)),
      removal_(removal) {
  SetCaption(std::move(caption));
}

void CDA_UndoRubberBase::Apply(bool after) {
  if (!doc_ || !annot_ || !dict_) return;
  if (removal_.removed) {
    KPD_Page page = PageOf(doc_, removal_.pageIndex);
    if (!page) return;
    const int32_t at = Host::PageFindAnnot(page, dict_);
    if (after) {
      // Redo: the strokes change (when they did) and the ink leaves.
      if (at < 0) return;
      if (change_) change_->Apply(true);
      Host::PageRemoveAnnot(page, at);
    } else {
      if (at >= 0) return;
      const int32_t count = Host::PageAnnotCount(page);
      Host::PageInsertAnnot(page, std::min(removal_.annotIndex, count), dict_);
      if (change_) change_->Apply(false);
    }
    Host::AppDocInvalidateRect(doc_, removal_.pageIndex, nullptr);
    return;
  }
  if (!DA_AnnotIsThere(annot_) || !change_) return;
  change_->Apply(after);
  DA_AppearanceChanged(annot_);
  Host::AppDocInvalidateRect(doc_, Host::AnnotGetPageIndex(annot_), nullptr);
}

}  // namespace AnnotationPlugin
