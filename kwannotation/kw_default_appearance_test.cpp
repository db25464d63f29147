// /DA and /DS strings, read and written through the real host's tokenizer.
#include "kwannotation/kw_default_appearance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/core_hft.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {
namespace {

class DefaultAppearance : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ks::host::Bind(kshost::CoreHFT(), nullptr); }
};

TEST_F(DefaultAppearance, ReadsFontAndColoursWithTheirFlags) {
  DefaultAppearanceInfo info = CDA_DefaultAppearance("/Helv 12 Tf 0 g").GetInfo();
  EXPECT_EQ(info.flags, uint32_t(kDA_Font | kDA_FillColor));
  EXPECT_EQ(info.fontName, "Helv");
  EXPECT_EQ(info.fontSize, 12);
  EXPECT_EQ(info.fillColor.kind, KPD_COLOR_GRAY);
  EXPECT_EQ(info.fillColor.c[0], 0);

  // The last Tf wins; the fill colour is looked for as g, rg, k in turn.
  info = CDA_DefaultAppearance("/F1 9 Tf 1 0 0 rg /F2 10.5 Tf 0.1 0.2 0.3 0.4 K 0.5 G").GetInfo();
  EXPECT_EQ(info.fontName, "F2");
  EXPECT_FLOAT_EQ(info.fontSize, 10.5f);
  EXPECT_EQ(info.fillColor.kind, KPD_COLOR_RGB);
  EXPECT_EQ(info.fillColor.c[0], 1);
  EXPECT_EQ(info.strokeColor.kind, KPD_COLOR_GRAY);  // G is tried before K
  EXPECT_FLOAT_EQ(info.strokeColor.c[0], 0.5f);
  EXPECT_EQ(info.flags, uint32_t(kDA_Font | kDA_FillColor | kDA_StrokeColor));

  info = CDA_DefaultAppearance("1 0 0 1 5 6 Tm 14 Tl 0.5 Tc 80 Tz 0 0 0 1 k").GetInfo();
  EXPECT_EQ(info.flags, uint32_t(kDA_TextMatrix | kDA_Leading | kDA_CharSpacing | kDA_HorzScaling | kDA_FillColor));
  EXPECT_EQ(info.textMatrix.e, 5);
  EXPECT_EQ(info.textMatrix.f, 6);
  EXPECT_EQ(info.leading, 14);
  EXPECT_EQ(info.charSpacing, 0.5f);
  EXPECT_EQ(info.horzScaling, 80);
  EXPECT_EQ(info.fillColor.kind, KPD_COLOR_CMYK);
  EXPECT_EQ(info.fillColor.c[3], 1);
  EXPECT_EQ(CDA_DefaultAppearance("12 TL").GetInfo().leading, 12);  // the standard operator
  // An odd "Tl" is leading too, and is written back as "TL".
  CDA_DefaultAppearance odd("9 Tl");
  odd.SetInfo(odd.GetInfo());
  EXPECT_EQ(odd.GetText(), "9 TL");
}

TEST_F(DefaultAppearance, MissingOrMalformedPartsStayClear) {
  const char* cases[] = {"", "0 g", "12 /Helv Tf 0 g", "/Helv Tf 0 g", "/Helv 1 2 Tf 0 g", "[/Helv 12 Tf 0 g"};
  for (const char* text : cases) {
    DefaultAppearanceInfo info = CDA_DefaultAppearance(text).GetInfo();
    EXPECT_EQ(info.flags & kDA_Font, 0u) << text;
    EXPECT_EQ(info.fontName, "") << text;
    EXPECT_EQ(info.fontSize, 0) << text;
    EXPECT_EQ(info.horzScaling, 100) << text;
  }
}

