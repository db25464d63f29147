// Dates (selector 178): PDF date strings "D:YYYYMMDDHHmmSSOHH'mm'" and local
// time. Dates are written with every field and with "Z" for a zero offset,
// "+HH'mm'" or "-HH'mm'" otherwise.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "host/host_functions.h"
#include "host/pdf_handles.h"

namespace {

constexpr int kMaxOffsetMinutes = 23 * 60 + 59;

bool Valid(KS_DateTime const& dt) {
  return dt.year >= 0 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 && dt.day <= 31 &&
         dt.hour >= 0 && dt.hour <= 23 && dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59 &&
         std::abs(dt.tzMinutes) <= kMaxOffsetMinutes;
}

// Reads the text of a PDF date one field at a time.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Skip(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool Skip(std::string_view s) {
    if (text_.substr(pos_, s.size()) != s) return false;
    pos_ += s.size();
    return true;
  }
  bool NextIsDigit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }

  // Exactly `width` digits into `value`; false, consuming nothing, otherwise.
  bool Digits(int width, int32_t& value) {
    if (text_.size() - pos_ < static_cast<size_t>(width)) return false;
    int32_t v = 0;
    for (int i = 0; i < width; ++i) {
      char c = text_[pos_ + static_cast<size_t>(i)];
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    pos_ += static_cast<size_t>(width);
    value = v;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Lenient reading: "D:" is optional, so is everything after the year
// (missing month and day are 1, missing time fields 0, a missing offset is
// taken as UT), and so are the apostrophes and minutes of the offset. "Z" may
// be followed by a zero offset, as some writers add "Z00'00'". Surrounding
// white space and trailing NULs are ignored; anything else makes it invalid.
bool ParseDate(std::string_view text, KS_DateTime& out) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);

  DateReader in(text);
  in.Skip("D:");
  KS_DateTime dt{0, 1, 1, 0, 0, 0, 0};
  if (!in.Digits(4, dt.year)) return false;
  for (int32_t* field : {&dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second}) {
    if (!in.NextIsDigit()) break;
    if (!in.Digits(2, *field)) return false;
  }
  if (in.Skip('Z')) {
    int32_t hours = 0, minutes = 0;
    if (in.Digits(2, hours)) {
      in.Skip('\'');
      if (in.Digits(2, minutes)) in.Skip('\'');
    }
    if (hours != 0 || minutes != 0) return false;
  } else if (!in.AtEnd()) {
    int sign = in.Skip('+') ? 1 : in.Skip('-') ? -1 : 0;
    int32_t hours = 0, minutes = 0;
    if (sign == 0 || !in.Digits(2, hours)) return false;
    in.Skip('\'');
    if (in.Digits(2, minutes)) in.Skip('\'');
    if (hours > 23 || minutes > 59) return false;
    dt.tzMinutes = sign * (hours * 60 + minutes);
  }
  if (!in.AtEnd() || !Valid(dt)) return false;
  out = dt;
  return true;
}

}  // namespace

void kshost::direct::DateNow(KS_DateTime* out) {
  if (!out) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return;
  *out = KS_DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     // A leap second is written as the last ordinary one.
                     local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int32_t>(local.tm_gmtoff / 60)};
}

int32_t kshost::direct::DateToPdfString(const KS_DateTime* dt, KS_ByteString out) {
  if (!dt || !out || !Valid(*dt)) return 0;
  char text[40];
  int n = std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d", dt->year, dt->month, dt->day, dt->hour,
                        dt->minute, dt->second);
  int offset = dt->tzMinutes;
  if (offset == 0) {
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "Z");
  } else {
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%c%02d'%02d'", offset < 0 ? '-' : '+',
                       std::abs(offset) / 60, std::abs(offset) % 60);
  }
  return kshost::pdf::SetBytes(out, std::string_view(text, static_cast<size_t>(n))) ? 1 : 0;
}

int32_t kshost::direct::DateFromPdfString(const char* text, size_t length, KS_DateTime* out) {
  if (!text || !out) return 0;
  return ParseDate(std::string_view(text, length), *out) ? 1 : 0;
}
