// The depth of volumes in the browser: the Format tab's depth button names
// the volume tool's depth, or a selected volume's, and its dialog, answered
// from the page, changes it.
#include "serve/serve_test_support.h"

namespace {

using namespace annotserve::testing;

// The title of a ribbon control in a state; empty when there is none.
std::string Title(const std::string& state, const std::string& name) {
  const std::string key = "\"name\":\"" + name + "\",\"title\":\"";
  const size_t at = state.find(key);
  if (at == std::string::npos) return {};
  const size_t from = at + key.size();
  return state.substr(from, state.find('"', from) - from);
}

class ServeDepthTest : public ServeTest {
 protected:
  // Presses the depth button and answers its dialog from the page with
  // `values` (v.ELEMENT=VALUE&...); the dialog as it was offered.
  std::string AnswerDepth(const std::string& values) {
    int status = 0;
    std::thread press = PostAside(server_, "/api/press?id=Measure_Prop_Depth", &status);
    const std::string modal = WaitForModal(server_, "dialog");
    auto answered = Post("/api/answer", "id=" + Field(modal, "id") + "&result=1&" + values);
    press.join();
    EXPECT_TRUE(answered && answered->status == 200);
    EXPECT_EQ(status, 200);
    return modal;
  }
};

TEST_F(ServeDepthTest, TheDepthButtonShowsAndChangesTheToolsAndTheSelectedVolumesDepth) {
  ASSERT_EQ(Post("/api/press", "id=Button_Volume")->status, 200);
  EXPECT_EQ(Title(State(), "Measure_Prop_Depth"), "Depth 1");
  const std::string offered = AnswerDepth("v.lineEditDepth=50&v.comboBoxDepthUnit=cm");
  EXPECT_NE(offered.find("\"layout\":\"ma_dlg_depth.ui.kw\""), std::string::npos) << offered;
  EXPECT_EQ(Title(State(), "Measure_Prop_Depth"), "Depth 50 cm");

  // A volume over the bath (device y runs down the 595-point page), then
  // selected by the Hand tool: the button names its depth.
  Events({"kind=down&page=0&x=367&y=215", "kind=up&page=0&x=367&y=215", "kind=down&page=0&x=530&y=215",
          "kind=up&page=0&x=530&y=215", "kind=down&page=0&x=530&y=69", "kind=up&page=0&x=530&y=69",
          "kind=dblclick&page=0&x=367&y=69"});
  ASSERT_EQ(Field(State(), "undo"), "1");
  ASSERT_EQ(Post("/api/tool", "name=Hand")->status, 200);
  Events({"kind=down&page=0&x=450&y=145", "kind=up&page=0&x=450&y=145"});
  EXPECT_EQ(Title(State(), "Measure_Prop_Depth"), "Depth 50 cm");

  // Its depth changed from the page is one more undo step.
  AnswerDepth("v.lineEditDepth=1.5&v.comboBoxDepthUnit=m");
  const std::string state = State();
  EXPECT_EQ(Title(state, "Measure_Prop_Depth"), "Depth 1.5 m");
  EXPECT_EQ(Field(state, "undo"), "2");
}

}  // namespace
