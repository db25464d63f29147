// Page scales set in sessions: calibrating on a page, the page-scale dialog
// from the measure panel, and what `annot measure info` then reads: the
// viewport's ratio and the measurements brought to it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "sdk/ks_host_binding.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

// A distance measurement of an inch of paper, measured at 1 in = 1 in.
constexpr char kDistance[] =
    "<< /Type /Annot /Subtype /Line /IT /LineDimension /Rect [100 90 172 110] /L [100 100 172 100] "
    "/MeasurementTypes 130 /Contents (1.00 in) /Measure << /Type /Measure /R (1 in = 1 in) /X [ << /U (in) /C "
    "0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq in) /C 1 /D 100 >> ] >> >>";

class PageScaleSession : public ::testing::Test {
 protected:
  void SetUp() override { ks::host::Bind(kshost::CoreHFT(), nullptr); }

  // Letter pages, the first with the distance measurement; `signedDoc`
  // adds a signed signature field.
  void MakeDoc(int pages, bool signedDoc = false) {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    for (int i = 0; i < pages; ++i) direct::DocAddPage(doc, &letter);
    KPD_Object annot = direct::ObjectParse(kDistance, sizeof(kDistance) - 1);
    direct::PageInsertAnnot(direct::DocGetPage(doc, 0), -1, annot);
    direct::ObjectRelease(annot);
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::DocClose(doc);
    if (signedDoc) {
      // Signed as an update of the saved file, which is how a signature
      // comes to a file.
      doc = direct::DocOpenFile(in_.c_str(), error);
      ASSERT_NE(doc, nullptr);
      const std::string form = "<< /Fields [ << /FT /Sig /T (Signature1) /V << /Type /Sig /Contents <00> >> >> ] >>";
      KPD_Object f = direct::ObjectParse(form.data(), form.size());
      direct::DictSet(direct::DocGetRoot(doc), "/AcroForm", f);
      direct::ObjectRelease(f);
      ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1)
          << std::string(direct::ByteStringData(error), direct::ByteStringLength(error));
      direct::DocClose(doc);
    }
    direct::ByteStringDestroy(error);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) + " --trace");
  }

  void Prefs(const std::string& text) {
    WritePreferences(dir_, text);
  }

  std::string Info() {
    CommandResult info = Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " " + Quote(AnnotPath()) +
                               " measure info " + Quote(out_));
    EXPECT_EQ(info.status, 0) << info.output;
    return info.output;
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(PageScaleSession, CalibratingAHundredPointsAsFiveMetresScalesThePageAndUndoTakesItBack) {
  MakeDoc(1);
  const std::string calibrate =
      "view 1\nanswer dialog ma_dlg_calibrate_tip.ui.kw ok\ntool CALIBRATION\n"
      "answer dialog ma_dlg_page_scale.ui.kw ok lineEditRightValue=5 comboBoxRightUnit=m\n"
      "click 100 300\nclick 200 300\n";
  CommandResult r = Run(calibrate + "save\n");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string info = Info();
  EXPECT_TRUE(Has(info, "ratio \"100 pt = 5 m\"")) << info;
  // An inch of paper at 100 pt = 5 m is 3.6 m.
  EXPECT_TRUE(Has(info, "contents \"3.60 m")) << info;

  MakeDoc(1);  // the session saved over its input
  r = Run(calibrate + "undo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  info = Info();
  EXPECT_FALSE(Has(info, "100 pt = 5 m")) << info;
  EXPECT_TRUE(Has(info, "contents \"1.00 in\"")) << info;
  CommandResult raw = Shell("grep -c '/VP' " + Quote(out_));
  EXPECT_EQ(raw.output.substr(0, 1), "0") << raw.output;
}

TEST_F(PageScaleSession, ThePanelsDialogAppliesAPresetToARangeOfPages) {
  MakeDoc(3);
  CommandResult r = Run(
      "view 1\n"
      "answer dialog ma_dlg_page_scale.ui.kw ok comboBoxPreset=1:50 comboBoxPages=2 lineEditPageRangeMac=1,3\n"
      "press Measure_Group_PageScale\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string info = Info();
  // Pages 1 and 3 get 10 cm = 5 m, page 2 stays without a scale.
  size_t first = info.find("ratio \"10 cm = 5 m\""), second = info.rfind("ratio \"10 cm = 5 m\"");
  ASSERT_NE(first, std::string::npos) << info;
  EXPECT_NE(first, second) << info;
  EXPECT_TRUE(Has(info, "contents \"1.27 m")) << info;
}

TEST_F(PageScaleSession, BadRangesAndSignedDocumentsChangeNothingAndSayWhy) {
  struct Case {
    bool signedDoc;
    const char* answer;
    const char* message;
  } cases[] = {
      {false, "comboBoxPages=2 lineEditPageRangeMac=5-2", "Invalid input"},
      {false, "comboBoxPages=2 lineEditPageRangeMac=1,,2", "Invalid input"},
      {false, "comboBoxPages=2 lineEditPageRangeMac=0", "does not exist"},
      {false, "comboBoxPages=2 lineEditPageRangeMac=99999999999", "does not exist"},
      {false, "comboBoxPages=2 lineEditPageRangeMac=", "valid page range"},
      {false, "radioButtonCustom=1 lineEditLeftValue=-1", "scale is not valid"},
      {true, "comboBoxPreset=1:50", "is signed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    MakeDoc(2, c.signedDoc);
    // Refused values open the dialog again, where the user gives up.
    CommandResult r = Run(std::string("view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok ") + c.answer +
                          "\nanswer dialog ma_dlg_page_scale.ui.kw cancel\npress Measure_Group_PageScale\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r.output, c.message)) << r.output;
    const std::string info = Info();
    EXPECT_FALSE(Has(info, "10 cm = 5 m")) << info;
    EXPECT_TRUE(Has(info, "contents \"1.00 in\"")) << info;
  }
}

// "AddPreset" (answer 3) appends the custom ratio to the user's preset file,
// the list then offers it, and delete (answer 4) takes it out again; a
// preset file that is not XML leaves the built-in presets.
TEST_F(PageScaleSession, CustomPresetsAreAddedUsedAndDeletedThroughTheFile) {
  MakeDoc(1);
  const std::string file = dir_ / "data/annot/measure/ScaleCustomPresets.xml";
  CommandResult r = Run(
      "view 1\n"
      "answer dialog ma_dlg_page_scale.ui.kw 3 radioButtonCustom=1 lineEditLeftValue=2 comboBoxLeftUnit=cm "
      "lineEditRightValue=3 comboBoxRightUnit=m\n"
      "answer dialog ma_dlg_page_scale.ui.kw cancel\npress Measure_Group_PageScale\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadFile(file),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CustomScales>\n  <Scale BaseValue=\"2\" BaseUnit=\"cm\" "
            "TargetValue=\"3\" TargetUnit=\"m\" />\n</CustomScales>\n");

  r = Run("view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok \"comboBoxPreset=2 cm = 3 m\"\n"
          "press Measure_Group_PageScale\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Has(Info(), "ratio \"2 cm = 3 m\"")) << r.output;

  r = Run("view 1\nanswer dialog ma_dlg_page_scale.ui.kw 4 comboBoxPreset=8\n"
          "answer dialog ma_dlg_page_scale.ui.kw cancel\npress Measure_Group_PageScale\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ReadFile(file).find("<Scale"), std::string::npos) << ReadFile(file);

  std::ofstream(file, std::ios::trunc) << "not xml <CustomScales";
  r = Run("view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok comboBoxPreset=1:50\n"
          "press Measure_Group_PageScale\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Has(Info(), "ratio \"10 cm = 5 m\""));
}

// Unless the user turned the calibration tips off, a measuring tool on a
// page without a scale asks for one first; cancelling the prompt measures
// nothing, and a script that gives the prompt no answer stops at the click
// that opened it.
TEST_F(PageScaleSession, TheScalePromptComesBeforeTheFirstMeasurementOfAnUnscaledPage) {
  for (bool answered : {true, false}) {
    SCOPED_TRACE(answered);
    MakeDoc(1);
    const std::string answer = answered ? "answer dialog ma_dlg_page_scale.ui.kw ok comboBoxPreset=1:50\n"
                                        : "answer dialog ma_dlg_page_scale.ui.kw cancel\n"
                                          "answer dialog ma_dlg_page_scale.ui.kw cancel\n";  // asked at each click
    CommandResult r = Run("view 1\n" + answer + "tool DISTANCE\nclick 100 400\nclick 172 400\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string info = Info();
    EXPECT_EQ(Has(info, "ratio \"10 cm = 5 m\" valid; length \"1.27 m"), answered) << info;
    EXPECT_EQ(Has(info, "1.1: LineDimension"), answered) << info;
  }

  MakeDoc(1);
  std::filesystem::remove(out_);
  CommandResult r = Run("view 1\ntool DISTANCE\nclick 100 400\nclick 172 400\nsave\n");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Has(r.output, "session.txt:3: dialog ma_dlg_page_scale.ui.kw opened without an answer")) << r.output;
  EXPECT_FALSE(Has(r.output, "undo: push")) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out_));
}

TEST_F(PageScaleSession, MeasureScaleSetsTheScaleOfTheListedPagesOrSaysWhyNot) {
  MakeDoc(2);
  const std::string command = AnnotIn(dir_) + " measure scale " + Quote(in_) +
                              " -o " + Quote(out_) + " --ratio \"1 in = 10 ft\"";
  CommandResult r = Shell(command + " --pages 1");
  ASSERT_EQ(r.status, 0) << r.output;
  std::string info = Info();
  EXPECT_TRUE(Has(info, "page 1: 1 viewport")) << info;
  EXPECT_TRUE(Has(info, "ratio \"1 in = 10 ft\" valid; length \"10.00 ft")) << info;
  EXPECT_TRUE(Has(info, "page 2: viewports: none")) << info;

  std::filesystem::remove(out_);
  r = Shell(command + " --pages 1,,2");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Has(r.output, "Invalid input")) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out_));
  r = Shell(Quote(AnnotPath()) + " measure scale " + Quote(in_) + " --ratio \"1 in to 10 ft\"");
  EXPECT_EQ(r.status, 2) << r.output;
}

