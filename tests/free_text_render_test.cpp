// Free text rebuilt by `annot regenerate` really draws: poppler (pdftoppm)
// and MuPDF (mutool draw) show a centred text box of two paragraphs with
// bold, italic and coloured runs, a typewriter line, a callout whose arrow
// ends at its point, and Greek and Chinese glyphs; pdftotext reads back the
// text a box was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

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

bool Dark(const Rgb& c) { return c.r + c.g + c.b < 250; }
bool Red(const Rgb& c) { return c.r > 170 && c.g < 90 && c.b < 90; }
bool Blue(const Rgb& c) { return c.b > 170 && c.r < 90 && c.g < 90; }
bool White(const Rgb& c) { return c.r > 240 && c.g > 240 && c.b > 240; }

// The columns of the band y0..y1 that hold a pixel `test` accepts: the
// leftmost and rightmost, or -1 when none does.
template <class Test>
std::pair<int, int> Columns(const PageImage& image, double x0, double x1, double y0, double y1, Test test) {
  int left = -1, right = -1;
  for (int x = int(x0); x <= int(x1); ++x)
    for (double y = y0; y <= y1; y += 1)
      if (test(image.At(x, y))) {
        if (left < 0) left = x;
        right = x;
        break;
      }
  return {left, right};
}

// Rows of the column band x-1..x+1 between y0 and y1 with a dark pixel.
// Page 1 of `pdf` as poppler and, where it is installed, MuPDF draw it,
// with the renderer's name; a render that fails is a test failure.
std::vector<std::pair<std::string, PageImage>> Renders(const std::string& pdf, const TempDir& dir) {
  std::vector<std::pair<std::string, PageImage>> out;
  for (const Renderer renderer : {Renderer::kPoppler, Renderer::kMuPdf}) {
    const std::string name = renderer == Renderer::kPoppler ? "poppler" : "mupdf";
    if (renderer == Renderer::kMuPdf && !HaveProgram("mutool")) continue;
    CommandResult draw = RenderFirstPage(renderer, pdf, dir / name);
    EXPECT_EQ(draw.status, 0) << draw.output;
    PageImage image;
    if (image.Read(dir / (name + ".ppm")))
      out.emplace_back(name, std::move(image));
    else
      ADD_FAILURE() << name << ": no image";
  }
  return out;
}

int DarkRows(const PageImage& image, double x, double y0, double y1) {
  int rows = 0;
  for (double y = y0; y <= y1; y += 1) {
    bool any = false;
    for (double dx = -1; dx <= 1; dx += 1) any = any || Dark(image.At(x + dx, y));
    rows += any;
  }
  return rows;
}

// UTF-16BE PDF text string of UTF-16 text.
std::string PdfText(const std::u16string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string s = "<FEFF";
  for (char16_t c : text)
    for (int shift : {12, 8, 4, 0}) s += hex[(c >> shift) & 15];
  return s + ">";
}

const std::vector<std::string> kAnnotations = {
    // Two centred paragraphs: "Plain " and a bold run, then an italic red run.
    "<< /Type /Annot /Subtype /FreeText /Rect [20 260 380 380] /DA (/Helv 20 Tf 0 g) /BS << /W 0 >>"
    " /Contents (Plain HEAVY\nslanted)"
    " /RC (<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\">"
    "<p style=\"text-align:center;font-size:20pt\">Plain <span style=\"font-weight:bold\">HEAVY</span></p>"
    "<p style=\"text-align:center;font-size:20pt\"><span style=\"font-style:italic;color:#FF0000\">slanted</span>"
    "</p></body>) >>",
    // A blue typewriter line.
    "<< /Type /Annot /Subtype /FreeText /IT /FreeTextTypewriter /Rect [20 200 380 230]"
    " /DA (/Cour 16 Tf 0 0 1 rg) /Contents (Typewriter line) >>",
    // A red callout from (40, 60) over a knee at (120, 100) to its box.
    "<< /Type /Annot /Subtype /FreeText /IT /FreeTextCallout /Rect [220 40 380 120] /CL [40 60 120 100 220 80]"
    " /LE /ClosedArrow /BS << /W 2 >> /DA (/Helv 14 Tf 1 0 0 rg) /Contents (See detail 4) >>",
};

class FreeTextRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_ / "in.pdf";
    out_ = dir_ / "out.pdf";
    ASSERT_EQ(WriteShapePdf(in_, kPage, kPage, kAnnotations), "");
    CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(in_) + " -o " + Quote(out_));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_NE(r.output.find("FreeText              3        0"), std::string::npos) << r.output;
  }

  void Check(const std::string& renderer, const std::string& ppm) {
    PageImage image;
    ASSERT_TRUE(image.Read(ppm)) << renderer;
    ASSERT_EQ(image.width, kPage) << renderer;

    // The first paragraph is centred in the box (20..380): its ink starts
    // and ends as far from each side.
    const auto [l1, r1] = Columns(image, 20, 380, 345, 376, Dark);
    ASSERT_GE(l1, 0) << renderer << ": first paragraph";
    EXPECT_NEAR((l1 + r1) / 2.0, 200, 6) << renderer << ": first paragraph from " << l1 << " to " << r1;
    EXPECT_GT(r1 - l1, 100) << renderer;
    // The second paragraph is red, centred, below the first.
    const auto [l2, r2] = Columns(image, 20, 380, 310, 345, Red);
    ASSERT_GE(l2, 0) << renderer << ": second paragraph";
    EXPECT_NEAR((l2 + r2) / 2.0, 200, 6) << renderer << ": second paragraph from " << l2 << " to " << r2;
    EXPECT_LT(r2 - l2, r1 - l1);
    EXPECT_TRUE(White(image.At(25, 300))) << renderer << ": below the text";

    // The typewriter line: blue text from the box's left, nothing above it.
    const auto [lt, rt] = Columns(image, 10, 390, 200, 230, Blue);
    EXPECT_GE(lt, 20) << renderer << ": typewriter";
    EXPECT_LT(lt, 30) << renderer << ": typewriter";
    EXPECT_GT(rt, 120) << renderer << ": typewriter";
    EXPECT_EQ(Columns(image, 10, 390, 231, 250, Blue).first, -1) << renderer << ": typewriter stays in its box";

    // The callout: the arrow's tip is at (40, 60), nothing beyond it; the
    // line runs on to the knee and the box.
    bool tip = false;
    for (double dx = 0; dx <= 2; dx += 1)
      for (double dy = -1; dy <= 1; dy += 1) tip = tip || Red(image.At(40.5 + dx, 60 + dy));
    EXPECT_TRUE(tip) << renderer << ": arrow tip";
    EXPECT_TRUE(White(image.At(35, 57))) << renderer << ": beyond the tip";
    EXPECT_TRUE(White(image.At(30, 60))) << renderer << ": beyond the tip";
    EXPECT_TRUE(Red(image.At(80, 80)) || Red(image.At(80, 81)) || Red(image.At(80, 79))) << renderer << ": line";
    EXPECT_TRUE(Red(image.At(170, 90)) || Red(image.At(170, 91)) || Red(image.At(170, 89)))
        << renderer << ": knee to box";
    EXPECT_TRUE(Red(image.At(221, 100))) << renderer << ": box border";
    EXPECT_TRUE(Columns(image, 225, 375, 45, 115, Red).first > 0) << renderer << ": callout text";
  }

  TempDir dir_;
  std::string in_, out_;
};

TEST_F(FreeTextRenderTest, PopplerDrawsTheBoxesTypewriterAndCallout) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  CommandResult r = RenderFirstPage(Renderer::kPoppler, out_, dir_ / "poppler");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("pdftoppm", dir_ / "poppler.ppm");
}

TEST_F(FreeTextRenderTest, MuPdfDrawsTheBoxesTypewriterAndCallout) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  CommandResult r = RenderFirstPage(Renderer::kMuPdf, out_, dir_ / "mupdf");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("mutool draw", dir_ / "mupdf.ppm");
}

TEST_F(FreeTextRenderTest, BoldAndItalicRunsUseTheirFaces) {
  if (!HaveProgram("pdffonts")) GTEST_SKIP() << "pdffonts is not installed";
  CommandResult fonts = Shell("pdffonts " + Quote(out_));
  EXPECT_NE(fonts.output.find("Helvetica-Bold "), std::string::npos) << fonts.output;
  EXPECT_NE(fonts.output.find("Helvetica-Oblique "), std::string::npos) << fonts.output;
  EXPECT_NE(fonts.output.find("Courier "), std::string::npos) << fonts.output;
}

