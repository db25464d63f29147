#include "serve/tool_prompt.h"

#include <gtest/gtest.h>

#include <string>

namespace annotserve {
namespace {

std::string Key(std::string_view tool, bool busy, int clicks) {
  const char* key = ToolPromptKey(tool, busy, clicks);
  return key ? key : "";
}

TEST(ToolPrompt, EachStepOfAGestureAsksForTheNextOne) {
  struct Case {
    const char* tool;
    bool busy;
    int clicks;
    const char* key;
  } cases[] = {
      {"DISTANCE", false, 0, "IDS_EDITOR_PROMPT_FIRST_POINT"},
      {"DISTANCE", true, 1, "IDS_EDITOR_PROMPT_END_POINT"},
      {"DISTANCE", true, 2, "IDS_EDITOR_PROMPT_LEADER"},
      // Idle again after the measurement: clicks of the last gesture do not count.
      {"DISTANCE", false, 2, "IDS_EDITOR_PROMPT_FIRST_POINT"},
      {"Perimeter", true, 1, "IDS_EDITOR_PROMPT_NEXT_POINT"},
      {"Perimeter", true, 2, "IDS_EDITOR_PROMPT_NEXT_OR_FINISH"},
      {"Area", true, 2, "IDS_EDITOR_PROMPT_NEXT_POINT"},
      {"Area", true, 3, "IDS_EDITOR_PROMPT_NEXT_OR_FINISH"},
      {"CircleArea", false, 0, "IDS_EDITOR_PROMPT_DRAG_CORNER"},
      {"CircleArea", true, 1, "IDS_EDITOR_PROMPT_RELEASE_CORNER"},
      {"ANGLE", true, 1, "IDS_EDITOR_PROMPT_ANGLE_VERTEX"},
      {"ANGLE", true, 2, "IDS_EDITOR_PROMPT_ANGLE_OTHER"},
      {"3POINTRADIUS", true, 2, "IDS_EDITOR_PROMPT_CIRCLE_THIRD"},
      {"CENTERRADIUS", true, 1, "IDS_EDITOR_PROMPT_RADIUS_END"},
      {"Hand", false, 0, "IDS_EDITOR_PROMPT_SELECT"},
      {"Stamp", false, 0, "IDS_EDITOR_PROMPT_STAMP"},
      {"Attach", false, 0, "IDS_EDITOR_PROMPT_ATTACH"},
      // The comment tools ask by their gesture; a polyline can end after
      // two points, a polygon or cloud after three.
      {"Rectangle", false, 0, "IDS_EDITOR_PROMPT_DRAG_BOX"},
      {"Arrow", false, 0, "IDS_EDITOR_PROMPT_DRAG_LINE"},
      {"Polyline", true, 2, "IDS_EDITOR_PROMPT_NEXT_OR_FINISH"},
      {"Cloud", true, 2, "IDS_EDITOR_PROMPT_NEXT_POINT"},
      {"Cloud", true, 3, "IDS_EDITOR_PROMPT_NEXT_OR_FINISH"},
      {"Highlighter", false, 0, "IDS_EDITOR_PROMPT_FREEHAND"},
      {"StrikeOut", false, 0, "IDS_EDITOR_PROMPT_TEXT_MARKUP"},
      {"Caret", false, 0, "IDS_EDITOR_PROMPT_CARET"},
      // Tool names are compared exactly, as the host does.
      {"perimeter", false, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Key(c.tool, c.busy, c.clicks), c.key) << c.tool << " " << c.clicks;
}

TEST(ToolPrompt, PressesAreCountedFromTheOneThatStartedTheGesture) {
  GestureClicks clicks;
  clicks.After(false, false, false);  // a move while idle
  EXPECT_EQ(clicks.Count(), 0);
  clicks.After(true, false, true);  // the first point
  clicks.After(false, true, true);  // moves do not count
  EXPECT_EQ(clicks.Count(), 1);
  clicks.After(true, true, true);
  EXPECT_EQ(clicks.Count(), 2);
  clicks.After(true, true, false);  // the last point ends it
  EXPECT_EQ(clicks.Count(), 0);
  // A press that starts a gesture after another counts from one again.
  clicks.After(true, false, true);
  EXPECT_EQ(clicks.Count(), 1);
}

}  // namespace
}  // namespace annotserve
