// Toolset files: the stored field encoding, reading what is sound out of
// damaged files, and writes that never lose the previous file.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "host/file_util.h"
#include "host/test_temp_dir.h"
#include "kwannotation/kw_test_support.h"
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
    size_t cap = kMaxFieldBytes;
  } cases[] = {
      {"compressed", encoded, true, dict},
      {"empty", "", true, ""},
      {"plain text", "My Tools", true, "My Tools"},
      {"78 and too short for hex", "78ab", true, "78ab"},
      {"odd length", encoded.substr(0, encoded.size() - 1), false, ""},
      {"not hex", "78zz" + encoded.substr(4), false, ""},
      {"cut short", encoded.substr(0, encoded.size() - 8), false, ""},
      {"inflating to the cap", Hex(Zlib(std::string(1000, 'a'))), true, std::string(1000, 'a'), 1000},
      {"inflating beyond the cap", Hex(Zlib(std::string(1001, 'a'))), false, "", 1000},
  };
  for (const Case& c : cases) {
    std::string out = "stale", why;
    EXPECT_EQ(DecodeToolsetField(c.text, &out, &why, c.cap), c.ok) << c.what;
    EXPECT_EQ(out, c.value) << c.what;
    EXPECT_EQ(why.empty(), c.ok) << c.what;
  }
}

class ToolsetFileTest : public kwannotation::test::HostDocTest {
 protected:
  // Places `tool` at (10, 100) on the page; the first annotation placed.
  KPD_Dictionary Place(const CAnnot_Tool& tool) {
    std::vector<KPD_Dictionary> placed;
    std::string error;
    EXPECT_TRUE(PlaceTool(doc_, 0, tool, 10, 100, &placed, &error)) << error;
    return placed.empty() ? nullptr : placed[0];
  }

