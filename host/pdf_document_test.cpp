// Opening, saving and the document-level functions.
#include "host/pdf_test_support.h"

#include "host/pdf_document.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

namespace kshost::pdf::test {
namespace {

// A one-page PDF with one annotation written by qpdf itself, optionally
// encrypted, so that these tests do not depend on the host's own writer.
std::string QpdfMadePdf(char const* userPassword = nullptr, bool allowAnnotations = true) {
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle page = qpdf.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Page /MediaBox [0 0 200 100] /Annots [<< /Type /Annot /Subtype /Square /Rect [0 0 9 9] >>] >>"));
  page.getKey("/Annots").setArrayItem(0, qpdf.makeIndirectObject(page.getKey("/Annots").getArrayItem(0)));
  page.replaceKey("/Contents", qpdf.newStream("0 0 m"));
  qpdf.addPage(page, false);
  QPDFWriter writer(qpdf);
  writer.setOutputMemory();
  if (userPassword)
    writer.setR6EncryptionParameters(userPassword, "owner", true, true, true, allowAnnotations, true, true,
                                     qpdf_r3p_full, false);
  writer.write();
  auto buffer = writer.getBufferSharedPointer();
  return std::string(reinterpret_cast<char*>(buffer->getBuffer()), buffer->getSize());
}

// Reads `path` with plain qpdf, touching every object and stream: a file
// that is not sound throws or warns here.
void ExpectSound(std::string const& path) {
  QPDF qpdf;
  qpdf.setSuppressWarnings(true);
  ASSERT_NO_THROW({
    qpdf.processFile(path.c_str());
    for (auto& object : qpdf.getAllObjects()) {
      if (object.isStream()) object.getStreamData(qpdf_dl_generalized);
      object.unparseResolved();
    }
    qpdf.getAllPages();
  });
  for (auto& warning : qpdf.getWarnings()) ADD_FAILURE() << warning.what();
}

TEST(PdfDocument, OpenFailuresExplainAndCreateNothing) {
  TempDir dir;
  WriteFile(dir / "text.pdf", "hello, I am not a PDF\n");
  WriteFile(dir / "broken.pdf", "%PDF-1.7\nnothing else here\n");
  WriteFile(dir / "locked.pdf", QpdfMadePdf("secret"));
  WriteFile(dir / "unreadable.pdf", QpdfMadePdf());
  ::chmod((dir / "unreadable.pdf").c_str(), 0);
  ::mkfifo((dir / "fifo.pdf").c_str(), 0600);  // no writer: a plain open would wait
  std::filesystem::create_directory(dir / "folder");
  std::pair<std::string, std::string> cases[] = {
      {"missing.pdf", "No such file or directory"}, {"folder", "Is a directory"},
      {"text.pdf", "not a PDF file"},               {"broken.pdf", ""},
      {"locked.pdf", "password required"},          {"unreadable.pdf", "Permission denied"},
      {"fifo.pdf", "not a regular file"},
  };
  auto before = dir.Names();
  for (auto const& [name, reason] : cases) {
    if (name == "unreadable.pdf" && ::geteuid() == 0) continue;  // root reads anything
    Bytes error;
    Doc doc(direct::DocOpenFile((dir / name).c_str(), error));
    EXPECT_EQ(doc, nullptr) << name;
    EXPECT_EQ(error.text().rfind("cannot open " + (dir / name) + ": ", 0), 0u) << error.text();
    EXPECT_NE(error.text().find(reason), std::string::npos) << error.text();
  }
  EXPECT_EQ(dir.Names(), before);
  // A device that never ends is refused before reading.
  Bytes error;
  EXPECT_EQ(Doc(direct::DocOpenFile("/dev/zero", error)), nullptr);
  EXPECT_EQ(error.text(), "cannot open /dev/zero: not a regular file");
}

// The password opens a file that needs one; the owner password gives every
// permission, a user password the file's own, and a file without
// encryption has them all.
TEST(PdfDocument, PasswordsOpenFilesAndTheOwnersLiftsTheirLimits) {
  EXPECT_EQ(direct::DocGetPermissions(OnePageDoc().get()), 0xFFFFFFFCu);
  EXPECT_EQ(direct::DocIsEncrypted(OnePageDoc().get()), 0);
  TempDir dir;
  WriteFile(dir / "user.pdf", QpdfMadePdf("secret", false));
  WriteFile(dir / "open.pdf", QpdfMadePdf("", false));
  struct Case {
    const char* file;
    const char* password;
    const char* error;  // null: opens
    bool annotations;
  };
  const Case cases[] = {
      {"user.pdf", "", "password required", false},   {"user.pdf", "wrong", "incorrect password", false},
      {"user.pdf", "secret", nullptr, false},         {"user.pdf", "owner", nullptr, true},
      {"open.pdf", "", nullptr, false},               {"open.pdf", "owner", nullptr, true},
      {"open.pdf", "wrong", "incorrect password", false},
  };
  for (auto const& c : cases) {
    std::string what = std::string(c.file) + " with '" + c.password + "'";
    Bytes error;
    Doc doc(OpenFile((dir / c.file).c_str(), c.password, error));
    if (c.error) {
      EXPECT_EQ(doc, nullptr) << what;
      EXPECT_EQ(error.text(), "cannot open " + (dir / c.file) + ": " + c.error) << what;
      continue;
    }
    ASSERT_NE(doc, nullptr) << what << ": " << error.text();
    uint32_t permissions = direct::DocGetPermissions(doc.get());
    EXPECT_EQ((permissions & KPD_PERM_MODIFY_ANNOTS) != 0, c.annotations) << what;
    if (c.annotations) {
      EXPECT_EQ(permissions, 0xFFFFFFFCu) << what;
    }
    EXPECT_EQ(direct::DocIsEncrypted(doc.get()), 1) << what;
  }
  // Read from memory, the file without a user password opens the same way.
  const std::string restricted = QpdfMadePdf("", false);
  Bytes error;
  Doc fromMemory(direct::DocOpenMemory(restricted.data(), restricted.size(), error));
  ASSERT_NE(fromMemory, nullptr) << error.text();
  EXPECT_EQ(direct::DocGetPermissions(fromMemory.get()) & KPD_PERM_MODIFY_ANNOTS, 0u);
  EXPECT_EQ(direct::DocPageCount(fromMemory.get()), 1);
}

Owned One() { return Parse("1"); }
KPD_Array Box(KPD_Page page) { return direct::DictGet(page, "/MediaBox"); }

// A document whose permissions forbid changing annotations takes no change
// through any host function; given the owner password, it takes them all.
TEST(PdfDocument, LockedDocumentRefusesEveryChange) {
  TempDir dir;
  WriteFile(dir / "locked.pdf", QpdfMadePdf("", false));
  struct Change {
    const char* what;
    bool (*apply)(KPD_Document doc, KPD_Page page);
  };
  static const Change changes[] = {
      {"DictSet", [](KPD_Document, KPD_Page page) { return direct::DictSet(page, "/X", One().get()) == 1; }},
      {"DictRemove", [](KPD_Document, KPD_Page page) { return direct::DictRemove(page, "/MediaBox") == 1; }},
      {"DictSet on an annotation",
       [](KPD_Document, KPD_Page page) { return direct::DictSet(direct::PageGetAnnot(page, 0), "/C", One().get()) == 1; }},
      {"ArrayAppend", [](KPD_Document, KPD_Page page) { return direct::ArrayAppend(Box(page), One().get()) == 1; }},
      {"ArrayInsert", [](KPD_Document, KPD_Page page) { return direct::ArrayInsert(Box(page), 0, One().get()) == 1; }},
      {"ArraySet", [](KPD_Document, KPD_Page page) { return direct::ArraySet(Box(page), 0, One().get()) == 1; }},
      {"ArrayRemove",
       [](KPD_Document, KPD_Page page) { return direct::ArrayRemove(direct::DictGet(page, "/Annots"), 0) == 1; }},
      {"StreamSetData",
       [](KPD_Document, KPD_Page page) { return direct::StreamSetData(direct::DictGet(page, "/Contents"), "x", 1) == 1; }},
      {"PageInsertAnnot",
       [](KPD_Document, KPD_Page page) {
         return direct::PageInsertAnnot(page, 0, Parse("<< /Type /Annot /Subtype /Circle >>").get()) != nullptr;
       }},
      {"PageRemoveAnnot", [](KPD_Document, KPD_Page page) { return direct::PageRemoveAnnot(page, 0) == 1; }},
      {"PageSetRotation", [](KPD_Document, KPD_Page page) { return direct::PageSetRotation(page, 90) == 1; }},
      {"PageAppendContent", [](KPD_Document, KPD_Page page) { return direct::PageAppendContent(page, "Q", 1) == 1; }},
      {"DocAddPage", [](KPD_Document doc, KPD_Page) { return direct::DocAddPage(doc, nullptr) != nullptr; }},
      {"DocNewStream", [](KPD_Document doc, KPD_Page) { return direct::DocNewStream(doc, "x", 1) != nullptr; }},
      {"DocNewStreamFromBuffer",
       [](KPD_Document doc, KPD_Page) { return direct::DocNewStreamFromBuffer(doc, direct::StreamBufferNew(1), 0) != nullptr; }},
      {"StreamSetDataFromBuffer",
       [](KPD_Document, KPD_Page page) {
         return direct::StreamSetDataFromBuffer(direct::DictGet(page, "/Contents"), direct::StreamBufferNew(1), 0) == 1;
       }},
      {"DocMakeIndirect", [](KPD_Document doc, KPD_Page) {
         Owned dict(direct::DictNew());
         return direct::DocMakeIndirect(doc, dict.get()) != nullptr;
       }},
  };
  for (const char* password : {"", "owner"}) {
    for (auto const& change : changes) {
      Bytes error;
      Doc doc(OpenFile((dir / "locked.pdf").c_str(), password, error));
      ASSERT_NE(doc, nullptr) << error.text();
      KPD_Page page = direct::DocGetPage(doc.get(), 0);
      std::string before = Write(page) + Write(direct::PageGetAnnot(page, 0));
      EXPECT_EQ(change.apply(doc.get(), page), *password != 0) << change.what << " with '" << password << "'";
      if (!*password) {
        EXPECT_EQ(Write(page) + Write(direct::PageGetAnnot(page, 0)), before) << change.what;
        EXPECT_EQ(direct::DocPageCount(doc.get()), 1) << change.what;
      }
    }
  }
}

// A save over the document's own file refuses when another program wrote
// that file after it was opened: appended to it, replaced it, or changed
// bytes in place while putting its time back. The other program's file
// stays as it wrote it; a copy elsewhere can still be saved. The
// document's own saves, one after another, are not mistaken for another
// program's, and a file removed meanwhile is simply written again.
TEST(PdfDocument, SaveOverAFileAnotherProgramChangedIsRefused) {
  TempDir dir;
  const std::string path = dir / "a.pdf";
  const std::string original = QpdfMadePdf();
  auto edit = [](KPD_Document doc, char const* text) {
    Owned value(direct::StringNew(text, std::strlen(text)));
    return direct::DictSet(direct::DocGetPage(doc, 0), "/Foo", value.get()) == 1;
  };
  struct Case {
    char const* what;
    std::function<void()> otherProgram;
  };
  const Case cases[] = {
      {"appended to", [&] { std::ofstream(path, std::ios::app) << "% another update\n"; }},
      {"replaced by a file of the same size",
       [&] {
         std::string other = original;
         other[other.size() / 2] ^= 1;
         WriteFile(dir / "other.pdf", other);
         std::filesystem::rename(dir / "other.pdf", path);
       }},
      {"changed in place with its time put back",
       [&] {
         struct stat before {};
         ::stat(path.c_str(), &before);
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(-3, std::ios::end);
         file.put('#');
         file.close();
         const struct timespec times[2] = {before.st_atim, before.st_mtim};
         ::utimensat(AT_FDCWD, path.c_str(), times, 0);
       }},
  };
  for (Case const& c : cases) {
    WriteFile(path, original);
    Bytes error;
    Doc doc(direct::DocOpenFile(path.c_str(), error));
    ASSERT_NE(doc, nullptr) << error.text();
    ASSERT_TRUE(edit(doc.get(), "mine"));
    c.otherProgram();
    const std::string theirs = ReadFile(path);
    EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 0) << c.what;
    EXPECT_NE(error.text().find("another program changed the file"), std::string::npos) << c.what << ": "
                                                                                          << error.text();
    EXPECT_EQ(ReadFile(path), theirs) << c.what;
    EXPECT_EQ(direct::DocSave(doc.get(), (dir / "copy.pdf").c_str(), error), 1) << c.what << ": " << error.text();
    std::filesystem::remove(dir / "copy.pdf");
  }

