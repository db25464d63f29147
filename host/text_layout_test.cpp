#include "host/text_layout.h"

#include <gtest/gtest.h>

#include <regex>

#include "host/font_service.h"
#include "host/pdf_document.h"

using kshost::RunStyle;
using kshost::TextAlign;
using kshost::TextLayout;

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

RunStyle Style(float size, void (*edit)(RunStyle&) = nullptr) {
  RunStyle s;
  s.size = size;
  if (edit) edit(s);
  return s;
}

std::string StreamText(QPDFObjectHandle stream) {
  auto data = stream.getStreamData();
  return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

QPDFObjectHandle Descendant(QPDFObjectHandle type0) { return type0.getKey("/DescendantFonts").getArrayItem(0); }

QPDFObjectHandle FontFile(QPDFObjectHandle type0) {
  return Descendant(type0).getKey("/FontDescriptor").getKey("/FontFile2");
}

// The numbers of every "... Tm" line: a b c d x y.
std::vector<std::vector<double>> Matrices(const std::string& content) {
  std::vector<std::vector<double>> out;
  std::regex tm(R"(([-0-9. ]+) Tm\n)");
  for (auto it = std::sregex_iterator(content.begin(), content.end(), tm); it != std::sregex_iterator(); ++it) {
    std::vector<double> m;
    std::istringstream in((*it)[1].str());
    for (double v; in >> v;) m.push_back(v);
    out.push_back(m);
  }
  return out;
}

}  // namespace

// Helvetica 10: "a" 5.56, space 2.78; "aaaa" is 22.24 wide.
TEST(TextLayout, BreaksAtSpacesThenInsideWordsTooLongForTheLine) {
  struct Case {
    const char16_t* text;
    float width;
    int lines;
    const char* content;  // a piece that must be present
  } cases[] = {
      {u"aaaa aaaa aaaa", 0, 1, "(aaaa aaaa aaaa) Tj"},
      {u"aaaa aaaa aaaa", 50, 2, "(aaaa aaaa) Tj"},
      {u"aaaa aaaa aaaa", 25, 3, "(aaaa) Tj"},
      // Nine letters in a box of four: broken inside the word.
      {u"aaaaaaaaa", 23, 3, "(a) Tj"},
      {u"aa\naa\r\naa", 0, 3, "(aa) Tj"},
      {u"x\n\ny", 0, 3, "(y) Tj"},
  };
  for (const Case& c : cases) {
    TextLayout layout;
    layout.AddRun("Helvetica", false, false, 10, c.text);
    EXPECT_EQ(layout.Arrange(c.width, TextAlign::kLeft, 1), c.lines) << c.width;
    std::string content = layout.Content();
    EXPECT_NE(content.find(c.content), std::string::npos) << content;
    EXPECT_EQ(Count(content, " Tj"), c.lines - (c.lines == 3 && c.text[1] == u'\n' ? 1 : 0)) << content;
    KS_FloatRect box = layout.Box();
    EXPECT_LE(box.right, c.width > 0 ? c.width : 1000);
  }
}

