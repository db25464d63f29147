#include "comment/ccm_tool_table.h"

#include <set>

#include <gtest/gtest.h>

namespace AnnotationComment {
namespace {

TEST(CommentToolTable, EveryToolHasAUniqueNameAndButtonAndKnownSubtype) {
  const std::set<std::string> subtypes = {"Square", "Circle", "Line", "PolyLine", "Polygon", "FreeText",
                                          "Ink", "Text", "Highlight", "Underline", "StrikeOut", "Squiggly",
                                          "Caret", "Stamp", "FileAttachment"};
  std::set<std::string> names, buttons;
  for (const CommentToolInfo& t : CommentTools()) {
    EXPECT_TRUE(names.insert(t.name).second) << t.name;
    EXPECT_TRUE(buttons.insert(t.button).second) << t.button;
    EXPECT_TRUE(subtypes.count(t.subtype)) << t.name;
    EXPECT_EQ(FindCommentTool(t.name), &t);
  }
  EXPECT_EQ(names.size(), 20u);
  EXPECT_EQ(FindCommentTool("Hand"), nullptr);
  EXPECT_EQ(CommentStyleSection(*FindCommentTool("Highlighter")), u"Comment\\Highlighter");
}

TEST(CommentToolTable, ColoursReadAndWriteAsHashAndSixHexDigits) {
  struct Case {
    const char16_t* text;
    bool ok;
    float r, g, b;
  } cases[] = {
      {u"#FF8000", true, 1, 128 / 255.0f, 0},
      {u"#ff8000", true, 1, 128 / 255.0f, 0},
      {u"#000000", true, 0, 0, 0},
      {u"FF8000", false},
      {u"#FF800", false},
      {u"#GG8000", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    const auto color = ParseHexColor(c.text);
    ASSERT_EQ(color.has_value(), c.ok) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    if (!c.ok) continue;
    EXPECT_EQ(color->kind, 2);
    EXPECT_FLOAT_EQ(color->c[0], c.r);
    EXPECT_FLOAT_EQ(color->c[1], c.g);
    EXPECT_FLOAT_EQ(color->c[2], c.b);
  }
  EXPECT_EQ(HexColor(KPD_ColorF{2, {1, 0.5f, 0, 0}}), u"#FF8000");
  EXPECT_EQ(HexColor(KPD_ColorF{2, {-1, 2, 0.2f, 0}}), u"#00FF33");
  EXPECT_EQ(HexColor(KPD_ColorF{2, {0.2f, 0.4f, 0.6f, 0}}), u"#336699");
}

TEST(CommentToolTable, ACustomStampKeepsWhatAStampCanShow) {
  const struct {
    std::u16string typed, kept;
  } cases[] = {
      {u"Checked by Jo", u"Checked by Jo"},
      {u"  Checked\tby\nJo  ", u"CheckedbyJo"},
      {u"   ", u""},
      {u"\u0001\u007F\u0085", u""},
      {u"Gepr\u00FCft \U0001F44D", u"Gepr\u00FCft \U0001F44D"},
      {u"lone \xD83D half", u"lone  half"},
  };
  for (const auto& c : cases) EXPECT_EQ(CustomStampText(c.typed), c.kept);
  // 64 characters at most, counted after the spaces before them go; a
  // character outside the basic plane is one, never halved.
  const std::u16string sixtyFive = u"  " + std::u16string(63, u'A') + u"\U0001F44D\U0001F44D";
  EXPECT_EQ(CustomStampText(sixtyFive), std::u16string(63, u'A') + u"\U0001F44D");
  EXPECT_EQ(CustomStampText(std::u16string(63, u'A') + u" B"), std::u16string(63, u'A'));
}

}  // namespace
}  // namespace AnnotationComment
