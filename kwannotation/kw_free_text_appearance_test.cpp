// Free-text appearances against the real host: what each kind draws around
// its text, the callout geometry, and input no drawing can use.
#include "kwannotation/kw_free_text_appearance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_test_support.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_page_annot_list.h"

namespace kwannotation {
namespace {

namespace host = ks::host;

class FreeText : public test::AppearanceTest {
 protected:
  // Rebuilds a free text through the appearance-kind table, as `annot
  // regenerate` does.
  KPD_Dictionary Rebuild(KPD_Dictionary d) {
    std::string kind, why;
    ShapeAppearanceFn fn = AppearanceFor(d, &kind);
    EXPECT_EQ(kind, "FreeText");
    EXPECT_TRUE(fn && fn(d, &why, ShapeAppearanceOptions{})) << Value(d, "/Contents") << ": " << why;
    return d;
  }
  KPD_Dictionary RebuiltFrom(const std::string& text) { return Rebuild(Add(text)); }
  KPD_Dictionary Rebuilt(const std::string& extra) {
    return RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] /Contents (Check this) "
                       "/DA (/Helv 12 Tf 0 0 1 rg) " + extra + " >>");
  }
  // The content drawn for a free text with a border 1 wide in 12-point
  // Helvetica, in the box `rect`, with the keys `rest`.
  std::string Boxed(const std::string& rect, const std::string& rest) {
    return Content(RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [" + rect +
                               "] /BS << /W 1 >> /DA (/Helv 12 Tf 0 g) " + rest + " >>"));
  }
  static std::vector<float> Numbers(KPD_Dictionary d, const char* key) {
    std::vector<float> v;
    dict::GetNumbers(d, key, &v);
    return v;
  }
};

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

TEST_F(FreeText, TextBoxBorderFillAndTextGroup) {
  // No border and no fill: only the text group, clipped before the text.
  std::string c = Content(Rebuilt("/BS << /W 0 >>"));
  EXPECT_EQ(c.rfind("q\n/Tx BMC\n100.000000 100.000000 200.000000 100.000000 re\nW\nn\n", 0), 0u) << c;
  EXPECT_TRUE(Has(c, "W\nn\n1.000 0.000 0.000 1.000 102.000 198.000 cm\nBT\n")) << c;
  EXPECT_TRUE(Has(c, "ET\nEMC\nQ\n")) << c;
  EXPECT_FALSE(Has(c, " re S\n"));
  EXPECT_FALSE(Has(c, " re f\n"));

  // A fill, and a border 2 wide: drawn half its width inside the box, in
  // the /DA colour; a one-value dash array has its value twice.
  c = Content(Rebuilt("/C [1 1 0] /BS << /W 2 /S /D /D [4] >>"));
  EXPECT_TRUE(Has(c, "1.000 1.000 0.000 rg\n100.000000 100.000000 200.000000 100.000000 re f\n")) << c;
  EXPECT_TRUE(Has(c, "2.000000 w\n[4.000000 4.000000] 0 d\n101.000000 101.000000 198.000000 98.000000 re S\n"))
      << c;
  EXPECT_TRUE(Has(c, "0.000 0.000 1.000 RG\n2.000000 w")) << c;
  // The text is clipped to the inside of the border.
  EXPECT_TRUE(Has(c, "/Tx BMC\n102.000000 102.000000 196.000000 96.000000 re\nW\nn\n")) << c;
  EXPECT_LT(c.find("W\nn\n"), c.find("BT\n"));

  // A turned text starts at the corner its top left turns to: a quarter
  // turn counter-clockwise reads upwards from the bottom left. Turns
  // between quarters are drawn at their angle.
  struct Turn {
    const char* rotate;
    const char* frame;
  } turns[] = {
      {"/Rotate 90", "0.000 1.000 -1.000 0.000 102.000 102.000 cm\n"},
      {"/Rotate 180", "-1.000 0.000 0.000 -1.000 298.000 102.000 cm\n"},
      {"/Rotate -90", "0.000 -1.000 1.000 0.000 298.000 198.000 cm\n"},
      {"/Rotate 45", "0.707 0.707 -0.707 0.707 "},
      {"/Rotate -30", "0.866 -0.500 0.500 0.866 "},
  };
  for (const Turn& t : turns)
    EXPECT_TRUE(Has(Content(Rebuilt(std::string("/BS << /W 0 >> ") + t.rotate)), t.frame)) << t.rotate;

  // A cloud of intensity 0 is a plain border.
  c = Content(Rebuilt("/BS << /W 1 /S /C >> /BE << /S /C /I 0 >>"));
  EXPECT_TRUE(Has(c, " re S\n")) << c;
  EXPECT_FALSE(Has(c, " c\n"));
  // With an intensity the border is a ring of curves around the box.
  KPD_Dictionary cloudy = Rebuilt("/BS << /W 1 /S /C >> /BE << /S /C /I 1 >>");
  c = Content(cloudy);
  EXPECT_TRUE(Has(c, " c\n")) << c;
  EXPECT_TRUE(Has(c, "S\nQ\nq\n/Tx BMC\n")) << c;
}

