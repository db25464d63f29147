#include "measure/cma_markup_list.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_viewport.h"
#include "plugin/host_binding.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {
namespace {

// Letter case aside for the Latin letters of the languages the editor
// speaks; other characters compare as they are.
char16_t Lower(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'\u00C0' && c <= u'\u00DE' && c != u'\u00D7')) return c + 32;
  return c;
}

bool Holds(std::u16string_view text, std::u16string_view lowered) {
  if (lowered.empty()) return true;
  if (text.size() < lowered.size()) return false;
  for (size_t i = 0; i + lowered.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < lowered.size() && Lower(text[i + k]) == lowered[k]) ++k;
    if (k == lowered.size()) return true;
  }
  return false;
}

// The digits of `text` from `pos`, `count` of them; nothing when they are not.
std::optional<int> Digits(std::string_view text, size_t pos, size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

struct PdfDate {
  int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int offsetMinutes = 0;  // east of UTC
  bool hasTime = false;
};

// "D:YYYYMMDDHHmmSSOHH'mm'" with everything after the year optional.
std::optional<PdfDate> ReadPdfDate(std::string_view text) {
  if (text.substr(0, 2) == "D:") text.remove_prefix(2);
  PdfDate d;
  auto year = Digits(text, 0, 4);
  if (!year) return std::nullopt;
  d.year = *year;
  size_t pos = 4;
  int* fields[] = {&d.month, &d.day, &d.hour, &d.minute, &d.second};
  for (int i = 0; i < 5; ++i) {
    auto v = Digits(text, pos, 2);
    if (!v) break;
    *fields[i] = *v;
    pos += 2;
    if (i >= 2) d.hasTime = true;
  }
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.hour > 23 || d.minute > 59 || d.second > 60)
    return std::nullopt;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    const int sign = text[pos] == '+' ? 1 : -1;
    auto hh = Digits(text, pos + 1, 2);
    auto mm = Digits(text, pos + 4, 2);
    if (hh) d.offsetMinutes = sign * (*hh * 60 + (mm ? *mm : 0));
  }
  return d;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Seconds since 1970 in UTC; dates that do not read come last.
double DateKey(const std::string& stored) {
  auto d = ReadPdfDate(stored);
  if (!d) return HUGE_VAL;
  return static_cast<double>(DaysFromCivil(d->year, d->month, d->day)) * 86400.0 + d->hour * 3600.0 +
         d->minute * 60.0 + d->second - d->offsetMinutes * 60.0;
}

// Values by the number they show; a value that does not read comes after
// every number, its text deciding among them.
int CompareValues(const MarkupRow& a, const MarkupRow& b) {
  auto x = ReadShownMeasurement(a.value), y = ReadShownMeasurement(b.value);
  if (x && y) {
    if (x->value != y->value) return x->value < y->value ? -1 : 1;
    return x->unit.compare(y->unit) < 0 ? -1 : x->unit == y->unit ? 0 : 1;
  }
  if (x || y) return x ? -1 : 1;
  return a.value.compare(b.value) < 0 ? -1 : a.value == b.value ? 0 : 1;
}

int CompareText(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int Compare(const MarkupRow& a, const MarkupRow& b, MarkupColumn column) {
  switch (column) {
    case MarkupColumn::kPage: return a.page == b.page ? 0 : a.page < b.page ? -1 : 1;
    case MarkupColumn::kKind: return CompareText(a.kind, b.kind);
    case MarkupColumn::kSubject: return CompareText(a.subject, b.subject);
    case MarkupColumn::kLabel: return CompareText(a.label, b.label);
    case MarkupColumn::kValue: return CompareValues(a, b);
    case MarkupColumn::kAuthor: return CompareText(a.author, b.author);
    case MarkupColumn::kDate: {
      const double x = DateKey(a.date), y = DateKey(b.date);
      return x == y ? 0 : x < y ? -1 : 1;
    }
  }
  return 0;
}

bool IsMarkup(const std::string& subtype) {
  return !subtype.empty() && subtype != "Popup" && subtype != "Widget" && subtype != "Link";
}

}  // namespace

