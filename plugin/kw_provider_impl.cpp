#include "plugin/kw_provider_impl.h"

#include "plugin/widget_binding.h"

#include "plugin/host_binding.h"
#include "plugin/unit_labels.h"

namespace AnnotationPlugin {
namespace {

std::shared_ptr<CKW_Provider> g_provider;

// Every font question goes to the application's font service; without one
// the answer is empty.
template <typename R, typename Call>
R WithFonts(R fallback, Call call) {
  KA_FontService svc = Host::AppGetFontService();
  return svc ? call(svc) : fallback;
}

bool Metrics(const std::string& baseFont, KS_FontMetrics* out) {
  return WithFonts(false, [&](KA_FontService svc) { return Host::FontGetMetrics(svc, baseFont.c_str(), out) == 1; });
}

// The dictionary under `key` of `parent`, made (or made again in place of
// another kind of object) when missing. Null without a parent.
KPD_Dictionary ChildDict(KPD_Dictionary parent, const char* key) {
  if (!parent) return nullptr;
  KPD_Dictionary child = Host::DictGet(parent, key);
  if (child && Host::ObjectGetType(child) == KPD_OBJ_DICTIONARY) return child;
  KPD_Dictionary made = Host::DictNew();
  Host::DictSet(parent, key, made);
  Host::ObjectRelease(made);
  return Host::DictGet(parent, key);
}

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

// ---- system handler -----------------------------------------------------------

std::string CKW_pluignannotSystemHandler::FindSystemFont(const std::u16string& name, int charset) {
  return WithFonts(std::string(), [&](KA_FontService svc) {
    Host::ByteString out;
    return Host::FontFindSystemFont(svc, name.c_str(), charset, out.get()) == 1 ? out.str() : std::string();
  });
}

bool CKW_pluignannotSystemHandler::IsStandard14(const std::string& baseFont) {
  return WithFonts(false, [&](KA_FontService svc) { return Host::FontIsStandard14(svc, baseFont.c_str()) == 1; });
}

std::string CKW_pluignannotSystemHandler::GetStandardFontName(const std::string& family, bool bold, bool italic) {
  return WithFonts(std::string(), [&](KA_FontService svc) {
    Host::ByteString out;
    return Host::FontStandardName(svc, family.c_str(), bold ? 1 : 0, italic ? 1 : 0, out.get()) == 1 ? out.str()
                                                                                                    : std::string();
  });
}

bool CKW_pluignannotSystemHandler::GetFontMetrics(const std::string& baseFont, KS_FontMetrics* out) {
  return out && Metrics(baseFont, out);
}

float CKW_pluignannotSystemHandler::GetCharWidth(const std::string& baseFont, uint32_t unicode) {
  return WithFonts(0.0f, [&](KA_FontService svc) { return Host::FontCharWidth(svc, baseFont.c_str(), unicode); });
}

float CKW_pluignannotSystemHandler::GetTextWidth(const std::string& baseFont, const std::u16string& text,
                                                 float size) {
  return WithFonts(0.0f, [&](KA_FontService svc) {
    return Host::FontTextWidth(svc, baseFont.c_str(), text.data(), text.size(), size);
  });
}

bool CKW_pluignannotSystemHandler::HasGlyph(const std::string& baseFont, uint32_t unicode) {
  return WithFonts(false, [&](KA_FontService svc) { return Host::FontHasGlyph(svc, baseFont.c_str(), unicode) == 1; });
}

std::string CKW_pluignannotSystemHandler::EncodeText(const std::string& baseFont, const std::u16string& text) {
  return WithFonts(std::string(), [&](KA_FontService svc) {
    Host::ByteString out;
    return Host::FontEncodeText(svc, baseFont.c_str(), text.data(), text.size(), out.get()) == 1 ? out.str()
                                                                                                : std::string();
  });
}

bool CKW_pluignannotSystemHandler::AddFontToResources(KPD_Document doc, KPD_Dictionary fontDict,
                                                      const std::string& resName, const std::string& baseFont) {
  return WithFonts(false, [&](KA_FontService svc) {
    return Host::FontAddToResources(svc, doc, fontDict, resName.c_str(), baseFont.c_str()) == 1;
  });
}

float CKW_pluignannotSystemHandler::GetAscent(const std::string& baseFont, float size) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.ascent * size / 1000 : 0;
}

float CKW_pluignannotSystemHandler::GetDescent(const std::string& baseFont, float size) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.descent * size / 1000 : 0;
}

float CKW_pluignannotSystemHandler::GetCapHeight(const std::string& baseFont, float size) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.capHeight * size / 1000 : 0;
}

float CKW_pluignannotSystemHandler::GetItalicAngle(const std::string& baseFont) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.italicAngle : 0;
}

int CKW_pluignannotSystemHandler::GetFontFlags(const std::string& baseFont) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.flags : 0;
}

bool CKW_pluignannotSystemHandler::GetFontBBox(const std::string& baseFont, KS_FloatRect* out) {
  KS_FontMetrics m{};
  if (!out || !Metrics(baseFont, &m)) return false;
  *out = m.bbox;
  return true;
}

float CKW_pluignannotSystemHandler::GetXHeight(const std::string& baseFont, float size) {
  KS_FontMetrics m{};
  return Metrics(baseFont, &m) ? m.xHeight * size / 1000 : 0;
}

