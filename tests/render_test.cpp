// Our appearances really draw: a page of shape annotations is rebuilt with
// annot regenerate and rendered by poppler (pdftoppm) and MuPDF (mutool
// draw); each renderer must show the colour we meant inside strokes and
// fills and the page colour outside.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
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

struct Probe {
  const char* what;
  double x, y;
  Rgb expected;
};

// Where the page below must show which colour.
const Probe kProbes[] = {
    {"page outside everything", 5, 5, {255, 255, 255}},
    {"square stroke", 24, 60, {255, 0, 0}},
    {"square fill", 70, 60, {0, 0, 255}},
    {"between square and circle", 135, 60, {255, 255, 255}},
    {"circle fill", 200, 60, {0, 255, 0}},
    {"circle corner outside the ellipse", 153, 23, {255, 255, 255}},
    {"cloudy square fill", 70, 150, {255, 255, 0}},
    {"line stroke", 100, 200, {0, 0, 0}},
    {"above the line", 100, 210, {255, 255, 255}},
    {"line arrow fill", 240, 202.5, {255, 0, 255}},
    {"ink stroke at its top", 80, 278.5, {0, 128, 0}},
    {"below the ink arch", 80, 262, {255, 255, 255}},
    {"half-transparent polygon", 210, 150, {255, 128, 128}},
    {"polyline stroke", 160, 245, {0, 0, 255}},
    // A border thicker than a third of the side fills the square.
    {"thick-bordered square's middle", 206, 336, {0, 128, 128}},
    {"thick-bordered square's corner", 202, 332, {0, 128, 128}},
    {"right of the thick-bordered square", 215, 336, {255, 255, 255}},
    // So does a border wider than a circle's radius: a disc of radius 5.67
    // about (246, 336), with no hole in the middle.
    {"thick-bordered circle's middle", 246, 336, {128, 0, 128}},
    {"thick-bordered circle near its edge", 249.5, 336, {128, 0, 128}},
    {"outside the thick-bordered circle's corner", 241, 331, {255, 255, 255}},
    // A circle drawn as 200 short edges still gets its cloud: the bumps
    // reach past the vertices, filled and stroked.
    {"cloudy circle's middle", 100, 350, {255, 128, 0}},
    {"cloud bump beyond a vertex", 136.5, 350.5, {255, 128, 0}},
    {"cloud bump's stroke", 139, 350.5, {0, 0, 255}},
    {"outside the cloud", 145, 350.5, {255, 255, 255}},
};

// A circle of 200 vertices about (100, 350), radius 35, counter-clockwise.
std::string CircleVertices() {
  std::string s = "[";
  for (int i = 0; i < 200; ++i) {
    double a = i * 2 * 3.14159265358979 / 200;
    s += std::to_string(100 + 35 * std::cos(a)) + " " + std::to_string(350 + 35 * std::sin(a)) + " ";
  }
  return s + "]";
}

const std::vector<std::string> kAnnotations = {
    "<< /Type /Annot /Subtype /Square /Rect [20 20 120 100] /C [1 0 0] /IC [0 0 1] /BS << /W 6 >> >>",
    "<< /Type /Annot /Subtype /Circle /Rect [150 20 250 100] /IC [0 1 0] /Border [0 0 0] >>",
    "<< /Type /Annot /Subtype /Square /Rect [30 125 110 175] /C [0 0 1] /IC [1 1 0] /BE << /S /C /I 1 >> >>",
    "<< /Type /Annot /Subtype /Line /L [20 200 250 200] /C [0 0 0] /IC [1 0 1] /BS << /W 2 >>"
    " /LE [/None /ClosedArrow] >>",
    "<< /Type /Annot /Subtype /Ink /C [0 0.5 0] /BS << /W 6 >> /InkList [[30 240 80 280 130 240]] >>",
    "<< /Type /Annot /Subtype /Polygon /Rect [150 110 270 190] /IC [1 0 0] /Border [0 0 0] /CA 0.5 /ca 0.5"
    " /Vertices [160 120 260 120 210 180] >>",
    "<< /Type /Annot /Subtype /PolyLine /Rect [140 230 290 290] /C [0 0 1] /BS << /W 4 >>"
    " /Vertices [160 235 160 280 280 280] >>",
    "<< /Type /Annot /Subtype /Square /Rect [200 330 212 342] /C [0 0.5 0.5] /BS << /W 10 >> >>",
    "<< /Type /Annot /Subtype /Circle /Rect [240 330 252 342] /C [0.5 0 0.5] /BS << /W 10 >> >>",
    "<< /Type /Annot /Subtype /Polygon /Rect [60 310 140 390] /C [0 0 1] /IC [1 0.5 0] /BS << /W 3 >>"
    " /BE << /S /C /I 1 >> /Vertices " + CircleVertices() + " >>",
};

