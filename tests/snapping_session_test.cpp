// Object snapping driven through sessions on the sample floor plan: clicks
// of a measuring tool near the plan's walls land on their corners and
// crossings with the modes on, and where they were clicked with them off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "host/host_functions.h"
#include "host/snap_geometry.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

// Preferences outlive a run; every script starts with the modes off.
const char kAllOff[] = "snap end off\nsnap mid off\nsnap inter off\nsnap near off\n";

class SnappingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Shell(Quote(AnnotPath()) + " sample floorplan -o " + Quote(in_)).status, 0);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " XDG_DATA_HOME=" + Quote(dir_ / "data") + " " +
                 Quote(AnnotPath()) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) +
                 " --trace");
  }

  // The numbers of an array of the one annotation the session drew.
  std::string SavedNumbers(const char* key = "/L") {
    KS_ByteString text = direct::ByteStringNew(nullptr, 0);
    KPD_Document doc = direct::DocOpenFile(out_.c_str(), text);
    std::string line = "<none>";
    KPD_Page page = doc ? direct::DocGetPage(doc, 0) : nullptr;
    if (page && direct::PageAnnotCount(page) == 1 && direct::ObjectWrite(direct::DictGet(direct::PageGetAnnot(page, 0), key), text))
      line = std::string(direct::ByteStringData(text), direct::ByteStringLength(text));
    direct::ByteStringDestroy(text);
    if (doc) direct::DocClose(doc);
    // "[80 90 300 300]" as "80 90 300 300".
    line.erase(0, line.find_first_not_of("[ "));
    line.erase(line.find_last_not_of("] ") + 1);
    return line;
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// The outer walls' corner at the plan's origin is (80, 90); the bottom wall's
// inner face (y 107.008) crosses the left wall's (x 97.008) inside the wall.
struct SnapCase {
  const char* name;
  const char* setup;  // snap and view lines
  const char* click;  // the first click, near a wall
  const char* trace;  // the snap line expected, empty for none
  const char* line;   // the saved /L
};

TEST_F(SnappingSession, ClicksLandOnTheWallsFeatures) {
  const SnapCase cases[] = {
      {"end point 3 px from the corner", "snap end on\n", "click 83 90", "snap: end 80 90", "80 90 300 300"},
      {"snapping off: the raw point", "", "click 83 90", "", "83 90 300 300"},
      {"end switched off again", "snap end on\nsnap end off\n", "click 83 90", "", "83 90 300 300"},
      {"crossing of two walls", "snap inter on\n", "click 99 109", "snap: inter 97.008 107.008",
       "97.008 107.008 300 300"},
      {"end point beats the nearer edge", "snap end on\nsnap near on\n", "click 83 91", "snap: end 80 90",
       "80 90 300 300"},
      {"nearest point on an edge", "snap near on\n", "click 83 91", "snap: near 83 90", "83 90 300 300"},
      {"zoomed: 3 device px are 1.5 pt", "view 1 zoom 2\nsnap end on\n", "click 81.5 90", "snap: end 80 90",
       "80 90 300 300"},
      {"zoomed: 5 pt are 10 px, out of reach", "view 1 zoom 2\nsnap end on\n", "click 85 90", "",
       "85 90 300 300"},
      {"turned view", "view 1 zoom 1 rotate 90\nsnap end on\n", "click 82 92", "snap: end 80 90",
       "80 90 300 300"},
  };
  for (const SnapCase& c : cases) {
    const std::string script =
        kAllOff + std::string(c.setup) + "tool DISTANCE\n" + c.click + "\nclick 300 300\nexpect annots 1 1\n";
    const CommandResult r = Run(script);
    ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
    if (*c.trace)
      EXPECT_NE(r.output.find(c.trace), std::string::npos) << c.name << "\n" << r.output;
    else
      EXPECT_EQ(r.output.find("snap: "), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_EQ(SavedNumbers(), c.line) << c.name;
  }
}

// A view turned while the tool is current: the marker drawn at the next
// hover and the click after it name the same corner. On the landscape plan
// turned a quarter at zoom 1, page (x, y) shows at device (y, x).
TEST_F(SnappingSession, AfterTheViewIsTurnedTheClickLandsWhereTheMarkerShowed) {
  const char* const before[] = {"", "move 200 200\n", "move 82 91\n"};
  for (const char* hover : before) {
    SCOPED_TRACE(hover);
    const CommandResult r = Run(kAllOff + std::string("view 1 zoom 1\nsnap end on\ntool DISTANCE\n") + hover +
                                "view 1 zoom 1 rotate 90\nmove 82 91\nclick 82 91\nclick 300 300\n");
    ASSERT_EQ(r.status, 0) << r.output;
    // The marker as the turned view shows it (unturned it would be at
    // device 80, 505).
    EXPECT_NE(r.output.find("draw: rect 85 75 95 85 pen #00A000 1"), std::string::npos) << r.output;
    EXPECT_EQ(SavedNumbers(), "80 90 300 300");
  }
}

// The third point of a 3-point radius snapped onto the line of the first
// two gives no circle: the point as clicked is taken instead. Through
// (130, 90), (150, 90) and (80, 97) the circle's centre is at x 140 and
// y (60² + 97² - 10² - 90²) / 14; at 1:50 a point is 2.54 / 72 x 0.5 m.
TEST_F(SnappingSession, AThirdRadiusPointSnappedOntoTheLineOfTheOthersIsTakenAsClicked) {
  const CommandResult r = Run(kAllOff + std::string("snap end on\ntool 3POINTRADIUS\nclick 130 90\nclick 150 90\n"
                                                    "click 80 97\nexpect annots 1 1\n"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("snap: end 80 90"), std::string::npos) << r.output;
  const double cy = (60.0 * 60 + 97.0 * 97 - 10.0 * 10 - 90.0 * 90) / 14;
  const double metres = std::hypot(10.0, cy - 90) * 2.54 / 72 * 0.5;
  char want[32];
  std::snprintf(want, sizeof want, "radius \"%.2f m\"", metres);
  const CommandResult info = Shell(Quote(AnnotPath()) + " measure info " + Quote(out_));
  EXPECT_NE(info.output.find(want), std::string::npos) << want << "\n" << info.output;

  // Three points on one line give no circle either way: nothing is made.
  const CommandResult none = Run(kAllOff + std::string("tool 3POINTRADIUS\nclick 130 200\nclick 150 200\n"
                                                       "click 170 200\nexpect annots 1 0\n"));
  EXPECT_EQ(none.status, 0) << none.output;
}

TEST_F(SnappingSession, TheMarkerIsDrawnWhileThePointerIsNearAFeature) {
  const CommandResult r = Run(kAllOff + std::string("snap end on\ntool DISTANCE\nmove 82 91\n"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("snap: end 80 90"), std::string::npos) << r.output;
  // A ten-pixel green square around the corner (device 80, 505 at zoom 1).
  EXPECT_NE(r.output.find("draw: rect 75 500 85 510 pen #00A000 1"), std::string::npos) << r.output;
}

TEST_F(SnappingSession, TheAreaToolRefusesAVertexThatWouldCrossTheOutline) {
  // The fourth click would close a bow-tie; the fifth is taken in its place.
  const CommandResult r = Run(std::string(kAllOff) +
                              "tool Area\nclick 300 300\nclick 400 400\nclick 400 300\nclick 300 400\n"
                              "dblclick 350 260\nexpect annots 1 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(SavedNumbers("/Vertices"), "300 300 400 400 400 300 350 260");
}

// The segments snapping finds on page 1 of a file.
size_t PageSegments(const std::string& path) {
  KS_ByteString error = direct::ByteStringNew(nullptr, 0);
  KPD_Document doc = direct::DocOpenFile(path.c_str(), error);
  direct::ByteStringDestroy(error);
  if (!doc) return 0;
  KPD_Page page = direct::DocGetPage(doc, 0);
  const size_t count =
      page ? kshost::snap::ExtractPage(*kshost::pdf::ObjectOf(reinterpret_cast<KPD_Object>(page))).segments.size() : 0;
  direct::DocClose(doc);
  return count;
}

TEST_F(SnappingSession, DenserSamplePlansHaveAboutTheSegmentsAskedFor) {
  const size_t plain = PageSegments(in_);
  EXPECT_GT(plain, 100u);
  for (size_t wanted : {size_t(1), size_t(2000), size_t(20000)}) {
    const std::string path = dir_ / ("plan" + std::to_string(wanted) + ".pdf");
    const CommandResult r =
        Shell(Quote(AnnotPath()) + " sample floorplan --segments " + std::to_string(wanted) + " -o " + Quote(path));
    ASSERT_EQ(r.status, 0) << r.output;
    const size_t got = PageSegments(path);
    // Never fewer than the plain plan asks; each curve of the round tables
    // and door swings flattens into a few pieces more.
    EXPECT_GE(got, std::max(plain, wanted)) << wanted;
    EXPECT_LE(got, std::max(plain, wanted) * 6 / 5) << wanted;
  }
  for (const char* bad : {"0", "-5", "12x", "5000001"}) {
    const CommandResult r = Shell(Quote(AnnotPath()) + " sample floorplan --segments " + bad + " -o " +
                                  Quote(dir_ / "bad.pdf"));
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "bad.pdf")) << bad;
  }
}

TEST_F(SnappingSession, BadSnapLinesStopTheScript) {
  for (const char* line : {"snap corner on", "snap end maybe", "snap end"}) {
    const CommandResult r = Run(std::string(line) + "\n");
    EXPECT_NE(r.status, 0) << line;
    EXPECT_NE(r.output.find("session.txt:1"), std::string::npos) << r.output;
  }
}

}  // namespace
