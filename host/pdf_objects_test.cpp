// Handles, objects, arrays, dictionaries and streams.
#include "host/pdf_test_support.h"

#include <cmath>
#include <limits>
#include <locale>
#include <set>
#include <vector>

namespace kshost::pdf::test {
namespace {

TEST(PdfHandles, BorrowedHandlesAreStablePerObject) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  EXPECT_EQ(page, direct::DocGetPage(doc.get(), 0));
  // One indirect object reached by different routes; a direct one twice.
  KPD_Dictionary pages = direct::DictGet(direct::DocGetRoot(doc.get()), "/Pages");
  EXPECT_EQ(direct::DictGet(page, "/Parent"), pages);
  EXPECT_EQ(direct::ArrayGet(direct::DictGet(pages, "/Kids"), 0), page);
  KPD_Object box = direct::DictGet(page, "/MediaBox");
  EXPECT_EQ(direct::ObjectIsIndirect(box), 0);
  EXPECT_EQ(direct::DictGet(page, "/MediaBox"), box);
  direct::ObjectRelease(box);  // borrowed: no effect
  EXPECT_EQ(direct::ArrayCount(box), 4);
}

// Enough values to make the lending table and the handle blocks grow many
// times: every handle keeps its address and its object through the growth.
TEST(PdfHandles, ManyBorrowedHandlesStayDistinctAndStable) {
  constexpr int kCount = 3000;
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  Owned list(direct::ArrayNew());
  for (int i = 0; i < kCount; ++i) {
    Owned item(direct::ArrayNew());
    Owned number(direct::IntegerNew(i));
    ASSERT_EQ(direct::ArrayAppend(item.get(), number.get()), 1);
    ASSERT_EQ(direct::ArrayAppend(list.get(), item.get()), 1);
  }
  // Through the plug-in's own array, then through the document.
  std::vector<KPD_Object> mine;
  for (int i = 0; i < kCount; ++i) mine.push_back(direct::ArrayGet(list.get(), i));
  ASSERT_EQ(direct::DictSet(page, "/Many", list.get()), 1);
  KPD_Array stored = direct::DictGet(page, "/Many");
  std::vector<KPD_Object> lent;
  for (int i = 0; i < kCount; ++i) lent.push_back(direct::ArrayGet(stored, i));
  std::set<KPD_Object> distinct(lent.begin(), lent.end());
  distinct.insert(mine.begin(), mine.end());
  EXPECT_EQ(distinct.size(), size_t{2 * kCount});
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(direct::ArrayGet(stored, i), lent[size_t(i)]) << i;
    ASSERT_EQ(direct::ArrayGet(list.get(), i), mine[size_t(i)]) << i;
    ASSERT_EQ(direct::ObjectGetInteger(direct::ArrayGet(lent[size_t(i)], 0)), i);
    ASSERT_EQ(direct::ObjectIsIdentical(mine[size_t(i)], lent[size_t(i)]), 1);
  }
}

TEST(PdfHandles, CreatedObjectsAreSharedWhenStored) {
  Doc doc = OnePageDoc();
  KPD_Page page = direct::DocGetPage(doc.get(), 0);
  Owned mine(direct::DictNew()), five(direct::IntegerNew(5));
  ASSERT_EQ(direct::DictSet(page, "/Info", mine.get()), 1);
  KPD_Object stored = direct::DictGet(page, "/Info");
  EXPECT_NE(stored, mine.get());
  EXPECT_EQ(direct::ObjectIsIdentical(stored, mine.get()), 1);
  ASSERT_EQ(direct::DictSet(mine.get(), "/K", five.get()), 1);
  EXPECT_EQ(direct::ObjectIsIdentical(direct::DictGet(mine.get(), "/K"), direct::DictGet(stored, "/K")), 1);
  // Releasing the plug-in's handle leaves the stored value in the document.
  mine.reset();
  EXPECT_EQ(direct::ObjectGetInteger(direct::DictGet(stored, "/K")), 5);
}

