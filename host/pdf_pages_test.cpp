// Page boxes, rotation, annotations and content; the page tree.
#include "host/pdf_test_support.h"

#include <ctime>

namespace kshost::pdf::test {
namespace {

std::string BoxOf(KPD_Page page, const char* name) {
  KS_FloatRect b{};
  if (!direct::PageGetBox(page, name, &b)) return "none";
  char text[80];
  std::snprintf(text, sizeof text, "%g %g %g %g", b.left, b.bottom, b.right, b.top);
  return text;
}

void Set(KPD_Dictionary dict, const char* key, const char* value) {
  ASSERT_EQ(direct::DictSet(dict, key, Parse(value).get()), 1) << key << " " << value;
}

TEST(PdfPages, BoxesInheritAndDefault) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  KPD_Dictionary parent = direct::DictGet(page, "/Parent");
  EXPECT_EQ(BoxOf(page, "/ArtBox"), "0 0 600 800");
  direct::DictRemove(page, "/MediaBox");
  Set(parent, "/MediaBox", "[0 0 300 400]");
  Set(parent, "/CropBox", "[300 400 10 20]");
  Set(page, "/TrimBox", "[50 60 40 30]");
  Set(parent, "/BleedBox", "[1 1 2 2]");  // not inheritable
  Set(page, "/ArtBox", "[1 2 3]");        // malformed: as if absent
  EXPECT_EQ(BoxOf(page, "MediaBox"), "0 0 300 400");
  EXPECT_EQ(BoxOf(page, "CropBox"), "10 20 300 400");
  EXPECT_EQ(BoxOf(page, "TrimBox"), "40 30 50 60");
  EXPECT_EQ(BoxOf(page, "BleedBox"), "10 20 300 400");
  EXPECT_EQ(BoxOf(page, "ArtBox"), "10 20 300 400");
  EXPECT_EQ(BoxOf(page, "PaperBox"), "none");
  // With no MediaBox anywhere a page is US Letter.
  direct::DictRemove(parent, "/MediaBox");
  EXPECT_EQ(BoxOf(page, "MediaBox"), "0 0 612 792");
  KS_FloatRect flat{0, 0, 100, 0};
  EXPECT_EQ(direct::DocAddPage(doc.get(), &flat), nullptr);
  EXPECT_EQ(direct::DocGetPageIndex(doc.get(), direct::DocAddPage(doc.get(), nullptr)), 1);
}

TEST(PdfPages, Rotation) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  KPD_Dictionary parent = direct::DictGet(page, "/Parent");
  struct Case {
    const char* parent;
    const char* page;
    int32_t want;
  } cases[] = {{"450", nullptr, 90}, {"90", "-90", 270}, {"0", "180.0", 180},
               {"0", "100", 90},     {"0", "/Bad", 0},    {"-720", nullptr, 0}};
  for (auto const& c : cases) {
    Set(parent, "/Rotate", c.parent);
    if (c.page) Set(page, "/Rotate", c.page);
    else direct::DictRemove(page, "/Rotate");
    EXPECT_EQ(direct::PageGetRotation(page), c.want) << c.parent << " " << (c.page ? c.page : "-");
  }
  EXPECT_EQ(direct::PageSetRotation(page, 45), 0);
  EXPECT_EQ(direct::PageSetRotation(page, -90), 1);
  EXPECT_EQ(Write(direct::DictGet(page, "/Rotate")), "270");
}

std::string AnnotNames(KPD_Page page) {
  std::string names;
  for (int i = 0; i < direct::PageAnnotCount(page); ++i) {
    Bytes nm;
    direct::StringGetBytes(direct::DictGet(direct::PageGetAnnot(page, i), "/NM"), nm);
    names += nm.text();
  }
  return names;
}

TEST(PdfPages, InsertAndRemoveAnnotations) {
  TempDir dir;
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  std::tuple<int32_t, const char*, const char*> steps[] = {{-1, "a", "a"}, {0, "b", "ba"}, {99, "c", "bac"},
                                                           {1, "d", "bdac"}};
  for (auto const& [index, name, order] : steps) {
    Owned annot = Parse(std::string("<< /Subtype /Square /NM (") + name + ") >>");
    KPD_Dictionary inserted = direct::PageInsertAnnot(page, index, annot.get());
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(direct::ObjectIsIndirect(inserted), 1);
    EXPECT_EQ(direct::DictGet(inserted, "/P"), page);
    EXPECT_EQ(AnnotNames(page), order);
    EXPECT_EQ(direct::PageGetAnnot(page, direct::PageFindAnnot(page, annot.get())), inserted);
  }
  KPD_Dictionary c = direct::PageGetAnnot(page, 3);
  EXPECT_EQ(direct::PageInsertAnnot(page, 0, c), nullptr);  // already there
  EXPECT_EQ(direct::PageRemoveAnnot(page, 4), 0);
  EXPECT_EQ(direct::PageRemoveAnnot(page, 1), 1);
  EXPECT_EQ(AnnotNames(page), "bac");
  EXPECT_EQ(direct::PageFindAnnot(page, c), 2);

  Bytes error;
  ASSERT_EQ(direct::DocSave(doc.get(), (dir / "annots.pdf").c_str(), error), 1) << error.text();
  Doc reopened(direct::DocOpenFile((dir / "annots.pdf").c_str(), error));
  KPD_Page again = direct::DocGetPage(reopened.get(), 0);
  EXPECT_EQ(AnnotNames(again), "bac");
  EXPECT_EQ(direct::DictGet(direct::PageGetAnnot(again, 0), "/P"), again);
  EXPECT_EQ(direct::PageInsertAnnot(page, 0, direct::PageGetAnnot(again, 0)), nullptr);  // foreign
}

