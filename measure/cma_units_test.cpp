#include "measure/cma_units.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "host/core_hft.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {
namespace {

// The real host with its preferences in a fresh folder, and the German
// translation tables loaded before any unit list is first built.
class UnitsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    kshost::Env().Reset();
    Host::Bind(kshost::CoreHFT(), nullptr);
    Widgets::SetCurrentLanguage(u"de-DE");
    ASSERT_TRUE(Widgets::LoadStrings("Annotation"));
  }
  void TearDown() override { kshost::Env().Reset(); }

 private:
  kshost::testing::TempDir config_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UnitsEnvironment);

void ClearRatioKeys() {
  for (const char16_t* key : {u"ScaleRatioUINT0", u"ScaleRatioUINT1", u"ScaleRatioNum0", u"ScaleRatioNum1",
                              u"ScaleRatioY", u"ScaleRatioUnitYUser", u"ScaleRatioUnitYReal",
                              u"ScaleRatioNumYUser", u"ScaleRatioNumYReal"})
    Host::PrefRemove(kMeasurementSection, key);
}

TEST(UnitNames, TranslatedNamesMapBackToTheSharedKeys) {
  EXPECT_EQ(UnitDisplayNames(UnitList::Real).size(), 12u);
  EXPECT_EQ(UnitKeyFromText(u"Fu\u00df", UnitList::Real), u"ft");
  EXPECT_EQ(UnitKeyFromText(u"Fu\u00df-Zoll", UnitList::Real), u"ft'in\"");
  EXPECT_EQ(UnitKeyFromText(u"Punkt", UnitList::Paper), u"pt");
  EXPECT_EQ(UnitKeyFromText(u"inch", UnitList::Paper), u"in");
  EXPECT_EQ(UnitKeyFromText(u" furlong\t", UnitList::Real), u"furlong");

  PageScale scale;
  scale.x = {1, u"Zoll", 10, u"Fu\u00df-Zoll"};
  EXPECT_EQ(RatioText(scale), u"1 in = 10 ft'in\"");
}

TEST(DefaultRatio, MissingKeysGiveOneToOneInTheDefaultUnit) {
  ClearRatioKeys();
  PageScale s = LoadDefaultRatio(u"inch");
  EXPECT_EQ(s.x.paperUnit, u"in");
  EXPECT_EQ(s.x.realUnit, u"in");
  EXPECT_EQ(s.x.paperNumber, 1);
  EXPECT_EQ(s.x.realNumber, 1);
  EXPECT_FALSE(s.separateY);
  // "p" is the fifth paper unit and the last real-world one.
  s = LoadDefaultRatio(u"p");
  EXPECT_EQ(s.x.paperUnit, u"p");
  EXPECT_EQ(s.x.realUnit, u"p");
  // A key that neither list holds gives the first of each.
  s = LoadDefaultRatio(u"furlong");
  EXPECT_EQ(s.x.paperUnit, u"pt");
  EXPECT_EQ(s.x.realUnit, u"in");
}

// Units are stored as indexes into their lists: paper pt in mm cm p, real
// in ft ft'in" in" yd mi mm cm m km pt p.
TEST(DefaultRatio, LoadsBothRatiosAndTheYRatioOnlyWhenItIsSet) {
  ClearRatioKeys();
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUINT0", 3);
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNum0", u"2.5");
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUINT1", 8);
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNum1", u"0.333333333333333");
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUnitYUser", 1);
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNumYUser", u"1");
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUnitYReal", 1);
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNumYReal", u"20");
  EXPECT_FALSE(LoadDefaultRatio(u"pt").separateY) << "the Y keys count only with ScaleRatioY";

  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioY", 1);
  PageScale back = LoadDefaultRatio(u"pt");
  EXPECT_EQ(back.x.paperUnit, u"cm");
  EXPECT_EQ(back.x.paperNumber, 2.5);
  EXPECT_EQ(back.x.realUnit, u"m");
  EXPECT_EQ(back.x.realNumber, 0.333333333333333);
  EXPECT_TRUE(back.separateY);
  EXPECT_EQ(back.y.paperUnit, u"in");
  EXPECT_EQ(back.y.paperNumber, 1);
  EXPECT_EQ(back.y.realUnit, u"ft");
  EXPECT_EQ(back.y.realNumber, 20);
}

TEST(DefaultRatio, BadStoredValuesFallBack) {
  ClearRatioKeys();
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUINT0", 99);
  Host::PrefSetInt(kMeasurementSection, u"ScaleRatioUINT1", -1);
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNum0", u"-3");
  Host::PrefSetText(kMeasurementSection, u"ScaleRatioNum1", u"1e9");
  PageScale s = LoadDefaultRatio(u"mm");
  EXPECT_EQ(s.x.paperUnit, u"mm");
  EXPECT_EQ(s.x.realUnit, u"mm");
  EXPECT_EQ(s.x.paperNumber, 1);
  EXPECT_EQ(s.x.realNumber, 99999999);
}

}  // namespace
}  // namespace AnnotationPlugin
