#include "host/ribbon.h"

#include <gtest/gtest.h>

#include "host/editor.h"
#include "host/host_functions.h"
#include "host/strings.h"

namespace kshost {
namespace {

KA_Frame AnyFrame() { return reinterpret_cast<KA_Frame>(&Ribbon::Get()); }

class RibbonTest : public ::testing::Test {
 protected:
  void SetUp() override { Ribbon::Get().Reset(); }
  void TearDown() override { Ribbon::Get().Reset(); }
};

TEST_F(RibbonTest, PanelsKeepPositionOrderAndUniqueNames) {
  KA_RibbonElement review = direct::RibbonGetCategory(AnyFrame(), "Ribbon_Category_Review");
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(direct::RibbonGetCategory(AnyFrame(), "Ribbon_Category_Nowhere"), nullptr);
  KA_RibbonElement late = direct::RibbonAddPanel(review, "COMMENT_Panel_Drawing", u"Drawing", 9);
  KA_RibbonElement early = direct::RibbonAddPanel(review, "COMMENT_Panel_MEATURE", u"Measure", 5);
  ASSERT_TRUE(late && early);
  EXPECT_EQ(direct::RibbonAddPanel(review, "COMMENT_Panel_MEATURE", u"again", 1), nullptr);
  EXPECT_EQ(direct::RibbonFindPanel(review, "COMMENT_Panel_MEATURE"), early);
  ASSERT_EQ(review->children.size(), 2u);
  EXPECT_EQ(review->children[0].get(), early);
  // Panels go into categories only, controls only under panels and menus.
  EXPECT_EQ(direct::RibbonAddPanel(early, "Nested", u"", 0), nullptr);
  EXPECT_EQ(direct::RibbonAddControl(review, KS_RIBBON_BUTTON, "Loose", u"", u""), nullptr);
}

TEST_F(RibbonTest, PressRunsTheProcedureUnlessAnythingAboveIsDisabled) {
  KA_RibbonElement review = direct::RibbonGetCategory(AnyFrame(), "Ribbon_Category_Review");
  KA_RibbonElement panel = direct::RibbonAddPanel(review, "COMMENT_Panel_MEATURE", u"Measure", 5);
  KA_RibbonElement parent = direct::RibbonAddControl(panel, KS_RIBBON_PARENT_BUTTON, "Button_Measure_Parent", u"", u"");
  KA_RibbonElement button = direct::RibbonAddControl(parent, KS_RIBBON_BUTTON, "Button_Distance", u"Distance", u"tip");
  ASSERT_TRUE(parent && button);
  EXPECT_EQ(direct::RibbonAddControl(panel, KS_RIBBON_BUTTON, "Button_Distance", u"", u""), nullptr);
  EXPECT_EQ(direct::RibbonAddControl(button, KS_RIBBON_BUTTON, "Under_A_Plain_Button", u"", u""), nullptr);

  int presses = 0;
  ASSERT_TRUE(direct::RibbonSetPressProc(
      button, [](void* cd, KA_RibbonElement) { ++*static_cast<int*>(cd); }, &presses));
  std::string error;
  EXPECT_TRUE(Ribbon::Get().Press("Button_Distance", &error)) << error;
  direct::RibbonSetEnabled(parent, 0);
  EXPECT_FALSE(Ribbon::Get().Press("Button_Distance", &error));
  EXPECT_EQ(error, "ribbon control 'Button_Distance' is disabled");
  EXPECT_FALSE(Ribbon::Get().Press("Button_Measure_Parent", &error));
  EXPECT_FALSE(Ribbon::Get().Press("Button_Nothing", &error));
  EXPECT_EQ(error, "no ribbon control 'Button_Nothing'");
  EXPECT_EQ(presses, 1);

  EXPECT_TRUE(direct::RibbonRemove(parent));
  EXPECT_EQ(direct::RibbonFindControl(AnyFrame(), "Button_Distance"), nullptr);
  EXPECT_FALSE(direct::RibbonRemove(review));
}

// A slider keeps its value inside its range, and moving it runs its
// procedure with the new value; a failed move leaves the old value.
TEST_F(RibbonTest, SliderMovesWithinItsRangeAndTellsItsProcedure) {
  KA_RibbonElement review = direct::RibbonGetCategory(AnyFrame(), "Ribbon_Category_Review");
  KA_RibbonElement panel = direct::RibbonAddPanel(review, "COMMENT_Panel_Drawing", u"Drawing", 5);
  KA_RibbonElement parent = direct::RibbonAddControl(panel, KS_RIBBON_PARENT_BUTTON, "Button_Size", u"", u"");
  KA_RibbonElement slider = direct::RibbonAddControl(parent, KS_RIBBON_SLIDER, "Slider_Size", u"", u"");
  KA_RibbonElement button = direct::RibbonAddControl(panel, KS_RIBBON_BUTTON, "Button_Plain", u"", u"");
  ASSERT_TRUE(slider && button);
  EXPECT_EQ(direct::RibbonAddControl(panel, KS_RIBBON_SLIDER + 1, "Unknown_Kind", u"", u""), nullptr);
  ASSERT_EQ(direct::RibbonSetSliderRange(slider, 1, 30), 1);
  EXPECT_EQ(direct::RibbonSetSliderRange(slider, 5, 2), 0);
  EXPECT_EQ(direct::RibbonSetSliderRange(button, 1, 2), 0);
  ASSERT_EQ(direct::RibbonSetSliderValue(slider, 8), 1);
  EXPECT_EQ(direct::RibbonGetSliderValue(slider), 8);
  std::vector<int> told;
  direct::RibbonSetPressProc(
      slider, [](void* cd, KA_RibbonElement e) { static_cast<std::vector<int>*>(cd)->push_back(direct::RibbonGetSliderValue(e)); },
      &told);
  std::string error;
  struct Case {
    int value;
    int expected;
  } cases[] = {{12, 12}, {0, 1}, {45, 30}, {-3, 1}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Ribbon::Get().Slide("Slider_Size", c.value, &error)) << error;
    EXPECT_EQ(direct::RibbonGetSliderValue(slider), c.expected);
    EXPECT_EQ(told.back(), c.expected);
  }
  EXPECT_FALSE(Ribbon::Get().Slide("Button_Plain", 3, &error));
  EXPECT_EQ(error, "ribbon control 'Button_Plain' is not a slider");
  direct::RibbonSetEnabled(parent, 0);
  EXPECT_FALSE(Ribbon::Get().Slide("Slider_Size", 20, &error));
  EXPECT_EQ(direct::RibbonGetSliderValue(slider), 1);
  EXPECT_EQ(told.size(), 4u);
}

// A contextual tab is made hidden and is shown for a named context (what
// each change traces is checked through sessions of the Format tab); it is
// no editor category, its controls press like any other, and it can be
// taken away with what it holds.
TEST_F(RibbonTest, ContextualTabShowsForAContextAndGoesAway) {
  std::vector<std::string> trace;
  Editor::Get().SetTrace([&](const std::string& line) { trace.push_back(line); });
  KA_RibbonElement tab = direct::RibbonAddContextCategory(AnyFrame(), "Format", u"Format");
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(direct::RibbonAddContextCategory(AnyFrame(), "Format", u"again"), nullptr);
  EXPECT_EQ(direct::RibbonFindContextCategory(AnyFrame(), "Format"), tab);
  EXPECT_EQ(direct::RibbonGetCategory(AnyFrame(), "Format"), nullptr);
  KA_RibbonElement group = direct::RibbonAddPanel(tab, "Measure_Group_Snap", u"Snap", 0);
  KA_RibbonElement check = direct::RibbonAddControl(group, KS_RIBBON_CHECK_BUTTON, "Snap_End", u"End", u"");
  ASSERT_TRUE(group && check);
  int presses = 0;
  direct::RibbonSetPressProc(check, [](void* cd, KA_RibbonElement) { ++*static_cast<int*>(cd); }, &presses);

  KS_ByteString__ context;
  EXPECT_EQ(direct::RibbonGetContextCategoryShown(tab, &context), 0);
  for (const char* shown : {"Format_Measure_Line", "Format_Measure_Shape"}) {
    ASSERT_EQ(direct::RibbonShowContextCategory(tab, shown), 1);
    EXPECT_EQ(direct::RibbonGetContextCategoryShown(tab, &context), 1);
    EXPECT_EQ(context.text, shown);
  }
  for (const char* hidden : {static_cast<const char*>(nullptr), ""}) {
    ASSERT_EQ(direct::RibbonShowContextCategory(tab, hidden), 1);
    context.text.clear();
    EXPECT_EQ(direct::RibbonGetContextCategoryShown(tab, &context), 0);
    EXPECT_EQ(context.text, "");
  }
  // Only contextual tabs are shown and hidden.
  EXPECT_EQ(direct::RibbonShowContextCategory(direct::RibbonGetCategory(AnyFrame(), "Ribbon_Category_Review"), "X"), 0);

  std::string error;
  EXPECT_TRUE(Ribbon::Get().Press("Snap_End", &error)) << error;
  EXPECT_EQ(presses, 1);
  direct::RibbonShowContextCategory(tab, "Format_Measure_Line");
  EXPECT_EQ(direct::RibbonRemove(tab), 1);
  EXPECT_EQ(trace.back(), "ribbon: contextual Format hidden");
  EXPECT_EQ(direct::RibbonFindContextCategory(AnyFrame(), "Format"), nullptr);
  EXPECT_EQ(direct::RibbonFindControl(AnyFrame(), "Snap_End"), nullptr);
  Editor::Get().SetTrace(nullptr);
}

}  // namespace
}  // namespace kshost
