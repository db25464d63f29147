// PDF text strings <-> UTF-16.
#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

TEST(PdfText, BytesToText) {
  std::pair<std::string, std::u16string> cases[] = {
      {"Plain", u"Plain"},
      // PDFDocEncoding differs from Latin-1 in 0x18-0x1F and 0x80-0xA0.
      {"\x18\x80\x92\x93\xA0\xE9", u"\u02D8\u2022\u2122\uFB01\u20AC\u00E9"},
      {std::string("\xFE\xFF\x00\x41\xD8\x3D\xDE\x00", 8), u"A\U0001F600"},
      {std::string("\xFF\xFE\x41\x00\xE9\x00", 6), u"A\u00E9"},
      {"\xEF\xBB\xBF" "caf\xC3\xA9", u"caf\u00E9"},
      // Broken input degrades instead of failing.
      {std::string("\xFE\xFF\x00\x41\x00", 5), u"A"},
      {std::string("\xFE\xFF\xD8\x00", 4), std::u16string(1, char16_t(0xD800))},
      {"\xEF\xBB\xBF" "a\xC3" "b\xED\xA0\x80", u"a\uFFFDb\uFFFD\uFFFD\uFFFD"},
  };
  for (auto const& [bytes, text] : cases) {
    Wide out;
    EXPECT_EQ(direct::PdfTextToWide(bytes.data(), bytes.size(), out), 1);
    EXPECT_EQ(out.text(), text) << bytes;
  }
}

TEST(PdfText, TextToBytes) {
  std::pair<std::u16string, std::string> cases[] = {
      {u"Hello\t\r\n", "Hello\t\r\n"},
      {u"\u00E9", std::string("\xFE\xFF\x00\xE9", 4)},
      // 0x1F is an accent in PDFDocEncoding, so it cannot stay one byte.
      {std::u16string(1, char16_t(0x1F)), std::string("\xFE\xFF\x00\x1F", 4)},
      {std::u16string(1, char16_t(0xDC00)), std::string("\xFE\xFF\xDC\x00", 4)},
  };
  for (auto const& [text, bytes] : cases) {
    Bytes out;
    EXPECT_EQ(direct::WideToPdfText(text.data(), text.size(), out), 1);
    EXPECT_EQ(out.text(), bytes);
  }
  for (std::u16string text : {u"ASCII only", u"\u00FCber \u2022 \U0001F600", u"\uFB01", u""}) {
    Owned str(direct::StringObjectNewFromText(text.data(), text.size()));
    Wide out;
    EXPECT_EQ(direct::StringObjectGetText(str.get(), out), 1);
    EXPECT_EQ(out.text(), text);
  }
}

}  // namespace
}  // namespace kshost::pdf::test