TEST(PdfHandles, BadKeysNamesAndHandlesAreRefused) {
  Owned dict = Parse("<< /A 1 >>"), one(direct::IntegerNew(1));
  EXPECT_EQ(direct::NameNew("Foo"), nullptr);
  EXPECT_EQ(direct::DictGet(dict.get(), "A"), nullptr);
  EXPECT_EQ(direct::DictHasKey(dict.get(), "A"), 0);
  EXPECT_EQ(direct::DictSet(dict.get(), "B", one.get()) + direct::DictSet(dict.get(), "/B", nullptr), 0);
  EXPECT_EQ(direct::DictRemove(dict.get(), "A"), 0);
  EXPECT_EQ(direct::DictGet(dict.get(), "/Missing"), nullptr);
  EXPECT_EQ(direct::DictGet(one.get(), "/A"), nullptr);
  // Names are given and returned decoded; only their written form escapes.
  Owned name(direct::NameNew("/A B")), parsed = Parse("/A#20B");
  EXPECT_EQ(direct::NameIs(name.get(), "A B"), 0);
  EXPECT_EQ(direct::NameIs(parsed.get(), "/A B"), 1);
  EXPECT_EQ(Write(name.get()), "/A#20B");
}

TEST(PdfHandles, ForeignObjectsAndDirectCyclesAreRefused) {
  Doc a = OnePageDoc(), b = OnePageDoc();
  KPD_Page pageA = direct::DocGetPage(a.get(), 0), pageB = direct::DocGetPage(b.get(), 0);
  EXPECT_EQ(direct::DictSet(pageB, "/Other", pageA), 0);
  Owned wrapper(direct::ArrayNew());
  ASSERT_EQ(direct::ArrayAppend(wrapper.get(), pageA), 1);  // no document yet
  EXPECT_EQ(direct::DictSet(pageB, "/Other", wrapper.get()), 0);
  EXPECT_EQ(direct::DictSet(pageA, "/Same", wrapper.get()), 1);

  Owned outer(direct::DictNew()), inner(direct::DictNew());
  EXPECT_EQ(direct::DictSet(outer.get(), "/Self", outer.get()), 0);
  ASSERT_EQ(direct::DictSet(outer.get(), "/In", inner.get()), 1);
  EXPECT_EQ(direct::DictSet(inner.get(), "/Out", outer.get()), 0);
}

TEST(PdfObjects, ParseAndWrite) {
  std::pair<const char*, const char*> cases[] = {
      {"<< /B [ true null (x) ] /A 1.5 >>", "<< /A 1.5 /B [ true null (x) ] >>"},
      {"<00ff>", "<00ff>"},
      {"[1 2", nullptr},
      {"<< /A ] >>", nullptr},
      {"[1 0 R]", nullptr},
      {"", nullptr},
      {"1 2", nullptr},
  };
  for (auto const& [text, written] : cases) {
    testing::internal::CaptureStderr();
    Owned obj = Parse(text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << text;
    EXPECT_EQ(obj ? Write(obj.get()) : "null", written ? written : "null") << text;
  }
  Doc doc = OnePageDoc();
  // An indirect object is written as its value, its references as references.
  std::string page = Write(direct::DocGetPage(doc.get(), 0));
  EXPECT_EQ(page.rfind("<< ", 0), 0u) << page;
  EXPECT_NE(page.find("/Parent 2 0 R"), std::string::npos) << page;
}

TEST(PdfObjects, NumbersIgnoreTheLocale) {
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Comma));
  std::tuple<double, const char*, int32_t> cases[] = {
      {0.5, "0.5", 0}, {3.0, "3", 1}, {-0.0, "0", 1}, {-1234.25, "-1234.25", 0}, {1.0 / 3, "0.333333333333", 0},
      // Tiny factors keep their significant digits instead of becoming 0.
      {3.9e-13, "0.00000000000039", 0}, {-0.0012, "-0.0012", 0},
      // A value that came from a float is written as that float's text.
      {static_cast<double>(0.35f), "0.35", 0}, {static_cast<double>(135.056f), "135.056", 0},
      // Beyond the 64-bit integer range a whole number keeps its point.
      {1e19, "10000000000000000000.0", 0}, {-1e19, "-10000000000000000000.0", 0},
      {static_cast<double>(1e19f), "9999999980506447872.0", 0}, {1e16, "10000000000000000", 0}};
  for (auto const& [value, written, integer] : cases) {
    Owned n(direct::NumberNew(value));
    EXPECT_EQ(Write(n.get()), written);
    EXPECT_EQ(direct::ObjectIsInteger(n.get()), integer) << written;
  }
  std::locale::global(previous);
  EXPECT_EQ(direct::NumberNew(std::nan("")), nullptr);
  EXPECT_EQ(direct::NumberNew(std::numeric_limits<double>::infinity()), nullptr);
  EXPECT_EQ(direct::ObjectGetInteger(Parse("2.6").get()), 3);
}