bool Near(const Rgb& a, const Rgb& b) {
  return std::abs(a.r - b.r) <= 40 && std::abs(a.g - b.g) <= 40 && std::abs(a.b - b.b) <= 40;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_ / "in.pdf";
    out_ = dir_ / "out.pdf";
    ASSERT_EQ(WriteShapePdf(in_, kPage, kPage, kAnnotations), "");
    CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(in_) + " -o " + Quote(out_));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(r.output.find("skipped page"), std::string::npos) << r.output;
  }

  void Check(const std::string& renderer, const std::string& ppm) {
    PageImage image;
    ASSERT_TRUE(image.Read(ppm)) << renderer;
    ASSERT_EQ(image.width, kPage) << renderer;
    ASSERT_EQ(image.height, kPage) << renderer;
    for (const Probe& p : kProbes) {
      Rgb got = image.At(p.x, p.y);
      EXPECT_TRUE(Near(got, p.expected)) << renderer << ": " << p.what << " at (" << p.x << ", " << p.y << ") is "
                                         << got.r << "," << got.g << "," << got.b << ", expected " << p.expected.r
                                         << "," << p.expected.g << "," << p.expected.b;
    }
  }

  TempDir dir_;
  std::string in_, out_;
};

// pdftoppm writes PPM by default (this version has no -ppm switch).
TEST_F(RenderTest, PopplerDrawsWhatWeMeant) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  CommandResult r = RenderFirstPage(Renderer::kPoppler, out_, dir_ / "poppler");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("pdftoppm", dir_ / "poppler.ppm");
}

TEST_F(RenderTest, MuPdfDrawsWhatWeMeant) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  CommandResult r = RenderFirstPage(Renderer::kMuPdf, out_, dir_ / "mupdf");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("mutool draw", dir_ / "mupdf.ppm");
}

}  // namespace