TEST(PdfPages, AnnotationsOfARealFile) {
  SAMPLE_PDF_OR_SKIP(sample, "itext_annotation-with-popup_LineDimension.pdf");
  Doc doc = OpenedFile(sample);
  ASSERT_NE(doc, nullptr);
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  ASSERT_GE(direct::PageAnnotCount(page), 2);
  for (int i = 0; i < direct::PageAnnotCount(page); ++i) EXPECT_EQ(direct::PageFindAnnot(page, direct::PageGetAnnot(page, i)), i);
  // The popup's parent, reached by reference, is the line on the page.
  KPD_Dictionary line = direct::DictGet(direct::DictGet(direct::PageGetAnnot(page, 0), "/Popup"), "/Parent");
  EXPECT_EQ(direct::NameIs(direct::DictGet(line, "/Subtype"), "/Line"), 1);
  EXPECT_EQ(direct::PageGetAnnot(page, direct::PageFindAnnot(page, line)), line);
  EXPECT_EQ(direct::DocGetPageIndex(doc.get(), line), -1);
}

std::string Contents(KPD_Page page) {
  KPD_Object contents = direct::DictGet(page, "/Contents");
  std::string all;
  for (int i = 0; i < direct::ArrayCount(contents); ++i) {
    Bytes data;
    direct::StreamGetData(direct::ArrayGet(contents, i), 1, data);
    all += data.text() + "|";
  }
  return all;
}

TEST(PdfPages, AppendedContentIsIsolated) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  ASSERT_EQ(direct::PageAppendContent(page, "0 0 m", 5), 1);
  EXPECT_EQ(direct::ObjectGetType(direct::DictGet(page, "/Contents")), KPD_OBJ_STREAM);
  direct::DictSet(page, "/Contents", direct::DocNewStream(doc.get(), "2 0 0 2 0 0 cm", 14));
  ASSERT_EQ(direct::PageAppendContent(page, "A", 1), 1);
  ASSERT_EQ(direct::PageAppendContent(page, "B", 1), 1);
  EXPECT_EQ(Contents(page), "q\n|2 0 0 2 0 0 cm|\nQ\n|q\nA\nQ\n|q\nB\nQ\n|");
}

std::string Repeat(std::string const& item, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += item;
  return out;
}

// The pages of a document as the numbers of their objects, "3 5".
std::string PageObjects(KPD_Document doc) {
  std::string out;
  for (int i = 0; i < direct::DocPageCount(doc); ++i) {
    KPD_Page page = direct::DocGetPage(doc, i);
    out += (out.empty() ? "" : " ") + std::to_string(direct::ObjectGetObjNum(page));
    EXPECT_EQ(direct::DocGetPageIndex(doc, page), i);
  }
  return out;
}