// Typing goes on after the last letter: "ab" in 12-point Helvetica is
// (556 + 556) / 1000 em wide, from the text area's left edge at 102 (no
// border, 2 of padding); after a line break, at the edge a line lower;
// with no text, where the first letter goes, under the area's top at 198.
TEST_F(FreeText, TheCaretStandsWhereTheNextLetterGoes) {
  auto list = CKW_PageAnnotList::Create(doc_, 0);
  auto caret = [&](const std::string& contents) {
    KPD_Dictionary d = Add("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] /BS << /W 0 >> " + contents +
                           " /DA (/Helv 12 Tf 0 g) >>");
    std::pair<KS_FloatPoint, KS_FloatPoint> c{};
    EXPECT_TRUE(FreeTextCaret(*list->GetAnnot(d)->GetImpl(), &c.first, &c.second)) << contents;
    return c;
  };
  const auto [foot, head] = caret("/Contents (ab)");
  EXPECT_NEAR(foot.x, 102 + 1.112 * 12, 0.01);
  EXPECT_EQ(head.x, foot.x);
  EXPECT_LT(head.y, 198.01);
  EXPECT_NEAR(head.y - foot.y, 12, 1.5);  // the line's ascent to its descent

  const auto [nextFoot, nextHead] = caret("/Contents (ab\\n)");
  EXPECT_NEAR(nextFoot.x, 102, 0.01);
  EXPECT_NEAR(foot.y - nextFoot.y, 1.15 * (head.y - foot.y), 0.01);

  const auto [firstFoot, firstHead] = caret("");
  EXPECT_NEAR(firstFoot.x, 102, 0.01);
  EXPECT_NEAR(firstHead.y, 198, 0.01);
  EXPECT_NEAR(firstHead.y - firstFoot.y, 12, 0.01);
}

TEST_F(FreeText, OpacityFontsAndTheDefaultStyle) {
  KPD_Dictionary d = Rebuilt("/CA 0.5");
  const std::string c = Content(d);
  EXPECT_EQ(c.rfind("/VistrelFreetext gs\n", 0), 0u) << c;
  EXPECT_TRUE(Has(Value(Resources(d), "/ExtGState"), "/VistrelFreetext")) << Value(Resources(d), "/ExtGState");
  EXPECT_NE(Value(Resources(d), "/Font"), "<absent>");
  // /DS is written from /DA when missing, in its fixed form.
  EXPECT_EQ(Value(d, "/DS"), "(font: 'Helvetica',sans-serif 12.00pt;color:#0000FF)");
  // An existing one is kept.
  d = Rebuilt("/DS (font: Times 9pt)");
  EXPECT_EQ(Value(d, "/DS"), "(font: Times 9pt)");
  EXPECT_FALSE(Has(Content(Rebuilt("")), "gs\n"));

  EXPECT_EQ(DefaultStyleFromAppearance("", 10.5f, KPD_ColorF{KPD_COLOR_GRAY, {0.5f, 0, 0, 0}}),
            u"font: 'Helvetica',sans-serif 10.50pt;color:#808080");
  EXPECT_EQ(FamilyOfFontResource("TiBo"), "Times");
  EXPECT_EQ(FamilyOfFontResource("Cour"), "Courier");
  EXPECT_EQ(FamilyOfFontResource("F1"), "Helvetica");
}

