#include "host/page_range.h"

#include <algorithm>
#include <string>

namespace kshost {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000 || c == 0xA0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

class Reader {
 public:
  explicit Reader(std::u16string_view text) : text_(text) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Take(char16_t c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  // A run of digits; a number too large for any document saturates, so
  // that it reads as a page that does not exist.
  bool Number(long long* out) {
    SkipBlanks();
    if (AtEnd() || !IsDigit(text_[pos_])) return false;
    long long n = 0;
    while (!AtEnd() && IsDigit(text_[pos_])) {
      n = std::min<long long>(n * 10 + (text_[pos_] - u'0'), 1LL << 40);
      ++pos_;
    }
    *out = n;
    SkipBlanks();
    return true;
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

PageRanges Fail(PageRangeError error) {
  PageRanges r;
  r.error = error;
  return r;
}

}  // namespace

PageRanges ParsePageRanges(std::u16string_view text, int pageCount) {
  Reader in(text);
  in.SkipBlanks();
  if (in.AtEnd()) return Fail(PageRangeError::kEmpty);
  PageRanges out;
  bool noPage = false;
  while (!in.AtEnd()) {
    long long first = 0, last = 0;
    if (!in.Number(&first)) return Fail(PageRangeError::kInput);
    last = first;
    if (in.Take(u'-') && !in.Number(&last)) return Fail(PageRangeError::kInput);
    if (last < first) return Fail(PageRangeError::kInput);
    if (first < 1 || last > pageCount) noPage = true;
    if (!noPage) out.ranges.emplace_back(static_cast<int>(first), static_cast<int>(last));
    if (in.AtEnd()) break;
    if (!in.Take(u',')) return Fail(PageRangeError::kInput);
    in.SkipBlanks();
  }
  if (noPage) return Fail(PageRangeError::kNoPage);
  std::vector<std::pair<int, int>> sorted = out.ranges;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i].first <= sorted[i - 1].second) return Fail(PageRangeError::kSamePage);
  return out;
}

long long PageRangeCount(const std::vector<std::pair<int, int>>& ranges) {
  long long n = 0;
  for (const auto& r : ranges) n += static_cast<long long>(r.second) - r.first + 1;
  return n;
}

std::u16string FormatPageRanges(const std::vector<std::pair<int, int>>& ranges) {
  std::u16string out;
  for (const auto& r : ranges) {
    const std::string piece = std::to_string(r.first) + "-" + std::to_string(r.second) + ",";
    out.append(piece.begin(), piece.end());
  }
  return out;
}

const char* PageRangeMessageKey(PageRangeError error) {
  switch (error) {
    case PageRangeError::kEmpty: return "IDS_WARN_NOPAGE";
    case PageRangeError::kInput: return "IDS_STRING_INPUTERROR";
    case PageRangeError::kNoPage: return "IDS_STR_ERRORTIP_NOPAGE";
    case PageRangeError::kSamePage: return "IDS_STR_WARNINGTIP_SAMEPAGE";
    case PageRangeError::kNone: break;
  }
  return "";
}

}  // namespace kshost
