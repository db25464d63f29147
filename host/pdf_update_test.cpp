// Incremental saves: what an update holds, that the file before it stays
// byte for byte, that readers accept it, and how saves that cannot append
// fail or fall back.
#include "host/pdf_update.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstring>
#include <functional>
#include <regex>
#include <set>

#include "host/file_util.h"
#include "host/pdf_document.h"
#include "host/pdf_test_support.h"
#include "host/session.h"

namespace kshost::pdf::test {
namespace {

// One page with an indirect /Annots array holding one square whose border
// is a direct dictionary, a content stream, and `noise` bytes of data that
// does not compress (to make the file span several writes). With
// `xrefStream` the objects sit in object streams and the file ends in a
// cross-reference stream, else in a table; `encrypted` encrypts it with an
// empty user password.
std::string MadePdf(bool xrefStream, size_t noise = 0, std::string const& extraRoot = std::string(),
                    bool encrypted = false) {
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle page = qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 200 100] >>"));
  QPDFObjectHandle annot = qpdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Square /Rect [10 10 90 90] /BS << /W 1 >> /C [1 0 0] >>"));
  QPDFObjectHandle annots = qpdf.makeIndirectObject(QPDFObjectHandle::newArray());
  annots.appendItem(annot);
  page.replaceKey("/Annots", annots);
  page.replaceKey("/Contents", qpdf.newStream("0 0 m 50 50 l S"));
  if (noise) page.replaceKey("/Noise", qpdf.newStream(IncompressibleBytes(noise)));
  qpdf.addPage(page, false);
  if (!extraRoot.empty())
    for (auto [key, value] : QPDFObjectHandle::parse(extraRoot).ditems())
      qpdf.getRoot().replaceKey(key, value.isDictionary() ? qpdf.makeIndirectObject(value) : value);
  QPDFWriter writer(qpdf);
  writer.setOutputMemory();
  if (encrypted)
    writer.setR6EncryptionParameters("", "owner", true, true, true, true, true, true, qpdf_r3p_full, false);
  else
    writer.setDeterministicID(true);
  if (xrefStream) writer.setObjectStreamMode(qpdf_o_generate);
  writer.write();
  auto buffer = writer.getBufferSharedPointer();
  return std::string(reinterpret_cast<char const*>(buffer->getBuffer()), buffer->getSize());
}

// The object numbers written in an update, in the order written.
std::set<int> ObjectsIn(std::string const& update) {
  std::set<int> numbers;
  static const std::regex header("(^|\n)(\\d+) (\\d+) obj\n");
  for (std::sregex_iterator it(update.begin(), update.end(), header), end; it != end; ++it)
    numbers.insert(std::stoi((*it)[2]));
  return numbers;
}

struct Shell {
  int status;
  std::string output;
};

Shell Run(std::string const& command) {
  Shell result{-1, {}};
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// qpdf reads the file without a warning, poppler and MuPDF render it.
void ExpectReadersAccept(std::string const& path) {
  Shell check = Run("qpdf --check '" + path + "'");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
  Shell poppler = Run("pdftoppm -r 10 -singlefile '" + path + "' '" + path + ".p'");
  EXPECT_EQ(poppler.status, 0) << poppler.output;
  Shell mupdf = Run("mutool draw -r 10 -o '" + path + ".m.png' '" + path + "'");
  EXPECT_EQ(mupdf.status, 0) << mupdf.output;
  EXPECT_EQ(mupdf.output.find("error"), std::string::npos) << mupdf.output;
  std::filesystem::remove(path + ".p.ppm");
  std::filesystem::remove(path + ".m.png");
}

KPD_Dictionary FirstAnnot(KPD_Document doc) { return direct::PageGetAnnot(direct::DocGetPage(doc, 0), 0); }

double NumberAt(KPD_Dictionary dict, char const* key) { return direct::ObjectGetNumber(direct::DictGet(dict, key)); }

struct Edit {
  char const* name;
  // Changes the document; returns the numbers of the objects the update
  // must hold, exactly.
  std::function<std::set<int>(KPD_Document)> apply;
  // Checks the saved file, reopened.
  std::function<void(KPD_Document)> check;
};

// Every case saves over its source, for a file ending in a table and one
// ending in a cross-reference stream.
TEST(IncrementalSave, UpdateHoldsWhatChangedAfterTheUnchangedFile) {
  const Edit edits[] = {
      {"a direct dictionary inside the annotation",
       [](KPD_Document doc) {
         KPD_Dictionary annot = FirstAnnot(doc);
         Owned width(direct::NumberNew(3));
         direct::DictSet(direct::DictGet(annot, "/BS"), "/W", width.get());
         return std::set<int>{direct::ObjectGetObjNum(annot)};
       },
       [](KPD_Document doc) { EXPECT_EQ(NumberAt(direct::DictGet(FirstAnnot(doc), "/BS"), "/W"), 3); }},
      {"a dictionary of the plug-in changed after it was stored",
       [](KPD_Document doc) {
         KPD_Dictionary annot = FirstAnnot(doc);
         Owned mk(direct::DictNew());
         direct::DictSet(annot, "/MK", mk.get());
         Owned angle(direct::NumberNew(90));
         direct::DictSet(mk.get(), "/R", angle.get());
         return std::set<int>{direct::ObjectGetObjNum(annot)};
       },
       [](KPD_Document doc) { EXPECT_EQ(NumberAt(direct::DictGet(FirstAnnot(doc), "/MK"), "/R"), 90); }},
      {"a removed key",
       [](KPD_Document doc) {
         direct::DictRemove(FirstAnnot(doc), "/C");
         return std::set<int>{direct::ObjectGetObjNum(FirstAnnot(doc))};
       },
       [](KPD_Document doc) { EXPECT_EQ(direct::DictHasKey(FirstAnnot(doc), "/C"), 0); }},
      {"stream data, compressed on the way out",
       [](KPD_Document doc) {
         KPD_Stream contents = direct::DictGet(direct::DocGetPage(doc, 0), "/Contents");
         std::string data(4000, ' ');
         data.replace(0, 9, "1 1 m 2 2");
         direct::StreamSetData(contents, data.data(), data.size());
         return std::set<int>{direct::ObjectGetObjNum(contents)};
       },
       [](KPD_Document doc) {
         KPD_Stream contents = direct::DictGet(direct::DocGetPage(doc, 0), "/Contents");
         Bytes data;
         ASSERT_EQ(direct::StreamGetData(contents, 1, data), 1);
         EXPECT_EQ(data.text().substr(0, 9), "1 1 m 2 2");
         Bytes filter;
         direct::NameGet(direct::DictGet(direct::StreamGetDict(contents), "/Filter"), filter);
         EXPECT_EQ(filter.text(), "/FlateDecode");
       }},
      {"a new annotation with an appearance; an unused new stream is left out",
       [](KPD_Document doc) {
         KPD_Page page = direct::DocGetPage(doc, 0);
         Owned square = Parse("<< /Type /Annot /Subtype /Square /Rect [5 5 20 20] >>");
         KPD_Dictionary added = direct::PageInsertAnnot(page, -1, square.get());
         KPD_Stream normal = direct::DocNewStream(doc, "0 0 m", 5);
         Owned ap(direct::DictNew());
         direct::DictSet(ap.get(), "/N", normal);
         direct::DictSet(added, "/AP", ap.get());
         direct::DocNewStream(doc, "unused", 6);
         KPD_Object annots = direct::DictGet(page, "/Annots");
         return std::set<int>{direct::ObjectGetObjNum(annots), direct::ObjectGetObjNum(added), direct::ObjectGetObjNum(normal)};
       },
       [](KPD_Document doc) {
         KPD_Page page = direct::DocGetPage(doc, 0);
         ASSERT_EQ(direct::PageAnnotCount(page), 2);
         KPD_Dictionary ap = direct::DictGet(direct::PageGetAnnot(page, 1), "/AP");
         Bytes data;
         EXPECT_EQ(direct::StreamGetData(direct::DictGet(ap, "/N"), 1, data), 1);
         EXPECT_EQ(data.text(), "0 0 m");
       }},
      {"a removed annotation",
       [](KPD_Document doc) {
         KPD_Page page = direct::DocGetPage(doc, 0);
         direct::PageRemoveAnnot(page, 0);
         return std::set<int>{direct::ObjectGetObjNum(direct::DictGet(page, "/Annots"))};
       },
       [](KPD_Document doc) { EXPECT_EQ(direct::PageAnnotCount(direct::DocGetPage(doc, 0)), 0); }},
  };
  for (bool xrefStream : {false, true}) {
    for (Edit const& edit : edits) {
      SCOPED_TRACE(std::string(edit.name) + (xrefStream ? ", cross-reference stream" : ", table"));
      TempDir dir;
      const std::string path = dir / "a.pdf";
      const std::string original = MadePdf(xrefStream);
      WriteFile(path, original);
      std::set<int> expected;
      {
        Bytes error;
        Doc doc(direct::DocOpenFile(path.c_str(), error));
        ASSERT_NE(doc, nullptr) << error.text();
        expected = edit.apply(doc.get());
        ASSERT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
      }
      const std::string saved = ReadFile(path);
      ASSERT_GT(saved.size(), original.size());
      ASSERT_EQ(saved.compare(0, original.size(), original), 0) << "the file before the update changed";
      const std::string update = saved.substr(original.size());
      std::set<int> written = ObjectsIn(update);
      if (xrefStream) {
        // The cross-reference stream is the last object and lists itself.
        ASSERT_FALSE(written.empty());
        written.erase(std::prev(written.end()));
        EXPECT_NE(update.find("/Type /XRef"), std::string::npos);
      } else {
        EXPECT_NE(update.find("\nxref\n"), std::string::npos);
      }
      EXPECT_EQ(written, expected);
      EXPECT_NE(update.find("/Prev " + std::to_string(FindXrefTail(original).offset)), std::string::npos);
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.pdf"});
      ExpectReadersAccept(path);
      Doc reopened = OpenedFile(path);
      ASSERT_NE(reopened, nullptr);
      EXPECT_EQ(direct::DocWarningCount(reopened.get()), 0);
      edit.check(reopened.get());
    }
  }
}

ino_t InodeOf(std::string const& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A save over the file read appends the update to the file itself: the
// same file (inode), its bytes before untouched. A file that is no longer
// as read (another program appended to it, or this document already did)
// is instead replaced with the bytes as read and the update, as a save to
// another file is. A write that fails anywhere on either way (a full disk
// midway too) or a failed sync or rename leaves the file as it was, byte
// for byte, with no temporary beside it, and says what the system said;
// the same save then succeeds.
TEST(IncrementalSave, FailedAppendsAndReplacementsLeaveTheFileByteForByte) {
  struct Fault {
    char const* name;
    bool replaces;  // the document appended once already
    FileFaults faults;
    rlim_t fileLimit;  // extra bytes the file may grow by; 0 for no limit
  };
  const Fault faults[] = {
      {"writing in place", false, {1, false, false, ENOSPC}, 0},
      {"the disk filling midway", false, {}, 4096},
      {"syncing in place", false, {0, true, false, EIO}, 0},
      {"copying the file", true, {1, false, false, ENOSPC}, 0},
      {"appending the update to the copy", true, {2, false, false, ENOSPC}, 0},
      {"syncing the copy", true, {0, true, false, EIO}, 0},
      {"renaming the copy", true, {0, false, true, EROFS}, 0},
  };
  // Larger than the output buffer, so that the copy and the update are
  // written apart; the update is larger than the limit.
  const std::string original = MadePdf(false, 3 << 20);
  const std::string noise = IncompressibleBytes(1 << 16);
  for (Fault const& fault : faults) {
    SCOPED_TRACE(fault.name);
    TempDir dir;
    const std::string path = dir / "a.pdf";
    WriteFile(path, original);
    Bytes error;
    Doc doc(direct::DocOpenFile(path.c_str(), error));
    ASSERT_NE(doc, nullptr) << error.text();
    Owned width(direct::NumberNew(5));
    direct::DictSet(FirstAnnot(doc.get()), "/W", width.get());
    if (fault.replaces) ASSERT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
    const std::string before = ReadFile(path);
    const ino_t inode = InodeOf(path);
    KPD_Stream stream = direct::DocNewStream(doc.get(), noise.data(), noise.size());
    ASSERT_EQ(direct::DictSet(FirstAnnot(doc.get()), "/Noise", stream), 1);
    if (fault.fileLimit) {
      ChildResult r = InChild(
          [&] {
            Bytes e;
            return direct::DocSave(doc.get(), path.c_str(), e) ? std::string("saved") : e.text();
          },
          original.size() + fault.fileLimit);
      EXPECT_NE(r.text.find(std::strerror(EFBIG)), std::string::npos) << r.text;
    } else {
      InjectFileFaults(fault.faults);
      EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 0);
      InjectFileFaults({});
      EXPECT_NE(error.text().find(std::strerror(fault.faults.error)), std::string::npos) << error.text();
    }
    EXPECT_TRUE(ReadFile(path) == before);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.pdf"});
    // The child that failed changed the file's time of change behind this
    // document's back, which a save over it takes for another program's
    // write; a failure in this process leaves the file fit to save over.
    if (fault.fileLimit) continue;
    EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
    const std::string saved = ReadFile(path);
    EXPECT_GT(saved.size(), original.size() + noise.size());
    EXPECT_EQ(saved.compare(0, original.size(), original), 0);
    EXPECT_EQ(InodeOf(path) == inode, !fault.replaces);
    ExpectReadersAccept(path);
    Doc reopened = OpenedFile(path);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(NumberAt(FirstAnnot(reopened.get()), "/W"), 5);
    Bytes data;
    EXPECT_EQ(direct::StreamGetData(direct::DictGet(FirstAnnot(reopened.get()), "/Noise"), 1, data), 1);
    EXPECT_TRUE(data.text() == noise);
  }
}

struct SaveCase {
  char const* name;
  std::string file;
  bool full;
  bool toSource;
  // Expected: saved or not, appended or rewritten, words in the notice or
  // the error.
  bool saves;
  bool appends;
  char const* says;
};

// Damaged xref data: startxref points into the middle of the header line.
std::string Damaged(std::string file) {
  size_t at = file.rfind("startxref\n");
  size_t end = file.find('\n', at + 10);
  return file.substr(0, at + 10) + "3" + file.substr(end);
}

// When a save appends and when it rewrites, and what it says.
TEST(IncrementalSave, ChoosesBetweenAppendingAndRewriting) {
  const std::string signedRoot =
      "<< /AcroForm << /SigFlags 3 /Fields [ << /FT /Sig /T (S) /Kids [ << /T (K) /V << /Type /Sig "
      "/Contents <00> >> >> ] >> ] >> >>";
  const std::string emptySignature = "<< /AcroForm << /Fields [ << /FT /Sig /T (S) >> ] >> >>";
  const std::string plain = MadePdf(false);
  const SaveCase cases[] = {
      {"elsewhere: rewritten", plain, false, false, true, false, ""},
      {"over the source: appended", plain, false, true, true, true, ""},
      {"over the source with --full: rewritten", plain, true, true, true, false, ""},
      {"signed, elsewhere: appended", MadePdf(false, 0, signedRoot), false, false, true, true, ""},
      {"signature field without a value: rewritten", MadePdf(false, 0, emptySignature), false, false, true, false,
       ""},
      {"signed with --full: rewritten, with a warning", MadePdf(true, 0, signedRoot), true, false, true, false,
       "signatures are no longer valid"},
      {"damaged: rewritten, and said why", Damaged(plain), false, true, true, false, "reconstructed"},
      {"encrypted: rewritten, and said why", MadePdf(false, 0, "", true), false, true, true, false,
       "encrypted"},
      {"damaged and signed: refused", Damaged(MadePdf(false, 0, signedRoot)), false, false, false, false,
       "would invalidate its signatures"},
      {"damaged and signed with --full: rewritten", Damaged(MadePdf(false, 0, signedRoot)), true, false, true, false,
       "no longer valid"},
  };
  for (SaveCase const& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string source = dir / "in.pdf";
    const std::string out = c.toSource ? source : dir / "out.pdf";
    WriteFile(source, c.file);
    std::string error, notice;
    KPD_Document doc = kshost::OpenPdfFile(source, "", &error);
    ASSERT_NE(doc, nullptr) << error;
    Owned one(direct::NumberNew(1));
    direct::DictSet(direct::DocGetPage(doc, 0), "/Edited", one.get());
    EXPECT_EQ(kshost::SaveDocument(doc, out, c.full, &notice, &error), c.saves) << error;
    direct::DocClose(doc);
    std::string said = c.saves ? notice : error;
    if (*c.says) {
      EXPECT_NE(said.find(c.says), std::string::npos) << said;
    } else {
      EXPECT_EQ(notice, "");
    }
    if (!c.saves) {
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.pdf"});
      continue;
    }
    const std::string saved = ReadFile(out);
    EXPECT_EQ(saved.size() > c.file.size() && saved.compare(0, c.file.size(), c.file) == 0, c.appends);
    ExpectReadersAccept(out);
  }
}

// A signed document read from memory has no file to copy from: its bytes
// are written from memory, and the update follows them.
TEST(IncrementalSave, SignedDocumentFromMemoryAppendsToItsBytes) {
  const std::string file = MadePdf(true, 1 << 20,
                                   "<< /AcroForm << /Fields [ << /FT /Sig /T (S) /V << /Type /Sig >> >> ] >> >>");
  TempDir dir;
  Bytes error;
  Doc doc(direct::DocOpenMemory(file.data(), file.size(), error));
  ASSERT_NE(doc, nullptr) << error.text();
  Owned one(direct::NumberNew(1));
  direct::DictSet(FirstAnnot(doc.get()), "/Edited", one.get());
  ASSERT_EQ(direct::DocSave(doc.get(), (dir / "out.pdf").c_str(), error), 1) << error.text();
  const std::string saved = ReadFile(dir / "out.pdf");
  ASSERT_GT(saved.size(), file.size());
  EXPECT_EQ(saved.compare(0, file.size(), file), 0);
  ExpectReadersAccept(dir / "out.pdf");
}

// A /Prev chain that loops or points past the end neither hangs nor
// crashes the open or the save.
TEST(IncrementalSave, BrokenPrevChainsOpenAndSave) {
  const std::string plain = MadePdf(false);
  const size_t trailer = plain.rfind("trailer");
  const int64_t xref = FindXrefTail(plain).offset;
  auto withPrev = [&](int64_t prev) {
    std::string file = plain;
    file.insert(file.find("<<", trailer) + 2, " /Prev " + std::to_string(prev));
    return file;
  };
  const std::pair<char const*, std::string> files[] = {
      {"loop", withPrev(xref)},
      {"past the end", withPrev(static_cast<int64_t>(plain.size()) * 10)},
  };
  for (auto const& [name, file] : files) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string path = dir / "a.pdf";
    WriteFile(path, file);
    ChildResult result = InChild([&] {
      ::alarm(20);
      std::string error, notice;
      KPD_Document doc = kshost::OpenPdfFile(path, "", &error);
      if (!doc) return "open: " + error;
      Owned one(direct::NumberNew(1));
      direct::DictSet(direct::DocGetPage(doc, 0), "/Edited", one.get());
      bool saved = kshost::SaveDocument(doc, path, false, &notice, &error);
      direct::DocClose(doc);
      return saved ? std::string("saved") : "save: " + error;
    });
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.text, "saved");
    ExpectReadersAccept(path);
  }
}