// Free texts as other programs write them.
using ProducerFreeText = FreeText;

// Helvetica's AFM widths of "Hello World from Acrobat" add up to 11169/1000
// em: 134.028 pt at 12 pt. With the border 1 and 2 pt of padding on each
// side the box is 140.028 wide; written to hundredths it lost 0.008.
TEST_F(ProducerFreeText, ABoxSizedToItsTextKeepsItOnOneLine) {
  const std::string acrobat = "/Contents (Hello World from Acrobat)";
  std::string c = Boxed("100 100 240.02 120", acrobat);
  EXPECT_TRUE(Has(c, "(Hello World from Acrobat) Tj")) << c;
  // A word that does not fit by more than the slack still wraps, in a box
  // that holds two lines.
  c = Boxed("100 100 238 140", acrobat);
  EXPECT_TRUE(Has(c, "(Hello World from) Tj")) << c;
  EXPECT_TRUE(Has(c, "(Acrobat) Tj")) << c;
  // In a box one line high the second line would be lost below it; the
  // line reaches into the padding, to the border (1 + 134.028 + 1 < 138),
  // instead.
  c = Boxed("100 100 238 120", acrobat);
  EXPECT_TRUE(Has(c, "(Hello World from Acrobat) Tj")) << c;
}

// The six numbers before the first `op` line after `from`.
std::vector<double> Matrix(const std::string& c, const std::string& op, size_t from = 0) {
  const size_t at = c.find(" " + op + "\n", from);
  if (at == std::string::npos) return {};
  const size_t start = c.rfind('\n', at);
  std::vector<double> v;
  std::istringstream in(c.substr(start == std::string::npos ? 0 : start + 1, at - start));
  for (double x; in >> x;) v.push_back(x);
  return v.size() == 6 ? v : std::vector<double>{};
}

int Count(const std::string& c, const std::string& part) {
  int n = 0;
  for (size_t at = c.find(part); at != std::string::npos; at = c.find(part, at + 1)) ++n;
  return n;
}

// Typewriter boxes are the text's own extent: "Hello World from Acrobat"
// is 134.028 pt wide at 12 pt (Helvetica's AFM widths add up to 11169/1000
// em), and a 12 pt box holds a line whose descender (207/1000 em, 2.484 pt)
// ends above the bottom only when the first line starts at the top.
TEST_F(ProducerFreeText, TypewriterTextFillsItsBoxToTheEdges) {
  const std::string c =
      Content(RebuiltFrom("<< /Type /Annot /Subtype /FreeText /IT /FreeTextTypewriter /Rect [100 100 234.03 112] "
                          "/DA (/Helv 12 Tf 0 g) /Contents (Hello World from Acrobat) >>"));
  EXPECT_TRUE(Has(c, "(Hello World from Acrobat) Tj")) << c;
  const auto frame = Matrix(c, "cm", c.find("/Tx BMC"));
  const auto line = Matrix(c, "Tm", c.find("BT\n"));
  ASSERT_EQ(frame.size(), 6u) << c;
  ASSERT_EQ(line.size(), 6u) << c;
  EXPECT_GE(frame[4], 100.0) << c;
  EXPECT_LE(frame[4], 100.5) << c;
  const double baseline = frame[5] + line[5];
  EXPECT_GE(baseline - 12 * 0.207, 100.0) << c;
  EXPECT_LE(baseline + 12 * 0.718, 112.0) << c;  // the capitals stay inside too
}