// Only whitespace differs: pdftotext ends pages with a form feed.
std::string Squeezed(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n' || c == '\r' || c == '\f' || c == ' ') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The text of a regenerated free text copies back out as its /Contents,
// Latin, Greek and Chinese alike; the Greek and Chinese letters are drawn
// as glyphs (a stroke down their middle), not as hollow missing-glyph boxes.
TEST(FreeTextRender, TextCopiesOutAsItsContentsAndForeignGlyphsDraw) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils are not installed";
  struct Box {
    const char* rect;
    std::u16string contents;
    const char* utf8;
  } boxes[] = {
      {"[20 20 380 120]", u"Verify this dimension\nbefore cutting", "Verify this dimension before cutting"},
      {"[20 300 120 390]", u"\u03A6", "\xCE\xA6"},
      {"[200 300 300 390]", u"\u4E2D", "\xE4\xB8\xAD"},
  };
  std::vector<std::string> annots;
  for (const Box& b : boxes)
    annots.push_back(std::string("<< /Type /Annot /Subtype /FreeText /Rect ") + b.rect +
                     " /BS << /W 0 >> /DA (/Helv 60 Tf 0 g) /DS (font: Helvetica 60pt) /Contents " +
                     PdfText(b.contents) + " >>");
  annots[0] = "<< /Type /Annot /Subtype /FreeText /Rect [20 20 380 120] /DA (/Helv 14 Tf 0 g) /Contents " +
              PdfText(boxes[0].contents) + " >>";
  TempDir dir;
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage, annots), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  for (const Box& b : boxes) {
    const std::string rect = std::string(b.rect).substr(1, std::string(b.rect).size() - 2);
    std::vector<int> v;
    for (size_t at = 0; at < rect.size();) {
      size_t end = rect.find(' ', at);
      v.push_back(std::stoi(rect.substr(at, end - at)));
      at = end == std::string::npos ? rect.size() : end + 1;
    }
    CommandResult text = Shell("pdftotext -x " + std::to_string(v[0]) + " -y " + std::to_string(kPage - v[3]) +
                               " -W " + std::to_string(v[2] - v[0]) + " -H " + std::to_string(v[3] - v[1]) + " " +
                               Quote(dir / "out.pdf") + " -");
    ASSERT_EQ(text.status, 0) << text.output;
    EXPECT_EQ(Squeezed(text.output), b.utf8);
  }
  for (const auto& [renderer, image] : Renders(dir / "out.pdf", dir)) {
    // Text starts 2 points inside the box; Φ is 0.8 em wide, 中 1 em.
    EXPECT_GT(DarkRows(image, 22 + 0.4 * 60, 300, 388), 30) << renderer << ": Greek";
    EXPECT_GT(DarkRows(image, 202 + 30, 300, 388), 30) << renderer << ": Chinese";
    EXPECT_TRUE(White(image.At(150, 340))) << renderer;
  }
}

}  // namespace

