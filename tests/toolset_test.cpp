// Toolsets through the annot command, each step in its own process: shapes
// captured from one file, stored, read back and placed on the second page
// of another file draw as their sources did (rendered by poppler), and an
// exported toolset shows the same tools in the same order on a clean
// profile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <vector>

#include "host/core_hft.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/panels.h"
#include "host/session.h"
#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::ReadFile;
using testing_support::Shell;
using testing_support::TempDir;

namespace direct = kshost::direct;

const char kDistanceFile[] = "itext_annotation-with-popup_LineDimension.pdf";

// Writes `pages` A4 pages, each holding the annotation dictionaries
// `annots` (an "/IRT N" entry answers annotation N).
void WritePdf(const std::string& path, int pages, const std::vector<std::string>& annots = {}) {
  const std::vector<std::vector<std::string>> each(pages, annots);
  ASSERT_EQ(testing_support::WritePagesPdf(path, {0, 0, 595, 842}, each), "");
}

// The upper-left corner of the rectangles `annot info` lists for
// annotations `first` to `last` of page 1.
struct Corner {
  double left = 1e9, top = -1e9;
};
Corner UpperLeft(const std::string& info, int first, int last) {
  Corner corner;
  std::regex line("  1\\.(\\d+): .* rect \\[([-0-9.]+) [-0-9.]+ [-0-9.]+ ([-0-9.]+)\\]");
  for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it) {
    const int i = std::stoi((*it)[1]);
    if (i < first || i > last) continue;
    corner.left = std::min(corner.left, std::stod((*it)[2]));
    corner.top = std::max(corner.top, std::stod((*it)[3]));
  }
  return corner;
}

struct Gray {
  int width = 0, height = 0;
  std::string pixels;
};

Gray ReadPgm(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  Gray g;
  f >> magic >> g.width >> g.height >> maxval;
  f.get();
  g.pixels.resize(static_cast<size_t>(g.width) * g.height);
  f.read(g.pixels.data(), static_cast<std::streamsize>(g.pixels.size()));
  return g;
}

// What the annotations of page `page` add to it: the pixels that differ
// from the page drawn without annotations, white elsewhere.
Gray AnnotationsOnly(const TempDir& dir, const std::string& pdf, int page, const std::string& name) {
  std::string p = std::to_string(page);
  std::string base = "pdftoppm -r 72 -gray -singlefile -f " + p + " -l " + p + " ";
  EXPECT_EQ(Shell(base + Quote(pdf) + " " + Quote(dir / name)).status, 0);
  EXPECT_EQ(Shell(base + "-hide-annotations " + Quote(pdf) + " " + Quote(dir / (name + "-bare"))).status, 0);
  Gray with = ReadPgm(dir / (name + ".pgm")), bare = ReadPgm(dir / (name + "-bare.pgm"));
  for (size_t i = 0; i < with.pixels.size() && i < bare.pixels.size(); ++i)
    if (with.pixels[i] == bare.pixels[i]) with.pixels[i] = '\xff';
  return with;
}

// The share of pixels that differ by more than a quarter of the range.
double Differing(const Gray& a, const Gray& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 1;
  size_t off = 0, inked = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    int pa = static_cast<unsigned char>(a.pixels[i]), pb = static_cast<unsigned char>(b.pixels[i]);
    if (std::abs(pa - pb) > 64) ++off;
    if (pa < 192) ++inked;
  }
  EXPECT_GT(inked, 50u) << "nothing drawn";
  return static_cast<double>(off) / static_cast<double>(inked ? inked : 1);
}

// The plug-in loaded in this process over the folders of `dir`, with `pdf`
// open; the environment is as it was once it goes.
class InProcess {
 public:
  InProcess(const TempDir& dir, const std::string& pdf) : session_(std::make_unique<kshost::Session>()) {
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    kshost::Env().Reset();  // the host keeps the folders it found first
    ok_ = session_->LoadPlugin(testing_support::PluginPath(), &error_) && session_->Open(pdf, &error_);
  }
  ~InProcess() {
    session_.reset();
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    kshost::Env().Reset();
  }
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  KPD_Page Page() const { return direct::DocGetPage(session_->Document(), 0); }
  // Selects the annotations of page 1 at `indexes`, in that order.
  void Select(std::initializer_list<int> indexes) {
    KA_Document doc = session_->AppDocument();
    int32_t add = 0;  // the first replaces the selection, the others add to it
    for (int i : indexes) {
      direct::AppDocSelect(doc, direct::AnnotFromDict(doc, direct::PageGetAnnot(Page(), i)), add);
      add = 1;
    }
  }

