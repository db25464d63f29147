// Drawing a selection or preview outline on a host device.
#pragma once

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// Outlines `box` with a solid pen one pixel wide in `color` and a hollow
// brush; the device gets its previous pen and brush back.
void DrawDeviceOutline(KA_Device device, const KS_DeviceRect& box, KS_ColorRef color);

}  // namespace AnnotationPlugin
