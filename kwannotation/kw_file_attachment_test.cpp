#include "kwannotation/kw_file_attachment.h"

#include <gtest/gtest.h>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_test_support.h"
#include "kwannotation/kw_xfdf.h"

namespace kwannotation {
namespace {

namespace host = ks::host;

class AttachFile : public test::HostDocTest {
 protected:
  void TearDown() override {
    CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(0);
    test::HostDocTest::TearDown();
  }
};

// The attached file is what an XFDF exchange with files carries over to
// another document: its name, bytes, type and size.
TEST_F(AttachFile, TheFileTravelsWithItsNameTypeAndSize) {
  auto list = CKW_PageAnnotList::Create(doc_, page_);
  auto annot = list->CreateAnnot("FileAttachment");
  ASSERT_TRUE(annot);
  annot->SetRect({10, 10, 24, 30});
  const std::string bytes("line one\nline\x00two", 17);
  ASSERT_TRUE(KW_AttachFile(*annot->GetImpl(), u"notes.txt", bytes, "text/plain", u"D:20260101120000Z"));

  CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(1024);
  std::string xfdf, error;
  ASSERT_TRUE(KW_ExportXFDF(doc_, &xfdf, &error)) << error;
  EXPECT_NE(xfdf.find("file=\"notes.txt\""), std::string::npos) << xfdf;
  EXPECT_NE(xfdf.find("mimetype=\"text/plain\""), std::string::npos) << xfdf;
  EXPECT_NE(xfdf.find("size=\"17\""), std::string::npos) << xfdf;

  KPD_Document other = host::DocNew();
  KS_FloatRect letter{0, 0, 612, 792};
  KPD_Page page = host::DocAddPage(other, &letter);
  ASSERT_TRUE(KW_ImportXFDF(other, xfdf, &error)) << error;
  KPD_Object fs = host::DictGet(host::PageGetAnnot(page, 0), "/FS");
  KPD_Object ef = fs ? host::DictGet(fs, "/EF") : nullptr;
  host::ByteString data;
  ASSERT_TRUE(ef && host::StreamGetData(host::DictGet(ef, "/F"), 1, data.get()));
  EXPECT_EQ(data.str(), bytes);
  host::DocClose(other);

  // An empty file is a file too.
  auto orphan = list->CreateAnnot("FileAttachment");
  ASSERT_TRUE(orphan);
  EXPECT_TRUE(KW_AttachFile(*orphan->GetImpl(), u"empty.bin", "", "", u""));
  EXPECT_TRUE(host::DictGet(orphan->GetDict(), "/FS"));
}

}  // namespace
}  // namespace kwannotation
