// Text laid out by the host's text-layout service really draws: Greek and
// Chinese show as their glyphs (not as missing-glyph boxes) in poppler and
// MuPDF, copy back out with pdftotext, and embed as small subsets; styled
// runs draw their underline under the text; a measurement caption with a
// Chinese unit draws it.
#include <gtest/gtest.h>

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "host/pdf_document.h"
#include "host/pdf_handles.h"
#include "tests/render_support.h"
#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

constexpr int kPage = 400;

// The image of a page `kPage` points high.
struct PageImage : Image {
  Rgb At(double x, double y) const { return Image::At(x, y, kPage); }
};

bool Dark(const Rgb& c) { return c.r + c.g + c.b < 200; }
bool Red(const Rgb& c) { return c.r > 180 && c.g < 80 && c.b < 80; }

// One block of text placed with its box's top left at (x, y).
struct Block {
  double x, y;
  float size;
  const char16_t* text;
  bool underline;
  bool red;
};

// "Φ" and "中" both have a stroke down their middle, where a missing-glyph
// box is hollow.
const Block kBlocks[] = {
    {20, 380, 60, u"\u03A6", false, false},
    {20, 280, 60, u"\u4E2D\u6587", false, false},
    {20, 150, 20, u"Hello", true, true},
    {200, 380, 12, u"\u0394\u03B9\u03AC\u03C3\u03C4\u03B7\u03BC\u03B1 \u8DDD\u79BB", false, false},
};

class TextRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pdf_ = dir_ / "text.pdf";
    KPD_Document doc = direct::DocNew();
    KS_FloatRect box{0, 0, kPage, kPage};
    KPD_Page page = direct::DocAddPage(doc, &box);
    KPD_Dictionary fonts = direct::DictNew();
    std::string content;
    for (const Block& b : kBlocks) {
      KA_TextLayout layout = direct::TextLayoutNew();
      KS_TextRunStyle style{};
      style.size = sizeof style;
      style.family = "Helvetica";
      style.fontSize = b.size;
      style.underline = b.underline;
      style.hasColor = b.red;
      style.color[0] = 1;
      const std::u16string text(b.text);
      ASSERT_TRUE(direct::TextLayoutAddStyledRun(layout, &style, text.data(), text.size()));
      ASSERT_EQ(direct::TextLayoutArrange(layout, 0, 0, 1), 1);
      KS_ByteString ops = direct::ByteStringNew(nullptr, 0);
      ASSERT_TRUE(direct::TextLayoutGetContent(layout, ops));
      baselines_.push_back(0);
      const std::string s(direct::ByteStringData(ops), direct::ByteStringLength(ops));
      // The first piece's baseline, from its text matrix.
      const size_t tm = s.find(" Tm\n");
      ASSERT_NE(tm, std::string::npos) << s;
      baselines_.back() = b.y + std::stod(s.substr(s.rfind(' ', tm - 1) + 1));
      content += "q 1 0 0 1 " + std::to_string(b.x) + " " + std::to_string(b.y) + " cm BT\n" + s + "ET Q\n";
      direct::ByteStringDestroy(ops);
      ASSERT_TRUE(direct::TextLayoutAddResources(layout, doc, fonts));
      direct::TextLayoutRelease(layout);
    }
    ASSERT_TRUE(direct::PageAppendContent(page, content.data(), content.size()));
    auto& q = kshost::pdf::Document::FromKpd(doc)->qpdf();
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", kshost::pdf::FromKpd(fonts)->object);
    QPDFPageDocumentHelper(q).getAllPages().at(0).getObjectHandle().replaceKey("/Resources", resources);
    KS_ByteString err = direct::ByteStringNew(nullptr, 0);
    ASSERT_TRUE(direct::DocSave(doc, pdf_.c_str(), err)) << direct::ByteStringData(err);
    direct::ByteStringDestroy(err);
    direct::ObjectRelease(fonts);
    direct::DocClose(doc);
  }

  // The share of dark pixels down the middle of a glyph cell from 20% to
  // 70% of the size above the baseline.
  static double MiddleStroke(const PageImage& image, double centreX, double baseline, float size) {
    int dark = 0, all = 0;
    for (double y = baseline + 0.2 * size; y <= baseline + 0.7 * size; y += 1, ++all) {
      bool any = false;
      for (double dx = -1; dx <= 1; dx += 1) any = any || Dark(image.At(centreX + dx, y));
      dark += any;
    }
    return double(dark) / all;
  }

  void Check(const std::string& renderer, const std::string& ppm) {
    PageImage image;
    ASSERT_TRUE(image.Read(ppm)) << renderer;
    ASSERT_EQ(image.width, kPage) << renderer;
    // Φ is 0.8 em wide in DejaVu Sans, 中 1 em in Droid Sans Fallback.
    EXPECT_GT(MiddleStroke(image, 20 + 0.4 * 60 * 0.99, baselines_[0], 60), 0.9) << renderer << ": Greek";
    EXPECT_GT(MiddleStroke(image, 20 + 30, baselines_[1], 60), 0.9) << renderer << ": Chinese";
    // The strokes crossing in the middle of 文, where a line of narrower
    // boxes would have ended.
    bool crossing = false;
    for (double y = baselines_[1] + 12; y < baselines_[1] + 30; y += 1)
      crossing = crossing || Dark(image.At(110, y));
    EXPECT_TRUE(crossing) << renderer << ": Chinese";
    EXPECT_FALSE(Dark(image.At(5, 5))) << renderer;
    // The underline: red, under the baseline, along the word.
    int red = 0;
    for (double x = 25; x < 60; x += 2) {
      bool any = false;
      for (double y = baselines_[2] - 5; y < baselines_[2]; y += 0.5) any = any || Red(image.At(x, y));
      red += any;
    }
    EXPECT_GE(red, 17) << renderer << ": underline";
    EXPECT_TRUE(Red(image.At(22, baselines_[2] + 7))) << renderer << ": the red H";
  }

  TempDir dir_;
  std::string pdf_;
  std::vector<double> baselines_;
};

