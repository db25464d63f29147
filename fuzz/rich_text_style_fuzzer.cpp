// A CSS style attribute: apply it, write the style back as CSS, and check
// that the written form reads back to itself.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_rich_text.h"

using kwannotation::ApplyRichTextStyle;
using kwannotation::CKW_RichTextStyle;
using kwannotation::RichTextStyleToCss;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  const std::u16string css = annot_fuzz::Utf16(data, size);
  CKW_RichTextStyle style;
  ApplyRichTextStyle(css, &style);
  KPD_ColorF color{};
  kwannotation::ParseCssColor(style.color, &color);
  kwannotation::FirstFontFamily(style.fontFamily);
  // Values with separators of their own do not survive a round trip;
  // everything else does.
  for (char16_t c : style.fontFamily + style.color)
    if (c == u';' || c == u':' || c == u'\'' || c == u'"' || c == u',' || c < 0x21) return 0;
  if (style.HasFontSize() && !(style.fontSize >= 0.01f && style.fontSize < 1e9f)) return 0;
  const std::u16string written = RichTextStyleToCss(style);
  CKW_RichTextStyle back;
  FUZZ_CHECK(ApplyRichTextStyle(written, &back));
  FUZZ_CHECK(RichTextStyleToCss(back) == written);
  return 0;
}
