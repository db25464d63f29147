#include "host/text_layout.h"

#include <gtest/gtest.h>

#include "host/pdf_document.h"

using kshost::TextAlign;
using kshost::TextLayout;

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
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

TEST(TextLayout, AlignsEachLineInTheBoxAndStacksLinesDownwards) {
  TextLayout layout;
  layout.AddRun("Helvetica", false, false, 10, u"aaaa\naa");
  ASSERT_EQ(layout.Arrange(0, TextAlign::kCentre, 1), 2);
  KS_FloatRect box = layout.Box();
  EXPECT_NEAR(box.right, 22.24, 0.01);
  EXPECT_EQ(box.top, 0);
  EXPECT_LT(box.bottom, -20);  // two lines of 10-point text
  // The second line is half as wide: moved right by a quarter of the box.
  EXPECT_NE(layout.Content().find("5.560 -"), std::string::npos) << layout.Content();

  TextLayout right;
  right.AddRun("Helvetica", false, false, 10, u"aaaa\naa");
  right.Arrange(0, TextAlign::kRight, 1);
  EXPECT_NE(right.Content().find("11.120 -"), std::string::npos) << right.Content();
}

TEST(TextLayout, WinAnsiSignsStayInTheStandardFontAndOtherScriptsUseTheEmbeddedFace) {
  TextLayout layout;
  layout.AddRun("Arial", true, false, 9, u"45\u00B0 12 m\u00B2 \u0394\u043F");
  layout.Arrange(0, TextAlign::kLeft, 1);
  const std::string content = layout.Content();
  // Degree and superscript two are WinAnsi codes 0xB0 and 0xB2.
  EXPECT_NE(content.find("/KwHelveticaBold 9.000 Tf\n(45\xB0 12 m\xB2 ) Tj"), std::string::npos) << content;
  EXPECT_NE(content.find("/KwUniB 9.000 Tf\n<"), std::string::npos) << content;
  EXPECT_EQ(content.find('?'), std::string::npos) << content;

  auto doc = kshost::pdf::Document::Empty();
  ASSERT_TRUE(doc);
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  ASSERT_TRUE(layout.AddResources(*doc, fonts));
  QPDFObjectHandle uni = fonts.getKey("/KwUniB");
  ASSERT_TRUE(uni.isDictionary());
  EXPECT_TRUE(uni.getKey("/Subtype").isNameAndEquals("/Type0"));
  EXPECT_TRUE(uni.getKey("/Encoding").isNameAndEquals("/Identity-H"));
  QPDFObjectHandle cid = uni.getKey("/DescendantFonts").getArrayItem(0);
  EXPECT_TRUE(cid.getKey("/Subtype").isNameAndEquals("/CIDFontType2"));
  EXPECT_TRUE(cid.getKey("/FontDescriptor").getKey("/FontFile2").isStream());
  auto cmap = uni.getKey("/ToUnicode").getStreamData();
  std::string map(reinterpret_cast<const char*>(cmap->getBuffer()), cmap->getSize());
  EXPECT_NE(map.find("<0394>"), std::string::npos) << map;
  EXPECT_NE(map.find("<043F>"), std::string::npos) << map;
  EXPECT_TRUE(fonts.getKey("/KwHelveticaBold").getKey("/Encoding").isNameAndEquals("/WinAnsiEncoding"));

  // A second layout in the same document shares the font file.
  TextLayout again;
  again.AddRun("Arial", true, false, 9, u"\u03A9");
  again.Arrange(0, TextAlign::kLeft, 1);
  QPDFObjectHandle fonts2 = QPDFObjectHandle::newDictionary();
  ASSERT_TRUE(again.AddResources(*doc, fonts2));
  auto file = [](QPDFObjectHandle f) {
    return f.getKey("/DescendantFonts").getArrayItem(0).getKey("/FontDescriptor").getKey("/FontFile2").getObjGen();
  };
  EXPECT_EQ(file(fonts2.getKey("/KwUniB")), file(uni));
}
