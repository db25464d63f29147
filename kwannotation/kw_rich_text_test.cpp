// Rich-text bodies parsed and printed through the real host's XML rows.
#include "kwannotation/kw_rich_text.h"

#include <gtest/gtest.h>

#include "host/core_hft.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {
namespace {

class RichText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ks::host::Bind(kshost::CoreHFT(), nullptr); }
};

std::u16string Body(std::u16string_view inner) {
  return u"<?xml version=\"1.0\"?><body xmlns=\"http://www.w3.org/1999/xhtml\">" + std::u16string(inner) +
         u"</body>";
}

CKW_RichTextStyle StyleOf(std::u16string_view css) {
  CKW_RichTextStyle style;
  EXPECT_TRUE(ApplyRichTextStyle(css, &style)) << std::string(css.begin(), css.end());
  return style;
}

TEST_F(RichText, EmptyTextParsesToTheTemplateBody) {
  auto xml = CKW_RichTextXML::Parse(u"");
  ASSERT_TRUE(xml);
  EXPECT_EQ(xml->GetRoot().GetTagName(), "body");
  std::u16string api;
  EXPECT_TRUE(xml->GetRoot().GetAttribute("xfa:APIVersion", &api));
  EXPECT_EQ(api, u"Acrobat:11.0.0");
  const std::string_view tmpl = kRichTextTemplate;
  EXPECT_EQ(xml->Serialize(), std::u16string(tmpl.begin(), tmpl.end()));
  EXPECT_EQ(xml->GetRichTextContents(0), u"");
}

