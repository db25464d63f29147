// The plug-in's answers to what the annotation library asks of its
// application: one provider object serving as both the icon provider and
// the provider, and a system handler that forwards font questions to the
// host's font service.
#pragma once

#include <memory>
#include <string>

#include "kwannotation/kw_provider.h"

namespace AnnotationPlugin {

class CKW_pluignannotSystemHandler final : public kwannotation::CKW_SystemHandler {
 public:
  bool IsReady() override { return false; }
  std::string FindSystemFont(const std::u16string& name, int charset) override;
  bool IsStandard14(const std::string& baseFont) override;
  std::string GetStandardFontName(const std::string& family, bool bold, bool italic) override;
  bool GetFontMetrics(const std::string& baseFont, KS_FontMetrics* out) override;
  float GetCharWidth(const std::string& baseFont, uint32_t unicode) override;
  float GetTextWidth(const std::string& baseFont, const std::u16string& text, float size) override;
  bool HasGlyph(const std::string& baseFont, uint32_t unicode) override;
  std::string EncodeText(const std::string& baseFont, const std::u16string& text) override;
  bool AddFontToResources(KPD_Document doc, KPD_Dictionary fontDict, const std::string& resName,
                          const std::string& baseFont) override;
  float GetAscent(const std::string& baseFont, float size) override;
  float GetDescent(const std::string& baseFont, float size) override;
  float GetCapHeight(const std::string& baseFont, float size) override;
  float GetItalicAngle(const std::string& baseFont) override;
  int GetFontFlags(const std::string& baseFont) override;
  bool GetFontBBox(const std::string& baseFont, KS_FloatRect* out) override;
  float GetXHeight(const std::string& baseFont, float size) override;
  std::string GetBaseFontName(const std::u16string& family) override;
  bool AddFontToFormResources(KPD_Document doc, const std::string& resName, const std::string& baseFont) override;
  bool AddFontToPageResources(KPD_Document doc, const std::string& resName, const std::string& baseFont) override;
};

class CKW_Provider final : public kwannotation::IKW_IconProvider, public kwannotation::IKW_Provider {
 public:
  // As icon provider.
  std::string GetProviderName() override { return "venko"; }
  std::string GetProviderVersion() override { return "1"; }
  bool HasIcon(const std::string&, const std::string&) override { return false; }
  bool CanChangeColor(const std::string&, const std::string&) override { return false; }
  int GetIconCount(const std::string&) override { return 0; }
  bool GetIconSize(const std::string&, const std::string&, float*, float*) override { return false; }
  std::string GetIconContent(const std::string&, const std::string&) override { return {}; }
  std::string GetIconName(const std::string&, int) override { return {}; }

  // As provider.
  kwannotation::CKW_SystemHandler* GetSystemHandler() override;
  KPD_FontMap GetDocFontMap(KPD_Document doc) override;
  KPD_InterForm GetInterForm(KPD_Document doc) override;
  std::u16string GetDisplayText(const std::u16string& text) override;
  std::u16string NormalizeUnitLabel(const std::u16string& label) override;
  KPD_Annot CreateAnnot(KPD_Document doc, int pageIndex, KPD_Dictionary dict, int index) override;
  bool RemoveAnnot(KPD_Document doc, int pageIndex, KPD_Annot annot) override;
  // The plug-in's "Annotation" table in the current language.
  std::u16string GetLocalizedText(const std::string& key) override;

 private:
  std::unique_ptr<CKW_pluignannotSystemHandler> systemHandler_;
};

// The plug-in's one provider, made at start-up and registered with the
// annotation library's provider manager; released at unload.
void RegisterProvider();

// For a process that runs the annotation library without the plug-in (the
// annot command): registers, unless a provider is there already, one that
// only gives the plug-in's texts in the host's language; fonts, forms and
// annotations stay the library's own.
void RegisterTextProvider();
void ReleaseProvider();

}  // namespace AnnotationPlugin