// "aa aa aaaa aa a" in 40 points: "aa aa" (25.02) and "aaaa aa" (36.14) are
// stretched at their one space by 14.98 and 3.86; the last line is not.
TEST(TextLayout, EveryAlignmentPlacesLinesAndJustifiedLinesReachTheWidth) {
  struct Case {
    TextAlign align;
    std::vector<const char*> pieces;
  } cases[] = {
      {TextAlign::kLeft, {"1 0 0 1 0.000 ", "(aa aa) Tj", "(aaaa aa) Tj"}},
      {TextAlign::kCentre, {"1 0 0 1 7.490 ", "1 0 0 1 1.930 ", "1 0 0 1 17.220 "}},
      {TextAlign::kRight, {"1 0 0 1 14.980 ", "1 0 0 1 3.860 ", "1 0 0 1 34.440 "}},
      {TextAlign::kJustify, {"[(aa ) -1498.000 (aa)] TJ", "[(aaaa ) -386.000 (aa)] TJ", "(a) Tj"}},
  };
  for (const Case& c : cases) {
    TextLayout layout;
    layout.AddRun("Helvetica", false, false, 10, u"aa aa aaaa aa a");
    ASSERT_EQ(layout.Arrange(40, c.align, 1), 3);
    const std::string content = layout.Content();
    for (const char* piece : c.pieces) EXPECT_NE(content.find(piece), std::string::npos) << piece << "\n" << content;
    EXPECT_EQ(layout.Box().right, 40);
  }
  // A paragraph's last line before a line end is not stretched either, and
  // nothing is without a width to reach.
  TextLayout paragraphs;
  paragraphs.AddRun("Helvetica", false, false, 10, u"aa aa\naa aa aaaa aa a");
  paragraphs.Arrange(40, TextAlign::kJustify, 1);
  EXPECT_NE(paragraphs.Content().find("(aa aa) Tj"), std::string::npos) << paragraphs.Content();
  TextLayout unbounded;
  unbounded.AddRun("Helvetica", false, false, 10, u"aa aa\naaaa a");
  unbounded.Arrange(0, TextAlign::kJustify, 1);
  EXPECT_EQ(unbounded.Content().find("TJ"), std::string::npos) << unbounded.Content();
}

// Helvetica 10: "a" is 5.56 wide. Typing goes on after the last line's last
// letter, wherever the alignment put that line, from its descent to its
// ascent; a layout without lines has no such place.
TEST(TextLayout, TheCaretFollowsTheLastLetterOfTheLastLine) {
  const auto& metrics = kshost::FontService::Application().Font("Helvetica")->metrics;
  const struct {
    TextAlign align;
    double x;
  } cases[] = {{TextAlign::kLeft, 5.56}, {TextAlign::kCentre, (40 - 5.56) / 2 + 5.56}, {TextAlign::kRight, 40}};
  for (const auto& c : cases) {
    TextLayout layout;
    layout.AddRun("Helvetica", false, false, 10, u"aa aa aaaa aa a");
    ASSERT_EQ(layout.Arrange(40, c.align, 1), 3);
    KS_FloatRect caret{};
    ASSERT_TRUE(layout.Caret(&caret));
    const auto m = Matrices(layout.Content());
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NEAR(caret.left, c.x, 0.002);
    EXPECT_EQ(caret.right, caret.left);
    EXPECT_NEAR(caret.top, m[2][5] + metrics.ascent * 10 / 1000, 0.002);
    EXPECT_NEAR(caret.bottom, m[2][5] + metrics.descent * 10 / 1000, 0.002);
  }
  TextLayout ended;
  ended.AddRun("Helvetica", false, false, 10, u"a\n");
  ASSERT_EQ(ended.Arrange(40, TextAlign::kLeft, 1), 2);
  KS_FloatRect caret{};
  ASSERT_TRUE(ended.Caret(&caret));
  EXPECT_EQ(caret.left, 0);
  EXPECT_NEAR(caret.top - caret.bottom, (metrics.ascent - metrics.descent) * 10 / 1000, 0.002);
  EXPECT_LT(caret.top, Matrices(ended.Content())[0][5]);
  TextLayout empty;
  empty.Arrange(40, TextAlign::kLeft, 1);
  EXPECT_FALSE(empty.Caret(&caret));
}