TEST(PdfObjects, ArraysAndDictionaries) {
  Owned arr = Parse("[1 2 3]"), x(direct::NameNew("/X"));
  EXPECT_EQ(direct::ArrayGet(arr.get(), -1), nullptr);
  EXPECT_EQ(direct::ArrayGet(arr.get(), 3), nullptr);
  EXPECT_EQ(direct::ArraySet(arr.get(), 3, x.get()) + direct::ArrayRemove(arr.get(), 3), 0);
  EXPECT_EQ(direct::ArrayInsert(arr.get(), 4, x.get()), 0);
  EXPECT_EQ(direct::ArrayInsert(arr.get(), 3, x.get()) + direct::ArrayInsert(arr.get(), 0, x.get()), 2);
  EXPECT_EQ(direct::ArrayRemove(arr.get(), 1), 1);
  EXPECT_EQ(Write(arr.get()), "[ /X 2 3 /X ]");
  EXPECT_EQ(direct::ArrayGetNumbers(arr.get(), nullptr, 0), -1);
  float out[2] = {0, 0};
  EXPECT_EQ(direct::ArrayGetNumbers(Parse("[1 2.5 -3 4]").get(), out, 2), 4);
  EXPECT_EQ(out[1], 2.5f);
  EXPECT_EQ(direct::ObjectGetType(direct::ArrayGet(Parse("[null null null]").get(), 1)), KPD_OBJ_NULL);

  Owned dict = Parse("<< /b 1 /A 2 /a 3 /Gone null >>");
  std::string keys;
  Bytes key;
  for (int i = 0; direct::DictKeyAt(dict.get(), i, key); ++i) keys += key.text();
  EXPECT_EQ(keys, "/A/a/b");
  EXPECT_EQ(direct::DictKeyCount(dict.get()), 3);
}

TEST(PdfObjects, EqualityAndCloning) {
  Owned a = Parse("<< /A [1 2.0 (s)] /B << /C /D >> >>"), b = Parse("<< /B << /C /D >> /A [1 2 (s)] >>");
  Owned c = Parse("<< /B << /C /E >> /A [1 2 (s)] >>");
  EXPECT_EQ(direct::ObjectIsEqual(a.get(), b.get()), 1);
  EXPECT_EQ(direct::ObjectIsEqual(a.get(), c.get()), 0);
  EXPECT_EQ(direct::ObjectIsIdentical(a.get(), b.get()), 0);

  // Pages of two documents compare through their cyclic /Parent links.
  Doc d1 = OnePageDoc(), d2 = OnePageDoc();
  KPD_Page p1 = direct::DocGetPage(d1.get(), 0), p2 = direct::DocGetPage(d2.get(), 0);
  EXPECT_EQ(direct::ObjectIsEqual(p1, p2), 1);
  direct::DictSet(direct::DictGet(p2, "/Parent"), "/Flag", Owned(direct::BooleanNew(1)).get());
  EXPECT_EQ(direct::ObjectIsEqual(p1, p2), 0);

  Owned clone(direct::ObjectClone(p1));
  EXPECT_EQ(direct::ObjectIsIndirect(clone.get()), 0);
  EXPECT_EQ(direct::ObjectIsEqual(clone.get(), p1), 1);
  EXPECT_EQ(direct::ObjectIsIdentical(direct::DictGet(clone.get(), "/Parent"), direct::DictGet(p1, "/Parent")), 1);
  direct::ArrayRemove(direct::DictGet(clone.get(), "/MediaBox"), 0);
  EXPECT_EQ(direct::ArrayCount(direct::DictGet(p1, "/MediaBox")), 4);
}

TEST(PdfObjects, Streams) {
  Doc doc = OnePageDoc();
  KPD_Stream stream = direct::DocNewStream(doc.get(), "raw\0data", 8);
  KPD_Dictionary dict = direct::StreamGetDict(stream);
  EXPECT_EQ(direct::StreamGetDict(stream), dict);
  Bytes data;
  EXPECT_EQ(direct::StreamGetData(stream, 1, data), 1);
  EXPECT_EQ(data.text(), std::string("raw\0data", 8));
  // Under a filter qpdf does not know: raw data yes, decoded no.
  direct::DictSet(dict, "/Filter", Owned(direct::NameNew("/NoSuchDecode")).get());
  EXPECT_EQ(direct::StreamGetData(stream, 0, data), 1);
  EXPECT_EQ(direct::StreamGetData(stream, 1, data), 0);
  EXPECT_EQ(direct::StreamSetData(stream, "new", 3), 1);
  EXPECT_EQ(direct::DictHasKey(dict, "/Filter"), 0);
  EXPECT_EQ(direct::StreamGetData(stream, 1, data), 1);
  EXPECT_EQ(data.text(), "new");
}

}  // namespace
}  // namespace kshost::pdf::test
