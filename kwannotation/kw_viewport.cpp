#include "kwannotation/kw_viewport.h"

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace {

namespace host = ks::host;

bool Contains(const KS_FloatRect& r, KS_FloatPoint p) {
  return p.x >= r.left && p.x <= r.right && p.y >= r.bottom && p.y <= r.top;
}

// The time stamp a new viewport gets as "NM".
std::u16string NowStamp() {
  KS_DateTime now{};
  host::DateNow(&now);
  host::ByteString text;
  if (!host::DateToPdfString(&now, text.get())) return {};
  return text::FromAscii(text.str());
}

}  // namespace

std::optional<KS_FloatRect> CKW_ViewportImpl::GetBBox() const { return dict::GetRect(dict_, "/BBox"); }

std::u16string CKW_ViewportImpl::GetName() const { return dict::GetText(dict_, "/Name").value_or(u""); }

CKW_MeasureDict CKW_ViewportImpl::GetMeasureDict() const {
  return CKW_MeasureDict::Borrow(dict::GetDict(dict_, "/Measure"));
}

bool CKW_PageViewportListImpl::HasMalformedVP() const {
  KPD_Object vp = page_ ? host::DictGet(page_, "/VP") : nullptr;
  return vp && !dict::IsType(vp, KPD_OBJ_ARRAY);
}

int CKW_PageViewportListImpl::GetCount() const {
  KPD_Array vp = dict::GetArray(page_, "/VP");
  return vp ? host::ArrayCount(vp) : 0;
}

CKW_Viewport CKW_PageViewportListImpl::GetViewport(int index) const {
  KPD_Array vp = dict::GetArray(page_, "/VP");
  if (!vp) return {};
  KPD_Object item = host::ArrayGet(vp, index);
  return dict::IsType(item, KPD_OBJ_DICTIONARY) ? CKW_Viewport(item) : CKW_Viewport();
}

CKW_Viewport CKW_PageViewportListImpl::AddViewport(const KS_FloatRect& rect, const CKW_MeasureDict& measure,
                                                   std::u16string_view name) {
  // What this library writes names its ratio; reading takes X's factor
  // whatever the ratio text says.
  if (!page_ || !measure.IsValid() || text::Trim(measure->GetRatioText()).empty()) return {};
  KS_FloatRect box = rect;
  host::RectNormalize(&box);
  KPD_Array boxObject = host::RectToObject(&box);
  if (!boxObject) return {};  // not finite

  KPD_Dictionary measureRef = measure.GetDict();
  if (doc_) {
    measureRef = host::DocMakeIndirect(doc_, measureRef);
    if (!measureRef) {
      host::ObjectRelease(boxObject);
      return {};
    }
  }
  KPD_Dictionary fresh = host::DictNew();
  dict::SetName(fresh, "/Type", "Viewport");
  dict::SetOwned(fresh, "/BBox", boxObject);
  if (!name.empty()) dict::SetText(fresh, "/Name", name);
  dict::SetText(fresh, "/NM", NowStamp());
  host::DictSet(fresh, "/Measure", measureRef);
  KPD_Dictionary viewport = fresh;
  if (doc_) {
    viewport = host::DocMakeIndirect(doc_, fresh);
    host::ObjectRelease(fresh);
    if (!viewport) return {};
  }

  KPD_Array vp = dict::GetArray(page_, "/VP");
  if (!vp) {
    KPD_Array created = host::ArrayNew();
    if (!host::DictSet(page_, "/VP", created)) {
      host::ObjectRelease(created);
      if (!doc_) host::ObjectRelease(fresh);
      return {};
    }
    host::ObjectRelease(created);
    vp = dict::GetArray(page_, "/VP");
  }
  bool added = host::ArrayCount(vp) > 0 ? host::ArrayInsert(vp, 0, viewport) : host::ArrayAppend(vp, viewport);
  if (!doc_) {
    // The array now holds the direct dictionary; hand out the array's own
    // borrowed handle to it.
    host::ObjectRelease(fresh);
    viewport = added ? host::ArrayGet(vp, 0) : nullptr;
  }
  return added ? CKW_Viewport(viewport) : CKW_Viewport();
}

void CKW_PageViewportListImpl::RemoveEmptyVP() {
  KPD_Array vp = dict::GetArray(page_, "/VP");
  if (vp && host::ArrayCount(vp) == 0) host::DictRemove(page_, "/VP");
}

int CKW_PageViewportListImpl::FindViewportAt(KS_FloatPoint point) const {
  KPD_Array vp = dict::GetArray(page_, "/VP");
  if (!vp) return -1;
  for (int i = host::ArrayCount(vp) - 1; i >= 0; --i) {
    KPD_Object item = host::ArrayGet(vp, i);
    if (!dict::IsType(item, KPD_OBJ_DICTIONARY)) continue;
    CKW_ViewportImpl viewport(item);
    std::optional<KS_FloatRect> box = viewport.GetBBox();
    if (!box || !Contains(*box, point)) continue;
    CKW_MeasureDict measure = viewport.GetMeasureDict();
    // The scale is X's factor; the ratio text is only its label, and CAD
    // programs leave it blank.
    if (!measure.IsValid()) continue;
    return i;
  }
  return -1;
}

CKW_Viewport CKW_PageViewportListImpl::FindViewportObjectAt(KS_FloatPoint point) const {
  int index = FindViewportAt(point);
  return index < 0 ? CKW_Viewport() : GetViewport(index);
}

}  // namespace kwannotation
