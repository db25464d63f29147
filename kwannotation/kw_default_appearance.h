// The two style strings of text-bearing annotations: /DA, a fragment of
// content-stream operators (font, size, colours, spacing), and /DS, a
// CSS-like list of declarations.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// Which parts of a /DA record are present.
enum DefaultAppearanceFlag : uint32_t {
  kDA_Font = 1,
  kDA_FillColor = 2,
  kDA_Leading = 16,
  kDA_CharSpacing = 32,
  kDA_TextMatrix = 64,
  kDA_StrokeColor = 128,
  kDA_HorzScaling = 256,
};

// What a /DA says. Fields whose flag is clear keep their defaults.
struct DefaultAppearanceInfo {
  uint32_t flags = 0;
  std::string fontName;  // resource name, without the leading slash
  float fontSize = 0;
  KPD_ColorF fillColor{};
  KPD_ColorF strokeColor{};
  float charSpacing = 0;
  float horzScaling = 100;
  float leading = 0;
  KS_Matrix textMatrix{1, 0, 0, 1, 0, 0};
};

// /DA. Reading goes through the host's content tokenizer, so the host must be
// bound; without it every field reads as absent.
class CDA_DefaultAppearance {
 public:
  explicit CDA_DefaultAppearance(std::string da = {});
  virtual ~CDA_DefaultAppearance();

  const std::string& GetText() const { return da_; }
  void SetText(std::string da) { da_ = std::move(da); }

  // Parses the text. For each part the last instruction of its operator with
  // the right number of operands wins; the fill colour is looked for as "g",
  // then "rg", then "k" (the stroke colour likewise as "G", "RG", "K").
  DefaultAppearanceInfo GetInfo() const;

  // Writes every part whose flag is set in `info`, in the order font, fill
  // colour, stroke colour, matrix, leading, character spacing, horizontal
  // scaling: an existing instruction is rewritten where it stands (the other
  // operators keep their place and bytes), a missing one is appended. A colour
  // of kind 0 is left as it is. Parts whose flag is clear are not touched.
  void SetInfo(const DefaultAppearanceInfo& info);

  // Shorthands over GetInfo and SetInfo. The getters answer false, leaving
  // the outputs unchanged, when the part is absent.
  bool GetFont(std::string* name, float* size) const;
  void SetFont(const std::string& name, float size);
  bool GetFillColor(KPD_ColorF* color) const;
  void SetFillColor(const KPD_ColorF& color);
  bool GetStrokeColor(KPD_ColorF* color) const;
  void SetStrokeColor(const KPD_ColorF& color);

 private:
  std::string da_;
};

// The font resource name used for a base font: "HeBo" for Helvetica-Bold,
// "TiBI" for Times-BoldItalic, "Cour" for Courier, "ZaDb" for ZapfDingbats.
std::string FontResourceName(std::string_view baseFont);

// A family name with the editor's substitute font name inside it replaced by
// the standard font it stands for ("VenkoSansOTF-Bold" gives
// "Helvetica-Bold"); any other name comes back unchanged.
std::string NormalizeFontFamily(std::string_view family);

// A colour as RGB: gray is spread to the three components, CMYK converted,
// RGB and "none" kept.
KPD_ColorF ColorToRGB(const KPD_ColorF& color);

// The font of a /DS.
struct DefaultStyleFont {
  std::u16string family;
  float size = 0;  // 0 when the shorthand holds no size
  bool bold = false;
  bool italic = false;
};

// /DS: declarations "name: value" separated by ";".
class CDS_DefaultAppearance {
 public:
  explicit CDS_DefaultAppearance(std::u16string ds = {});
  virtual ~CDS_DefaultAppearance();

  // Replaces the "color" declaration (added when missing) with #RRGGBB.
  void SetColor(const KPD_ColorF& color);
  // The RGB colour of "color"; false, leaving `color` unchanged, when there
  // is none or it is not a hash sign and six hexadecimal digits.
  bool GetColor(KPD_ColorF* color) const;

  // The "font" shorthand; false when there is no "font" declaration.
  bool GetFont(DefaultStyleFont* font) const;
  // Replaces the "font" declaration (added when missing).
  void SetFont(const DefaultStyleFont& font);

  // The value of a declaration, empty when it is absent.
  std::u16string GetValue(std::u16string_view name) const;
  // Replaces a declaration's value, appending it when absent.
  void SetValue(std::u16string_view name, std::u16string value);

  // The declarations written back in their order, joined by ";".
  std::u16string GetText() const;

 private:
  std::vector<std::pair<std::u16string, std::u16string>> declarations_;
};

}  // namespace kwannotation
