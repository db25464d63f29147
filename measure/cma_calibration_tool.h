// The calibration tool ("CALIBRATION"): two clicks measure a length on
// the page, the page-scale dialog opens with that length, and the ratio the
// user confirms becomes the page's scale, as one undo step. Shift keeps
// the line on multiples of 45 degrees. Afterwards the "Hand" tool is made
// current.
#pragma once

#include <vector>

#include "measure/cma_measure_tool.h"

namespace AnnotationPlugin {

class CMA_CalibrationTool final : public CMA_MeasureToolBase {
 public:
  CMA_CalibrationTool() : CMA_MeasureToolBase(kMeasureNone) {}

  std::string GetName() const override { return "CALIBRATION"; }
  // Offers the calibration tip while "ShowCalibrateTip" (section
  // "Measurement") is 1; its check box turns the tip off.
  void OnActivate(bool persistent) override;
  void OnDeactivate() override { Cancel(); }
  bool OnKeyDown(int32_t key, uint32_t flags) override;
  bool IsBusy() override { return started_; }
  bool OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override { return started_; }
  bool OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override { return started_; }
  bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  void OnPaint(KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) override;

  // Drops a gesture in progress.
  void Cancel();

 private:
  KS_FloatPoint Moved(uint32_t flags, KS_FloatPoint p) const;
  void Repaint();
  // Ends the gesture with its two points: the dialog, then the scale.
  void Finish();

  KA_PageView view_ = nullptr;
  std::vector<KS_FloatPoint> points_;  // start, then the moving end
  bool started_ = false;
};

// Whether the calibration tip is shown when the tool is chosen.
bool CalibrationTipEnabled();

}  // namespace AnnotationPlugin
