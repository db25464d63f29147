#include "measure/cma_calibration_tool.h"

#include <cmath>

#include "measure/cma_osnap.h"
#include "measure/cma_page_scale_dlg.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"
#include "tessel/dialog.h"

namespace AnnotationPlugin {
namespace {

constexpr int kEscape = 27;
constexpr double kMinLength = 2.0;  // page units
constexpr char16_t kTipSection[] = u"Measurement";
constexpr char16_t kTipKey[] = u"ShowCalibrateTip";

bool IsCurrentTool(const std::string& name) {
  KA_Tool tool = Host::AppGetCurrentTool();
  Host::ByteString current;
  return tool && Host::ToolGetName(tool, current.get()) && current.str() == name;
}

}  // namespace

bool CalibrationTipEnabled() { return Host::PrefGetInt(kTipSection, kTipKey, 1) == 1; }

void CMA_CalibrationTool::OnActivate(bool) {
  if (!CalibrationTipEnabled()) return;
  const std::u16string tip = Widgets::Translate("IDS_STR_CALIBRATION_TOOLTIP");
  Host::AppShowMessageTip(tip.c_str());
  Tessel::Dialog dialog(u"ma_dlg_calibrate_tip.ui.kw", nullptr);
  if (auto label = dialog.GetElement<Tessel::Label>(u"labelTip")) label->SetText(tip);
  auto check = dialog.GetElement<Tessel::CheckBox>(u"checkBoxDontShow");
  if (check) check->SetText(Widgets::Translate("IDS_STR_DONOT_SHOW_AGAIN"));
  dialog.DoModal();
  if (check && check->GetCheck()) Host::PrefSetInt(kTipSection, kTipKey, 0);
}

void CMA_CalibrationTool::Repaint() {
  if (!view_) return;
  Host::AppDocInvalidateRect(Host::PageViewGetDocument(view_), Host::PageViewGetPageIndex(view_), nullptr);
}

void CMA_CalibrationTool::Cancel() {
  Host::SnapClear();
  markerShown_ = false;
  if (!started_) return;
  Repaint();
  started_ = false;
  points_.clear();
  view_ = nullptr;
}

bool CMA_CalibrationTool::OnKeyDown(int32_t key, uint32_t) {
  if (key != kEscape || !started_) return false;
  Cancel();
  return true;
}

bool CMA_CalibrationTool::PagePoint(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt,
                                    KS_FloatPoint* out) const {
  if (!view || !Host::PageViewDeviceToPage(view, pt, out)) return false;
  if (flags & KS_FLAG_SHIFT) {
    Host::SnapClear();
    if (started_ && !points_.empty()) *out = ConstrainTo45(points_.front(), *out);
    return true;
  }
  KS_FloatPoint snapped = *out;
  const bool fromStart = started_ && !points_.empty();
  if (SnapPoint(view, pt, fromStart, fromStart ? points_.front() : KS_FloatPoint{}, &snapped) == KS_SNAP_NEAR)
    Host::SnapClear();  // no marker where the point will not go
  else
    *out = snapped;
  return true;
}

bool CMA_CalibrationTool::OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  KS_FloatPoint p{};
  if (!started_) {
    if (!IsUsableNow() || !PagePoint(view, flags, pt, &p) || !OnPage(view, p)) return false;
    view_ = view;
    points_ = {p, p};
    started_ = true;
    Repaint();
    return true;
  }
  if (view != view_) return true;
  if (!PagePoint(view, flags, pt, &p)) return true;
  points_.back() = p;
  Finish();
  return true;
}

bool CMA_CalibrationTool::OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_) {
    // Before the first click the marker shows where it would land.
    KS_FloatPoint p{};
    const bool marked = PagePoint(view, flags, pt, &p) && Host::SnapGetResult(nullptr, nullptr) != 0;
    if (view && (marked || markerShown_))
      Host::AppDocInvalidateRect(Host::PageViewGetDocument(view), Host::PageViewGetPageIndex(view), nullptr);
    markerShown_ = marked;
    return false;
  }
  if (view != view_) return false;
  KS_FloatPoint p{};
  if (!PagePoint(view, flags, pt, &p)) return true;
  points_.back() = p;
  Repaint();
  return true;
}

bool CMA_CalibrationTool::OnRButtonUp(KA_PageView, uint32_t, const KS_DevicePoint&) {
  if (!started_) return false;
  Cancel();
  return true;
}

void CMA_CalibrationTool::OnPaint(KA_PageView view, KA_Device device, intptr_t, uint32_t) {
  Host::SnapDrawMarker(view, device);
  if (!started_ || view != view_ || points_.size() != 2) return;
  KS_DevicePoint from{}, to{};
  Host::PageViewPageToDevice(view, points_[0], &from);
  Host::PageViewPageToDevice(view, points_[1], &to);
  KA_Pen pen = Host::PenNew(static_cast<KS_ColorRef>(255), 1, 0);
  KA_Pen old = Host::DeviceSelectPen(device, pen);
  Host::DeviceLine(device, from, to);
  Host::DeviceSelectPen(device, old);
  Host::PenRelease(pen);
}

void CMA_CalibrationTool::Finish() {
  KA_PageView view = view_;
  const std::vector<KS_FloatPoint> points = points_;
  Cancel();
  if (points.size() != 2 || !view) return;
  const double length = std::hypot(double(points[1].x) - points[0].x, double(points[1].y) - points[0].y);
  if (!(length >= kMinLength)) return;
  KA_Document doc = Host::PageViewGetDocument(view);
  int pageIndex = Host::PageViewGetPageIndex(view);
  if (pageIndex < 0) pageIndex = Host::AppDocGetActivePage(doc);
  if (!doc || pageIndex < 0) return;
  if (!CMA_MeasurePageScaleDlg(doc, pageIndex, length)) return;
  if (IsCurrentTool(GetName()))
    if (KA_Tool hand = Host::AppGetToolByName("Hand")) Host::AppSetCurrentTool(hand, 0);
}

}  // namespace AnnotationPlugin