namespace {

// Free texts made by other programs keep what their producers showed:
//  - a box sized to its text (Helvetica 12: the AFM widths of "Hello World
//    from Acrobat" add up to 11169/1000 em, 134.028 pt; with the border 1
//    and 2 pt of padding on each side 140.028, written rounded down to
//    140.02) holds the text on one line;
//  - each paragraph keeps its own text-align: a left one, then a right one;
//  - a /C equal to the text colour (black on black) is not painted as a
//    background that would hide the text;
//  - a /DS "font" shorthand with keywords and a line height gives its
//    size and colour over those of /DA.
const std::vector<std::string> kProducerAnnotations = {
    "<< /Type /Annot /Subtype /FreeText /Rect [20 340 160.02 360] /BS << /W 1 >> /DA (/Helv 12 Tf 0 g)"
    " /Contents (Hello World from Acrobat) >>",
    "<< /Type /Annot /Subtype /FreeText /Rect [20 200 380 300] /BS << /W 0 >> /DA (/Helv 20 Tf 0 g)"
    " /Contents (Left\nRight)"
    " /RC (<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\">"
    "<p style=\"text-align:left\">Left</p><p style=\"text-align:right\">Right</p></body>) >>",
    "<< /Type /Annot /Subtype /FreeText /Rect [20 20 180 80] /C [0 0 0] /DA (/Helv 14 Tf 0 g)"
    " /Contents (Black on C) >>",
    "<< /Type /Annot /Subtype /FreeText /Rect [200 20 380 80] /BS << /W 0 >> /DA (/Helv 8 Tf 0 g)"
    " /DS (font: normal normal normal 16pt/normal Helvetica;color:#800080) /Contents (HHHH) >>",
};

bool Purple(const Rgb& c) { return c.r > 90 && c.b > 90 && c.g < 60 && std::abs(c.r - c.b) < 40; }

TEST(FreeTextRender, ProducerBoxesKeepTheirLinesAlignmentAndVisibleText) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils are not installed";
  TempDir dir;
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage, kProducerAnnotations), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  // The sized box reads back as one line.
  CommandResult text = Shell("pdftotext -layout -x 20 -y 40 -W 141 -H 20 " + Quote(dir / "out.pdf") + " -");
  ASSERT_EQ(text.status, 0) << text.output;
  EXPECT_EQ(Squeezed(text.output), "Hello World from Acrobat");
  EXPECT_NE(text.output.find("from Acrobat"), std::string::npos) << text.output;

  for (const auto& [name, image] : Renders(dir / "out.pdf", dir)) {
    // "Acrobat" ends its one line near the box's right side (23 + 134 pt),
    // inside the border.
    const auto [la, ra] = Columns(image, 22, 158, 343, 357, Dark);
    EXPECT_GE(la, 22) << name;
    EXPECT_LE(la, 26) << name;
    EXPECT_GT(ra, 150) << name << ": the sized line ends at " << ra;
    // "Left" starts at the left padding, "Right" ends at the right one.
    const auto [l1, r1] = Columns(image, 20, 380, 281, 297, Dark);
    EXPECT_GE(l1, 21) << name;
    EXPECT_LE(l1, 26) << name << ": left paragraph";
    EXPECT_LT(r1, 200) << name;
    const auto [l2, r2] = Columns(image, 20, 380, 259, 276, Dark);
    EXPECT_GT(l2, 200) << name << ": right paragraph from " << l2;
    EXPECT_GE(r2, 370) << name << ": right paragraph to " << r2;
    EXPECT_LE(r2, 380) << name;
    // Black on a black /C: the box stays clear and its text shows.
    EXPECT_TRUE(White(image.At(150, 30))) << name << ": a /C like the text's colour fills the box";
    EXPECT_GT(DarkRows(image, 25, 60, 78), 5) << name << ": the text";
    // "HHHH" in purple, its capitals 0.718 em = 11.5 pt high at 16 pt (8 pt
    // would give 5.7).
    int purpleRows = 0;
    for (double y = 40; y <= 79; y += 1) purpleRows += Columns(image, 201, 260, y, y, Purple).first >= 0;
    EXPECT_GE(purpleRows, 10) << name << ": 16 pt purple";
    EXPECT_LE(purpleRows, 13) << name;
  }
}

}  // namespace

