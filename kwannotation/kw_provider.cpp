#include "kwannotation/kw_provider.h"

#include "sdk/ks_host_binding.h"

namespace kwannotation {

std::shared_ptr<CKW_ProviderManager> CKW_ProviderManager::Get() {
  static const std::shared_ptr<CKW_ProviderManager> manager = std::shared_ptr<CKW_ProviderManager>(new CKW_ProviderManager());
  return manager;
}

void CKW_ProviderManager::SetProvider(std::shared_ptr<IKW_Provider> provider) {
  std::lock_guard lock(mutex_);
  provider_ = std::move(provider);
}

std::shared_ptr<IKW_Provider> CKW_ProviderManager::GetProvider() const {
  std::lock_guard lock(mutex_);
  return provider_;
}

void CKW_ProviderManager::SetIconProvider(std::shared_ptr<IKW_IconProvider> provider) {
  std::lock_guard lock(mutex_);
  iconProvider_ = std::move(provider);
}

std::shared_ptr<IKW_IconProvider> CKW_ProviderManager::GetIconProvider() const {
  std::lock_guard lock(mutex_);
  return iconProvider_;
}

std::shared_ptr<KPD_InterForm__> CKW_ProviderManager::GetInterForm(KPD_Document doc) {
  if (auto provider = GetProvider()) {
    if (KPD_InterForm form = provider->GetInterForm(doc)) return {form, [](KPD_InterForm) {}};
  }
  KPD_InterForm made = ks::host::InterFormNew(doc);
  if (!made) return {};
  return {made, [](KPD_InterForm form) { ks::host::InterFormRelease(form); }};
}

std::shared_ptr<KPD_FontMap__> CKW_ProviderManager::GetDocFontMap(KPD_Document doc) {
  if (auto provider = GetProvider()) {
    if (KPD_FontMap map = provider->GetDocFontMap(doc)) return {map, [](KPD_FontMap) {}};
  }
  KPD_FontMap made = ks::host::FontMapNew(doc);
  if (!made) return {};
  return {made, [](KPD_FontMap map) { ks::host::FontMapRelease(map); }};
}

std::u16string KW_LocalizedText(const std::string& key) {
  if (auto provider = CKW_ProviderManager::Get()->GetProvider()) {
    std::u16string text = provider->GetLocalizedText(key);
    if (!text.empty()) return text;
  }
  return std::u16string(key.begin(), key.end());
}

}  // namespace kwannotation
