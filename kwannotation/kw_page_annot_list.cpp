#include "kwannotation/kw_page_annot_list.h"

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_provider.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

CKW_PageAnnotListImpl::CKW_PageAnnotListImpl(KPD_Document doc, KPD_Page page) : doc_(doc), page_(page) {}

CKW_PageAnnotListImpl::~CKW_PageAnnotListImpl() = default;

int32_t CKW_PageAnnotListImpl::GetPageIndex() const {
  return doc_ && page_ ? host::DocGetPageIndex(doc_, page_) : -1;
}

std::shared_ptr<CKW_Annot> CKW_PageAnnotListImpl::GetAnnot(KPD_Annot annot) {
  if (!annot) return nullptr;
  auto cached = cache_.find(annot);
  if (cached != cache_.end()) return cached->second;
  // A handle of another page is kept by nobody: the wrapper's implementation
  // drops it and fails softly.
  std::string subtype = dict::GetName(annot, "/Subtype");
  std::string intent = dict::GetName(annot, "/IT");
  int32_t code = KW_SubtypeCodeFromName(subtype);
  int32_t kind = KW_MeasureKindFromIntent(intent);
  auto wrapper = KW_NewAnnotWrapper(code, kind, annot, weak_from_this().lock());
  if (wrapper) cache_[annot] = wrapper;
  return wrapper;
}

int32_t CKW_PageAnnotListImpl::CountAnnots() const { return page_ ? host::PageAnnotCount(page_) : 0; }

std::shared_ptr<CKW_Annot> CKW_PageAnnotListImpl::GetAnnotAt(int32_t index) {
  return page_ ? GetAnnot(host::PageGetAnnot(page_, index)) : nullptr;
}

std::shared_ptr<CKW_Annot> CKW_PageAnnotListImpl::CreateAnnot(const std::string& subtype, KPD_Dictionary dict,
                                                              const std::string& intent) {
  if (subtype.empty() || !page_ || (dict && !dict::IsDict(dict))) return nullptr;
  if (dict) {
    auto cached = cache_.find(dict);
    if (cached != cache_.end()) return cached->second;
    if (host::PageFindAnnot(page_, dict) >= 0) return GetAnnot(dict);
  }
  dict::Owned fresh(dict ? nullptr : host::DictNew());
  KPD_Dictionary target = dict ? dict : fresh.get();
  if (!target) return nullptr;
  dict::SetName(target, "/Type", "Annot");
  dict::SetName(target, "/Subtype", subtype);
  if (!intent.empty()) dict::SetName(target, "/IT", intent);
  host::DictSet(target, "/P", page_);

  KPD_Annot annot = nullptr;
  if (auto provider = CKW_ProviderManager::Get()->GetProvider())
    annot = provider->CreateAnnot(doc_, GetPageIndex(), target, -1);
  if (!annot) annot = host::PageInsertAnnot(page_, host::PageAnnotCount(page_), target);
  if (!annot) return nullptr;
  cache_.erase(annot);
  return GetAnnot(annot);
}

std::shared_ptr<CKW_Annot> CKW_PageAnnotListImpl::CreateAnnot(int32_t subtypeCode, int32_t measureKind) {
  int32_t code = subtypeCode != KW_ANNOT_UNKNOWN ? subtypeCode : KW_SubtypeCodeFromMeasureKind(measureKind);
  std::shared_ptr<CKW_Annot> annot = CreateAnnot(KW_SubtypeNameFromCode(code), nullptr, KW_IntentFromMeasureKind(measureKind));
  // A new stamp is an approval; one read from a file without a name is a
  // draft, so the name is written rather than left to the default.
  if (annot && code == KW_ANNOT_STAMP) dict::SetName(annot->GetDict(), "/Name", "Approved");
  return annot;
}

bool CKW_PageAnnotListImpl::Holds(KPD_Annot annot) const {
  if (!page_) return false;
  const int32_t count = host::PageAnnotCount(page_);
  if (count > 0 && host::ObjectIsIdentical(host::PageGetAnnot(page_, count - 1), annot)) return true;
  auto remembered = [&] {
    auto found = places_.find(annot);
    return found != places_.end() && found->second < count &&
           host::ObjectIsIdentical(host::PageGetAnnot(page_, found->second), annot);
  };
  if (remembered()) return true;
  places_.clear();
  for (int32_t i = 0; i < count; ++i) places_.emplace(host::PageGetAnnot(page_, i), i);
  return remembered() || host::PageFindAnnot(page_, annot) >= 0;
}

KPD_Annot CKW_PageAnnotListImpl::FindAnnotByName(const std::u16string& name) const {
  if (!page_ || name.empty()) return nullptr;
  int32_t count = host::PageAnnotCount(page_);
  for (int32_t i = 0; i < count; ++i) {
    KPD_Dictionary annot = host::PageGetAnnot(page_, i);
    std::u16string nm;
    if (annot && dict::GetText(annot, "/NM", &nm) && nm == name) return annot;
  }
  return nullptr;
}

bool CKW_PageAnnotListImpl::RemoveAnnot(KPD_Annot annot) {
  if (!page_ || !annot) return false;
  int32_t index = host::PageFindAnnot(page_, annot);
  if (index < 0) return false;
  bool removed = false;
  if (auto provider = CKW_ProviderManager::Get()->GetProvider())
    removed = provider->RemoveAnnot(doc_, GetPageIndex(), annot);
  if (!removed) removed = host::PageRemoveAnnot(page_, index) != 0;
  if (removed) cache_.erase(annot);
  return removed;
}

std::shared_ptr<CKW_PageAnnotList> CKW_PageAnnotList::Create(KPD_Document doc, KPD_Page page) {
  if (!page) return nullptr;
  return std::make_shared<CKW_PageAnnotList>(std::make_shared<CKW_PageAnnotListImpl>(doc, page));
}

std::shared_ptr<CKW_PageAnnotList> CKW_PageAnnotList::Create(KPD_Document doc, int32_t pageIndex) {
  return doc ? Create(doc, host::DocGetPage(doc, pageIndex)) : nullptr;
}

}  // namespace kwannotation