  // Its own saves, one after another, and over a file removed meanwhile.
  WriteFile(path, original);
  Bytes error;
  Doc doc(direct::DocOpenFile(path.c_str(), error));
  ASSERT_NE(doc, nullptr) << error.text();
  for (char const* text : {"first", "second"}) {
    ASSERT_TRUE(edit(doc.get(), text));
    EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << text << ": " << error.text();
  }
  std::filesystem::remove(path);
  ASSERT_TRUE(edit(doc.get(), "third"));
  EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
  ASSERT_TRUE(edit(doc.get(), "fourth"));
  EXPECT_EQ(direct::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
  ExpectSound(path);
}

// Streams whose data the plug-in set are written compressed; one whose
// filter the plug-in named itself is written as given. Saving leaves the
// open document as it was, so a second save gives the same file. Enough
// streams for the compressing thread, one made of data zlib cannot shrink.
TEST(PdfDocument, SavedStreamsAreCompressedAndTheDocumentKeepsItsData) {
  constexpr int kStreams = 200;
  TempDir dir;
  Bytes error;
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  Owned list(direct::ArrayNew());
  auto dataOf = [](int i) {
    std::string data;
    for (int k = 0; k < 20 + i * 7; ++k) data += std::to_string(i * k % 997) + (k % 3 ? " " : " l\n");
    if (i % 50 == 7)
      for (int k = 0; k < 5000; ++k) data += static_cast<char>((k * 2654435761u) >> 24);
    return data;
  };
  std::vector<KPD_Stream> streams;
  for (int i = 0; i < kStreams; ++i) {
    std::string first = dataOf(i + 1), data = dataOf(i);
    KPD_Stream stream = direct::DocNewStream(doc.get(), first.data(), first.size());
    // Set again: listed twice, written once.
    for (int times = 1 + i % 2; times > 0; --times)
      ASSERT_EQ(direct::StreamSetData(stream, data.data(), data.size()), 1);
    ASSERT_EQ(direct::ArrayAppend(list.get(), stream), 1);
    streams.push_back(stream);
  }
  // Already compressed by the plug-in, as its /Filter says.
  const std::string packed("x\x9c+J,\x07\x00\x02\x92\x01K", 11);  // "raw"
  KPD_Stream own = direct::DocNewStream(doc.get(), packed.data(), packed.size());
  ASSERT_EQ(direct::DictSet(direct::StreamGetDict(own), "/Filter", Owned(direct::NameNew("/FlateDecode")).get()), 1);
  ASSERT_EQ(direct::ArrayAppend(list.get(), own), 1);
  ASSERT_EQ(direct::DictSet(page, "/Streams", list.get()), 1);

  for (const char* name : {"a.pdf", "b.pdf"})
    ASSERT_EQ(direct::DocSave(doc.get(), (dir / name).c_str(), error), 1) << error.text();
  EXPECT_EQ(ReadFile(dir / "a.pdf"), ReadFile(dir / "b.pdf"));
  Bytes raw;
  for (int i = 0; i < kStreams; ++i) {
    EXPECT_EQ(direct::DictHasKey(direct::StreamGetDict(streams[size_t(i)]), "/Filter"), 0) << i;
    ASSERT_EQ(direct::StreamGetData(streams[size_t(i)], 0, raw), 1);
    EXPECT_EQ(raw.text(), dataOf(i)) << i;
  }
  ExpectSound(dir / "a.pdf");

  Doc reopened(direct::DocOpenFile((dir / "a.pdf").c_str(), error));
  ASSERT_NE(reopened, nullptr) << error.text();
  KPD_Array saved = direct::DictGet(direct::DocGetPage(reopened.get(), 0), "/Streams");
  ASSERT_EQ(direct::ArrayCount(saved), kStreams + 1);
  Bytes data;
  for (int i = 0; i <= kStreams; ++i) {
    KPD_Stream stream = direct::ArrayGet(saved, i);
    EXPECT_EQ(direct::NameIs(direct::DictGet(direct::StreamGetDict(stream), "/Filter"), "/FlateDecode"), 1) << i;
    ASSERT_EQ(direct::StreamGetData(stream, 1, data), 1) << i;
    EXPECT_EQ(data.text(), i < kStreams ? dataOf(i) : std::string("raw")) << i;
  }
}

TEST(PdfDocument, FailedSaveKeepsOldFileAndLeavesNoTemporary) {
  TempDir dir;
  Doc doc = OnePageDoc();
  Bytes error;
  EXPECT_EQ(direct::DocSave(doc.get(), (dir / "no/such/folder/x.pdf").c_str(), error), 0);
  EXPECT_NE(error.text().find("No such file or directory"), std::string::npos) << error.text();

  // The temporary is written in full, then the rename onto a folder fails.
  std::filesystem::create_directory(dir / "taken");
  WriteFile(dir / "taken/old.pdf", "old contents");
  EXPECT_EQ(direct::DocSave(doc.get(), (dir / "taken").c_str(), error), 0);
  EXPECT_EQ(error.text().rfind("cannot save " + (dir / "taken") + ": ", 0), 0u) << error.text();
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken"});

  if (::geteuid() == 0) return;  // root writes into read-only folders
  ::chmod((dir / "taken").c_str(), 0555);
  EXPECT_EQ(direct::DocSave(doc.get(), (dir / "taken/old.pdf").c_str(), error), 0);
  ::chmod((dir / "taken").c_str(), 0755);
  EXPECT_EQ(ReadFile(dir / "taken/old.pdf"), "old contents");
  EXPECT_EQ(dir.Names("taken"), std::vector<std::string>{"old.pdf"});
}

// qpdf's writer meets the write error; the save reports it instead of
// ending the process, and the file it was to replace stays as it was.
TEST(PdfDocument, SaveOntoAFullDiskReportsTheReasonAndKeepsTheOldFile) {
  TempDir dir;
  WriteFile(dir / "old.pdf", "old contents");
  Doc doc = OnePageDoc();
  const std::string noise = IncompressibleBytes(1 << 16);
  KPD_Stream stream = direct::DocNewStream(doc.get(), noise.data(), noise.size());
  ASSERT_EQ(direct::DictSet(direct::DocGetPage(doc.get(), 0), "/Noise", stream), 1);
  ChildResult r = InChild(
      [&] {
        Bytes error;
        return direct::DocSave(doc.get(), (dir / "old.pdf").c_str(), error) ? std::string("saved") : error.text();
      },
      4096);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.text, "cannot save " + (dir / "old.pdf") + ": File too large");
  EXPECT_EQ(ReadFile(dir / "old.pdf"), "old contents");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"old.pdf"});
}