// Helvetica 10: "aa" is 11.12 wide. Each paragraph takes the alignment of
// the run its first character is in; a run without one leaves it to
// Arrange's, and a run starting inside a paragraph does not change it.
TEST(TextLayout, EachParagraphKeepsTheAlignmentOfItsFirstRun) {
  TextLayout layout;
  layout.AddStyledRun(Style(10, [](RunStyle& s) { s.align = int(TextAlign::kRight); }), u"aa");
  layout.AddStyledRun(Style(10, [](RunStyle& s) { s.align = int(TextAlign::kCentre); }), u"\naa");
  layout.AddStyledRun(Style(10, [](RunStyle& s) { s.align = int(TextAlign::kRight); }), u"aa");
  layout.AddStyledRun(Style(10), u"\naa");
  ASSERT_EQ(layout.Arrange(40, TextAlign::kLeft, 1), 3);
  const auto m = Matrices(layout.Content());
  ASSERT_GE(m.size(), 4u) << layout.Content();
  EXPECT_NEAR(m[0][4], 40 - 11.12, 0.002);          // right
  EXPECT_NEAR(m[1][4], (40 - 22.24) / 2, 0.002);    // centred, both runs
  EXPECT_NEAR(m[2][4], (40 - 22.24) / 2 + 11.12, 0.002);
  EXPECT_NEAR(m[3][4], 0, 0.002);                   // Arrange's left
}

TEST(TextLayout, LinesStackDownwardsAtTheirTallestRunAndSpacingScalesThePitch) {
  const float ascent = kshost::FontService::Application().Font("Helvetica")->metrics.ascent;
  TextLayout layout;
  layout.AddStyledRun(Style(10), u"ab ");
  layout.AddStyledRun(Style(20), u"cd");
  ASSERT_EQ(layout.Arrange(0, TextAlign::kLeft, 1), 1);
  const std::string content = layout.Content();
  auto m = Matrices(content);
  ASSERT_EQ(m.size(), 2u) << content;
  // One baseline, at the 20-point run's ascent; the big run starts after
  // "ab " (5.56 + 5.56 + 2.78).
  EXPECT_NEAR(m[0][5], -ascent * 20 / 1000, 0.002);
  EXPECT_EQ(m[0][5], m[1][5]);
  EXPECT_NEAR(m[1][4], 13.9, 0.001);
  EXPECT_NE(content.find("/Helv 20.000 Tf\n"), std::string::npos) << content;

  auto pitch = [](float spacing) {
    TextLayout two;
    two.AddRun("Helvetica", false, false, 10, u"a\na");
    two.Arrange(0, TextAlign::kLeft, spacing);
    auto m = Matrices(two.Content());
    return m[0][5] - m[1][5];
  };
  EXPECT_GT(pitch(1), 10);
  EXPECT_NEAR(pitch(2), 2 * pitch(1), 0.01);
}

TEST(TextLayout, RaisedAndLoweredRunsShiftTheBaselineAndMakeRoomInTheLine) {
  const auto* helv = kshost::FontService::Application().Font("Helvetica");
  TextLayout level;
  level.AddStyledRun(Style(10), u"x");
  level.AddStyledRun(Style(6), u"2");
  level.Arrange(0, TextAlign::kLeft, 1);
  for (float rise : {6.0f, -4.0f}) {
    TextLayout shifted;
    shifted.AddStyledRun(Style(10), u"x");
    RunStyle s = Style(6);
    s.rise = rise;
    shifted.AddStyledRun(s, u"2");
    shifted.Arrange(0, TextAlign::kLeft, 1);
    const std::string content = shifted.Content();
    const std::string ts = rise > 0 ? "6.000 Ts\n" : "-4.000 Ts\n";
    EXPECT_NE(content.find(ts + "1 0 0 1 5.000"), std::string::npos) << content;
    // The rise is undone for whoever writes text after the layout.
    EXPECT_EQ(content.substr(content.size() - 5), "0 Ts\n") << content;
    const double top = helv->metrics.ascent * 6 / 1000 + rise;
    const double bottom = helv->metrics.descent * 6 / 1000 + rise;
    if (rise > 0) {
      EXPECT_NEAR(Matrices(content)[0][5], -top, 0.002) << "the superscript sets the line's top";
    } else {
      EXPECT_NEAR(shifted.Box().bottom, Matrices(content)[0][5] + bottom, 0.002) << "the subscript sets its bottom";
      EXPECT_LT(shifted.Box().bottom, level.Box().bottom);
    }
  }
}

