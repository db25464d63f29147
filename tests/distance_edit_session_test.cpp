// Editing a distance with leaders through sessions: the flip of its context
// menu, and the parts of the figure (dimension line, leader extension, ends
// of the dimension line) that a press hits and a drag changes on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/core_hft.h"
#include "host/host_functions.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_viewport.h"
#include "sdk/ks_host_binding.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

namespace direct = kshost::direct;

std::string Bytes(KS_ByteString b) { return std::string(direct::ByteStringData(b), direct::ByteStringLength(b)); }

// The first annotation of page 1 as saved.
struct Distance {
  std::string dict;  // the dictionary written out
  std::string ap;    // its normal appearance's content
  std::vector<double> l, co;
  double ll = 0, lle = 0;
  // The caption's placement: the "cm" lines of the appearance.
  std::vector<std::string> captionMatrices;
};

std::vector<double> Numbers(KPD_Object array) {
  std::vector<double> v;
  for (int i = 0, n = array ? direct::ArrayCount(array) : 0; i < n; ++i)
    v.push_back(direct::ObjectGetNumber(direct::ArrayGet(array, i)));
  return v;
}

Distance ReadDistance(const std::string& path, int pageIndex = 0) {
  Distance out;
  KS_ByteString error = direct::ByteStringNew(nullptr, 0);
  KPD_Document doc = direct::DocOpenFile(path.c_str(), error);
  direct::ByteStringDestroy(error);
  EXPECT_TRUE(doc) << path;
  if (!doc) return out;
  KPD_Page page = direct::DocGetPage(doc, pageIndex);
  KPD_Dictionary a = direct::PageAnnotCount(page) > 0 ? direct::PageGetAnnot(page, 0) : nullptr;
  if (a) {
    KS_ByteString text = direct::ByteStringNew(nullptr, 0);
    direct::ObjectWrite(a, text);
    out.dict = Bytes(text);
    KPD_Object ap = direct::DictGet(a, "/AP");
    KPD_Object normal = ap ? direct::DictGet(ap, "/N") : nullptr;
    if (normal && direct::StreamGetData(normal, 1, text)) out.ap = Bytes(text);
    direct::ByteStringDestroy(text);
    out.l = Numbers(direct::DictGet(a, "/L"));
    out.co = Numbers(direct::DictGet(a, "/CO"));
    out.ll = direct::ObjectGetNumber(direct::DictGet(a, "/LL"));
    out.lle = direct::ObjectGetNumber(direct::DictGet(a, "/LLE"));
    for (size_t at = 0, end; (end = out.ap.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = out.ap.substr(at, end - at);
      if (line.size() > 3 && line.compare(line.size() - 3, 3, " cm") == 0) out.captionMatrices.push_back(line);
    }
  }
  direct::DocClose(doc);
  return out;
}

class DistanceEditing : public ::testing::Test {
 protected:
  void SetUp() override { ks::host::Bind(kshost::CoreHFT(), nullptr); }

  // A letter page at 1:100 (1 cm = 1 m) holding `annot` (PDF text) when
  // given, and `morePages` pages of the size `more` after it.
  void MakePage(const std::string& annot = "", int morePages = 0, KS_FloatRect more = {0, 0, 612, 792}) {
    KPD_Document doc = direct::DocNew();
    KS_FloatRect letter{0, 0, 612, 792};
    KPD_Page page = direct::DocAddPage(doc, &letter);
    for (int i = 0; i < morePages; ++i) direct::DocAddPage(doc, &more);
    kwannotation::PageScale scale;
    scale.x = {1, u"cm", 1, u"m"};
    scale.precision = 2;
    auto measure = kwannotation::CKW_MeasureDict::Own(direct::DictNew());
    ASSERT_TRUE(measure->WriteScale(scale, u"1 cm = 1 m", {u"m", u"sq m", u"cu m"}));
    kwannotation::CKW_PageViewportListImpl list(page, doc);
    ASSERT_TRUE(list.AddViewport(letter, measure, u"plan"));
    if (!annot.empty()) {
      KPD_Object a = direct::ObjectParse(annot.data(), annot.size());
      ASSERT_TRUE(a);
      ASSERT_TRUE(direct::PageInsertAnnot(page, -1, a));
      direct::ObjectRelease(a);
    }
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    ASSERT_EQ(direct::DocSave(doc, in_.c_str(), error), 1);
    direct::ByteStringDestroy(error);
    direct::DocClose(doc);
  }

  CommandResult Run(const std::string& script) {
    std::filesystem::create_directories(dir_ / "config/annot");
    std::ofstream(dir_ / "config/annot/preferences.ini") << "[Preferences\\Measuring]\nbLeader=1\n";
    std::string path = dir_.Write("session.txt", script);
    return Shell("XDG_CONFIG_HOME=" + Quote(dir_ / "config") + " XDG_DATA_HOME=" + Quote(dir_ / "data") + " " +
                 Quote(AnnotPath()) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) +
                 " --trace");
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// A distance from (100, 100) to (200, 100) with its leader phase ended 30
// above: the dimension line runs at y = 130.
constexpr const char* kMeasureWithLeader = "tool DISTANCE\nclick 100 100\nclick 200 100\nclick 150 130\ntool Hand\n";

TEST_F(DistanceEditing, FlipFromTheMenuTurnsTheDimensionLineOverAndUndoesByteForByte) {
  // The item by its id, or by the right button on the line and the first
  // item of the menu it shows.
  for (const char* flip : {"click 150 130\nmenu FlipLineMenuItem\n", "answer message 1\nrclick 150 130\n"}) {
    SCOPED_TRACE(flip);
    MakePage();
    const std::string before = dir_ / "before.pdf", flipped = dir_ / "flipped.pdf", undone = dir_ / "undone.pdf";
    CommandResult r = Run(std::string(kMeasureWithLeader) + "save " + before + "\n" + flip + "save " + flipped +
                          "\nundo\nsave " + undone + "\nredo\nsave\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("menu: FlipLineMenuItem Flip Line"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("undo: undo \"Flip Line\""), std::string::npos) << r.output;

    const Distance b = ReadDistance(before), f = ReadDistance(flipped), u = ReadDistance(undone),
                   redone = ReadDistance(out_);
    EXPECT_EQ(b.l, (std::vector<double>{100, 100, 200, 100}));
    EXPECT_EQ(b.ll, 30);
    // The measured points stay; the dimension line goes 30 below them, and
    // its caption with it.
    EXPECT_EQ(f.l, b.l);
    EXPECT_EQ(f.ll, -30);
    ASSERT_FALSE(b.captionMatrices.empty()) << b.ap;
    ASSERT_FALSE(f.captionMatrices.empty()) << f.ap;
    EXPECT_NE(f.captionMatrices, b.captionMatrices);
    EXPECT_EQ(u.dict, b.dict);
    EXPECT_EQ(u.ap, b.ap);
    EXPECT_EQ(redone.dict, f.dict);
    EXPECT_EQ(redone.ap, f.ap);
  }
}

// The distance another program wrote: its /Rect covers only the measured
// points, while the dimension line runs 30 above them and the leaders
// reach 40 further, up to y = 170.
constexpr const char* kTightDistance =
    "<< /Type /Annot /Subtype /Line /IT /LineDimension /NM (d1) /Rect [98 98 202 102] /L [100 100 200 100] "
    "/LL 30 /LLE 40 /C [1 0 0] >>";

TEST_F(DistanceEditing, EachPartOfADistanceWithLeadersIsHitAndDraggedOnItsOwn) {
  struct Case {
    const char* name;
    const char* script;
    std::vector<double> l;
    double ll, lle;
  } cases[] = {
      {"a press on a leader's extension selects the line", "click 100 165\nexpect selected 1\n",
       {100, 100, 200, 100}, 30, 40},
      {"the extension's end sets LLE", "drag 100 170 100 190\n", {100, 100, 200, 100}, 30, 60},
      {"the dimension line sets LL", "drag 150 130 150 150\n", {100, 100, 200, 100}, 50, 40},
      {"across the measured points LL turns over", "drag 150 130 150 60\n", {100, 100, 200, 100}, -40, 40},
      {"an end of the dimension line moves its measured point", "drag 200 130 210 125\n", {100, 100, 210, 95}, 30,
       40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakePage(kTightDistance);
    CommandResult r = Run(std::string("tool Hand\n") + c.script + "save\n");
    ASSERT_EQ(r.status, 0) << r.output;
    const Distance d = ReadDistance(out_);
    EXPECT_EQ(d.l, c.l);
    EXPECT_EQ(d.ll, c.ll);
    EXPECT_EQ(d.lle, c.lle);
  }
}

TEST_F(DistanceEditing, DraggingTheCaptionSetsItsOffsetAndUndoPutsTheDistanceBack) {
  MakePage();
  // The caption's foot sits a little above the middle of the dimension line.
  CommandResult r = Run(std::string(kMeasureWithLeader) + "save " + (dir_ / "before.pdf") +
                        "\ndrag 150 136 170 146\nsave " + (dir_ / "moved.pdf") + "\nundo\nsave " +
                        (dir_ / "undone.pdf") + "\nredo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  const Distance b = ReadDistance(dir_ / "before.pdf"), m = ReadDistance(dir_ / "moved.pdf"),
                 u = ReadDistance(dir_ / "undone.pdf"), again = ReadDistance(out_);
  EXPECT_TRUE(b.co.empty());
  EXPECT_EQ(m.co, (std::vector<double>{20, 10}));
  EXPECT_EQ(m.ll, 30);
  EXPECT_NE(m.captionMatrices, b.captionMatrices);
  // A caption move of its own: undo takes the offset key away again.
  EXPECT_NE(r.output.find("undo: push \"Move Caption\""), std::string::npos) << r.output;
  EXPECT_EQ(u.dict, b.dict);
  EXPECT_EQ(u.ap, b.ap);
  EXPECT_EQ(again.co, m.co);
  EXPECT_EQ(again.captionMatrices, m.captionMatrices);
}

// Moved to another page and back: the distance keeps its dictionary and
// appearance, and undo and redo put it where each step left it.
TEST_F(DistanceEditing, TopageMovesTheSelectedDistanceAsOneStepAndUndoBringsItBack) {
  MakePage("", 2);
  const std::string before = dir_ / "before.pdf", moved = dir_ / "moved.pdf", undone = dir_ / "undone.pdf";
  CommandResult r = Run(std::string(kMeasureWithLeader) + "save " + before + "\nclick 150 130\ntopage 1\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("nothing moved to page 1"), std::string::npos) << r.output;
  r = Run(std::string(kMeasureWithLeader) + "save " + before + "\nclick 150 130\ntopage 3\nsave " + moved +
          "\nexpect annots 1 0\nexpect annots 3 1\nundo\nsave " + undone + "\nexpect annots 1 1\nredo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("undo: push \"Move to page\""), std::string::npos) << r.output;
  const Distance b = ReadDistance(before), m = ReadDistance(moved, 2), u = ReadDistance(undone),
                 again = ReadDistance(out_, 2);
  ASSERT_FALSE(b.l.empty());
  EXPECT_EQ(m.l, b.l);
  EXPECT_EQ(m.ap, b.ap);
  EXPECT_EQ(u.dict, b.dict);
  EXPECT_EQ(again.l, b.l);

  // The menu's fifth item asks for the page in a dialog; a page the file
  // does not have moves nothing.
  r = Run(std::string(kMeasureWithLeader) +
          "answer dialog editor_move_to_page.ui.kw ok lineEditPage=9\nanswer message 5\nrclick 150 130\n"
          "expect annots 1 1\nanswer dialog editor_move_to_page.ui.kw ok lineEditPage=2\nanswer message 5\n"
          "rclick 150 130\nexpect annots 1 0\nexpect annots 2 1\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("message: menu: Flip Line | Delete | Properties | Bring to front | Move to page…"),
            std::string::npos)
      << r.output;
}

// Moved to a page too small for it, a distance is made smaller until it
// lies inside the page, caption and all, in the same undo step; undo puts
// it back as it was.
TEST_F(DistanceEditing, TopageOntoASmallerPageFitsTheDistanceInsideItAsOneStep) {
  MakePage("", 1, {0, 0, 300, 200});
  const std::string before = dir_ / "before.pdf", moved = dir_ / "moved.pdf", undone = dir_ / "undone.pdf";
  CommandResult r = Run("tool DISTANCE\nclick 50 100\nclick 550 100\nclick 300 130\ntool Hand\nsave " + before +
                        "\nclick 300 130\ntopage 2\nsave " + moved + "\nundo\nsave " + undone + "\n");
  ASSERT_EQ(r.status, 0) << r.output;
  size_t pushes = 0;
  for (size_t at = r.output.find("undo: push"); at != std::string::npos; at = r.output.find("undo: push", at + 1))
    ++pushes;
  EXPECT_EQ(pushes, 2u) << "the distance, then the move with its fit: " << r.output;
  const Distance b = ReadDistance(before), m = ReadDistance(moved, 1), u = ReadDistance(undone);
  ASSERT_EQ(m.l.size(), 4u) << m.dict;
  std::vector<double> rect;
  {
    KS_ByteString error = direct::ByteStringNew(nullptr, 0);
    KPD_Document doc = direct::DocOpenFile(moved.c_str(), error);
    direct::ByteStringDestroy(error);
    ASSERT_TRUE(doc);
    rect = Numbers(direct::DictGet(direct::PageGetAnnot(direct::DocGetPage(doc, 1), 0), "/Rect"));
    direct::DocClose(doc);
  }
  ASSERT_EQ(rect.size(), 4u);
  EXPECT_GE(std::min(rect[0], rect[2]), 0);
  EXPECT_GE(std::min(rect[1], rect[3]), 0);
  EXPECT_LE(std::max(rect[0], rect[2]), 300);
  EXPECT_LE(std::max(rect[1], rect[3]), 200);
  // 500 points long before; now shorter than the page is wide.
  EXPECT_LT(std::fabs(m.l[2] - m.l[0]), 300);
  EXPECT_GT(std::fabs(m.l[2] - m.l[0]), 250);
  EXPECT_EQ(u.dict, b.dict);
  EXPECT_EQ(u.ap, b.ap);
}

}  // namespace