// Saving through a link replaces the file it points to, with that file's
// mode; a read-only file is refused even where the bits would not stop the
// write (root).
TEST(PdfDocument, SaveFollowsLinksKeepsTheModeAndRefusesReadOnlyFiles) {
  TempDir dir;
  WriteFile(dir / "a.pdf", "old");
  ::chmod((dir / "a.pdf").c_str(), 0604);
  std::filesystem::create_symlink("a.pdf", dir / "link.pdf");
  WriteFile(dir / "ro.pdf", "old");
  ::chmod((dir / "ro.pdf").c_str(), 0444);
  Doc doc = OnePageDoc();
  Bytes error;
  ASSERT_EQ(direct::DocSave(doc.get(), (dir / "link.pdf").c_str(), error), 1) << error.text();
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pdf"));
  EXPECT_EQ(ReadFile(dir / "a.pdf").rfind("%PDF-", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a.pdf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(direct::DocSave(doc.get(), (dir / "ro.pdf").c_str(), error), 0);
  EXPECT_EQ(error.text(), "cannot save " + (dir / "ro.pdf") + ": Permission denied (the file is read-only)");
  EXPECT_EQ(ReadFile(dir / "ro.pdf"), "old");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.pdf", "link.pdf", "ro.pdf"}));
}

TEST(PdfDocument, RemovingKeysLeavesSavableDocument) {
  SAMPLE_PDF_OR_SKIP(sample, "itext_annotation-with-popup_LineDimension.pdf");
  TempDir dir;
  Bytes error;
  Doc doc(direct::DocOpenFile(sample.c_str(), error));
  ASSERT_NE(doc, nullptr) << error.text();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  KPD_Object annots = direct::DictGet(page, "/Annots");
  KPD_Dictionary line = direct::PageGetAnnot(page, 0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(direct::DictRemove(line, "/AP"), 1);
  EXPECT_EQ(direct::DictRemove(page, "/Annots"), 1);
  EXPECT_EQ(direct::DictRemove(page, "/Annots"), 0);
  // Handles to removed values stay usable.
  EXPECT_GT(direct::ArrayCount(annots), 0);

  std::string out = dir / "removed.pdf";
  ASSERT_EQ(direct::DocSave(doc.get(), out.c_str(), error), 1) << error.text();
  ExpectSound(out);
  Doc reopened(direct::DocOpenFile(out.c_str(), error));
  ASSERT_NE(reopened, nullptr) << error.text();
  EXPECT_EQ(direct::PageAnnotCount(direct::DocGetPage(reopened.get(), 0)), 0);
  EXPECT_EQ(direct::DocWarningCount(reopened.get()), 0);
}

TEST(PdfDocument, WarningsAreCollectedNotPrinted) {
  // A wrong startxref offset makes qpdf warn and rebuild the table.
  std::string bytes = QpdfMadePdf();
  bytes = bytes.substr(0, bytes.rfind("startxref\n")) + "startxref\n9\n%%EOF\n";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Bytes error, warning;
  Doc doc(direct::DocOpenMemory(bytes.data(), bytes.size(), error));
  int count = doc ? direct::DocWarningCount(doc.get()) : -1;
  std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "");
  ASSERT_GT(count, 0) << error.text();
  EXPECT_EQ(direct::DocGetWarning(doc.get(), 0, warning), 1);
  EXPECT_FALSE(warning.text().empty());
  EXPECT_EQ(direct::DocGetWarning(doc.get(), count, warning), 0);
}

// References are counted wherever they stand: in direct arrays and
// dictionaries, in a stream's dictionary, twice in one array; an object
// nothing reachable names counts none, and a direct object never counts.
TEST(PdfDocument, CountReferencesCountsEveryPlaceThatNamesAnObject) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  KPD_Object shared = direct::DocNewStream(doc.get(), "x", 1);
  KPD_Object loose = direct::DocNewStream(doc.get(), "y", 1);
  Owned nested(direct::ArrayNew());
  direct::ArrayAppend(nested.get(), shared);
  direct::ArrayAppend(nested.get(), shared);
  Owned holder(direct::DictNew());
  direct::DictSet(holder.get(), "/Deep", nested.get());
  direct::DictSet(page, "/Holder", holder.get());
  KPD_Object other = direct::DocNewStream(doc.get(), "z", 1);
  direct::DictSet(other, "/Uses", shared);
  direct::DictSet(page, "/Other", other);
  Owned direct(direct::DictNew());
  const KPD_Object objects[] = {shared, loose, other, direct.get(), nullptr};
  int32_t counts[5] = {-1, -1, -1, -1, -1};
  ASSERT_EQ(direct::DocCountReferences(doc.get(), objects, 5, counts), 1);
  EXPECT_EQ(std::vector<int32_t>(counts, counts + 5), (std::vector<int32_t>{3, 0, 1, 0, 0}));
}

TEST(PdfDocument, IndirectObjects) {
  Doc doc = OnePageDoc(), other = OnePageDoc();
  KPD_Dictionary root = direct::DocGetRoot(doc.get());
  EXPECT_EQ(direct::DocGetObject(doc.get(), direct::ObjectGetObjNum(root), 0), root);
  EXPECT_EQ(direct::DocGetObject(doc.get(), 9999, 0), nullptr);
  Owned mine(direct::DictNew());
  EXPECT_EQ(direct::DocOfObject(mine.get()), nullptr);
  KPD_Object indirect = direct::DocMakeIndirect(doc.get(), mine.get());
  // The plug-in's handle now names the new indirect object too.
  EXPECT_EQ(direct::ObjectIsIdentical(indirect, mine.get()), 1);
  EXPECT_EQ(direct::DocOfObject(mine.get()), doc.get());
  EXPECT_EQ(direct::DocMakeIndirect(other.get(), indirect), nullptr);
}

}  // namespace
}  // namespace kshost::pdf::test
