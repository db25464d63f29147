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
  // The highlighter is a wide ink at half opacity that multiplies.
  const CommentToolInfo& h = *FindCommentTool("Highlighter");
  EXPECT_STREQ(h.intent, "InkHighlight");
  EXPECT_EQ(h.defaults.opacity, 50);
  EXPECT_GE(h.defaults.width, 8);
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

}  // namespace
}  // namespace AnnotationComment
