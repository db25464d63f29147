// The tool chest panel over real toolset files in a scratch profile: zoom
// bounds at two resolutions, layout, collapse kept across a restart, the
// context menu, and arming the placing tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/core_hft.h"
#include "host/device.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/tool_chest.h"

namespace AnnotationPlugin {
namespace {

// A square tool named `name`, its dictionary parsed.
std::shared_ptr<CAnnot_Tool> SquareTool(const std::u16string& name) {
  auto t = std::make_shared<CAnnot_Tool>();
  t->name = name;
  t->type = "Venko.PDF.Annotations.AnnotationSquare";
  t->raw = "<</Subtype/Square/Rect[0 0 10 10]>>";
  t->ParseRaw();
  return t;
}

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class ToolChestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    kshost::Env().Reset();
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    AnnotationPlugin::Widgets::LoadStrings("Annotation");  // the favourites' name
    mgr().Reset();
    ASSERT_TRUE(mgr().Reload());
    std::string error;
    for (const char* title : {"Review", "Dimensions"}) {
      auto set = mgr().CreateToolSet(ks::ToUtf16(title), &error);
      ASSERT_TRUE(set) << error;
      for (int i = 0; i < 5; ++i) set->tools.push_back(SquareTool(ks::ToUtf16(title[0] + std::to_string(i))));
      set->modified = true;
    }
    ASSERT_TRUE(mgr().SaveAll());
  }
  void TearDown() override {
    mgr().Reset();
    ::unsetenv("XDG_DATA_HOME");
    kshost::Env().Reset();
  }
  static CAnnot_ToolSetMgr& mgr() { return CAnnot_ToolSetMgr::Get(); }

  kshost::testing::TempDir dir_;
};

TEST_F(ToolChestTest, ZoomStopsAtItsBoundsAtEachResolution) {
  struct Case {
    int dpi, start, step, top;
  } cases[] = {{96, 40, 10, 120}, {144, 60, 15, 180}};
  for (const Case& c : cases) {
    CToolChestPanel panel(c.dpi, 0, 300);
    EXPECT_EQ(panel.ItemWidth(), c.start);
    EXPECT_FALSE(panel.CanZoomOut());
    EXPECT_FALSE(panel.ZoomOut());
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(panel.ZoomIn());
    EXPECT_EQ(panel.ItemWidth(), c.start + 5 * c.step);
    for (int i = 0; i < 3; ++i) panel.ZoomIn();
    EXPECT_EQ(panel.ItemWidth(), c.top);
    EXPECT_EQ(panel.ItemHeight(), c.top);
    EXPECT_FALSE(panel.CanZoomIn());
    EXPECT_FALSE(panel.ZoomIn());
    EXPECT_EQ(panel.ItemWidth(), c.top);
  }
  EXPECT_EQ(CToolChestPanel(96, 70, 300).ItemWidth(), 70);
}

TEST_F(ToolChestTest, ItemsFlowInRowsUnderTheirHeaders) {
  CToolChestPanel panel(96, 0, 130);  // three 40-pixel items a row
  EXPECT_EQ(panel.Describe(),
            (std::vector<std::string>{"group My Tools expanded", "group Review expanded", "  item R0 [0 48 40 40]",
                                      "  item R1 [40 48 40 40]", "  item R2 [80 48 40 40]", "  item R3 [0 88 40 40]",
                                      "  item R4 [40 88 40 40]", "group Dimensions expanded",
                                      "  item D0 [0 152 40 40]", "  item D1 [40 152 40 40]", "  item D2 [80 152 40 40]",
                                      "  item D3 [0 192 40 40]", "  item D4 [40 192 40 40]"}));
}

TEST_F(ToolChestTest, ACollapsedGroupStaysCollapsedAfterARestart) {
  {
    auto panel = std::make_shared<CToolChestPanel>(96, 0, 130);
    mgr().AddEventHandler(panel);
    EXPECT_TRUE(panel->ToggleGroup(u"Review"));
    EXPECT_EQ(panel->Describe()[1], "group Review collapsed");
    EXPECT_EQ(panel->Describe()[2], "group Dimensions expanded");
    EXPECT_FALSE(panel->ClickItem(u"Review", u"R1"));
    ASSERT_TRUE(mgr().SaveAll());
  }
  mgr().Reset();
  ASSERT_TRUE(mgr().Reload());
  CToolChestPanel again(96, 0, 130);
  EXPECT_EQ(again.Describe()[1], "group Review collapsed");
  EXPECT_EQ(again.Describe()[2], "group Dimensions expanded");
}

