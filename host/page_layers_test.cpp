// The annotations of a page as a PDF of their own, read back by qpdf, and
// when a page's own look counts as changed.
#include "host/page_layers.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

// Two pages under a node that gives them their box, rotation and font. The
// first has text, a square with an appearance (its opacity set in an
// ExtGState), the square's popup and a link to the second page; the second
// page's content is a marker that must not reach the first page's layer.
// `extraAnnot` is added to the first page's annotations when given (as a
// direct dictionary when it starts with "direct "), `extraGState` to the
// ExtGState of the square's appearance.
std::string TwoPages(std::string const& extraAnnot = "", std::string const& extraGState = "") {
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle pages = qpdf.getRoot().getKey("/Pages");
  QPDFObjectHandle font = qpdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  pages.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 300 200]"));
  pages.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
  pages.replaceKey("/Resources", QPDFObjectHandle::parse("<< /Font << >> >>"));
  pages.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
  auto newPage = [&](std::string const& content) {
    QPDFObjectHandle page = qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page >>"));
    page.replaceKey("/Parent", pages);
    page.replaceKey("/Contents", qpdf.newStream(content));
    pages.getKey("/Kids").appendItem(page);
    return page;
  };
  QPDFObjectHandle first = newPage("BT /F1 12 Tf 20 20 Td (first page text) Tj ET");
  QPDFObjectHandle second = newPage("% second page marker\n0 0 m 10 10 l S");
  pages.replaceKey("/Count", QPDFObjectHandle::newInteger(2));
  first.replaceKey("/CropBox", QPDFObjectHandle::parse("[10 10 290 190]"));

  QPDFObjectHandle appearance = qpdf.newStream("/GS0 gs 1 0 0 RG 2 2 76 76 re S");
  appearance.getDict().replaceKey(
      "/Resources",
      QPDFObjectHandle::parse("<< /ExtGState << /GS0 << /CA 0.5 " + extraGState + " >> >> >>"));
  appearance.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 80 80]"));
  QPDFObjectHandle square = qpdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Square /Rect [10 10 90 90] /C [1 0 0] >>"));
  square.replaceKey("/AP", QPDFObjectHandle::parse("<< >>"));
  square.getKey("/AP").replaceKey("/N", appearance);
  square.replaceKey("/P", first);
  QPDFObjectHandle popup = qpdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Popup /Rect [100 100 200 150] >>"));
  popup.replaceKey("/Parent", square);
  square.replaceKey("/Popup", popup);
  QPDFObjectHandle link = qpdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Link /Rect [0 0 5 5] /Dest [null /Fit] >>"));
  link.getKey("/Dest").setArrayItem(0, second);
  QPDFObjectHandle annots = QPDFObjectHandle::newArray();
  for (auto const& annot : {square, popup, link}) annots.appendItem(annot);
  if (!extraAnnot.empty()) {
    const bool direct = extraAnnot.rfind("direct ", 0) == 0;
    QPDFObjectHandle extra = QPDFObjectHandle::parse(direct ? extraAnnot.substr(7) : extraAnnot);
    annots.appendItem(direct ? extra : qpdf.makeIndirectObject(extra));
  }
  first.replaceKey("/Annots", annots);

  QPDFWriter writer(qpdf);
  writer.setOutputMemory();
  writer.setStreamDataMode(qpdf_s_uncompress);
  writer.write();
  std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
  return std::string(reinterpret_cast<char const*>(buffer->getBuffer()), buffer->getSize());
}

Doc Open(std::string const& bytes) {
  Bytes error;
  Doc doc(direct::DocOpenMemory(bytes.data(), bytes.size(), error));
  EXPECT_TRUE(doc) << error.text();
  return doc;
}

std::string Data(QPDFObjectHandle stream) {
  std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_all);
  return std::string(reinterpret_cast<char const*>(data->getBuffer()), data->getSize());
}