  static std::string Item(const std::string& name, const std::string& type, const std::string& raw,
                          const std::string& mode = "drawing", const std::string& extra = "") {
    return "<ToolChestItem>" + extra + "<Name>" + name + "</Name><Type>Venko.PDF.Annotations.Annotation" + type +
           "</Type><Raw>" + raw + "</Raw><X>0.000000</X><Y>0.000000</Y><Index>0</Index><Mode>" + mode +
           "</Mode></ToolChestItem>";
  }
  static std::string Resource(const std::string& id, const std::string& key, const std::string& data) {
    return "<Resources><ID>" + id + "</ID><Key>" + key + "</Key><Data>" + data + "</Data></Resources>";
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

// The text of the string `key` of `dict`.
std::string TextOf(KPD_Dictionary dict, const char* key) {
  ks::host::ByteString bytes;
  ks::host::StringGetBytes(ks::host::DictGet(dict, key), bytes.get());
  return bytes.str();
}

const char kSquare[] = "<</Subtype/Square/Rect[0 0 50 40]/C[1 0 0]>>";

TEST_F(ToolsetFileTest, LoadsTheSoundItemsAndReportsTheOthers) {
  const std::string raw = EncodeToolsetField(kSquare);
  const std::string polyRaw = EncodeToolsetField("<</Subtype/PolyLine/Rect[0 0 5 5]/Vertices[0 0 5 5]>>");
  const std::string selfRef = Resource("REFID_a", "XObject",
                                      "&lt;&lt;/Resources&lt;&lt;/XObject&lt;&lt;/X /REFID_a&gt;&gt;&gt;&gt;"
                                      "/Length 1&gt;&gt;\nstream\nQ\nendstream");
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
                               "item 7: Raw is no PDF", "item 8: a second tool named",
                               "item 10: Raw: the field inflates beyond 64 MiB"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  EXPECT_EQ(report.find("/x/review.ktz: "), 0u);

  // A resource that names itself places without looping.
  auto& self = set->tools[5];
  ASSERT_TRUE(self->ParseRaw());
  self->raw = "<</Subtype/Square/Rect[0 0 5 5]/AP<</N/REFID_a>>>>";
  ASSERT_TRUE(self->ParseRaw());
  EXPECT_TRUE(Place(*self));
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
    r->SetData("<</Length 0>>\nstream\n\nendstream");
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
  EXPECT_EQ(back->tools[1]->resources.at(0)->Data(), set.tools[1]->resources[0]->Data());
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

// Files written before arcs carried their intent and text boxes their
// margin read as the tools they were; a callout, and a style that says its
// margin, stay as they are; the stored text is not touched.
TEST_F(ToolsetFileTest, OldToolsGetTheirIntentAndMarginOnLoad) {
  auto field = [](const char* dict) { return EncodeToolsetField(dict); };
  const std::string text =
      File(Item("arc", "Arc", field("<</Subtype/Circle/Rect[0 0 50 50]>>")) +
           Item("box", "FreeText", field("<</Subtype/FreeText/Rect[0 0 90 30]/DS(font: Helvetica 12pt)>>")) +
           Item("callout", "FreeText",
                field("<</Subtype/FreeText/IT/FreeTextCallout/Rect[0 0 90 30]/DS(font: Helvetica 12pt)>>")) +
           Item("spaced", "FreeText", field("<</Subtype/FreeText/Rect[0 0 90 30]/DS(font: Helvetica 12pt;margin:2pt)>>")));
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(text, u"/x/old.ktz", &problems);
  ASSERT_TRUE(set);
  ASSERT_EQ(set->tools.size(), 4u);
  EXPECT_TRUE(ks::host::NameIs(ks::host::DictGet(set->tools[0]->Dictionary(), "/IT"), "/CircleArc"));
  EXPECT_EQ(set->tools[0]->raw.find("CircleArc"), std::string::npos);
  EXPECT_EQ(TextOf(set->tools[1]->Dictionary(), "/DS"), "font: Helvetica 12pt;margin:5pt");
  EXPECT_EQ(TextOf(set->tools[2]->Dictionary(), "/DS"), "font: Helvetica 12pt");
  EXPECT_EQ(TextOf(set->tools[3]->Dictionary(), "/DS"), "font: Helvetica 12pt;margin:2pt");

  // What is placed is the tool as loaded: the arc is an arc, the box has
  // its margin.
  EXPECT_TRUE(ks::host::NameIs(ks::host::DictGet(Place(*set->tools[0]), "/IT"), "/CircleArc"));
  EXPECT_EQ(TextOf(Place(*set->tools[1]), "/DS"), "font: Helvetica 12pt;margin:5pt");
}

double RotationOf(KPD_Dictionary dict) {
  KPD_Object r = ks::host::DictGet(dict, "/Rotation");
  return r ? ks::host::ObjectGetNumber(r) : -999;
}

// A file stores a shape's turn as the negative of its "Rotation": a tool
// from another producer's file places with the turn its shape had, and a
// captured one comes back with the turn it was captured with, also after
// a save and a load; saving writes the stored form again.
TEST_F(ToolsetFileTest, AStoredRotationIsTheNegativeOfTheShapesTurn) {
  const std::string theirs = File(Item("turned", "Square", EncodeToolsetField(
      "<</Subtype/Square/Rect[0 0 50 40]/Rotation -30>>")) + Item("half", "Circle", EncodeToolsetField(
      "<</Subtype/Circle/Rect[0 0 50 40]/Rotation 12.5>>")));
  auto loaded = ReadToolSet(theirs, u"/x/theirs.ktz", nullptr);
  ASSERT_TRUE(loaded && loaded->tools.size() == 2);
  EXPECT_EQ(RotationOf(loaded->tools[0]->Dictionary()), 30);
  EXPECT_EQ(RotationOf(Place(*loaded->tools[0])), 30);
  EXPECT_EQ(RotationOf(Place(*loaded->tools[1])), -12.5);
  const std::string again = WriteToolSet(*loaded);
  auto reread = ReadToolSet(again, u"/x/theirs.ktz", nullptr);
  ASSERT_TRUE(reread && reread->tools.size() == 2);
  EXPECT_NE(reread->tools[0]->raw.find("/Rotation -30"), std::string::npos) << reread->tools[0]->raw;

  // Captured from a page, the turn is stored negated and placed as it was.
  Add("<</Type/Annot/Subtype/Square/Rect[100 100 150 140]/Rotation 45/NM(sq)>>");
  CAnnot_ToolSet mine;
  ASSERT_TRUE(mine.AddTool(page_, ks::host::PageAnnotCount(page_) - 1));
  EXPECT_NE(mine.tools[0]->raw.find("/Rotation -45"), std::string::npos) << mine.tools[0]->raw;
  EXPECT_EQ(RotationOf(Place(*mine.tools[0])), 45);
  auto back = ReadToolSet(WriteToolSet(mine), u"/x/mine.ktz", nullptr);
  ASSERT_TRUE(back && back->tools.size() == 1);
  EXPECT_EQ(RotationOf(Place(*back->tools[0])), 45);
}

TEST_F(ToolsetFileTest, AFailedWriteLeavesThePreviousFile) {
  kshost::testing::TempDir dir;
  const std::u16string path = ks::ToUtf16(dir / "review.ktz");
  CAnnot_ToolSet set;
  set.title = u"Review";
  ASSERT_TRUE(SaveToolSetFile(set, path));
  auto read = [&] {
    std::ifstream f(dir / "review.ktz");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  const std::string before = read();
  set.title = u"Changed";
  kshost::FileFaults faults;
  faults.writes = 1;
  faults.error = ENOSPC;
  kshost::InjectFileFaults(faults);
  EXPECT_FALSE(SaveToolSetFile(set, path));
  EXPECT_EQ(read(), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

// Parts of a file this version cannot use: a tool of an unknown type, a
// properties tool, a Raw that does not decode, a resource without a REFID_
// name, elements it does not know. A changed toolset writes them back.
TEST_F(ToolsetFileTest, WhatCannotBeReadIsWrittenBackAsItWas) {
  const std::string raw = EncodeToolsetField(kSquare);
  const std::string corrupt = raw.substr(0, raw.size() - 1);
  const std::string strangeResource = Resource("NOREF", "XObject", "x");
  const std::string future = "<Future a=\"1\">later</Future>";
  const std::string unknown = Item("unknown", "Sound", raw);
  const std::string properties = Item("props", "Square", raw, "properties");
  const std::string text = File(Item("first", "Square", raw, "drawing", strangeResource) + unknown +
                                Item("corrupt", "Square", corrupt) + properties +
                                Item("last", "Square", raw, "drawing", future) + "<Extra>kept</Extra>");
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(text, u"/x/kit.ktz", &problems);
  ASSERT_TRUE(set);
  ASSERT_EQ(Names(*set), (std::vector<std::string>{"first", "corrupt", "last"}));
  EXPECT_FALSE(set->tools[1]->Dictionary());
  ASSERT_TRUE(set->ChangeToolPosition(set->tools[2].get(), AnnotToolPosOperation::kMoveToTop));
  EXPECT_TRUE(set->modified);
  const std::string written = WriteToolSet(*set);
  for (const std::string& part : {strangeResource, future, unknown, properties, "<Raw>" + corrupt + "</Raw>",
                                  std::string("<Extra>kept</Extra>")})
    EXPECT_NE(written.find(part), std::string::npos) << part << "\n" << written;
  // Unread items stay behind the tool they followed.
  std::vector<size_t> at;
  for (const char* name : {"last", "first", "unknown", "corrupt", "props"})
    at.push_back(written.find("<Name>" + std::string(name) + "</Name>"));
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << written;
  // Read again, the file is the same toolset with the same unread parts.
  auto again = ReadToolSet(written, u"/x/kit.ktz", &problems);
  ASSERT_TRUE(again);
  EXPECT_EQ(Names(*again), (std::vector<std::string>{"last", "first", "corrupt"}));
  EXPECT_EQ(WriteToolSet(*again), written);
}

// Dragging a tool in the chest moves it to a position; the others keep
// their order, a position past the end is the last, and a tool of another
// toolset moves nothing.
TEST_F(ToolsetFileTest, AToolMovesToAPositionAndTheOthersKeepTheirOrder) {
  const std::string raw = EncodeToolsetField(kSquare);
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(File(Item("a", "Square", raw) + Item("b", "Square", raw) + Item("c", "Square", raw) +
                              Item("d", "Square", raw)),
                         u"/x/kit.ktz", &problems);
  ASSERT_TRUE(set);
  ASSERT_TRUE(set->MoveTool(set->tools[3].get(), 1));
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"a", "d", "b", "c"}));
  EXPECT_TRUE(set->modified);
  ASSERT_TRUE(set->MoveTool(set->tools[0].get(), 2));
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"d", "b", "a", "c"}));
  ASSERT_TRUE(set->MoveTool(set->tools[1].get(), 99));
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"d", "a", "c", "b"}));
  CAnnot_Tool stranger;
  EXPECT_FALSE(set->MoveTool(&stranger, 0));
  EXPECT_EQ(Names(*set), (std::vector<std::string>{"d", "a", "c", "b"}));
}

