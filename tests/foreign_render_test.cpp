// Files made by other programs keep what they showed: annotations written
// without appearances the way other producers write them (a stamp without
// a name, a narrow paperclip box, overlapping highlight quads) are rebuilt
// with annot regenerate and drawn by poppler (pdftoppm) and MuPDF (mutool
// draw), which must both show what the producer meant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/render_support.h"
#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

constexpr int kPage = 400;

struct PageImage : Image {
  Rgb At(double x, double y) const { return Image::At(x, y, kPage); }
  // How many columns of the box (x0, y0)-(x1, y1) hold a pixel `match` says yes to.
  template <typename Match>
  int Columns(double x0, double y0, double x1, double y1, Match match) const {
    int n = 0;
    for (double x = x0; x <= x1; x += 1) {
      bool hit = false;
      for (double y = y0; y <= y1 && !hit; y += 0.5) hit = match(At(x, y));
      n += hit;
    }
    return n;
  }
  template <typename Match>
  bool Any(double x0, double y0, double x1, double y1, Match match) const {
    return Columns(x0, y0, x1, y1, match) > 0;
  }
};

// Darker than white or yellow: where an outline or other ink shows.
bool Ink(const Rgb& c) { return c.r < 200 || c.g < 200; }
bool Yellow(const Rgb& c) { return c.r > 200 && c.g > 200 && c.b < 80; }
bool White(const Rgb& c) { return c.r > 240 && c.g > 240 && c.b > 240; }
// The standard stamps' colours: blue (0.15 0.3 0.7) and green (0.1 0.5 0.1).
bool StampBlue(const Rgb& c) { return c.b > 120 && c.r < 90 && c.g < 130; }
bool StampGreen(const Rgb& c) { return c.g > 90 && c.r < 60 && c.b < 60; }

// Writes the annotations on a 400 by 400 page, regenerates them with annot
// and renders the result with both renderers.
class ForeignRender : public ::testing::Test {
 protected:
  void Regenerate(const std::vector<std::string>& annots) {
    in_ = dir_ / "in.pdf";
    out_ = dir_ / "out.pdf";
    ASSERT_EQ(WriteShapePdf(in_, kPage, kPage, annots), "");
    CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(in_) + " -o " + Quote(out_));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(r.output.find("skipped page"), std::string::npos) << r.output;
    ASSERT_EQ(r.output.find(": "), std::string::npos) << r.output;  // no annotation left without a reason
  }
  // The page drawn by each renderer that is installed, with its name.
  std::vector<std::pair<std::string, PageImage>> Renders() {
    std::vector<std::pair<std::string, PageImage>> images;
    if (HaveProgram("pdftoppm")) {
      EXPECT_EQ(RenderFirstPage(Renderer::kPoppler, out_, dir_ / "poppler").status, 0);
      images.push_back({"pdftoppm", {}});
      EXPECT_TRUE(images.back().second.Read(dir_ / "poppler.ppm"));
    }
    if (HaveProgram("mutool")) {
      EXPECT_EQ(RenderFirstPage(Renderer::kMuPdf, out_, dir_ / "mupdf").status, 0);
      images.push_back({"mutool draw", {}});
      EXPECT_TRUE(images.back().second.Read(dir_ / "mupdf.ppm"));
    }
    return images;
  }
  std::string Text() {
    CommandResult r = Shell("pdftotext -enc UTF-8 " + Quote(out_) + " -");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
  }

  TempDir dir_;
  std::string in_, out_;
};

TEST_F(ForeignRender, StampsShowTheirNameAsOtherViewersDo) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler or MuPDF is missing";
  Regenerate({
      // No /Name: a draft, blue, as the PDF standard's default says.
      "<< /Type /Annot /Subtype /Stamp /Rect [20 300 220 360] >>",
      // A German name in UTF-8 keeps its umlaut.
      "<< /Type /Annot /Subtype /Stamp /Rect [20 200 220 260] /Name /Gepr#C3#BCft >>",
      // 360 wide, 60 high, turned a quarter: the caption runs along the box.
      "<< /Type /Annot /Subtype /Stamp /Rect [20 40 380 100] /Rotate 90 /Name /Final >>",
  });
  const std::string text = Text();
  EXPECT_NE(text.find("DRAFT"), std::string::npos) << text;
  EXPECT_EQ(text.find("APPROVED"), std::string::npos) << text;
  EXPECT_NE(text.find("GEPR\u00DCFT"), std::string::npos) << text;
  for (const auto& [renderer, image] : Renders()) {
    EXPECT_TRUE(image.Any(30, 310, 210, 350, StampBlue)) << renderer << ": the draft is blue";
    EXPECT_FALSE(image.Any(20, 300, 220, 360, StampGreen)) << renderer << ": no green approval";
    // FINAL at the frame's full height (0.7 of 45 points inside a 3.75 point
    // frame) is about 2.83 x 31.5 = 89 points long, level across the middle;
    // standing up across the 60-point side it would cover about 12 columns.
    const int columns = image.Columns(40, 60, 360, 80, StampGreen);
    EXPECT_GT(columns, 60) << renderer;
    EXPECT_LT(columns, 120) << renderer;
    EXPECT_TRUE(White(image.At(5, 5))) << renderer;
  }
}

