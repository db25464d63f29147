// The contextual "Format" tab in sessions: when it shows and for which
// context, its snap buttons, and a property change through it that undo
// takes back exactly.
#include <gtest/gtest.h>

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

// An inch of paper measured at 1 in = 1 in, and a square inch.
constexpr char kDistance[] =
    "<< /Type /Annot /Subtype /Line /IT /LineDimension /NM (dist1) /Rect [100 90 172 110] /L [100 100 172 100] "
    "/MeasurementTypes 130 /Cap true /Contents (1.00 in) /Measure << /Type /Measure /R (1 in = 1 in) /X [ << /U (in) "
    "/C 0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq in) /C 1 /D 100 >> ] >> >>";
constexpr char kArea[] =
    "<< /Type /Annot /Subtype /Polygon /IT /PolygonDimension /NM (area1) /Rect [299 299 373 373] "
    "/Vertices [300 300 372 300 372 372 300 372] /MeasurementTypes 129 /Contents (1.00 sq in) /Measure << /Type "
    "/Measure /R (1 in = 1 in) /X [ << /U (in) /C 0.0138889 /D 100 >> ] /D [ << /U (in) /C 1 /D 100 >> ] /A [ << "
    "/U (sq in) /C 1 /D 100 >> ] >> >>";

std::string Bytes(KS_ByteString b) { return std::string(direct::ByteStringData(b), direct::ByteStringLength(b)); }

// The distance as saved: its dictionary as PDF text and the data of its
// normal appearance (empty without one).
struct Saved {
  std::string dict, appearance, contents;
};

Saved ReadDistance(const std::string& path) {
  Saved s;
  KS_ByteString b = direct::ByteStringNew(nullptr, 0);
  KPD_Document doc = direct::DocOpenFile(path.c_str(), b);
  if (!doc) return s;
  KPD_Page page = direct::DocGetPage(doc, 0);
  for (int i = 0; i < direct::PageAnnotCount(page); ++i) {
    KPD_Dictionary a = direct::PageGetAnnot(page, i);
    KPD_Object nm = direct::DictGet(a, "/NM");
    if (!nm || !direct::StringGetBytes(nm, b) || Bytes(b) != "dist1") continue;
    direct::ObjectWrite(a, b);
    s.dict = Bytes(b);
    KPD_Object ap = direct::DictGet(a, "/AP");
    KPD_Object normal = ap ? direct::DictGet(ap, "/N") : nullptr;
    if (normal && direct::StreamGetData(normal, 1, b)) s.appearance = Bytes(b);
    KS_WideString text = direct::WideStringNew(u"", 0);
    if (direct::StringObjectGetText(direct::DictGet(a, "/Contents"), text))
      for (size_t k = 0; k < direct::WideStringLength(text); ++k)
        s.contents += static_cast<char>(direct::WideStringData(text)[k]);  // the values here are ASCII
    direct::WideStringDestroy(text);
  }
  direct::DocClose(doc);
  direct::ByteStringDestroy(b);
  return s;
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
    start = end + 1;
  }
  return out;
}

class FormatTabSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    KPD_Page page = direct::DocAddPage(doc, &letter);
    for (const char* text : {kDistance, kArea}) {
      KPD_Object annot = direct::ObjectParse(text, std::char_traits<char>::length(text));
      direct::PageInsertAnnot(page, -1, annot);
      direct::ObjectRelease(annot);
    }
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    EXPECT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " XDG_DATA_HOME=" + Quote(dir_ / "data") + " " +
                 Quote(AnnotPath()) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) +
                 " --trace");
  }

  std::string Preferences() {
    std::ifstream f(dir_ / "config/annot/preferences.ini");
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// The tab follows the current measuring tool (line tools and shape tools
// by their context), then the selected measurement, and goes when neither
// is there; each change is traced once.
TEST_F(FormatTabSession, ShowsForTheToolOrTheSelectedMeasurementAndHidesOtherwise) {
  CommandResult r = Run(
      "view 1\n"
      "tool DISTANCE\n"
      "tool Perimeter\n"  // another line tool: no change
      "tool Area\n"
      "tool Hand\n"
      "select area1\n"
      "select dist1\n"
      "click 500 100\n"  // nothing there: the selection goes
      "tool ANGLE\n"
      "tool Hand\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Lines(r.output, "ribbon: "), (std::vector<std::string>{
                                             "ribbon: contextual Format shown for Format_Measure_Line",
                                             "ribbon: contextual Format shown for Format_Measure_Shape",
                                             "ribbon: contextual Format hidden",
                                             "ribbon: contextual Format shown for Format_Measure_Shape",
                                             "ribbon: contextual Format shown for Format_Measure_Line",
                                             "ribbon: contextual Format hidden",
                                             "ribbon: contextual Format shown for Format_Measure_Line",
                                             "ribbon: contextual Format hidden",
                                         }));
}

