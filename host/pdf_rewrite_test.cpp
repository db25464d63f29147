// Whole-file saves that copy what did not change: reading where an object's
// text ends, what a rewritten file keeps and drops, objects written while a
// job still runs, and the numbers new objects take.
#include "host/pdf_rewrite.h"

#include <qpdf/QPDF.hh>

#include <map>
#include <set>

#include "host/pdf_document.h"
#include "host/pdf_test_support.h"
#include "host/session.h"

namespace kshost::pdf::test {
namespace {

// A PDF with the given objects (number -> body) and a cross-reference
// table; object 1 is the catalog.
std::string HandMadePdf(std::map<int, std::string> const& objects) {
  std::string pdf = "%PDF-1.6\n%\xe2\xe3\xcf\xd3\n";
  std::map<int, size_t> offsets;
  for (auto const& [number, body] : objects) {
    offsets[number] = pdf.size();
    pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
  }
  const int size = objects.rbegin()->first + 1;
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
  for (int n = 1; n < size; ++n) {
    char row[32];
    if (offsets.count(n))
      std::snprintf(row, sizeof row, "%010zu 00000 n \n", offsets[n]);
    else
      std::snprintf(row, sizeof row, "0000000000 00000 f \n");
    pdf += row;
  }
  pdf += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
         "\n%%EOF\n";
  return pdf;
}

// One page, one square whose color is 6 0 R's array, a content stream
// whose data says "endobj", and an object nothing refers to.
std::map<int, std::string> SquarePdfObjects() {
  return {
      {1, "<< /Type /Catalog /Pages 2 0 R >>"},
      {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
      {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R] /Contents 5 0 R >>"},
      {4, "<< /Type /Annot /Subtype /Square /Rect [10 10 90 90] /C 6 0 R /T (a (nested) name \\) endobj) >>"},
      {5, "<< /Length 7 0 R >>\nstream\n0 0 m 9 9 l S % endobj\nendstream"},  // 22 bytes
      {6, "[1 0 0] % a comment 8 0 R"},
      {7, "22"},
      {8, "<< /Secret (left over from an earlier revision) >>"},
  };
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

TEST(FullRewrite, CopiesWhatDidNotChangeAndLeavesOutWhatNothingReaches) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf";
  std::map<int, std::string> objects = SquarePdfObjects();
  WriteFile(in, HandMadePdf(objects));
  {
    Bytes error;
    Doc doc(OpenFile(in.c_str(), "", error));
    ASSERT_TRUE(doc) << error.text();
    KPD_Dictionary annot = direct::PageGetAnnot(direct::DocGetPage(doc.get(), 0), 0);
    Owned width(direct::NumberNew(7));
    ASSERT_TRUE(direct::DictSet(annot, "/Width", width.get()));
    ASSERT_TRUE(direct::DocSave(doc.get(), out.c_str(), error)) << error.text();
  }
  const std::string saved = ReadFile(out);
  // Unchanged objects are the file's own text, comments and all.
  for (int n : {1, 2, 3, 5, 6, 7})
    EXPECT_NE(saved.find(std::to_string(n) + " 0 obj\n" + objects[n] + "\nendobj"), std::string::npos) << n;
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
  std::map<int, std::string> objects = SquarePdfObjects();
  objects[5] = "<< /Length 7 0 R >>\nstream\n0 0 m 9 9 l S\nendstream";
  objects[7] = "50";  // the content stream's length is wrong
  const std::string pdf = HandMadePdf(objects);
  WriteFile(in, pdf);
  Bytes error;
  {
    Doc doc(OpenFile(in.c_str(), "", error));
    ASSERT_TRUE(doc) << error.text();
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
  auto [repaired, repairs] = contentOf(pdf);
  ASSERT_GT(repairs, 0u);
  auto [written, warnings] = contentOf(ReadFile(out));
  EXPECT_EQ(written, repaired);
  EXPECT_EQ(warnings, 0u);
}

TEST(FullRewrite, ReleasedObjectsReadAsNullAndTieTheDocumentToItsSave) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf", other = dir / "other.pdf";
  WriteFile(in, HandMadePdf(SquarePdfObjects()));
  Bytes error;
  Doc doc(OpenFile(in.c_str(), "", error));
  ASSERT_TRUE(doc) << error.text();
  Document* document = Document::FromKpd(doc.get());
  ASSERT_TRUE(document->BeginSave(out, Document::SaveMode::kAuto));
  KPD_Dictionary annot = direct::PageGetAnnot(direct::DocGetPage(doc.get(), 0), 0);
  Owned width(direct::NumberNew(7));
  ASSERT_TRUE(direct::DictSet(annot, "/Width", width.get()));
  ReleaseObjects(doc.get(), {annot});
  EXPECT_EQ(direct::ObjectGetType(annot), KPD_OBJ_NULL);

  // Once something was dropped, the document can only go to that file.
  std::string why;
  EXPECT_FALSE(document->Save(other, why));
  EXPECT_NE(why.find("already being written to"), std::string::npos) << why;
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.pdf"});
}

TEST(FullRewrite, ABegunSaveFinishesWithTheReleasedObjects) {
  TempDir dir;
  const std::string in = dir / "in.pdf", out = dir / "out.pdf";
  WriteFile(in, HandMadePdf(SquarePdfObjects()));
  Bytes error;
  Doc doc(OpenFile(in.c_str(), "", error));
  ASSERT_TRUE(doc) << error.text();
  Document* document = Document::FromKpd(doc.get());
  ASSERT_FALSE(document->BeginSave(in, Document::SaveMode::kAuto)) << "a save over the file read appends";
  ASSERT_TRUE(document->BeginSave(out, Document::SaveMode::kAuto));
  KPD_Dictionary annot = direct::PageGetAnnot(direct::DocGetPage(doc.get(), 0), 0);
  Owned width(direct::NumberNew(7));
  ASSERT_TRUE(direct::DictSet(annot, "/Width", width.get()));
  ReleaseObjects(doc.get(), {annot});
  // A change after the release, to an object not released, is saved too.
  Owned count(direct::NumberNew(1));
  ASSERT_TRUE(direct::DictSet(direct::DocGetPage(doc.get(), 0), "/UserUnit", count.get()));
  std::string why;
  ASSERT_TRUE(document->Save(out, why)) << why;

  const std::string saved = ReadFile(out);
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
  WriteFile(in, HandMadePdf(SquarePdfObjects()));
  Bytes error;
  std::vector<int> numbers;
  {
    Doc doc(OpenFile(in.c_str(), "", error));
    ASSERT_TRUE(doc) << error.text();
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
  std::map<int, std::string> objects = SquarePdfObjects();
  objects[40] = "(the highest)";
  const std::string pdf = HandMadePdf(objects);
  Bytes error;
  Doc doc(direct::DocOpenMemory(pdf.data(), pdf.size(), error));
  ASSERT_TRUE(doc) << error.text();
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
  std::map<int, std::string> objects = SquarePdfObjects();
  objects[9] = "<< /Broken [ 1 2 >> >>";
  const std::string pdf = HandMadePdf(objects);
  Bytes error;
  Doc doc(direct::DocOpenMemory(pdf.data(), pdf.size(), error));
  ASSERT_TRUE(doc) << error.text();
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