namespace {

// ---- text markup, caret, icons and stamps -------------------------------------------

// Whether any pixel of the page box (x0, y0)-(x1, y1) is near `colour`.
bool AnyNear(const PageImage& image, double x0, double y0, double x1, double y1, const Rgb& colour) {
  for (double y = y0; y <= y1; y += 0.5)
    for (double x = x0; x <= x1; x += 0.5)
      if (Near(image.At(x, y), colour)) return true;
  return false;
}

// A page with "text" (black bars) and annotations given as PDF text, an
// annotation's stream keys given separately, saved without appearances.
std::string WriteMarkupPdf(const std::string& path, const std::string& pageContent,
                           const std::vector<std::string>& annots) {
  KPD_Document doc = direct::DocNew();
  KS_FloatRect box{0, 0, kPage, kPage};
  KPD_Page page = direct::DocAddPage(doc, &box);
  std::string error;
  if (!direct::PageAppendContent(page, pageContent.data(), pageContent.size())) error = "cannot write the page";
  for (const std::string& text : annots) {
    KPD_Object dict = direct::ObjectParse(text.data(), text.size());
    if (!dict || !direct::PageInsertAnnot(page, -1, dict)) error = "cannot add " + text;
    direct::ObjectRelease(dict);
  }
  KS_ByteString err = direct::ByteStringNew(nullptr, 0);
  if (error.empty() && !direct::DocSave(doc, path.c_str(), err))
    error = std::string(direct::ByteStringData(err), direct::ByteStringLength(err));
  direct::ByteStringDestroy(err);
  direct::DocClose(doc);
  return error;
}

const char* const kNoteIcons[] = {"Check",     "Circle",     "Comment",      "Cross", "Help",    "Insert",
                                  "NewParagraph", "Note",    "Paragraph",    "RightArrow", "RightPointer",
                                  "Star",      "UpArrow",    "UpLeftArrow"};

std::vector<std::string> MarkupAnnotations() {
  std::vector<std::string> a = {
      // Over the black bar at 20..120 x 300..312.
      "<< /Type /Annot /Subtype /Highlight /Rect [0 0 1 1] /C [1 1 0] /QuadPoints [10 315 130 315 10 297 130 297] >>",
      "<< /Type /Annot /Subtype /Underline /Rect [0 0 1 1] /C [0 0 1] /QuadPoints [150 316 250 316 150 300 250 300] >>",
      "<< /Type /Annot /Subtype /StrikeOut /Rect [0 0 1 1] /C [1 0 0] /QuadPoints [150 296 250 296 150 280 250 280] >>",
      "<< /Type /Annot /Subtype /Squiggly /Rect [0 0 1 1] /C [0 0.6 0] /QuadPoints [150 276 250 276 150 260 250 260] >>",
      "<< /Type /Annot /Subtype /Caret /Rect [280 280 300 310] /C [1 0 1] >>",
      "<< /Type /Annot /Subtype /Stamp /Rect [20 200 220 250] /Name /Approved /C [1 0 0] >>",
  };
  for (int i = 0; i < 14; ++i)
    a.push_back("<< /Type /Annot /Subtype /Text /C [0 0 1] /Name /" + std::string(kNoteIcons[i]) + " /Rect [" +
                std::to_string(10 + 26 * i) + " 150 " + std::to_string(30 + 26 * i) + " 170] >>");
  return a;
}

class MarkupRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_ / "in.pdf";
    out_ = dir_ / "out.pdf";
    ASSERT_EQ(WriteMarkupPdf(in_, "0 g 20 300 100 12 re f\n", MarkupAnnotations()), "");
    CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(in_) + " -o " + Quote(out_));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(r.output.find("skipped page"), std::string::npos) << r.output;
    for (const char* row : {"Highlight             1        0", "Text                 14        0",
                            "Stamp                 1        0", "Caret                 1        0"})
      EXPECT_NE(r.output.find(row), std::string::npos) << row << "\n" << r.output;
  }

  void Check(const std::string& renderer, const std::string& ppm) {
    PageImage image;
    ASSERT_TRUE(image.Read(ppm)) << renderer;
    const Rgb black{0, 0, 0}, white{255, 255, 255}, yellow{255, 255, 0};
    // Multiply keeps the text under the highlight black.
    EXPECT_TRUE(Near(image.At(60, 306), black)) << renderer << ": text under the highlight";
    EXPECT_TRUE(Near(image.At(15, 306), yellow)) << renderer << ": highlight beside the text";
    EXPECT_TRUE(Near(image.At(200, 300.2), {0, 0, 255})) << renderer << ": underline";
    EXPECT_TRUE(Near(image.At(200, 310), white)) << renderer << ": above the underline";
    EXPECT_TRUE(Near(image.At(200, 288.2), {255, 0, 0})) << renderer << ": strike-out";
    EXPECT_TRUE(AnyNear(image, 160, 259, 240, 263, {0, 153, 0})) << renderer << ": squiggle";
    EXPECT_TRUE(Near(image.At(200, 268), white)) << renderer << ": above the squiggle";
    EXPECT_TRUE(AnyNear(image, 280, 280, 300, 310, {255, 0, 255})) << renderer << ": caret";
    EXPECT_TRUE(AnyNear(image, 20, 200, 220, 250, {255, 0, 0})) << renderer << ": stamp";
    EXPECT_TRUE(Near(image.At(120, 240), white)) << renderer << ": inside the stamp's frame";
    for (int i = 0; i < 14; ++i)
      EXPECT_TRUE(AnyNear(image, 10 + 26 * i, 150, 30 + 26 * i, 170, {0, 0, 255})) << renderer << ": " << kNoteIcons[i];
    EXPECT_TRUE(Near(image.At(5, 5), white)) << renderer;
  }

  TempDir dir_;
  std::string in_, out_;
};

TEST_F(MarkupRenderTest, PopplerDrawsMarkupIconsAndStamps) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  CommandResult r = RenderFirstPage(Renderer::kPoppler, out_, dir_ / "poppler");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("pdftoppm", dir_ / "poppler.ppm");
}

TEST_F(MarkupRenderTest, MuPdfDrawsMarkupIconsAndStamps) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  CommandResult r = RenderFirstPage(Renderer::kMuPdf, out_, dir_ / "mupdf");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("mutool draw", dir_ / "mupdf.ppm");
}

}  // namespace

