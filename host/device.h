// Pens, brushes and the recording device the editor paints on. A device
// keeps a display list of what was drawn on it, in device pixels, so that
// tests and a front end can see every rectangle, line and path with the pen
// and brush it was drawn with.
#pragma once

#include <string>
#include <vector>

#include "sdk/ks_types.h"

struct KA_Pen__ {
  KS_ColorRef color = 0;
  int32_t width = 1;
  int32_t style = 0;  // 0 solid; other values are kept as given
};

struct KA_Brush__ {
  KS_ColorRef color = 0;
  bool hollow = true;
};

namespace kshost {

struct DrawItem {
  enum class Kind { Rect, Line, Path, Appearance, Image };
  Kind kind = Kind::Rect;
  // Rect: top-left and bottom-right corners; Line: the two ends; Path: the
  // points in order; Appearance: the annotation's device rectangle; Image:
  // the four corners of an image an appearance draws, in order.
  std::vector<KS_DevicePoint> points;
  bool closed = false;
  KA_Pen__ pen;
  KA_Brush__ brush;
  KA_Annot annot = nullptr;  // Appearance only
};

}  // namespace kshost

struct KA_Device__ {
  std::vector<kshost::DrawItem> items;
  // False for a paint whose display list nobody reads: drawing calls are
  // taken as usual, and nothing is kept.
  bool records = true;
  KA_Pen__ stockPen;      // black, 1 pixel, solid
  KA_Brush__ stockBrush;  // hollow
  KA_Pen pen = &stockPen;
  KA_Brush brush = &stockBrush;
};

namespace kshost {

// Devices made by the editor for a paint; a handle is valid until released.
KA_Device NewDevice();
void ReleaseDevice(KA_Device device);
bool IsLiveDevice(KA_Device device);

// Adds an appearance item for `annot` at `rect`; false for a dead device.
bool RecordAppearance(KA_Device device, KA_Annot annot, const KS_DeviceRect& rect);

// The trace line of a drawn item ("draw: rect 10 20 30 40 pen #FF0000 1",
// and " fill #00FF00" when the brush fills a shape), empty for appearance
// items.
std::string TraceLine(const DrawItem& item);

}  // namespace kshost
