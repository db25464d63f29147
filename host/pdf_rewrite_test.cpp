// Whole-file saves that copy what did not change: reading where an object's
// text ends, what a rewritten file keeps and drops, objects written while a
// job still runs, and the numbers new objects take.
#include "host/pdf_rewrite.h"

#include <qpdf/QPDF.hh>

#include <set>

#include "host/pdf_document.h"
#include "host/pdf_test_support.h"
#include "host/session.h"

namespace kshost::pdf::test {
namespace {

// One page, one square whose color is 6 0 R's array, a content stream
// whose data says "endobj", and an object nothing refers to: object n is
// element n - 1.
std::vector<std::string> SquarePdfObjects() {
  return {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R] /Contents 5 0 R >>",
      "<< /Type /Annot /Subtype /Square /Rect [10 10 90 90] /C 6 0 R /T (a (nested) name \\) endobj) >>",
      "<< /Length 7 0 R >>\nstream\n0 0 m 9 9 l S % endobj\nendstream",  // 22 bytes
      "[1 0 0] % a comment 8 0 R",
      "22",
      "<< /Secret (left over from an earlier revision) >>",
  };
}

// `objects` written to `path` and opened from there.
Doc WrittenAndOpened(std::string const& path, std::vector<std::string> const& objects) {
  WriteFile(path, PdfOfObjects(objects));
  return OpenedFile(path);
}

TEST(ObjectScan, FindsTheEndAndTheReferencesOfEachKindOfText) {
  struct Case {
    char const* what;
    std::string text;
    bool ok;
    std::vector<int> references;
  };
  const std::string data = "BT (endobj) Tj ET endobj\n";
  const Case cases[] = {
      {"references in dictionaries and arrays, not in strings",
       "3 0 obj << /A 2 0 R /B [4 0 R (5 0 R) <35> 6 1 R] /C << /D 7 0 R >> >> endobj", true, {2, 4, 6, 7}},
      {"a string with nested and escaped parentheses and an endobj in it", "3 0 obj (a (b) endobj \\) c) endobj",
       true, {}},
      {"a comment that says endobj", "3 0 obj % endobj 9 0 R\n[1 2] endobj", true, {}},
      {"a stream whose data says endobj",
       "3 0 obj << /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj", true,
       {}},
      {"a stream whose length is wrong", "3 0 obj << /Length 3 >>\nstream\n" + data + "\nendstream\nendobj", false,
       {}},
      {"a negative length", "3 0 obj << /Length -4 >>\nstream\nabcd\nendstream\nendobj", false, {}},
      {"no endobj before the next object", "3 0 obj << /A 1 >>\n4 0 obj << >> endobj", false, {}},
      {"the file ends inside a string", "3 0 obj (never closed endobj", false, {}},
      {"the file ends inside a dictionary", "3 0 obj << /A 2 0 R", false, {}},
      {"not an object header", "3 obj << >> endobj", false, {}},
      {"an object number out of range", "99999999999 0 obj 1 endobj", false, {}},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.what);
    ScannedObject scanned;
    const std::string text = "  \n" + c.text + "\ntrailing";
    ASSERT_EQ(ScanObject(text, 0, nullptr, scanned), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(scanned.number, 3);
    EXPECT_EQ(text.substr(scanned.begin, scanned.end - scanned.begin), c.text);
    std::vector<int> numbers;
    for (QPDFObjGen og : scanned.references) numbers.push_back(og.getObj());
    EXPECT_EQ(numbers, c.references);
  }

  // A length kept in an object of its own is asked for; one that cannot be
  // read fails the scan.
  const std::string indirect = "3 0 obj << /Length 9 0 R >>\nstream\n" + data + "\nendstream\nendobj";
  ScannedObject scanned;
  auto length = [&](QPDFObjGen og, int64_t& value) {
    value = static_cast<int64_t>(data.size());
    return og.getObj() == 9;
  };
  ASSERT_TRUE(ScanObject(indirect, 0, length, scanned));
  EXPECT_TRUE(scanned.isStream);
  EXPECT_EQ(scanned.end, indirect.size());
  EXPECT_FALSE(ScanObject(indirect, 0, nullptr, scanned));

  ASSERT_TRUE(ScanObject("7 0 obj\n-12\nendobj", 0, nullptr, scanned));
  EXPECT_TRUE(scanned.isInteger);
  EXPECT_EQ(scanned.integer, -12);
  ASSERT_TRUE(ScanObject("7 0 obj 12 0 R endobj", 0, nullptr, scanned));
  EXPECT_FALSE(scanned.isInteger);
}

// Saved elsewhere twice, a file comes out the same: its /ID is derived
// from the content.
TEST(FullRewrite, CopiesWhatDidNotChangeAndLeavesOutWhatNothingReaches) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf";
  const std::vector<std::string> objects = SquarePdfObjects();
  {
    Doc doc = WrittenAndOpened(in, objects);
    ASSERT_TRUE(doc);
    KPD_Dictionary annot = direct::PageGetAnnot(direct::DocGetPage(doc.get(), 0), 0);
    Owned width(direct::NumberNew(7));
    ASSERT_TRUE(direct::DictSet(annot, "/Width", width.get()));
    Bytes error;
    for (std::string const& path : {out, dir / "again.pdf"})
      ASSERT_TRUE(direct::DocSave(doc.get(), path.c_str(), error)) << error.text();
  }
  const std::string saved = ReadFile(out);
  EXPECT_EQ(ReadFile(dir / "again.pdf"), saved);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"again.pdf", "in.pdf", "out.pdf"}));
  // Unchanged objects are the file's own text, comments and all.
  for (int n : {1, 2, 3, 5, 6, 7})
    EXPECT_NE(saved.find(std::to_string(n) + " 0 obj\n" + objects[n - 1] + "\nendobj"), std::string::npos) << n;
  EXPECT_EQ(saved.find("left over"), std::string::npos);

  QPDF check;
  check.processMemoryFile("out", saved.data(), saved.size());
  QPDFObjectHandle annot = check.getObject(4, 0);
  EXPECT_EQ(annot.getKey("/Width").getIntValue(), 7);
  EXPECT_EQ(annot.getKey("/T").getUTF8Value(), "a (nested) name ) endobj");
  EXPECT_EQ(check.getObject(5, 0).getStreamData()->getSize(), 22u);
  EXPECT_TRUE(check.getObject(8, 0).isNull());
  EXPECT_TRUE(check.getWarnings().empty());
}

