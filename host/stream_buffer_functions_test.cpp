#include <cstring>
#include <string>

#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

class StreamBuffer : public ::testing::Test {
 protected:
  void SetUp() override { doc_.reset(direct::DocNew()); }
  // A lent buffer holding `text`, with room for `capacity` bytes.
  static char* Filled(const std::string& text, size_t capacity) {
    char* buffer = direct::StreamBufferNew(capacity);
    EXPECT_NE(buffer, nullptr);
    if (buffer) std::memcpy(buffer, text.data(), text.size());
    return buffer;
  }
  static std::string Data(KPD_Stream stream) {
    Bytes out;
    EXPECT_EQ(direct::StreamGetData(stream, 1, out.str), 1);
    return out.text();
  }

  Doc doc_;
};

// The stream keeps the written bytes as its data, grown buffers and buffers
// far larger than their text included, and they outlive a save: the file
// read back holds them.
TEST_F(StreamBuffer, StreamTakesTheWrittenBytesAndSavesThem) {
  const std::string small = "0 0 m 10 10 l S\n";
  KPD_Stream a = direct::DocNewStreamFromBuffer(doc_.get(), Filled(small, small.size()), small.size());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Data(a), small);

  // Grown after the first bytes were written: they move with it.
  char* grown = Filled("abcd", 4);
  grown = direct::StreamBufferResize(grown, 3 << 20);
  ASSERT_NE(grown, nullptr);
  std::string big(3 << 20, 'x');
  big.replace(0, 4, "abcd");
  std::memset(grown + 4, 'x', big.size() - 4);
  KPD_Stream b = direct::DocNewStreamFromBuffer(doc_.get(), grown, big.size());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Data(b), big);

  // A megabyte lent for a few bytes of text.
  KPD_Stream c = direct::DocNewStreamFromBuffer(doc_.get(), Filled("q Q\n", 1 << 20), 4);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Data(c), "q Q\n");

  // An existing stream takes new data the same way.
  KPD_Stream d = direct::DocNewStream(doc_.get(), "old", 3);
  ASSERT_EQ(direct::StreamSetDataFromBuffer(d, Filled("new data", 64), 8), 1);
  EXPECT_EQ(Data(d), "new data");

  KPD_Dictionary root = direct::DocGetRoot(doc_.get());
  ASSERT_EQ(direct::DictSet(root, "/A", a), 1);
  ASSERT_EQ(direct::DictSet(root, "/B", b), 1);
  ASSERT_EQ(direct::DictSet(root, "/D", d), 1);
  TempDir dir;
  Bytes error;
  ASSERT_EQ(direct::DocSave(doc_.get(), (dir / "s.pdf").c_str(), error.str), 1) << error.text();
  doc_.reset();
  Doc back(direct::DocOpenFile((dir / "s.pdf").c_str(), error.str));
  ASSERT_NE(back, nullptr) << error.text();
  KPD_Dictionary root2 = direct::DocGetRoot(back.get());
  EXPECT_EQ(Data(direct::DictGet(root2, "/A")), small);
  EXPECT_EQ(Data(direct::DictGet(root2, "/B")), big);
  EXPECT_EQ(Data(direct::DictGet(root2, "/D")), "new data");
}

// Only memory the host lent is taken, once, and never for more bytes than
// it holds; anything else is refused without touching it.
TEST_F(StreamBuffer, RefusesMemoryItDidNotLendOrNoLongerLends) {
  char foreign[16] = "not lent";
  EXPECT_EQ(direct::DocNewStreamFromBuffer(doc_.get(), foreign, 8), nullptr);
  EXPECT_EQ(direct::StreamBufferResize(foreign, 64), nullptr);
  direct::StreamBufferFree(foreign);  // not freed: it was never lent
  KPD_Stream target = direct::DocNewStream(doc_.get(), "keep", 4);
  EXPECT_EQ(direct::StreamSetDataFromBuffer(target, foreign, 8), 0);
  EXPECT_EQ(std::string(foreign), "not lent");

  // Longer than lent: refused, and the buffer is the host's again.
  char* shortBuffer = Filled("abc", 3);
  EXPECT_EQ(direct::DocNewStreamFromBuffer(doc_.get(), shortBuffer, 4), nullptr);
  EXPECT_EQ(direct::StreamBufferResize(shortBuffer, 8), nullptr);

  // Handed over once; the second time it is no longer lent.
  char* once = Filled("x", 1);
  EXPECT_NE(direct::DocNewStreamFromBuffer(doc_.get(), once, 1), nullptr);
  EXPECT_EQ(direct::StreamSetDataFromBuffer(target, once, 1), 0);

  // Not a stream, or no document: refused, the buffer taken back.
  Owned number = Parse("1");
  EXPECT_EQ(direct::StreamSetDataFromBuffer(number.get(), Filled("y", 1), 1), 0);
  EXPECT_EQ(direct::DocNewStreamFromBuffer(nullptr, Filled("z", 1), 1), nullptr);
  EXPECT_EQ(Data(target), "keep");
}

}  // namespace
}  // namespace kshost::pdf::test
