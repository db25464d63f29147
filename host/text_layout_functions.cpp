// The text-layout service (selector 653), over host/text_layout.
#include <cmath>
#include <cstddef>

#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/pdf_handles.h"
#include "host/strings.h"
#include "host/text_layout.h"

using kshost::TextLayout;
using kshost::pdf::Guard;

namespace {

TextLayout* LayoutOf(KA_TextLayout layout) { return reinterpret_cast<TextLayout*>(layout); }

}  // namespace

namespace kshost::direct {

KA_TextLayout TextLayoutNew(void) {
  return Guard<KA_TextLayout>(nullptr, [] { return reinterpret_cast<KA_TextLayout>(new TextLayout()); });
}

void TextLayoutRelease(KA_TextLayout layout) {
  kshost::GuardVoid([&] { delete LayoutOf(layout); });
}

int32_t TextLayoutAddRun(KA_TextLayout layout, const char* family, int32_t bold, int32_t italic, float size,
                         const char16_t* text, size_t length) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!layout || (!text && length)) return 0;
    LayoutOf(layout)->AddRun(family ? family : "Helvetica", bold != 0, italic != 0, size,
                             std::u16string_view(text ? text : u"", length));
    return 1;
  });
}

int32_t TextLayoutAddStyledRun(KA_TextLayout layout, const KS_TextRunStyle* style, const char16_t* text,
                               size_t length) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    // A record from before the paragraph alignment ends at the spacing.
    constexpr size_t kShortest = offsetof(KS_TextRunStyle, charSpacing) + sizeof(float);
    if (!layout || !style || style->size < kShortest || (!text && length)) return 0;
    kshost::RunStyle s;
    if (style->family && *style->family) s.family = style->family;
    s.size = style->fontSize;
    s.bold = style->bold != 0;
    s.italic = style->italic != 0;
    s.underline = style->underline != 0;
    s.strike = style->strike != 0;
    s.rise = style->baselineShift;
    s.hasColor = style->hasColor != 0;
    for (int i = 0; i < 3; ++i) s.color[i] = style->color[i];
    s.charSpacing = style->charSpacing;
    if (style->size >= offsetof(KS_TextRunStyle, paragraphAlign) + sizeof(int32_t)) s.align = style->paragraphAlign - 1;
    LayoutOf(layout)->AddStyledRun(s, std::u16string_view(text ? text : u"", length));
    return 1;
  });
}

int32_t TextLayoutArrange(KA_TextLayout layout, float maxWidth, int32_t align, float spacing) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!layout) return 0;
    const auto a = align == 1   ? TextAlign::kCentre
                   : align == 2 ? TextAlign::kRight
                   : align == 3 ? TextAlign::kJustify
                                : TextAlign::kLeft;
    return LayoutOf(layout)->Arrange(maxWidth, a, spacing);
  });
}

int32_t TextLayoutGetBox(KA_TextLayout layout, KS_FloatRect* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!layout || !out) return 0;
    *out = LayoutOf(layout)->Box();
    return 1;
  });
}

int32_t TextLayoutGetCaret(KA_TextLayout layout, KS_FloatRect* out) {
  return Guard<int32_t>(0, [&]() -> int32_t { return layout && out && LayoutOf(layout)->Caret(out) ? 1 : 0; });
}

int32_t TextLayoutGetContent(KA_TextLayout layout, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!layout || !out) return 0;
    return SetText(out, LayoutOf(layout)->Content()) ? 1 : 0;
  });
}

int32_t TextLayoutAddResources(KA_TextLayout layout, KPD_Document doc, KPD_Dictionary fontDict) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!layout || !doc || !fontDict) return 0;
    pdf::Document* target = pdf::Document::FromKpd(doc);
    pdf::Document* owner = pdf::DocumentOfHandle(*pdf::FromKpd(fontDict));
    if (!target || (owner && owner != target) || !target->Writable()) return 0;
    QPDFObjectHandle fonts = pdf::FromKpd(fontDict)->object;
    if (!LayoutOf(layout)->AddResources(*target, fonts)) return 0;
    pdf::NoteChange(*pdf::FromKpd(fontDict));
    target->MarkChanged(fonts);
    return 1;
  });
}

}  // namespace kshost::direct