 private:
  std::unique_ptr<kshost::Session> session_;
  bool ok_ = false;
  std::string error_;
};

class ToolsetCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
  }
  std::string Annot(const std::string& args, const std::string& data = "data") {
    auto r = Shell(testing_support::AnnotIn(dir_, data) + " " + args);
    last_ = r.status;
    return r.output;
  }
  // Runs `script` with the trace on; `files` gives its -i and -o.
  std::string Run(const std::string& script, const std::string& files) {
    return Annot("run " + Quote(dir_.Write("s.session", script)) + files + " --trace");
  }
  // A red square "sq" (with the keys `extra`) captured into the toolset
  // `into`, after the toolset Review is made, and a blank page to place it
  // on.
  void CaptureSquare(const std::string& into = "Review", const std::string& extra = "") {
    WritePdf(shapes_, 1, {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/NM(sq)" + extra + ">>"});
    WritePdf(target_, 1);
    Annot("toolset create Review");
    Annot("toolset capture " + Quote(shapes_) + " 1 0 --into " + Quote(into));
    ASSERT_EQ(last_, 0);
  }
  // Places the tool `tool` of Review on page 2 of `in` with its upper-left
  // corner at `at`, saved as `out`.
  std::string Place(const std::string& tool, const std::string& in, const Corner& at, const std::string& out) {
    std::ostringstream args;
    args << "toolset place Review " << Quote(tool) << " " << Quote(in) << " 2 " << at.left << " " << at.top << " -o "
         << Quote(out);
    return Annot(args.str());
  }
  TempDir dir_;
  const std::string shapes_ = dir_ / "shapes.pdf", target_ = dir_ / "target.pdf";
  int last_ = -1;
};

TEST_F(ToolsetCommandTest, CapturedShapesPlacedInAnotherFileDrawAsTheirSources) {
  if (Shell("command -v pdftoppm").status != 0) GTEST_SKIP() << "pdftoppm is not installed";
  const std::string bare = dir_ / "shapes-bare.pdf";
  WritePdf(bare, 1,
           {"<</Type/Annot/Subtype/Square/Rect[100 600 220 700]/C[1 0 0]/BE<</S/C/I 1>>/BS<</W 2>>/NM(cloud)>>",
            "<</Type/Annot/Subtype/PolyLine/Rect[290 590 460 710]/Vertices[300 600 360 700 450 620]"
            "/LE[/OpenArrow/ClosedArrow]/C[0 0 1]/BS<</W 2>>/NM(poly)>>",
            "<</Type/Annot/Subtype/Square/Rect[100 300 180 360]/C[0 0.5 0]/BS<</W 3>>/NM(group)>>",
            "<</Type/Annot/Subtype/Circle/Rect[200 300 260 350]/C[0 0.5 0]/RT/Group/IRT 2/NM(group-1)>>",
            "<</Type/Annot/Subtype/Circle/Rect[100 220 150 270]/C[0 0.5 0]/RT/Group/IRT 2/NM(group-2)>>"});
  Annot("regenerate " + Quote(bare) + " -o " + Quote(shapes_));
  ASSERT_EQ(last_, 0);
  const std::string distance = testing_support::SharedPdf(kDistanceFile);

  Annot("toolset create Review");
  ASSERT_EQ(last_, 0);
  for (const std::string& capture : {Quote(shapes_) + " 1 0", Quote(shapes_) + " 1 1", Quote(shapes_) + " 1 4",
                                     Quote(distance) + " 1 0"}) {
    std::string out = Annot("toolset capture " + capture + " --into Review");
    ASSERT_EQ(last_, 0) << out;
  }
  std::string list = Annot("toolset list");
  ASSERT_EQ(last_, 0) << list;
  EXPECT_NE(list.find("Review\t4 tools"), std::string::npos) << list;
  EXPECT_NE(list.find("  group\tSquare\t3 members"), std::string::npos) << list;
  EXPECT_NE(list.find("  poly\tPolyLine\t1 member"), std::string::npos) << list;

  // The distance tool is named by the file's /NM.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(list, m, std::regex("\n  ([^\t\n]+)\tLine\t")));
  const std::string distanceName = m[1];

  const std::string placed = dir_ / "placed.pdf";
  WritePdf(target_, 2);
  const std::string info = Annot("info " + Quote(shapes_));
  std::string in = target_;
  struct Placing {
    std::string tool;
    int first, last;
  } placings[] = {{"cloud", 0, 0}, {"poly", 1, 1}, {"group", 2, 4}};
  for (const Placing& p : placings) {
    std::string out = Place(p.tool, in, UpperLeft(info, p.first, p.last), placed);
    ASSERT_EQ(last_, 0) << out;
    in = placed;
  }
  EXPECT_LT(Differing(AnnotationsOnly(dir_, placed, 2, "placed"), AnnotationsOnly(dir_, shapes_, 1, "source")), 0.02);

  const std::string placedDistance = dir_ / "placed-distance.pdf";
  std::string out = Place(distanceName, target_, UpperLeft(Annot("info " + Quote(distance)), 0, 0), placedDistance);
  ASSERT_EQ(last_, 0) << out;
  EXPECT_LT(Differing(AnnotationsOnly(dir_, placedDistance, 2, "pd"), AnnotationsOnly(dir_, distance, 1, "sd")),
            0.02);
}

TEST_F(ToolsetCommandTest, AnExportedToolsetImportsWithTheSameToolsInOrder) {
  WritePdf(shapes_, 1,
           {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/NM(b-square)>>",
            "<</Type/Annot/Subtype/Line/Rect[10 60 90 70]/L[10 65 90 65]/C[0 0 1]/NM(a-line)>>",
            "<</Type/Annot/Subtype/Ink/Rect[0 0 90 90]/InkList[[5 5 40 80 85 10]]/NM(c-ink)>>"});
  Annot("toolset create Shared");
  for (const char* index : {"2", "0", "1"}) {
    std::string out = Annot("toolset capture " + Quote(shapes_) + " 1 " + index + " --into Shared");
    ASSERT_EQ(last_, 0) << out;
  }
  Annot("toolset export Shared -o " + Quote(dir_ / "shared.ktz"));
  ASSERT_EQ(last_, 0);
  std::string out = Annot("toolset import " + Quote(dir_ / "shared.ktz"), "clean");
  ASSERT_EQ(last_, 0) << out;
  auto tools = [](const std::string& list) {
    std::string section = list.substr(list.find("Shared\t"));
    std::vector<std::string> names;
    std::regex line("\n  ([^\t]+)\t");
    for (std::sregex_iterator it(section.begin(), section.end(), line), end; it != end; ++it) names.push_back((*it)[1]);
    return names;
  };
  std::string before = Annot("toolset list"), after = Annot("toolset list", "clean");
  EXPECT_EQ(tools(before), (std::vector<std::string>{"c-ink", "b-square", "a-line"})) << before;
  EXPECT_EQ(tools(after), tools(before)) << after;
  EXPECT_NE(after.find("My Tools"), std::string::npos);
}

TEST_F(ToolsetCommandTest, BadInputIsRefusedWithAReasonAndLeavesTheFile) {
  WritePdf(shapes_, 1, {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/NM(sq)>>"});
  Annot("toolset create Review");
  struct Case {
    std::string args;
    int status;
    const char* says;
  } cases[] = {
      {"toolset capture " + Quote(shapes_) + " 1 0", 2, "usage"},
      {"toolset capture " + Quote(shapes_) + " 1 5 --into Review", 1, "no annotation at that index"},
      {"toolset capture " + Quote(shapes_) + " 1 0 --into Nothing", 1, "no toolset titled 'Nothing'"},
      {"toolset place Review nothing " + Quote(shapes_) + " 1 5 5 -o " + Quote(dir_ / "o.pdf"), 1, "no tool named"},
      {"toolset import " + Quote(dir_ / "missing.ktz"), 1, "cannot read"},
      {"toolset create Review", 1, "exists"},
      {"toolset frobnicate", 2, "usage"},
      // help on a subcommand describes that subcommand only
      {"toolset place --help", 0, "usage: annot toolset place NAME TOOL PDF PAGE X Y -o OUT"},
      {"toolset frobnicate --help", 0, "usage: annot toolset list"},
  };
  for (const Case& c : cases) {
    std::string out = Annot(c.args);
    EXPECT_EQ(last_, c.status) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << c.args << "\n" << out;
  }
  // A damaged toolset file is reported and not rewritten by later commands.
  const std::string file = dir_ / "data/annot/toolset/Review.ktz";
  const std::string damaged = "<?xml version=\"1.0\"?><VenkoToolSet><Title>Review</Title><ToolChestItem>";
  std::ofstream(file, std::ios::binary) << damaged;
  std::string out = Annot("toolset capture " + Quote(shapes_) + " 1 0 --into 'My Tools'");
  EXPECT_EQ(last_, 0) << out;
  EXPECT_NE(out.find("Review.ktz: line 1"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(file), damaged);
}

// The favourites are "My Tools" in English and "Meine Werkzeuge" in a
// German session, where placing a tool is undone as "Werkzeug platzieren";
// neither name is written into the toolset file or the toolset list.
TEST_F(ToolsetCommandTest, TheFavouritesAreNamedInTheUsersLanguageAndStoredWithoutAName) {
  CaptureSquare("My Tools");  // with Review, a list of two is written out
  std::string out = Run("language de-DE\npanel ToolShest click \"Meine Werkzeuge\" sq\nclick 100 500\n"
                        "expect annots 1 1\npanel ToolShest show\n",
                        " -i " + Quote(target_) + " -o " + Quote(dir_ / "out.pdf"));
  ASSERT_EQ(last_, 0) << out;
  EXPECT_NE(out.find("panel ToolShest: group Meine Werkzeuge"), std::string::npos) << out;
  EXPECT_NE(out.find("undo: push \"Werkzeug platzieren\""), std::string::npos) << out;
  EXPECT_EQ(out.find("My Tools"), std::string::npos) << out;
  EXPECT_EQ(out.find("Place Tool"), std::string::npos) << out;

  const std::string folder = dir_ / "data/annot/toolset";
  const std::string favourites = ReadFile(folder + "/favorite.toolset.xml");
  ASSERT_NE(favourites.find("<ToolChestItem>"), std::string::npos) << favourites;
  EXPECT_TRUE(std::regex_search(favourites, std::regex("<Title */>|<Title></Title>"))) << favourites;
  const std::string list = ReadFile(folder + "/preferences.xml");
  ASSERT_NE(list.find("favorite.toolset.xml"), std::string::npos) << list;
  EXPECT_EQ(list.find("<Title>My Tools"), std::string::npos) << list;
  EXPECT_EQ(list.find("<Title>Meine"), std::string::npos) << list;
  out = Annot("toolset list");
  EXPECT_EQ(out.rfind("My Tools\t1 tool\t", 0), 0u) << out;
}

// The tool chest in a session: a script picks a tool in the panel by name,
// the preview follows the pointer, a click places the tool, undo takes it
// away; the trace shows the panel's rows, the preview and the undo step.
TEST_F(ToolsetCommandTest, ASessionPicksAToolInTheChestAndPlacesIt) {
  testing_support::WritePreferences(dir_, "[Identity]\nName=Placing User\n");
  CaptureSquare("Review", "/T(Someone Else)");
  const std::string script =
      "panel ToolShest click Review sq\n"
      "move 100 500\n"
      "click 100 500\n"
      "expect annots 1 1\n"
      "undo\n"
      "expect annots 1 0\n"
      "redo\n"
      "panel ToolShest zoomin\n"
      "panel ToolShest toggle Review\n";
  std::string out = Run(script, " -i " + Quote(target_) + " -o " + Quote(dir_ / "out.pdf"));
  ASSERT_EQ(last_, 0) << out;
  EXPECT_NE(out.find("panel ToolShest: items 40 smallest"), std::string::npos) << out;
  EXPECT_NE(out.find("panel ToolShest:   item sq [0 48 40 40] selected"), std::string::npos) << out;
  EXPECT_NE(out.find("undo: push \"Place Tool\""), std::string::npos) << out;
  EXPECT_NE(out.find("draw: rect 100 "), std::string::npos) << out;  // the preview under the pointer
  EXPECT_NE(out.find("panel ToolShest: items 50"), std::string::npos) << out;
  EXPECT_NE(out.find("panel ToolShest: group Review collapsed"), std::string::npos) << out;
  std::string info = Annot("info " + Quote(dir_ / "out.pdf"));
  EXPECT_NE(info.find("1.0: /Square intent - rect [100.00 460.00 140.00 500.00]"), std::string::npos) << info;
  // The placed copy is the user's, under a name of its own.
  testing_support::SavedPdf placed(dir_ / "out.pdf");
  ASSERT_TRUE(placed.ok());
  auto text = [&](const char* key) {
    KS_WideString w = direct::WideStringNew(u"", 0);
    direct::StringObjectGetText(direct::DictGet(placed.Annot(0), key), w);
    std::u16string s(direct::WideStringData(w), direct::WideStringLength(w));
    direct::WideStringDestroy(w);
    return s;
  };
  EXPECT_EQ(text("/T"), u"Placing User");
  EXPECT_EQ(text("/NM").size(), 36u);
  // The panel's zoom and the collapsed group are kept for the next session.
  out = Run("panel ToolShest show\n", " -i " + Quote(target_) + " -o " + Quote(dir_ / "out2.pdf"));
  EXPECT_NE(out.find("panel ToolShest: items 50"), std::string::npos) << out;
  EXPECT_NE(out.find("panel ToolShest: group Review collapsed"), std::string::npos) << out;
}

// The chest's pick lasts only while the placing tool is current, and there
// is nothing to pick without a document that may take annotations.
TEST_F(ToolsetCommandTest, TheChestPicksOnlyForAnEditableDocumentAndLetsGoForAnotherTool) {
  CaptureSquare();
  // The distance tool's click asks for the unscaled page's scale; turned
  // down, it measures nothing.
  const std::string script =
      "panel ToolShest click Review sq\n"
      "tool DISTANCE\n"
      "panel ToolShest show\n"
      "answer dialog ma_dlg_page_scale.ui.kw cancel\n"
      "click 100 500\n"
      "expect annots 1 0\n"
      "panel ToolShest click Review sq\n"
      "click 100 500\n"
      "expect annots 1 1\n";
  std::string out = Run(script, " -i " + Quote(target_));
  ASSERT_EQ(last_, 0) << out;
  // The panel as "show" draws it, once the distance tool is current: the
  // item is no longer picked.
  const size_t shown = out.find("ribbon: contextual Format shown");
  ASSERT_NE(shown, std::string::npos) << out;
  const size_t item = out.find("panel ToolShest:   item sq [0 48 40 40]", shown);
  ASSERT_NE(item, std::string::npos) << out;
  EXPECT_EQ(out.substr(item, out.find('\n', item) - item), "panel ToolShest:   item sq [0 48 40 40]");

  // Without a document the items show as disabled and the pick is refused.
  out = Run("panel ToolShest click Review sq\n", "");
  EXPECT_EQ(last_, 1) << out;
  EXPECT_NE(out.find("the tool chest is disabled"), std::string::npos) << out;
  EXPECT_NE(out.find("item sq [0 48 40 40] disabled"), std::string::npos) << out;
}

// The device points of a "draw:" trace line, and its pen colour.
struct Traced {
  std::vector<std::pair<int, int>> points;
  std::string pen;
};
std::vector<Traced> TracedPaths(const std::string& out, const std::string& prefix) {
  std::vector<Traced> found;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix + "draw: path ", 0) != 0) continue;
    std::istringstream words(line.substr(prefix.size() + 11));
    Traced t;
    for (std::string x, y; words >> x && x != "closed" && x != "pen" && words >> y;)
      t.points.emplace_back(std::stoi(x), std::stoi(y));
    const size_t pen = line.find(" pen ");
    t.pen = pen == std::string::npos ? "" : line.substr(pen + 5, 7);
    found.push_back(t);
  }
  return found;
}

// The chest shows a captured red cloudy square as its red arcs inside the
// item's cell, and the pointer preview draws the same appearance at page
// scale with its upper-left corner at the pointer (a box outline before).
TEST_F(ToolsetCommandTest, TheChestAndThePointerPreviewDrawTheToolsAppearance) {
  const std::string bare = dir_ / "bare.pdf";
  WritePdf(bare, 1, {"<</Type/Annot/Subtype/Square/Rect[100 600 200 680]/C[1 0 0]/BE<</S/C/I 1>>/BS<</W 2>>/NM(cloud)>>"});
  Annot("regenerate " + Quote(bare) + " -o " + Quote(shapes_));
  WritePdf(target_, 1);
  Annot("toolset create Review");
  Annot("toolset capture " + Quote(shapes_) + " 1 0 --into Review");
  ASSERT_EQ(last_, 0);
  std::string out = Run("panel ToolShest show\npanel ToolShest click Review cloud\nmove 300 500\n",
                        " -i " + Quote(target_));
  ASSERT_EQ(last_, 0) << out;
  ASSERT_NE(out.find("panel ToolShest:   item cloud [0 48 40 40]"), std::string::npos) << out;

  const std::vector<Traced> chest = TracedPaths(out, "panel ToolShest: ");
  ASSERT_FALSE(chest.empty()) << out;
  size_t points = 0;
  for (const Traced& t : chest) {
    EXPECT_EQ(t.pen, "#FF0000");
    for (auto [x, y] : t.points) {
      // Inside the cell less its margin of 4.
      EXPECT_TRUE(x >= 4 && x <= 36 && y >= 52 && y <= 84) << x << " " << y;
      ++points;
    }
  }
  EXPECT_GT(points, 40u) << out;  // arcs, not a box
  EXPECT_EQ(out.find("pen #606060"), std::string::npos) << out;  // no outline in its place

  const std::vector<Traced> pointer = TracedPaths(out, "");
  ASSERT_FALSE(pointer.empty()) << out;
  int left = 1 << 30, top = 1 << 30;
  for (const Traced& t : pointer) {
    EXPECT_EQ(t.pen, "#FF0000");
    for (auto [x, y] : t.points) left = std::min(left, x), top = std::min(top, y);
  }
  // Page y 500 is device y 342 on an A4 page at 100 %.
  EXPECT_NEAR(left, 300, 2) << out;
  EXPECT_NEAR(top, 342, 2) << out;
  EXPECT_EQ(out.find("\ndraw: rect 300 "), std::string::npos) << out;
  // Previews leave the user's document and its undo stack alone.
  EXPECT_EQ(out.find("undo: push"), std::string::npos) << out;
  EXPECT_EQ(out.find("changed: page"), std::string::npos) << out;
}

// Another plug-in reaches the toolsets through the published table: entry
// 1 lists the visible toolsets, entry 0 captures the document's selection
// (only what lies on the given page) into the toolset at that position.
TEST_F(ToolsetCommandTest, TheExtensionTableCapturesTheSelectionIntoAToolset) {
  WritePdf(shapes_, 1,
           {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/NM(sq)>>",
            "<</Type/Annot/Subtype/Circle/Rect[60 10 90 40]/C[0 0 1]/NM(ci)>>",
            "<</Type/Annot/Subtype/Square/Rect[100 10 130 40]/C[0 1 0]/NM(left)>>"});
  Annot("toolset create Review");
  Annot("toolset create Other");
  ASSERT_EQ(last_, 0);
  {
    InProcess plugin(dir_, shapes_);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    KS_ExtHFT table = direct::ExtHFTFind("VenkoAnnot extension HFT", 1);
    ASSERT_NE(table, nullptr);
    auto addSelection = reinterpret_cast<int32_t (*)(int32_t, KPD_Page)>(direct::ExtHFTGetEntry(table, 0));
    auto listNames = reinterpret_cast<int32_t (*)(KS_WideStringArray)>(direct::ExtHFTGetEntry(table, 1));
    KS_WideStringArray names = direct::WideStringArrayNew();
    ASSERT_EQ(listNames(names), 1);
    std::vector<std::u16string> titles;
    for (int i = 0; i < direct::WideStringArrayCount(names); ++i) {
      KS_WideString s = direct::WideStringNew(nullptr, 0);
      direct::WideStringArrayGet(names, i, s);
      titles.emplace_back(direct::WideStringData(s), direct::WideStringLength(s));
      direct::WideStringDestroy(s);
    }
    direct::WideStringArrayDestroy(names);
    ASSERT_EQ(titles, (std::vector<std::u16string>{u"My Tools", u"Review", u"Other"}));
    const int32_t review = 1;

    plugin.Select({1, 0});
    EXPECT_EQ(addSelection(3, plugin.Page()), 0);
    EXPECT_EQ(addSelection(-1, plugin.Page()), 0);
    EXPECT_EQ(addSelection(review, nullptr), 0);
    EXPECT_EQ(addSelection(review, plugin.Page()), 1);
  }
  // Saved, in selection order; the unselected square stays out.
  std::string list = Annot("toolset list");
  const size_t at = list.find("Review\t2 tools");
  ASSERT_NE(at, std::string::npos) << list;
  const size_t ci = list.find("  ci\t", at), sq = list.find("  sq\t", at);
  EXPECT_TRUE(ci != std::string::npos && sq != std::string::npos && ci < sq) << list;
  EXPECT_EQ(list.find("  left\t"), std::string::npos) << list;
}

// The chest's own commands, as annot serve's page gives them: a toolset
// made, the document's selection captured into it, a tool moved, the
// toolset renamed and deleted; each refusal says why and changes nothing.
TEST_F(ToolsetCommandTest, TheChestMakesRenamesAndDeletesToolsetsAndCapturesTheSelection) {
  WritePdf(shapes_, 1,
           {"<</Type/Annot/Subtype/Square/Rect[10 10 50 50]/C[1 0 0]/NM(sq)/Subj(Wall\nmark)>>",
            "<</Type/Annot/Subtype/Circle/Rect[60 10 90 40]/C[0 0 1]/NM(ci)>>"});
  std::vector<std::string> rows;
  std::string error;
  auto run = [&](std::vector<std::string> words) {
    error.clear();
    rows.clear();
    return kshost::RunPanelCommand("ToolShest", words, &error, &rows);
  };
  auto shows = [&](const std::string& line) { return std::find(rows.begin(), rows.end(), line) != rows.end(); };
  {
    InProcess plugin(dir_, shapes_);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    ASSERT_TRUE(run({"create", "Site"})) << error;
    EXPECT_TRUE(shows("group Site expanded"));
    EXPECT_FALSE(run({"create", "Site"}));
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    EXPECT_FALSE(run({"capture", "Site"}));
    EXPECT_EQ(error, "nothing is selected");
    EXPECT_FALSE(run({"capture", "Nowhere"}));

    plugin.Select({0, 1});
    ASSERT_TRUE(run({"capture", "Site"})) << error;
    // Each item is followed by what it shows: its subject on one line, else
    // its kind.
    const auto sq = std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.rfind("  item sq ", 0) == 0; });
    ASSERT_NE(sq, rows.end());
    ASSERT_NE(sq + 1, rows.end());
    EXPECT_EQ(*(sq + 1), "    shown Wall mark");
    EXPECT_TRUE(shows("    shown Circle"));
    ASSERT_TRUE(run({"move", "Site", "ci", "0"})) << error;
    EXPECT_FALSE(run({"move", "Site", "ci", "-1"}));
    EXPECT_FALSE(run({"move", "Site", "ci", "1x"}));
    EXPECT_FALSE(run({"move", "Site", "nothing", "0"}));
    EXPECT_FALSE(run({"rename", "Site", " "}));
    ASSERT_TRUE(run({"rename", "Site", "Site plan"})) << error;
    EXPECT_TRUE(shows("group Site plan expanded"));
  }
  // Stored: the new title, the circle first.
  std::string list = Annot("toolset list");
  const size_t at = list.find("Site plan\t2 tools");
  ASSERT_NE(at, std::string::npos) << list;
  EXPECT_LT(list.find("  ci\t", at), list.find("  sq\t", at)) << list;

  {
    InProcess plugin(dir_, shapes_);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    ASSERT_TRUE(run({"remove", "Site plan"})) << error;
    EXPECT_FALSE(shows("group Site plan expanded"));
  }
  list = Annot("toolset list");
  EXPECT_EQ(list.find("Site"), std::string::npos) << list;
  // Its file is gone from the toolset folder too.
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "data/annot/toolset"))
    EXPECT_EQ(entry.path().filename().string().rfind("Site", 0), std::string::npos) << entry.path();
}

}  // namespace