// A ratio so large that the values on the page no longer fit the number
// formats is refused wherever it is given, and nothing changes: the
// command, the page-scale dialog and the calibration.
TEST_F(PageScaleSession, AScaleUnderWhichValuesCannotBeShownIsRefusedAndChangesNothing) {
  const std::string huge = "100000000000000";  // metres to the point
  MakeDoc(1);
  const std::string env = "XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " XDG_DATA_HOME=" + Quote(dir_ / "data") + " ";
  CommandResult r = Shell(env + Quote(AnnotPath()) + " measure scale " + Quote(in_) + " -o " + Quote(out_) +
                          " --ratio \"1 pt = " + huge + " m\"");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Has(r.output, "too large to show")) << r.output;
  EXPECT_TRUE(Has(r.output, "(nothing was changed)")) << r.output;
  EXPECT_FALSE(std::filesystem::exists(out_));

  const std::string sessions[] = {
      "view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 lineEditLeftValue=1 "
      "comboBoxLeftUnit=pt lineEditRightValue=" + huge + " comboBoxRightUnit=m\n"
      "answer dialog ma_dlg_page_scale.ui.kw cancel\npress Measure_Group_PageScale\nsave\n",
      "view 1\nanswer dialog ma_dlg_calibrate_tip.ui.kw ok\ntool CALIBRATION\n"
      "answer dialog ma_dlg_page_scale.ui.kw ok lineEditRightValue=" + huge +
          " comboBoxRightUnit=m\nanswer dialog ma_dlg_page_scale.ui.kw cancel\nclick 100 300\nclick 200 300\nsave\n",
  };
  for (const std::string& session : sessions) {
    SCOPED_TRACE(session);
    MakeDoc(1);
    r = Run(session);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r.output, "message: Scale: At this scale the measurements would be too large to show.")) << r.output;
    EXPECT_FALSE(Has(r.output, "undo: push")) << r.output;
    const std::string info = Info();
    EXPECT_TRUE(Has(info, "page 1: viewports: none")) << info;
    EXPECT_TRUE(Has(info, "contents \"1.00 in\"")) << info;
  }
}

