// The tool chest panel over real toolset files in a scratch profile: zoom
// bounds at two resolutions, layout, collapse kept across a restart, the
// context menu, and arming the placing tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/core_hft.h"
#include "host/device.h"
#include "host/file_util.h"
#include "host/host_env.h"
#include "host/test_temp_dir.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_utf.h"
#include "toolset/tool_chest.h"

namespace AnnotationPlugin {
namespace {

class ToolChestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    kshost::Env().Reset();
    ks::host::Bind(kshost::CoreHFT(), nullptr);
    mgr().Reset();
    ASSERT_TRUE(mgr().Reload());
    std::string error;
    for (const char* title : {"Review", "Dimensions"}) {
      auto set = mgr().CreateToolSet(ks::ToUtf16(title), &error);
      ASSERT_TRUE(set) << error;
      for (int i = 0; i < 5; ++i) {
        auto t = std::make_shared<CAnnot_Tool>();
        t->name = ks::ToUtf16(std::string(title).substr(0, 1) + std::to_string(i));
        t->raw = "<</Subtype/Square/Rect[0 0 10 10]>>";
        t->ParseRaw();
        set->tools.push_back(t);
      }
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
    EXPECT_TRUE(panel->Click(5, 30));  // the Review header
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
  EXPECT_TRUE(panel->Click(45, 50));
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
  auto read = [&] {
    std::ifstream f(file, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  const std::string before = read();
  ASSERT_NE(before.find("<Path>Review.ktz</Path>"), std::string::npos) << before;
  mgr().Preferences()[1]->SetExpand(false);
  kshost::FileFaults faults;
  faults.rename = true;
  faults.error = EIO;
  kshost::InjectFileFaults(faults);
  EXPECT_FALSE(mgr().SavePreferences());
  EXPECT_EQ(read(), before);
  EXPECT_TRUE(mgr().SavePreferences());
  EXPECT_NE(read().find("<Expand>False</Expand>"), std::string::npos);
}

}  // namespace
}  // namespace AnnotationPlugin
