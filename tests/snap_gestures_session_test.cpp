// Snapping in every gesture that offers it, through sessions on a page with
// a known drawing: calibration's clicks and moves, Shift, dragging an
// annotation with the Hand tool, and a crossing under the pointer against
// a farther end point.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "sdk/ks_host_binding.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

// Preferences outlive a run; every script starts with the modes off.
const char kAllOff[] = "snap end off\nsnap mid off\nsnap inter off\nsnap near off\n";

// A 400 pt line from (100, 300) to (500, 300).
const char kLine[] = "1 w 100 300 m 500 300 l S";

class SnapGestures : public ::testing::Test {
 protected:
  // The pages are unscaled: the tools measure in points without asking.
  void SetUp() override {
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    WritePreferences(dir_, "[Measurement]\nShowCalibrateTip=0\n");
  }

  // A letter page that draws `content`.
  void MakeDoc(const std::string& content) {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    direct::DocAddPage(doc, &letter);
    KPD_Stream stream = direct::DocNewStream(doc, content.data(), content.size());
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(direct::DictSet(reinterpret_cast<KPD_Dictionary>(direct::DocGetPage(doc, 0)), "/Contents",
                          reinterpret_cast<KPD_Object>(stream)),
              1);
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", kAllOff + script);
    return Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " XDG_DATA_HOME=" + Quote(dir_ / "data") + " " +
                 Quote(AnnotPath()) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) +
                 " --trace");
  }

  std::string Info() {
    CommandResult info = Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " " + Quote(AnnotPath()) +
                               " measure info " + Quote(out_));
    EXPECT_EQ(info.status, 0) << info.output;
    return info.output;
  }

  // The numbers of `key` of the one annotation the session left.
  std::vector<double> Saved(const char* key = "/L") {
    KS_ByteString text = direct::ByteStringNew(nullptr, 0);
    KPD_Document doc = direct::DocOpenFile(out_.c_str(), text);
    std::string line;
    KPD_Page page = doc ? direct::DocGetPage(doc, 0) : nullptr;
    if (page && direct::PageAnnotCount(page) == 1 && direct::ObjectWrite(direct::DictGet(direct::PageGetAnnot(page, 0), key), text))
      line = std::string(direct::ByteStringData(text), direct::ByteStringLength(text));
    direct::ByteStringDestroy(text);
    if (doc) direct::DocClose(doc);
    for (char& c : line)
      if (c == '[' || c == ']') c = ' ';
    std::vector<double> numbers;
    std::istringstream in(line);
    for (double v; in >> v;) numbers.push_back(v);
    return numbers;
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

void ExpectPoints(const std::vector<double>& got, const std::vector<double>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-3) << what << " [" << i << "]";
}

const char kCalibrateTenMetres[] =
    "view 1\ntool CALIBRATION\nanswer dialog ma_dlg_page_scale.ui.kw ok lineEditRightValue=10 comboBoxRightUnit=m\n";

TEST_F(SnapGestures, CalibrationSnapsBothClicksAndItsMoves) {
  MakeDoc(kLine);
  // Clicks a few points off both ends of the line.
  CommandResult r = Run(std::string("snap end on\n") + kCalibrateTenMetres +
                        "move 103 302\nclick 103 302\nmove 497 299\nclick 497 299\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Has(Info(), "ratio \"400 pt = 10 m\"")) << Info();
  // The first end on the move and the click, the second end likewise.
  EXPECT_EQ(Count(r.output, "snap: end 100 300"), 2u) << r.output;
  EXPECT_EQ(Count(r.output, "snap: end 500 300"), 2u) << r.output;
  // The rubber band follows the snapped end: device y is 792 - 300.
  EXPECT_TRUE(Has(r.output, "draw: line 100 492 500 492")) << r.output;

  // A point on the line is no feature to calibrate against: with only the
  // nearest-point mode on, both clicks stay where they were.
  r = Run(std::string("snap near on\n") + kCalibrateTenMetres + "click 103 302\nclick 497 299\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const double clicked = std::hypot(497.0 - 103.0, 299.0 - 302.0);
  char expected[64];
  std::snprintf(expected, sizeof expected, "ratio \"%.3f", clicked);
  EXPECT_TRUE(Has(Info(), expected)) << expected << "\n" << Info();
}

