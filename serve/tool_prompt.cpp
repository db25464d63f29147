#include "serve/tool_prompt.h"

#include <string>

#include "comment/ccm_tool_table.h"

namespace annotserve {

const char* ToolPromptKey(std::string_view tool, bool busy, int clicks) {
  if (!busy) clicks = 0;
  if (tool == "Hand" || tool == "Annot") return "IDS_EDITOR_PROMPT_SELECT";
  if (tool == "DISTANCE" || tool == "CALIBRATION") {
    if (clicks == 0) return "IDS_EDITOR_PROMPT_FIRST_POINT";
    // A press after the end point while still drawing: the leader.
    return clicks == 1 ? "IDS_EDITOR_PROMPT_END_POINT" : "IDS_EDITOR_PROMPT_LEADER";
  }
  if (tool == "Perimeter" || tool == "POLYLENGTH" || tool == "Area" || tool == "VOLUME") {
    if (clicks == 0) return "IDS_EDITOR_PROMPT_FIRST_POINT";
    // A line needs two points, a figure with an area three, before it can
    // be finished.
    const int least = tool == "Area" || tool == "VOLUME" ? 3 : 2;
    return clicks < least ? "IDS_EDITOR_PROMPT_NEXT_POINT" : "IDS_EDITOR_PROMPT_NEXT_OR_FINISH";
  }
  if (tool == "CircleArea" || tool == "DIAMETER")
    return clicks == 0 ? "IDS_EDITOR_PROMPT_DRAG_CORNER" : "IDS_EDITOR_PROMPT_RELEASE_CORNER";
  if (tool == "CENTERRADIUS") return clicks == 0 ? "IDS_EDITOR_PROMPT_CENTRE" : "IDS_EDITOR_PROMPT_RADIUS_END";
  if (tool == "3POINTRADIUS")
    return clicks == 0 ? "IDS_EDITOR_PROMPT_CIRCLE_FIRST"
           : clicks == 1 ? "IDS_EDITOR_PROMPT_CIRCLE_SECOND"
                         : "IDS_EDITOR_PROMPT_CIRCLE_THIRD";
  if (tool == "ANGLE")
    return clicks == 0 ? "IDS_EDITOR_PROMPT_ANGLE_END"
           : clicks == 1 ? "IDS_EDITOR_PROMPT_ANGLE_VERTEX"
                         : "IDS_EDITOR_PROMPT_ANGLE_OTHER";
  if (tool == "Rubber") return "IDS_EDITOR_PROMPT_ERASE";
  if (tool == "ANNOT_TOOLSET") return "IDS_EDITOR_PROMPT_PLACE";
  using AnnotationComment::CommentGesture;
  const AnnotationComment::CommentToolInfo* comment = AnnotationComment::FindCommentTool(std::string(tool));
  if (!comment) return nullptr;
  switch (comment->gesture) {
    case CommentGesture::kBox: return "IDS_EDITOR_PROMPT_DRAG_BOX";
    case CommentGesture::kLine: return "IDS_EDITOR_PROMPT_DRAG_LINE";
    case CommentGesture::kVertices: {
      if (clicks == 0) return "IDS_EDITOR_PROMPT_FIRST_POINT";
      const int least = comment->subtype == std::string_view("PolyLine") ? 2 : 3;
      return clicks < least ? "IDS_EDITOR_PROMPT_NEXT_POINT" : "IDS_EDITOR_PROMPT_NEXT_OR_FINISH";
    }
    case CommentGesture::kFreehand: return "IDS_EDITOR_PROMPT_FREEHAND";
    case CommentGesture::kTextBox: return "IDS_EDITOR_PROMPT_TEXT_BOX";
    case CommentGesture::kTypewriter: return "IDS_EDITOR_PROMPT_TYPEWRITER";
    case CommentGesture::kCallout: return "IDS_EDITOR_PROMPT_CALLOUT";
    case CommentGesture::kNote: return "IDS_EDITOR_PROMPT_NOTE";
    case CommentGesture::kTextMarkup: return "IDS_EDITOR_PROMPT_TEXT_MARKUP";
    case CommentGesture::kCaret: return "IDS_EDITOR_PROMPT_CARET";
    case CommentGesture::kStamp: return "IDS_EDITOR_PROMPT_STAMP";
    case CommentGesture::kAttach: return "IDS_EDITOR_PROMPT_ATTACH";
  }
  return nullptr;
}

}  // namespace annotserve