TEST(FullRewrite, TextQpdfHadToRepairIsWrittenAsQpdfReadIt) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf";
  std::vector<std::string> objects = SquarePdfObjects();
  objects[4] = "<< /Length 7 0 R >>\nstream\n0 0 m 9 9 l S\nendstream";
  objects[6] = "50";  // the content stream's length is wrong
  {
    Doc doc = WrittenAndOpened(in, objects);
    ASSERT_TRUE(doc);
    Bytes error;
    ASSERT_TRUE(direct::DocSave(doc.get(), out.c_str(), error)) << error.text();
  }
  auto contentOf = [](std::string const& file) {
    QPDF qpdf;
    qpdf.setSuppressWarnings(true);
    qpdf.processMemoryFile("file", file.data(), file.size());
    auto data = qpdf.getObject(5, 0).getRawStreamData();
    return std::make_pair(std::string(reinterpret_cast<char const*>(data->getBuffer()), data->getSize()),
                          qpdf.getWarnings().size());
  };
  auto [repaired, repairs] = contentOf(ReadFile(in));
  ASSERT_GT(repairs, 0u);
  auto [written, warnings] = contentOf(ReadFile(out));
  EXPECT_EQ(written, repaired);
  EXPECT_EQ(warnings, 0u);
}

// A document whose save to out.pdf is begun, its square given a width of
// 7 and released: written out and dropped from memory.
class BegunSave : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_ = WrittenAndOpened(in_, SquarePdfObjects());
    ASSERT_TRUE(doc_);
    document_ = Document::FromKpd(doc_.get());
    ASSERT_FALSE(document_->BeginSave(in_, Document::SaveMode::kAuto)) << "a save over the file read appends";
    ASSERT_TRUE(document_->BeginSave(out_, Document::SaveMode::kAuto));
    annot_ = direct::PageGetAnnot(direct::DocGetPage(doc_.get(), 0), 0);
    Owned width(direct::NumberNew(7));
    ASSERT_TRUE(direct::DictSet(annot_, "/Width", width.get()));
    ReleaseObjects(doc_.get(), {annot_});
  }

  TempDir dir_;
  const std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
  Doc doc_;
  Document* document_ = nullptr;
  KPD_Dictionary annot_ = nullptr;
};

// Once something was dropped, the document can only go to that file, and
// a save refused elsewhere leaves that save to be finished with what it holds.
TEST_F(BegunSave, ReleasedObjectsReadAsNullAndTieTheDocumentToItsSave) {
  EXPECT_EQ(direct::ObjectGetType(annot_), KPD_OBJ_NULL);
  std::string why;
  EXPECT_FALSE(document_->Save(dir_ / "other.pdf", why));
  EXPECT_NE(why.find("already being written to"), std::string::npos) << why;
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"in.pdf"});
  ASSERT_TRUE(document_->Save(out_, why)) << why;
  const std::string saved = ReadFile(out_);
  QPDF check;
  check.processMemoryFile("out", saved.data(), saved.size());
  EXPECT_EQ(check.getObject(4, 0).getKey("/Width").getIntValue(), 7);
}

TEST_F(BegunSave, FinishesWithTheReleasedObjects) {
  // A change after the release, to an object not released, is saved too.
  Owned count(direct::NumberNew(1));
  ASSERT_TRUE(direct::DictSet(direct::DocGetPage(doc_.get(), 0), "/UserUnit", count.get()));
  std::string why;
  ASSERT_TRUE(document_->Save(out_, why)) << why;
  const std::string saved = ReadFile(out_);
  QPDF check;
  check.processMemoryFile("out", saved.data(), saved.size());
  EXPECT_EQ(check.getObject(4, 0).getKey("/Width").getIntValue(), 7);
  EXPECT_EQ(check.getObject(3, 0).getKey("/UserUnit").getIntValue(), 1);
  EXPECT_EQ(check.getAllPages().size(), 1u);
  EXPECT_TRUE(check.getWarnings().empty());
}

