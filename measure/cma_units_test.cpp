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

std::u16string PrefText(const char16_t* key) {
  Host::WideString out;
  if (!Host::PrefGetText(kMeasurementSection, key, out.get())) return u"<absent>";
  return out.str();
}

TEST(UnitNames, TranslatedNamesMapBackToTheSharedKeys) {
  EXPECT_EQ(UnitDisplayNames(UnitList::Real).size(), 12u);
  EXPECT_EQ(UnitKeyFromText(u"Fu\u00df", UnitList::Real), u"ft");
  EXPECT_EQ(UnitKeyFromText(u"Fu\u00df-Zoll", UnitList::Real), u"ft'in\"");
  EXPECT_EQ(UnitKeyFromText(u"Punkt", UnitList::Paper), u"pt");
  EXPECT_EQ(UnitKeyFromText(u"inch", UnitList::Paper), u"in");
  EXPECT_EQ(UnitKeyFromText(u" furlong\t", UnitList::Real), u"furlong");
  EXPECT_EQ(AreaUnitFor(u"ft'in\""), u"Quadratfu\u00df");
  EXPECT_EQ(VolumeUnitFor(u"m"), u"m\u00b3");
  EXPECT_EQ(AreaUnitFor(u"furlong"), u"sq mm");

  PageScale scale;
  scale.x = {1, u"Zoll", 10, u"Fu\u00df-Zoll"};
  EXPECT_EQ(RatioText(scale), u"1 in = 10 ft'in\"");
  EXPECT_EQ(SlopeDisplay(4, 0, 12).substr(0, 5), u"4/12 ");
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

TEST(DefaultRatio, SavesAndLoadsBothRatios) {
  ClearRatioKeys();
  PageScale s;
  s.x = {2.5, u"cm", 1.0 / 3, u"m"};
  s.separateY = true;
  s.y = {1, u"Zoll", 20, u"Fu\u00df"};
  SaveDefaultRatio(s);
  EXPECT_EQ(PrefText(u"ScaleRatioNum1"), u"0.333333333333333");
  EXPECT_EQ(Host::PrefGetInt(kMeasurementSection, u"ScaleRatioUnitYReal", -1), 1);

  PageScale back = LoadDefaultRatio(u"pt");
  EXPECT_EQ(back.x.paperUnit, u"cm");
  EXPECT_EQ(back.x.paperNumber, 2.5);
  EXPECT_EQ(back.x.realUnit, u"m");
  EXPECT_TRUE(back.separateY);
  EXPECT_EQ(back.y.paperUnit, u"in");
  EXPECT_EQ(back.y.realUnit, u"ft");
  EXPECT_EQ(back.y.realNumber, 20);

  s.separateY = false;
  SaveDefaultRatio(s);
  for (const char16_t* key : {u"ScaleRatioUnitYUser", u"ScaleRatioUnitYReal", u"ScaleRatioY"})
    EXPECT_EQ(Host::PrefGetInt(kMeasurementSection, key, -7), -7);
  EXPECT_EQ(PrefText(u"ScaleRatioNumYUser"), u"<absent>");
  EXPECT_EQ(PrefText(u"ScaleRatioNumYReal"), u"<absent>");
  EXPECT_FALSE(LoadDefaultRatio(u"pt").separateY);
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

TEST(PageScaleWriting, CaptionsReadInTheToolUnits) {
  KPD_Document doc = Host::DocNew();
  KPD_Dictionary annot = Host::DictNew();
  PageScale scale;
  scale.x = {1, u"Zoll", 10, u"Fu\u00df-Zoll"};
  scale.precision = 4;
  ASSERT_TRUE(WritePageScale(annot, doc, scale, {u"Fu\u00df-Zoll", u"Quadratfu\u00df", u"Kubikfu\u00df"}));
  kwannotation::CKW_MeasureDictImpl m(kwannotation::CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc, false));
  EXPECT_TRUE(m.IsValid()) << m.InvalidReason();
  EXPECT_EQ(m.GetRatioText(), u"1 in = 10 ft'in\"");
  // 75.816 points are 1.053 paper inches: 10.53 ft.
  EXPECT_EQ(m.FormatValue(2, 75.816 * m.GetFormat(0, 0).factor), u"10'-6 3/8\"");
  // 7.2 points squared are one square foot.
  EXPECT_EQ(m.FormatValue(3, 7.2 * 7.2 * m.GetFormat(0, 0).factor * m.GetFormat(0, 0).factor), u"1.0000 sq ft");
  EXPECT_FALSE(WritePageScale(nullptr, doc, scale, {}));
  Host::ObjectRelease(annot);
  Host::DocClose(doc);
}

}  // namespace
}  // namespace AnnotationPlugin
