// PDF text strings (selector 10): the bytes of a PDF string as UTF-16 and
// back. A text string is UTF-16BE after FE FF; PDF 2.0 files may also use
// UTF-8 after EF BB BF, and some writers use UTF-16LE after FF FE. Anything
// else is PDFDocEncoding.
#include "host/pdf_handles.h"

#include <qpdf/QUtil.hh>

#include "host/host_functions.h"
#include "host/utf.h"

using kshost::pdf::Guard;

namespace {

// Code units are copied as they are, so lone surrogates pass through; an odd
// trailing byte is dropped.
std::u16string DecodeUtf16(std::string_view in, bool bigEndian) {
  std::u16string out;
  out.reserve(in.size() / 2);
  for (size_t i = 0; i + 1 < in.size(); i += 2) {
    unsigned hi = static_cast<unsigned char>(in[bigEndian ? i : i + 1]);
    unsigned lo = static_cast<unsigned char>(in[bigEndian ? i + 1 : i]);
    out.push_back(char16_t(hi << 8 | lo));
  }
  return out;
}

std::u16string PdfTextToUtf16(std::string_view bytes) {
  auto starts = [&](std::string_view bom) { return bytes.substr(0, bom.size()) == bom; };
  if (starts("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  if (starts("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (starts("\xEF\xBB\xBF")) return kshost::ToUtf16(bytes.substr(3));
  // qpdf holds the PDFDocEncoding table; its undefined codes come out as
  // U+FFFD.
  return kshost::ToUtf16(QUtil::pdf_doc_to_utf8(std::string(bytes)));
}

// Characters that PDFDocEncoding stores as themselves in one byte. The other
// ASCII controls are not safe: 0x18-0x1F are accents there, 0x7F is
// undefined.
bool IsPlainAscii(char16_t c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r'; }

std::string Utf16ToPdfText(std::u16string_view text) {
  std::string out;
  bool plain = true;
  for (char16_t c : text) plain = plain && IsPlainAscii(c);
  if (plain) {
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(static_cast<char>(c));
    return out;
  }
  out.reserve(2 + 2 * text.size());
  out += "\xFE\xFF";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

}  // namespace

int32_t kshost::direct::PdfTextToWide(const char* bytes, size_t length, KS_WideString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!out || (!bytes && length > 0)) return 0;
    return kshost::pdf::SetWide(out, PdfTextToUtf16(std::string_view(bytes ? bytes : "", length))) ? 1 : 0;
  });
}

int32_t kshost::direct::WideToPdfText(const char16_t* text, size_t length, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!out || (!text && length > 0)) return 0;
    return kshost::pdf::SetBytes(out, Utf16ToPdfText(std::u16string_view(text ? text : u"", length))) ? 1 : 0;
  });
}

int32_t kshost::direct::StringObjectGetText(KPD_Object str, KS_WideString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    QPDFObjectHandle* object = kshost::pdf::ObjectOf(str);
    if (!object || !object->isString() || !out) return 0;
    return kshost::pdf::SetWide(out, PdfTextToUtf16(object->getStringValue())) ? 1 : 0;
  });
}

KPD_Object kshost::direct::StringObjectNewFromText(const char16_t* text, size_t length) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!text && length > 0) return nullptr;
    std::string bytes = Utf16ToPdfText(std::u16string_view(text ? text : u"", length));
    return kshost::pdf::NewOwned(QPDFObjectHandle::newString(bytes));
  });
}