TEST(AnnotationLayer, HoldsThePagesAnnotationsAndNothingElseOfTheDocument) {
  Doc doc = Open(TwoPages());
  ASSERT_TRUE(doc);
  std::string layer, why;
  ASSERT_TRUE(AnnotationLayerOf(doc.get(), 0, &layer, &why)) << why;

  QPDF read;
  read.processMemoryFile("layer", layer.data(), layer.size());
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(read).getAllPages();
  ASSERT_EQ(pages.size(), 1u);
  QPDFObjectHandle page = pages[0].getObjectHandle();
  // The boxes and rotation it inherited are its own now.
  EXPECT_EQ(page.getKey("/MediaBox").unparse(), "[ 0 0 300 200 ]");
  EXPECT_EQ(page.getKey("/CropBox").unparse(), "[ 10 10 290 190 ]");
  EXPECT_EQ(page.getKey("/Rotate").getIntValue(), 90);
  EXPECT_FALSE(page.hasKey("/Contents"));
  EXPECT_EQ(pages[0].getPageContents().size(), 0u);

  QPDFObjectHandle annots = page.getKey("/Annots");
  ASSERT_EQ(annots.getArrayNItems(), 3);
  QPDFObjectHandle square = annots.getArrayItem(0), popup = annots.getArrayItem(1), link = annots.getArrayItem(2);
  EXPECT_EQ(square.getKey("/Subtype").getName(), "/Square");
  EXPECT_EQ(Data(square.getKey("/AP").getKey("/N")), "/GS0 gs 1 0 0 RG 2 2 76 76 re S");
  EXPECT_EQ(square.getKey("/AP").getKey("/N").getDict().getKey("/Resources").getKey("/ExtGState").getKey("/GS0")
                .getKey("/CA").getNumericValue(),
            0.5);
  // The annotation's page is the layer's page; the popup still belongs to
  // the square; the link's target page was left out and reads as null.
  EXPECT_EQ(square.getKey("/P").getObjGen(), page.getObjGen());
  EXPECT_EQ(popup.getKey("/Parent").getObjGen(), square.getObjGen());
  EXPECT_TRUE(link.getKey("/Dest").getArrayItem(0).isNull());
  EXPECT_EQ(layer.find("second page marker"), std::string::npos);
  EXPECT_EQ(layer.find("first page text"), std::string::npos);
  // qpdf reads every object of it without a complaint.
  for (QPDFObjectHandle object : read.getAllObjects())
    if (object.isStream()) Data(object);
  EXPECT_TRUE(read.getWarnings().empty());

  // The second page has no annotations: an empty page of its own.
  ASSERT_TRUE(AnnotationLayerOf(doc.get(), 1, &layer, &why)) << why;
  QPDF second;
  second.processMemoryFile("second", layer.data(), layer.size());
  EXPECT_EQ(QPDFPageDocumentHelper(second).getAllPages().at(0).getObjectHandle().getKey("/Annots").getArrayNItems(), 0);
  EXPECT_FALSE(AnnotationLayerOf(doc.get(), 2, &layer, &why));
  EXPECT_EQ(why, "the document has no page 3");
}

TEST(AnnotationLayer, RefusesAnnotationsThatDoNotDrawTheSameApartFromThePage) {
  struct Case {
    const char* annot;
    const char* gstate;
    const char* why;  // empty: drawn apart
  } cases[] = {
      {"<< /Type /Annot /Subtype /Widget /FT /Tx /Rect [0 0 9 9] >>", "", "the page has form fields"},
      {"<< /Type /Annot /Subtype /Square /Rect [0 0 9 9] /OC << /Type /OCG /Name (x) >> >>", "",
       "an annotation of the page is in optional content"},
      {"", "/BM /Multiply", "an annotation of the page blends with what lies under it"},
      {"", "/BM [/Normal /Screen]", "an annotation of the page blends with what lies under it"},
      {"<< /Type /Annot /Subtype /Highlight /Rect [0 0 9 9] /BM /Multiply >>", "",
       "an annotation of the page blends with what lies under it"},
      {"direct << /Type /Annot /Subtype /Square /Rect [0 0 9 9] >>", "",
       "an annotation of the page is not an object of its own"},
      {"", "/BM /Normal", ""},
      {"", "/BM [/Compatible /Normal]", ""},
      {"<< /Type /Annot /Subtype /Ink /Rect [0 0 9 9] /InkList [[1 1 5 5]] >>", "", ""},
  };
  for (auto const& c : cases) {
    Doc doc = Open(TwoPages(c.annot, c.gstate));
    ASSERT_TRUE(doc);
    std::string layer = "untouched", why;
    const bool apart = AnnotationLayerOf(doc.get(), 0, &layer, &why);
    EXPECT_EQ(apart, *c.why == '\0') << c.annot << c.gstate << ": " << why;
    if (!apart) {
      EXPECT_EQ(why, c.why) << c.annot << c.gstate;
      EXPECT_EQ(layer, "untouched");
    }
  }
}

