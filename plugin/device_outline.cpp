#include "plugin/device_outline.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

void DrawDeviceOutline(KA_Device device, const KS_DeviceRect& box, KS_ColorRef color) {
  if (!device) return;
  KA_Pen pen = Host::PenNew(color, 1, 0);
  KA_Brush brush = Host::BrushNew(0, 1);
  KA_Pen oldPen = Host::DeviceSelectPen(device, pen);
  KA_Brush oldBrush = Host::DeviceSelectBrush(device, brush);
  Host::DeviceRectangle(device, &box);
  Host::DeviceSelectPen(device, oldPen);
  Host::DeviceSelectBrush(device, oldBrush);
  Host::PenRelease(pen);
  Host::BrushRelease(brush);
}

}  // namespace AnnotationPlugin