TEST(IncrementalSave, FindsTheLastCrossReferenceSection) {
  struct Case {
    std::string file;
    int64_t offset;
    bool isStream;
  };
  const Case cases[] = {
      {"%PDF-1.4\nxref\n0 1\ntrailer<<>>\nstartxref\n9\n%%EOF\n", 9, false},
      {"%PDF-1.4\n\n  xref\nstartxref\r\n9\r\n%%EOF", 9, false},
      {"%PDF-1.5\n7 0 obj<</Type/XRef>>stream\nendstream\nstartxref\n9\n%%EOF\n", 9, true},
      // The last startxref counts; garbage after %%EOF is allowed.
      {"%PDF-1.4\nxref\nstartxref\n1\n%%EOF\nxref\nstartxref\n32\n%%EOF\n\n\x01", 32, false},
      {"%PDF-1.4\nstartxref\n9999\n%%EOF\n", -1, false},
      {"%PDF-1.4\nstartxref\n-4\n%%EOF\n", -1, false},
      {"%PDF-1.4\nstartxref\n%%EOF\n", -1, false},
      {"%PDF-1.4\nhello\nstartxref\n9\n%%EOF\n", -1, false},
      {"%PDF-1.4\n", -1, false},
  };
  for (Case const& c : cases) {
    XrefTail tail = FindXrefTail(c.file);
    EXPECT_EQ(tail.offset, c.offset) << c.file;
    if (c.offset >= 0) {
      EXPECT_EQ(tail.isStream, c.isStream) << c.file;
    }
  }
}