TEST(TextLayout, UnderlineAndStrikeAreRectanglesInTheRunsColourUnderAndThroughTheText) {
  const auto* helv = kshost::FontService::Application().Font("Helvetica");
  TextLayout layout;
  layout.AddStyledRun(Style(10), u"plain ");
  RunStyle red = Style(10);
  red.underline = true;
  red.hasColor = true;
  red.color[0] = 1;
  layout.AddStyledRun(red, u"under");
  RunStyle struck = Style(10);
  struck.strike = true;
  layout.AddStyledRun(struck, u" struck");
  layout.Arrange(0, TextAlign::kLeft, 1);
  const std::string content = layout.Content();
  // The coloured run keeps its colour to itself.
  EXPECT_NE(content.find("ET\nq\nBT\n1.000 0.000 0.000 rg\n"), std::string::npos) << content;
  EXPECT_NE(content.find("(under) Tj\nET\nQ\nBT\n"), std::string::npos) << content;
  const double baseline = Matrices(content)[0][5];

  std::regex re(R"(([-0-9.]+) ([-0-9.]+) ([-0-9.]+) ([-0-9.]+) re f\n)");
  std::vector<std::vector<double>> rects;
  for (auto it = std::sregex_iterator(content.begin(), content.end(), re); it != std::sregex_iterator(); ++it)
    rects.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  ASSERT_EQ(rects.size(), 2u) << content;
  // The strike (no colour of its own) comes first, in the caller's colour,
  // then the underline after its red.
  const auto& strike = rects[0];
  const auto& under = rects[1];
  const std::string block = content.substr(content.rfind("ET\nq\n"));
  EXPECT_LT(block.find("re f"), block.find("1.000 0.000 0.000 rg\n")) << block;
  EXPECT_NEAR(under[0], Matrices(content)[1][4], 0.001);
  EXPECT_NEAR(under[1] + under[3] / 2, baseline + helv->underlinePosition / 100, 0.002);
  EXPECT_LT(under[1] + under[3], baseline);
  EXPECT_NEAR(under[2], Matrices(content)[2][4] - Matrices(content)[1][4], 0.002);
  EXPECT_GT(strike[1], baseline);
  EXPECT_LT(strike[1] + strike[3], baseline + helv->metrics.xHeight / 100);
  EXPECT_EQ(content.substr(content.size() - 5), "Q\nBT\n");
}