// "Hello" is 2278/1000 em in Helvetica (H 722, e 556, l 222, l 222, o 556):
// 27.336 pt at 12 pt. The box 100..200 with a border 1 and 2 pt of padding
// leaves 103..197 for the text.
TEST_F(ProducerFreeText, RightAlignedAndCentredLinesKeepToThePadding) {
  struct Case {
    const char* q;
    double left;  // where the line starts on the page
  } cases[] = {{"2", 197 - 27.336}, {"1", 103 + (94 - 27.336) / 2}, {"0", 103}};
  for (const Case& k : cases) {
    const std::string c = Boxed("100 100 200 120", std::string("/Contents (Hello) /Q ") + k.q);
    const auto frame = Matrix(c, "cm", c.find("/Tx BMC"));
    const auto line = Matrix(c, "Tm", c.find("BT\n"));
    ASSERT_EQ(frame.size(), 6u) << c;
    ASSERT_EQ(line.size(), 6u) << c;
    EXPECT_NEAR(frame[4] + frame[0] * line[4], k.left, 0.01) << "/Q " << k.q << ": " << c;
  }
}

// A box sized to a line in a narrower font than ours: the line would wrap
// and its second half fall below the box. "Hello World from Acrobat" is
// 134.028 pt at 12 pt; the box leaves 114 pt for it, 118 to the border, and
// holds one line. The text is condensed to 114 / 134.028 across and stays
// one line, on the box's first line.
TEST_F(ProducerFreeText, TextTheBoxCannotHoldIsCondensedToKeepEveryLine) {
  const std::string text = "/Contents (Hello World from Acrobat)";
  const std::string c = Boxed("100 100 220 120", text);
  EXPECT_TRUE(Has(c, "(Hello World from Acrobat) Tj")) << c;
  EXPECT_EQ(Count(c, " Tm\n"), 1) << c;
  const auto frame = Matrix(c, "cm", c.find("/Tx BMC"));
  const auto line = Matrix(c, "Tm", c.find("BT\n"));
  ASSERT_EQ(frame.size(), 6u) << c;
  ASSERT_EQ(line.size(), 6u) << c;
  EXPECT_NEAR(frame[0], 114 / 134.028, 0.0015) << c;
  EXPECT_EQ(frame[3], 1.0) << "the text keeps its height: " << c;
  EXPECT_EQ(frame[4], 103.0) << c;
  const double baseline = frame[5] + line[5];
  EXPECT_GE(baseline - 12 * 0.207, 100.0) << c;
  // Text that would need more than a quarter less width keeps its size and
  // wraps; what the box cannot hold is clipped.
  const std::string wraps = Boxed("100 100 180 120", text);
  EXPECT_TRUE(Has(wraps, "1.000 0.000 0.000 1.000 103.000 117.000 cm")) << wraps;
  EXPECT_GT(Count(wraps, " Tm\n"), 1) << wraps;
  // Line breaks at the end of the text (Okular writes one) and an empty
  // last paragraph draw nothing and do not count: the two lines of text
  // fit the box at their own width.
  for (const char* tail : {"/Contents (Hello World from Okular\\n)",
                           "/Contents (Hello World from Okular) /RC (<?xml version=\"1.0\"?><body><p>Hello World "
                           "from Okular</p><p></p></body>)"}) {
    const std::string two = Boxed("100 100 220 136", tail);
    EXPECT_TRUE(Has(two, "1.000 0.000 0.000 1.000 103.000 133.000 cm")) << tail << ": " << two;
    EXPECT_EQ(Count(two, " Tm\n"), 2) << tail << ": " << two;
  }
  // A turned box condenses along its lines, which run up the page.
  const std::string turned = Boxed("100 100 120 220", "/Rotate 90 " + text);
  const auto up = Matrix(turned, "cm", turned.find("/Tx BMC"));
  ASSERT_EQ(up.size(), 6u) << turned;
  EXPECT_EQ(up[0], 0.0) << turned;
  EXPECT_NEAR(up[1], 114 / 134.028, 0.0015) << turned;
  EXPECT_EQ(up[2], -1.0) << turned;
}

