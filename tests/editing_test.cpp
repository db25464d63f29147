// Editing a line in a session: the Hand tool selects it by a click and drags
// it through the plug-in's line handler; undo gives the file's annotation
// back as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/shape_pdf_support.h"
#include "tests/test_support.h"

using namespace testing_support;

namespace {

// The first annotation of a saved file: some keys and its normal appearance.
struct SavedLine {
  std::vector<float> rect, line;
  std::string appearance;
};

SavedLine ReadLine(const std::string& path) {
  SavedPdf saved(path);
  return {saved.Numbers(0, "/Rect"), saved.Numbers(0, "/L"), saved.Appearance(0)};
}

class EditingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    // A red line whose rectangle is the one its appearance would get, with
    // an appearance of another program's.
    ASSERT_EQ(WriteShapePdf(in_, 612, 792,
                            {"<< /Type /Annot /Subtype /Line /Rect [106 116 194 124] /L [110 120 190 120] "
                             "/C [1 0 0] /NM (line1) /AP << >> >>"}),
              "");
  }
  CommandResult Run(const std::string& script) {
    std::string path = dir_.Write("session.txt", script);
    return Shell(AnnotIn(dir_) + " run " + Quote(path) + " -i " + Quote(in_) + " -o " + Quote(out_) + " --trace");
  }

  TempDir dir_;
  std::string in_ = dir_ / "in.pdf", out_ = dir_ / "out.pdf";
};

// Grabbed left of the middle: the line's rectangle is thin, and its top and
// bottom frame handles sit at the middle.
const char* const kDragRight =
    "tool Hand\n"
    "click 130 120\n"
    "expect selected 1\n"
    "expect focused line1\n"
    "drag 130 120 180 120\n";

// Dragged, the line moves fifty points with a new appearance; undo gives
// it back as it was, with the appearance of the other program.
TEST_F(EditingSession, DraggingALineMovesItFiftyPointsAndUndoLeavesItAsItWas) {
  const std::string moved = dir_ / "moved.pdf";
  CommandResult r = Run(std::string(kDragRight) + "save \"" + moved + "\"\nundo\nsave\n");
  ASSERT_EQ(r.status, 0) << r.output;
  SavedLine saved = ReadLine(moved);
  EXPECT_EQ(saved.line, (std::vector<float>{160, 120, 240, 120}));
  EXPECT_EQ(saved.rect, (std::vector<float>{156, 116, 244, 124}));
  EXPECT_NE(saved.appearance.find("160.000 120.000 m"), std::string::npos) << saved.appearance;
  // One undo step, and the focused line outlined in red by its handler.
  EXPECT_NE(r.output.find("undo: push \"Move\"\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("draw: rect 156 668 244 676 pen #FF0000 1\n"), std::string::npos) << r.output;

  SavedLine undone = ReadLine(out_), original = ReadLine(in_);
  EXPECT_EQ(undone.line, original.line);
  EXPECT_EQ(undone.rect, original.rect);
  EXPECT_EQ(undone.appearance, OldAppearance());
  EXPECT_NE(r.output.find("undo: undo \"Move\"\n"), std::string::npos) << r.output;
}

// The editor's own undo steps are named in the user's language.
TEST_F(EditingSession, TheEditorsUndoStepsSpeakTheUsersLanguage) {
  CommandResult r = Run(std::string("language de-DE\n") + kDragRight + "command 1\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("undo: push \"Verschieben\"\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("undo: push \"L\u00f6schen\"\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("\"Move\""), std::string::npos) << r.output;
}

}  // namespace
