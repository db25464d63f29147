// The calibration tool ("CALIBRATION"): two clicks measure a length on
// the page, the page-scale dialog opens with that length, and the ratio the
// user confirms becomes the page's scale, as one undo step. Both ends snap
// to the drawing's end points, midpoints and crossings while snapping is on
// (a point on a line is no feature to calibrate against); Shift instead
// keeps the line on multiples of 45 degrees. Afterwards the "Hand" tool is
// made current.
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
  // The page point of the device point `pt`: snapped, or with Shift on
  // the 45-degree line from the start once the gesture started. False when
  // `pt` has no page point.
  bool PagePoint(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt, KS_FloatPoint* out) const;
  void Repaint();
  // Ends the gesture with its two points: the dialog, then the scale.
  void Finish();

  KA_PageView view_ = nullptr;
  std::vector<KS_FloatPoint> points_;  // start, then the moving end
  bool started_ = false;
  bool markerShown_ = false;  // a snap marker is up before the first click
};

// Whether the calibration tip is shown when the tool is chosen.
bool CalibrationTipEnabled();

}  // namespace AnnotationPlugin