// What the first rebuild writes (/DS from /DA, a callout's /Rect and /RD
// rounded as written) draws the same again: a colour within 1/255 of the
// /DA colour, a box read back from rounded numbers.
TEST_F(ProducerFreeText, RebuildingAgainChangesNothing) {
  const char* annots[] = {
      "<< /Type /Annot /Subtype /FreeText /Rect [294 550 452.9 607.7] /Border [0 0 0] "
      "/DA (/Helv 38 Tf 0.12 0.12 0.76 rg) /Contents <FEFF06450631062D0628062700200628062706440639062706440645> >>",
      "<< /Type /Annot /Subtype /FreeText /IT /FreeTextCallout /Rect [105.63986 539.6411 171.59882 575.6411] "
      "/RD [31.917883 0 0 0] /CL [212.24744 704.70046 231.19762 699.76559 243.19762 699.76559] /LE /OpenArrow "
      "/C [1 1 1] /DA (1 0 0 rg) /Contents (explanation text) >>",
      "<< /Type /Annot /Subtype /FreeText /Rect [100.123 100.456 220.789 136.012] /BE << /S /C /I 1 >> "
      "/BS << /W 1 /S /C >> /DA (/Helv 12 Tf 0.3 0.6 0.1 rg) /Contents (Hello World from Okular\n) >>",
  };
  for (const char* text : annots) {
    KPD_Dictionary d = RebuiltFrom(text);
    const std::string first = Content(d), rect = Value(d, "/Rect"), rd = Value(d, "/RD");
    Rebuild(d);
    EXPECT_EQ(Content(d), first) << text;
    EXPECT_EQ(Value(d, "/Rect"), rect) << text;
    EXPECT_EQ(Value(d, "/RD"), rd) << text;
  }
}

// Without /Contents or text in /RC the words exist only in the producer's
// drawing; regenerating keeps it rather than draw an empty box.
TEST_F(ProducerFreeText, WithoutTextOfItsOwnTheProducersDrawingStays) {
  const std::string drawn = "q 0 0 1 RG 0 0 20 10 re S BT /Helv 10 Tf 2 3 Td (Hello World) Tj ET Q";
  const std::string body = "(<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\"><p></p></body>)";
  for (const std::string& text : {std::string(), std::string("/Contents ()"), "/RC " + body}) {
    KPD_Dictionary d = Add("<< /Type /Annot /Subtype /FreeText /Rect [100 100 160 118] /DA (/Helv 10 Tf 0 g) " +
                           text + " /AP << >> >>");
    KPD_Stream old = host::DocNewStream(doc_, drawn.data(), drawn.size());
    host::DictSet(host::DictGet(d, "/AP"), "/N", old);
    Rebuild(d);
    EXPECT_TRUE(host::ObjectIsIdentical(Normal(d), old)) << text;
    EXPECT_EQ(Content(d), drawn) << text;
  }
  // Words of its own are drawn anew; so is a free text without any
  // appearance.
  KPD_Dictionary d = RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [100 100 160 118] /DA (/Helv 10 Tf 0 g) "
                                 "/Contents (Hi) /AP << /N << >> >> >>");
  EXPECT_TRUE(Has(Content(d), "(Hi) Tj")) << Content(d);
  d = RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [100 100 160 118] /DA (/Helv 10 Tf 0 g) >>");
  EXPECT_TRUE(Has(Content(d), "/Tx BMC")) << Content(d);
}