std::string CKW_pluignannotSystemHandler::GetBaseFontName(const std::u16string& family) {
  // The host takes the family as an 8-bit host string.
  Host::ByteString name(Narrow(family));
  return WithFonts(std::string(), [&](KA_FontService svc) {
    Host::ByteString out;
    const char* data = Host::ByteStringData(name.get());
    return Host::FontStandardName(svc, data ? data : "", 0, 0, out.get()) == 1 ? out.str() : std::string();
  });
}

bool CKW_pluignannotSystemHandler::AddFontToFormResources(KPD_Document doc, const std::string& resName,
                                                          const std::string& baseFont) {
  return WithFonts(false, [&](KA_FontService svc) {
    KPD_InterForm form = Host::DocGetInterForm(doc);
    KPD_Dictionary acroForm = form ? Host::InterFormGetDict(form) : nullptr;
    if (!acroForm) return false;
    KPD_Dictionary fonts = ChildDict(ChildDict(acroForm, "/DR"), "/Font");
    return fonts && Host::FontAddToResources(svc, doc, fonts, resName.c_str(), baseFont.c_str()) == 1;
  });
}

bool CKW_pluignannotSystemHandler::AddFontToPageResources(KPD_Document doc, const std::string& resName,
                                                          const std::string& baseFont) {
  // The plug-in keeps no per-document page record yet; fonts go to the
  // first page.
  return WithFonts(false, [&](KA_FontService svc) {
    KPD_Page page = Host::DocGetPage(doc, 0);
    if (!page) return false;
    KPD_Dictionary res = Host::DictGet(page, "/Resources");
    if (!res || Host::ObjectGetType(res) != KPD_OBJ_DICTIONARY) return false;
    KPD_Dictionary fonts = ChildDict(res, "/Font");
    return fonts && Host::FontAddToResources(svc, doc, fonts, resName.c_str(), baseFont.c_str()) == 1;
  });
}

// ---- provider -----------------------------------------------------------------

kwannotation::CKW_SystemHandler* CKW_Provider::GetSystemHandler() {
  if (!systemHandler_) systemHandler_ = std::make_unique<CKW_pluignannotSystemHandler>();
  return systemHandler_.get();
}

KPD_FontMap CKW_Provider::GetDocFontMap(KPD_Document doc) { return doc ? Host::DocGetFontMap(doc) : nullptr; }

KPD_InterForm CKW_Provider::GetInterForm(KPD_Document doc) { return doc ? Host::DocGetInterForm(doc) : nullptr; }

std::u16string CKW_Provider::GetDisplayText(const std::u16string& text) {
  if (text.empty()) return {};
  Host::WideString out;
  return Host::WideStringForDisplay(text.data(), text.size(), out.get()) == 1 ? out.str() : text;
}

std::u16string CKW_Provider::NormalizeUnitLabel(const std::u16string& label) {
  return AnnotationPlugin::NormalizeUnitLabel(label);
}

std::u16string CKW_Provider::GetLocalizedText(const std::string& key) { return Widgets::Translate(key); }

KPD_Annot CKW_Provider::CreateAnnot(KPD_Document doc, int pageIndex, KPD_Dictionary dict, int index) {
  KPD_Page page = doc ? Host::DocGetPage(doc, pageIndex) : nullptr;
  if (!page || !dict) return nullptr;
  const int count = Host::PageAnnotCount(page);
  return Host::PageInsertAnnot(page, index < 0 || index > count ? count : index, dict);
}

bool CKW_Provider::RemoveAnnot(KPD_Document doc, int pageIndex, KPD_Annot annot) {
  KPD_Page page = doc ? Host::DocGetPage(doc, pageIndex) : nullptr;
  if (!page || !annot) return false;
  const int at = Host::PageFindAnnot(page, annot);
  return at >= 0 && Host::PageRemoveAnnot(page, at) == 1;
}

// ---- the plug-in's provider ---------------------------------------------------

void RegisterProvider() {
  g_provider = std::make_shared<CKW_Provider>();
  std::shared_ptr<kwannotation::IKW_IconProvider> icons = g_provider;
  kwannotation::CKW_ProviderManager::Get()->SetIconProvider(icons);
  std::shared_ptr<kwannotation::IKW_Provider> provider = g_provider;
  kwannotation::CKW_ProviderManager::Get()->SetProvider(provider);
}

namespace {

class CKW_TextProvider final : public kwannotation::IKW_Provider {
 public:
  kwannotation::CKW_SystemHandler* GetSystemHandler() override { return nullptr; }
  KPD_FontMap GetDocFontMap(KPD_Document) override { return nullptr; }
  KPD_InterForm GetInterForm(KPD_Document) override { return nullptr; }
  std::u16string GetDisplayText(const std::u16string& text) override { return text; }
  std::u16string NormalizeUnitLabel(const std::u16string& label) override { return label; }
  std::u16string GetLocalizedText(const std::string& key) override { return Widgets::Translate(key); }
};

}  // namespace

void RegisterTextProvider() {
  auto manager = kwannotation::CKW_ProviderManager::Get();
  if (manager->GetProvider()) return;
  Host::WideString language;
  if (Host::AppGetUILanguage(language.get())) Widgets::SetCurrentLanguage(language.str());
  Widgets::LoadStrings("Annotation");
  manager->SetProvider(std::make_shared<CKW_TextProvider>());
}

void ReleaseProvider() { g_provider.reset(); }

}  // namespace AnnotationPlugin
