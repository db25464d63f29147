// Measurement captions over dark drawing, as poppler and MuPDF draw them:
// the caption's white background keeps the drawing out from behind its
// text, and "CaptionBackground" 0 lets it show through.
#include <gtest/gtest.h>

#include <string>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "sdk/ks_host_binding.h"
#include "tests/render_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

class CaptionRender : public ::testing::Test {
 protected:
  void SetUp() override {
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    // A letter page filled with dark grey, as a wall is.
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    direct::DocAddPage(doc, &letter);
    const std::string content = "0.25 g 0 0 612 792 re f";
    KPD_Stream stream = direct::DocNewStream(doc, content.data(), content.size());
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(direct::DictSet(reinterpret_cast<KPD_Dictionary>(direct::DocGetPage(doc, 0)), "/Contents",
                          reinterpret_cast<KPD_Object>(stream)),
              1);
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  // A 200 pt square measured by the Area tool, its caption centred at
  // (200, 200); the share of near-white pixels around that centre.
  double WhiteAroundCaption(Renderer renderer, bool background) {
    WritePreferences(dir_, std::string("[Measurement]\nShowCalibrateTip=0\nCaptionBackground=") +
                               (background ? "1" : "0") + "\n");
    const std::string script =
        dir_.Write("area.session", "tool Area\nclick 100 100\nclick 300 100\nclick 300 300\ndblclick 100 300\n");
    const CommandResult r = Shell(AnnotIn(dir_) + " run " + Quote(script) + " -i " + Quote(in_) + " -o " + Quote(out_));
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string base = dir_ / (renderer == Renderer::kPoppler ? "poppler" : "mupdf");
    const CommandResult drawn = RenderFirstPage(renderer, out_, base);
    EXPECT_EQ(drawn.status, 0) << drawn.output;
    Image image;
    EXPECT_TRUE(image.Read(base + ".ppm"));
    int white = 0, all = 0;
    for (int x = 170; x <= 230; ++x)
      for (int y = 193; y <= 207; ++y, ++all) {
        const Rgb p = image.At(x, y, 792);
        if (p.r > 230 && p.g > 230 && p.b > 230) ++white;
      }
    return double(white) / all;
  }

  TempDir dir_;
  std::string in_ = dir_ / "dark.pdf", out_ = dir_ / "out.pdf";
};

TEST_F(CaptionRender, PopplerDrawsTheCaptionOnItsBackground) {
  if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  EXPECT_GT(WhiteAroundCaption(Renderer::kPoppler, true), 0.5);
  EXPECT_LT(WhiteAroundCaption(Renderer::kPoppler, false), 0.02);
}

TEST_F(CaptionRender, MuPdfDrawsTheCaptionOnItsBackground) {
  if (!HaveProgram("mutool")) GTEST_SKIP() << "mutool is not installed";
  EXPECT_GT(WhiteAroundCaption(Renderer::kMuPdf, true), 0.5);
  EXPECT_LT(WhiteAroundCaption(Renderer::kMuPdf, false), 0.02);
}

}  // namespace
