#include <cmath>
#include <limits>

#include "host/pdf_test_support.h"

namespace kshost::pdf::test {
namespace {

class InkService : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_.reset(direct::DocNew());
    KS_FloatRect box{0, 0, 612, 792};
    page_ = direct::DocAddPage(doc_.get(), &box);
  }
  // An ink annotation of the page with the given keys.
  KPD_Dictionary Ink(const std::string& keys) {
    Owned parsed = Parse("<< /Type /Annot /Subtype /Ink /Rect [0 0 100 100] " + keys + " >>");
    return direct::PageInsertAnnot(page_, -1, parsed.get());
  }
  KS_InkInfo Info(KPD_Dictionary ink) {
    KS_InkInfo info{};
    info.size = sizeof info;
    direct::InkGetInfo(ink, &info);
    return info;
  }
  struct Read {
    std::vector<int32_t> counts;
    std::vector<float> xy, pressure;
  };
  Read Get(KPD_Dictionary ink) {
    KS_InkInfo info = Info(ink);
    Read r{std::vector<int32_t>(size_t(info.strokes)), std::vector<float>(size_t(info.coords)),
           std::vector<float>(info.pressure == 2 ? size_t(info.coords / 2) : 0)};
    EXPECT_EQ(direct::InkGetStrokes(ink, r.counts.data(), info.strokes, r.xy.data(), info.coords,
                                info.pressure == 2 ? r.pressure.data() : nullptr),
              1);
    return r;
  }
  std::string Key(KPD_Dictionary ink, const char* key) { return Write(direct::DictGet(ink, key)); }

  Doc doc_;
  KPD_Page page_ = nullptr;
};

TEST_F(InkService, InfoNamesTheFirstProblemAndTheStrokeItIsIn) {
  struct Case {
    const char* keys;
    int problem;
    int stroke;
  } cases[] = {
      {"/InkList [[1 2 3 4] [5 6]]", KS_INK_OK, -1},
      {"", KS_INK_NO_LIST, -1},
      {"/InkList 5", KS_INK_NO_LIST, -1},
      {"/InkList [[1 2] 7]", KS_INK_STROKE_NOT_ARRAY, 1},
      {"/InkList [[1 2] [3 /X]]", KS_INK_NOT_A_NUMBER, 1},
      {"/InkList [[1 2 3]]", KS_INK_ODD_COUNT, 0},
      {"/InkList [[1 2 3 4]] /PSI [[0.5 0.5] [1]]", KS_INK_PRESSURE_STROKES, -1},
      {"/InkList [[1 2 3 4] [5 6]] /PSI [[0.5 0.5] [1 1]]", KS_INK_PRESSURE_POINTS, 1},
      {"/InkList [[1 2 3 4]] /PSI [[0.5 /X]]", KS_INK_PRESSURE_POINTS, 0},
      {"/InkList [[1 2 3 4]] /PSI true", KS_INK_OK, -1},
  };
  for (const Case& c : cases) {
    KS_InkInfo info = Info(Ink(c.keys));
    EXPECT_EQ(info.problem, c.problem) << c.keys;
    EXPECT_EQ(info.problemStroke, c.stroke) << c.keys;
  }
  KS_InkInfo flag = Info(Ink("/InkList [[1 2 3 4]] /PSI true"));
  EXPECT_EQ(flag.pressure, 1);
  EXPECT_EQ(flag.coords, 4);
}