TEST_F(FreeText, DrawnTextSizeFollowsTheMatrices) {
  struct Case {
    const char* content;
    float size;
  } cases[] = {
      {"BT /Helv 10 Tf 2 3 Td (a) Tj ET", 10},
      // Preview: a flipped current matrix and the size in the text matrix.
      {"q 1 0 0 -1 -295.78 609.9 cm BT 22.00539 0 0 -22.00539 297.96 602.77 Tm /TT1 1 Tf (H) Tj ET Q", 22.00539f},
      {"2 0 0 2 0 0 cm BT /F1 5 Tf [(x) -20 (y)] TJ ET", 10},
      {"q 2 0 0 2 0 0 cm Q BT /F1 5 Tf (x) ' ET", 5},  // Q takes the scale back
      {"BT 0 1 -1 0 0 0 Tm /F1 8 Tf (turned) Tj ET", 8},
      {"BT /F1 10 Tf (a) Tj /F1 14 Tf (b) Tj ET", 0},  // two sizes
      {"BT /F1 10 Tf ET 0 0 5 5 re f", 0},             // no text
      {"BT /F1 1e30 Tf (a) Tj ET", 0},
      {"BT /F1 10 Tf 1 0 0 1e400 0 0 Tm (a) Tj ET", 10},  // a matrix that does not read is left out
      {"BT (a) Tj ET", 0},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_NEAR(DrawnTextSize(c.content), c.size, 1e-3) << c.content;
}

// Preview writes 12 pt in /DA whatever size the text is and draws it at
// the size chosen; it writes no /DS or /RC.
TEST_F(ProducerFreeText, TheSizeADrawingShowsReplacesADifferentDefaultAppearanceSize) {
  const std::string drawn = "q 1 0 0 -1 -295.78 609.9 cm BT 22.00539 0 0 -22.00539 297.96 602.77 Tm /TT1 1 Tf (H) Tj ET Q";
  auto add = [&](const std::string& extra, const std::string& box) {
    KPD_Dictionary d = Add("<< /Type /Annot /Subtype /FreeText /Rect [295.78 579.65 315.93 609.9] "
                           "/DA (//Helvetica 12 Tf 0 g) /Contents (H) " + extra + " /AP << >> >>");
    KPD_Stream old = host::DocNewStream(doc_, drawn.data(), drawn.size());
    KPD_Object bbox = host::ObjectParse(box.data(), box.size());
    host::DictSet(host::StreamGetDict(old), "/BBox", bbox);
    host::ObjectRelease(bbox);
    host::DictSet(host::DictGet(d, "/AP"), "/N", old);
    return Rebuild(d);
  };
  KPD_Dictionary d = add("", "[0 0 20.1486 30.257]");
  EXPECT_TRUE(Has(Value(d, "/DA"), " 22.01 Tf")) << Value(d, "/DA");
  EXPECT_TRUE(Has(Content(d), " 22.010 Tf")) << Content(d);
  EXPECT_TRUE(Has(Value(d, "/DS"), " 22.01pt")) << Value(d, "/DS");
  // A style of its own, or a drawing scaled into /Rect, says nothing about
  // the size.
  for (const auto& [extra, box] : {std::pair<std::string, std::string>{"/DS (font: Helvetica 12pt)", "[0 0 20.1486 30.257]"},
                                   {"", "[0 0 40.3 60.5]"}}) {
    d = add(extra, box);
    EXPECT_TRUE(Has(Value(d, "/DA"), " 12 Tf")) << Value(d, "/DA");
    EXPECT_TRUE(Has(Content(d), " 12.000 Tf")) << Content(d);
  }
}

TEST_F(ProducerFreeText, SymbolFontsDrawTheirGlyphsAndEveryFontIsInTheDefaultResources) {
  EXPECT_EQ(FamilyOfFontResource("ZaDb"), "ZapfDingbats");
  EXPECT_EQ(FamilyOfFontResource("Symb"), "Symbol");
  KPD_Dictionary d = RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] "
                                 "/DA (/ZaDb 12 Tf 0 g) /Contents (n4) >>");
  std::string c = Content(d);
  EXPECT_TRUE(Has(c, "/KwZapfDingbats 12.000 Tf\n")) << c;
  EXPECT_TRUE(Has(c, "(n4) Tj")) << c;  // the built-in codes of the square and the check mark
  EXPECT_FALSE(Has(c, "/Helv")) << c;
  KPD_Object drFonts = host::DictGet(host::DictGet(d, "/DR"), "/Font");
  EXPECT_TRUE(Has(Value(drFonts, "/KwZapfDingbats"), "/BaseFont /ZapfDingbats")) << Value(d, "/DR");
  // The /DA name reaches the same font.
  EXPECT_EQ(Value(drFonts, "/ZaDb"), Value(drFonts, "/KwZapfDingbats"));
  d = RebuiltFrom("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] /DA (/Symb 12 Tf 0 g) "
                  "/DR << /Font << /F9 << /Type /Font /Subtype /Type1 /BaseFont /Courier >> >> >> /Contents (abg) >>");
  EXPECT_TRUE(Has(Content(d), "/KwSymbol 12.000 Tf\n")) << Content(d);
  // What /DR held stays beside the fonts added.
  const std::string fonts = Value(host::DictGet(d, "/DR"), "/Font");
  EXPECT_TRUE(Has(fonts, "/KwSymbol")) << fonts;
  EXPECT_TRUE(Has(fonts, "/F9")) << fonts;
}