TEST_F(TextRenderTest, PopplerDrawsGreekAndChineseGlyphs) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  CommandResult r = RenderFirstPage(Renderer::kPoppler, pdf_, dir_ / "poppler");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("pdftoppm", dir_ / "poppler.ppm");
}

TEST_F(TextRenderTest, MuPdfDrawsGreekAndChineseGlyphs) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  CommandResult r = RenderFirstPage(Renderer::kMuPdf, pdf_, dir_ / "mupdf");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("mutool draw", dir_ / "mupdf.ppm");
}

TEST_F(TextRenderTest, TextCopiesBackOutAndTheFontsAreSubsets) {
  if (!HaveProgram("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  CommandResult r = Shell("pdftotext " + Quote(pdf_) + " -");
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* text : {"\xCE\xA6", "\xE4\xB8\xAD\xE6\x96\x87", "Hello",
                           "\xCE\x94\xCE\xB9\xCE\xAC\xCF\x83\xCF\x84\xCE\xB7\xCE\xBC\xCE\xB1 \xE8\xB7\x9D\xE7\xA6\xBB"})
    EXPECT_NE(r.output.find(text), std::string::npos) << text << " in\n" << r.output;
  // Two faces of 0.7 MB and 4 MB, a few glyphs of each.
  EXPECT_LT(std::filesystem::file_size(pdf_), 60000u);
  if (HaveProgram("pdffonts")) {
    CommandResult fonts = Shell("pdffonts " + Quote(pdf_));
    EXPECT_NE(fonts.output.find("+DejaVuSans "), std::string::npos) << fonts.output;
    EXPECT_NE(fonts.output.find("+DroidSansFallback "), std::string::npos) << fonts.output;
  }
}

// A distance in 米 (metres): the caption draws the unit with the CJK face and
// it copies out as itself (a missing-glyph box would copy out as nothing).
TEST(MeasureCaptionText, AChineseUnitDrawsAndCopiesOut) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils are not installed";
  TempDir dir;
  const std::string unit = "<FEFF7C73>";
  const std::string line =
      "<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [40 180 360 220] /L [50 200 350 200] /Cap true"
      " /Contents <FEFF003300207C73>"
      " /C [0 0 0] /DS (font: Helvetica 24pt) /Measure << /Type /Measure /R (1 in = 1 m) /X [<< /U " + unit +
      " /C 0.0138888889 /D 100 /F /D /RT (,) /RD (.) /PS ( ) /SS () >>] /D [<< /U " + unit +
      " /C 1 /D 100 /F /D >>] >> >>";
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage, {line}), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult text = Shell("pdftotext " + Quote(dir / "out.pdf") + " -");
  EXPECT_NE(text.output.find("\xE7\xB1\xB3"), std::string::npos) << text.output;
  CommandResult fonts = Shell("pdffonts " + Quote(dir / "out.pdf"));
  EXPECT_NE(fonts.output.find("+DroidSansFallback "), std::string::npos) << fonts.output;
  EXPECT_EQ(text.output.find('?'), std::string::npos) << text.output;
}

}  // namespace