namespace {

// A stamp whose picture holds a nested form drawing an image (red) and a
// pattern fill (blue) travels through XFDF into another file and draws the
// same there.
TEST(StampExchangeRender, PictureSurvivesXfdfAndDrawsTheSame) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  TempDir dir;
  const std::string a = dir / "a.pdf", blank = dir / "blank.pdf", b = dir / "b.pdf", x = dir / "a.xfdf";
  {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect box{0, 0, kPage, kPage};
    KPD_Page page = direct::DocAddPage(doc, &box);
    auto stream = [&](const std::string& data, const std::string& dict) {
      KPD_Stream s = direct::DocNewStream(doc, data.data(), data.size());
      KPD_Object d = direct::ObjectParse(dict.data(), dict.size());
      for (int32_t i = 0; i < direct::DictKeyCount(d); ++i) {
        KS_ByteString key = direct::ByteStringNew(nullptr, 0);
        direct::DictKeyAt(d, i, key);
        std::string k(direct::ByteStringData(key), direct::ByteStringLength(key));
        direct::DictSet(direct::StreamGetDict(s), k.c_str(), direct::DictGet(d, k.c_str()));
        direct::ByteStringDestroy(key);
      }
      direct::ObjectRelease(d);
      return s;
    };
    auto set = [](KPD_Object dict, const char* path1, const char* key, KPD_Object value) {
      KPD_Object inner = direct::DictGet(dict, path1);
      direct::DictSet(inner, key, value);
    };
    std::string pixels;
    for (int i = 0; i < 4; ++i) pixels += std::string("\xff\x00\x00", 3);
    KPD_Stream image = stream(pixels, "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB "
                                      "/BitsPerComponent 8 >>");
    KPD_Stream pattern = stream("0 0 1 rg 0 0 10 10 re f", "<< /PatternType 1 /PaintType 1 /TilingType 1 "
                                                           "/BBox [0 0 10 10] /XStep 10 /YStep 10 /Resources << >> >>");
    KPD_Stream inner = stream("q 50 0 0 50 0 0 cm /Im Do Q /Pattern cs /P scn 50 0 50 50 re f",
                              "<< /Type /XObject /Subtype /Form /BBox [0 0 100 50] "
                              "/Resources << /XObject << >> /Pattern << >> >> >>");
    KPD_Object innerRes = direct::DictGet(direct::StreamGetDict(inner), "/Resources");
    set(innerRes, "/XObject", "/Im", image);
    set(innerRes, "/Pattern", "/P", pattern);
    KPD_Stream outer = stream("/Inner Do", "<< /Type /XObject /Subtype /Form /BBox [0 0 100 50] "
                                           "/Resources << /XObject << >> >> >>");
    set(direct::DictGet(direct::StreamGetDict(outer), "/Resources"), "/XObject", "/Inner", inner);
    std::string text = "<< /Type /Annot /Subtype /Stamp /NM (s1) /Rect [100 100 200 150] /Name /Custom /AP << >> >>";
    KPD_Object dict = direct::ObjectParse(text.data(), text.size());
    KPD_Dictionary annot = direct::PageInsertAnnot(page, -1, dict);
    direct::ObjectRelease(dict);
    ASSERT_TRUE(annot);
    direct::DictSet(direct::DictGet(annot, "/AP"), "/N", outer);
    KS_ByteString err = direct::ByteStringNew(nullptr, 0);
    ASSERT_TRUE(direct::DocSave(doc, a.c_str(), err));
    direct::ByteStringDestroy(err);
    direct::DocClose(doc);
  }
  ASSERT_EQ(WriteMarkupPdf(blank, "", {}), "");
  CommandResult r = Shell(Quote(AnnotPath()) + " xfdf export " + Quote(a) + " -o " + Quote(x));
  ASSERT_EQ(r.status, 0) << r.output;
  r = Shell(Quote(AnnotPath()) + " xfdf import " + Quote(blank) + " " + Quote(x) + " -o " + Quote(b));
  ASSERT_EQ(r.status, 0) << r.output;
  PageImage images[2];
  for (int i = 0; i < 2; ++i) {
    const std::string& pdf = i ? b : a;
    r = Shell("pdftoppm -r 72 -singlefile " + Quote(pdf) + " " + Quote(dir / ("r" + std::to_string(i))));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(images[i].Read(dir / ("r" + std::to_string(i) + ".ppm")));
  }
  const struct {
    double x, y;
    Rgb expected;
  } probes[] = {{125, 125, {255, 0, 0}}, {175, 125, {0, 0, 255}}, {150, 170, {255, 255, 255}}};
  for (const auto& p : probes) {
    for (int i = 0; i < 2; ++i) {
      Rgb got = images[i].At(p.x, p.y);
      EXPECT_TRUE(Near(got, p.expected)) << (i ? "imported" : "original") << " at " << p.x << "," << p.y << ": "
                                         << got.r << "," << got.g << "," << got.b;
    }
  }
}

}  // namespace