// The snap buttons switch the modes and store them in section "snap"; the
// settings buttons turn their preferences over.
TEST_F(FormatTabSession, SnapAndSettingButtonsTurnTheirPreferencesOver) {
  CommandResult r = Run(
      "tool DISTANCE\n"
      "press Measure_Snap_End\npress Measure_Snap_Inter\npress Measure_Snap_Inter\n"
      "press Measure_Setting_Leader\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string prefs = Preferences();
  const size_t snap = prefs.find("[snap]");
  ASSERT_NE(snap, std::string::npos) << prefs;
  const std::string section = prefs.substr(snap, prefs.find('[', snap + 1) - snap);
  EXPECT_NE(section.find("end=1"), std::string::npos) << prefs;
  EXPECT_NE(section.find("inter=0"), std::string::npos) << prefs;
  EXPECT_NE(prefs.find("bLeader=1"), std::string::npos) << prefs;
}

// The precision slider of the properties group rewrites the selected
// distance's value and caption as one undo step; undo puts the
// annotation back byte for byte and redo repeats the change exactly.
TEST_F(FormatTabSession, PrecisionChangeIsOneUndoStepThatRestoresTheAnnotationExactly) {
  const std::string before = dir_ / "before.pdf", changed = dir_ / "changed.pdf", undone = dir_ / "undone.pdf",
                    redone = dir_ / "redone.pdf";
  CommandResult r = Run("tool Hand\nselect dist1\nsave " + before + "\npress Measure_Prop_Precision 3\nsave " +
                        changed + "\nundo\nsave " + undone + "\nredo\nsave " + redone + "\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Change Measurement Properties"), std::string::npos) << r.output;
  const Saved b = ReadDistance(before), c = ReadDistance(changed), u = ReadDistance(undone), d = ReadDistance(redone);
  ASSERT_FALSE(b.dict.empty());
  EXPECT_EQ(b.contents.rfind("1.00 in", 0), 0u) << b.contents;
  EXPECT_EQ(c.contents.rfind("1.000 in", 0), 0u) << c.contents;
  EXPECT_NE(c.appearance.find("(1.000 in"), std::string::npos) << c.appearance;
  EXPECT_EQ(u.dict, b.dict);
  EXPECT_EQ(u.appearance, b.appearance);
  EXPECT_EQ(d.dict, c.dict);
  EXPECT_EQ(d.appearance, c.appearance);
}

// Caption and label switches: off hides the caption text of the
// appearance; a press with nothing selected is refused.
TEST_F(FormatTabSession, CaptionSwitchesNeedASelectedMeasurement) {
  CommandResult r = Run("tool DISTANCE\npress Measure_Prop_Caption\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("ribbon control 'Measure_Prop_Caption' is disabled"), std::string::npos) << r.output;

  r = Run("tool Hand\nselect dist1\npress Measure_Prop_Caption\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const Saved off = ReadDistance(out_);
  EXPECT_NE(off.dict.find("/Cap false"), std::string::npos) << off.dict;
  EXPECT_EQ(off.appearance.find("(1.00 in"), std::string::npos) << off.appearance;
  EXPECT_EQ(off.contents.rfind("1.00 in", 0), 0u) << off.contents;
}

}  // namespace
