#include "host/font_service.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/host_functions.h"
#include "host/pdf_test_support.h"

namespace direct = kshost::direct;
using kshost::FontService;
using namespace kshost::pdf::test;

namespace {

KA_FontService Service() { return direct::AppGetFontService(); }

float Width(const char* font, std::u16string const& text, float size) {
  return direct::FontTextWidth(Service(), font, text.data(), text.size(), size);
}

std::string Encode(const char* font, std::u16string const& text) {
  Bytes out;
  return direct::FontEncodeText(Service(), font, text.data(), text.size(), out) ? out.text() : "<failed>";
}

}  // namespace

TEST(FontService, WidthsComeFromTheAfmFiles) {
  // Helvetica: H 722, e 556, l 222, o 556; Times-Bold: H 778, o 500, l 278, e 444.
  EXPECT_FLOAT_EQ(Width("Helvetica", u"Hello", 12), 27.336f);
  EXPECT_FLOAT_EQ(Width("/Helvetica", u"Hello", 12), 27.336f);
  EXPECT_FLOAT_EQ(Width("Times-Bold", u"Hole", 10), 20.0f);
  EXPECT_FLOAT_EQ(Width("Courier", u"Wi.", 10), 18);  // fixed pitch, 600 each
  EXPECT_FLOAT_EQ(Width("Helvetica", u"", 12), 0);
  EXPECT_FLOAT_EQ(Width("Helvetica", u"Hello", NAN), 0);
}

TEST(FontService, WinAnsiCharactersUseTheirGlyphNamesNotTheAfmCodes) {
  // The AFM files are in StandardEncoding: code 39 is quoteright (222) and
  // bullet sits at 183. WinAnsi code 39 is quotesingle (191), bullet is 0x95.
  struct Case {
    char16_t c;
    float width;
    const char* bytes;
  } cases[] = {
      {u'\'', 191, "\x27"}, {u'\u2022', 350, "\x95"}, {u'\u20AC', 556, "\x80"},
      {u'\u00E4', 556, "\xE4"}, {u'\u00A0', 278, "\xA0"}, {u'\u2019', 222, "\x92"},
  };
  for (auto const& c : cases) {
    EXPECT_FLOAT_EQ(direct::FontCharWidth(Service(), "Helvetica", c.c), c.width) << int(c.c);
    EXPECT_EQ(Encode("Helvetica", std::u16string(1, c.c)), c.bytes) << int(c.c);
    EXPECT_TRUE(direct::FontHasGlyph(Service(), "Helvetica", c.c)) << int(c.c);
  }
}

TEST(FontService, UnencodableCharactersAreWrittenAndMeasuredAsQuestionMarks) {
  // CJK, Cyrillic (the font has the glyph, WinAnsi has no code), a control
  // character, a surrogate pair (one character) and a lone surrogate.
  const std::u16string text = u"\u4E2D\u0416\u0007\U0001F600\xD800";
  EXPECT_EQ(Encode("Helvetica", text), "?????");
  EXPECT_FLOAT_EQ(Width("Helvetica", text, 1000), 5 * 556);
  for (char32_t c : {0x4E2Du, 0x0416u, 0x7u, 0x81u, 0x1F600u}) EXPECT_FALSE(direct::FontHasGlyph(Service(), "Helvetica", c));
}

TEST(FontService, SymbolicFontsUseTheirBuiltInCodes) {
  EXPECT_FLOAT_EQ(direct::FontCharWidth(Service(), "Symbol", 'a'), 631);       // alpha
  EXPECT_FLOAT_EQ(direct::FontCharWidth(Service(), "Symbol", 0xF061), 631);    // symbol area
  EXPECT_FLOAT_EQ(direct::FontCharWidth(Service(), "ZapfDingbats", '5'), 762);  // a21
  EXPECT_EQ(Encode("ZapfDingbats", u"5\uF035\u2713"), "55?");
}

