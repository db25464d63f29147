#include "drawing/cda_undo.h"

#include "drawing/markup_annot_handler.h"
#include "kwannotation/kw_annot_impl.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {

namespace {

std::vector<KS_FloatPoint> PointsOf(KPD_Object array) {
  std::vector<KS_FloatPoint> points;
  int32_t count = array ? Host::ArrayCount(array) : 0;
  if (count < 2) return points;
  std::vector<float> numbers(count);
  int32_t got = Host::ArrayGetNumbers(array, numbers.data(), count);
  for (int32_t i = 0; i + 1 < got; i += 2) points.push_back({numbers[i], numbers[i + 1]});
  return points;
}

std::u16string TextOf(KPD_Dictionary dict, const char* key) {
  KPD_Object value = dict ? Host::DictGet(dict, key) : nullptr;
  Host::WideString out;
  if (!value || !Host::StringObjectGetText(value, out.get())) return {};
  return out.str();
}

}  // namespace

std::vector<KS_FloatPoint> DA_ReadGeometry(KA_Annot annot) {
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  if (!dict) return {};
  if (KPD_Object line = Host::DictGet(dict, "/L")) return PointsOf(line);
  if (KPD_Object vertices = Host::DictGet(dict, "/Vertices")) return PointsOf(vertices);
  KS_FloatRect r;
  if (!Host::AnnotGetRect(annot, &r)) return {};
  return {{r.left, r.bottom}, {r.right, r.bottom}, {r.right, r.top}, {r.left, r.top}};
}

DA_Scalars DA_ReadScalars(KA_Annot annot) {
  DA_Scalars s;
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  if (!dict) return s;
  kwannotation::KwLineLeader leader;
  kwannotation::KW_ReadLineLeader(dict, &leader);
  s.leader[0] = static_cast<float>(leader.length);
  s.leader[1] = static_cast<float>(leader.extension);
  s.riseDrop = Host::DictHasKey(dict, "/RiseDrop") != 0;
  return s;
}

bool DA_AnnotIsThere(KA_Annot annot) { return annot && Host::AnnotGetPageIndex(annot) >= 0; }

void DA_AppearanceChanged(KA_Annot annot) {
  if (KA_AnnotObject object = Host::AnnotGetObject(annot)) Host::AnnotObjectAppearanceChanged(object);
}

// ---- CDA_UndoResize -------------------------------------------------------------

CDA_UndoResize::CDA_UndoResize(KA_Document doc, KA_Annot annot, KW_ChangePtr change,
                               std::vector<KS_FloatPoint> before, const DA_Scalars& scalars,
                               std::u16string caption)
    : doc_(doc),
      annot_(annot),
      before_(std::move(before)),
      after_(DA_ReadGeometry(annot)),
      scalarsBefore_(scalars),
      scalarsAfter_(DA_ReadScalars(annot)),
      change_(std::move(change)) {
  caption_ = std::move(caption);
}

void CDA_UndoResize::Apply(bool after) {
  if (!doc_ || !DA_AnnotIsThere(annot_) || !change_) return;
  if (change_->Apply(after)) DA_AppearanceChanged(annot_);
}

// ---- CDA_UndoMoveToPage -------------------------------------------------------------

CDA_UndoMoveToPage::CDA_UndoMoveToPage(KA_Document doc, KA_Annot annot, KW_ChangePtr change,
                                       std::vector<KS_FloatPoint> before, std::vector<KS_FloatPoint> after,
                                       KPD_Object stateBefore, KPD_Object stateAfter, std::u16string caption)
    : doc_(doc),
      annot_(annot),
      before_(std::move(before)),
      after_(std::move(after)),
      stateBefore_(stateBefore),
      stateAfter_(stateAfter),
      change_(std::move(change)) {
  caption_ = std::move(caption);
  textBefore_ = TextOf(stateBefore_, "/Contents");
  textAfter_ = TextOf(stateAfter_, "/Contents");
}

CDA_UndoMoveToPage::~CDA_UndoMoveToPage() {
  if (stateBefore_) Host::ObjectRelease(stateBefore_);
  if (stateAfter_) Host::ObjectRelease(stateAfter_);
}

KPD_Object DA_PlaceState(int32_t page, int32_t index) {
  KPD_Array array = Host::ArrayNew();
  for (int32_t v : {page, index}) {
    KPD_Object n = Host::IntegerNew(v);
    Host::ArrayAppend(array, n);
    Host::ObjectRelease(n);
  }
  return array;
}

