// Toolset files: the stored field encoding, reading what is sound out of
// damaged files, and writes that never lose the previous file.
#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <sstream>

#include "host/core_hft.h"
#include "host/file_util.h"
#include "host/test_temp_dir.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/annot_toolset.h"
#include "toolset/toolset_codec.h"

namespace AnnotationPlugin {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {kHex[c >> 4], kHex[c & 15]};
  return out;
}

std::string Zlib(const std::string& data) {
  uLongf n = compressBound(data.size());
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(n);
  return out;
}

TEST(ToolsetField, DecodesWhatItEncodesAndRefusesBrokenFields) {
  const std::string dict = "<</Subtype/Square/Rect[0 0 10 10]>>";
  const std::string encoded = EncodeToolsetField(dict);
  EXPECT_EQ(encoded.substr(0, 4), "7801");
  struct Case {
    const char* what;
    std::string text;
    bool ok;
    std::string value;
  } cases[] = {
      {"compressed", encoded, true, dict},
      {"empty", "", true, ""},
      {"plain text", "My Tools", true, "My Tools"},
      {"78 and too short for hex", "78ab", true, "78ab"},
      {"odd length", encoded.substr(0, encoded.size() - 1), false, ""},
      {"not hex", "78zz" + encoded.substr(4), false, ""},
      {"cut short", encoded.substr(0, encoded.size() - 8), false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "stale", why;
    EXPECT_EQ(DecodeToolsetField(c.text, &out, &why), c.ok) << c.what;
    EXPECT_EQ(out, c.value) << c.what;
    EXPECT_EQ(why.empty(), c.ok) << c.what;
  }
}

TEST(ToolsetField, AFieldThatInflatesBeyondTheCapFails) {
  // 65 MiB of zeros packs into about 65 KiB.
  const std::string bomb = Hex(Zlib(std::string(kMaxFieldBytes + (1 << 20), '\0')));
  ASSERT_EQ(bomb.substr(0, 2), "78");
  std::string out, why;
  EXPECT_FALSE(DecodeToolsetField(bomb, &out, &why));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(why.find("64 MiB"), std::string::npos);
  // Just under the cap still decodes.
  EXPECT_TRUE(DecodeToolsetField(Hex(Zlib(std::string(1000, 'a'))), &out, &why, 1000));
  EXPECT_FALSE(DecodeToolsetField(Hex(Zlib(std::string(1001, 'a'))), &out, &why, 1000));
}

class ToolsetFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ks::host::Bind(kshost::CoreHFT(), nullptr); }

  static std::string Item(const std::string& name, const std::string& type, const std::string& raw,
                          const std::string& mode = "drawing", const std::string& extra = "") {
    return "<ToolChestItem>" + extra + "<Name>" + name + "</Name><Type>Venko.PDF.Annotations.Annotation" + type +
           "</Type><Raw>" + raw + "</Raw><X>0.000000</X><Y>0.000000</Y><Index>0</Index><Mode>" + mode +
           "</Mode></ToolChestItem>";
  }
  static std::string File(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VenkoToolSet Version=\"1\"><Title>Review</Title>" + items +
           "</VenkoToolSet>";
  }
  static std::vector<std::string> Names(const CAnnot_ToolSet& set) {
    std::vector<std::string> out;
    for (auto& t : set.tools) out.push_back(ks::ToUtf8(t->name));
    return out;
  }
};

const char kSquare[] = "<</Subtype/Square/Rect[0 0 50 40]/C[1 0 0]>>";

