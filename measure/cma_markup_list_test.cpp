#include "measure/cma_markup_list.h"

#include <gtest/gtest.h>

#include "kwannotation/kw_test_support.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {
namespace {

std::u16string Word(const std::string& key) {
  if (key == "IDS_DISTANCE") return u"Distance";
  if (key == "IDS_ANGLE") return u"Angle";
  if (key == "Square") return u"Rectangle";
  return {};
}

std::vector<std::string> Labels(const std::vector<MarkupRow>& rows, const MarkupGroup& g) {
  std::vector<std::string> out;
  for (size_t i : g.rows) out.push_back(ks::ToUtf8(rows[i].label));
  return out;
}

using kwannotation::test::Owned;
using kwannotation::test::Parse;

class MarkupListTest : public kwannotation::test::HostDocTest {};

TEST_F(MarkupListTest, CollectsEveryMarkupOfEveryPageButPopupsLinksAndFields) {
  Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /Label (Wall) /Contents (12.50 m) /T (Ann) "
      "/Subj (Distance Measurement) /M (D:20261207093015+01'00') /NM (d1) /Rect [10 20 110 40] >>");
  Add("<< /Type /Annot /Subtype /Popup /Rect [0 0 10 10] >>");
  Add("<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>");
  Add("<< /Type /Annot /Subtype /Widget /Rect [0 0 10 10] >>");
  Add("<< /Type /Annot /Subtype /Square /Contents (a note, not a value) /Rect [300 300 200 200] >>");
  KS_FloatRect letter{0, 0, 612, 792};
  KPD_Page second = ks::host::DocAddPage(doc_, &letter);
  Add("<< /Type /Annot /Subtype /Ink /CreationDate (D:2025) >>", second);

  const std::vector<MarkupRow> rows = CollectMarkups(doc_, Word);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].page, 0);
  EXPECT_EQ(rows[0].index, 0);
  EXPECT_EQ(rows[0].kindKey, "IDS_DISTANCE");
  EXPECT_EQ(rows[0].kind, u"Distance");
  EXPECT_EQ(rows[0].label, u"Wall");
  EXPECT_EQ(rows[0].value, u"12.50 m");
  EXPECT_EQ(rows[0].author, u"Ann");
  EXPECT_EQ(rows[0].subject, u"Distance Measurement");
  EXPECT_EQ(rows[0].name, "d1");
  EXPECT_FLOAT_EQ(rows[0].rect.right, 110);
  // A plain shape shows no value even with contents, and its rectangle is
  // normalised.
  EXPECT_EQ(rows[1].index, 4);
  EXPECT_EQ(rows[1].kind, u"Rectangle");
  EXPECT_TRUE(rows[1].value.empty());
  EXPECT_FLOAT_EQ(rows[1].rect.left, 200);
  // A kind without words shows its subtype; no "M" falls back to the
  // creation date.
  EXPECT_EQ(rows[2].page, 1);
  EXPECT_EQ(rows[2].kind, u"Ink");
  EXPECT_EQ(ShownMarkupDate(rows[2].date), "2025-01-01");
}

TEST_F(MarkupListTest, PageLengthUnitIsTheFirstLengthOfThePageScale) {
  double factor = 0;
  std::u16string unit;
  EXPECT_FALSE(PageLengthUnit(doc_, 0, &factor, &unit));
  Owned vp = Parse(
      "[<< /Type /Viewport /BBox [0 0 612 792] /Measure << /Type /Measure /Subtype /RL /R (1 in = 10 ft) "
      "/X [<< /U (ft) /C 0.138889 >>] /D [<< /U (ft) /C 1 >>] >> >>]");
  ks::host::DictSet(page_, "/VP", vp.get());
  ASSERT_TRUE(PageLengthUnit(doc_, 0, &factor, &unit));
  EXPECT_DOUBLE_EQ(factor, 0.138889);
  EXPECT_EQ(unit, u"ft");
  EXPECT_FALSE(PageLengthUnit(doc_, 1, &factor, &unit));
  // A factor that is not positive is no scale.
  Owned flat = Parse("[<< /Measure << /X [<< /U (m) /C 0 >>] >> >>]");
  ks::host::DictSet(page_, "/VP", flat.get());
  EXPECT_FALSE(PageLengthUnit(doc_, 0, &factor, &unit));
}

MarkupRow Row(int page, const std::string& kindKey, const std::u16string& label, const std::u16string& value,
              const std::string& date = "") {
  MarkupRow r;
  r.page = page;
  r.kindKey = kindKey;
  r.kind = kindKey.empty() ? u"Rectangle" : Word(kindKey);
  r.label = label;
  r.value = value;
  r.date = date;
  return r;
}

