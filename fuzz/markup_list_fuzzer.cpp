// The markups list over stored dates and shown values: lines of the input
// become rows (date, value, label in turn) and the last line the filter.
// Every kept row is in exactly one group, every measurement kept is counted
// once in the totals, and a shown date is never longer than what it shows.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "measure/cma_markup_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  using namespace AnnotationPlugin;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  FUZZ_CHECK(ShownMarkupDate(lines[0]).size() <= std::max<size_t>(lines[0].size(), 16));
  std::vector<MarkupRow> rows;
  for (size_t i = 0; i + 3 <= lines.size() && rows.size() < 64; i += 3) {
    MarkupRow r;
    r.page = static_cast<int>(i % 3);
    r.index = static_cast<int>(i);
    r.date = lines[i];
    r.value = annot_fuzz::Utf16(reinterpret_cast<const uint8_t*>(lines[i + 1].data()), lines[i + 1].size());
    r.label = annot_fuzz::Utf16(reinterpret_cast<const uint8_t*>(lines[i + 2].data()), lines[i + 2].size());
    r.kindKey = i % 2 ? "IDS_DISTANCE" : "IDS_ANGLE";
    r.kind = i % 2 ? u"Distance" : u"Angle";
    rows.push_back(r);
  }
  MarkupQuery q;
  q.filter = annot_fuzz::Utf16(reinterpret_cast<const uint8_t*>(lines.back().data()), lines.back().size());
  for (MarkupColumn sort : {MarkupColumn::kValue, MarkupColumn::kDate, MarkupColumn::kLabel})
    for (MarkupGrouping grouping : {MarkupGrouping::kNone, MarkupGrouping::kLabel, MarkupGrouping::kKind}) {
      q.sort = sort;
      q.grouping = grouping;
      q.descending = grouping == MarkupGrouping::kLabel;
      const std::vector<MarkupGroup> groups = ArrangeMarkups(rows, q);
      size_t kept = 0;
      int counted = 0;
      for (const MarkupGroup& g : groups) {
        kept += g.rows.size();
        for (const auto& t : g.totals) counted += t.count;
      }
      FUZZ_CHECK(kept <= rows.size());
      FUZZ_CHECK(counted == static_cast<int>(kept));
      MarkupCsv(rows, groups, {}, {}, nullptr);
    }
  return 0;
}
