#include "host/strings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/host_functions.h"

namespace direct = kshost::direct;

TEST(ByteString, HoldsBytesWithEmbeddedNulAndToleratesNullAndItsOwnData) {
  KS_ByteString s = direct::ByteStringNew("ab\0cd", 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(direct::ByteStringLength(s), 5u);
  EXPECT_EQ(std::memcmp(direct::ByteStringData(s), "ab\0cd", 6), 0);  // includes the NUL after
  direct::ByteStringSet(s, "xyz", 2);
  EXPECT_STREQ(direct::ByteStringData(s), "xy");
  direct::ByteStringSet(s, "hello world", 11);
  direct::ByteStringSet(s, direct::ByteStringData(s) + 6, 5);  // from its own data
  EXPECT_STREQ(direct::ByteStringData(s), "world");
  direct::ByteStringDestroy(s);

  EXPECT_STREQ(direct::ByteStringData(nullptr), "");
  EXPECT_EQ(direct::ByteStringLength(nullptr), 0u);
  direct::ByteStringSet(nullptr, "x", 1);
  direct::ByteStringDestroy(nullptr);
  s = direct::ByteStringNew(nullptr, 42);  // length ignored without bytes
  EXPECT_EQ(direct::ByteStringLength(s), 0u);
  direct::ByteStringDestroy(s);
}

TEST(WideString, HoldsUtf16AndTerminatesData) {
  const std::u16string text = u"Ma\u00DF \U0001F4CF";
  KS_WideString s = direct::WideStringNew(text.data(), text.size());
  EXPECT_EQ(direct::WideStringLength(s), text.size());
  EXPECT_EQ(std::u16string(direct::WideStringData(s)), text);
  direct::WideStringSet(s, direct::WideStringData(s) + 3, 1);
  EXPECT_EQ(std::u16string(direct::WideStringData(s)), u" ");
  direct::WideStringDestroy(s);

  EXPECT_EQ(direct::WideStringData(nullptr)[0], u'\0');
  EXPECT_EQ(direct::WideStringLength(nullptr), 0u);
  direct::WideStringSet(nullptr, u"x", 1);
  direct::WideStringDestroy(nullptr);
  EXPECT_FALSE(kshost::SetText(KS_WideString{}, u"x"));
}

TEST(WideStringArray, CopiesOnAppendAndBoundsChecksGet) {
  KS_WideStringArray arr = direct::WideStringArrayNew();
  KS_WideString item = direct::WideStringNew(u"one", 3);
  EXPECT_EQ(direct::WideStringArrayAppend(arr, item), 1);
  direct::WideStringSet(item, u"two", 3);
  EXPECT_EQ(direct::WideStringArrayAppend(arr, item), 1);
  EXPECT_EQ(direct::WideStringArrayAppend(arr, nullptr), 0);
  EXPECT_EQ(direct::WideStringArrayCount(arr), 2);

  KS_WideString out = direct::WideStringNew(nullptr, 0);
  EXPECT_EQ(direct::WideStringArrayGet(arr, 0, out), 1);
  EXPECT_EQ(out->text, u"one");
  EXPECT_EQ(direct::WideStringArrayGet(arr, 2, out), 0);
  EXPECT_EQ(direct::WideStringArrayGet(arr, -1, out), 0);
  EXPECT_EQ(direct::WideStringArrayGet(arr, 1, nullptr), 0);
  EXPECT_EQ(out->text, u"one");  // untouched by the failed calls

  direct::WideStringArrayClear(arr);
  EXPECT_EQ(direct::WideStringArrayCount(arr), 0);
  direct::WideStringDestroy(out);
  direct::WideStringDestroy(item);
  direct::WideStringArrayDestroy(arr);

  EXPECT_EQ(direct::WideStringArrayCount(nullptr), 0);
  direct::WideStringArrayClear(nullptr);
  direct::WideStringArrayDestroy(nullptr);
}
