// Editing annotations in a session: the "Hand" tool, commands and the trace,
// with the real plug-in on a real file.
#include <gtest/gtest.h>

#include <string>

#include "host/host_functions.h"
#include "tests/test_support.h"

using namespace testing_support;
namespace direct = kshost::direct;

namespace {

const char kSample[] = "itext_annotation-with-popup_LineDimension.pdf";

// The /L and /Rect numbers of the first annotation of page 1 of a file.
struct LineState {
  std::vector<float> line;
  KS_FloatRect rect{};
};

LineState ReadLine(const std::string& path) {
  LineState state;
  KPD_Document doc = direct::DocOpenFile(path.c_str(), nullptr);
  if (!doc) return state;
  KPD_Dictionary annot = direct::PageGetAnnot(direct::DocGetPage(doc, 0), 0);
  float l[4] = {};
  if (direct::ArrayGetNumbers(direct::DictGet(annot, "/L"), l, 4) == 4) state.line.assign(l, l + 4);
  direct::RectFromObject(direct::DictGet(annot, "/Rect"), &state.rect);
  direct::DocClose(doc);
  return state;
}

class EditSessionTest : public ::testing::Test {
 protected:
  std::string Annot(const std::string& args) {
    return "XDG_CONFIG_HOME=" + Quote(home_ / "config") + " XDG_DATA_HOME=" + Quote(home_ / "data") + " " +
           Quote(AnnotPath()) + " " + args;
  }
  CommandResult Run(const std::string& script, const std::string& in, const std::string& out,
                    const std::string& options = "") {
    return Shell(Annot("run " + Quote(dir_.Write("edit.session", script)) + " -i " + Quote(in) + " -o " +
                       Quote(out) + options));
  }
  TempDir home_;
  TempDir dir_;
};

// Clicking the line with the hand tool selects it; dragging it 50 points to
// the right moves its geometry by exactly that; undo before saving leaves it
// as it was.
TEST_F(EditSessionTest, HandToolDragMovesALineAndUndoPutsItBack) {
  const std::string in = SharedPdf(kSample);
  if (!Exists(in)) GTEST_SKIP() << "no shared samples";
  const LineState before = ReadLine(in);
  ASSERT_EQ(before.line.size(), 4u);
  const std::string select =
      "tool Hand\nclick 200 694.661\nexpect selected 1\nexpect focused 4d4d1922-1839-464b-b120-d32a15e97e4d\n";

  const std::string moved = dir_ / "moved.pdf";
  CommandResult r = Run(select + "drag 200 694.661 250 694.661\n", in, moved, " --trace");
  ASSERT_EQ(r.status, 0) << r.output;
  const LineState after = ReadLine(moved);
  ASSERT_EQ(after.line.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(after.line[i], before.line[i] + (i % 2 == 0 ? 50 : 0)) << i;
  EXPECT_LE(after.rect.left, after.line[0]);
  EXPECT_GE(after.rect.right, after.line[2]);
  EXPECT_GT(after.rect.left, before.rect.left + 25);
  EXPECT_NE(r.output.find("undo: push \""), std::string::npos) << r.output;
  // The selected line is outlined in red, one pixel wide.
  EXPECT_NE(r.output.find(" pen #FF0000 1\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("draw: rect"), r.output.find("draw: "));

  const std::string undone = dir_ / "undone.pdf";
  r = Run(select + "drag 200 694.661 250 694.661\nundo\nexpect selected 1\n", in, undone, " --trace");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("undo: undo \""), std::string::npos) << r.output;
  const LineState back = ReadLine(undone);
  EXPECT_EQ(back.line, before.line);
  EXPECT_EQ(back.rect.left, before.rect.left);
  EXPECT_EQ(back.rect.top, before.rect.top);
}

TEST_F(EditSessionTest, CommandsDeleteAndRotateTheSelection) {
  const std::string in = SharedPdf(kSample);
  if (!Exists(in)) GTEST_SKIP() << "no shared samples";
  const std::string out = dir_ / "out.pdf";
  // The line's pop-up note goes with it, and comes back with it.
  CommandResult r = Run("select 4d4d1922-1839-464b-b120-d32a15e97e4d\ncommand 1\nexpect annots 1 0\n"
                        "expect selected 0\nundo\nexpect annots 1 2\nredo\n",
                        in, out);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(Shell(Annot("info " + Quote(out))).output.find("0 annotations"), std::string::npos);

  r = Run("select 4d4d1922-1839-464b-b120-d32a15e97e4d\ncommand 4\n", in, out);
  ASSERT_EQ(r.status, 0) << r.output;
  const LineState turned = ReadLine(out), before = ReadLine(in);
  ASSERT_EQ(turned.line.size(), 4u);
  // A quarter turn about the centre of /Rect makes the horizontal line upright.
  EXPECT_NEAR(turned.line[0], turned.line[2], 0.01);
  EXPECT_NEAR(std::abs(turned.line[3] - turned.line[1]), before.line[2] - before.line[0], 0.01);
}

// Nothing to act on, or a command the editor does not have: the run stops
// at that line with the reason and saves nothing.
TEST_F(EditSessionTest, EditingLinesThatCannotRunSayWhy) {
  const std::string plan = dir_ / "plan.pdf";
  ASSERT_EQ(Shell(Annot("sample floorplan -o " + Quote(plan))).status, 0);
  const std::pair<const char*, const char*> cases[] = {
      {"command 1\n", ":1: nothing is selected"},
      {"command x\n", ":1: usage: command N"},
      {"rotate 90\n", ":1: no annotation is focused"},
      {"select nobody\n", ":1: no annotation is named 'nobody'"},
      {"expect selected 2\n", ":1: 0 annotations are selected, expected 2"},
      {"expect focused a\n", ":1: no annotation is focused, expected 'a'"},
      {"drag 1 2 3\n", ":1: usage: drag X1 Y1 X2 Y2 [shift] [ctrl]"},
      {"drag 1 2 3 4 alt\n", ":1: expected shift or ctrl, not 'alt'"},
  };
  for (auto [text, message] : cases) {
    const std::string out = dir_ / "out.pdf";
    CommandResult r = Run(text, plan, out);
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_NE(r.output.find("edit.session" + std::string(message)), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(out)) << text;
  }
  const std::string in = SharedPdf(kSample);
  if (!Exists(in)) return;
  CommandResult r = Run("select 4d4d1922-1839-464b-b120-d32a15e97e4d\ncommand 7\n", in, dir_ / "out.pdf");
  EXPECT_NE(r.output.find(":2: unknown command 7"), std::string::npos) << r.output;
}

}  // namespace
