// PDF date strings.
#include "host/pdf_test_support.h"

#include <cstring>

namespace kshost::pdf::test {
namespace {

bool Parses(const char* text, KS_DateTime want) {
  KS_DateTime dt{};
  return direct::DateFromPdfString(text, std::strlen(text), &dt) && std::memcmp(&dt, &want, sizeof dt) == 0;
}

TEST(PdfDates, ParseLeniently) {
  EXPECT_TRUE(Parses("D:20230515103042+02'00'", {2023, 5, 15, 10, 30, 42, 120}));
  EXPECT_TRUE(Parses("D:20230515103042-05'30", {2023, 5, 15, 10, 30, 42, -330}));
  EXPECT_TRUE(Parses("D:20230515103042+0530", {2023, 5, 15, 10, 30, 42, 330}));
  EXPECT_TRUE(Parses("D:20230515103042Z00'00'", {2023, 5, 15, 10, 30, 42, 0}));
  EXPECT_TRUE(Parses("D:2023", {2023, 1, 1, 0, 0, 0, 0}));
  EXPECT_TRUE(Parses(" 202305151030 ", {2023, 5, 15, 10, 30, 0, 0}));
  for (const char* bad : {"", "D:", "D:202", "D:2023051", "D:20231315", "D:20230515246000", "D:20230515103042+2",
                          "D:20230515103042X", "D:20230515103042+02'00'junk", "D:20230515103042Z05'00'"}) {
    KS_DateTime dt{};
    EXPECT_EQ(direct::DateFromPdfString(bad, std::strlen(bad), &dt), 0) << bad;
  }
}

TEST(PdfDates, FormatAndRoundTrip) {
  KS_DateTime now{};
  direct::DateNow(&now);
  EXPECT_GE(now.year, 2024);
  std::pair<KS_DateTime, const char*> cases[] = {{{2023, 5, 15, 10, 30, 42, 120}, "D:20230515103042+02'00'"},
                                                 {{1999, 12, 31, 23, 59, 59, 0}, "D:19991231235959Z"},
                                                 {{2024, 2, 29, 0, 0, 0, -330}, "D:20240229000000-05'30'"},
                                                 {now, nullptr}};
  for (auto const& [dt, text] : cases) {
    Bytes out;
    ASSERT_EQ(direct::DateToPdfString(&dt, out), 1);
    if (text) {
      EXPECT_EQ(out.text(), text);
    }
    EXPECT_TRUE(Parses(out.text().c_str(), dt)) << out.text();
  }
  KS_DateTime bad{2023, 13, 1, 0, 0, 0, 0};
  Bytes out;
  EXPECT_EQ(direct::DateToPdfString(&bad, out), 0);
}

}  // namespace
}  // namespace kshost::pdf::test