TEST_F(ToolChestTest, ClicksArmThePlacingToolAndTheMenuEditsTheToolset) {
  auto panel = std::make_shared<CToolChestPanel>(96, 0, 130);
  mgr().AddEventHandler(panel);
  std::u16string armed;
  panel->arm = [&](auto& set, auto& tool) { armed = set->title + u"/" + tool->name; };
  EXPECT_TRUE(panel->ClickItem(u"Review", u"R1"));
  EXPECT_EQ(armed, u"Review/R1");
  EXPECT_EQ(panel->Describe()[3], "  item R1 [40 48 40 40] selected");

  EXPECT_TRUE(panel->Menu(u"Review", u"R3", ToolChestMenu::kMoveToTop));
  EXPECT_EQ(panel->Describe()[2], "  item R3 [0 48 40 40]");
  EXPECT_EQ(panel->Describe()[4], "  item R1 [80 48 40 40] selected");
  EXPECT_TRUE(panel->Menu(u"Review", u"R3", ToolChestMenu::kMoveToTop));  // already first
  EXPECT_TRUE(panel->Menu(u"Review", u"R0", ToolChestMenu::kDelete));
  EXPECT_EQ(mgr().FindToolSet(u"Review")->tools.size(), 4u);
  EXPECT_EQ(panel->Describe().size(), 12u);

  panel->SetEnabled(false);
  armed.clear();
  EXPECT_FALSE(panel->ClickItem(u"Dimensions", u"D0"));
  EXPECT_TRUE(armed.empty());
  EXPECT_NE(panel->Describe()[7].find("disabled"), std::string::npos);
}

// Each item paints its tool inside its cell, less a tenth of the item
// width; these tools have no appearance, so each shows its rectangle. A
// collapsed group paints nothing, the selected cell is framed, and zooming
// grows what the cells paint.
TEST_F(ToolChestTest, ItemsPaintTheirToolsInsideTheirCells) {
  CToolChestPanel panel(96, 0, 130);
  auto paint = [&] {
    KA_Device device = kshost::NewDevice();
    panel.Paint(device);
    std::vector<std::string> lines;
    for (const kshost::DrawItem& item : device->items) lines.push_back(kshost::TraceLine(item));
    kshost::ReleaseDevice(device);
    return lines;
  };
  std::vector<std::string> lines = paint();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "draw: rect 4 52 36 84 pen #606060 1");     // R0 [0 48 40 40]
  EXPECT_EQ(lines[9], "draw: rect 44 196 76 228 pen #606060 1");  // D4 [40 192 40 40]

  ASSERT_TRUE(panel.ToggleGroup(u"Review"));
  ASSERT_TRUE(panel.ClickItem(u"Dimensions", u"D0"));  // now [0 72 40 40]
  lines = paint();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "draw: rect 4 76 36 108 pen #606060 1");
  EXPECT_EQ(lines[1], "draw: rect 0 72 40 112 pen #0078D7 1");

  ASSERT_TRUE(panel.ZoomIn());
  lines = paint();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "draw: rect 5 77 45 117 pen #606060 1");
}

TEST_F(ToolChestTest, AFailedWriteOfTheToolsetListLeavesThePreviousOne) {
  const std::string file = dir_ / "annot/toolset/preferences.xml";
  const std::string before = Read(file);
  ASSERT_NE(before.find("<Path>Review.ktz</Path>"), std::string::npos) << before;
  mgr().Preferences()[1]->SetExpand(false);
  kshost::FileFaults faults;
  faults.rename = true;
  faults.error = EIO;
  kshost::InjectFileFaults(faults);
  EXPECT_FALSE(mgr().SavePreferences());
  EXPECT_EQ(Read(file), before);
  EXPECT_TRUE(mgr().SavePreferences());
  EXPECT_NE(Read(file).find("<Expand>False</Expand>"), std::string::npos);
}