TEST(PageLooks, MoveOnlyWhenWhatThePageDrawsBesidesItsAnnotationsChanges) {
  const std::string bytes = TwoPages();
  Doc doc = Open(bytes);
  ASSERT_TRUE(doc);
  PageLooks looks;
  KPD_Page first = direct::DocGetPage(doc.get(), 0), second = direct::DocGetPage(doc.get(), 1);
  const DocumentMoment opened = MomentOf(doc.get());
  EXPECT_EQ(looks.LastChange(doc.get(), 0), opened);

  // Annotations come and change: the page's dictionary changes (its
  // /Annots), what it draws below them does not.
  Owned annot = Parse("<< /Subtype /Square /Rect [0 0 9 9] >>");
  KPD_Dictionary added = direct::PageInsertAnnot(first, -1, annot.get());
  ASSERT_NE(added, nullptr);
  Owned red = Parse("[1 0 0]");
  ASSERT_EQ(direct::DictSet(added, "/C", red.get()), 1);
  ASSERT_EQ(direct::PageRemoveAnnot(first, 0), 1);
  EXPECT_GT(MomentOf(doc.get()).changes, opened.changes);
  EXPECT_EQ(looks.LastChange(doc.get(), 0), opened);

  // The second page's content changes: the first page's look stays.
  ASSERT_EQ(direct::PageAppendContent(second, "0 0 m", 5), 1);
  EXPECT_EQ(looks.LastChange(doc.get(), 0), opened);
  EXPECT_EQ(looks.LastChange(doc.get(), 1), MomentOf(doc.get()));

  // Content added to the first page, then a change to the font it
  // inherits, each move it to the moment of the change.
  ASSERT_EQ(direct::PageAppendContent(first, "0 0 m", 5), 1);
  const DocumentMoment appended = MomentOf(doc.get());
  EXPECT_EQ(looks.LastChange(doc.get(), 0), appended);
  KPD_Dictionary resources = direct::DictGet(direct::DictGet(direct::DocGetRoot(doc.get()), "/Pages"), "/Resources");
  KPD_Dictionary font = direct::DictGet(direct::DictGet(resources, "/Font"), "/F1");
  ASSERT_NE(font, nullptr);
  Owned courier = Parse("/Courier");
  ASSERT_EQ(direct::DictSet(font, "/BaseFont", courier.get()), 1);
  const DocumentMoment refonted = MomentOf(doc.get());
  EXPECT_GT(refonted.changes, appended.changes);
  EXPECT_EQ(looks.LastChange(doc.get(), 0), refonted);
  // A turn of the page is a change of its own entries.
  ASSERT_EQ(direct::PageSetRotation(first, 180), 1);
  EXPECT_EQ(looks.LastChange(doc.get(), 0), MomentOf(doc.get()));

  // Asked first after its dictionary changed, a page counts as changed
  // then, since what changed in it is not known.
  PageLooks later;
  EXPECT_EQ(later.LastChange(doc.get(), 0), MomentOf(doc.get()));

  // The same file opened again is another document: nothing written from
  // the first one covers it.
  Doc again = Open(bytes);
  ASSERT_TRUE(again);
  EXPECT_NE(looks.LastChange(again.get(), 0).document, opened.document);
  EXPECT_EQ(looks.LastChange(again.get(), 0).changes, 0u);
}

}  // namespace
}  // namespace kshost::pdf::test