// A save killed while appending leaves the start of an update after the
// file's last complete one, cut anywhere. The file opens without it and
// says so; the next save over it cuts it off (and says that too), and the
// file is the one read, then the new update.
TEST(IncrementalSave, UnfinishedUpdateIsLeftOutAndCutOffOnTheNextSave) {
  for (bool xrefStream : {false, true}) {
    const std::string original = MadePdf(xrefStream);
    std::string update;
    {
      TempDir dir;
      WriteFile(dir / "a.pdf", original);
      Bytes error;
      Doc doc(direct::DocOpenFile((dir / "a.pdf").c_str(), error));
      ASSERT_NE(doc, nullptr) << error.text();
      Owned width(direct::NumberNew(7));
      direct::DictSet(FirstAnnot(doc.get()), "/W", width.get());
      ASSERT_EQ(direct::DocSave(doc.get(), (dir / "a.pdf").c_str(), error), 1) << error.text();
      update = ReadFile(dir / "a.pdf").substr(original.size());
    }
    ASSERT_GT(update.size(), 40u);
    EXPECT_EQ(CompleteLength(original + update), original.size() + update.size());
    for (size_t cut : {size_t(1), size_t(12), update.size() / 2, update.find("startxref") + 4, update.size() - 3}) {
      SCOPED_TRACE(std::to_string(xrefStream) + " cut at " + std::to_string(cut));
      const std::string torn = original + update.substr(0, cut);
      EXPECT_EQ(CompleteLength(torn), original.size());
      TempDir dir;
      const std::string path = dir / "a.pdf";
      WriteFile(path, torn);
      Doc doc = OpenedFile(path);
      ASSERT_NE(doc, nullptr);
      Document* document = Document::FromKpd(doc.get());
      const auto& warnings = document->Warnings();
      ASSERT_FALSE(warnings.empty());
      EXPECT_NE(warnings.back().find(std::to_string(cut) + " bytes of an unfinished update"), std::string::npos)
          << warnings.back();
      EXPECT_EQ(NumberAt(FirstAnnot(doc.get()), "/W"), 0);
      Owned height(direct::NumberNew(9));
      direct::DictSet(FirstAnnot(doc.get()), "/H", height.get());
      std::string reason, notice;
      ASSERT_TRUE(document->Save(path, reason, Document::SaveMode::kAuto, &notice)) << reason;
      EXPECT_NE(notice.find("(" + std::to_string(cut) + " bytes)"), std::string::npos) << notice;
      const std::string saved = ReadFile(path);
      EXPECT_EQ(saved.compare(0, original.size(), original), 0);
      // One complete update after the file read, nothing of the torn one.
      auto eofs = [](std::string const& file) {
        size_t n = 0;
        for (size_t at = file.find("%%EOF"); at != std::string::npos; at = file.find("%%EOF", at + 1)) ++n;
        return n;
      };
      EXPECT_EQ(eofs(saved), eofs(original) + 1);
      ExpectReadersAccept(path);
      Doc reopened = OpenedFile(path);
      ASSERT_NE(reopened, nullptr);
      EXPECT_EQ(NumberAt(FirstAnnot(reopened.get()), "/H"), 9);
      EXPECT_EQ(NumberAt(FirstAnnot(reopened.get()), "/W"), 0);
      EXPECT_TRUE(Document::FromKpd(reopened.get())->Warnings().empty());
    }
  }
  // Other bytes after the end are no unfinished update.
  const std::string original = MadePdf(false);
  EXPECT_EQ(CompleteLength(original + "garbage"), original.size() + 7);
  EXPECT_EQ(CompleteLength(original + "\n\n"), original.size() + 2);
  EXPECT_EQ(CompleteLength("%PDF-1.4\n12 0 obj"), 17u);
}