TEST(MarkupArrange, GroupsByKindWithSumsOfLengthsAndCountsOfAngles) {
  const std::vector<MarkupRow> rows = {
      Row(0, "IDS_DISTANCE", u"Wall", u"12.50 m"), Row(0, "", u"", u""),
      Row(1, "IDS_ANGLE", u"Corner", u"90.00°"),   Row(1, "IDS_DISTANCE", u"Door", u"7.25 m"),
      Row(2, "IDS_ANGLE", u"Corner", u"45.00°"),
  };
  MarkupQuery q;
  q.grouping = MarkupGrouping::kKind;
  const std::vector<MarkupGroup> groups = ArrangeMarkups(rows, q);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].title, u"Distance");
  EXPECT_EQ(Labels(rows, groups[0]), (std::vector<std::string>{"Wall", "Door"}));
  ASSERT_EQ(groups[0].totals.size(), 1u);
  // 12.50 + 7.25, by hand.
  EXPECT_EQ(MeasureTotals::SumText(groups[0].totals[0]), u"19.75 m");
  EXPECT_EQ(groups[0].totals[0].count, 2);
  EXPECT_EQ(groups[1].title, u"Rectangle");
  EXPECT_TRUE(groups[1].totals.empty());
  EXPECT_EQ(groups[2].title, u"Angle");
  ASSERT_EQ(groups[2].totals.size(), 1u);
  EXPECT_FALSE(groups[2].totals[0].summed);
  EXPECT_EQ(groups[2].totals[0].count, 2);
  EXPECT_TRUE(MeasureTotals::SumText(groups[2].totals[0]).empty());

  // By label, a label's totals keep its kinds apart.
  q.grouping = MarkupGrouping::kLabel;
  const std::vector<MarkupGroup> byLabel = ArrangeMarkups(rows, q);
  ASSERT_EQ(byLabel.size(), 4u);
  EXPECT_EQ(byLabel[0].title, u"Wall");
  EXPECT_EQ(byLabel[2].title, u"Corner");
  EXPECT_EQ(byLabel[2].rows.size(), 2u);
}

TEST(MarkupArrange, FiltersSortsByShownNumberAndByTime) {
  const std::vector<MarkupRow> rows = {
      Row(0, "IDS_DISTANCE", u"Wall North", u"10.00 m", "D:20261207100000+02'00'"),
      Row(0, "IDS_DISTANCE", u"wall south", u"9.00 m", "D:20261207090000Z"),
      Row(1, "IDS_DISTANCE", u"Door", u"1,200.00 m", "D:20261207083000Z"),
  };
  MarkupQuery q;
  q.filter = u"  WALL ";
  std::vector<MarkupGroup> g = ArrangeMarkups(rows, q);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(Labels(rows, g[0]), (std::vector<std::string>{"Wall North", "wall south"}));
  // Only the kept rows are totalled: 10 + 9.
  ASSERT_EQ(g[0].totals.size(), 1u);
  EXPECT_EQ(MeasureTotals::SumText(g[0].totals[0]), u"19.00 m");

  // 9 < 10 < 1,200 as numbers, not as text.
  q.filter.clear();
  q.sort = MarkupColumn::kValue;
  g = ArrangeMarkups(rows, q);
  EXPECT_EQ(Labels(rows, g[0]), (std::vector<std::string>{"wall south", "Wall North", "Door"}));
  q.descending = true;
  g = ArrangeMarkups(rows, q);
  EXPECT_EQ(Labels(rows, g[0]), (std::vector<std::string>{"Door", "Wall North", "wall south"}));

  // 10:00 at +02:00 is 08:00 UTC, before 08:30 and 09:00 UTC.
  q.sort = MarkupColumn::kDate;
  q.descending = false;
  g = ArrangeMarkups(rows, q);
  EXPECT_EQ(Labels(rows, g[0]), (std::vector<std::string>{"Wall North", "Door", "wall south"}));

  // Nothing kept still gives the one group, empty.
  q.filter = u"nothing like it";
  g = ArrangeMarkups(rows, q);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_TRUE(g[0].rows.empty());
  EXPECT_TRUE(g[0].totals.empty());
}

TEST(MarkupArrange, ShownDatesAndWords) {
  EXPECT_EQ(ShownMarkupDate("D:20261207093015+01'00'"), "2026-12-07 09:30");
  EXPECT_EQ(ShownMarkupDate("D:202612"), "2026-12-01");
  EXPECT_EQ(ShownMarkupDate("yesterday"), "yesterday");
  EXPECT_EQ(ShownMarkupDate("D:20261399"), "D:20261399");
  MarkupColumn c{};
  EXPECT_TRUE(ParseMarkupColumn("value", &c));
  EXPECT_EQ(c, MarkupColumn::kValue);
  EXPECT_FALSE(ParseMarkupColumn("Value", &c));
  MarkupGrouping g{};
  EXPECT_TRUE(ParseMarkupGrouping("", &g));
  EXPECT_EQ(g, MarkupGrouping::kNone);
  EXPECT_FALSE(ParseMarkupGrouping("colour", &g));
}

TEST(MarkupArrange, CsvHoldsTheShownRowsThenTheTotals) {
  const std::vector<MarkupRow> rows = {Row(0, "IDS_DISTANCE", u"Say \"hi\"", u"2.50 m"),
                                       Row(2, "IDS_DISTANCE", u"B", u"0.75 m")};
  MarkupQuery q;
  q.sort = MarkupColumn::kPage;
  q.descending = true;
  const std::string csv =
      MarkupCsv(rows, ArrangeMarkups(rows, q), {u"P", u"K", u"S", u"L", u"V", u"A", u"D"},
                {u"G", u"K", u"T", u"C"}, Word);
  EXPECT_EQ(csv,
            "\xEF\xBB\xBF\"P\",\"K\",\"S\",\"L\",\"V\",\"A\",\"D\"\r\n"
            "\"3\",\"Distance\",\"\",\"B\",\"0.75 m\",\"\",\"\"\r\n"
            "\"1\",\"Distance\",\"\",\"Say \"\"hi\"\"\",\"2.50 m\",\"\",\"\"\r\n"
            "\r\n\"G\",\"K\",\"T\",\"C\"\r\n"
            "\"\",\"Distance\",\"3.25 m\",\"2\"\r\n");
}

}  // namespace
}  // namespace AnnotationPlugin