TEST_F(ToolsetFileTest, ResourceDataIsInflatedOnFirstUseOnly) {
  const std::string data = "<</Length 1>>\nstream\nQ\nendstream";
  const std::string resource =
      Resource(EncodeToolsetField("REFID_1"), EncodeToolsetField("XObject"), EncodeToolsetField(data));
  auto set = ReadToolSet(File(Item("t", "Square", EncodeToolsetField(kSquare), "drawing", resource)), u"/x/t.ktz",
                         nullptr);
  ASSERT_TRUE(set);
  const auto& res = set->tools.at(0)->resources.at(0);
  EXPECT_EQ(res->id, "REFID_1");
  EXPECT_FALSE(res->Inflated());
  EXPECT_EQ(set->budget->used, std::string(kSquare).size() + 7 + 7 + 6);  // Raw, ID, Key, Title
  // Written back unread, the stored field is the same text.
  EXPECT_NE(WriteToolSet(*set).find(EncodeToolsetField(data)), std::string::npos);
  EXPECT_FALSE(res->Inflated());
  EXPECT_EQ(res->Data(), data);
  EXPECT_TRUE(res->Inflated());
}

// Fields that pack small and inflate large (the package that cost every
// command 2 GB had thirty of 60 MiB), against a cap of 1 MiB here.
TEST_F(ToolsetFileTest, APackageBeyondTheInflatedCapIsRefusedAndLoadsWithinIt) {
  constexpr size_t kCap = 1 << 20, kField = 300 << 10;
  const std::string big = Hex(Zlib(std::string(kField, ' ')));
  std::string resources;
  for (int i = 0; i < 6; ++i) resources += Resource("REFID_" + std::to_string(i), "XObject", big);
  const std::string text = File(Item("t", "Square", EncodeToolsetField(kSquare), "drawing", resources));
  const ToolsetPackageScan scan = ScanToolsetPackage(text, kCap);
  EXPECT_FALSE(scan.sound);
  EXPECT_TRUE(scan.tooLarge);
  EXPECT_NE(scan.why.find("more than 1 MiB"), std::string::npos) << scan.why;
  EXPECT_TRUE(ScanToolsetPackage(text).sound);  // the real cap lets its 1.8 MiB through
  // Three fields fit, so that much of the package is sound.
  const size_t three = text.find("<Resources><ID>REFID_3");
  const ToolsetPackageScan small = ScanToolsetPackage(text.substr(0, three) + "</ToolChestItem></VenkoToolSet>", kCap);
  EXPECT_TRUE(small.sound) << small.why;
  EXPECT_GE(small.inflated, 3 * kField);
  EXPECT_LT(small.inflated, 3 * kField + 1024);
  // A file already stored loads without inflating its data, and what it
  // inflates later stays within the cap: the fourth field does not fit.
  auto set = ReadToolSet(text, u"/x/t.ktz", nullptr);
  ASSERT_TRUE(set);
  set->budget->limit = kCap;
  auto& res = set->tools.at(0)->resources;
  ASSERT_EQ(res.size(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(res[i]->Data(), std::string(kField, ' ')) << i;
  for (int i = 3; i < 6; ++i) EXPECT_TRUE(res[i]->Data().empty()) << i;
  EXPECT_LE(set->budget->used, kCap);
  // The stored fields are written back as they were, inflated or not.
  const std::string written = WriteToolSet(*set);
  size_t count = 0;
  for (size_t at = written.find(big); at != std::string::npos; at = written.find(big, at + 1)) ++count;
  EXPECT_EQ(count, 6u);
}

TEST(ToolsetFileName, ComesFromTheTitle) {
  EXPECT_EQ(ToolsetFileNameFromTitle(u"a/b:c?"), u"a_b_c_.ktz");
  EXPECT_EQ(ToolsetFileNameFromTitle(u"  Review. "), u"Review.ktz");
  EXPECT_EQ(ToolsetFileNameFromTitle(u" . "), u"");
}

}  // namespace
}  // namespace AnnotationPlugin
