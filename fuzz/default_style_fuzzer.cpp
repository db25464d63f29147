// /DS text: read the declarations, the colour and the font shorthand, then
// replace the colour and the font and read them back.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_default_appearance.h"

using kwannotation::CDS_DefaultAppearance;
using kwannotation::DefaultStyleFont;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  CDS_DefaultAppearance ds(annot_fuzz::Utf16(data, size));
  DefaultStyleFont font;
  ds.GetFont(&font);
  KPD_ColorF color{};
  ds.GetColor(&color);
  ds.GetValue(u"text-align");
  const std::u16string text = ds.GetText();

  // What was written reads back as written.
  CDS_DefaultAppearance reread(text);
  FUZZ_CHECK(reread.GetText() == text);
  KPD_ColorF red{2, {1, 0, 0, 0}};
  reread.SetColor(red);
  KPD_ColorF back{};
  FUZZ_CHECK(reread.GetColor(&back));
  if (font.family.empty()) font.family = u"Helvetica";
  reread.SetFont(font);
  DefaultStyleFont fontBack;
  FUZZ_CHECK(reread.GetFont(&fontBack));
  return 0;
}