namespace {

// Scripts neither DejaVu Sans nor Droid Sans Fallback covers draw with a
// face fontconfig finds by coverage (Korean, Devanagari, Thai, Ol Chiki,
// Meetei Mayek): each copies back out as itself, which a missing-glyph box
// (glyph 0, mapped to nothing) would not, its face is embedded as a subset,
// and both renderers draw it.
TEST(FreeTextRender, ScriptsWithoutABuiltInFaceDrawWithAnInstalledOne) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm") || !HaveProgram("fc-list"))
    GTEST_SKIP() << "poppler-utils or fontconfig are not installed";
  struct Line {
    std::u16string text;
    const char* utf8;
    const char* coverage;  // a character fontconfig must find a face for
  } lines[] = {
      {u"\uD55C\uAD6D\uC5B4", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", "d55c"},
      {u"\u0939\u093F\u0928\u094D\u0926\u0940", "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D\xE0\xA4\xA6\xE0\xA5\x80",
       "939"},
      {u"\u0E20\u0E32\u0E29\u0E32", "\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2", "e20"},
      {u"\u1C5A\u1C5B\u1C5C", "\xE1\xB1\x9A\xE1\xB1\x9B\xE1\xB1\x9C", "1c5a"},
      {u"\uABC0\uABC1\uABC2", "\xEA\xAF\x80\xEA\xAF\x81\xEA\xAF\x82", "abc0"},
  };
  for (const Line& l : lines)
    if (Shell(std::string("fc-list :charset=") + l.coverage + " file | grep -q .").status != 0)
      GTEST_SKIP() << "no installed face covers U+" << l.coverage << " (make deps installs them)";
  std::vector<std::string> annots;
  for (size_t i = 0; i < std::size(lines); ++i) {
    const int top = 390 - int(i) * 70;
    annots.push_back("<< /Type /Annot /Subtype /FreeText /Rect [20 " + std::to_string(top - 60) + " 380 " +
                     std::to_string(top) + "] /BS << /W 0 >> /DA (/Helv 30 Tf 0 g) /Contents " +
                     PdfText(lines[i].text) + " >>");
  }
  TempDir dir;
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage, annots), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  for (size_t i = 0; i < std::size(lines); ++i) {
    const int top = 390 - int(i) * 70;
    CommandResult text = Shell("pdftotext -x 20 -y " + std::to_string(kPage - top) + " -W 360 -H 60 " +
                               Quote(dir / "out.pdf") + " -");
    ASSERT_EQ(text.status, 0) << text.output;
    EXPECT_EQ(Squeezed(text.output), lines[i].utf8) << "line " << i;
  }
  CommandResult fonts = Shell("pdffonts " + Quote(dir / "out.pdf"));
  EXPECT_NE(fonts.output.find("+NotoSansDevanagari"), std::string::npos) << fonts.output;
  EXPECT_NE(fonts.output.find("+NotoSansOlChiki"), std::string::npos) << fonts.output;
  for (const auto& [name, image] : Renders(dir / "out.pdf", dir)) {
    for (size_t i = 0; i < std::size(lines); ++i) {
      const int top = 390 - int(i) * 70;
      const auto [left, right] = Columns(image, 20, 380, top - 58, top - 2, Dark);
      EXPECT_GE(left, 20) << name << ": line " << i;
      EXPECT_GT(right - left, 20) << name << ": line " << i;
    }
  }
}

}  // namespace

namespace {

// Right-to-left text reads in its order: in "עברית" the ayin, the first
// letter, is drawn at the right end (poppler copies the word out in its
// order, MuPDF reads the letters left to right, tav first), the paragraph
// aligns right, and Arabic letters join: "العربية" is drawn as the three
// pieces its joining letters make (alef | lam-ain-reh | beh-yeh-teh
// marbuta), where letters standing alone would leave six gaps.
TEST(FreeTextRender, RightToLeftTextIsOrderedShapedAndAlignedRight) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils are not installed";
  const std::vector<std::string> annots = {
      "<< /Type /Annot /Subtype /FreeText /Rect [20 300 380 380] /BS << /W 0 >> /DA (/Helv 40 Tf 0 g)"
      " /Contents " + PdfText(u"\u05E2\u05D1\u05E8\u05D9\u05EA") + " >>",
      "<< /Type /Annot /Subtype /FreeText /Rect [20 200 380 280] /BS << /W 0 >> /DA (/Helv 40 Tf 0 g)"
      " /Contents " + PdfText(u"\u0627\u0644\u0639\u0631\u0628\u064A\u0629") + " >>",
  };
  TempDir dir;
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage, annots), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string hebrew = "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA";  // ayin ... tav
  const std::string hebrewVisual = "\xD7\xAA\xD7\x99\xD7\xA8\xD7\x91\xD7\xA2";  // tav ... ayin
  CommandResult text = Shell("pdftotext -x 20 -y 20 -W 360 -H 80 " + Quote(dir / "out.pdf") + " -");
  EXPECT_NE(text.output.find(hebrew), std::string::npos) << text.output;
  if (HaveProgram("mutool")) {
    CommandResult visual = Shell("mutool draw -q -F txt " + Quote(dir / "out.pdf") + " 1");
    EXPECT_NE(visual.output.find(hebrewVisual), std::string::npos) << visual.output;
  }
  CommandResult arabic = Shell("pdftotext -x 20 -y 120 -W 360 -H 80 " + Quote(dir / "out.pdf") + " -");
  EXPECT_NE(arabic.output.find("\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9"), std::string::npos)
      << arabic.output;

  for (const auto& [name, image] : Renders(dir / "out.pdf", dir)) {
    // Aligned right: the ink ends at the right padding, starts past the middle.
    const auto [lh, rh] = Columns(image, 20, 380, 330, 378, Dark);
    EXPECT_GT(lh, 200) << name << ": Hebrew from " << lh;
    EXPECT_GE(rh, 370) << name << ": Hebrew to " << rh;
    const auto [la, ra] = Columns(image, 20, 380, 220, 278, Dark);
    EXPECT_GT(la, 200) << name << ": Arabic from " << la;
    EXPECT_GE(ra, 370) << name << ": Arabic to " << ra;
    // Gaps between the Arabic word's pieces: runs of clear columns.
    int gaps = 0;
    bool inInk = false;
    for (int x = la; x <= ra; ++x) {
      const bool ink = Columns(image, x, x, 220, 278, Dark).first >= 0;
      if (inInk && !ink) ++gaps;
      inInk = ink;
    }
    EXPECT_LE(gaps, 3) << name << ": the letters of the Arabic word join";
  }
}

}  // namespace