TEST_F(ForeignRender, APaperclipKeepsItsNarrowBoxAndShowsOnWhite) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler or MuPDF is missing";
  // Acrobat's paperclip: 7 wide, 17 high, yellow (poppler shows no
  // attachment without an /FS dictionary).
  Regenerate({"<< /Type /Annot /Subtype /FileAttachment /Rect [100 100 107 117] /Name /Paperclip /C [1 1 0] "
              "/FS << /Type /Filespec /F (a.txt) >> >>"});
  for (const auto& [renderer, image] : Renders()) {
    // The clip runs the box's height: ink in its lower and upper thirds...
    EXPECT_TRUE(image.Any(100, 101, 107, 105, Ink)) << renderer << ": the clip's foot";
    EXPECT_TRUE(image.Any(100, 112, 107, 116, Ink)) << renderer << ": the clip's head";
    // ...outlined in black with its yellow inside the lines...
    EXPECT_TRUE(image.Any(100, 100, 107, 117, Yellow)) << renderer;
    // ...and nothing outside the box.
    EXPECT_FALSE(image.Any(90, 90, 98, 127, Ink)) << renderer;
    EXPECT_FALSE(image.Any(109, 90, 117, 127, Ink)) << renderer;
    EXPECT_FALSE(image.Any(98, 119, 109, 127, Ink)) << renderer;
  }
}

TEST_F(ForeignRender, OverlappingHighlightQuadsShowOneColour) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler or MuPDF is missing";
  // Two quads over 100..200 and 150..250 (overlapping over 150..200), the
  // second written with its corners in the other order; then a quad turned
  // the other way round (its text running right to left).
  Regenerate({"<< /Type /Annot /Subtype /Highlight /Rect [0 0 1 1] /C [0.5 0.5 1] "
              "/QuadPoints [100 220 200 220 100 200 200 200 250 200 150 200 250 220 150 220 "
              "250 210 120 210 250 190 120 190] >>"});
  for (const auto& [renderer, image] : Renders()) {
    const Rgb once = image.At(120, 215), both = image.At(175, 215), turned = image.At(240, 195),
              crossing = image.At(240, 205);
    // (0.5 0.5 1) multiplied once over white is (128 128 255); twice it
    // would be (64 64 255).
    for (const Rgb& c : {once, both, turned, crossing}) {
      EXPECT_NEAR(c.r, 128, 6) << renderer;
      EXPECT_NEAR(c.g, 128, 6) << renderer;
      EXPECT_GT(c.b, 245) << renderer;
    }
    EXPECT_TRUE(White(image.At(175, 230))) << renderer;
  }
}

TEST_F(ForeignRender, APolygonWithAnUpsideDownRectIsDrawn) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler or MuPDF is missing";
  Regenerate({"<< /Type /Annot /Subtype /Polygon /Rect [300 300 100 100] /IC [0 0 1] /C [0 0 1] "
              "/Vertices [110 110 290 110 200 290] >>"});
  for (const auto& [renderer, image] : Renders()) {
    const Rgb inside = image.At(200, 150);
    EXPECT_TRUE(inside.b > 200 && inside.r < 60 && inside.g < 60) << renderer;
    EXPECT_TRUE(White(image.At(120, 250))) << renderer;
  }
}

TEST_F(ForeignRender, ADistanceWithoutCaptionPositionHasItsCaptionInTheLine) {
  if (!HaveProgram("pdftoppm") || !HaveProgram("mutool")) GTEST_SKIP() << "poppler or MuPDF is missing";
  // 280 points at 1 in = 10 ft: 38.89 ft, in red, on a blue line at y 200.
  Regenerate({"<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [60 195 340 205] /L [60 200 340 200] "
              "/C [0 0 1] /CC [1 0 0] /Cap true /DS (font: Helvetica 14pt) /MeasurementTypes 2 "
              "/Measure << /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 0.138889 /D 100 >>] "
              "/D [<< /U (ft) /C 1 /D 100 >>] /A [<< /U (sq ft) /C 1 /D 100 >>] >> >>"});
  CommandResult text = Shell("pdftotext " + Quote(out_) + " -");
  EXPECT_NE(text.output.find("38.89 ft"), std::string::npos) << text.output;
  auto red = [](const Rgb& c) { return c.r > 200 && c.g < 80 && c.b < 80; };
  // A one-point line may fall across two pixel rows at half strength.
  auto blue = [](const Rgb& c) { return c.b > 200 && c.r < 200 && c.g < 200; };
  for (const auto& [renderer, image] : Renders()) {
    // The caption straddles the line...
    EXPECT_TRUE(image.Any(150, 192, 250, 198, red)) << renderer << ": below the line";
    EXPECT_TRUE(image.Any(150, 202, 250, 208, red)) << renderer << ": above the line";
    EXPECT_FALSE(image.Any(150, 212, 250, 230, red)) << renderer << ": not over it";
    // ...in a break of the line, which runs on either side.
    EXPECT_TRUE(image.Any(70, 199, 90, 201, blue)) << renderer;
    EXPECT_TRUE(image.Any(310, 199, 330, 201, blue)) << renderer;
    EXPECT_FALSE(image.Any(185, 199, 215, 201, blue)) << renderer;
  }
}

}  // namespace