// Streams set unfiltered are compressed on the way out, many of them by a
// second thread while objects after them wait their turn: each one's data
// and length, and every object's place in the table, come out right.
TEST(FullRewrite, ManyNewStreamsComeOutCompressedAndInPlace) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf";
  std::vector<int> numbers;
  {
    Doc doc = WrittenAndOpened(in, SquarePdfObjects());
    ASSERT_TRUE(doc);
    KPD_Dictionary page = direct::DocGetPage(doc.get(), 0);
    Owned list(direct::ArrayNew());
    for (int i = 0; i < 700; ++i) {
      const std::string content = "0 0 m " + std::to_string(i) + " " + std::to_string(i) + " l S\n";
      KPD_Object stream = direct::DocNewStream(doc.get(), content.data(), content.size());
      ASSERT_TRUE(stream);
      numbers.push_back(direct::ObjectGetObjNum(stream));
      direct::ArrayAppend(list.get(), stream);
      // Plain objects between the streams go out in their turn too.
      Owned dict(direct::DictNew());
      Owned index(direct::NumberNew(i));
      direct::DictSet(dict.get(), "/Index", index.get());
      direct::ArrayAppend(list.get(), direct::DocMakeIndirect(doc.get(), dict.get()));
    }
    ASSERT_TRUE(direct::DictSet(page, "/Pieces", list.get()));
    Bytes error;
    ASSERT_TRUE(direct::DocSave(doc.get(), out.c_str(), error)) << error.text();
  }
  const std::string saved = ReadFile(out);
  QPDF check;
  check.processMemoryFile("out", saved.data(), saved.size());
  QPDFObjectHandle pieces = check.getObject(3, 0).getKey("/Pieces");
  ASSERT_EQ(pieces.getArrayNItems(), 1400);
  for (int i = 0; i < 700; ++i) {
    QPDFObjectHandle stream = pieces.getArrayItem(2 * i);
    ASSERT_EQ(stream.getObjGen().getObj(), numbers[i]);
    EXPECT_EQ(stream.getDict().getKey("/Filter").getName(), "/FlateDecode");
    auto data = stream.getStreamData();
    EXPECT_EQ(std::string(reinterpret_cast<char const*>(data->getBuffer()), data->getSize()),
              "0 0 m " + std::to_string(i) + " " + std::to_string(i) + " l S\n");
    EXPECT_EQ(pieces.getArrayItem(2 * i + 1).getKey("/Index").getIntValue(), i);
  }
  EXPECT_TRUE(check.getWarnings().empty());
}

// A new object never takes the number of one of the file's, not even of
// the highest, which nothing refers to and nobody has read.
TEST(NewObjects, AreNumberedAboveEveryObjectOfTheFile) {
  std::vector<std::string> objects = SquarePdfObjects();
  objects.resize(39, "null");
  objects.push_back("(the highest)");
  Doc doc = OpenedBytes(PdfOfObjects(objects));
  ASSERT_TRUE(doc);
  Owned stream(direct::DocNewStream(doc.get(), "q Q", 3));
  ASSERT_TRUE(stream);
  EXPECT_GT(direct::ObjectGetObjNum(stream.get()), 40);
  Owned dict(direct::DictNew());
  KPD_Object made = direct::DocMakeIndirect(doc.get(), dict.get());
  EXPECT_GT(direct::ObjectGetObjNum(made), direct::ObjectGetObjNum(stream.get()));
  QPDF& qpdf = Document::FromKpd(doc.get())->qpdf();
  EXPECT_EQ(qpdf.getObject(40, 0).getUTF8Value(), "the highest");
}

// Making an object, counting references and saving read no object that
// nothing reaches: a broken one among them is never even looked at, where
// a read of every object would report it.
TEST(NewObjects, NothingReadsObjectsNobodyUses) {
  std::vector<std::string> objects = SquarePdfObjects();
  objects.push_back("<< /Broken [ 1 2 >> >>");
  Doc doc = OpenedBytes(PdfOfObjects(objects));
  ASSERT_TRUE(doc);
  ASSERT_EQ(direct::DocWarningCount(doc.get()), 0);
  Owned stream(direct::DocNewStream(doc.get(), "q Q", 3));
  ASSERT_TRUE(stream);
  KPD_Object page = direct::DocGetPage(doc.get(), 0);
  int32_t count = -1;
  ASSERT_TRUE(direct::DocCountReferences(doc.get(), &page, 1, &count));
  EXPECT_EQ(count, 1);
  std::string rewritten, why;
  ASSERT_TRUE(RewrittenFileOf(doc.get(), &rewritten, &why)) << why;
  EXPECT_EQ(direct::DocWarningCount(doc.get()), 0);
}

}  // namespace
}  // namespace kshost::pdf::test
