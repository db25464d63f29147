// Appearance streams drawn onto a recording device: colours, widths and
// matrices reach the display list, forms and images are followed, and an
// annotation's form is fitted to its rectangle.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>

#include <algorithm>
#include <string>
#include <vector>

#include "host/appearance_draw.h"
#include "host/device.h"

namespace kshost {
namespace {

std::vector<std::string> Lines(KA_Device device) {
  std::vector<std::string> lines;
  for (const DrawItem& item : device->items) lines.push_back(TraceLine(item));
  return lines;
}

// Content drawn as an annotation's appearance whose form box is its
// rectangle, so form space is page space; the page is the device.
class AppearanceDrawTest : public ::testing::Test {
 protected:
  void SetUp() override { qpdf_.emptyPDF(); }
  QPDFObjectHandle Stream(const std::string& dict, const std::string& data) {
    QPDFObjectHandle s = qpdf_.newStream(data);
    for (const auto& [key, value] : QPDFObjectHandle::parse(dict).getDictAsMap()) s.getDict().replaceKey(key, value);
    return s;
  }
  std::vector<std::string> Drawn(const std::string& content, QPDFObjectHandle resources = {}) {
    QPDFObjectHandle form = Stream("<< /Subtype /Form /BBox [0 0 1000 1000] >>", content);
    if (resources.isInitialized()) form.getDict().replaceKey("/Resources", resources);
    QPDFObjectHandle annot = QPDFObjectHandle::parse("<< /Rect [0 0 1000 1000] /AP << >> >>");
    annot.getKey("/AP").replaceKey("/N", form);
    KA_Device device = NewDevice();
    EXPECT_TRUE(appearance::DrawAnnotAppearance(device, annot, kIdentity)) << content;
    std::vector<std::string> lines = Lines(device);
    ReleaseDevice(device);
    return lines;
  }
  static constexpr KS_Matrix kIdentity{1, 0, 0, 1, 0, 0};
  QPDF qpdf_;
};

TEST_F(AppearanceDrawTest, PathsKeepTheirColoursWidthsAndMatrices) {
  struct Case {
    const char* content;
    std::vector<std::string> lines;
  } cases[] = {
      {"1 0 0 RG 2 w 10 10 m 50 10 l S", {"draw: path 10 10 50 10 pen #FF0000 2"}},
      {"0 0 1 rg 0 0 20 10 re f", {"draw: path 0 0 20 0 20 10 0 10 closed pen #0000FF 0 fill #0000FF"}},
      // CMYK cyan and magenta make blue; the stroke is green.
      {"0 1 0 RG 1 1 0 0 k 0 0 10 10 re B", {"draw: path 0 0 10 0 10 10 0 10 closed pen #00FF00 1 fill #0000FF"}},
      {"0.5 G 0 0 m 4 0 l 4 4 l s", {"draw: path 0 0 4 0 4 4 closed pen #808080 1"}},
      {"q 1 0 0 RG 3 w Q 5 5 m 6 9 l S", {"draw: path 5 5 6 9 pen #000000 1"}},
      {"2 0 0 2 10 10 cm 0 0 m 5 0 l S", {"draw: path 10 10 20 10 pen #000000 2"}},
      {"0 0 m 10 0 l 0 0 m 0 10 l S", {"draw: path 0 0 10 0 pen #000000 1", "draw: path 0 0 0 10 pen #000000 1"}},
      {"0 0 m 10 0 l n 0 0 m 10 0 l W n", {}},
      {"BT /F1 12 Tf 1 0 0 rg (x) Tj ET", {}},
      // What comes before damage stays.
      {"1 0 0 RG 0 0 m 10 0 l S ) ] >> 5 5 m", {"draw: path 0 0 10 0 pen #FF0000 1"}},
      {"0 0 m 0.2 0.2 l S", {}},  // smaller than a pixel
      {"q 5 0 0 5 1 2 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q 0 0 m 1 1 l S",
       {"draw: image 1 2 6 2 6 7 1 7 pen #000000 1", "draw: path 0 0 1 1 pen #000000 1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Drawn(c.content), c.lines) << c.content;
}

TEST_F(AppearanceDrawTest, ADashPatternDashesThePenUntilItIsCleared) {
  QPDFObjectHandle annot = QPDFObjectHandle::parse("<< /Rect [0 0 10 10] /AP << >> >>");
  annot.getKey("/AP").replaceKey("/N", Stream("<< /Subtype /Form /BBox [0 0 10 10] >>",
                                              "[3 2] 0 d 0 0 m 10 0 l S [] 0 d 0 5 m 10 5 l S"));
  KA_Device device = NewDevice();
  ASSERT_TRUE(appearance::DrawAnnotAppearance(device, annot, kIdentity));
  ASSERT_EQ(device->items.size(), 2u);
  EXPECT_NE(device->items[0].pen.style, 0);
  EXPECT_EQ(device->items[1].pen.style, 0);
  ReleaseDevice(device);
}
TEST_F(AppearanceDrawTest, CurvesBecomeStraightPiecesBetweenTheirEnds) {
  const std::vector<std::string> lines = Drawn("0 0 m 0 40 40 40 40 0 c S");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("draw: path 0 0 ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" 40 0 pen #000000 1"), std::string::npos) << lines[0];
  EXPECT_GT(std::count(lines[0].begin(), lines[0].end(), ' '), 12) << lines[0];  // more than a chord
}

TEST_F(AppearanceDrawTest, FormsAndImagesAreFollowedAndAFormDrawingItselfEnds) {
  QPDFObjectHandle image = Stream("<< /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 >>", "\x80");
  QPDFObjectHandle form = Stream("<< /Subtype /Form /BBox [0 0 10 10] /Matrix [2 0 0 2 0 0] >>",
                                 "0 0 m 5 0 l S /Self Do");
  QPDFObjectHandle formResources = QPDFObjectHandle::parse("<< /XObject << >> >>");
  formResources.getKey("/XObject").replaceKey("/Self", form);
  form.getDict().replaceKey("/Resources", formResources);
  QPDFObjectHandle resources = QPDFObjectHandle::parse("<< /XObject << >> >>");
  resources.getKey("/XObject").replaceKey("/F", form);
  resources.getKey("/XObject").replaceKey("/Im", image);
  // The form draws in the caller's colour, under its own matrix, once.
  EXPECT_EQ(Drawn("1 0 0 RG /F Do q 20 0 0 10 30 40 cm /Im Do Q /Missing Do", resources),
            (std::vector<std::string>{"draw: path 0 0 10 0 pen #FF0000 2", "draw: image 30 40 50 40 50 50 30 50 pen #000000 1"}));
}

TEST_F(AppearanceDrawTest, AnAnnotationsFormIsFittedToItsRectangle) {
  QPDFObjectHandle on = Stream("<< /Subtype /Form /BBox [0 0 50 25] >>", "1 0 0 RG 0 0 50 25 re S");
  QPDFObjectHandle off = Stream("<< /Subtype /Form /BBox [0 0 10 10] >>", "0 0 1 RG 0 0 m 10 10 l S");
  QPDFObjectHandle annot = QPDFObjectHandle::parse("<< /Rect [100 150 200 100] /AP << /N << >> >> >>");
  annot.getKey("/AP").getKey("/N").replaceKey("/On", on);
  annot.getKey("/AP").getKey("/N").replaceKey("/Off", off);
  // Page to device: y flipped on a page 800 high.
  const KS_Matrix view{1, 0, 0, -1, 0, 800};
  struct Case {
    const char* state;
    bool drawn;
    std::vector<std::string> lines;
  } cases[] = {
      {"/On", true, {"draw: path 100 700 200 700 200 650 100 650 closed pen #FF0000 2"}},
      {"/Off", true, {"draw: path 100 700 200 650 pen #0000FF 7"}},
      {"/Gone", false, {}},
  };
  for (const Case& c : cases) {
    annot.replaceKey("/AS", QPDFObjectHandle::newName(c.state));
    KA_Device device = NewDevice();
    EXPECT_EQ(appearance::DrawAnnotAppearance(device, annot, view), c.drawn) << c.state;
    EXPECT_EQ(Lines(device), c.lines) << c.state;
    ReleaseDevice(device);
  }
}

TEST_F(AppearanceDrawTest, NoFormToDrawIsAnswered) {
  const char* annots[] = {
      "<< /Rect [0 0 10 10] >>",
      "<< /Rect [0 0 10 10] /AP << /N /REFID_0f3c >> >>",   // a stored tool's resource never made real
      "<< /Rect [0 0 10 10] /AP << /N 7 >> >>",
      "<< /AP << /N null >> >>",
  };
  for (const char* text : annots) {
    KA_Device device = NewDevice();
    EXPECT_FALSE(appearance::DrawAnnotAppearance(device, QPDFObjectHandle::parse(text), kIdentity)) << text;
    EXPECT_TRUE(device->items.empty()) << text;
    ReleaseDevice(device);
  }
  // A flat box or rectangle has nothing to fit.
  for (const char* box : {"[0 0 0 10]", "[0 0 10]"}) {
    QPDFObjectHandle annot = QPDFObjectHandle::parse("<< /Rect [0 0 10 10] /AP << >> >>");
    annot.getKey("/AP").replaceKey("/N", Stream(std::string("<< /Subtype /Form /BBox ") + box + " >>", "0 0 m 9 9 l S"));
    KA_Device device = NewDevice();
    EXPECT_FALSE(appearance::DrawAnnotAppearance(device, annot, kIdentity)) << box;
    ReleaseDevice(device);
  }
}

}  // namespace
}  // namespace kshost