TEST(TextLayout, OtherScriptsDrawWithSubsetsOfTheUnicodeFacesAndNeverAsQuestionMarks) {
  TextLayout layout;
  layout.AddRun("Arial", true, false, 9, u"45\u00B0 12 m\u00B2 \u0394\u043F \u4E2D\u6587 \U0010FFFD");
  layout.Arrange(0, TextAlign::kLeft, 1);
  const std::string content = layout.Content();
  // Degree and superscript two are WinAnsi codes 0xB0 and 0xB2.
  EXPECT_NE(content.find("/KwHelveticaBold 9.000 Tf\n1 0 0 1 0.000 "), std::string::npos) << content;
  EXPECT_NE(content.find("(45\xB0 12 m\xB2 ) Tj"), std::string::npos) << content;
  EXPECT_EQ(content.find('?'), std::string::npos) << content;

  auto doc = kshost::pdf::Document::Empty();
  ASSERT_TRUE(doc);
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  ASSERT_TRUE(layout.AddResources(*doc, fonts));
  EXPECT_TRUE(fonts.getKey("/KwHelveticaBold").getKey("/Encoding").isNameAndEquals("/WinAnsiEncoding"));
  struct Face {
    const char* name;
    size_t maxBytes;           // the whole file is 700 KB and 4 MB
    std::vector<const char*> unicode;
  } faces[] = {{"DejaVuSans-Bold", 20000, {"<0394>", "<043F>"}}, {"DroidSansFallback", 20000, {"<4E2D>", "<6587>"}}};
  for (const Face& face : faces) {
    QPDFObjectHandle type0;
    std::string resource;
    for (const auto& key : fonts.getKeys())
      if (fonts.getKey(key).getKey("/BaseFont").getName().find(face.name) != std::string::npos) {
        type0 = fonts.getKey(key);
        resource = key;
      }
    ASSERT_TRUE(type0.isDictionary()) << face.name;
    const std::string base = type0.getKey("/BaseFont").getName();
    EXPECT_TRUE(std::regex_match(base, std::regex(std::string("/[A-Z]{6}\\+") + face.name))) << base;
    EXPECT_NE(content.find(resource + " 9.000 Tf"), std::string::npos) << resource << content;
    EXPECT_TRUE(type0.getKey("/Subtype").isNameAndEquals("/Type0"));
    EXPECT_TRUE(type0.getKey("/Encoding").isNameAndEquals("/Identity-H"));
    QPDFObjectHandle cid = Descendant(type0);
    EXPECT_TRUE(cid.getKey("/Subtype").isNameAndEquals("/CIDFontType2"));
    EXPECT_TRUE(cid.getKey("/CIDToGIDMap").isNameAndEquals("/Identity"));
    EXPECT_TRUE(cid.getKey("/W").isArray());
    EXPECT_LT(StreamText(FontFile(type0)).size(), face.maxBytes) << face.name;
    const std::string map = StreamText(type0.getKey("/ToUnicode"));
    for (const char* u : face.unicode) EXPECT_NE(map.find(u), std::string::npos) << u << map;
  }
  // The character no face has is the missing glyph, id 0 of DejaVu Sans.
  EXPECT_NE(content.find("<0000>"), std::string::npos) << content;

  // Italic Greek has no face of its own: it is slanted; Latin italic uses
  // the oblique standard face.
  TextLayout italic;
  italic.AddRun("Helvetica", false, true, 9, u"a\u03B1");
  italic.Arrange(0, TextAlign::kLeft, 1);
  EXPECT_NE(italic.Content().find("/KwHelveticaOblique 9.000 Tf"), std::string::npos);
  EXPECT_NE(italic.Content().find("1 0 0.213 1 "), std::string::npos) << italic.Content();
}

TEST(TextLayout, LayoutsSharingAFontDictionaryKeepTheirOwnSubsets) {
  auto doc = kshost::pdf::Document::Empty();
  ASSERT_TRUE(doc);
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  std::string contents[3];
  const char16_t* texts[3] = {u"\u0394", u"\u03A9\u03A3", u"\u0394"};
  for (int i = 0; i < 3; ++i) {
    TextLayout layout;
    layout.AddRun("Helvetica", false, false, 9, texts[i]);
    layout.Arrange(0, TextAlign::kLeft, 1);
    contents[i] = layout.Content();
    ASSERT_TRUE(layout.AddResources(*doc, fonts));
  }
  // Different glyph sets, different fonts: the second does not replace the
  // first one's under the same name.
  EXPECT_EQ(fonts.getKeys().size(), 2u);
  EXPECT_NE(contents[0].substr(0, 10), contents[1].substr(0, 10));
  // The same glyphs again reuse the font made for the first.
  EXPECT_EQ(contents[0], contents[2]);
}

