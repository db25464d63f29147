#include "measure/cma_measure_props.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"
#include "measure/cma_annot_handlers.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

constexpr char kMeasureDict[] =
    "<< /Type /Measure /R (1 in = 1 in) /X [ << /U (in) /C 0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] "
    "/A [ << /U (sq in) /C 1 /D 100 >> ] >>";

using kwannotation::test::Write;

std::u16string Text(KPD_Object obj) {
  Host::WideString out;
  if (!obj || !Host::StringObjectGetText(obj, out.get())) return {};
  return out.str();
}

class MeasurePropsTest : public kwannotation::test::HostDocTest {
 protected:
  KPD_Dictionary AddMeasurement(const std::string& keys) {
    return Add("<< /Type /Annot " + keys + " /Measure " + kMeasureDict + " >>");
  }
};

// What each kind offers: a circle area keeps no caption bits (they would
// make it a diameter), only the path kinds show segment lengths, and a
// line draws no caption unless asked.
TEST_F(MeasurePropsTest, EachKindReadsTheSwitchesItHas) {
  struct Case {
    const char* keys;
    unsigned available;
    bool caption;
    bool showLabel;
  } cases[] = {
      {"/Subtype /Line /IT /LineDimension /L [0 0 72 0]", kPropUnit | kPropPrecision | kPropCaption | kPropShowLabel, false,
       true},
      {"/Subtype /PolyLine /IT /PolyLineDimension /RiseDrop true /Vertices [0 0 72 0 72 72]",
       kPropUnit | kPropPrecision | kPropCaption | kPropShowLabel | kPropSegments, true, true},
      {"/Subtype /Circle /IT /CircleDimension /Rect [0 0 72 72]", kPropUnit | kPropPrecision | kPropCaption, true, true},
      {"/Subtype /Polygon /IT /PolygonDimension /MeasurementTypes 1 /Vertices [0 0 72 0 72 72]",
       kPropUnit | kPropPrecision | kPropCaption | kPropShowLabel | kPropSegments, true, false},
  };
  for (const Case& c : cases) {
    KPD_Dictionary annot = AddMeasurement(c.keys);
    const int type = MeasureTypeOfAnnot(annot);
    auto props = MakeMeasurePropReader(type)->Read(annot);
    ASSERT_TRUE(props) << c.keys;
    EXPECT_EQ(props->available, c.available) << c.keys;
    EXPECT_EQ(props->caption, c.caption) << c.keys;
    EXPECT_EQ(props->showLabel, c.showLabel) << c.keys;
    EXPECT_EQ(props->precision, 2) << c.keys;
    // A reader of another kind does not take it.
    EXPECT_FALSE(MakeMeasurePropReader(type == kMeasureAngle ? kMeasureDistance : kMeasureAngle)->Read(annot));
  }
  EXPECT_EQ(MakeMeasurePropReader(kMeasureNone), nullptr);
}

// A precision change gives the measurement a measure dictionary of its own
// (a shared one stays as it was), shows the value with that many digits
// and leaves keys it was not asked to change.
TEST_F(MeasurePropsTest, PrecisionChangeRewritesTheOwnDictionaryAndTheContents) {
  KPD_Dictionary indirect = Indirect(kMeasureDict);
  KPD_Dictionary annot = Add("<< /Type /Annot /Subtype /Line /IT /LineDimension /L [0 0 72 0] /Cap true >>");
  Host::DictSet(annot, "/Measure", indirect);
  const std::string sharedBefore = Write(indirect);

  MeasureAnnotProps props = *MakeMeasurePropReader(kMeasureDistance)->Read(annot);
  props.precision = 4;
  props.caption = false;  // not asked for below
  ASSERT_TRUE(MakeMeasurePropApplier(kMeasureDistance)->Apply(annot, doc_, props, kPropPrecision));
  EXPECT_EQ(Write(indirect), sharedBefore);
  // Four decimals (the unit's default suffix may follow).
  EXPECT_EQ(Text(Host::DictGet(annot, "/Contents")).rfind(u"1.0000 in", 0), 0u);
  EXPECT_EQ(Write(Host::DictGet(annot, "/Cap")), "true");
  EXPECT_EQ(MakeMeasurePropReader(kMeasureDistance)->Read(annot)->precision, 4);
  EXPECT_NE(Host::DictGet(annot, "/AP"), nullptr);

  // Switching the label bit keeps the other caption bits.
  props.showLabel = false;
  ASSERT_TRUE(MakeMeasurePropApplier(kMeasureDistance)->Apply(annot, doc_, props, kPropShowLabel));
  EXPECT_EQ(Write(Host::DictGet(annot, "/MeasurementTypes")), "2");
  // Asking a kind for nothing it has changes nothing.
  EXPECT_FALSE(MakeMeasurePropApplier(kMeasureDistance)->Apply(annot, doc_, props, kPropSegments));
}


// A unit change keeps the ratio and shows the value in the new unit, with
// areas in its square; a unit that is not a real-world unit changes
// nothing.
TEST_F(MeasurePropsTest, UnitChangeKeepsTheRatioAndRefusesUnknownUnits) {
  struct Case {
    const char16_t* unit;
    bool applied;
    const char16_t* contents;  // how the value starts
    const char* area;          // the area unit
  } cases[] = {{u"cm", true, u"2.54 cm", "(sq cm)"},
               {u"mm", true, u"25.40 mm", "(sq mm)"},
               {u"ft", true, u"0.08 ft", "(sq ft)"},
               {u"furlong", false, u"1 in", nullptr}};
  for (const Case& c : cases) {
    KPD_Dictionary annot =
        AddMeasurement("/Subtype /Line /IT /LineDimension /L [0 0 72 0] /Cap true /Contents (1 in)");
    const std::string before = Write(annot);
    MeasureAnnotProps props = *MakeMeasurePropReader(kMeasureDistance)->Read(annot);
    EXPECT_EQ(props.lengthUnit, u"in");
    props.lengthUnit = c.unit;
    EXPECT_EQ(MakeMeasurePropApplier(kMeasureDistance)->Apply(annot, doc_, props, kPropUnit), c.applied);
    EXPECT_EQ(Text(Host::DictGet(annot, "/Contents")).rfind(c.contents, 0), 0u) << Write(annot);
    if (!c.applied) {
      EXPECT_EQ(Write(annot), before);
      continue;
    }
    KPD_Dictionary measure = Host::DictGet(annot, "/Measure");
    EXPECT_EQ(Text(Host::DictGet(measure, "/R")), u"1 in = 1 in");
    EXPECT_NE(Write(Host::DictGet(measure, "/A")).find(c.area), std::string::npos);
    EXPECT_EQ(MakeMeasurePropReader(kMeasureDistance)->Read(annot)->lengthUnit, c.unit);
  }
}

}  // namespace
}  // namespace AnnotationPlugin