bool DA_PutOnPage(KA_Document doc, KA_Annot annot, int32_t toPage, int32_t index) {
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  const int32_t from = Host::AnnotGetPageIndex(annot);
  if (!pdf || !dict || from < 0 || toPage < 0 || toPage >= Host::DocPageCount(pdf)) return false;
  KPD_Page source = Host::DocGetPage(pdf, from), target = Host::DocGetPage(pdf, toPage);
  // The pop-up, when it sits on the same page, is moved with the annotation.
  KPD_Object popup = Host::DictGet(dict, "/Popup");
  const int32_t popupAt = popup && Host::ObjectGetType(popup) == KPD_OBJ_DICTIONARY ? Host::PageFindAnnot(source, popup)
                                                                                    : -1;
  const int32_t at = Host::PageFindAnnot(source, dict);
  if (at < 0) return false;
  Host::AppDocInvalidateRect(doc, from, nullptr);
  if (!Host::PageRemoveAnnot(source, at)) return false;
  if (!Host::PageInsertAnnot(target, index, dict)) {
    Host::PageInsertAnnot(source, at, dict);  // put back where it was
    return false;
  }
  if (popupAt >= 0) {
    const int32_t now = Host::PageFindAnnot(source, popup);
    if (now >= 0 && Host::PageRemoveAnnot(source, now)) {
      const int32_t after = Host::PageFindAnnot(target, dict);
      if (!Host::PageInsertAnnot(target, after < 0 ? -1 : after + 1, popup)) Host::PageInsertAnnot(source, now, popup);
    }
  }
  Host::AppDocInvalidateRect(doc, toPage, nullptr);
  if (CMarkup_Annot* obj = CMarkup_AnnotRegistry::Get().Find(Host::AnnotGetObject(annot))) obj->PageChanged();
  return true;
}

void CDA_UndoMoveToPage::Apply(bool after) {
  if (!doc_ || !DA_AnnotIsThere(annot_)) return;
  KPD_Object state = after ? stateAfter_ : stateBefore_;
  if (state && Host::ArrayCount(state) == 2) {
    float place[2] = {0, 0};
    Host::ArrayGetNumbers(state, place, 2);
    const int32_t page = static_cast<int32_t>(place[0]), index = static_cast<int32_t>(place[1]);
    if (Host::AnnotGetPageIndex(annot_) != page && !DA_PutOnPage(doc_, annot_, page, index)) return;
  }
  if (change_ && change_->HasChanges() && change_->Apply(after)) DA_AppearanceChanged(annot_);
}

// ---- CDA_UndoRotate -------------------------------------------------------------------

CDA_UndoRotate::CDA_UndoRotate(KA_Annot annot, KW_ChangePtr change, int32_t degreesBefore, int32_t degreesAfter,
                               std::u16string caption)
    : annot_(annot),
      stateBefore_(Host::IntegerNew(degreesBefore)),
      stateAfter_(Host::IntegerNew(degreesAfter)),
      change_(std::move(change)) {
  caption_ = std::move(caption);
}

CDA_UndoRotate::~CDA_UndoRotate() {
  if (stateBefore_) Host::ObjectRelease(stateBefore_);
  if (stateAfter_) Host::ObjectRelease(stateAfter_);
}

void CDA_UndoRotate::Apply(bool after) {
  if (!DA_AnnotIsThere(annot_) || !change_) return;
  if (change_->Apply(after)) DA_AppearanceChanged(annot_);
}

// ---- CDA_MoveCaptionUndoItem --------------------------------------------------------

CDA_MoveCaptionUndoItem::CDA_MoveCaptionUndoItem(KA_Document doc, KA_Annot annot, KW_ChangePtr change,
                                                 const int32_t before[2], const int32_t after[2], bool hadOffset,
                                                 std::u16string caption)
    : doc_(doc), annot_(annot), before_{before[0], before[1]}, after_{after[0], after[1]}, hadOffset_(hadOffset),
      change_(std::move(change)) {
  caption_ = std::move(caption);
}

void CDA_MoveCaptionUndoItem::InvalidateAround() {
  KS_FloatRect r;
  if (!Host::AnnotGetRect(annot_, &r)) return;
  r = {r.left - 11, r.bottom - 11, r.right + 11, r.top + 11};
  Host::AppDocInvalidateRect(doc_, Host::AnnotGetPageIndex(annot_), &r);
}

void CDA_MoveCaptionUndoItem::Apply(bool after) {
  if (!doc_ || !DA_AnnotIsThere(annot_)) return;
  Host::ByteString type;
  if (!Host::AnnotGetTypeName(annot_, type.get()) || type.str() != "Line") return;
  KPD_Dictionary dict = Host::AnnotGetDict(annot_);
  InvalidateAround();
  if (change_) {
    change_->Apply(after);
    DA_AppearanceChanged(annot_);
  } else {
    // Without a recorded change the offset is written and the appearance
    // rebuilt by the annotation's own object.
    kwannotation::CKW_LineImpl line(dict, kwannotation::KW_ANNOT_LINE, nullptr);
    if (!after && !hadOffset_) {
      line.RemoveCaptionOffset();
    } else {
      const int32_t* offset = after ? after_ : before_;
      line.SetCaptionOffset(static_cast<float>(offset[0]), static_cast<float>(offset[1]));
    }
    if (CMarkup_Annot* obj = CMarkup_AnnotRegistry::Get().Find(Host::AnnotGetObject(annot_))) obj->Regenerate();
  }
  InvalidateAround();
}

}  // namespace AnnotationPlugin