// Objects 1 and 2 are the catalog and the root node; 3 and 4 are pages.
TEST(PdfPages, TreeHoldsOnlyPageDictionariesEachOnce) {
  const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>", page = "<< /Type /Page /Parent 2 0 R >>";
  struct Case {
    const char* what;
    std::vector<std::string> objects;
    std::string pages;
  };
  const Case cases[] = {
      {"plain", {catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>", page, page}, "3 4"},
      {"numbers, names, nulls and missing objects",
       {catalog, "<< /Type /Pages /Kids [1 3 0 R /Page null 4 0 R 99 0 R] /Count 6 >>", page, page},
       "3 4"},
      {"direct and non-page dictionaries",
       {catalog, "<< /Type /Pages /Kids [<< /Type /Page >> 3 0 R 4 0 R] >>", "<< /Type /Annot >>", page},
       "4"},
      {"untyped page and untyped node",
       {catalog, "<< /Kids [3 0 R 4 0 R] >>", "<< /MediaBox [0 0 9 9] >>", "<< /Kids [5 0 R] >>", page},
       "3 5"},
      {"the same page twice", {catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] >>", page, page}, "3 4"},
      {"cycles back to the root and to the node itself",
       {catalog, "<< /Type /Pages /Kids [3 0 R 2 0 R 4 0 R] >>", page, "<< /Type /Pages /Kids [4 0 R 5 0 R] >>",
        page},
       "3 5"},
      {"a node reached twice", {catalog, "<< /Type /Pages /Kids [3 0 R 3 0 R] >>", "<< /Kids [4 0 R] >>", page},
       "4"},
      {"no page tree", {"<< /Type /Catalog >>"}, ""},
  };
  for (auto const& c : cases) {
    Doc doc = OpenedBytes(PdfOfObjects(c.objects));
    ASSERT_NE(doc, nullptr) << c.what;
    EXPECT_EQ(PageObjects(doc.get()), c.pages) << c.what;
    EXPECT_EQ(direct::DocGetPageIndex(doc.get(), direct::DocGetRoot(doc.get())), -1) << c.what;
  }
}

// Each of these once took qpdf seconds and made a page of every entry, or
// would take a naive walk minutes: a /Kids array of 200,000 numbers, the
// same page 200,000 times, and 2,000 nodes that all share one indirect
// /Kids array listing every one of them.
TEST(PdfPages, HugeMalformedTreesOpenQuickly) {
  const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>", page = "<< /Type /Page >>";
  std::string nodes = "4 0 R";
  std::vector<std::string> shared{catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R] >>", page, ""};
  for (int i = 0; i < 2000; ++i) {
    shared.push_back("<< /Type /Pages /Kids 4 0 R >>");
    nodes += " " + std::to_string(shared.size()) + " 0 R";
  }
  shared[3] = "[" + nodes + "]";
  std::vector<std::string> trees[] = {
      {catalog, "<< /Type /Pages /Kids [" + Repeat("7 ", 200000) + "3 0 R] /Count 200001 >>", page},
      {catalog, "<< /Type /Pages /Kids [" + Repeat("3 0 R ", 200000) + "] /Count 200000 >>", page},
      shared,
  };
  // The bound catches work that grows with the square of the tree (minutes
  // here), not speed: it is processor time, so a busy machine does not
  // matter, and sanitizer builds run several times slower.
#if defined(__SANITIZE_ADDRESS__)
  const double limit = 20;
#else
  const double limit = 3;
#endif
  for (auto const& objects : trees) {
    const std::string bytes = PdfOfObjects(objects);
    const std::clock_t start = std::clock();
    Doc doc = OpenedBytes(bytes);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(direct::DocPageCount(doc.get()), 1);
    EXPECT_EQ(direct::ObjectGetObjNum(direct::DocGetPage(doc.get(), 0)), 3);
    EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, limit);
    // The skipped entries are summed up in one warning.
    Bytes warning;
    int count = direct::DocWarningCount(doc.get());
    ASSERT_GT(count, 0);
    EXPECT_EQ(direct::DocGetWarning(doc.get(), count - 1, warning), 1);
    EXPECT_EQ(warning.text().rfind("page tree: skipped ", 0), 0u) << warning.text();
  }
}

TEST(PdfPages, AddedPageGoesToTheEndOfAMalformedTree) {
  Doc doc = OpenedBytes(PdfOfObjects(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 3 0 R] /Count 9 >>", "<< /Type /Page >>"}));
  ASSERT_NE(doc, nullptr);
  KPD_Page added = direct::DocAddPage(doc.get(), nullptr);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(direct::DocPageCount(doc.get()), 2);
  EXPECT_EQ(direct::DocGetPage(doc.get(), 1), added);
  EXPECT_EQ(direct::DocGetPageIndex(doc.get(), added), 1);
  KPD_Dictionary root = direct::DictGet(direct::DocGetRoot(doc.get()), "/Pages");
  EXPECT_EQ(direct::DictGet(added, "/Parent"), root);
  EXPECT_EQ(Write(direct::DictGet(root, "/Count")), "2");
}

// Opening a document and asking for some of its pages reads those pages
// and the nodes above them, not the rest of the tree: a damaged page that
// is never asked for gives no warning. Asking for it then does, so the
// test can tell.
TEST(PdfPages, OnlyThePagesAskedForAreRead) {
  const std::string catalog = "<< /Type /Catalog /Pages 2 0 R >>", page = "<< /Type /Page /Parent 2 0 R >>";
  const std::string broken = "<< /Type /Page /MediaBox [0 0 9 (";
  struct Case {
    const char* what;
    std::vector<std::string> objects;
    std::vector<int> numbers;  // of the pages in order; the last one is broken
  };
  const Case cases[] = {
      {"flat", {catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>", page, page, broken}, {3, 4, 5}},
      {"two levels",
       {catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 4 >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R] /Count 2 >>", page, page, page, broken},
       {5, 6, 7, 8}},
      {"mixed levels",
       {catalog, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>", page,
        "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>", page, broken},
       {3, 5, 6}},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.what);
    Doc doc = OpenedBytes(PdfOfObjects(c.objects));
    ASSERT_NE(doc, nullptr);
    const int count = static_cast<int>(c.numbers.size());
    EXPECT_EQ(direct::DocPageCount(doc.get()), count);
    for (int i = 0; i + 1 < count; ++i) {
      KPD_Page page = direct::DocGetPage(doc.get(), i);
      EXPECT_EQ(direct::ObjectGetObjNum(page), c.numbers[i]);
      EXPECT_EQ(direct::DocGetPageIndex(doc.get(), page), i);
    }
    EXPECT_EQ(direct::DocWarningCount(doc.get()), 0);
    direct::DocGetPage(doc.get(), count - 1);
    EXPECT_GT(direct::DocWarningCount(doc.get()), 0);
  }
}

}  // namespace
}  // namespace kshost::pdf::test
