#include "host/utf.h"

#include <gtest/gtest.h>

#include "sdk/ks_utf.h"

using kshost::ToUtf16;
using kshost::ToUtf8;

TEST(Utf, RoundTripsAsciiBmpAndNonBmp) {
  const std::u16string text = u"a\u00e9\u20ac\U0001F600z";  // é, €, 😀
  const std::string utf8 = ToUtf8(text);
  EXPECT_EQ(utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(ToUtf16(utf8), text);
  EXPECT_EQ(ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf, LoneSurrogatesBecomeReplacementCharacters) {
  const std::u16string lone = {u'x', 0xD800, u'y', 0xDC00, 0xD83D};
  EXPECT_EQ(ToUtf16(ToUtf8(lone)), std::u16string(u"x\uFFFDy\uFFFD\uFFFD"));
  // A low surrogate before a high one is two lone halves, not a pair.
  EXPECT_EQ(ToUtf16(ToUtf8(std::u16string{0xDE00, 0xD83D})), u"\uFFFD\uFFFD");
}

TEST(Utf, MalformedUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");              // overlong NUL
  EXPECT_EQ(ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");    // encoded surrogate
  EXPECT_EQ(ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(ToUtf16("ab\xE2\x82"), u"ab\uFFFD\uFFFD");          // truncated at the end
  EXPECT_EQ(ToUtf16("\x80z"), u"\uFFFDz");                      // stray continuation
  EXPECT_EQ(ToUtf16("\xFF"), u"\uFFFD");
}

TEST(Utf, ViewOfNullIsEmpty) {
  EXPECT_TRUE(kshost::ViewOf(nullptr).empty());
  EXPECT_EQ(kshost::ViewOf(u"abc"), u"abc");
}

// One code point appended as UTF-16, the one encoder every typed key and
// laid-out glyph goes through. The expected units are those of the code
// point's UTF-8 form decoded independently.
TEST(Utf, AppendUtf16EncodesOneCodePoint) {
  struct Row {
    char32_t cp;
    std::u16string units;
  } rows[] = {
      {U'A', u"A"},
      {0x20AC, {0x20AC}},
      {0xFFFF, {0xFFFF}},
      {0x10000, ToUtf16("\xF0\x90\x80\x80")},
      {0x1F600, ToUtf16("\xF0\x9F\x98\x80")},
      {0x10FFFF, ToUtf16("\xF4\x8F\xBF\xBF")},
      {0xD83D, {0xD83D}},  // half of a pair typed on its own passes through
      {0x110000, u"\uFFFD"},
      {0xFFFFFFFF, u"\uFFFD"},
  };
  for (const Row& row : rows) {
    std::u16string out = u"x";
    ks::AppendUtf16(out, row.cp);
    EXPECT_EQ(out, u"x" + row.units) << std::hex << uint32_t(row.cp);
  }
}

// Text walked by code point: a pair is one, a lone half stands for itself,
// a high half at the very end is not read past.
TEST(Utf, NextCodePointJoinsPairsAndKeepsLoneHalves) {
  const std::u16string text = {u'a', 0xD83D, 0xDE00, 0xDC00, 0xD83D, u'b', 0xD800};
  std::u32string walked;
  for (size_t i = 0; i < text.size();) walked += ks::NextCodePoint(text, &i);
  EXPECT_EQ(walked, (std::u32string{U'a', 0x1F600, 0xDC00, 0xD83D, U'b', 0xD800}));
}