TEST(FontService, MetricsAndDescriptorFlags) {
  struct Case {
    const char* font;
    float ascent, descent, capHeight;
    int32_t flags;
  } cases[] = {
      // The URW files leave Ascender and Descender at 0: the tops of "d" and
      // the bottom of "p" stand in, or the font box for the dingbats.
      {"Helvetica", 729, -218, 729, 32},
      {"Times-Italic", 0, 0, 0, 32 | 2 | 64},
      {"Courier-Bold", 0, 0, 0, 32 | 1 | 262144},
      {"Symbol", 0, 0, 0, 4},
      {"ZapfDingbats", 819, -144, 691, 4},
  };
  for (auto const& c : cases) {
    KS_FontMetrics m{};
    ASSERT_TRUE(direct::FontGetMetrics(Service(), c.font, &m)) << c.font;
    EXPECT_EQ(m.flags, c.flags) << c.font;
    EXPECT_GT(m.ascent, 0) << c.font;
    EXPECT_LT(m.descent, 0) << c.font;
    EXPECT_LT(m.bbox.left, m.bbox.right) << c.font;
    if (c.ascent != 0) {
      EXPECT_FLOAT_EQ(m.ascent, c.ascent) << c.font;
      EXPECT_FLOAT_EQ(m.descent, c.descent) << c.font;
      EXPECT_FLOAT_EQ(m.capHeight, c.capHeight) << c.font;
    }
  }
  KS_FontMetrics m{};
  ASSERT_TRUE(direct::FontGetMetrics(Service(), "Helvetica-Oblique", &m));
  EXPECT_FLOAT_EQ(m.italicAngle, -12);
  EXPECT_FALSE(direct::FontGetMetrics(nullptr, "Helvetica", &m));
  EXPECT_FALSE(direct::FontGetMetrics(Service(), "Helvetica", nullptr));
}

TEST(FontService, StandardNamesOfFamilies) {
  struct Case {
    const char* family;
    bool bold, italic;
    const char* name;
    bool known;
  } cases[] = {
      {"Helvetica", false, false, "Helvetica", true},
      {"Helv", true, false, "Helvetica-Bold", true},
      {"Arial", false, true, "Helvetica-Oblique", true},
      {"Arial,BoldItalic", false, false, "Helvetica-BoldOblique", true},
      {"Arial-BoldMT", false, false, "Helvetica-Bold", true},
      {"Microsoft Sans Serif", false, false, "Helvetica", true},
      {"Times New Roman", true, true, "Times-BoldItalic", true},
      {"TimesNewRomanPS-ItalicMT", false, false, "Times-Italic", true},
      {"serif", true, false, "Times-Bold", true},
      {"Times-Roman", false, false, "Times-Roman", true},
      {"Courier New", false, true, "Courier-Oblique", true},
      {"Cour", true, true, "Courier-BoldOblique", true},
      {"DejaVu Sans Mono", false, false, "Courier", true},
      {"Symbol", true, true, "Symbol", true},
      {"ZaDb", false, false, "ZapfDingbats", true},
      {"ZapfDingbats", true, false, "ZapfDingbats", true},
      {"Wingdings Unknown", false, false, "Helvetica", false},
      {"", true, true, "Helvetica-BoldOblique", false},
  };
  for (auto const& c : cases) {
    Bytes out;
    ASSERT_TRUE(direct::FontStandardName(Service(), c.family, c.bold, c.italic, out)) << c.family;
    EXPECT_EQ(out.text(), c.name) << c.family;
    if (!c.bold && !c.italic) {
      const std::u16string wide(c.family, c.family + std::char_traits<char>::length(c.family));
      Bytes found;
      EXPECT_EQ(direct::FontFindSystemFont(Service(), wide.c_str(), 0, found), c.known ? 1 : 0) << c.family;
      if (c.known) {
        EXPECT_EQ(found.text(), c.name) << c.family;
      }
    }
  }
  EXPECT_TRUE(direct::FontIsStandard14(Service(), "Times-Roman"));
  EXPECT_TRUE(direct::FontIsStandard14(Service(), "/ZapfDingbats"));
  EXPECT_FALSE(direct::FontIsStandard14(Service(), "Times"));
  EXPECT_FALSE(direct::FontIsStandard14(Service(), "Arial"));
  // A font that is not standard is measured with its stand-in.
  EXPECT_FLOAT_EQ(Width("Arial", u"Hello", 12), Width("Helvetica", u"Hello", 12));
}

