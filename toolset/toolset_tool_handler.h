// The page tool that places a stored tool: armed by the tool chest, it
// follows the pointer with a preview of the tool drawn from its own
// appearance at the page's scale and places an identical annotation (with
// its group) where the left button is released.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "plugin/annot_tool_handler.h"
#include "toolset/annot_toolset.h"
#include "toolset/tool_preview.h"

namespace AnnotationPlugin {

class CAnnot_ToolsetToolHandler : public CAnnot_ToolHandler {
 public:
  std::string GetName() const override { return "ANNOT_TOOLSET"; }
  void SetTool(const std::shared_ptr<CAnnot_ToolSet>& toolset, const std::shared_ptr<CAnnot_Tool>& tool);
  void ClearTool();
  bool HasTool() const { return !tool_.expired(); }
  // The placed copies the preview draws from (shared with the tool chest);
  // without them the preview is the outline of the tool's box.
  void SetPreviews(std::shared_ptr<CToolPreviews> previews) { previews_ = std::move(previews); }

  void OnActivate(bool persistent) override;
  void OnDeactivate() override;
  bool IsBusy() override { return busy_; }
  bool OnLButtonDown(KA_PageView, uint32_t, const KS_DevicePoint&) override { return HasTool(); }
  bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonDblClk(KA_PageView, uint32_t, const KS_DevicePoint&) override { return false; }
  bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonDown(KA_PageView, uint32_t, const KS_DevicePoint&) override { return false; }
  bool OnRButtonUp(KA_PageView, uint32_t, const KS_DevicePoint&) override { return false; }
  bool OnRButtonDblClk(KA_PageView, uint32_t, const KS_DevicePoint&) override { return false; }
  bool OnMouseWheel(KA_PageView, uint32_t, int16_t, const KS_DevicePoint&) override { return false; }
  void OnPaint(KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) override;

  // Called when the tool lets go of what it was armed with: after a
  // placement when the tool is not kept selected, and when another tool
  // becomes current.
  std::function<void()> onDeselect;

 private:
  void InvalidatePreview();

  std::weak_ptr<CAnnot_ToolSet> toolset_;
  std::weak_ptr<CAnnot_Tool> tool_;
  bool keepSelected_ = true;
  bool tracking_ = false;
  bool busy_ = false;
  KA_PageView previewView_ = nullptr;
  KS_FloatRect previewBox_{};  // page space, what the preview covers
  KS_FloatPoint previewAt_{};  // the pointer on the page
  int previewRotation_ = 0;    // of the page under the pointer
  std::shared_ptr<CToolPreviews> previews_;
};

}  // namespace AnnotationPlugin
