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

#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

constexpr int kPage = 400;

struct Rgb {
  int r, g, b;
};

// A binary PPM (P6, maxval 255) as rows of RGB bytes.
struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> data;

  bool Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> width >> height >> maxval) || magic != "P6" || maxval != 255) return false;
    in.get();
    data.resize(size_t(width) * size_t(height) * 3);
    return bool(in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size())));
  }
  // The pixel that holds the page point (x, y) at 72 dpi.
  Rgb At(double x, double y) const {
    int col = int(x), row = int(kPage - y);
    size_t i = (size_t(row) * size_t(width) + size_t(col)) * 3;
    return {data[i], data[i + 1], data[i + 2]};
  }
};

bool HaveProgram(const char* name) { return Shell(std::string("command -v ") + name + " >/dev/null").status == 0; }

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
    Image image;
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
  CommandResult r = Shell("pdftoppm -r 72 -singlefile " + Quote(out_) + " " + Quote(dir_ / "poppler"));
  ASSERT_EQ(r.status, 0) << r.output;
  Check("pdftoppm", dir_ / "poppler.ppm");
}

TEST_F(RenderTest, MuPdfDrawsWhatWeMeant) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  CommandResult r = Shell("mutool draw -q -r 72 -o " + Quote(dir_ / "mupdf.ppm") + " " + Quote(out_) + " 1");
  ASSERT_EQ(r.status, 0) << r.output;
  Check("mutool draw", dir_ / "mupdf.ppm");
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
    " /CC [1 0 0] /Cap true /DS (font: Helvetica 14pt) /Label <FEFF0394002D0428043004330020> /MeasurementTypes 130 " +
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
    Image image;
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
    CommandResult r = Shell("pdftoppm -r 72 -singlefile " + Quote(out_) + " " + Quote(dir_ / "poppler"));
    ASSERT_EQ(r.status, 0) << r.output;
    Check("pdftoppm", dir_ / "poppler.ppm");
  }
  if (HaveProgram("mutool")) {
    CommandResult r = Shell("mutool draw -q -r 72 -o " + Quote(dir_ / "mupdf.ppm") + " " + Quote(out_) + " 1");
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