std::string MarkupKindKey(KPD_Dictionary annot) {
  if (!annot) return {};
  if (const char* key = MeasureExportKindKey(annot)) return key;
  return kwannotation::dict::GetName(annot, "/Subtype");
}

std::vector<MarkupRow> CollectMarkups(KPD_Document doc, const MarkupWords& words) {
  std::vector<MarkupRow> rows;
  if (!doc) return rows;
  const int pages = Host::DocPageCount(doc);
  for (int p = 0; p < pages; ++p) {
    auto list = kwannotation::CKW_PageAnnotList::Create(doc, p);
    const int count = list ? list->CountAnnots() : 0;
    for (int i = 0; i < count; ++i) {
      std::shared_ptr<kwannotation::CKW_Annot> annot = list->GetAnnotAt(i);
      if (!annot) continue;
      MarkupRow row;
      row.subtype = annot->GetSubtype();
      if (!IsMarkup(row.subtype)) continue;
      row.page = p;
      row.index = i;
      if (const char* key = MeasureExportKindKey(annot->GetDict())) row.kindKey = key;
      const std::string shownKey = MarkupKindKey(annot->GetDict());
      row.kind = words ? words(shownKey) : std::u16string();
      if (row.kind.empty()) row.kind = ks::ToUtf16(shownKey);
      kwannotation::dict::GetText(annot->GetDict(), "/Label", &row.label);
      if (!row.kindKey.empty()) annot->GetContents(&row.value);
      std::u16string date, name;
      annot->GetModifiedDate(&date);
      if (auto* markup = dynamic_cast<kwannotation::CKW_MarkupAnnot*>(annot.get())) {
        markup->GetSubject(&row.subject);
        markup->GetTitle(&row.author);
        if (date.empty()) markup->GetCreationDate(&date);
      }
      row.date = ks::ToUtf8(date);
      annot->GetName(&name);
      row.name = ks::ToUtf8(name);
      if (annot->GetRect(&row.rect)) Host::RectNormalize(&row.rect);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

bool ParseMarkupColumn(std::string_view word, MarkupColumn* column) {
  static constexpr std::pair<std::string_view, MarkupColumn> kColumns[] = {
      {"page", MarkupColumn::kPage},     {"kind", MarkupColumn::kKind},     {"subject", MarkupColumn::kSubject},
      {"label", MarkupColumn::kLabel},   {"value", MarkupColumn::kValue},   {"author", MarkupColumn::kAuthor},
      {"date", MarkupColumn::kDate}};
  for (const auto& [name, value] : kColumns)
    if (word == name) {
      *column = value;
      return true;
    }
  return false;
}

bool ParseMarkupGrouping(std::string_view word, MarkupGrouping* grouping) {
  if (word.empty() || word == "none") *grouping = MarkupGrouping::kNone;
  else if (word == "label") *grouping = MarkupGrouping::kLabel;
  else if (word == "kind") *grouping = MarkupGrouping::kKind;
  else return false;
  return true;
}

std::vector<MarkupGroup> ArrangeMarkups(const std::vector<MarkupRow>& rows, const MarkupQuery& query) {
  std::u16string filter;
  for (char16_t c : query.filter) filter += Lower(c);
  // Blanks around what was typed are no part of it.
  while (!filter.empty() && filter.back() == u' ') filter.pop_back();
  filter.erase(0, filter.find_first_not_of(u' ') == std::u16string::npos ? filter.size() : filter.find_first_not_of(u' '));

  std::vector<size_t> kept;
  for (size_t i = 0; i < rows.size(); ++i) {
    const MarkupRow& r = rows[i];
    const std::u16string page = ks::ToUtf16(std::to_string(r.page + 1));
    const std::u16string date = ks::ToUtf16(ShownMarkupDate(r.date));
    if (Holds(page, filter) || Holds(r.kind, filter) || Holds(r.subject, filter) || Holds(r.label, filter) ||
        Holds(r.value, filter) || Holds(r.author, filter) || Holds(date, filter))
      kept.push_back(i);
  }
  std::stable_sort(kept.begin(), kept.end(), [&](size_t a, size_t b) {
    const int c = Compare(rows[a], rows[b], query.sort);
    if (c == 0) return rows[a].page != rows[b].page ? rows[a].page < rows[b].page : rows[a].index < rows[b].index;
    return query.descending ? c > 0 : c < 0;
  });

  std::vector<MarkupGroup> groups;
  std::vector<MeasureTotals> totals;
  if (query.grouping == MarkupGrouping::kNone) {
    groups.emplace_back();
    totals.emplace_back();
  }
  for (size_t i : kept) {
    const MarkupRow& r = rows[i];
    size_t g = 0;
    if (query.grouping != MarkupGrouping::kNone) {
      const std::u16string& title = query.grouping == MarkupGrouping::kLabel ? r.label : r.kind;
      g = std::find_if(groups.begin(), groups.end(), [&](const MarkupGroup& x) { return x.title == title; }) -
          groups.begin();
      if (g == groups.size()) {
        groups.push_back(MarkupGroup{title, {}, {}});
        totals.emplace_back();
      }
    }
    groups[g].rows.push_back(i);
    // Within a label's group the totals are per kind, as the export's are.
    if (!r.kindKey.empty())
      totals[g].Add(query.grouping == MarkupGrouping::kLabel ? r.label : std::u16string(), r.kindKey.c_str(), r.value);
  }
  for (size_t g = 0; g < groups.size(); ++g) groups[g].totals = totals[g].Totals();
  return groups;
}

std::string ShownMarkupDate(std::string_view stored) {
  auto d = ReadPdfDate(stored);
  if (!d) return std::string(stored);
  char text[32];
  if (d->hasTime)
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", d->year, d->month, d->day, d->hour, d->minute);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d->year, d->month, d->day);
  return text;
}

std::string MarkupCsv(const std::vector<MarkupRow>& rows, const std::vector<MarkupGroup>& groups,
                      const std::vector<std::u16string>& columns, const std::vector<std::u16string>& totalsHeader,
                      const MarkupWords& words) {
  std::string csv = "\xEF\xBB\xBF";
  std::vector<std::u16string_view> header(columns.begin(), columns.end());
  csv += MeasureCsvFields(header);
  for (const MarkupGroup& g : groups)
    for (size_t i : g.rows) {
      const MarkupRow& r = rows[i];
      const std::u16string page = ks::ToUtf16(std::to_string(r.page + 1));
      const std::u16string date = ks::ToUtf16(ShownMarkupDate(r.date));
      csv += MeasureCsvFields({page, r.kind, r.subject, r.label, r.value, r.author, date});
    }
  bool any = false;
  for (const MarkupGroup& g : groups) any = any || !g.totals.empty();
  if (!any) return csv;
  csv += "\r\n";
  std::vector<std::u16string_view> totals(totalsHeader.begin(), totalsHeader.end());
  csv += MeasureCsvFields(totals);
  for (const MarkupGroup& g : groups)
    for (const MeasureTotals::Total& t : g.totals) {
      std::u16string kind = words ? words(t.kindKey) : std::u16string();
      if (kind.empty()) kind = ks::ToUtf16(t.kindKey);
      csv += MeasureCsvFields({g.title, kind, MeasureTotals::SumText(t), ks::ToUtf16(std::to_string(t.count))});
    }
  return csv;
}

bool PageLengthUnit(KPD_Document doc, int pageIndex, double* factor, std::u16string* unit) {
  KPD_Page page = doc ? Host::DocGetPage(doc, pageIndex) : nullptr;
  if (!page) return false;
  const kwannotation::CKW_Viewport viewport = kwannotation::CKW_PageViewportListImpl(page, doc).GetViewport(0);
  const kwannotation::CKW_MeasureDict measure = viewport ? viewport->GetMeasureDict() : kwannotation::CKW_MeasureDict();
  if (!measure || measure->GetFormatCount(0) < 1) return false;
  const kwannotation::NumberFormat x = measure->GetFormat(0, 0);
  if (!x.readable || !(x.factor > 0) || !std::isfinite(x.factor)) return false;
  *factor = x.factor;
  *unit = x.unit;
  return true;
}

}  // namespace AnnotationPlugin