// Another process over the same profile, played by writing its files: what
// it lists and stores joins this process's work instead of being wiped.
TEST_F(ToolChestTest, AnotherProcessesToolsetsJoinTheListAndTheChest) {
  const std::string folder = dir_ / "annot/toolset";
  auto write = [](const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
  auto panel = std::make_shared<CToolChestPanel>(96, 0, 130);
  mgr().AddEventHandler(panel);
  // Nothing changed here: saving leaves the list as the other wrote it.
  std::string prefs = Read(folder + "/preferences.xml");
  ASSERT_NE(prefs.find("<Path>Dimensions.ktz</Path>"), std::string::npos) << prefs;
  prefs.replace(prefs.find("</Preference>"), 0,
                "<Item><Visible>True</Visible><Path>Kit.ktz</Path><Expand>True</Expand></Item>");
  const size_t dims = prefs.find("<Path>Dimensions.ktz</Path>");
  prefs.replace(prefs.find("<Expand>True</Expand>", dims), 21, "<Expand>False</Expand>");
  prefs.replace(prefs.find("<Preferences>"), 13, "<Preferences><!-- written elsewhere -->");
  CAnnot_ToolSet kit;
  kit.title = u"Kit";
  kit.tools.push_back(SquareTool(u"K0"));
  ASSERT_TRUE(SaveToolSetFile(kit, ks::ToUtf16(folder + "/Kit.ktz")));
  write(folder + "/preferences.xml", prefs);
  ASSERT_TRUE(mgr().SaveAll());
  EXPECT_EQ(Read(folder + "/preferences.xml"), prefs);

  // A change here is written together with the other's.
  mgr().Preferences()[1]->SetExpand(false);  // Review
  ASSERT_TRUE(mgr().SaveAll());
  prefs = Read(folder + "/preferences.xml");
  for (const char* item : {"<Path>Review.ktz</Path><Title>Review</Title><Expand>False</Expand>",
                           "<Path>Dimensions.ktz</Path><Title>Dimensions</Title><Expand>False</Expand>",
                           "<Path>Kit.ktz</Path><Title>Kit</Title><Expand>True</Expand>"})
    EXPECT_NE(prefs.find(item), std::string::npos) << item << "\n" << prefs;
  auto shows = [&](const std::string& line) {
    const auto rows = panel->Describe();
    return std::any_of(rows.begin(), rows.end(), [&](const std::string& r) { return r.rfind(line, 0) == 0; });
  };
  EXPECT_TRUE(shows("group Kit expanded"));
  EXPECT_TRUE(shows("  item K0 "));
  EXPECT_FALSE(shows("  item K1 "));

  // A toolset the other rewrote is read again while unchanged here.
  kit.tools.push_back(SquareTool(u"K1"));
  ASSERT_TRUE(SaveToolSetFile(kit, ks::ToUtf16(folder + "/Kit.ktz")));
  EXPECT_TRUE(mgr().Refresh());
  EXPECT_EQ(mgr().FindToolSet(u"Kit")->tools.size(), 2u);
  EXPECT_TRUE(shows("  item K1 "));
  EXPECT_FALSE(mgr().Refresh());
}

// Two copies of one toolset changed apart (two processes): each save keeps
// the tools the other added, and a tool deleted in one stays deleted.
TEST_F(ToolChestTest, TwoCopiesOfAToolsetKeepEachOthersTools) {
  const std::u16string file = ks::ToUtf16(dir_ / "annot/toolset/Pair.ktz");
  CAnnot_ToolSet pair;
  for (const char16_t* name : {u"R0", u"R1", u"R2", u"R3", u"R4"}) pair.tools.push_back(SquareTool(name));
  ASSERT_TRUE(SaveToolSetFile(pair, file));
  auto first = LoadToolSetFile(file, nullptr), second = LoadToolSetFile(file, nullptr);
  ASSERT_TRUE(first && second);
  ASSERT_EQ(second->tools.size(), 5u);
  first->tools.push_back(SquareTool(u"first"));
  first->modified = true;
  ASSERT_TRUE(SaveToolSetChanges(*first));
  ASSERT_TRUE(second->DeleteTool(second->tools[0].get()));  // R0
  second->tools.push_back(SquareTool(u"second"));
  ASSERT_TRUE(SaveToolSetChanges(*second));
  auto names = [&] {
    std::vector<std::u16string> out;
    auto stored = LoadToolSetFile(file, nullptr);
    for (auto& t : stored->tools) out.push_back(t->name);
    return out;
  };
  EXPECT_EQ(names(), (std::vector<std::u16string>{u"R1", u"R2", u"R3", u"R4", u"second", u"first"}));
  // The first copy, saved again, keeps the second's work too: its tool
  // stays and the tool it deleted stays deleted.
  first->tools.erase(first->tools.begin() + 1);  // R1
  first->modified = true;
  ASSERT_TRUE(SaveToolSetChanges(*first));
  EXPECT_EQ(names(), (std::vector<std::u16string>{u"R2", u"R3", u"R4", u"first", u"second"}));
}

}  // namespace
}  // namespace AnnotationPlugin
