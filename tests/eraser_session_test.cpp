// Erasing ink in a session: the eraser through the ribbon and drags, with
// the real plug-in, then the saved file read back and drawn by poppler and
// MuPDF.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "host/host_functions.h"
#include "tests/render_support.h"
#include "tests/test_support.h"

using namespace testing_support;
namespace direct = kshost::direct;

namespace {

// The strokes of the first annotation of page 1 of a file.
std::vector<std::vector<float>> InkStrokes(const std::string& path) {
  std::vector<std::vector<float>> strokes;
  KPD_Document doc = direct::DocOpenFile(path.c_str(), nullptr);
  if (!doc) return strokes;
  KPD_Object list = direct::DictGet(direct::PageGetAnnot(direct::DocGetPage(doc, 0), 0), "/InkList");
  for (int32_t i = 0; list && i < direct::ArrayCount(list); ++i) {
    KPD_Object stroke = direct::ArrayGet(list, i);
    std::vector<float> v(size_t(std::max(0, direct::ArrayGetNumbers(stroke, nullptr, 0))));
    if (!v.empty()) direct::ArrayGetNumbers(stroke, v.data(), int32_t(v.size()));
    strokes.push_back(v);
  }
  direct::DocClose(doc);
  return strokes;
}

// The colour a binary PPM rendered at 72 dpi shows at page point (x, y) of
// a page `height` points high.
bool PixelAt(const std::string& ppm, double x, double y, int height, Rgb* out) {
  Image image;
  if (!image.Read(ppm) || image.height != height) return false;
  *out = image.At(x, y, height);
  return true;
}

class EraserSessionTest : public ::testing::Test {
 protected:
  std::string Annot(const std::string& args) {
    return "XDG_CONFIG_HOME=" + Quote(home_ / "config") + " XDG_DATA_HOME=" + Quote(home_ / "data") + " " +
           Quote(AnnotPath()) + " " + args;
  }
  TempDir home_;
  TempDir dir_;
};

// The sample plan's red ink stroke runs from (120, 50) to (360, 50) through
// points 30 apart; a vertical drag through (240, 50) erases that point and
// the two next to it, leaving two strokes of three points.
TEST_F(EraserSessionTest, ErasingTheMiddleOfAStrokeLeavesTwoStrokesThatRenderersDraw) {
  const std::string plan = dir_ / "plan.pdf", out = dir_ / "erased.pdf";
  ASSERT_EQ(Shell(Annot("sample floorplan --ink -o " + Quote(plan))).status, 0);
  ASSERT_EQ(InkStrokes(plan).size(), 1u);
  const std::string script = dir_.Write("erase.session",
                                        "view 1\ntool Rubber\npress Button_CNRubberPart\n"
                                        "drag 240 60 240 40\nexpect annots 1 1\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(out) + " --trace"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("cursor: circle 8"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("draw: line"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("undo: push \"Erase"), std::string::npos) << r.output;

  const auto strokes = InkStrokes(out);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[0], (std::vector<float>{120, 50, 150, 54, 180, 50}));
  EXPECT_EQ(strokes[1], (std::vector<float>{300, 50, 330, 46, 360, 50}));

  struct Renderer {
    const char* program;
    std::string command;
    std::string ppm;
  };
  const Renderer renderers[] = {
      {"pdftoppm", "pdftoppm -r 72 -singlefile " + Quote(out) + " " + Quote(dir_ / "poppler"), dir_ / "poppler.ppm"},
      {"mutool", "mutool draw -q -r 72 -o " + Quote(dir_ / "mupdf.ppm") + " " + Quote(out) + " 1", dir_ / "mupdf.ppm"},
  };
  struct Probe {
    const char* what;
    double x, y;
    bool red;
  } probes[] = {
      {"first stroke", 150.5, 53.5, true},
      {"second stroke", 330.5, 46.5, true},
      {"erased middle", 240.5, 50.5, false},
      {"erased next to it", 210.5, 46.5, false},
  };
  for (const Renderer& renderer : renderers) {
    if (!HaveProgram(renderer.program)) continue;
    ASSERT_EQ(Shell(renderer.command).status, 0) << renderer.program;
    for (const Probe& p : probes) {
      Rgb c{};
      ASSERT_TRUE(PixelAt(renderer.ppm, p.x, p.y, 595, &c)) << renderer.program;
      const bool red = c.r > 200 && c.g < 120 && c.b < 120;
      const bool white = c.r > 220 && c.g > 220 && c.b > 220;
      EXPECT_TRUE(p.red ? red : white) << renderer.program << ": " << p.what << " is " << c.r << "," << c.g << ","
                                       << c.b;
    }
  }
}

// The size slider of the ribbon sets the eraser's size (kept to 1..30),
// which the cursor shows; the erase announces its page.
TEST_F(EraserSessionTest, TheSizeSliderSetsTheEraserSize) {
  const std::string plan = dir_ / "plan.pdf", out = dir_ / "wide.pdf";
  ASSERT_EQ(Shell(Annot("sample floorplan --ink -o " + Quote(plan))).status, 0);
  const std::string script = dir_.Write("wide.session",
                                        "view 1\npress Button_CNRubberSilder 45\npress Button_CNRubberPart\n"
                                        "drag 240 60 240 40\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(out) + " --trace"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("cursor: circle 30"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("changed: page 1"), std::string::npos) << r.output;
  EXPECT_EQ(InkStrokes(out).size(), 2u);
}

// Whole-stroke erase takes the only stroke and with it the annotation; undo
// in the same session brings it back; erase-all on a plan without ink says
// so and changes nothing.
TEST_F(EraserSessionTest, WholeStrokeAndEraseAllThroughTheRibbon) {
  const std::string plan = dir_ / "plan.pdf", bare = dir_ / "bare.pdf";
  ASSERT_EQ(Shell(Annot("sample floorplan --ink -o " + Quote(plan))).status, 0);
  ASSERT_EQ(Shell(Annot("sample floorplan -o " + Quote(bare))).status, 0);
  std::string script = dir_.Write("whole.session",
                                  "view 1\npress Button_CNRubberWhole\ndrag 200 60 200 40\nexpect annots 1 0\n"
                                  "undo\nexpect annots 1 1\nredo\nexpect annots 1 0\n");
  CommandResult r = Shell(Annot("run " + Quote(script) + " -i " + Quote(plan) + " -o " + Quote(dir_ / "w.pdf") +
                                " --trace"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("cursor: resource:4948"), std::string::npos) << r.output;

  script = dir_.Write("all.session", "press Button_CNRubberAll\nexpect annots 1 0\n");
  r = Shell(Annot("run " + Quote(script) + " -i " + Quote(bare) + " --trace"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("tip: There is no ink that can be erased."), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("undo: push"), std::string::npos) << r.output;
}

}  // namespace