// Character spacing counts in the measure: "aaaa" at 10 points with 2 more
// per letter is 30.24 wide, so right aligned in 40 it starts at 9.76.
TEST(TextLayout, CharacterSpacingIsMeasuredAndLinesStayInTheWidth) {
  RunStyle spaced = Style(10);
  spaced.charSpacing = 2;
  TextLayout layout;
  layout.AddStyledRun(spaced, u"aaaa aaaa");
  ASSERT_EQ(layout.Arrange(40, TextAlign::kRight, 1), 2);
  const std::string content = layout.Content();
  EXPECT_NE(content.find("2.000 Tc\n"), std::string::npos) << content;
  for (const auto& m : Matrices(content)) EXPECT_NEAR(m[4], 9.76, 0.001) << content;
  EXPECT_EQ(content.substr(content.size() - 5), "0 Tc\n");
}

// A paragraph whose first strong letter is right-to-left aligns right when
// nothing else asks; its own left alignment, and a left-to-right paragraph,
// stay left. Devanagari is shaped: its vowel sign before the consonant and
// the half form make the glyphs differ from the characters, which the text
// then carries as its actual text.
TEST(TextLayout, RightToLeftParagraphsAlignRightAndShapedTextKeepsItsCharacters) {
  TextLayout layout;
  layout.AddStyledRun(Style(10), u"\u05E2\u05D1\u05E8\u05D9\u05EA\n");
  layout.AddStyledRun(Style(10, [](RunStyle& s) { s.align = int(TextAlign::kLeft); }), u"\u05E2\u05D1\u05E8\u05D9\u05EA\n");
  layout.AddStyledRun(Style(10), u"abc \u05E2\u05D1\u05E8\u05D9\u05EA");
  ASSERT_EQ(layout.Arrange(200, TextAlign::kLeft, 1), 3);
  const auto m = Matrices(layout.Content());
  ASSERT_GE(m.size(), 3u) << layout.Content();
  EXPECT_GT(m[0][4], 150) << layout.Content();
  EXPECT_NEAR(m[1][4], 0, 0.002);
  EXPECT_NEAR(m[2][4], 0, 0.002);
  EXPECT_EQ(layout.Content().find("ActualText"), std::string::npos) << layout.Content();

  if (kshost::UnicodeFont::Find(U'\u0939', false) < 0) GTEST_SKIP() << "no installed face has Devanagari";
  TextLayout hindi;
  hindi.AddStyledRun(Style(10), u"\u0939\u093F\u0928\u094D\u0926\u0940");
  ASSERT_EQ(hindi.Arrange(200, TextAlign::kLeft, 1), 1);
  EXPECT_NE(hindi.Content().find("/Span << /ActualText <FEFF0939093F0928094D09260940> >> BDC\n"), std::string::npos)
      << hindi.Content();
}

// Lines break where the drawn text reaches the edge: joined Arabic letters
// take less room than the same letters alone, so a width that holds the
// word as drawn holds it on one line, unsplit.
TEST(TextLayout, WordsBreakByTheWidthTheyDrawAt) {
  if (kshost::UnicodeFont::Find(U'\u0628', false) < 0) GTEST_SKIP() << "no installed face has Arabic";
  const std::u16string word = u"\u0628\u0627\u0644\u0639\u0627\u0644\u0645";
  TextLayout one;
  one.AddStyledRun(Style(38), word);
  ASSERT_EQ(one.Arrange(0, TextAlign::kLeft, 1), 1);
  const KS_FloatRect box = one.Box();
  const float drawn = box.right - box.left;
  ASSERT_GT(drawn, 0);
  TextLayout two;
  two.AddStyledRun(Style(38), word + u" " + word);
  EXPECT_EQ(two.Arrange(drawn + 0.5f, TextAlign::kLeft, 1), 2) << two.Content();
  // Latin text in a standard font measures as before: "aaaa" is 22.24 wide
  // at 10 pt.
  TextLayout latin;
  latin.AddStyledRun(Style(10), u"aaaa aaaa");
  EXPECT_EQ(latin.Arrange(22.3f, TextAlign::kLeft, 1), 2);
  EXPECT_EQ(latin.Arrange(22.2f, TextAlign::kLeft, 1), 4);
}