TEST_F(DefaultAppearance, RewritesInPlaceAndAppendsWhatIsMissing) {
  CDA_DefaultAppearance da("q /Helv 12 Tf 0 g BT 2 Tc ET");
  da.SetFont("TiBo", 10.5f);
  da.SetFillColor(KPD_ColorF{KPD_COLOR_RGB, {1, 0.5f, 0, 0}});
  EXPECT_EQ(da.GetText(), "q /TiBo 10.5 Tf 1 0.5 0 rg BT 2 Tc ET");

  DefaultAppearanceInfo info;
  info.flags = kDA_StrokeColor | kDA_HorzScaling | kDA_CharSpacing | kDA_TextMatrix;
  info.strokeColor = KPD_ColorF{KPD_COLOR_GRAY, {0.25f, 0, 0, 0}};
  info.charSpacing = -0.00001f;  // rounds to zero, written without a sign
  info.horzScaling = 90;
  info.textMatrix = KS_Matrix{1, 0, 0, 1, 12.125f, -3};
  da.SetInfo(info);
  EXPECT_EQ(da.GetText(), "q /TiBo 10.5 Tf 1 0.5 0 rg BT 0 Tc ET 0.25 G 1 0 0 1 12.125 -3 Tm 90 Tz");

  CDA_DefaultAppearance empty;
  empty.SetFont("He Bo", 9);  // a name that needs escaping
  info = {};
  info.flags = kDA_FillColor | kDA_Leading;
  info.fillColor = KPD_ColorF{KPD_COLOR_CMYK, {0, 0, 0, std::numeric_limits<float>::quiet_NaN()}};
  info.leading = 11;
  empty.SetInfo(info);
  EXPECT_EQ(empty.GetText(), "/He#20Bo 9 Tf 0 0 0 0 k 11 TL");
  std::string name;
  float size = 0;
  ASSERT_TRUE(empty.GetFont(&name, &size));
  EXPECT_EQ(name, "He Bo");

  // The last of two Tf is the one rewritten; a standard TL stays TL.
  CDA_DefaultAppearance two("/A 1 Tf 3 TL /B 2 Tf");
  two.SetFont("C", 4);
  info = {};
  info.flags = kDA_Leading;
  info.leading = 5;
  two.SetInfo(info);
  EXPECT_EQ(two.GetText(), "/A 1 Tf 5 TL /C 4 Tf");
}

// A rewritten instruction whose first operand followed a name or an operator
// with no blank between must still be a separate token, so that it reads
// back; after a delimiter nothing is added.
TEST_F(DefaultAppearance, RewrittenInstructionDoesNotJoinTheTokenBefore) {
  struct Case {
    const char* da;
    const char* written;
  } const cases[] = {
      {"/Co 0 5 20 T/N TL", "/Co 0 5 20 T 0 TL"},
      {"BT/Z Tc", "BT 0 Tc"},
      {"1 RG/G g 9 Tz", "1 RG 0 g 9 Tz"},
      {"BT/Helv 12 Tf", "BT/Helv 12 Tf"},
      {"1 RG]/N TL", "1 RG]0 TL"},
  };
  for (const Case& c : cases) {
    CDA_DefaultAppearance da(c.da);
    const DefaultAppearanceInfo info = da.GetInfo();
    da.SetInfo(info);
    EXPECT_EQ(da.GetText(), c.written) << c.da;
    EXPECT_EQ(da.GetInfo().flags, info.flags) << c.da;
  }
}

TEST_F(DefaultAppearance, FontResourceNamesAndSubstituteFamilies) {
  const std::pair<const char*, const char*> names[] = {
      {"Helvetica-Bold", "HeBo"},       {"Times-BoldItalic", "TiBI"},   {"Helvetica-BoldOblique", "HeBO"},
      {"Courier-Oblique", "CoOb"},      {"Times-Italic", "TiIt"},       {"Courier", "Cour"},
      {"ZapfDingbats", "ZaDb"},         {"Symbol", "Symb"},             {"Ab", "Ab"},
  };
  for (const auto& [base, resource] : names) EXPECT_EQ(FontResourceName(base), resource) << base;

  const std::pair<const char*, const char*> families[] = {
      {"VenkoSansOTF", "Helvetica"},
      {"VenkoSansOTF-Bold", "Helvetica-Bold"},
      {"VenkoFixedOTF,Italic", "Courier,Italic"},
      {"Arial", "Arial"},
  };
  for (const auto& [family, normal] : families) EXPECT_EQ(NormalizeFontFamily(family), normal) << family;
}