TEST_F(RichText, TextThatIsNotXmlGivesNoDocument) {
  for (const char16_t* bad : {u"plain words", u"<body><p>open", u"<?xml version=\"1.0\"?>", u"<a></b>"})
    EXPECT_FALSE(CKW_RichTextXML::Parse(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
}

TEST_F(RichText, FontSizeTakesTheNumberWhateverTheUnit) {
  struct Case {
    const char16_t* css;
    float size;
  } cases[] = {
      {u"font-size:10", 10.0f},         {u"font-size:10.5px", 10.5f}, {u"font-size: 12pt", 12.0f},
      {u"font-size:1e40pt", 1.0f},      // "e40pt" is the unit
      {u"font-size:'9.25pt'", 9.25f},
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(StyleOf(c.css).fontSize, c.size) << std::string(c.css, c.css + 20);
  EXPECT_FALSE(StyleOf(u"font-size:").HasFontSize());
  // A value that starts with no number fails the style; what came before
  // in the order of application stays.
  CKW_RichTextStyle style;
  EXPECT_FALSE(ApplyRichTextStyle(u"font-weight:bold;font-size:big;color:#FF0000", &style));
  EXPECT_TRUE(style.bold);
  EXPECT_FALSE(style.HasFontSize());
  EXPECT_FALSE(ApplyRichTextStyle(u"font-size:99999999999999999999999999999999999999999999pt", &style));
}

TEST_F(RichText, VerticalAlignAndDecorationWords) {
  EXPECT_EQ(StyleOf(u"vertical-align:-5.5pt").verticalAlign, CKW_RichTextStyle::kSubscript);
  EXPECT_EQ(StyleOf(u"vertical-align:+3pt").verticalAlign, CKW_RichTextStyle::kSuperscript);
  EXPECT_EQ(StyleOf(u"vertical-align:0pt").verticalAlign, CKW_RichTextStyle::kBaseline);
  EXPECT_EQ(StyleOf(u"vertical-align:super").verticalAlign, CKW_RichTextStyle::kBaseline);

  struct Case {
    const char16_t* value;
    bool underline, strike;
  } cases[] = {
      {u"word", true, false},       {u"double", true, false},          {u"double word", true, false},
      {u"underline", true, false},  {u"line-through", false, true},    {u"none", false, false},
      {u"words", false, false},     {u"line-through underline", true, true},
  };
  for (const auto& c : cases) {
    CKW_RichTextStyle s = StyleOf(u"text-decoration:" + std::u16string(c.value));
    EXPECT_EQ(s.underline, c.underline) << std::string(c.value, c.value + 5);
    EXPECT_EQ(s.strikeThrough, c.strike) << std::string(c.value, c.value + 5);
  }
  CKW_RichTextStyle both = StyleOf(u"text-decoration:underline line-through");
  EXPECT_NE(RichTextStyleToCss(both).find(u"text-decoration:line-through underline;"), std::u16string::npos);
}

TEST_F(RichText, WeightStyleAlignAndTheFontShorthand) {
  for (const char16_t* w : {u"bold", u"700", u"800", u"900", u"BOLD"}) EXPECT_TRUE(StyleOf(u"font-weight:" + std::u16string(w)).bold);
  for (const char16_t* w : {u"600", u"normal", u"bolder"}) EXPECT_FALSE(StyleOf(u"font-weight:" + std::u16string(w)).bold);
  EXPECT_EQ(StyleOf(u"text-align:center").textAlign, 1);
  EXPECT_EQ(StyleOf(u"text-align:right").textAlign, 2);
  EXPECT_EQ(StyleOf(u"text-align:justify").textAlign, 3);
  EXPECT_EQ(StyleOf(u"text-align:middle").textAlign, 0);

  // The shorthand as free text writes it; the longhands override it
  // whatever their place in the text.
  CKW_RichTextStyle s = StyleOf(u"font-weight:normal;font: italic bold 'Times New Roman',sans-serif 14.50pt");
  EXPECT_EQ(s.fontFamily, u"Times New Roman");
  EXPECT_FLOAT_EQ(s.fontSize, 14.5f);
  EXPECT_TRUE(s.italic);
  EXPECT_FALSE(s.bold);
}

TEST_F(RichText, StyleToCssIsOrderedByPropertyName) {
  CKW_RichTextStyle bold;
  bold.bold = true;
  EXPECT_EQ(RichTextStyleToCss(bold), u"font-style:normal;font-weight:bold;text-decoration:none;");

  CKW_RichTextStyle all = StyleOf(
      u"vertical-align:+2pt;text-align:right;color:#00FF00;font-size:9;font-family:Arial;font-style:italic;"
      u"text-decoration:underline");
  EXPECT_EQ(RichTextStyleToCss(all),
            u"color:#00FF00;font-family:Arial;font-size:9.00pt;font-style:italic;font-weight:normal;"
            u"text-align:right;text-decoration:underline;vertical-align:+0.0pt;");
  // What is written reads back to the same style.
  CKW_RichTextStyle back = StyleOf(RichTextStyleToCss(all));
  EXPECT_EQ(RichTextStyleToCss(back), RichTextStyleToCss(all));
}

TEST_F(RichText, CssColours) {
  KPD_ColorF c{};
  ASSERT_TRUE(ParseCssColor(u"#FF8000", &c));
  EXPECT_FLOAT_EQ(c.c[1], 128.0f / 255.0f);
  ASSERT_TRUE(ParseCssColor(u"#f00", &c));
  EXPECT_FLOAT_EQ(c.c[0], 1.0f);
  ASSERT_TRUE(ParseCssColor(u"rgb(0, 50%, 255)", &c));
  EXPECT_FLOAT_EQ(c.c[1], 0.5f);
  EXPECT_FLOAT_EQ(c.c[2], 1.0f);
  ASSERT_TRUE(ParseCssColor(u"Blue", &c));
  EXPECT_FLOAT_EQ(c.c[2], 1.0f);
  for (const char16_t* bad : {u"#GGG", u"#12345", u"rgb(1,2)", u"rgb(a,b,c)", u"", u"nope"})
    EXPECT_FALSE(ParseCssColor(bad, &c));
}

TEST_F(RichText, RunsInheritStylesAndInnerElementsWin) {
  auto xml = CKW_RichTextXML::Parse(Body(
      u"<p style=\"font-weight:bold;font-size:12pt\">Head <span style=\"font-weight:normal\">plain</span>"
      u" tail</p><p><span style=\"font-style:italic\">second</span></p>"));
  ASSERT_TRUE(xml);
  EXPECT_EQ(xml->GetRichTextContents(0), u"Head ");
  EXPECT_EQ(xml->GetRichTextContents(1), u"plain");
  EXPECT_EQ(xml->GetRichTextContents(2), u" tail");
  EXPECT_EQ(xml->GetRichTextContents(3), u"second");
  EXPECT_EQ(xml->GetRichTextContents(4), u"");

  CKW_RichTextStyle s;
  ASSERT_TRUE(xml->GetRichTextStyle(1, &s));
  EXPECT_FALSE(s.bold);  // the span's normal weight overrides the paragraph
  EXPECT_FLOAT_EQ(s.fontSize, 12.0f);  // what the span does not name is inherited
  s = {};
  ASSERT_TRUE(xml->GetRichTextStyle(2, &s));
  EXPECT_TRUE(s.bold);
  // Defaults handed in (those of /DS) are overridden only where named.
  CKW_RichTextStyle ds = StyleOf(u"font: Helvetica 10pt; color:#0000FF");
  ASSERT_TRUE(xml->GetRichTextStyle(3, &ds));
  EXPECT_TRUE(ds.italic);
  EXPECT_EQ(ds.color, u"#0000FF");
  EXPECT_FLOAT_EQ(ds.fontSize, 10.0f);
  EXPECT_FALSE(xml->GetRichTextStyle(4, &ds));

  auto bad = CKW_RichTextXML::Parse(Body(u"<p><span style=\"font-size:x\">x</span></p>"));
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->GetRichTextStyle(0, &s));

  EXPECT_EQ(xml->GetPlainText(), u"Head plain tail\nsecond");
  const auto runs = xml->GetRuns(CKW_RichTextStyle{});
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_FALSE(runs[0].paragraphStart);
  EXPECT_FALSE(runs[2].paragraphStart);
  EXPECT_TRUE(runs[3].paragraphStart);
  EXPECT_TRUE(runs[3].style.italic);
  EXPECT_FALSE(runs[3].style.bold);
  // A walk with a budget stops at the run that reaches it.
  EXPECT_EQ(xml->GetRuns(CKW_RichTextStyle{}, 6).size(), 2u);
}

TEST_F(RichText, LineBreaksAreWrittenAsCharacterReferences) {
  auto xml = CKW_RichTextXML::Write({{{u"one\ntwo", StyleOf(u"font-weight:bold")}, {u" & <three>", {}}},
                                      {{u"para", StyleOf(u"text-align:center")}}});
  ASSERT_TRUE(xml);
  const std::u16string rc = xml->Serialize();
  EXPECT_EQ(rc.rfind(u"<?xml version=\"1.0\"?><body ", 0), 0u);
  EXPECT_NE(rc.find(u"one&#x0D;&#x0A;two"), std::u16string::npos);
  EXPECT_EQ(rc.find(u"\r"), std::u16string::npos);
  EXPECT_NE(rc.find(u"<p><span style=\"font-style:normal;font-weight:bold;text-decoration:none;\">"),
            std::u16string::npos);

  // It reads back: the same text, runs and styles.
  auto back = CKW_RichTextXML::Parse(rc);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->GetPlainText(), u"one\ntwo & <three>\npara");
  EXPECT_EQ(back->GetRichTextContents(0), u"one\r\ntwo");
  CKW_RichTextStyle s;
  ASSERT_TRUE(back->GetRichTextStyle(2, &s));
  EXPECT_EQ(s.textAlign, CKW_RichTextStyle::kCenter);
  EXPECT_EQ(back->Serialize(), rc);

  // A bare carriage return keeps its place in the text when printed.
  auto bare = CKW_RichTextXML::Parse(Body(u"<p>a<span>b</span>&#13;</p><p>c</p>"));
  ASSERT_TRUE(bare);
  const std::u16string printed = bare->Serialize();
  EXPECT_NE(printed.find(u"</span>&#x0D;</p>"), std::u16string::npos);
  EXPECT_EQ(CKW_RichTextXML::Parse(printed)->GetPlainText(), bare->GetPlainText());
}

TEST_F(RichText, HostileBodiesStayInert) {
  // An entity bomb: entities are never expanded.
  std::u16string laughs =
      u"<?xml version=\"1.0\"?><!DOCTYPE body [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
      u"<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><body><p>&c;</p></body>";
  if (auto xml = CKW_RichTextXML::Parse(laughs)) EXPECT_LT(xml->GetPlainText().size(), 16u);

  // Nested far deeper than any stack would allow a recursive walk.
  std::u16string deep;
  for (int i = 0; i < 100000; ++i) deep += u"<span style=\"font-weight:bold\">";
  deep += u"x";
  for (int i = 0; i < 100000; ++i) deep += u"</span>";
  auto xml = CKW_RichTextXML::Parse(Body(deep));
  ASSERT_TRUE(xml);
  EXPECT_EQ(xml->GetPlainText(), u"x");
  CKW_RichTextStyle s;
  EXPECT_TRUE(xml->GetRichTextStyle(0, &s));
  EXPECT_TRUE(s.bold);
}

// New plain text in an old body's clothes: the first run's effective
// style (its paragraph's and its own, past the white space of an indented
// body) goes on every line.
TEST_F(RichText, NewPlainTextTakesTheStyleOfTheOldFirstRun) {
  const std::u16string old = Body(
      u"\n  <p style=\"font-size:14pt;color:#FF0000\"><span style=\"font-weight:bold\">Old words</span>"
      u"<span style=\"font-style:italic\"> more</span></p>\n");
  const std::u16string rc = KW_RichTextForPlainText(old, u"New line\r\nSecond\rThird");
  auto xml = CKW_RichTextXML::Parse(rc);
  ASSERT_TRUE(xml) << std::string(rc.begin(), rc.end());
  EXPECT_EQ(xml->GetPlainText(), u"New line\nSecond\nThird");
  const std::vector<RichTextRun> runs = xml->GetRuns(CKW_RichTextStyle{});
  ASSERT_EQ(runs.size(), 3u);
  for (const RichTextRun& run : runs) {
    EXPECT_TRUE(run.style.bold);
    EXPECT_FALSE(run.style.italic);
    EXPECT_EQ(run.style.fontSize, 14.0f);
    EXPECT_EQ(run.style.color, u"#FF0000");
  }
  EXPECT_EQ(rc.find(u"Old"), std::u16string::npos);

  // A body without runs gives the text unstyled; one that is no XML gives
  // nothing to keep.
  auto plain = CKW_RichTextXML::Parse(KW_RichTextForPlainText(Body(u""), u"Just this"));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->GetPlainText(), u"Just this");
  EXPECT_FALSE(plain->GetRuns(CKW_RichTextStyle{}).front().style.bold);
  EXPECT_EQ(KW_RichTextForPlainText(u"<body><p>unclosed", u"x"), u"");
}

}  // namespace
}  // namespace kwannotation