// Names holding '#' (a stamp named "#Sq", as some viewers name theirs) are
// written with the '#' as "#23", whole or appended, and read back as they
// were; the document keeps its names as they were after the save.
TEST(IncrementalSave, NamesWithAHashAreWrittenEscaped) {
  for (bool full : {true, false}) {
    SCOPED_TRACE(full ? "rewritten" : "appended");
    TempDir dir;
    const std::string source = dir / "in.pdf";
    WriteFile(source, MadePdf(false));
    std::string error, notice;
    KPD_Document doc = kshost::OpenPdfFile(source, "", &error);
    ASSERT_NE(doc, nullptr) << error;
    KPD_Dictionary annot = FirstAnnot(doc);
    Owned name(direct::NameNew("/#SqtPy")), other(direct::NameNew("/a#b c")), inside(direct::ArrayNew());
    direct::DictSet(annot, "/Name", name.get());
    direct::DictSet(annot, "/#Key", other.get());
    direct::ArrayAppend(inside.get(), other.get());
    direct::DictSet(annot, "/List", inside.get());
    Bytes text;
    ASSERT_EQ(direct::ObjectWrite(direct::DictGet(annot, "/List"), text), 1);
    EXPECT_EQ(text.text(), "[ /a#23b#20c ]");
    ASSERT_TRUE(kshost::SaveDocument(doc, source, full, &notice, &error)) << error;
    Bytes held;
    ASSERT_EQ(direct::NameGet(direct::DictGet(FirstAnnot(doc), "/Name"), held), 1);
    EXPECT_EQ(held.text(), "/#SqtPy");
    EXPECT_NE(direct::DictGet(FirstAnnot(doc), "/#Key"), nullptr);
    direct::DocClose(doc);

    const std::string saved = ReadFile(source);
    EXPECT_NE(saved.find("/Name /#23SqtPy"), std::string::npos);
    EXPECT_NE(saved.find("/#23Key /a#23b#20c"), std::string::npos);
    ExpectReadersAccept(source);
    QPDF qpdf;
    qpdf.processMemoryFile("saved", saved.data(), saved.size());
    QPDFObjectHandle page = qpdf.getAllPages().at(0);
    QPDFObjectHandle back = page.getKey("/Annots").getArrayItem(0);
    EXPECT_EQ(back.getKey("/Name").getName(), "/#SqtPy");
    EXPECT_EQ(back.getKey("/#Key").getName(), "/a#b c");
    EXPECT_EQ(back.getKey("/List").getArrayItem(0).getName(), "/a#b c");
  }
}

}  // namespace
}  // namespace kshost::pdf::test
