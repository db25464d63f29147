#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <string>

#include "sdk/ks_number.h"

namespace {

std::string Printf(double v, int precision) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", precision, v);
  return buf;
}

}  // namespace

// The helper must agree with printf in the C locale digit for digit,
// including rounding of halves, negative zero and large values.
TEST(FormatFixed, MatchesCLocalePrintf) {
  const double values[] = {0.0, -0.0, 0.5, 0.0005, 0.0015, 1.0 / 3, -2.675, 123456789.125, 1e20, -1e-7, 72.0};
  for (int precision : {0, 2, 3, 6})
    for (double v : values) EXPECT_EQ(ks::FormatFixed(v, precision), Printf(v, precision)) << v << " @" << precision;
}

// A host that switched to a locale with a decimal comma still writes points.
TEST(FormatFixed, IgnoresProcessLocale) {
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_ALL, name) && std::string(std::localeconv()->decimal_point) == ",") {
      comma = true;
      break;
    }
  if (!comma) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  EXPECT_EQ(Printf(0.5, 3), "0,500");  // what a locale-following printf would write
  EXPECT_EQ(ks::FormatFixed(0.5, 3), "0.500");
  std::string s;
  ks::AppendInt(s, -1234567);
  EXPECT_EQ(s, "-1234567");
  std::setlocale(LC_ALL, "C");
}
