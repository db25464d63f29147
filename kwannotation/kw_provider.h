// What the annotation library asks of the application it lives in: fonts,
// icons, the interactive form and the editing font map of a document, and a
// hook that lets the application create and remove annotations itself. The
// application registers one object implementing both provider interfaces
// with the process-wide provider manager.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "sdk/ks_types.h"

namespace kwannotation {

// Font services, mostly forwarded to the application's font service. Every
// slot has a default body that answers "nothing known".
class CKW_SystemHandler {
 public:
  virtual ~CKW_SystemHandler() = default;                                         // 0
  virtual bool IsReady() { return false; }                                        // 1
  // Base name of an installed font for a family name and charset.
  virtual std::string FindSystemFont(const std::u16string& name, int charset) { return {}; }  // 2
  virtual bool IsStandard14(const std::string& baseFont) { return false; }        // 3
  // The standard 14 base name for a family with bold and italic styles.
  virtual std::string GetStandardFontName(const std::string& family, bool bold, bool italic) {
    return {};
  }                                                                               // 4
  virtual bool GetFontMetrics(const std::string& baseFont, KS_FontMetrics* out) { return false; }  // 5
  // Advance width of one character in 1/1000 em.
  virtual float GetCharWidth(const std::string& baseFont, uint32_t unicode) { return 0; }  // 6
  virtual std::string GetDefaultFontName() { return "Helvetica"; }                // 7
  // Width of a text at a font size, in points.
  virtual float GetTextWidth(const std::string& baseFont, const std::u16string& text, float size) {
    return 0;
  }                                                                               // 8
  virtual bool HasGlyph(const std::string& baseFont, uint32_t unicode) { return false; }  // 9
  // The bytes that show a text in the font's simple encoding.
  virtual std::string EncodeText(const std::string& baseFont, const std::u16string& text) { return {}; }  // 10
  // Adds a simple font to a /Font resource dictionary under a resource name.
  virtual bool AddFontToResources(KPD_Document doc, KPD_Dictionary fontDict, const std::string& resName,
                                  const std::string& baseFont) {
    return false;
  }                                                                               // 11
  // Vertical metrics at a size, in points; the descent is negative.
  virtual float GetAscent(const std::string& baseFont, float size) { return 0; }  // 12
  virtual float GetDescent(const std::string& baseFont, float size) { return 0; }  // 13
  virtual float GetCapHeight(const std::string& baseFont, float size) { return 0; }  // 14
  virtual float GetItalicAngle(const std::string& baseFont) { return 0; }         // 15
  virtual int GetFontFlags(const std::string& baseFont) { return 0; }             // 16
  virtual bool GetFontBBox(const std::string& baseFont, KS_FloatRect* out) { return false; }  // 17
  virtual float GetXHeight(const std::string& baseFont, float size) { return 0; }  // 18
  // The standard 14 base name for a family name given as wide text.
  virtual std::string GetBaseFontName(const std::u16string& family) { return {}; }  // 19
  // Adds a font to the document's form resources (/AcroForm /DR /Font).
  virtual bool AddFontToFormResources(KPD_Document doc, const std::string& resName,
                                      const std::string& baseFont) {
    return false;
  }                                                                               // 20
  // Adds a font to the resources of the page the application shows for doc.
  virtual bool AddFontToPageResources(KPD_Document doc, const std::string& resName,
                                      const std::string& baseFont) {
    return false;
  }                                                                               // 21
};

class IKW_Provider {
 public:
  virtual ~IKW_Provider() = default;                                                        // 0
  virtual CKW_SystemHandler* GetSystemHandler() = 0;                                        // 1
  // The application's own per-document objects, or null to let the library
  // make its own through the host.
  virtual KPD_FontMap GetDocFontMap(KPD_Document doc) = 0;                                  // 2
  virtual KPD_InterForm GetInterForm(KPD_Document doc) = 0;                                 // 3
  // A text as the application shows it.
  virtual std::u16string GetDisplayText(const std::u16string& text) = 0;                    // 4
  // A unit label in any installed language turned into its English form.
  virtual std::u16string NormalizeUnitLabel(const std::u16string& label) = 0;               // 5
  virtual std::string GetUILanguage() { return {}; }                                        // 6
  // Creation hook: the application may create the annotation from dict at
  // index (-1 for the end) of the page. Null lets the library insert it.
  virtual KPD_Annot CreateAnnot(KPD_Document doc, int pageIndex, KPD_Dictionary dict, int index) {
    return nullptr;
  }                                                                                         // 7
  // Removal hook: true when the application removed the annotation.
  virtual bool RemoveAnnot(KPD_Document doc, int pageIndex, KPD_Annot annot) { return false; }  // 8
  // The application's text for a key of its translation table ("IDS_SLOPE"),
  // in its current language; empty when it has none.
  virtual std::u16string GetLocalizedText(const std::string& key) { return {}; }  // 9
};

class IKW_IconProvider {
 public:
  virtual ~IKW_IconProvider() = default;                                                    // 0
  virtual std::string GetProviderName() = 0;                                                // 1
  virtual std::string GetProviderVersion() = 0;                                             // 2
  // Whether the provider draws the icon of a subtype and icon name.
  virtual bool HasIcon(const std::string& subtype, const std::string& iconName) = 0;         // 3
  virtual bool CanChangeColor(const std::string& subtype, const std::string& iconName) = 0;  // 4
  virtual int GetIconCount(const std::string& subtype) = 0;                                 // 5
  virtual bool GetIconSize(const std::string& subtype, const std::string& iconName, float* width,
                           float* height) = 0;                                              // 6
  // The content and resources of an icon, empty when not supplied.
  virtual std::string GetIconContent(const std::string& subtype, const std::string& iconName) = 0;  // 7
  virtual std::string GetIconName(const std::string& subtype, int index) = 0;               // 8
};

class IKW_ProviderManager {
 public:
  virtual ~IKW_ProviderManager() = default;                                                  // 0
  virtual void SetProvider(std::shared_ptr<IKW_Provider> provider) = 0;                      // 1
  virtual std::shared_ptr<IKW_Provider> GetProvider() const = 0;                             // 2
  virtual void SetIconProvider(std::shared_ptr<IKW_IconProvider> provider) = 0;              // 3
  virtual std::shared_ptr<IKW_IconProvider> GetIconProvider() const = 0;                     // 4
};

// The words the library writes into appearances (the name of a caption
// line, the unit word of a slope) in the application's language: the
// provider's text for `key`, else the key itself, as a translation table
// answers for a key it lacks.
std::u16string KW_LocalizedText(const std::string& key);

// The process-wide manager, made on first use.
class CKW_ProviderManager final : public IKW_ProviderManager {
 public:
  static std::shared_ptr<CKW_ProviderManager> Get();

  void SetProvider(std::shared_ptr<IKW_Provider> provider) override;
  std::shared_ptr<IKW_Provider> GetProvider() const override;
  void SetIconProvider(std::shared_ptr<IKW_IconProvider> provider) override;
  std::shared_ptr<IKW_IconProvider> GetIconProvider() const override;

  // Per-document helpers: the provider's own object (not owned), else a new
  // one made through the host and released with the last shared pointer.
  std::shared_ptr<KPD_InterForm__> GetInterForm(KPD_Document doc);
  std::shared_ptr<KPD_FontMap__> GetDocFontMap(KPD_Document doc);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<IKW_Provider> provider_;
  std::shared_ptr<IKW_IconProvider> iconProvider_;
};

}  // namespace kwannotation
