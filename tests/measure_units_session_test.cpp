// The units measurements are shown in, through sessions: a tool's own
// length, area, volume and depth units over the scale of the page, one
// unit system on a page without a scale, and a unit picked for a
// measurement kept when the page gets a new scale. Every expected value is
// worked out here from the figure and the scale.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "sdk/ks_host_binding.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

constexpr double kPi = 3.14159265358979323846;
constexpr double kMmPerPoint = 25.4 / 72;
// The sample plan is drawn at 1:50: a page point is this many metres.
constexpr double kPlanMetresPerPoint = kMmPerPoint * 50 / 1000;
constexpr double kMetresPerFoot = 0.3048;
constexpr double kMetresPerYard = 0.9144;

// `value` with two decimals and a comma between thousands: 1200 -> "1,200.00".
std::string Grouped(double value) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.2f", value);
  std::string text = digits;
  const size_t point = text.find('.');
  for (size_t at = point; at > 3 && text[at - 4] != '-'; at -= 3) text.insert(at - 3, ",");
  return text;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The south wall along the plan's own dimension line, its ends snapped: 12 m.
constexpr char kWall[] = "snap end on\ntool DISTANCE\nclick 80 56\nclick 760.31 56\nsnap end off\n";
// The bath's floor between the inner faces of its walls, corners snapped:
// 7.94 - 5.06 = 2.88 m by 7.7 - 5.12 = 2.58 m.
constexpr char kBath[] =
    "snap end on\ntool VOLUME\nclick 366.87 380.27\nclick 530.14 380.27\nclick 530.14 526.54\n"
    "dblclick 366.87 526.54\nsnap end off\n";
constexpr double kBathArea = 2.88 * 2.58;
// A square of 144 points (two paper inches) a side, or the path along three
// of its sides; at zoom 4 every click is a whole device pixel.
std::string Square(const char* tool) {
  return std::string("tool ") + tool + "\nclick 100 100\nclick 244 100\nclick 244 244\ndblclick 100 244\n";
}
constexpr double kSquareSide = 144;

class MeasureUnitsSession : public ::testing::Test {
 protected:
  void SetUp() override { ks::host::Bind(kshost::CoreHFT(), nullptr); }

  void Plan() {
    CommandResult r = Shell(Quote(AnnotPath()) + " sample floorplan -o " + Quote(in_));
    ASSERT_EQ(r.status, 0) << r.output;
  }