TEST_F(SnapGestures, ShiftTurnsSnappingOffAndConstrainsInstead) {
  MakeDoc(kLine);
  // From the line's start towards a point 3 pt off its end: with Shift the
  // end goes onto the horizontal at the clicked distance, not onto the end.
  const double r45 = std::hypot(497.0 - 100.0, 303.0 - 300.0);
  CommandResult r = Run("snap end on\nview 1\ntool DISTANCE\nclick 100 300\nmove 497 303 shift\n"
                        "click 497 303 shift\nexpect annots 1 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectPoints(Saved(), {100, 300, 100 + r45, 300}, "distance");
  EXPECT_FALSE(Has(r.output, "snap: end 500 300")) << r.output;

  r = Run(std::string("snap end on\n") + kCalibrateTenMetres + "click 100 300\nmove 497 303 shift\n" +
          "click 497 303 shift\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(Has(r.output, "snap: end 500 300")) << r.output;
  char expected[64];
  std::snprintf(expected, sizeof expected, "ratio \"%.3f", r45);
  EXPECT_TRUE(Has(Info(), expected)) << expected << "\n" << Info();

  // Shift on the first click too: it stays where it was clicked.
  r = Run("snap end on\nview 1\ntool DISTANCE\nclick 103 302 shift\nclick 300 500\nexpect annots 1 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectPoints(Saved(), {103, 302, 300, 500}, "first click");
}

const char kDrag[] =
    "snap end on\nview 1\ntool DISTANCE\nclick 150 400\nclick 350 400\ntool Hand\ndrag 250 400 203 302\n";

TEST_F(SnapGestures, ADraggedMeasurementLandsWithItsNearestEndOnTheSnap) {
  // A distance from (150, 400) to (350, 400), dragged by (-47, -98): its
  // ends come to (103, 302), 3.6 pt from the line's end (100, 300), and to
  // (303, 302). A second line ending at (300, 303) is 3.2 pt from the
  // latter, which then wins.
  struct Case {
    const char* name;
    std::string content;
    std::vector<double> line;
  } cases[] = {
      {"the start lands on the line's end", kLine, {100, 300, 300, 300}},
      {"the nearer of two snaps wins", std::string(kLine) + " 300 303 m 300 350 l S", {100, 303, 300, 303}},
  };
  for (const Case& c : cases) {
    MakeDoc(c.content);
    const CommandResult r = Run(std::string(kDrag) + "expect annots 1 1\n");
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
    ExpectPoints(Saved(), c.line, c.name);
  }
  // One undo step takes the snapped move back.
  const CommandResult r = Run(std::string(kDrag) + "undo\nexpect annots 1 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectPoints(Saved(), {150, 400, 350, 400}, "undone");
}

TEST_F(SnapGestures, ADraggedVertexLandsOnTheSnap) {
  // The first vertex of each measurement is dragged from (150, 400) to
  // (103, 302), 3.6 pt from the line's end (100, 300).
  struct Case {
    const char* name;
    const char* draw;
    const char* key;
    std::vector<double> points;
  } cases[] = {
      {"a distance's end", "tool DISTANCE\nclick 150 400\nclick 350 400\n", "/L", {100, 300, 350, 400}},
      {"a perimeter's vertex", "tool Perimeter\nclick 150 400\nclick 250 450\ndblclick 350 400\n", "/Vertices",
       {100, 300, 250, 450, 350, 400}},
      {"an area's vertex", "tool Area\nclick 150 400\nclick 250 450\ndblclick 350 400\n", "/Vertices",
       {100, 300, 250, 450, 350, 400}},
  };
  MakeDoc(kLine);
  for (const Case& c : cases) {
    const CommandResult r = Run(std::string("snap end on\nview 1\n") + c.draw +
                                "tool Hand\nclick 250 420\ndrag 150 400 103 302\nexpect annots 1 1\n");
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
    ExpectPoints(Saved(c.key), c.points, c.name);
  }
}

TEST_F(SnapGestures, ACrossingUnderThePointerBeatsAFartherEndPoint) {
  // Two walls crossing at (100.3, 100), their ends far off, and a
  // dimension tick whose end is (100, 101.5): 0.3 against 1.5 pt from a
  // click at (100, 100).
  MakeDoc("90 100 m 500 100 l S 100.3 90 m 100.3 500 l S 100 101.5 m 96 105 l S");
  const CommandResult r =
      Run("snap end on\nsnap inter on\nview 1\ntool DISTANCE\nclick 100 100\nclick 400 300\nexpect annots 1 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectPoints(Saved(), {100.3, 100, 400, 300}, "distance");
}

}  // namespace
