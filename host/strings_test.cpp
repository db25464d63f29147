#include "host/strings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/host_functions.h"

namespace fn = kshost::fn;

TEST(ByteString, HoldsBytesWithEmbeddedNulAndToleratesNullAndItsOwnData) {
  KS_ByteString s = fn::ByteStringNew("ab\0cd", 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(fn::ByteStringLength(s), 5u);
  EXPECT_EQ(std::memcmp(fn::ByteStringData(s), "ab\0cd", 6), 0);  // includes the NUL after
  fn::ByteStringSet(s, "xyz", 2);
  EXPECT_STREQ(fn::ByteStringData(s), "xy");
  fn::ByteStringSet(s, "hello world", 11);
  fn::ByteStringSet(s, fn::ByteStringData(s) + 6, 5);  // from its own data
  EXPECT_STREQ(fn::ByteStringData(s), "world");
  fn::ByteStringDestroy(s);

  EXPECT_STREQ(fn::ByteStringData(nullptr), "");
  EXPECT_EQ(fn::ByteStringLength(nullptr), 0u);
  fn::ByteStringSet(nullptr, "x", 1);
  fn::ByteStringDestroy(nullptr);
  s = fn::ByteStringNew(nullptr, 42);  // length ignored without bytes
  EXPECT_EQ(fn::ByteStringLength(s), 0u);
  fn::ByteStringDestroy(s);
}

TEST(WideString, HoldsUtf16AndTerminatesData) {
  const std::u16string text = u"Ma\u00DF \U0001F4CF";
  KS_WideString s = fn::WideStringNew(text.data(), text.size());
  EXPECT_EQ(fn::WideStringLength(s), text.size());
  EXPECT_EQ(std::u16string(fn::WideStringData(s)), text);
  fn::WideStringSet(s, fn::WideStringData(s) + 3, 1);
  EXPECT_EQ(std::u16string(fn::WideStringData(s)), u" ");
  EXPECT_EQ(kshost::TextOf(s), u" ");
  fn::WideStringDestroy(s);

  EXPECT_EQ(fn::WideStringData(nullptr)[0], u'\0');
  EXPECT_EQ(fn::WideStringLength(nullptr), 0u);
  fn::WideStringSet(nullptr, u"x", 1);
  fn::WideStringDestroy(nullptr);
  EXPECT_FALSE(kshost::SetText(KS_WideString{}, u"x"));
}

TEST(WideStringArray, CopiesOnAppendAndBoundsChecksGet) {
  KS_WideStringArray arr = fn::WideStringArrayNew();
  KS_WideString item = fn::WideStringNew(u"one", 3);
  EXPECT_EQ(fn::WideStringArrayAppend(arr, item), 1);
  fn::WideStringSet(item, u"two", 3);
  EXPECT_EQ(fn::WideStringArrayAppend(arr, item), 1);
  EXPECT_EQ(fn::WideStringArrayAppend(arr, nullptr), 0);
  EXPECT_EQ(fn::WideStringArrayCount(arr), 2);

  KS_WideString out = fn::WideStringNew(nullptr, 0);
  EXPECT_EQ(fn::WideStringArrayGet(arr, 0, out), 1);
  EXPECT_EQ(kshost::TextOf(out), u"one");
  EXPECT_EQ(fn::WideStringArrayGet(arr, 2, out), 0);
  EXPECT_EQ(fn::WideStringArrayGet(arr, -1, out), 0);
  EXPECT_EQ(fn::WideStringArrayGet(arr, 1, nullptr), 0);
  EXPECT_EQ(kshost::TextOf(out), u"one");  // untouched by the failed calls

  fn::WideStringArrayClear(arr);
  EXPECT_EQ(fn::WideStringArrayCount(arr), 0);
  fn::WideStringDestroy(out);
  fn::WideStringDestroy(item);
  fn::WideStringArrayDestroy(arr);

  EXPECT_EQ(fn::WideStringArrayCount(nullptr), 0);
  fn::WideStringArrayClear(nullptr);
  fn::WideStringArrayDestroy(nullptr);
}
