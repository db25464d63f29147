// Page viewports (ISO 32000-1, 12.9.1): regions of a page, in the page's
// "VP" array, that carry their own measure dictionary.
//
// A "VP" that is not an array holds no viewports; a "BBox" is always read
// normalised; a geospatial measure dictionary is never valid, so such a
// viewport is never found by a search.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kwannotation/kw_measure_dict.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_ViewportImpl {
 public:
  explicit CKW_ViewportImpl(KPD_Dictionary dict) : dict_(dict) {}

  KPD_Dictionary GetDict() const { return dict_; }
  // "BBox", normalised; empty when it is missing or not four numbers.
  std::optional<KS_FloatRect> GetBBox() const;
  std::u16string GetName() const;
  // The dictionary under "Measure"; empty when there is none.
  CKW_MeasureDict GetMeasureDict() const;

 private:
  KPD_Dictionary dict_;
};

// Shared handle to one viewport; empty for "no viewport".
class CKW_Viewport {
 public:
  CKW_Viewport() = default;
  explicit CKW_Viewport(KPD_Dictionary dict)
      : impl_(dict ? std::make_shared<CKW_ViewportImpl>(dict) : nullptr) {}

  explicit operator bool() const { return impl_ != nullptr; }
  CKW_ViewportImpl* operator->() const { return impl_.get(); }
  KPD_Dictionary GetDict() const { return impl_ ? impl_->GetDict() : nullptr; }

 private:
  std::shared_ptr<CKW_ViewportImpl> impl_;
};

// The viewports of one page.
class CKW_PageViewportListImpl {
 public:
  // `page` and `doc` are borrowed; `doc` may be null for a page that is not
  // in a document, in which case new viewports stay direct objects.
  CKW_PageViewportListImpl(KPD_Page page, KPD_Document doc) : page_(page), doc_(doc) {}

  // Whether "VP" is present but not an array (a damaged file).
  bool HasMalformedVP() const;
  // Elements of "VP"; 0 when it is absent or not an array.
  int GetCount() const;
  // The viewport at `index`; empty when out of range or not a dictionary.
  CKW_Viewport GetViewport(int index) const;

  // Adds a viewport of `rect` (normalised) with `measure` and, when not
  // empty, `name`, in front of the existing ones. Empty, and the page left
  // as it was, when there is no page, the measure dictionary is not valid,
  // or the objects cannot be registered in the document. A "VP" that is
  // not an array is replaced.
  CKW_Viewport AddViewport(const KS_FloatRect& rect, const CKW_MeasureDict& measure, std::u16string_view name);

  // Removes "VP" when it is an array without elements.
  void RemoveEmptyVP();

  // The last viewport in "VP" whose box holds `point` (edges included),
  // whose measure dictionary is valid and whose "R" is not blank; -1 when
  // there is none.
  int FindViewportAt(KS_FloatPoint point) const;
  CKW_Viewport FindViewportObjectAt(KS_FloatPoint point) const;

 private:
  KPD_Page page_;
  KPD_Document doc_;
};

}  // namespace kwannotation
