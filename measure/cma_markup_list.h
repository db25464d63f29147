// The markups of a document as one list: every annotation of every page
// with its page, kind, subject, label, shown value, author and date. The
// list is filtered, sorted and grouped here, and each group carries the
// totals of its measurements as the measurement export counts them
// (MeasureTotals: lengths, areas and volumes summed in the unit they show,
// angles and radii only counted), so that a page showing the list and the
// CSV written from it say the same.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/cma_measure_export.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

struct MarkupRow {
  int page = 0;   // from 0
  int index = 0;  // in the page's "Annots"
  std::string subtype;
  // The measurement kind key (MeasureExportKindKey); empty for an
  // annotation that is no measurement.
  std::string kindKey;
  std::u16string kind;  // as shown
  std::u16string subject, label, value, author;
  std::string date;  // as stored ("D:2026...")
  std::string name;  // "NM"
  KS_FloatRect rect{};
};

// The key of an annotation's kind as the list shows it: its measurement
// kind key ("IDS_DISTANCE"), else its subtype ("Square"); empty for a
// dictionary without a subtype.
std::string MarkupKindKey(KPD_Dictionary annot);

// Gives the words a list shows for a key: a measurement's kind key
// ("IDS_DISTANCE") or a subtype ("Square"); empty: the key as it is.
using MarkupWords = std::function<std::u16string(const std::string& key)>;

// The annotations of every page in page order and "Annots" order. Pop-ups,
// form fields and links are no markups and are left out. A measurement's
// value is its "Contents" (what its caption shows); another annotation's
// is empty.
std::vector<MarkupRow> CollectMarkups(KPD_Document doc, const MarkupWords& words);

enum class MarkupColumn { kPage, kKind, kSubject, kLabel, kValue, kAuthor, kDate };
enum class MarkupGrouping { kNone, kLabel, kKind };

// "page", "kind", "subject", "label", "value", "author", "date"; false for
// any other word.
bool ParseMarkupColumn(std::string_view word, MarkupColumn* column);
// "none" (or empty), "label", "kind"; false for any other word.
bool ParseMarkupGrouping(std::string_view word, MarkupGrouping* grouping);

struct MarkupQuery {
  // Rows that hold this text, letter case aside, in any shown column.
  std::u16string filter;
  MarkupColumn sort = MarkupColumn::kPage;
  bool descending = false;
  MarkupGrouping grouping = MarkupGrouping::kNone;
};

struct MarkupGroup {
  std::u16string title;       // the label or kind; empty without grouping
  std::vector<size_t> rows;   // into the collected rows, in shown order
  std::vector<MeasureTotals::Total> totals;
};

// The rows the query keeps, sorted (values by the number they show, dates
// by time; ties keep page order) and grouped in the order the groups' first
// rows come. Without grouping there is one group, also when it is empty.
std::vector<MarkupGroup> ArrangeMarkups(const std::vector<MarkupRow>& rows, const MarkupQuery& query);

// A stored date as a list shows it: "D:20261207093015+01'00'" is
// "2026-12-07 09:30"; a date without time of day shows the day; what is not
// a PDF date is shown as it is.
std::string ShownMarkupDate(std::string_view stored);

// The list as CSV, as the measurement export writes one (byte order mark,
// quoted fields, CR LF): a header of the seven `columns` words (page,
// kind, subject, label, value, author, date), the rows of every group in
// order, and after a blank row a header of `totalsHeader` (group, kind,
// total, count) with one row per total of every group.
std::string MarkupCsv(const std::vector<MarkupRow>& rows, const std::vector<MarkupGroup>& groups,
                      const std::vector<std::u16string>& columns, const std::vector<std::u16string>& totalsHeader,
                      const MarkupWords& words);

// How a point of page `pageIndex` reads in the unit of the page's scale:
// the conversion factor ("C") and unit ("U") of the first length of the
// measure of the page's first viewport, as the page scale writes it. False
// when the page has none (or a factor that is not a positive number).
bool PageLengthUnit(KPD_Document doc, int pageIndex, double* factor, std::u16string* unit);

}  // namespace AnnotationPlugin
