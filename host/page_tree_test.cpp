// The page tree on its own, over a bare qpdf document: what it tells its
// listener, and inheritance.
#include "host/page_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kshost::pdf {
namespace {

QPDFObjectHandle NewPage(QPDF& qpdf) {
  return qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 100 100] >>"));
}

// A catalog without /Pages gets a root node; each append reports the
// catalog, the root and the page as changed, and the tree answers for the
// new pages at once.
TEST(PageTree, AppendMakesTheRootWhereNeededAndReportsWhatItChanges) {
  QPDF qpdf;
  qpdf.emptyPDF();
  qpdf.getRoot().removeKey("/Pages");
  std::vector<QPDFObjGen> changed;
  PageTree tree(qpdf, {nullptr, [&](QPDFObjectHandle const& o) {
                         if (o.isIndirect()) changed.push_back(o.getObjGen());
                       }});
  EXPECT_EQ(tree.Count(), 0);
  QPDFObjectHandle first = NewPage(qpdf), second = NewPage(qpdf);
  tree.Append(first);
  tree.Append(second);
  QPDFObjectHandle root = qpdf.getRoot().getKey("/Pages");
  ASSERT_TRUE(root.isIndirect());
  EXPECT_EQ(root.getKey("/Count").getIntValue(), 2);
  EXPECT_EQ(root.getKey("/Kids").getArrayNItems(), 2);
  EXPECT_TRUE(second.getKey("/Parent").isSameObjectAs(root));
  const QPDFObjGen catalog = qpdf.getRoot().getObjGen();
  EXPECT_EQ(changed, (std::vector<QPDFObjGen>{catalog, root.getObjGen(), first.getObjGen(), catalog,
                                              root.getObjGen(), second.getObjGen()}));
  EXPECT_EQ(tree.Count(), 2);
  EXPECT_TRUE(tree.At(1).isSameObjectAs(second));
  EXPECT_FALSE(tree.At(2).isInitialized());
  EXPECT_EQ(tree.IndexOf(second), 1);
}

// Entries that are not pages are skipped and told once, however often the
// tree is asked; a page of another document has no index here.
TEST(PageTree, WarnsOnceAboutEntriesThatAreNotPages) {
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle page = NewPage(qpdf);
  QPDFObjectHandle annot = qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Annot >>"));
  QPDFObjectHandle root = qpdf.getRoot().getKey("/Pages");
  root.replaceKey("/Kids", QPDFObjectHandle::parse("[5]"));
  root.getKey("/Kids").appendItem(page);
  root.getKey("/Kids").appendItem(annot);
  root.replaceKey("/Count", QPDFObjectHandle::newInteger(3));
  std::vector<std::string> warnings;
  PageTree tree(qpdf, {[&](std::string const& w) { warnings.push_back(w); }, nullptr});
  EXPECT_EQ(tree.All().size(), 1u);
  EXPECT_EQ(tree.Count(), 1);
  EXPECT_TRUE(tree.At(0).isSameObjectAs(page));
  EXPECT_EQ(tree.IndexOf(page), 0);
  EXPECT_EQ(warnings, (std::vector<std::string>{"page tree: skipped 2 entries that are not pages"}));

  QPDF other;
  other.emptyPDF();
  EXPECT_EQ(tree.IndexOf(NewPage(other)), -1);
}

// An attribute comes from the page or its nearest ancestor; a /Parent loop
// ends the search.
TEST(PageTree, InheritedTakesTheNearestAndSurvivesLoops) {
  QPDF qpdf;
  qpdf.emptyPDF();
  QPDFObjectHandle root = qpdf.getRoot().getKey("/Pages");
  QPDFObjectHandle node = qpdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Rotate 180 >>"));
  root.replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
  root.replaceKey("/CropBox", QPDFObjectHandle::parse("[0 0 5 5]"));
  node.replaceKey("/Parent", root);
  QPDFObjectHandle page = NewPage(qpdf);
  page.replaceKey("/Parent", node);
  EXPECT_EQ(Inherited(page, "/Rotate").getIntValue(), 180);
  EXPECT_EQ(Inherited(page, "/CropBox").getArrayNItems(), 4);
  EXPECT_EQ(Inherited(page, "/MediaBox").getArrayNItems(), 4);
  EXPECT_FALSE(Inherited(page, "/Resources").isInitialized());
  root.replaceKey("/Parent", node);  // a loop: node -> root -> node
  EXPECT_FALSE(Inherited(page, "/Resources").isInitialized());
}

}  // namespace
}  // namespace kshost::pdf
