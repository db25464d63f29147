// Opening, saving and the document-level functions.
#include "host/pdf_test_support.h"

#include <sys/stat.h>

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

namespace kshost::pdf::test {
namespace {

// A one-page PDF written by qpdf itself, optionally encrypted, so that these
// tests do not depend on the host's own writer.
std::string QpdfMadePdf(char const* userPassword = nullptr, bool allowAnnotations = true) {
  QPDF qpdf;
  qpdf.emptyPDF();
  qpdf.addPage(qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 200 100] >>")), false);
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
  std::filesystem::create_directory(dir / "folder");
  std::pair<std::string, std::string> cases[] = {
      {"missing.pdf", "No such file or directory"}, {"folder", "Is a directory"},
      {"text.pdf", "not a PDF file"},               {"broken.pdf", ""},
      {"locked.pdf", "password required"},          {"unreadable.pdf", "Permission denied"},
  };
  auto before = dir.Names();
  for (auto const& [name, reason] : cases) {
    if (name == "unreadable.pdf" && ::geteuid() == 0) continue;  // root reads anything
    Bytes error;
    Doc doc(fn::DocOpenFile((dir / name).c_str(), error));
    EXPECT_EQ(doc, nullptr) << name;
    EXPECT_EQ(error.text().rfind("cannot open " + (dir / name) + ": ", 0), 0u) << error.text();
    EXPECT_NE(error.text().find(reason), std::string::npos) << error.text();
  }
  EXPECT_EQ(dir.Names(), before);
}

TEST(PdfDocument, EncryptedWithEmptyPasswordOpensWithItsPermissions) {
  Bytes error;
  EXPECT_EQ(fn::DocGetPermissions(OnePageDoc().get()), 0xFFFFFFFCu);
  std::string restricted = QpdfMadePdf("", false);
  Doc locked(fn::DocOpenMemory(restricted.data(), restricted.size(), error));
  ASSERT_NE(locked, nullptr) << error.text();
  EXPECT_EQ(fn::DocIsEncrypted(locked.get()), 1);
  EXPECT_EQ(fn::DocGetPermissions(locked.get()) & KPD_PERM_MODIFY_ANNOTS, 0u);
  EXPECT_EQ(fn::DocPageCount(locked.get()), 1);
}

TEST(PdfDocument, EditSaveOverSourceAndReopen) {
  TempDir dir;
  std::string path = dir / "a.pdf";
  WriteFile(path, QpdfMadePdf());
  Bytes error;
  {
    Doc doc(fn::DocOpenFile(path.c_str(), error));
    ASSERT_NE(doc, nullptr) << error.text();
    Owned title(fn::StringNew("Edited", 6));
    ASSERT_EQ(fn::DictSet(fn::DocGetPage(doc.get(), 0), "/Foo", title.get()), 1);
    ASSERT_EQ(fn::DocSave(doc.get(), path.c_str(), error), 1) << error.text();
    // Saving again gives the same bytes: the /ID is derived from the content.
    ASSERT_EQ(fn::DocSave(doc.get(), (dir / "b.pdf").c_str(), error), 1) << error.text();
    EXPECT_EQ(ReadFile(path), ReadFile(dir / "b.pdf"));
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.pdf", "b.pdf"}));
  ExpectSound(path);
  Doc reopened(fn::DocOpenFile(path.c_str(), error));
  ASSERT_NE(reopened, nullptr) << error.text();
  Bytes foo;
  EXPECT_EQ(fn::StringGetBytes(fn::DictGet(fn::DocGetPage(reopened.get(), 0), "/Foo"), foo), 1);
  EXPECT_EQ(foo.text(), "Edited");
}

TEST(PdfDocument, FailedSaveKeepsOldFileAndLeavesNoTemporary) {
  TempDir dir;
  Doc doc = OnePageDoc();
  Bytes error;
  EXPECT_EQ(fn::DocSave(doc.get(), (dir / "no/such/folder/x.pdf").c_str(), error), 0);
  EXPECT_NE(error.text().find("No such file or directory"), std::string::npos) << error.text();

  // The temporary is written in full, then the rename onto a folder fails.
  std::filesystem::create_directory(dir / "taken");
  WriteFile(dir / "taken/old.pdf", "old contents");
  EXPECT_EQ(fn::DocSave(doc.get(), (dir / "taken").c_str(), error), 0);
  EXPECT_EQ(error.text().rfind("cannot save " + (dir / "taken") + ": ", 0), 0u) << error.text();
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken"});

  if (::geteuid() == 0) return;  // root writes into read-only folders
  ::chmod((dir / "taken").c_str(), 0555);
  EXPECT_EQ(fn::DocSave(doc.get(), (dir / "taken/old.pdf").c_str(), error), 0);
  ::chmod((dir / "taken").c_str(), 0755);
  EXPECT_EQ(ReadFile(dir / "taken/old.pdf"), "old contents");
  EXPECT_EQ(dir.Names("taken"), std::vector<std::string>{"old.pdf"});
}

TEST(PdfDocument, RemovingKeysLeavesSavableDocument) {
  SAMPLE_PDF_OR_SKIP(sample, "itext_annotation-with-popup_LineDimension.pdf");
  TempDir dir;
  Bytes error;
  Doc doc(fn::DocOpenFile(sample.c_str(), error));
  ASSERT_NE(doc, nullptr) << error.text();
  KPD_Page page = fn::DocGetPage(doc.get(), 0);
  KPD_Object annots = fn::DictGet(page, "/Annots");
  KPD_Dictionary line = fn::PageGetAnnot(page, 0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(fn::DictRemove(line, "/AP"), 1);
  EXPECT_EQ(fn::DictRemove(page, "/Annots"), 1);
  EXPECT_EQ(fn::DictRemove(page, "/Annots"), 0);
  // Handles to removed values stay usable.
  EXPECT_GT(fn::ArrayCount(annots), 0);

  std::string out = dir / "removed.pdf";
  ASSERT_EQ(fn::DocSave(doc.get(), out.c_str(), error), 1) << error.text();
  ExpectSound(out);
  Doc reopened(fn::DocOpenFile(out.c_str(), error));
  ASSERT_NE(reopened, nullptr) << error.text();
  EXPECT_EQ(fn::PageAnnotCount(fn::DocGetPage(reopened.get(), 0)), 0);
  EXPECT_EQ(fn::DocWarningCount(reopened.get()), 0);
}

TEST(PdfDocument, WarningsAreCollectedNotPrinted) {
  // A wrong startxref offset makes qpdf warn and rebuild the table.
  std::string bytes = QpdfMadePdf();
  bytes = bytes.substr(0, bytes.rfind("startxref\n")) + "startxref\n9\n%%EOF\n";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Bytes error, warning;
  Doc doc(fn::DocOpenMemory(bytes.data(), bytes.size(), error));
  int count = doc ? fn::DocWarningCount(doc.get()) : -1;
  std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "");
  ASSERT_GT(count, 0) << error.text();
  EXPECT_EQ(fn::DocGetWarning(doc.get(), 0, warning), 1);
  EXPECT_FALSE(warning.text().empty());
  EXPECT_EQ(fn::DocGetWarning(doc.get(), count, warning), 0);
}

TEST(PdfDocument, IndirectObjects) {
  Doc doc = OnePageDoc(), other = OnePageDoc();
  KPD_Dictionary root = fn::DocGetRoot(doc.get());
  EXPECT_EQ(fn::DocGetObject(doc.get(), fn::ObjectGetObjNum(root), 0), root);
  EXPECT_EQ(fn::DocGetObject(doc.get(), 9999, 0), nullptr);
  Owned mine(fn::DictNew());
  EXPECT_EQ(fn::DocOfObject(mine.get()), nullptr);
  KPD_Object indirect = fn::DocMakeIndirect(doc.get(), mine.get());
  // The plug-in's handle now names the new indirect object too.
  EXPECT_EQ(fn::ObjectIsIdentical(indirect, mine.get()), 1);
  EXPECT_EQ(fn::DocOfObject(mine.get()), doc.get());
  EXPECT_EQ(fn::DocMakeIndirect(other.get(), indirect), nullptr);
}

}  // namespace
}  // namespace kshost::pdf::test
