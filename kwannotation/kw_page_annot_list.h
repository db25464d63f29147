// The annotations of one page as wrapper objects: a cache from host
// annotation handle to wrapper, the factory that picks the wrapper class
// from /Subtype and /IT, and the creation of new annotations.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_Annot;

class CKW_PageAnnotListImpl : public std::enable_shared_from_this<CKW_PageAnnotListImpl> {
 public:
  CKW_PageAnnotListImpl(KPD_Document doc, KPD_Page page);
  ~CKW_PageAnnotListImpl();

  KPD_Document GetDocument() const { return doc_; }
  KPD_Page GetPage() const { return page_; }
  int32_t GetPageIndex() const;

  // The wrapper of an existing annotation: the cached one, else a new one
  // from the factory. Empty for a null handle.
  std::shared_ptr<CKW_Annot> GetAnnot(KPD_Annot annot);
  int32_t CountAnnots() const;
  std::shared_ptr<CKW_Annot> GetAnnotAt(int32_t index);

  // A new annotation of `subtype` (a /Subtype name without slash) and
  // `intent` (empty for none). `dict`, when given, is an annotation
  // dictionary to use: its wrapper when it is already on the page, else it
  // is filled in and inserted. Empty on failure.
  std::shared_ptr<CKW_Annot> CreateAnnot(const std::string& subtype, KPD_Dictionary dict,
                                         const std::string& intent);
  // The same from a subtype code and a measure kind; a code of 0 takes the
  // subtype the kind is made as. A stamp is named "Approved".
  std::shared_ptr<CKW_Annot> CreateAnnot(int32_t subtypeCode, int32_t measureKind);

  // Whether `annot` is one of the page's annotations. A new annotation is
  // the page's last one, and the wrappers of a page's annotations are made
  // one after another; so the last one is looked at first, and the places
  // of all of them are remembered from one walk of the page. A remembered
  // place is only believed when the page still has the annotation there,
  // so a page that changed costs one more walk, never a wrong answer.
  bool Holds(KPD_Annot annot) const;

  // The first annotation of the page whose /NM is `name`, or null.
  KPD_Annot FindAnnotByName(const std::u16string& name) const;

  // Removes the annotation from the page (through the provider's removal
  // hook first) and from the cache.
  bool RemoveAnnot(KPD_Annot annot);

 private:
  KPD_Document doc_;
  KPD_Page page_;
  std::map<KPD_Annot, std::shared_ptr<CKW_Annot>> cache_;
  mutable std::unordered_map<KPD_Annot, int32_t> places_;
};

class CKW_PageAnnotList {
 public:
  // Null when `page` is null.
  static std::shared_ptr<CKW_PageAnnotList> Create(KPD_Document doc, KPD_Page page);
  static std::shared_ptr<CKW_PageAnnotList> Create(KPD_Document doc, int32_t pageIndex);

  explicit CKW_PageAnnotList(std::shared_ptr<CKW_PageAnnotListImpl> impl) : impl_(std::move(impl)) {}

  KPD_Document GetDocument() const { return impl_->GetDocument(); }
  KPD_Page GetPage() const { return impl_->GetPage(); }
  int32_t GetPageIndex() const { return impl_->GetPageIndex(); }
  std::shared_ptr<CKW_Annot> GetAnnot(KPD_Annot annot) { return impl_->GetAnnot(annot); }
  int32_t CountAnnots() const { return impl_->CountAnnots(); }
  std::shared_ptr<CKW_Annot> GetAnnotAt(int32_t index) { return impl_->GetAnnotAt(index); }
  std::shared_ptr<CKW_Annot> CreateAnnot(const std::string& subtype, KPD_Dictionary dict = nullptr,
                                         const std::string& intent = {}) {
    return impl_->CreateAnnot(subtype, dict, intent);
  }
  std::shared_ptr<CKW_Annot> CreateAnnot(int32_t subtypeCode, int32_t measureKind) {
    return impl_->CreateAnnot(subtypeCode, measureKind);
  }
  KPD_Annot FindAnnotByName(const std::u16string& name) const { return impl_->FindAnnotByName(name); }
  bool RemoveAnnot(KPD_Annot annot) { return impl_->RemoveAnnot(annot); }
  const std::shared_ptr<CKW_PageAnnotListImpl>& GetImpl() const { return impl_; }

 private:
  std::shared_ptr<CKW_PageAnnotListImpl> impl_;
};

}  // namespace kwannotation
