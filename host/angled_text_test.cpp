#include "host/angled_text.h"

#include <qpdf/QPDF.hh>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "host/host_functions.h"
#include "host/page_text.h"
#include "host/pdf_handles.h"
#include "host/pdf_test_support.h"
#include "host/session.h"

namespace kshost {
namespace {

// A page that shows `content` with a simple font and composite ones: /F1
// Helvetica with /Widths of its own (not Helvetica's); /F2 Identity-H with
// /W, /DW and a /ToUnicode map; /F3 a CMap of its own, one byte below 0x80
// and two from 0x8140; /F4 Identity-V (written vertically).
std::string CompositePdf(const std::string& content) {
  const std::string toUnicode =
      "begincmap 1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
      "2 beginbfchar <0024> <0041> <0025> <0042> endbfchar\n"
      "1 beginbfrange <0028> <002A> <0061> endbfrange endcmap";
  const std::string cmap =
      "begincmap 2 begincodespacerange <00> <7F> <8140> <9FFC> endcodespacerange\n"
      "1 begincidrange <20> <7E> 1 endcidrange 1 begincidchar <8140> 633 endcidchar endcmap";
  const std::string descriptor = "<< /Type /FontDescriptor /FontName /Sans /Flags 32 /Ascent 800 /Descent -200 >>";
  return pdf::test::PdfOfObjects({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 10 0 R /F2 5 0 R /F3 6 0 R "
      "/F4 9 0 R >> >> /Contents 4 0 R >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type0 /BaseFont /Sans /Encoding /Identity-H /DescendantFonts [<< /Type /Font "
      "/Subtype /CIDFontType2 /BaseFont /Sans /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
      "/W [36 [600 700] 40 42 500] /DW 900 /FontDescriptor " + descriptor + " >>] /ToUnicode 7 0 R >>",
      "<< /Type /Font /Subtype /Type0 /BaseFont /Sans /Encoding 8 0 R /DescendantFonts [<< /Type /Font "
      "/Subtype /CIDFontType0 /BaseFont /Sans /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 0 >> "
      "/W [34 [400] 633 [1000]] /DW 1000 /FontDescriptor " + descriptor + " >>] >>",
      "<< /Length " + std::to_string(toUnicode.size()) + " >>\nstream\n" + toUnicode + "\nendstream",
      "<< /Type /CMap /CMapName /Mixed /Length " + std::to_string(cmap.size()) + " >>\nstream\n" + cmap + "\nendstream",
      "<< /Type /Font /Subtype /Type0 /BaseFont /Sans /Encoding /Identity-V /DescendantFonts [<< /Type /Font "
      "/Subtype /CIDFontType2 /BaseFont /Sans /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
      "/DW 1000 /FontDescriptor " + descriptor + " >>] >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /FirstChar 84 /LastChar 104 "
      "/Widths [500 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 400 0 0 600] /FontDescriptor " + descriptor + " >>",
  });
}

// The point `along` the baseline and `up` across it of text turned 30
// degrees from (x, y).
KS_FloatPoint Turned(double x, double y, double along, double up) {
  const double c = std::cos(std::acos(-1.0) / 6), s = std::sin(std::acos(-1.0) / 6);
  return KS_FloatPoint{float(x + along * c - up * s), float(y + along * s + up * c)};
}

void ExpectQuad(const KS_TextGlyph& g, double x, double y, double from, double to, const std::string& what) {
  // 10 pt text: the font's ascent 800 and descent -200 are 8 and 2 points.
  const KS_FloatPoint want[4] = {Turned(x, y, from, 8), Turned(x, y, to, 8), Turned(x, y, from, -2),
                                 Turned(x, y, to, -2)};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(g.quad[k].x, want[k].x, 1e-3) << what << " corner " << k;
    EXPECT_NEAR(g.quad[k].y, want[k].y, 1e-3) << what << " corner " << k;
  }
}

TEST(AngledText, GlyphsAdvanceByTheirFontsWidthsAndCompositeCodesSplitByTheirCMap) {
  pdf::test::TempDir dir;
  const std::string turned = " 0.8660254 0.5 -0.5 0.8660254 ";
  // /F2: CIDs 0x24 (600), 0x25 (700), 0x28 (500, a run) and 0x30 (the
  // default 900); /F3: "A" (CID 34, 400), a space (CID 1, the default
  // 1000, with word spacing 5), then the two-byte code 8140 (CID 633, 1000);
  // /F4 is written vertically and is left out; /F1's "The" advances by its
  // /Widths (T 500, h 600, e 400), its level "hehe" is no angled text.
  const std::string content = "BT /F2 10 Tf" + turned + "100 400 Tm <0024002500280030> Tj ET "
                              "BT /F3 10 Tf 5 Tw" + turned + "300 200 Tm <41208140> Tj ET "
                              "BT /F4 10 Tf" + turned + "200 600 Tm <00410042> Tj ET "
                              "BT /F1 10 Tf" + turned + "100 100 Tm (The) Tj ET BT /F1 10 Tf 300 100 Td (hehe) Tj ET";
  const std::string path = dir / "composite.pdf";
  std::ofstream(path, std::ios::binary) << CompositePdf(content);
  std::string error;
  KPD_Document doc = OpenPdfFile(path, "", &error);
  ASSERT_TRUE(doc) << error;
  QPDFObjectHandle* page = pdf::ObjectOf(direct::DocGetPage(doc, 0));
  ASSERT_TRUE(page);
  const std::vector<KS_TextGlyph> glyphs = ReadAngledGlyphs(*page);
  ASSERT_EQ(glyphs.size(), 9u);
  const double f2[] = {0, 6, 13, 18, 27};
  const uint32_t text[] = {'A', 'B', 'a', 0xFFFD};  // 0x30 has no text in the map
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(glyphs[i].codepoint, text[i]) << i;
    EXPECT_EQ(glyphs[i].line, 0);
    ExpectQuad(glyphs[i], 100, 400, f2[i], f2[i + 1], "F2 glyph " + std::to_string(i));
  }
  // Without a /ToUnicode map a glyph's text is its code.
  EXPECT_EQ(glyphs[4].codepoint, uint32_t('A'));
  EXPECT_EQ(glyphs[5].codepoint, 0x8140u);
  EXPECT_EQ(glyphs[4].line, 1);
  EXPECT_EQ(glyphs[5].line, 1);
  ExpectQuad(glyphs[4], 300, 200, 0, 4, "F3 A");
  ExpectQuad(glyphs[5], 300, 200, 4 + 10 + 5, 4 + 10 + 5 + 10, "F3 8140");
  const double f1[] = {0, 5, 11, 15};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(glyphs[6 + i].codepoint, uint32_t("The"[i])) << i;
    EXPECT_EQ(glyphs[6 + i].line, 2);
    ExpectQuad(glyphs[6 + i], 100, 100, f1[i], f1[i + 1], "F1 glyph " + std::to_string(i));
  }

  // The page's text has them, each once, in place of what poppler reads
  // there; the level text (and the vertical) stays as poppler reads it, on
  // lines of its own.
  std::vector<KS_TextGlyph> all;
  ASSERT_TRUE(ReadPageGlyphs(doc, 0, &all, &error)) << error;
  ASSERT_EQ(all.size(), glyphs.size() + 4 + 2);
  const auto isAngled = [&](const KS_TextGlyph& g) {
    for (const KS_TextGlyph& a : glyphs)
      if (g.codepoint == a.codepoint && g.quad[0].x == a.quad[0].x && g.quad[3].y == a.quad[3].y) return true;
    return false;
  };
  std::set<int> angledLines, otherLines;
  for (const KS_TextGlyph& g : all) (isAngled(g) ? angledLines : otherLines).insert(g.line);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), isAngled), long(glyphs.size()));
  for (int line : otherLines) EXPECT_EQ(angledLines.count(line), 0u) << line;
  EXPECT_EQ(std::count_if(all.begin(), all.end(),
                          [](const KS_TextGlyph& g) { return g.codepoint == 'h' && std::abs(g.quad[2].x - 300) < 0.01; }),
            1);
  direct::DocClose(doc);
}

}  // namespace
}  // namespace kshost
