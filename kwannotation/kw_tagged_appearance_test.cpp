// The tagged appearance text: escaping, the writer's exact elements,
// references and cycles, the reader's round trip, and bad text refused
// whole.
#include "kwannotation/kw_tagged_appearance.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"

namespace kwannotation {
namespace {

using test::HostDocTest;
namespace host = ks::host;

TEST(TaggedText, EscapingAndHex) {
  struct Case {
    std::string in;
    bool hex;
    const char* escaped;
  } cases[] = {
      {"plain text", false, "plain text"},
      {"a & b", false, "a &amp; b"},
      {"<'\">", false, "&lt;&apos;&quot;&gt;"},
      {"line\nfeed", true, nullptr},
      {"caf\xc3\xa9", true, nullptr},
      {std::string(4095, 'x'), false, nullptr},
      {std::string(4096, 'x'), true, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KW_TaggedNeedsHex(c.in), c.hex) << c.in.substr(0, 20);
    if (c.escaped) EXPECT_EQ(KW_TaggedEscape(c.in), c.escaped);
  }
  EXPECT_EQ(KW_TaggedHex("\n\xff" "A"), "0AFF41");
  for (std::string s : {"", "a", "ab", "abc", "\x00\xff\x10 tagged"}) {
    std::string back;
    ASSERT_TRUE(KW_DecodeTaggedText(KW_EncodeTaggedText(s), &back));
    EXPECT_EQ(back, s);
  }
  std::string ignored;
  EXPECT_FALSE(KW_DecodeTaggedText("not*base64", &ignored));
}

class TaggedAppearance : public HostDocTest {
 protected:
  KPD_Stream Stream(const std::string& data, const char* dict) {
    KPD_Stream s = host::DocNewStream(doc_, data.data(), data.size());
    test::Owned d = test::Parse(dict);
    const int32_t n = host::DictKeyCount(d.get());
    for (int32_t i = 0; i < n; ++i) {
      host::ByteString key;
      host::DictKeyAt(d.get(), i, key.get());
      host::DictSet(host::StreamGetDict(s), key.str().c_str(), host::DictGet(d.get(), key.str().c_str()));
    }
    return s;
  }
  std::string Data(KPD_Object stream, int decoded = 1) {
    host::ByteString out;
    host::StreamGetData(stream, decoded, out.get());
    return out.str();
  }
};

TEST_F(TaggedAppearance, WriterElements) {
  KPD_Stream form = Stream("0 0 1 rg 0 0 9 9 re f", "<< /Type /XObject /BBox [0 0 9.5 9] /Name (A&B) >>");
  KPD_Dictionary ap = Indirect("<< /V true >>");
  host::DictSet(ap, "/N", form);
  const std::string text = KW_WriteTaggedAppearance(ap);
  const std::string number = "1";  // the first object met through a reference
  EXPECT_EQ(text,
            "<DICT KEY=\"AP\">\n<STREAM KEY=\"N\" DEFINE=\"XFDFINDIRECTREF_" + number + "\">\n"
            "<ARRAY KEY=\"BBox\">\n<FIXED KEY=\"\" VAL=\"0\"/>\n"
            "<FIXED KEY=\"\" VAL=\"0\"/>\n<FIXED KEY=\"\" VAL=\"9.5\"/>\n<FIXED KEY=\"\" VAL=\"9\"/>\n</ARRAY>\n"
            "<STRING KEY=\"Name\" ENCODING=\"ASCII\">A&amp;B</STRING>\n<NAME KEY=\"Type\" VAL=\"XObject\"/>\n"
            "<DATA MODE=\"FILTERED\" ENCODING=\"ASCII\">0 0 1 rg 0 0 9 9 re f</DATA>\n</STREAM>\n"
            "<BOOL KEY=\"V\" VAL=\"1\"/>\n</DICT>\n");

  // A line feed, or 5000 bytes of plain text, go as RAW hexadecimal.
  KPD_Stream lines = Stream("q\nQ", "<< >>");
  KPD_Stream big = Stream(std::string(5000, 'a'), "<< >>");
  KPD_Dictionary ap2 = Indirect("<< >>");
  host::DictSet(ap2, "/N", lines);
  host::DictSet(ap2, "/D", big);
  const std::string t2 = KW_WriteTaggedAppearance(ap2);
  EXPECT_NE(t2.find("<DATA MODE=\"RAW\" ENCODING=\"HEX\">710A51</DATA>"), std::string::npos) << t2;
  EXPECT_NE(t2.find("<DATA MODE=\"RAW\" ENCODING=\"HEX\">6161"), std::string::npos);
}

TEST_F(TaggedAppearance, SelfReferenceIsWrittenOnceAndReadBackAsACycle) {
  KPD_Stream form = Stream("/Me Do", "<< /Subtype /Form /BBox [0 0 10 10] >>");
  test::Owned res = test::Parse("<< /XObject << >> >>");
  host::DictSet(host::StreamGetDict(form), "/Resources", res.get());
  host::DictSet(host::DictGet(host::DictGet(host::StreamGetDict(form), "/Resources"), "/XObject"), "/Me", form);
  KPD_Dictionary ap = Indirect("<< >>");
  host::DictSet(ap, "/N", form);
  const std::string text = KW_WriteTaggedAppearance(ap);
  size_t first = text.find("<STREAM");
  EXPECT_EQ(text.find("<STREAM", first + 1), std::string::npos) << text;
  EXPECT_NE(text.find("<NAME KEY=\"Me\" VAL=\"XFDFINDIRECTREF_"), std::string::npos) << text;

  std::string reason;
  test::Owned back(KW_ReadTaggedAppearance(doc_, text, &reason));
  ASSERT_TRUE(back) << reason;
  KPD_Object n = host::DictGet(back.get(), "/N");
  ASSERT_TRUE(n);
  EXPECT_EQ(Data(n), "/Me Do");
  KPD_Object me = host::DictGet(host::DictGet(host::DictGet(host::StreamGetDict(n), "/Resources"), "/XObject"), "/Me");
  EXPECT_TRUE(host::ObjectIsIdentical(me, n));
}

TEST_F(TaggedAppearance, RoundTripKeepsValuesAndRawData) {
  // Hex-encoded data that decodes to bytes below 32: stored as it is,
  // with its filter.
  const std::string flate = "0A0B41>";
  KPD_Stream raw = Stream(flate, "<< /Filter /ASCIIHexDecode >>");
  KPD_Stream text = Stream("BT (x) Tj ET", "<< /Subtype /Form /Matrix [1 0 0 1 -2.25 3] >>");
  KPD_Dictionary ap = Indirect("<< /Off (caf\xc3\xa9) /On << /Flag true /Off false >> >>");
  host::DictSet(ap, "/N", text);
  host::DictSet(ap, "/D", raw);
  std::string reason;
  test::Owned back(KW_ReadTaggedAppearance(doc_, KW_WriteTaggedAppearance(ap), &reason));
  ASSERT_TRUE(back) << reason;
  EXPECT_EQ(test::Write(host::DictGet(back.get(), "/On")), "<< /Flag true /Off false >>");
  EXPECT_EQ(test::Write(host::DictGet(back.get(), "/Off")), test::Write(host::DictGet(ap, "/Off")));
  KPD_Object d = host::DictGet(back.get(), "/D");
  EXPECT_EQ(Data(d, 0), flate);
  EXPECT_EQ(Data(d), "\n\x0b" "A");
  KPD_Object n = host::DictGet(back.get(), "/N");
  EXPECT_EQ(Data(n), "BT (x) Tj ET");
  EXPECT_EQ(test::Write(host::DictGet(host::StreamGetDict(n), "/Matrix")), "[ 1 0 0 1 -2.25 3 ]");
}

TEST_F(TaggedAppearance, ReaderTakesOneAndTrueInAnyCaseAsTrue) {
  const std::string text =
      "<DICT KEY=\"AP\">\n<BOOL KEY=\"A\" VAL=\"1\"/>\n<BOOL KEY=\"B\" VAL=\"TRUE\"/>\n"
      "<KW_BOOL KEY=\"C\" VAL=\"True\"/>\n<BOOL KEY=\"D\" VAL=\"0\"/>\n<BOOL KEY=\"E\" VAL=\"yes\"/>\n"
      "<INT KEY=\"F\" VAL=\"7\"/>\n<NAME KEY=\"G\" VAL=\"XFDFINDIRECTREF_99\"/>\n</DICT>\n";
  std::string reason;
  test::Owned back(KW_ReadTaggedAppearance(doc_, text, &reason));
  ASSERT_TRUE(back) << reason;
  EXPECT_EQ(test::Write(back.get()), "<< /A true /B true /C true /D false /E false /F 7 >>");
}

TEST_F(TaggedAppearance, BadTextIsRefusedWithAReason) {
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<ARRAY KEY=\"\">";
  const std::string cases[] = {
      "",
      "<DICT KEY=\"AP\">",
      "<DICT KEY=\"AP\"><NAME KEY=\"A\" VAL=\"x\"/></ARRAY>",
      "<DICT KEY=\"AP\"><FIXED KEY=\"A\" VAL=\"nan\"/></DICT>",
      "<DICT KEY=\"AP\"><WHAT KEY=\"A\"/></DICT>",
      "<DICT KEY=\"AP\"><DATA MODE=\"RAW\" ENCODING=\"HEX\">00</DATA></DICT>",
      "<DICT KEY=\"AP\"><STREAM KEY=\"N\" DEFINE=\"\"><NAME KEY=\"Filter\" VAL=\"LZWDecode\"/>"
      "<DATA MODE=\"FILTERED\" ENCODING=\"ASCII\">q Q</DATA></STREAM></DICT>",
      "<DICT KEY=\"AP\"><STREAM KEY=\"N\" DEFINE=\"\"><DATA MODE=\"RAW\" ENCODING=\"HEX\">0G</DATA></STREAM></DICT>",
      "<DICT KEY=\"AP\">" + deep,
      "<NAME KEY=\"AP\" VAL=\"x\"/>",
  };
  for (const std::string& text : cases) {
    std::string reason;
    test::Owned back(KW_ReadTaggedAppearance(doc_, text, &reason));
    EXPECT_FALSE(back) << text.substr(0, 80);
    EXPECT_FALSE(reason.empty()) << text.substr(0, 80);
  }
}

TEST_F(TaggedAppearance, TooDeepObjectsAreCutSoTheTextStaysReadable) {
  std::string deep;
  for (int i = 0; i < 400; ++i) deep += "[";
  for (int i = 0; i < 400; ++i) deep += "]";
  KPD_Dictionary ap = Indirect("<< >>");
  host::DictSet(ap, "/D", test::Parse(deep).get());
  std::string reason;
  test::Owned back(KW_ReadTaggedAppearance(doc_, KW_WriteTaggedAppearance(ap), &reason));
  EXPECT_TRUE(back) << reason;
}

TEST_F(TaggedAppearance, HugeDataIsRefused) {
  std::string text = "<DICT KEY=\"AP\"><STREAM KEY=\"N\" DEFINE=\"\"><DATA MODE=\"RAW\" ENCODING=\"HEX\">";
  text.append(100u << 20, 'A');
  text += "</DATA></STREAM></DICT>";
  std::string reason;
  test::Owned back(KW_ReadTaggedAppearance(doc_, text, &reason));
  EXPECT_FALSE(back);
  EXPECT_NE(reason.find("MB"), std::string::npos) << reason;
}

}  // namespace
}  // namespace kwannotation
