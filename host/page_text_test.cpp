#include "host/page_text.h"

#include <fstream>

#include <gtest/gtest.h>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"
#include "host/session.h"
#include "host/test_temp_dir.h"

namespace kshost {
namespace {

TEST(PageText, TextSpaceCornersLandOnTheCropBoxCornersShownThere) {
  const KS_FloatRect crop{10, 20, 210, 420};
  struct Case {
    int rotation;
    double x, y;  // a corner of the page as shown
    float ux, uy;
  } cases[] = {
      {0, 0, 0, 10, 420},     {0, 200, 400, 210, 20},
      {90, 0, 0, 10, 20},     {90, 400, 0, 10, 420},   // shown turned clockwise: 400 wide
      {180, 0, 0, 210, 20},   {180, 200, 0, 10, 20},
      {270, 0, 0, 210, 420},  {270, 400, 0, 210, 20},
  };
  for (const Case& c : cases) {
    const KS_FloatPoint p = UserPointOfTextSpace(crop, c.rotation, c.x, c.y);
    EXPECT_FLOAT_EQ(p.x, c.ux) << c.rotation << " " << c.x << "," << c.y;
    EXPECT_FLOAT_EQ(p.y, c.uy) << c.rotation << " " << c.x << "," << c.y;
  }
}

TEST(PageText, GlyphsFollowHelveticasWidthsLineByLineOnATurnedPageToo) {
  testing::TempDir dir;
  const std::string content = "BT /F1 12 Tf 72 700 Td (The hat) Tj 0 -20 Td (he) Tj ET";
  std::vector<KS_TextGlyph> upright;
  for (int rotate : {0, 90}) {
    const std::string path = dir / ("text" + std::to_string(rotate) + ".pdf");
    std::ofstream(path, std::ios::binary) << pdf::test::HelveticaPagePdf(content, rotate);
    std::string error;
    KPD_Document doc = OpenPdfFile(path, "", &error);
    ASSERT_TRUE(doc) << error;
    std::vector<KS_TextGlyph> glyphs;
    ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
    EXPECT_EQ(direct::PageGetTextGlyphs(doc, 0, nullptr, 0), 8);
    EXPECT_EQ(direct::PageGetTextGlyphs(doc, 1, nullptr, 0), -1);
    direct::DocClose(doc);
    ASSERT_EQ(glyphs.size(), 8u);  // spaces are no glyphs
    // Helvetica's widths: T 611, h 556, e 556, space 278, a 556, t 278.
    const double em = 12.0 / 1000;
    const double left[] = {72, 72 + 611 * em, 72 + 1167 * em, 72 + 2001 * em, 72 + 2557 * em, 72 + 3113 * em, 72,
                           72 + 556 * em};
    const double right[] = {left[1], left[2], 72 + 1723 * em, left[4], left[5], 72 + 3391 * em, left[7],
                            72 + 1112 * em};
    const char32_t text[] = U"Thehathe";
    for (size_t i = 0; i < glyphs.size(); ++i) {
      const KS_TextGlyph& g = glyphs[i];
      EXPECT_EQ(g.codepoint, uint32_t(text[i])) << i;
      EXPECT_EQ(g.line, i < 6 ? 0 : 1) << i;
      // Upright in user space on either page: the top above the bottom,
      // left to right.
      EXPECT_NEAR(g.quad[0].x, left[i], 0.01) << rotate << " " << i;
      EXPECT_NEAR(g.quad[1].x, right[i], 0.01) << rotate << " " << i;
      EXPECT_NEAR(g.quad[2].x, left[i], 0.01) << rotate << " " << i;
      const float baseline = i < 6 ? 700 : 680;
      EXPECT_GT(g.quad[0].y, baseline + 6) << i;
      EXPECT_LT(g.quad[0].y, baseline + 12) << i;
      EXPECT_LE(g.quad[2].y, baseline) << i;
      EXPECT_GT(g.quad[2].y, baseline - 4) << i;
    }
    if (rotate == 0) upright = glyphs;
    else
      for (size_t i = 0; i < glyphs.size(); ++i)
        for (int k = 0; k < 4; ++k) {
          EXPECT_NEAR(glyphs[i].quad[k].x, upright[i].quad[k].x, 0.01) << i << " " << k;
          EXPECT_NEAR(glyphs[i].quad[k].y, upright[i].quad[k].y, 0.01) << i << " " << k;
        }
  }
}

TEST(PageText, APageIsReadAgainOnlyWhenWhatItDrawsChangedAndNeverWithItsAnnotations) {
  testing::TempDir dir;
  const std::string path = dir / "cache.pdf";
  std::ofstream(path, std::ios::binary) << pdf::test::HelveticaPagePdf("BT /F1 12 Tf 72 700 Td (The hat) Tj ET", 0);
  std::string error;
  KPD_Document doc = OpenPdfFile(path, "", &error);
  ASSERT_TRUE(doc) << error;
  std::vector<KS_TextGlyph> glyphs;
  const uint64_t before = PageTextWrites();
  // A drag asks again and again while the page stays as it is.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
    EXPECT_EQ(glyphs.size(), 6u);
  }
  EXPECT_EQ(PageTextWrites(), before + 1);
  EXPECT_FALSE(ReadPageGlyphs(doc, 3, &glyphs, &error));

