#include "serve/json_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

namespace annotserve {
namespace {

TEST(JsonWriter, PutsCommasAndColonsBetweenNestedValues) {
  JsonWriter json;
  json.BeginObject().Field("a", 1).Key("b").BeginArray();
  json.BeginArray().EndArray().BeginObject().EndObject().Null().Bool(false);
  json.EndArray().Key("c").BeginObject().Field("d", "x\"y").EndObject().Key("e").Raw("{\"f\":[1,2]}");
  json.Field("g", true).EndObject();
  EXPECT_EQ(json.Text(), R"({"a":1,"b":[[],{},null,false],"c":{"d":"x\"y"},"e":{"f":[1,2]},"g":true})");

  JsonWriter list;
  list.BeginArray().String("é\n").Int(-3).UInt(18446744073709551615u).EndArray();
  EXPECT_EQ(list.Take(), "[\"é\\u000a\",-3,18446744073709551615]");
}

// Numbers read the same as printf's %g gives them in the C locale, and
// whatever locale the process runs in.
TEST(JsonWriter, NumbersAsPrintfGivesThemInTheCLocale) {
  const double values[] = {0, 1, -1, 0.5, 1.3333333, 72.000001, 1e-7, 123456789, -0.25, 1e21, 612.0f / 7};
  for (double v : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%g", v);
    JsonWriter json;
    json.Number(v);
    EXPECT_EQ(json.Text(), expected) << v;
  }
  // No locale that writes "0,5" changes it.
  const char* before = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = before ? before : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    JsonWriter json;
    json.BeginArray().Number(0.5).Number(2.25).EndArray();
    EXPECT_EQ(json.Text(), "[0.5,2.25]");
  }
  std::setlocale(LC_NUMERIC, saved.c_str());

  JsonWriter odd;
  odd.BeginArray()
      .Number(std::numeric_limits<double>::quiet_NaN())
      .Number(std::numeric_limits<double>::infinity())
      .EndArray();
  EXPECT_EQ(odd.Text(), "[null,null]");
}

}  // namespace
}  // namespace annotserve