TEST_F(ToolsetFileTest, LoadsTheSoundItemsAndReportsTheOthers) {
  const std::string raw = EncodeToolsetField(kSquare);
  const std::string polyRaw = EncodeToolsetField("<</Subtype/PolyLine/Rect[0 0 5 5]/Vertices[0 0 5 5]>>");
  std::string selfRef = "<Resources><ID>REFID_a</ID><Key>XObject</Key><Data>&lt;&lt;/Resources&lt;&lt;/XObject"
                        "&lt;&lt;/X /REFID_a&gt;&gt;&gt;&gt;/Length 1&gt;&gt;\nstream\nQ\nendstream</Data></Resources>";
  const std::string text = File(
      Item("ok", "Square", raw) + Item("poly-subtype", "PolyLine", polyRaw) + Item("poly-list", "Polyline", polyRaw) +
      Item("unknown", "Widget", raw) + Item("properties", "Square", raw, "properties") +
      Item("odd-hex", "Square", raw.substr(0, raw.size() - 1)) + Item("bad-syntax", "Square", "&lt;&lt;/Rect [0 0") +
      Item("ok", "Square", raw) + Item("self", "Square", raw, "drawing", selfRef) +
      Item("bomb", "Square", Hex(Zlib(std::string(kMaxFieldBytes + 10, ' ')))));
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(text, u"/x/review.ktz", &problems);
  ASSERT_TRUE(set);
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"ok", "poly-subtype", "poly-list", "odd-hex", "bad-syntax", "self",
                                                   "bomb"}));
  EXPECT_TRUE(set->tools[0]->Dictionary());
  EXPECT_FLOAT_EQ(set->tools[0]->width, 50);
  EXPECT_TRUE(set->tools[1]->Dictionary());
  EXPECT_TRUE(set->tools[2]->Dictionary());
  for (int i : {3, 4, 6}) EXPECT_FALSE(set->tools[i]->Dictionary()) << Names(*set)[i];
  std::string report;
  for (auto& p : problems) report += p.file + ": " + p.where + ": " + p.why + "\n";
  for (const char* expected : {"item 4: unsupported type", "item 5: not a drawing tool", "item 6: Raw: hex text of odd",
                               "item 7: Raw is no PDF", "item 8: a second tool named", "item 10: Raw: the field inflates"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  EXPECT_EQ(report.find("/x/review.ktz: "), 0u);

  // A resource that names itself places without looping.
  ks::host::Bind(kshost::CoreHFT(), nullptr);
  KPD_Document doc = ks::host::DocNew();
  KS_FloatRect box{0, 0, 200, 200};
  ks::host::DocAddPage(doc, &box);
  auto& self = set->tools[5];
  ASSERT_TRUE(self->ParseRaw());
  self->raw = "<</Subtype/Square/Rect[0 0 5 5]/AP<</N/REFID_a>>>>";
  ASSERT_TRUE(self->ParseRaw());
  std::vector<KPD_Dictionary> placed;
  std::string error;
  EXPECT_TRUE(PlaceTool(doc, 0, *self, 10, 100, &placed, &error)) << error;
  ks::host::DocClose(doc);
}

TEST_F(ToolsetFileTest, DamagedFilesGiveNoToolsetAndAReason) {
  struct Case {
    const char* what;
    std::string text;
    const char* why;
  } cases[] = {
      {"truncated", File(Item("a", "Square", EncodeToolsetField(kSquare))).substr(0, 120), "line 1"},
      {"not XML", "{\"tools\": []}", "line 1"},
      {"another root", "<Toolsets/>", "VenkoToolSet"},
      {"deeply nested", std::string(100000, '<') , "line 1"},
  };
  for (const Case& c : cases) {
    std::vector<ToolsetProblem> problems;
    EXPECT_FALSE(ReadToolSet(c.text, u"/x/t.ktz", &problems)) << c.what;
    ASSERT_EQ(problems.size(), 1u) << c.what;
    EXPECT_NE(problems[0].why.find(c.why), std::string::npos) << c.what << ": " << problems[0].why;
  }
  std::string nested;
  for (int i = 0; i < 20000; ++i) nested += "<ToolChestItem>";
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(File(nested + std::string(20000 * 16, ' ')), u"/x/t.ktz", &problems);
  EXPECT_TRUE(!set || set->tools.empty());
}

TEST_F(ToolsetFileTest, TenThousandSectionsLoadInOrder) {
  std::string items;
  const std::string raw = EncodeToolsetField(kSquare);
  for (int i = 0; i < 10000; ++i) items += Item("t" + std::to_string(i), "Square", raw);
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(File(items), u"/x/t.ktz", &problems);
  ASSERT_TRUE(set);
  ASSERT_EQ(set->tools.size(), 10000u);
  EXPECT_EQ(ks::ToUtf8(set->tools[9999]->name), "t9999");
  EXPECT_TRUE(problems.empty());
}

TEST_F(ToolsetFileTest, WritesTheFormatAndReadsItBack) {
  CAnnot_ToolSet set;
  set.title = u"Prüfung";
  for (const char* name : {"b", "a", "c"}) {
    auto t = std::make_shared<CAnnot_Tool>();
    t->name = ks::ToUtf16(name);
    t->type = "Venko.PDF.Annotations.AnnotationSquare";
    t->raw = kSquare;
    t->x = 1.5f;
    t->index = 3;
    auto r = std::make_shared<CAnnot_ToolResource>();
    r->id = "REFID_1";
    r->key = "XObject";
    r->data = "<</Length 0>>\nstream\n\nendstream";
    t->resources.push_back(r);
    set.tools.push_back(t);
  }
  const std::string text = WriteToolSet(set);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><VenkoToolSet Version=\"1\"><Title>78", 0), 0u)
      << text.substr(0, 100);
  EXPECT_EQ(text.find("normalized"), std::string::npos);
  EXPECT_NE(text.find("<X>1.500000</X><Y>0.000000</Y><Index>3</Index><Mode>drawing</Mode>"), std::string::npos);
  std::vector<ToolsetProblem> problems;
  auto back = ReadToolSet(text, u"/x/t.ktz", &problems);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->title, set.title);
  EXPECT_EQ(Names(*back), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(back->tools[1]->resources.at(0)->data, set.tools[1]->resources[0]->data);
  EXPECT_EQ(back->tools[1]->raw, kSquare);
  EXPECT_TRUE(problems.empty());
}

