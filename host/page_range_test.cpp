#include "host/page_range.h"

#include <gtest/gtest.h>

#include "host/core_hft.h"
#include "host/host_functions.h"

namespace kshost {
namespace {

TEST(PageRange, ReadsNumbersAndRangesOrTellsTheFirstProblem) {
  using E = PageRangeError;
  struct Case {
    const char16_t* text;
    E error;
    const char16_t* ranges;  // written back, when there is no error
  } cases[] = {
      {u"1,5-9,12", E::kNone, u"1-1,5-9,12-12,"},
      {u" 2 - 3 , 7 ,", E::kNone, u"2-3,7-7,"},  // blanks and one trailing comma
      {u"20", E::kNone, u"20-20,"},
      {u"", E::kEmpty, nullptr},
      {u"   ", E::kEmpty, nullptr},
      {u"0", E::kNoPage, nullptr},
      {u"21", E::kNoPage, nullptr},
      {u"99999999999", E::kNoPage, nullptr},
      {u"1-99999999999999999999999", E::kNoPage, nullptr},
      {u"5-2", E::kInput, nullptr},
      {u"1,,2", E::kInput, nullptr},
      {u",1", E::kInput, nullptr},
      {u"1-", E::kInput, nullptr},
      {u"1-2-3", E::kInput, nullptr},
      {u"-3", E::kInput, nullptr},
      {u"1;2", E::kInput, nullptr},
      {u"one", E::kInput, nullptr},
      {u"1,1", E::kSamePage, nullptr},
      {u"3-6,5", E::kSamePage, nullptr},
      {u"8,2-8", E::kSamePage, nullptr},
  };
  for (const Case& c : cases) {
    const std::u16string text = c.text;
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    const PageRanges r = ParsePageRanges(text, 20);
    EXPECT_EQ(r.error, c.error);
    if (c.ranges) {
      EXPECT_EQ(FormatPageRanges(r.ranges), c.ranges);
    } else {
      EXPECT_TRUE(r.ranges.empty());
    }
  }
  EXPECT_EQ(PageRangeCount(ParsePageRanges(u"1,5-9,12", 20).ranges), 7);
}

TEST(PageRange, TheDocProcessTableIsPublishedWhenItsPluginIsRegistered) {
  EXPECT_EQ(direct::ExtHFTFind(KS_DOCPROCESS_HFT_NAME, KS_DOCPROCESS_HFT_VERSION), nullptr);
  EXPECT_EQ(direct::AppIsInnerPluginRegistered(KS_DOCPROCESS_INNER_PLUGIN), 0);
  ASSERT_EQ(direct::AppRegisterInnerPlugin(KS_DOCPROCESS_INNER_PLUGIN), 1);
  EXPECT_EQ(direct::AppRegisterInnerPlugin(KS_DOCPROCESS_INNER_PLUGIN), 1);  // once is enough
  EXPECT_EQ(direct::AppRegisterInnerPlugin("VenkoInnerPluginNothing"), 0);
  KS_ExtHFT hft = direct::ExtHFTFind(KS_DOCPROCESS_HFT_NAME, KS_DOCPROCESS_HFT_VERSION);
  ASSERT_NE(hft, nullptr);
  auto check = reinterpret_cast<KS_DocProcessCheckRangeProc>(direct::ExtHFTGetEntry(hft, 8));
  auto message = reinterpret_cast<KS_DocProcessRangeMessageProc>(direct::ExtHFTGetEntry(hft, 1));
  ASSERT_TRUE(check && message);
  KS_WideString text = direct::WideStringNew(u"1,,2", 4);
  const int error = check(nullptr, text, 10);
  EXPECT_EQ(error, KS_PAGERANGE_INPUT);
  KS_WideString key = direct::WideStringNew(nullptr, 0);
  ASSERT_EQ(message(nullptr, error, key), 1);
  EXPECT_EQ(std::u16string(direct::WideStringData(key), direct::WideStringLength(key)), u"IDS_STRING_INPUTERROR");
  EXPECT_EQ(message(nullptr, KS_PAGERANGE_OK, key), 0);
  direct::WideStringDestroy(key);
  direct::WideStringDestroy(text);
}

}  // namespace
}  // namespace kshost
