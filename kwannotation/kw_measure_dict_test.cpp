#include "kwannotation/kw_measure_dict.h"

#include <gtest/gtest.h>

#include <string>

#include "kwannotation/kw_test_support.h"
#include "kwannotation/kw_units.h"

namespace kwannotation {
namespace {

using test::Owned;
using test::Parse;
using test::Write;
namespace host = ks::host;

constexpr int kX = 0, kY = 1, kD = 2, kA = 3, kT = 4, kV = 6;

class MeasureDictTest : public test::HostDocTest {
 protected:
  // Measure dictionaries parsed from text; kept alive for the test.
  CKW_MeasureDict Make(std::string_view text) { return CKW_MeasureDict::Own(Parse(text).release()); }

  // The host writes reals with twelve decimals at most.
  void ExpectFactor(const CKW_MeasureDict& m, int array, int element, double expected) {
    EXPECT_NEAR(m->GetFormat(array, element).factor, expected, 1e-11 + expected * 1e-11) << array << "/" << element;
  }
};

// A valid dictionary, with placeholders for the cases to vary.
std::string Valid(std::string_view extra = "", std::string_view x = "[<< /U (ft) /C 1 >>]") {
  return "<< /Type /Measure /R (1 in = 10 ft) /X " + std::string(x) +
         " /D [<< /U (ft) /C 1 >>] /A [<< /U (sq ft) /C 1 >>] " + std::string(extra) + " >>";
}

TEST_F(MeasureDictTest, ValidityFollowsEveryArrayAndItsLastDenominator) {
  const struct {
    const char* name;
    std::string text;
    std::string reason;  // empty: valid
  } cases[] = {
      {"Valid", Valid(), ""},
      {"GeospatialOurSpelling", Valid("/SubType /GEO"), "geospatial (GEO) measure dictionary"},
      {"GeospatialStandardSpelling", Valid("/Subtype /GEO"), "geospatial (GEO) measure dictionary"},
      {"Rectilinear", Valid("/Subtype /RL"), ""},
      {"NoRatio", "<< /X [<< /U (ft) >>] /D [<< /U (ft) >>] /A [<< /U (sq ft) >>] >>", "no R text"},
      {"RatioNotText", "<< /R 5 /X [<< /U (ft) >>] /D [<< /U (ft) >>] /A [<< /U (sq ft) >>] >>", "no R text"},
      {"BlankRatio", "<< /R ( ) /X [<< /U (ft) >>] /D [<< /U (ft) >>] /A [<< /U (sq ft) >>] >>", ""},
      {"NoD", "<< /R (1 in = 1 in) /X [<< /U (in) >>] /A [<< /U (sq in) >>] >>", "no D array"},
      {"XNotArray", Valid("", "<< /U (ft) >>"), "X is not an array"},
      {"XEmpty", Valid("", "[]"), "X array is empty"},
      {"EmptyLabel", Valid("", "[<< /U () >>]"), "X element 1 has no unit label"},
      {"LabelNotText", Valid("", "[<< /U /ft >>]"), "X element 1 has no unit label"},
      {"ElementNotDictionary", Valid("", "[<< /U (ft) >> 5]"), "X element 2 is not a dictionary"},
      {"FactorZero", Valid("", "[<< /U (ft) /C 0 >>]"), "X element 1 has a factor that is not > 0"},
      {"FactorNegative", Valid("", "[<< /U (ft) /C -5 >>]"), "X element 1 has a factor that is not > 0"},
      {"FactorNotNumber", Valid("", "[<< /U (ft) /C (one) >>]"), "X element 1 has a factor that is not > 0"},
      {"LastDenominatorZero", Valid("", "[<< /U (ft) /F /D /D 0 >>]"), "X element 1 has no usable denominator"},
      {"LastFractionNegative", Valid("", "[<< /U (ft) /F /F /D -5 >>]"), "X element 1 has no usable denominator"},
      {"EarlierDenominatorIgnored", Valid("", "[<< /U (ft) /D 0 >> << /U (in) /C 12 >>]"), ""},
      {"RoundNeedsNoDenominator", Valid("", "[<< /U (ft) /F /R /D 0 >>]"), ""},
      {"OptionalArrayChecked", Valid("/T [<< /U () >>]"), "T element 1 has no unit label"},
      {"OptionalArrayLastDenominator", Valid("/V [<< /U (cu ft) /D 0 >>]"), "V element 1 has no usable denominator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CKW_MeasureDict m = Make(c.text);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->InvalidReason(), c.reason);
    EXPECT_EQ(m.IsValid(), c.reason.empty());
  }
  EXPECT_FALSE(CKW_MeasureDict().IsValid());
  EXPECT_EQ(CKW_MeasureDictImpl(nullptr).InvalidReason(), "no measure dictionary");
}

TEST_F(MeasureDictTest, RatioProblemNamesTheSideThatDoesNotRead) {
  const struct {
    const char* r;
    std::string problem;
  } cases[] = {
      {"1 in = 10 ft", ""},
      {"in X 1 in = 10 ft, in Y 1 in = 20 m", ""},
      {"", ""},  // no ratio at all is InvalidReason's to report
      {"   ", ""},  // a blank label: the scale is X's factor
      {"1 in = 0 ft", "the X ratio of R does not read as a scale ratio"},
      {"in X 1 in = 10 ft, in Y 1 in = -2 ft", "the Y ratio of R does not read as a scale ratio"},
      {"1 in = 10 ft, 2", "the X ratio of R does not read as a scale ratio"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.r);
    EXPECT_EQ(Make(std::string("<< /R (") + c.r + ") >>")->RatioProblem(), c.problem);
  }
}

TEST_F(MeasureDictTest, ReadsNumberFormatsWithDefaultsForMissingAndMistypedKeys) {
  CKW_MeasureDict m = Make(
      "<< /X [<< /U (ft) /F /f /O /p /D 8 /FD true /RT (') /PS () >>"
      " << /U (in) /F /Tx /D 3000000000 >> << >> 7] >>");
  NumberFormat a = m->GetFormat(kX, 0);
  EXPECT_EQ(a.mode, DisplayMode::Fraction);  // case folded
  EXPECT_EQ(a.position, LabelPosition::Prefix);
  EXPECT_EQ(a.fractionDenominator, 8);
  EXPECT_EQ(a.decimalDenominator, 100);
  EXPECT_TRUE(a.noReduce);
  EXPECT_EQ(a.factor, 1.0);  // "C" absent
  EXPECT_EQ(a.ThousandsSeparator(), u"'");
  EXPECT_EQ(a.PrefixText(), u"");
  // Absent separators read as the standard's defaults.
  EXPECT_EQ(a.DecimalSeparator(), u".");
  EXPECT_EQ(a.SuffixText(), u" ");

  NumberFormat b = m->GetFormat(kX, 1);
  EXPECT_EQ(b.mode, DisplayMode::Truncate);
  EXPECT_EQ(b.decimalDenominator, INT32_MAX);  // clamped, not wrapped
  EXPECT_TRUE(m->GetFormat(kX, 2).readable);
  EXPECT_FALSE(m->GetFormat(kX, 3).readable);
  EXPECT_FALSE(m->GetFormat(kX, 4).readable);
  EXPECT_FALSE(m->GetFormat(kY, 0).readable);
  EXPECT_FALSE(m->GetFormat(99, 0).readable);
  EXPECT_EQ(m->GetFormatCount(kX), 4);
  EXPECT_EQ(m->GetFormatCount(kY), 0);
  EXPECT_EQ(m->GetFormatCount(-1), 0);
  EXPECT_EQ(m->GetFormats(kX).size(), 4u);
  EXPECT_EQ(m->GetPrecision(), 2);  // the last element is not a dictionary: defaults
  // Feet and inches carry the precision on the inches.
  CKW_MeasureDict feet = Make("<< >>");
  ASSERT_TRUE(feet->SetFormats(kX, ScaleFormatsFor(u"ft'in\"", 4)));
  EXPECT_EQ(feet->GetPrecision(), 4);
  ASSERT_TRUE(feet->SetFormats(kX, ScaleFormatsFor(u"mm", 3)));
  EXPECT_EQ(feet->GetPrecision(), 3);
}

TEST_F(MeasureDictTest, SetFormatsFollowsTheWriteRule) {
  CKW_MeasureDict m = Make("<< /Y [<< /U (m) >>] >>");
  std::vector<NumberFormat> formats = ScaleFormatsFor(u"ft'in\"", 4);
  ASSERT_EQ(formats.size(), 2u);
  ASSERT_TRUE(m->SetFormats(kX, formats));
  EXPECT_EQ(Write(m.GetDict()),
            "<< /X [ << /C 1 /O /S /PS () /RD (.) /RT (,) /SS (-) /U (') >> "
            "<< /C 12 /D 16 /F /F /FD false /O /S /PS () /RD (.) /RT (,) /SS () /U (\") >> ] /Y [ << /U (m) >> ] >>");

  // Round and truncate get no denominator; unset separators are written
  // with the standard's defaults.
  NumberFormat round;
  round.unit = u"m";
  round.mode = DisplayMode::Round;
  ASSERT_TRUE(m->SetFormats(kD, std::span<const NumberFormat>(&round, 1)));
  KPD_Object d = host::ArrayGet(host::DictGet(m.GetDict(), "/D"), 0);
  EXPECT_EQ(Write(d), "<< /C 1 /F /R /O /S /PS ( ) /RD (.) /RT (,) /SS ( ) /U (m) >>");

  // An empty list removes the key.
  EXPECT_TRUE(m->SetFormats(kY, {}));
  EXPECT_EQ(host::DictHasKey(m.GetDict(), "/Y"), 0);
  EXPECT_FALSE(m->SetFormats(7, formats));
}

TEST_F(MeasureDictTest, NormaliseTurnsTheRatioIntoFactors) {
  CKW_MeasureDict m = Make(
      "<< /R (1 in = 10 ft) /X [<< /U (FT) /C 5 >> << /U (in) >>] /D [<< /U (in) >> << /U (mm) >>]"
      " /A [<< /U (sq in) >>] /V [<< /U (cu yd) >>] /T [<< /U () >> << /U (min) >>] /CYX 3 >>");
  ASSERT_TRUE(m->Normalize());
  ExpectFactor(m, kX, 0, 120.0 / 864);  // 72 points read as 10 ft
  ExpectFactor(m, kX, 1, 12);
  ExpectFactor(m, kD, 0, 12);  // from the base unit ft
  ExpectFactor(m, kD, 1, 25.4);
  ExpectFactor(m, kA, 0, 144);
  ExpectFactor(m, kV, 0, 1.0 / 27);
  EXPECT_EQ(m->GetFormat(kT, 0).unit, u"\u00b0");
  EXPECT_EQ(m->GetFormat(kT, 1).unit, u"min");
  EXPECT_EQ(m->GetCYX(), std::nullopt);  // no Y ratio
  EXPECT_EQ(m->FormatValue(kX, 72), u"10 FT 0.00 in ");

  // A ratio that does not parse leaves the ratio at 1.
  CKW_MeasureDict bad = Make("<< /R (1 in = 0 ft) /X [<< /U (in) >>] >>");
  ASSERT_TRUE(bad->Normalize());
  ExpectFactor(bad, kX, 0, 1.0 / 72);
  // A comma without "X": no X text, ratio 1.
  CKW_MeasureDict comma = Make("<< /R (1 in = 10 ft, in Y 1 in = 10 ft) /X [<< /U (pt) >>] >>");
  ASSERT_TRUE(comma->Normalize());
  ExpectFactor(comma, kX, 0, 1);
}

TEST_F(MeasureDictTest, NormaliseSetsCYXBetweenTheRealUnits) {
  const struct {
    const char* r;
    const char* yUnit;
    double yFactor;
    std::optional<double> cyx;
  } cases[] = {
      {"in X 1 in = 10 ft, in Y 1 in = 20 ft", "ft", 240.0 / 864, 1.0},
      // A y distance in metres times CYX is in feet.
      {"in X 1 in = 10 ft, in Y 1 in = 5 m", "m", 5 * (1000 / 25.4) / (72000 / 25.4), 1000 / 304.8},
      {"in X 1 in = 10 ft, in Y nothing", "ft", 1.0 / 864, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.r);
    CKW_MeasureDict m = Make(std::string("<< /R (") + c.r + ") /X [<< /U (ft) >>] /Y [<< /U (" + c.yUnit +
                             ") >>] /CYX 7 >>");
    ASSERT_TRUE(m->Normalize());
    ExpectFactor(m, kX, 0, 120.0 / 864);
    ExpectFactor(m, kY, 0, c.yFactor);
    if (c.cyx) {
      ASSERT_TRUE(m->GetCYX().has_value());
      EXPECT_NEAR(*m->GetCYX(), *c.cyx, 1e-11);
    } else {
      EXPECT_EQ(m->GetCYX(), std::nullopt);
    }
  }
}

// Formats a page distance the way the captions do: X's first factor takes
// points to the base unit, the D array shows it.
std::u16string Distance(const CKW_MeasureDict& m, double points) {
  double base = points * m->GetFormat(kX, 0).factor;
  return m->FormatValue(kD, base).value_or(u"<none>");
}

TEST_F(MeasureDictTest, WrittenScalesShowFeetAndInchesAndDecimalCaptions) {
  const struct {
    const char* name;
    std::u16string unit;
    int precision;
    double real;  // real units at 1 paper in = 10 real units
    std::u16string expected;
  } cases[] = {
      {"FeetInchesFraction", u"ft'in\"", 4, 10.53, u"10'-6 3/8\""},
      {"FeetInchesAlias", u"'", 3, 10.53, u"10'-6 3/8\""},
      {"InchFractionQuarter", u"in\"", 2, 10.3, u"10 1/4\""},
      {"DecimalGrouped", u"in", 1, 1234.5, u"1,234.5 in"},
      {"Metres", u"m", 3, 10, u"10.000 m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PageScale scale;
    scale.x = {1, u"in", 10, c.unit};
    scale.precision = c.precision;
    CKW_MeasureDict m = Make("<< >>");
    ASSERT_TRUE(m->WriteScale(scale, u"1 in = 10 " + CanonicalUnitKey(c.unit), {c.unit, u"sq ft", u"cu ft"}));
    EXPECT_TRUE(m.IsValid()) << m->InvalidReason();
    // 7.2 points are a tenth of a paper inch: one real unit.
    EXPECT_EQ(Distance(m, c.real * 7.2), c.expected);
  }
}

TEST_F(MeasureDictTest, WrittenScaleCarriesTheSeparatorsAndUnits) {
  PageScale scale;
  scale.x = {1, u"in", 10, u"ft"};
  scale.separateY = true;
  scale.y = {1, u"in", 20, u"ft"};
  scale.precision = 2;
  CKW_MeasureDict m = Make("<< /S [<< /U (%) >>] /Y [<< /U (old) >>] >>");
  ASSERT_TRUE(m->WriteScale(scale, u"in X 1 in = 10 ft, in Y 1 in = 20 ft", {u"m", u"sq m", u"cu m"}));
  EXPECT_EQ(m->GetRatioText(), u"in X 1 in = 10 ft, in Y 1 in = 20 ft");
  NumberFormat x = m->GetFormat(kX, 0);
  EXPECT_EQ(x.thousandsSep, u",");
  EXPECT_EQ(x.decimalSep, u".");
  EXPECT_EQ(x.prefix, u" ");
  EXPECT_EQ(x.suffix, u"");
  EXPECT_EQ(m->FormatValue(kX, 72), u"10.00 ft");
  EXPECT_EQ(m->FormatValue(kY, 72), u"20.00 ft");
  EXPECT_EQ(m->GetCYX(), 1.0);
  EXPECT_EQ(m->GetFormat(kY, 0).unit, u"ft");
  ExpectFactor(m, kD, 0, 0.3048);
  ExpectFactor(m, kA, 0, 0.09290304);
  EXPECT_EQ(m->GetFormat(kT, 0).unit, u"\u00b0");
  EXPECT_EQ(m->GetFormat(kA, 0).decimalDenominator, 100);
  EXPECT_EQ(m->GetFormatCount(5), 1);  // "S" is not the page scale's
  EXPECT_EQ(m->GetPrecision(), 2);

  scale.separateY = false;
  ASSERT_TRUE(m->WriteScale(scale, u"1 in = 10 ft", {u"m", u"sq m", u"cu m"}));
  EXPECT_EQ(m->GetFormatCount(kY), 0);
  EXPECT_EQ(m->GetCYX(), std::nullopt);
}

// A 1:50 plan in metres, as the page-scale dialog writes its preset.
CKW_MeasureDict OneToFifty(CKW_MeasureDict m) {
  PageScale scale;
  scale.x = {10, u"cm", 5, u"m"};
  scale.precision = 2;
  EXPECT_TRUE(m->WriteScale(scale, u"10 cm = 5 m", {u"m", u"sq m", u"cu m"}));
  return m;
}

TEST_F(MeasureDictTest, DisplayUnitsConvertTheScaleAtTheSameRatio) {
  // One paper inch (72 points) at 1:50 is 25.4 mm * 50 = 1.27 m.
  const double metres = 25.4 * 50 / 1000;
  const struct {
    const char* name;
    MeasureUnits units;
    std::u16string length, area, volume;  // 72 points, its square and cube
  } cases[] = {
      // 127 cm; a tenfold length shows the thousands separator.
      {"LengthOnly", {u"cm", u"", u""}, u"127.00 cm", u"1.61 sq m", u"2.05 cu m"},
      // 1.6129 sq m / 0.83612736 sq m per sq yd = 1.929 sq yd.
      {"AreaOnly", {u"", u"sq yd", u""}, u"1.27 m", u"1.93 sq yd", u"2.05 cu m"},
      // 2.048383 cu m / 0.3048^3 cu m per cu ft = 72.338 cu ft.
      {"VolumeOnly", {u"", u"", u"cu ft"}, u"1.27 m", u"1.61 sq m", u"72.34 cu ft"},
      // 1.27 m / 0.3048 = 4.1667 ft = 4 ft 2 in, to a quarter inch.
      {"FeetAndInches", {u"ft'in\"", u"sq ft", u""}, u"4'-2\"", u"17.36 sq ft", u"2.05 cu m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CKW_MeasureDict m = OneToFifty(Make("<< >>"));
    ASSERT_TRUE(m->SetDisplayUnits(c.units));
    EXPECT_TRUE(m.IsValid()) << m->InvalidReason();
    EXPECT_EQ(m->GetRatioText(), u"10 cm = 5 m");
    EXPECT_EQ(m->GetPrecision(), 2);  // 1/4 inch for feet and inches
    const double base = 72 * m->GetFormat(kX, 0).factor;  // in the X array's unit
    EXPECT_EQ(m->FormatValue(kD, base), c.length);
    EXPECT_EQ(m->FormatValue(kA, base * base), c.area);
    EXPECT_EQ(m->FormatValue(kV, base * base * base), c.volume);
  }
  CKW_MeasureDict cm = OneToFifty(Make("<< >>"));
  ASSERT_TRUE(cm->SetDisplayUnits({u"cm", u"", u""}));
  EXPECT_EQ(cm->FormatValue(kD, 720 * cm->GetFormat(kX, 0).factor), u"1,270.00 cm");
  EXPECT_NEAR(72 * cm->GetFormat(kX, 0).factor, metres * 100, 1e-9);
}

TEST_F(MeasureDictTest, DisplayUnitsThatCannotBeShownChangeNothing) {
  for (const MeasureUnits& units : {MeasureUnits{u"furlong", u"", u""}, MeasureUnits{u"", u"sq furlong", u""},
                                    MeasureUnits{u"cm", u"", u"cu furlong"}}) {
    CKW_MeasureDict m = OneToFifty(Make("<< >>"));
    const std::string before = Write(m.GetDict());
    EXPECT_FALSE(m->SetDisplayUnits(units));
    EXPECT_EQ(Write(m.GetDict()), before);
  }
  CKW_MeasureDict geo = Make(Valid("/SubType /GEO"));
  const std::string before = Write(geo.GetDict());
  EXPECT_FALSE(geo->SetDisplayUnits({u"cm", u"", u""}));
  EXPECT_EQ(Write(geo.GetDict()), before);
  EXPECT_FALSE(CKW_MeasureDictImpl(nullptr).SetDisplayUnits({u"cm", u"", u""}));
}

// With a separate Y ratio in metres, x distances shown in centimetres need
// y distances in centimetres too: 72 points along y are 5 m = 500 cm.
TEST_F(MeasureDictTest, DisplayUnitsBringTheYScaleOverToTheNewUnit) {
  CKW_MeasureDict m = Make(
      "<< /R (in X 1 in = 10 ft, in Y 1 in = 5 m) /X [<< /U (ft) /D 100 >>] /Y [<< /U (m) /D 100 >>]"
      " /D [<< /U (ft) /D 100 >>] /A [<< /U (sq ft) /D 100 >>] >>");
  ASSERT_TRUE(m->Normalize());
  ASSERT_TRUE(m->SetDisplayUnits({u"cm", u"", u""}));
  const double x = 72 * m->GetFormat(kX, 0).factor;
  const double y = 72 * m->GetFormat(kY, 0).factor * m->GetCYX().value_or(1.0);
  EXPECT_NEAR(x, 10 * 30.48, 1e-9);  // 10 ft
  EXPECT_NEAR(y, 500, 1e-9);
}

TEST_F(MeasureDictTest, WriteToAnnotCopiesOnlyValidDictionaries) {
  KPD_Dictionary annot = Indirect("<< /Type /Annot /Subtype /Line >>");
  EXPECT_EQ(CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc_, false), nullptr);

  CKW_MeasureDict invalid = Make(Valid("/SubType /GEO"));
  EXPECT_FALSE(invalid->WriteToAnnot(annot, doc_));
  EXPECT_EQ(host::DictHasKey(annot, "/Measure"), 0);

  CKW_MeasureDict source = Make(Valid("/O [1 2] /CYX 2 /T [<< /U (deg) >>]"));
  ASSERT_TRUE(source->WriteToAnnot(annot, doc_));
  KPD_Dictionary target = CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc_, false);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(host::ObjectIsIndirect(host::DictGet(annot, "/Measure")), 1);
  CKW_MeasureDictImpl copy(target);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(copy.GetRatioText(), u"1 in = 10 ft");
  EXPECT_EQ(copy.GetCYX(), 2.0);
  ASSERT_TRUE(copy.GetOrigin().has_value());
  EXPECT_EQ(copy.GetOrigin()->y, 2.0f);
  EXPECT_EQ(copy.GetFormat(kT, 0).unit, u"deg");
  EXPECT_EQ(Write(host::DictGet(target, "/SubType")), "/RL");

  // Writing again over the same annotation drops what the source lacks.
  ASSERT_TRUE(Make(Valid())->WriteToAnnot(annot, doc_));
  EXPECT_EQ(CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc_, false), target);
  EXPECT_EQ(copy.GetCYX(), std::nullopt);
  EXPECT_EQ(copy.GetOrigin(), std::nullopt);
  EXPECT_EQ(copy.GetFormatCount(kT), 0);
}

// The annotation's "Measure" is set as given: an indirect dictionary stays
// shared (a page's scale), the same value again is not written again.
TEST_F(MeasureDictTest, SetForAnnotStoresOnlyDictionaries) {
  KPD_Dictionary annot = Indirect("<< /Type /Annot /Subtype /Line >>");
  Owned number(host::NumberNew(3));
  EXPECT_FALSE(CKW_MeasureDictImpl::SetForAnnot(annot, number.get()));
  EXPECT_FALSE(CKW_MeasureDictImpl::SetForAnnot(nullptr, Indirect(Valid())));
  EXPECT_EQ(host::DictHasKey(annot, "/Measure"), 0);

  KPD_Dictionary shared = Indirect(Valid());
  ASSERT_TRUE(CKW_MeasureDictImpl::SetForAnnot(annot, shared));
  EXPECT_EQ(host::ObjectIsIdentical(host::DictGet(annot, "/Measure"), shared), 1);
  Owned direct = Parse(Valid("/CYX 2"));
  ASSERT_TRUE(CKW_MeasureDictImpl::SetForAnnot(annot, direct.get()));
  KPD_Object stored = host::DictGet(annot, "/Measure");
  EXPECT_EQ(host::ObjectIsIndirect(stored), 0);
  EXPECT_EQ(CKW_MeasureDictImpl(stored).GetCYX(), 2.0);
  Owned again = Parse(Valid("/CYX 2"));
  ASSERT_TRUE(CKW_MeasureDictImpl::SetForAnnot(annot, again.get()));
  EXPECT_EQ(host::ObjectIsIdentical(host::DictGet(annot, "/Measure"), stored), 1);
}

TEST_F(MeasureDictTest, HugeArraysAndLabelsAreReadWhole) {
  CKW_MeasureDict m = Make(Valid());
  KPD_Array x = host::DictGet(m.GetDict(), "/X");
  Owned element = Parse("<< /U (in) /C 1 /D 1 >>");
  for (int i = 0; i < 100000; ++i) host::ArrayAppend(x, element.get());
  EXPECT_TRUE(m.IsValid());
  EXPECT_EQ(m->GetFormats(kX).size(), 100001u);

  std::string label(10000, 'u');
  CKW_MeasureDict longLabel = Make(Valid("", "[<< /U (" + label + ") >>]"));
  EXPECT_EQ(longLabel->FormatValue(kX, 1), u"1.00 " + std::u16string(label.begin(), label.end()) + u" ");
}

}  // namespace
}  // namespace kwannotation