// The limit is the page itself: its area, in the square of the real unit,
// times the precision's denominator must stay below 2^53, the largest
// whole number a value is shown exactly with.
TEST_F(PageScaleSession, TheLargestScaleAcceptedIsTheOneThatStillShowsThePagesArea) {
  const std::string command = AnnotIn(dir_) + " measure scale " + Quote(in_) +
                              " -o " + Quote(out_);
  for (int precision : {0, 2}) {
    const double limit = std::sqrt(9007199254740992.0 / (612.0 * 792.0 * std::pow(10.0, precision)));
    for (double share : {0.99, 1.01}) {
      SCOPED_TRACE(std::to_string(precision) + " " + std::to_string(share));
      MakeDoc(1);
      std::filesystem::remove(out_);
      const long long metres = std::llround(limit * share);
      CommandResult r = Shell(command + " --precision " + std::to_string(precision) + " --ratio \"1 pt = " +
                              std::to_string(metres) + " m\"");
      EXPECT_EQ(r.status, share < 1 ? 0 : 1) << r.output;
      EXPECT_EQ(std::filesystem::exists(out_), share < 1);
    }
  }
}

// Ratios as architects and engineers write them, given to the command or
// typed into the dialog's custom fields. The page's inch-long distance is
// then 2.54 cm times 100 = 2.54 m at 1:100, and 8 ft at an eighth of an
// inch to the foot.
TEST_F(PageScaleSession, RatiosWithFractionsFeetAndInchesOrAColonAreAccepted) {
  const std::string command = AnnotIn(dir_) + " measure scale " + Quote(in_) +
                              " -o " + Quote(out_) + " --ratio ";
  struct Case {
    const char* ratio;
    const char* stored;
    const char* contents;
  } cases[] = {
      {"'1:100'", "1 cm = 1 m", "2.54 m"},
      {"'1 : 100'", "1 cm = 1 m", "2.54 m"},
      {"'1:250'", "1 cm = 2.5 m", "6.35 m"},
      {"'1/8 in = 1 ft'", "0.125 in = 1 ft", "8.00 ft"},
      {"'1/8\" = 1'\\''-0\"'", "0.125 in = 1 ft'in\\\"", "8'-0\\\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ratio);
    MakeDoc(1);
    std::filesystem::remove(out_);
    CommandResult r = Shell(command + c.ratio);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string info = Info();
    EXPECT_TRUE(Has(info, std::string("ratio \"") + c.stored + "\" valid")) << info;
    EXPECT_TRUE(Has(info, std::string("contents \"") + c.contents + "\"")) << info;
  }
  MakeDoc(1);
  CommandResult r = Run(
      "view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 \"lineEditLeftValue=1/8\\\"\" "
      "\"lineEditRightValue=1'-0\\\"\" comboBoxRightUnit=m\npress Measure_Group_PageScale\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string info = Info();
  EXPECT_TRUE(Has(info, "ratio \"0.125 in = 1 ft'in\\\"\" valid")) << info;
  EXPECT_TRUE(Has(info, "contents \"8'-0\\\"\"")) << info;
}

// The calibration tip comes with the tool until its check box turns it
// off for later sessions.
TEST_F(PageScaleSession, TheCalibrationTipIsOfferedUntilTheUserTurnsItOff) {
  MakeDoc(1);
  CommandResult r = Run("answer dialog ma_dlg_calibrate_tip.ui.kw ok checkBoxDontShow=1\ntool CALIBRATION\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Has(r.output, "tip: To calibrate, click two points")) << r.output;
  r = Run("tool CALIBRATION\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(Has(r.output, "tip:")) << r.output;
}

}  // namespace