TEST_F(InkService, WrittenStrokesReadBackWithThePressureOfEveryPointBesideIt) {
  KPD_Dictionary ink = Ink("/InkList [[0 0 1 1]] /PSI [[1 1]]");
  const std::vector<int32_t> counts{4, 0, 6};
  const std::vector<float> xy{1.5f, 2.25f, -3, 4, 10.125f, 11, 12, 13, 14.5f, 15};
  const std::vector<float> pressure{0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
  ASSERT_EQ(direct::InkSetStrokes(ink, counts.data(), 3, xy.data(), pressure.data()), 1);
  EXPECT_EQ(Key(ink, "/InkList"), "[ [ 1.5 2.25 -3 4 ] [ ] [ 10.125 11 12 13 14.5 15 ] ]");
  EXPECT_EQ(Key(ink, "/PSI"), "[ [ 0.1 0.2 ] [ ] [ 0.3 0.4 0.5 ] ]");
  Read r = Get(ink);
  EXPECT_EQ(r.counts, counts);
  EXPECT_EQ(r.xy, xy);
  EXPECT_EQ(r.pressure, pressure);
}

TEST_F(InkService, BadStrokesAreRefusedAndNothingIsWritten) {
  KPD_Dictionary ink = Ink("/InkList [[1 2 3 4]] /PSI [[1 1]]");
  const std::string before = Key(ink, "/InkList") + Key(ink, "/PSI");
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<int32_t> counts;
    std::vector<float> xy;
    std::vector<float> pressure;
  } cases[] = {
      {{3}, {1, 2, 3}, {}},
      {{-2, 4}, {1, 2, 3, 4}, {}},
      {{4}, {1, nan, 3, 4}, {}},
      {{4}, {1, 2, inf, 4}, {}},
      {{4}, {1, 2, 3, 4}, {0.5f, nan}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(direct::InkSetStrokes(ink, c.counts.data(), int32_t(c.counts.size()), c.xy.data(),
                                c.pressure.empty() ? nullptr : c.pressure.data()),
              0);
    EXPECT_EQ(Key(ink, "/InkList") + Key(ink, "/PSI"), before);
  }
}

TEST_F(InkService, KeptRunsShareTheInksNumbersAndKeepThePressureAligned) {
  KPD_Dictionary ink = Ink("/InkList [[0 0 1 1 2 2 3 3 4 4] [10 10 11 11]] /PSI [[.1 .2 .3 .4 .5] [.6 .7]]");
  Get(ink);  // what the eraser does first: read, so the buffers are known
  const int32_t runs[] = {0, 0, 2, 1, 0, 2, 0, 3, 2};
  ASSERT_EQ(direct::InkKeepRuns(ink, runs, 3), 1);
  EXPECT_EQ(Key(ink, "/InkList"), "[ [ 0 0 1 1 ] [ 10 10 11 11 ] [ 3 3 4 4 ] ]");
  EXPECT_EQ(Key(ink, "/PSI"), "[ [ .1 .2 ] [ .6 .7 ] [ .4 .5 ] ]");
  Read r = Get(ink);
  EXPECT_EQ(r.xy, (std::vector<float>{0, 0, 1, 1, 10, 10, 11, 11, 3, 3, 4, 4}));
  EXPECT_EQ(r.pressure, (std::vector<float>{.1f, .2f, .6f, .7f, .4f, .5f}));

  // A piece beyond its stroke, of no points or of a stroke that is not there
  // changes nothing.
  const std::string before = Key(ink, "/InkList") + Key(ink, "/PSI");
  for (std::vector<int32_t> bad : {std::vector<int32_t>{0, 1, 2}, {0, 0, 0}, {3, 0, 1}, {-1, 0, 1}, {0, -1, 1}}) {
    EXPECT_EQ(direct::InkKeepRuns(ink, bad.data(), 1), 0);
    EXPECT_EQ(Key(ink, "/InkList") + Key(ink, "/PSI"), before);
  }
}

// What was written is kept for the next read; any later change to the
// objects, made any other way, must be what the next read sees.
TEST_F(InkService, AReadAfterAnyOtherChangeSeesTheObjectsNotWhatWasWritten) {
  KPD_Dictionary ink = Ink("");
  const int32_t counts[] = {4};
  const float xy[] = {1, 2, 3, 4};
  ASSERT_EQ(direct::InkSetStrokes(ink, counts, 1, xy, nullptr), 1);
  KPD_Object stroke = direct::ArrayGet(direct::DictGet(ink, "/InkList"), 0);
  Owned nine(direct::NumberNew(9));
  ASSERT_EQ(direct::ArraySet(stroke, 2, nine.get()), 1);
  EXPECT_EQ(Get(ink).xy, (std::vector<float>{1, 2, 9, 4}));

  Owned list = Parse("[[5 6 7 8 9 10]]");
  ASSERT_EQ(direct::DictSet(ink, "/InkList", list.get()), 1);
  EXPECT_EQ(Get(ink).xy, (std::vector<float>{5, 6, 7, 8, 9, 10}));
  Owned odd = Parse("[[5 6 7]]");
  ASSERT_EQ(direct::DictSet(ink, "/InkList", odd.get()), 1);
  EXPECT_EQ(Info(ink).problem, KS_INK_ODD_COUNT);
}

}  // namespace
}  // namespace kshost::pdf::test