// A /C the colour of the text is not a background: it would hide the text.
TEST_F(ProducerFreeText, AFillInTheTextsColourIsNotDrawn) {
  for (const char* c : {"[0 0 0]", "[0]", "[0 0 0 1]"})
    EXPECT_FALSE(Has(Content(RebuiltFrom(std::string("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] "
                                                     "/DA (/Helv 12 Tf 0 g) /Contents (Black) /C ") + c + " >>")),
                     " re f\n")) << c;
}

TEST_F(FreeText, TypewriterBorderIsAtLeastOneWide) {
  std::string c = Content(Rebuilt("/IT /FreeTextTypewriter /BS << /W 0.5 >>"));
  EXPECT_TRUE(Has(c, "1.000000 w\n")) << c;
  EXPECT_TRUE(Has(c, "/Tx BMC\n100.000000 100.000000 200.000000 100.000000 re\nW\nn\n")) << c;
  for (const char* none : {"/IT /FreeTextTypewriter /BS << /W 0 >>", "/IT /FreeTextTypewriter"}) {
    c = Content(Rebuilt(none));
    EXPECT_FALSE(Has(c, " re S")) << none << ": " << c;
    EXPECT_FALSE(Has(c, " w\n")) << none;
  }
  // A typewriter never fills.
  EXPECT_FALSE(Has(Content(Rebuilt("/IT /FreeTextTypewriter /C [1 0 0]")), "re f"));
}

TEST_F(FreeText, CalloutRectCoversLineAndEnding) {
  KPD_Dictionary d = Rebuilt("/IT /FreeTextCallout /CL [40 50 100 150] /LE /OpenArrow /BS << /W 1 >>");
  const std::string c = Content(d);
  // Two points: a move and one line, no knee.
  EXPECT_TRUE(Has(c, "40.000000 50.000000 m\n100.000000 150.000000 l\nS\n")) << c;
  const auto rect = Numbers(d, "/Rect");
  ASSERT_EQ(rect.size(), 4u);
  EXPECT_LT(rect[0], 40.0f - 0.4f);  // the arrow reaches beyond the start point
  EXPECT_LT(rect[1], 50.0f - 0.4f);
  EXPECT_FLOAT_EQ(rect[2], 300.0f);
  EXPECT_FLOAT_EQ(rect[3], 200.0f);
  // /RD brings the new /Rect back to the same text box.
  const auto rd = Numbers(d, "/RD");
  ASSERT_EQ(rd.size(), 4u);
  EXPECT_FLOAT_EQ(rect[0] + rd[0], 100.0f);
  EXPECT_FLOAT_EQ(rect[1] + rd[1], 100.0f);
  EXPECT_EQ(rd[2], 0.0f);
  EXPECT_EQ(rd[3], 0.0f);
  // Rebuilding again finds the same box and keeps the same rectangle.
  Rebuild(d);
  EXPECT_EQ(Numbers(d, "/Rect"), rect);
  EXPECT_EQ(Numbers(d, "/RD"), rd);

  // Three points draw the knee.
  EXPECT_TRUE(Has(Content(Rebuilt("/IT /FreeTextCallout /CL [40 50 60 150 100 150]")),
                  "40.000000 50.000000 m\n60.000000 150.000000 l\n100.000000 150.000000 l\n"));
}