TEST_F(ToolsetFileTest, NormalizedFilesAreMovedToTheOrigin) {
  const std::string raw = EncodeToolsetField("<</Subtype/Line/Rect[100 200 150 260]/L[100 200 150 260]>>");
  std::string text = File(Item("l", "Line", raw));
  std::vector<ToolsetProblem> problems;
  auto plain = ReadToolSet(text, u"/x/t.ktz", &problems);
  text.replace(text.find("Version=\"1\""), 11, "Version=\"1\" normalized=\"True\"");
  auto moved = ReadToolSet(text, u"/x/t.ktz", &problems);
  ASSERT_TRUE(plain && moved);
  EXPECT_NE(plain->tools[0]->raw.find("100"), std::string::npos);
  EXPECT_NE(moved->tools[0]->raw.find("/L [ 0 0 50 60 ]"), std::string::npos) << moved->tools[0]->raw;
}

TEST_F(ToolsetFileTest, AFailedWriteLeavesThePreviousFile) {
  kshost::testing::TempDir dir;
  const std::u16string path = ks::ToUtf16(dir / "review.ktz");
  CAnnot_ToolSet set;
  set.title = u"Review";
  ASSERT_TRUE(SaveToolSetFile(set, path));
  const std::string before = [&] { std::ifstream f(dir / "review.ktz"); std::stringstream s; s << f.rdbuf(); return s.str(); }();
  set.title = u"Changed";
  kshost::FileFaults faults;
  faults.writes = 1;
  faults.error = ENOSPC;
  kshost::InjectFileFaults(faults);
  EXPECT_FALSE(SaveToolSetFile(set, path));
  std::ifstream f(dir / "review.ktz");
  std::stringstream after;
  after << f.rdbuf();
  EXPECT_EQ(after.str(), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(ToolsetFileName, ComesFromTheTitle) {
  EXPECT_EQ(ToolsetFileNameFromTitle(u"a/b:c?"), u"a_b_c_.ktz");
  EXPECT_EQ(ToolsetFileNameFromTitle(u"  Review. "), u"Review.ktz");
  EXPECT_EQ(ToolsetFileNameFromTitle(u" . "), u"");
}

}  // namespace
}  // namespace AnnotationPlugin