  void BlankPage() {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    direct::DocAddPage(doc, &letter);
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  void Prefs(const std::string& text) {
    WritePreferences(dir_, text);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) + " --trace");
  }

  // `annot measure info` of a file: one line per measurement.
  std::string Info(const std::string& path) {
    CommandResult r = Shell(Quote(AnnotPath()) + " measure info " + Quote(path));
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
  }

  // The contents of each measurement of a file, in page order.
  std::vector<std::string> Contents(const std::string& path) {
    std::vector<std::string> out;
    const std::string info = Info(path);
    for (size_t at = 0; (at = info.find("; contents \"", at)) != std::string::npos;) {
      std::string text;  // quoted, a backslash before a quote or a backslash
      for (at += 12; at < info.size() && info[at] != '"'; ++at) text += info[at] == '\\' ? info[++at] : info[at];
      out.push_back(text);
    }
    return out;
  }

  // The unit of the distances of a file's page scale (viewport 0).
  std::string PageScaleUnit(const std::string& path) {
    std::string unit;
    KS_ByteString b = direct::ByteStringNew(nullptr, 0);
    if (KPD_Document doc = direct::DocOpenFile(path.c_str(), b)) {
      KPD_Object vp = direct::DictGet(direct::DocGetPage(doc, 0), "/VP");
      KPD_Object measure = vp ? direct::DictGet(direct::ArrayGet(vp, 0), "/Measure") : nullptr;
      KPD_Object d = measure ? direct::DictGet(measure, "/D") : nullptr;
      KPD_Object u = d ? direct::DictGet(direct::ArrayGet(d, 0), "/U") : nullptr;
      if (u && direct::StringGetBytes(u, b)) unit.assign(direct::ByteStringData(b), direct::ByteStringLength(b));
      direct::DocClose(doc);
    }
    direct::ByteStringDestroy(b);
    return unit;
  }

  // The unit of the depth of a file's first measurement.
  std::string DepthUnit(const std::string& path) {
    std::string unit;
    KS_ByteString b = direct::ByteStringNew(nullptr, 0);
    if (KPD_Document doc = direct::DocOpenFile(path.c_str(), b)) {
      KPD_Object du = direct::DictGet(direct::PageGetAnnot(direct::DocGetPage(doc, 0), 0), "/DepthUnit");
      KPD_Object u = du ? direct::DictGet(direct::ArrayGet(du, 0), "/U") : nullptr;
      if (u && direct::StringGetBytes(u, b)) unit.assign(direct::ByteStringData(b), direct::ByteStringLength(b));
      direct::DocClose(doc);
    }
    direct::ByteStringDestroy(b);
    return unit;
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// A unit a tool's settings name is the unit its measurements are shown in,
// at the page's ratio; a tool without one shows the page scale's unit, and
// the page's scale itself is left as it was.
TEST_F(MeasureUnitsSession, ToolUnitsConvertThePageScale) {
  const double side = kSquareSide * kPlanMetresPerPoint;  // 2.54 m
  const struct {
    const char* name;
    const char* prefs;
    std::string script;
    std::vector<std::string> contents;
  } cases[] = {
      {"no units set", "", kWall + Square("Area"), {Grouped(12) + " m", Grouped(side * side) + " sq m"}},
      {"centimetres for the distance alone", "[Measurement\\Distance]\nLengthUnit=cm\n",
       kWall + Square("Perimeter"), {Grouped(12 * 100) + " cm", Grouped(3 * side) + " m"}},
      {"square yards", "[Measurement\\AreaOfPolygon]\nAreaUnit=sq yd\n", Square("Area"),
       {Grouped(side * side / (kMetresPerYard * kMetresPerYard)) + " sq yd"}},
      // One metre deep unless set.
      {"cubic feet", "[Measurement\\Volume]\nVolumeUnit=cu ft\n", Square("VOLUME"),
       {Grouped(side * side / std::pow(kMetresPerFoot, 3)) + " cu ft"}},
      {"feet and inches", "[Measurement\\Distance]\nLengthUnit=ft'in\"\n", kWall, {"39'-4 1/2\""}},
      // A unit no table knows leaves the scale's.
      {"an unknown unit", "[Measurement\\Distance]\nLengthUnit=furlong\n", kWall, {Grouped(12) + " m"}},
  };
  // 12 m are 39 ft 4.44 in, which is 4 2/4 in to a quarter inch.
  ASSERT_EQ(std::floor(12 / kMetresPerFoot), 39);
  ASSERT_EQ(std::round((12 / kMetresPerFoot - 39) * 12 * 4), 18);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Plan();
    Prefs(c.prefs);
    CommandResult r = Run("view 1 zoom 4\n" + c.script + "save\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Contents(out_), c.contents);
    EXPECT_EQ(PageScaleUnit(out_), "m");  // the page's own scale is as it was
  }
}

// On a page in feet a tool's square yards still apply: two paper inches at
// 1 in = 10 ft are 20 ft, 400 sq ft, 44.44 sq yd.
TEST_F(MeasureUnitsSession, ToolAreaUnitAppliesOnAPageInFeet) {
  Plan();
  Prefs("[Measurement\\AreaOfPolygon]\nAreaUnit=sq yd\n");
  CommandResult r = Run(
      "view 1 zoom 4\nanswer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 lineEditLeftValue=1 "
      "comboBoxLeftUnit=in lineEditRightValue=10 comboBoxRightUnit=ft\npress Measure_Group_PageScale\n" +
      Square("Area") + Square("Perimeter") + "save\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const double feet = kSquareSide / 72 * 10;
  const std::vector<std::string> contents = Contents(out_);
  ASSERT_EQ(contents.size(), 2u) << Info(out_);
  EXPECT_EQ(contents[0], Grouped(feet * feet / 9) + " sq yd");
  EXPECT_EQ(contents[1], Grouped(3 * feet) + " ft");  // the path along three sides in the page's unit
}

// The depth is read in its own unit: 50 cm under the bath's 7.43 sq m are
// 3.72 cu m, 2 ft are 0.6096 m.
TEST_F(MeasureUnitsSession, VolumeToolTakesItsDepthInTheDepthUnit) {
  const struct {
    const char* prefs;
    double metres;
    const char* unit;
  } cases[] = {
      {"Depth=50\nDepthUnit=cm\n", 0.5, "cm"},
      {"Depth=2\nDepthUnit=ft\n", 2 * kMetresPerFoot, "ft"},
      {"Depth=1.5\n", 1.5, "m"},  // in the scale's unit, which the measurement then names
      // Still in the scale's unit when the tool shows its values in others.
      {"Depth=1.5\nLengthUnit=cm\n", 1.5, "m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefs);
    Plan();
    Prefs(std::string("[Measurement\\Volume]\n") + c.prefs);
    CommandResult r = Run(std::string("view 1 zoom 4\n") + kBath + "save\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Contents(out_), std::vector<std::string>{Grouped(kBathArea * c.metres) + " cu m"});
    const std::string info = Info(out_);
    // The depth is shown in the tool's length unit.
    const bool cm = Has(c.prefs, "LengthUnit=cm");
    const std::string depth = cm ? Grouped(c.metres * 100) + " cm" : Grouped(c.metres) + " m";
    EXPECT_TRUE(Has(info, "depth \"" + depth + "\"")) << info;
    EXPECT_TRUE(Has(r.output, "panel label_depth = " + depth + "\n")) << r.output;
    EXPECT_EQ(DepthUnit(out_), c.unit);
  }
}

// Without a scale every value is in points: lengths in pt, areas in sq pt,
// volumes in cu pt (one point deep).
TEST_F(MeasureUnitsSession, AnUnscaledPageMeasuresInPointsThroughout) {
  BlankPage();
  Prefs("[Measurement]\nShowCalibrateTip=0\n");  // no scale prompt
  CommandResult r = Run(
      "tool Area\nclick 100 100\nclick 300 100\nclick 300 300\ndblclick 100 300\n"
      "tool CircleArea\ndrag 350 100 550 300\n"
      "tool VOLUME\nclick 100 400\nclick 300 400\nclick 300 600\ndblclick 100 600\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Contents(out_), (std::vector<std::string>{Grouped(200 * 200) + " sq pt",
                                                      Grouped(kPi * 100 * 100) + " sq pt",
                                                      Grouped(200 * 200 * 1) + " cu pt"}));
  const std::string info = Info(out_);
  EXPECT_TRUE(Has(info, "perimeter \"" + Grouped(800) + " pt\"")) << info;
  EXPECT_TRUE(Has(info, "diameter \"" + Grouped(200) + " pt\"")) << info;
}

// A unit picked for a measurement in the Format tab stays when the page
// gets a new scale, converted; a measurement in the page scale's own unit
// follows the new one. 672 points are 9 1/3 paper inches.
TEST_F(MeasureUnitsSession, ANewPageScaleKeepsAUnitPickedForAMeasurement) {
  Plan();
  Prefs("");
  const std::string before = dir_ / "before.pdf", fiftieth = dir_ / "fiftieth.pdf";
  const std::string hundredth = dir_ / "hundredth.pdf", feet = dir_ / "feet.pdf";
  CommandResult r = Run(std::string("view 1 zoom 4\n") + kWall +
                        "tool DISTANCE\nclick 100 20\nclick 772 20\n"
                        "tool Hand\nclick 400 20\npress Measure_Prop_Unit_7\nsave " + fiftieth + "\n" +
                        "answer dialog ma_dlg_page_scale.ui.kw ok comboBoxPreset=1:100\npress Measure_Group_PageScale\n"
                        "save " + hundredth + "\n"
                        "answer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 lineEditLeftValue=1 "
                        "comboBoxLeftUnit=in lineEditRightValue=10 comboBoxRightUnit=ft\n"
                        "press Measure_Group_PageScale\nsave " + feet + "\nundo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const double wallPoints = 12 / kPlanMetresPerPoint, paperInches = 672.0 / 72;
  // At 1:50 the second distance is shown in centimetres.
  EXPECT_EQ(Contents(fiftieth),
            (std::vector<std::string>{Grouped(12) + " m", Grouped(paperInches * 25.4 * 50 / 10) + " cm"}));
  // At 1:100 both are twice as long, the second still in centimetres.
  const std::vector<std::string> atHundredth{Grouped(24) + " m", Grouped(paperInches * 25.4 * 100 / 10) + " cm"};
  EXPECT_EQ(Contents(hundredth), atHundredth);
  // At 1 in = 10 ft the wall follows the page into feet; the second stays
  // in centimetres: 120 real inches a paper inch.
  EXPECT_EQ(Contents(feet), (std::vector<std::string>{Grouped(wallPoints / 72 * 10) + " ft",
                                                      Grouped(paperInches * 120 * 2.54) + " cm"}));
  EXPECT_EQ(Contents(out_), atHundredth);
}

}  // namespace

// The Format tab's depth: for the volume tool it is the depth of the next
// volumes; for a selected volume a change is one undo step that re-derives
// its value. A depth that cannot be used keeps the dialog open and changes
// nothing.
TEST_F(MeasureUnitsSession, TheFormatTabSetsTheDepthOfTheToolAndOfASelectedVolume) {
  Plan();
  Prefs("");
  const std::string changed = dir_ / "changed.pdf";
  CommandResult r = Run(
      "view 1 zoom 4\ntool VOLUME\n"
      "answer dialog ma_dlg_depth.ui.kw ok \"lineEditDepth=2'-6\\\"\" comboBoxDepthUnit=m\npress Measure_Prop_Depth\n" +
      std::string(kBath) + "tool Hand\nclick 450 450\n" +
      "answer dialog ma_dlg_depth.ui.kw ok lineEditDepth=0 comboBoxDepthUnit=cm\nanswer message ok\n"
      "answer dialog ma_dlg_depth.ui.kw ok lineEditDepth=50 comboBoxDepthUnit=cm\npress Measure_Prop_Depth\n"
      "save " + changed + "\nundo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  // The tool's depth is kept for its next measurements; feet and inches
  // typed bring their unit.
  std::ifstream file(dir_ / "config/annot/preferences.ini");
  const std::string prefs((std::istreambuf_iterator<char>(file)), {});
  EXPECT_TRUE(Has(prefs, "Depth=2.5\nDepthUnit=ft\n")) << prefs;
  EXPECT_TRUE(Has(r.output, "message: Depth: Type a depth greater than 0")) << r.output;
  EXPECT_EQ(Contents(changed), std::vector<std::string>{Grouped(kBathArea * 0.5) + " cu m"});
  EXPECT_TRUE(Has(Info(changed), "depth \"" + Grouped(0.5) + " m\""));
  // One step for the change, and undo takes it back to 2.5 ft.
  size_t steps = 0;
  for (size_t at = 0; (at = r.output.find("undo: push \"Change", at)) != std::string::npos; ++at) ++steps;
  EXPECT_EQ(steps, 1u) << r.output;
  EXPECT_EQ(Contents(out_), std::vector<std::string>{Grouped(kBathArea * 2.5 * kMetresPerFoot) + " cu m"});
}

// A volume written without a depth unit (by another program, or before
// depths named theirs) has its depth in the unit of its scale: 2 m under a
// square metre. When its values go over to feet, the depth stays 2 m.
TEST_F(MeasureUnitsSession, ADepthWithoutAUnitKeepsItsLengthWhenTheUnitsChange) {
  // One paper inch (72 points) is a metre.
  const std::string metres =
      "<< /Type /Measure /R (1 in = 1 m) /X [<< /U (m) /C 0.0138889 /D 100 >>] /D [<< /U (m) /C 1 /D 100 >>] "
      "/A [<< /U (sq m) /C 1 /D 100 >>] /V [<< /U (cu m) /C 1 /D 100 >>] >>";
  const std::string volume = "<< /Type /Annot /Subtype /Polygon /IT /PolygonVolume /NM (vol1) /Rect [99 99 173 173] "
                             "/Vertices [100 100 172 100 172 172 100 172] /MeasurementTypes 132 /Depth 2 "
                             "/Contents (2.00 cu m) /Measure " + metres + " >>";
  const std::string viewport = "[ << /Type /Viewport /BBox [0 0 612 792] /Measure " + metres + " >> ]";
  const double cubicMetresInFeet = 1 / std::pow(kMetresPerFoot, 3);
  const struct {
    const char* name;
    const char* script;
    std::string contents;
  } cases[] = {
      {"the Format tab's unit", "tool Hand\nselect vol1\npress Measure_Prop_Unit_1\n",
       Grouped(1 * 1 * 2 * cubicMetresInFeet) + " cu ft"},
      // 1 in = 10 ft: the square is 10 ft a side, the depth 2 m.
      {"a page scale in feet",
       "answer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 lineEditLeftValue=1 comboBoxLeftUnit=in "
       "lineEditRightValue=10 comboBoxRightUnit=ft\npress Measure_Group_PageScale\n",
       Grouped(10 * 10 * 2 / kMetresPerFoot) + " cu ft"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    KPD_Page page = direct::DocAddPage(doc, &letter);
    for (const auto& [key, text] : {std::pair{"/VP", viewport}, std::pair{"", volume}}) {
      KPD_Object object = direct::ObjectParse(text.data(), text.size());
      if (*key) direct::DictSet(page, key, object);
      else direct::PageInsertAnnot(page, -1, object);
      direct::ObjectRelease(object);
    }
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
    Prefs("");
    CommandResult r = Run(std::string("view 1\n") + c.script + "save\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Contents(out_), std::vector<std::string>{c.contents});
    EXPECT_EQ(DepthUnit(out_), "m");
  }
}