// Measurements: the caption is drawn in its colour inside the annotation's
// box, and a label in Greek and Cyrillic draws and extracts as itself.
namespace {

const std::string kFeet =
    "/Measure << /Type /Measure /R (1 in = 10 ft) /X [<< /U (ft) /C 0.138889 /D 100 >>] "
    "/D [<< /U (ft) /C 1 /D 100 >>] /A [<< /U (sq ft) /C 1 /D 100 >>] >>";

// "Δ-Шаг" as a UTF-16 text string.
const std::vector<std::string> kMeasurements = {
    "<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [100 100 172 110] /L [100 100 172 100] /C [0 0 1]"
    " /CC [1 0 0] /Cap true /CP /Top /DS (font: Helvetica 14pt) /Label <FEFF0394002D0428043004330020> /MeasurementTypes 130 " +
        kFeet + " >>",
    "<< /Type /Annot /Subtype /Circle /IT /CircleDimension /Rect [100 200 300 380] /C [0 0 0] /CC [1 0 0]"
    " /CenterPoint true /MeasurementTypes 384 " + kFeet + " >>",
};

class MeasureRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_ = dir_ / "in.pdf";
    out_ = dir_ / "out.pdf";
    ASSERT_EQ(WriteShapePdf(in_, kPage, kPage, kMeasurements), "");
    CommandResult r = Shell(Quote(AnnotPath()) + " regenerate " + Quote(in_) + " -o " + Quote(out_));
    ASSERT_EQ(r.status, 0) << r.output;
  }

  // Red is only the captions: some inside each measurement's region, none
  // elsewhere.
  void Check(const std::string& renderer, const std::string& ppm) {
    PageImage image;
    ASSERT_TRUE(image.Read(ppm)) << renderer;
    int inLine = 0, inCircle = 0, outside = 0;
    for (int row = 0; row < image.height; ++row) {
      for (int col = 0; col < image.width; ++col) {
        const double x = col + 0.5, y = kPage - row - 0.5;
        Rgb p = image.At(x, y);
        if (!(p.r > 200 && p.g < 80 && p.b < 80)) continue;
        if (x > 60 && x < 212 && y > 100 && y < 150) ++inLine;
        else if (x > 100 && x < 300 && y > 200 && y < 380) ++inCircle;
        else ++outside;
      }
    }
    EXPECT_GT(inLine, 20) << renderer;
    EXPECT_GT(inCircle, 20) << renderer;
    EXPECT_EQ(outside, 0) << renderer;
  }

  TempDir dir_;
  std::string in_, out_;
};

TEST_F(MeasureRenderTest, PopplerAndMuPdfDrawTheCaptionsInTheirColour) {
  if (HaveProgram("pdftoppm")) {
    CommandResult r = RenderFirstPage(Renderer::kPoppler, out_, dir_ / "poppler");
    ASSERT_EQ(r.status, 0) << r.output;
    Check("pdftoppm", dir_ / "poppler.ppm");
  }
  if (HaveProgram("mutool")) {
    CommandResult r = RenderFirstPage(Renderer::kMuPdf, out_, dir_ / "mupdf");
    ASSERT_EQ(r.status, 0) << r.output;
    Check("mutool draw", dir_ / "mupdf.ppm");
  }
}

TEST_F(MeasureRenderTest, LabelsInOtherScriptsExtractAsThemselves) {
  std::vector<std::string> extractors;
  if (HaveProgram("pdftotext")) extractors.push_back("pdftotext " + Quote(out_) + " -");
  if (HaveProgram("mutool")) extractors.push_back("mutool draw -q -F txt " + Quote(out_) + " 1");
  if (extractors.empty()) GTEST_SKIP() << "no text extractor";
  for (const std::string& command : extractors) {
    CommandResult r = Shell(command);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\xCE\x94-\xD0\xA8\xD0\xB0\xD0\xB3"), std::string::npos) << command << ":\n" << r.output;
    EXPECT_NE(r.output.find("10.00 ft"), std::string::npos) << command << ":\n" << r.output;
    EXPECT_EQ(r.output.find('?'), std::string::npos) << command << ":\n" << r.output;
  }
}

}  // namespace