namespace {

// A producer sized this box to "مرحبا بالعالم" at 38 pt in its Arabic face
// (152 pt wide); ours is wider, and wrapped the second word onto a line
// below the box, where it was clipped away. Condensed, both words stay on
// the one line the box holds, read back from the box, and the line ends at
// the right padding (the box's right side less 2 pt), as a right-to-left
// paragraph does.
TEST(FreeTextRender, ArabicInABoxSizedForANarrowerFaceKeepsEveryWord) {
  if (!HaveProgram("pdftotext") || !HaveProgram("pdftoppm")) GTEST_SKIP() << "poppler-utils are not installed";
  const std::u16string text = u"\u0645\u0631\u062D\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645";
  const double left = 120, bottom = 200, right = 278.9, top = 257.7;
  TempDir dir;
  ASSERT_EQ(WriteShapePdf(dir / "in.pdf", kPage, kPage,
                          {"<< /Type /Annot /Subtype /FreeText /Rect [120 200 278.9 257.7] /Border [0 0 0]"
                           " /DA (/Helv 38 Tf 0 g) /Contents " + PdfText(text) + " >>"}),
            "");
  CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(dir / "in.pdf") + " -o " + Quote(dir / "out.pdf"));
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult box = Shell("pdftotext -x 120 -y 142 -W 159 -H 58 " + Quote(dir / "out.pdf") + " -");
  ASSERT_EQ(box.status, 0) << box.output;
  EXPECT_NE(box.output.find("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"), std::string::npos) << box.output;
  EXPECT_NE(box.output.find("\xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85"), std::string::npos)
      << box.output;

  // Every word's box, in page points from the top: one line, inside the
  // box, ending at the right padding.
  CommandResult bbox = Shell("pdftotext -bbox " + Quote(dir / "out.pdf") + " -");
  ASSERT_EQ(bbox.status, 0) << bbox.output;
  std::regex word(R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">)re");
  int words = 0;
  double ends = -1;
  for (auto it = std::sregex_iterator(bbox.output.begin(), bbox.output.end(), word); it != std::sregex_iterator();
       ++it, ++words) {
    const double x0 = std::stod((*it)[1]), y0 = std::stod((*it)[2]), x1 = std::stod((*it)[3]),
                 y1 = std::stod((*it)[4]);
    EXPECT_GE(x0, left) << bbox.output;
    const double middle = kPage - (y0 + y1) / 2;
    EXPECT_GT(middle, bottom) << bbox.output;
    EXPECT_LT(middle, top) << bbox.output;
    ends = std::max(ends, x1);
  }
  EXPECT_EQ(words, 2) << bbox.output;
  EXPECT_NEAR(ends, right - 2, 0.3) << bbox.output;

  for (const auto& [name, image] : Renders(dir / "out.pdf", dir)) {
    const auto [l, rr] = Columns(image, left, right, bottom + 1, top - 1, Dark);
    EXPECT_GT(rr - l, 140) << name << ": ink from " << l << " to " << rr;
    EXPECT_LE(rr, right - 2) << name;
  }
}

}  // namespace