TEST(FontService, AddToResourcesMakesOneIndirectFontPerKey) {
  Doc doc = OnePageDoc();
  Owned fonts(direct::DictNew());
  ASSERT_TRUE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/Helv", "Helvetica"));
  KPD_Object helv = direct::DictGet(fonts.get(), "/Helv");
  ASSERT_TRUE(direct::ObjectIsIndirect(helv));
  EXPECT_EQ(Write(direct::DocGetObject(doc.get(), direct::ObjectGetObjNum(helv), 0)),
            "<< /BaseFont /Helvetica /Encoding /WinAnsiEncoding /Subtype /Type1 /Type /Font >>");

  // The key holds a font already: it stays as it is.
  ASSERT_TRUE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/Helv", "Times-Bold"));
  EXPECT_EQ(direct::ObjectGetObjNum(direct::DictGet(fonts.get(), "/Helv")), direct::ObjectGetObjNum(helv));

  // Dingbats keep their own encoding; a non-standard name gets its stand-in.
  ASSERT_TRUE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/ZaDb", "ZapfDingbats"));
  EXPECT_EQ(Write(direct::DocGetObject(doc.get(), direct::ObjectGetObjNum(direct::DictGet(fonts.get(), "/ZaDb")), 0)),
            "<< /BaseFont /ZapfDingbats /Subtype /Type1 /Type /Font >>");
  ASSERT_TRUE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/F1", "Arial,Bold"));
  KPD_Object f1 = direct::DocGetObject(doc.get(), direct::ObjectGetObjNum(direct::DictGet(fonts.get(), "/F1")), 0);
  EXPECT_EQ(Write(direct::DictGet(f1, "/BaseFont")), "/Helvetica-Bold");

  // A key that holds something else is replaced.
  Owned junk(direct::IntegerNew(7));
  ASSERT_TRUE(direct::DictSet(fonts.get(), "/F2", junk.get()));
  ASSERT_TRUE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/F2", "Courier"));
  EXPECT_TRUE(direct::ObjectIsIndirect(direct::DictGet(fonts.get(), "/F2")));

  // A dictionary of another document, a bad key or a non-dictionary: refused.
  Doc other = OnePageDoc();
  KPD_Dictionary otherRoot = direct::DocGetRoot(other.get());
  EXPECT_FALSE(direct::FontAddToResources(Service(), doc.get(), otherRoot, "/Helv", "Helvetica"));
  EXPECT_FALSE(direct::DictHasKey(otherRoot, "/Helv"));
  EXPECT_FALSE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "Helv", "Helvetica"));
  EXPECT_FALSE(direct::FontAddToResources(Service(), doc.get(), fonts.get(), "/", "Helvetica"));
  EXPECT_FALSE(direct::FontAddToResources(Service(), doc.get(), junk.get(), "/Helv", "Helvetica"));
  EXPECT_FALSE(direct::FontAddToResources(nullptr, doc.get(), fonts.get(), "/X", "Helvetica"));
}

TEST(FontService, ReadsAfmFilesFromItsFolderAndSurvivesBadOnes) {
  TempDir dir;
  // A made-up Helvetica with odd but readable lines and some broken ones.
  WriteFile(dir / "NimbusSans-Regular.afm",
            "StartFontMetrics 2.0\n"
            "Ascender 700\r\nDescender -200\nFontBBox 0 -200 1000\nCapHeight nan\n"
            "StartCharMetrics 9\n"
            "C 72 ; WX 500 ; N H ;\n"
            "C 101 ; W0X 400 ; N e ; B 0 0 1\n"
            "C 300 ; WX 100 ; N l ;\n"            // code out of range: the name still counts
            "C 111 ; WX inf ; N o ;\n"            // no usable width
            "C ; WX ; N ;\n"
            "garbage without semicolons\n"
            "C 63 ; WX 300 ; N question ;\n"
            "EndCharMetrics\n");
  WriteFile(dir / "NimbusSans-Bold.afm", "StartFontMetrics 2.0\nStartCharMetrics 0\nEndCharMetrics\n");
  FontService service(dir / "");
  auto svc = reinterpret_cast<KA_FontService>(&service);
  const std::u16string hello = u"Hello";
  // H 500 + e 400 + l 100 + l 100 + o, which counts as '?' (300).
  EXPECT_FLOAT_EQ(direct::FontTextWidth(svc, "Helvetica", hello.data(), hello.size(), 1000), 1400);
  KS_FontMetrics m{};
  ASSERT_TRUE(direct::FontGetMetrics(svc, "Helvetica", &m));
  EXPECT_FLOAT_EQ(m.ascent, 700);
  EXPECT_FLOAT_EQ(m.descent, -200);
  EXPECT_FLOAT_EQ(m.capHeight, 0);
  EXPECT_FLOAT_EQ(m.bbox.right, 0);  // a font box of three numbers is ignored

  // No glyphs at all, and no file: the font is unavailable, every call fails.
  for (const char* font : {"Helvetica-Bold", "Times-Roman"}) {
    EXPECT_FALSE(direct::FontGetMetrics(svc, font, &m)) << font;
    EXPECT_FLOAT_EQ(direct::FontTextWidth(svc, font, hello.data(), hello.size(), 12), 0) << font;
    Bytes out;
    EXPECT_FALSE(direct::FontEncodeText(svc, font, hello.data(), hello.size(), out)) << font;
  }
  EXPECT_FALSE(kshost::ParseAfm(""));
  EXPECT_FALSE(kshost::ParseAfm(std::string(100000, ';')));
}
