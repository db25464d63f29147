// One comment tool of the editor: it turns a gesture on a page into an
// annotation made through the annotation library's model, whose generators
// draw its appearance. Each creation is one undo step and leaves the new
// annotation selected, named (/NM), signed by the user (/T) and dated.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "comment/ccm_tool_table.h"
#include "plugin/annot_tool_handler.h"

namespace kwannotation {
class CKW_Annot;
}

namespace AnnotationComment {

// The style a tool uses now: its defaults, overridden by what its
// preference section holds (Color, FillColor as "#RRGGBB", empty for none;
// Width; Opacity in percent; FontName; FontSize).
CommentStyle ReadCommentStyle(const CommentToolInfo& tool);
// Keeps `style` as the tool's style for next time.
void WriteCommentStyle(const CommentToolInfo& tool, const CommentStyle& style);

class CCM_CommentTool final : public AnnotationPlugin::CAnnot_ToolHandler {
 public:
  explicit CCM_CommentTool(const CommentToolInfo& info) : info_(info) {}
  ~CCM_CommentTool() override = default;

  const CommentToolInfo& Info() const { return info_; }
  std::string GetName() const override { return info_.name; }
  void OnActivate(bool persistent) override;
  void OnDeactivate() override;
  bool IsUsableNow() override { return CurrentDocumentAllowsAnnotEdits(); }
  bool IsBusy() override { return started_; }
  bool OnKeyDown(int32_t key, uint32_t flags) override;
  bool OnChar(int32_t key, uint32_t flags) override;
  bool OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonDown(KA_PageView, uint32_t, const KS_DevicePoint&) override { return started_; }
  bool OnRButtonUp(KA_PageView, uint32_t, const KS_DevicePoint&) override;
  bool OnRButtonDblClk(KA_PageView, uint32_t, const KS_DevicePoint&) override { return started_; }
  bool OnMouseWheel(KA_PageView, uint32_t, int16_t, const KS_DevicePoint&) override { return false; }
  void OnPaint(KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) override;

  // The stamp this tool places: a standard name, or a text of the user's
  // own (drawn in capitals). Kept in the tool's preference section.
  void SetStampName(const std::string& name);
  // Asks for the text of a stamp of the user's own in the dialog
  // "ccm_custom_stamp.ui.kw" (lineEditStampText, filled with the text in
  // use unless that is a standard name) and makes it the stamp placed;
  // false, nothing changed, when cancelled or given no text.
  bool AskStampText();
  // The frame whose ribbon button shows the tool pressed while current.
  void SetFrame(KA_Frame frame) { frame_ = frame; }
  // Lets go of the gesture, the typing and the ink group on `doc`, which
  // is about to close.
  void ForgetDocument(KA_Document doc);

 private:
  bool ToPage(KA_PageView view, const KS_DevicePoint& pt, KS_FloatPoint* out) const;
  void Invalidate() const;
  void Drop();
  // Ends the figure; false when it made nothing.
  bool Finish(uint32_t flags);
  // The annotation of the finished figure, made on the gesture's page.
  bool Create(const std::vector<KS_FloatPoint>& points, uint32_t flags);
  // Names, signs, dates, draws, records and selects a new annotation.
  void Commit(const std::shared_ptr<kwannotation::CKW_Annot>& annot, int pageIndex);
  // Typing into the text annotation just made.
  void EndTyping();
  void TypeText(const std::u16string& text);
  bool EditingAlive() const;
  // A line where the next letter goes, in the tool's colour, while typing.
  void PaintCaret(KA_PageView view, KA_Device device) const;
  void RefreshTyped();
  // Ink: a stroke joins the group of the last one unless the tool was left
  // or two seconds went by since it ended.
  bool AddStroke(const std::vector<KS_FloatPoint>& stroke);

  const CommentToolInfo& info_;
  KA_Frame frame_ = nullptr;
  KA_PageView view_ = nullptr;
  bool started_ = false;
  std::vector<KS_FloatPoint> points_;  // the last follows the pointer
  std::chrono::steady_clock::time_point strokeStarted_{};
  uint32_t flags_ = 0;
  // Typing.
  std::shared_ptr<kwannotation::CKW_Annot> typing_;
  KA_Document typingDoc_ = nullptr;
  int typingPage_ = -1;
  std::u16string typed_;
  KS_FloatPoint typingOrigin_{};
  // Ink group.
  std::shared_ptr<kwannotation::CKW_Annot> ink_;
  KA_Document inkDoc_ = nullptr;
  int inkPage_ = -1;
  std::chrono::steady_clock::time_point inkEnded_{};
};

}  // namespace AnnotationComment