  // A markup made on the page changes the document, not the page's text:
  // nothing is read again, and the text the markup shows is no page text.
  KPD_Page page = direct::DocGetPage(doc, 0);
  const std::string shows = "BT /F1 12 Tf 4 4 Td (Zebra) Tj ET";
  KPD_Stream look = direct::DocNewStream(doc, shows.data(), shows.size());
  ASSERT_TRUE(look);
  pdf::test::Owned form = pdf::test::Parse("<< /Type /XObject /Subtype /Form /BBox [0 0 100 30] >>");
  KPD_Dictionary lookDict = direct::StreamGetDict(look);
  direct::DictSet(lookDict, "/Subtype", direct::DictGet(form.get(), "/Subtype"));
  direct::DictSet(lookDict, "/BBox", direct::DictGet(form.get(), "/BBox"));
  direct::DictSet(lookDict, "/Resources", direct::DictGet(page, "/Resources"));
  pdf::test::Owned annot = pdf::test::Parse("<< /Type /Annot /Subtype /Stamp /Rect [300 300 400 330] /AP << >> >>");
  direct::DictSet(direct::DictGet(annot.get(), "/AP"), "/N", look);
  ASSERT_TRUE(direct::PageInsertAnnot(page, 0, annot.get()));
  const uint64_t afterMarkup = PageTextWrites();
  ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
  EXPECT_EQ(glyphs.size(), 6u);
  EXPECT_EQ(PageTextWrites(), afterMarkup);

  // A change to the page's content is read anew, once; still without the
  // markup's "Zebra".
  const uint64_t beforeChange = PageTextWrites();
  KPD_Object contents = direct::DictGet(page, "/Contents");
  const std::string changed = "BT /F1 12 Tf 72 700 Td (he) Tj ET";
  ASSERT_TRUE(direct::StreamSetData(contents, changed.data(), changed.size()));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].codepoint, uint32_t('h'));
  }
  EXPECT_EQ(PageTextWrites(), beforeChange + 1);
  direct::DocClose(doc);

  // Another document of the same bytes is another document.
  doc = OpenPdfFile(path, "", &error);
  ASSERT_TRUE(doc) << error;
  ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
  EXPECT_EQ(glyphs.size(), 6u);
  EXPECT_EQ(PageTextWrites(), beforeChange + 2);
  direct::DocClose(doc);
}

// Text on a layer the document hides is not drawn, so it cannot be
// selected either; shown again, it is read.
TEST(PageText, TextOnAHiddenLayerIsNotRead) {
  testing::TempDir dir;
  const std::string content =
      "BT /F1 24 Tf 72 700 Td (Shown) Tj ET /OC /oc1 BDC BT /F1 24 Tf 72 600 Td (Hidden) Tj ET EMC";
  for (const char* off : {"/OFF [5 0 R]", ""}) {
    SCOPED_TRACE(off);
    const std::string path = dir / "layers.pdf";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << pdf::test::PdfOfObjects({
        "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R] /D << " + std::string(off) + " >> >> >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 "
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> /Properties << /oc1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /OCG /Name (Notes) >>"});
    std::string error;
    KPD_Document doc = OpenPdfFile(path, "", &error);
    ASSERT_TRUE(doc) << error;
    std::vector<KS_TextGlyph> glyphs;
    ASSERT_TRUE(ReadPageGlyphs(doc, 0, &glyphs, &error)) << error;
    direct::DocClose(doc);
    std::u32string text;
    for (const KS_TextGlyph& g : glyphs) text += char32_t(g.codepoint);
    EXPECT_EQ(text, *off ? U"Shown" : U"ShownHidden");
  }
}

}  // namespace
}  // namespace kshost