TEST_F(DefaultAppearance, StyleFontShorthand) {
  const struct {
    const char16_t* ds;
    const char16_t* family;
    float size;
    bool bold, italic;
  } cases[] = {
      {u"font: 'Times New Roman' bold 10.5pt", u"Times New Roman", 10.5f, true, false},
      {u"color:#000000; font: italic Helvetica,sans-serif 12.0pt ", u"Helvetica,sans-serif", 12, false, true},
      {u"font:Times New Roman 9pt", u"Times New Roman", 9, false, false},
      {u"font: Arial 12px", u"Arial 12px", 0, false, false},  // only points are a size
      {u"font: Arial .5pt", u"Arial .5pt", 0, false, false},
      // As other producers write it: keywords, a line height after the
      // size, a family in double quotes.
      {u"font: normal normal normal 16pt/normal Helvetica;color:#800080", u"Helvetica", 16, false, false},
      {u"font: oblique small-caps 700 14.5pt/1.2 \"Helvetica Neue\"", u"Helvetica Neue", 14.5f, true, true},
      {u"font: 400 lighter 8pt Courier", u"Courier", 8, false, false},
  };
  for (const auto& c : cases) {
    DefaultStyleFont font;
    ASSERT_TRUE(CDS_DefaultAppearance(c.ds).GetFont(&font));
    EXPECT_EQ(font.family, c.family);
    EXPECT_FLOAT_EQ(font.size, c.size);
    EXPECT_EQ(font.bold, c.bold);
    EXPECT_EQ(font.italic, c.italic);
  }
  DefaultStyleFont font;
  EXPECT_FALSE(CDS_DefaultAppearance(u"color:#FF0000").GetFont(&font));

  CDS_DefaultAppearance ds(u"text-align:left");
  ds.SetFont(DefaultStyleFont{u"Times New Roman", 10.5f, true, false});
  EXPECT_EQ(ds.GetText(), u"text-align:left;font:bold 10.5pt 'Times New Roman'");
  ASSERT_TRUE(ds.GetFont(&font));
  EXPECT_EQ(font.family, u"Times New Roman");
}

TEST_F(DefaultAppearance, StyleColorIsHashAndSixHexDigits) {
  const struct {
    KPD_ColorF color;
    const char16_t* text;
  } cases[] = {
      {{KPD_COLOR_RGB, {1, 0.5f, 0, 0}}, u"#FF8000"},
      {{KPD_COLOR_GRAY, {0.5f, 0, 0, 0}}, u"#808080"},
      {{KPD_COLOR_CMYK, {0, 0, 0, 1}}, u"#000000"},
      {{KPD_COLOR_CMYK, {1, 0, 0, 0}}, u"#00FFFF"},
      {{KPD_COLOR_RGB, {2, -1, std::numeric_limits<float>::quiet_NaN(), 0}}, u"#FF0000"},
      {{KPD_COLOR_RGB, {0.998f, 0.002f, 0.0019f, 0}}, u"#FE0100"},  // times 255 plus a half, truncated
  };
  for (const auto& c : cases) {
    CDS_DefaultAppearance ds;
    ds.SetColor(c.color);
    EXPECT_EQ(ds.GetText(), std::u16string(u"color:") + c.text);
  }

  // The colour is replaced where it stands; the other declarations keep order.
  CDS_DefaultAppearance ds(u"font: Helvetica 12pt; color:#000000; text-align:left;");
  ds.SetColor(KPD_ColorF{KPD_COLOR_RGB, {1, 0.5f, 0, 0}});
  EXPECT_EQ(ds.GetText(), u"font:Helvetica 12pt;color:#FF8000;text-align:left");
  KPD_ColorF color{};
  ASSERT_TRUE(ds.GetColor(&color));
  EXPECT_EQ(color.kind, KPD_COLOR_RGB);
  EXPECT_FLOAT_EQ(color.c[1], 128.0f / 255.0f);
  EXPECT_FALSE(CDS_DefaultAppearance(u"color:#12345").GetColor(&color));
  EXPECT_FALSE(CDS_DefaultAppearance(u"color:#12345G").GetColor(&color));
  EXPECT_FALSE(CDS_DefaultAppearance(u"font:Arial").GetColor(&color));
}

}  // namespace
}  // namespace kwannotation
