// The font service (selector 331). The service handle is the application's
// FontService; any other service a host part makes works the same way.
// Base font names may come with or without their leading slash; a font that
// is not one of the standard 14 is measured with the standard face that
// stands in for it (FontService::Resolve).
#include <cmath>

#include "host/font_service.h"
#include "host/host_functions.h"
#include "host/pdf_document.h"
#include "host/pdf_handles.h"
#include "host/strings.h"
#include "host/utf.h"
#include "sdk/ks_utf.h"

using kshost::FontService;
using kshost::pdf::Guard;

namespace {

FontService* ServiceOf(KA_FontService svc) { return reinterpret_cast<FontService*>(svc); }

kshost::AfmFont const* FontOf(KA_FontService svc, const char* baseFont) {
  return svc && baseFont ? ServiceOf(svc)->Font(baseFont) : nullptr;
}

// Walks UTF-16 text by code point; a lone surrogate is one unencodable
// character.
template <class F>
void ForEachCodePoint(const char16_t* text, size_t length, F&& visit) {
  if (!text) return;
  const std::u16string_view view(text, length);
  for (size_t i = 0; i < length;) visit(ks::NextCodePoint(view, &i));
}

std::string_view WithoutSlash(const char* name) {
  std::string_view view(name);
  if (!view.empty() && view.front() == '/') view.remove_prefix(1);
  return view;
}

// A resource entry that is already a font, whichever font it is.
bool IsFontDict(QPDFObjectHandle value) {
  if (!value.isDictionary()) return false;
  return value.getKey("/Type").isNameAndEquals("/Font") || value.getKey("/BaseFont").isName();
}

}  // namespace

namespace kshost::direct {

KA_FontService AppGetFontService(void) {
  return Guard<KA_FontService>(nullptr, [] { return reinterpret_cast<KA_FontService>(&FontService::Application()); });
}

int32_t FontIsStandard14(KA_FontService svc, const char* baseFont) {
  return svc && baseFont && FontService::IsStandard14(WithoutSlash(baseFont)) ? 1 : 0;
}

int32_t FontStandardName(KA_FontService svc, const char* family, int32_t bold, int32_t italic, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!svc || !family || !out) return 0;
    return SetText(out, FontService::StandardName(family, bold != 0, italic != 0)) ? 1 : 0;
  });
}

int32_t FontGetMetrics(KA_FontService svc, const char* baseFont, KS_FontMetrics* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    auto font = FontOf(svc, baseFont);
    if (!font || !out) return 0;
    *out = font->metrics;
    return 1;
  });
}

float FontCharWidth(KA_FontService svc, const char* baseFont, uint32_t unicode) {
  return Guard<float>(0, [&]() -> float {
    auto font = FontOf(svc, baseFont);
    return font ? FontService::CharWidth(*font, unicode) : 0;
  });
}

float FontTextWidth(KA_FontService svc, const char* baseFont, const char16_t* text, size_t length, float size) {
  return Guard<float>(0, [&]() -> float {
    auto font = FontOf(svc, baseFont);
    if (!font || !std::isfinite(size)) return 0;
    double total = 0;  // summed in double: long texts stay exact in thousandths
    ForEachCodePoint(text, length, [&](char32_t c) { total += FontService::CharWidth(*font, c); });
    return static_cast<float>(total * size / 1000.0);
  });
}

int32_t FontHasGlyph(KA_FontService svc, const char* baseFont, uint32_t unicode) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    auto font = FontOf(svc, baseFont);
    return font && FontService::HasGlyph(*font, unicode) ? 1 : 0;
  });
}

// The character set is not needed: every known family has a standard face,
// and the encoding of that face is fixed.
int32_t FontFindSystemFont(KA_FontService svc, const char16_t* name, int32_t charset, KS_ByteString out) {
  (void)charset;
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!svc || !name || !out) return 0;
    auto known = FontService::KnownStandardName(ToUtf8(ViewOf(name)), false, false);
    return known && SetText(out, *known) ? 1 : 0;
  });
}

int32_t FontAddToResources(KA_FontService svc, KPD_Document doc, KPD_Dictionary fontDict, const char* resName,
                           const char* baseFont) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!svc || !doc || !fontDict || !pdf::IsNameText(resName) || !resName[1] || !baseFont) return 0;
    QPDFObjectHandle fonts = pdf::FromKpd(fontDict)->object;
    if (!fonts.isDictionary()) return 0;
    pdf::Document* target = pdf::Document::FromKpd(doc);
    pdf::Document* owner = pdf::DocumentOfHandle(*pdf::FromKpd(fontDict));
    if (owner && owner != target) return 0;
    if (IsFontDict(fonts.getKey(resName))) return 1;
    if (!target->Writable()) return 0;

    const std::string name = FontService::Resolve(baseFont);
    QPDFObjectHandle font = QPDFObjectHandle::newDictionary();
    font.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
    font.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
    font.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + name));
    // Symbol and ZapfDingbats are drawn through their built-in encodings.
    if (name != "Symbol" && name != "ZapfDingbats")
      font.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
    fonts.replaceKey(resName, target->qpdf().makeIndirectObject(font));
    pdf::NoteChange(*pdf::FromKpd(fontDict));
    target->MarkChanged(fonts);
    return 1;
  });
}

int32_t FontEncodeText(KA_FontService svc, const char* baseFont, const char16_t* text, size_t length,
                       KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    auto font = FontOf(svc, baseFont);
    if (!font || !out) return 0;
    std::string bytes;
    bytes.reserve(text ? length : 0);
    ForEachCodePoint(text, length, [&](char32_t c) { bytes.push_back(static_cast<char>(FontService::Encode(*font, c))); });
    return SetText(out, bytes) ? 1 : 0;
  });
}

}  // namespace kshost::direct
