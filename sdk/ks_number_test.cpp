#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
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
  const double values[] = {0.0,  -0.0,   0.5,         0.0005,        0.0015, 1.0 / 3,    -2.675,    123456789.125,
                           1e20, -1e-7,  72.0,        999999.9995,   1.0005, 0.49999999, 0.125,     99999999999.5,
                           1e300, -4.2e15};
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

// Coordinates of every size and precision, including values right at a
// rounding tie and those the integer fast path leaves to the slow one, are
// written exactly as printf writes them, by both writers.
TEST(FormatFixed, MatchesPrintfOnRandomCoordinates) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> magnitude(-6, 12);
  for (int i = 0; i < 200000; ++i) {
    double v = unit(rng) * std::pow(10.0, magnitude(rng));
    if (i % 7 == 0) v = std::round(v * 1000) / 1000 + 0.0005;  // a tie at three decimals
    if (i % 11 == 0) v = double(float(v));                      // a float's value
    const int precision = i % 8;
    const std::string want = Printf(v, precision);
    ASSERT_EQ(ks::FormatFixed(v, precision), want) << v << " @" << precision;
    char buf[ks::kFixedTextMax];
    ASSERT_EQ(std::string(buf, ks::WriteFixed(buf, v, precision)), want) << v << " @" << precision;
  }
}