TEST_F(FreeText, InputNoDrawingCanUseGivesATextBoxOrAReason) {
  struct Case {
    const char* extra;
    bool drawn;
  } cases[] = {
      {"/IT /FreeTextCallout /CL [40]", true},  // no callout line, still the box
      {"/IT /FreeTextCallout /CL [1 2 3 4 5 6 7]", true},
      {"/IT /FreeTextCallout /CL [40 50 /NaN 150]", true},
      {"/RC (not xml at all)", true},  // falls back to /Contents
      {"/RC (<body><p></p></body>)", true},  // so does a body without text
      {"/RC (<body><p style=\"font-size:1e40pt;color:#GGG\">big</p></body>)", true},
      {"/RC (<body><p style=\"font-size:-5pt\">negative</p></body>)", true},
      {"/DS (font: Helvetica 99999999999999999999999999999999999999999999pt)", true},
      {"/RD [99 40 99 40]", true},  // a box too small for one character
      {"/Rotate 90", true},
      {"/Rotate 45", true},
      {"/BS << /W 1000000000000 >>", false},
  };
  for (const auto& c : cases) {
    KPD_Dictionary d = Add(std::string("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] "
                                       "/Contents (Check this) /DA (/Helv 12 Tf 0 g) ") +
                           c.extra + " >>");
    std::string reason;
    const bool ok = AppearanceFor(d, nullptr)(d, &reason, ShapeAppearanceOptions{});
    EXPECT_EQ(ok, c.drawn) << c.extra << ": " << reason;
    if (!ok) {
      EXPECT_FALSE(reason.empty());
      continue;
    }
    const std::string content = Content(d);
    const std::string extra = c.extra;
    if (extra == "/RC (not xml at all)" || (extra.rfind("/RC", 0) == 0 && Has(extra, "<p>")))
      EXPECT_TRUE(Has(content, "(Check this)")) << c.extra << ": " << content;
    // Whatever is drawn as text is drawn inside the clip.
    const size_t bt = content.find("BT\n");
    if (bt != std::string::npos) EXPECT_LT(content.find("W\nn\n"), bt) << c.extra;
    EXPECT_EQ(content.find("nan"), std::string::npos) << c.extra;
  }
  // A /Rect that is no rectangle is a reason, not a drawing.
  KPD_Dictionary d = Add("<< /Type /Annot /Subtype /FreeText /Rect [0 1 (x) 4] /Contents (x) >>");
  std::string reason;
  EXPECT_FALSE(AppearanceFor(d, nullptr)(d, &reason, ShapeAppearanceOptions{}));
  EXPECT_FALSE(reason.empty());
}

TEST_F(FreeText, ATenMegabyteBodyIsLaidOutOnlyAsFarAsItCanShow) {
  std::string body = "<body><p>";
  while (body.size() < 10 * 1024 * 1024) body += "<span style=\"font-weight:bold\">word </span>";
  body += "</p></body>";
  KPD_Dictionary d = Add("<< /Type /Annot /Subtype /FreeText /Rect [100 100 300 200] /DA (/Helv 12 Tf 0 g) >>");
  host::DictSet(d, "/RC", test::Owned(host::StringNew(body.data(), body.size())).get());
  std::string reason;
  ASSERT_TRUE(AppearanceFor(d, nullptr)(d, &reason, ShapeAppearanceOptions{})) << reason;
  const std::string c = Content(d);
  EXPECT_LT(c.find("W\nn\n"), c.find("BT\n"));
  EXPECT_TRUE(Has(c, "(word")) << c.substr(0, 400);
}

}  // namespace
}  // namespace kwannotation
