// Text set at an angle, read from content streams: any bytes read without a
// crash or a hang, and every glyph kept has a finite box and a line counted
// in order from 0.
//
// The input is the page's content; after a line "%%FORM" the rest is the
// content of form XObject /F, which the page and the form itself may draw.
// The font /F1 is Helvetica with widths of its own for "T" to "h"; /F2 a
// composite font with Identity-H, /W and /DW; /F3 a composite font whose
// encoding and /ToUnicode CMaps are the text after a line "%%CMAP" (taken
// off the input first).
#include <qpdf/QPDF.hh>

#include <cmath>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/angled_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  std::string content(reinterpret_cast<const char*>(data), size);
  std::string cmap;
  if (const size_t split = content.find("%%CMAP"); split != std::string::npos) {
    cmap = content.substr(split + 6);
    content.resize(split);
  }
  const std::string formContent = annot_fuzz::SplitFormContent(content);
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle form = qpdf.newStream(formContent);
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  QPDFObjectHandle resources = QPDFObjectHandle::parse(
      "<< /XObject << >> /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 84 "
      "/Widths [611 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 556 0 0 556] >> "
      "/F2 << /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [<< /Subtype /CIDFontType2 "
      "/W [36 [600 700] 40 42 500] /DW 900 /FontDescriptor << /Ascent 800 /Descent -200 >> >>] >> >> >>");
  QPDFObjectHandle cmapStream = qpdf.newStream(cmap);
  QPDFObjectHandle f3 = QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type0 /DescendantFonts [<< /Subtype /CIDFontType0 /W [1 [250 300] 633 [1000]] "
      "/DW 1000 >>] >>");
  f3.replaceKey("/Encoding", cmapStream);
  f3.replaceKey("/ToUnicode", cmapStream);
  resources.getKey("/Font").replaceKey("/F3", qpdf.makeIndirectObject(f3));
  resources.getKey("/XObject").replaceKey("/F", form);
  form.getDict().replaceKey("/Resources", resources);
  QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>");
  page.replaceKey("/Resources", resources);
  page.replaceKey("/Contents", qpdf.newStream(content));

  int line = 0;
  for (const KS_TextGlyph& g : kshost::ReadAngledGlyphs(page)) {
    for (const KS_FloatPoint& p : g.quad) FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y));
    FUZZ_CHECK(g.line == line || g.line == line + 1);
    line = g.line;
  }
  return 0;
}
