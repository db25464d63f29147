#include "host/device.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "host/host_functions.h"

namespace kshost {
namespace {

// Handles the plug-in holds are checked against these before use, so a
// released or foreign pointer is ignored rather than dereferenced.
struct Live {
  std::unordered_map<KA_Pen, std::unique_ptr<KA_Pen__>> pens;
  std::unordered_map<KA_Brush, std::unique_ptr<KA_Brush__>> brushes;
  std::unordered_map<KA_Device, std::unique_ptr<KA_Device__>> devices;
};

Live& Objects() {
  static Live live;
  return live;
}

bool IsPen(KA_Device device, KA_Pen pen) {
  return pen && (pen == &device->stockPen || Objects().pens.count(pen));
}
bool IsBrush(KA_Device device, KA_Brush brush) {
  return brush && (brush == &device->stockBrush || Objects().brushes.count(brush));
}

// The device's current pen and brush as values: a pen released while
// selected draws as the stock one.
DrawItem Styled(KA_Device device, DrawItem::Kind kind) {
  DrawItem item;
  item.kind = kind;
  item.pen = IsPen(device, device->pen) ? *device->pen : device->stockPen;
  item.brush = IsBrush(device, device->brush) ? *device->brush : device->stockBrush;
  return item;
}

}  // namespace

KA_Device NewDevice() {
  auto device = std::make_unique<KA_Device__>();
  KA_Device handle = device.get();
  Objects().devices.emplace(handle, std::move(device));
  return handle;
}

void ReleaseDevice(KA_Device device) { Objects().devices.erase(device); }

bool IsLiveDevice(KA_Device device) { return device && Objects().devices.count(device); }

bool RecordAppearance(KA_Device device, KA_Annot annot, const KS_DeviceRect& rect) {
  if (!IsLiveDevice(device)) return false;
  DrawItem item = Styled(device, DrawItem::Kind::Appearance);
  item.points = {{rect.left, rect.top}, {rect.right, rect.bottom}};
  item.annot = annot;
  if (device->records) device->items.push_back(std::move(item));
  return true;
}

std::string TraceLine(const DrawItem& item) {
  std::string text;
  switch (item.kind) {
    case DrawItem::Kind::Appearance: return {};
    case DrawItem::Kind::Rect: text = "draw: rect"; break;
    case DrawItem::Kind::Line: text = "draw: line"; break;
    case DrawItem::Kind::Path: text = "draw: path"; break;
    case DrawItem::Kind::Image: text = "draw: image"; break;
  }
  for (const KS_DevicePoint& p : item.points) text += " " + std::to_string(p.x) + " " + std::to_string(p.y);
  if (item.kind == DrawItem::Kind::Path && item.closed) text += " closed";
  // Colour references are 0x00BBGGRR; the trace writes them as #RRGGBB.
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%02X%02X%02X", item.pen.color & 0xFF, (item.pen.color >> 8) & 0xFF,
                (item.pen.color >> 16) & 0xFF);
  text += " pen " + std::string(colour) + " " + std::to_string(item.pen.width);
  if (item.brush.hollow || item.kind == DrawItem::Kind::Line) return text;
  std::snprintf(colour, sizeof colour, "#%02X%02X%02X", item.brush.color & 0xFF, (item.brush.color >> 8) & 0xFF,
                (item.brush.color >> 16) & 0xFF);
  return text + " fill " + colour;
}

namespace direct {

KA_Pen PenNew(KS_ColorRef color, int32_t width, int32_t style) {
  if (width < 0) return nullptr;
  auto pen = std::make_unique<KA_Pen__>(KA_Pen__{color & 0xFFFFFF, width, style});
  KA_Pen handle = pen.get();
  Objects().pens.emplace(handle, std::move(pen));
  return handle;
}

void PenRelease(KA_Pen pen) { Objects().pens.erase(pen); }

KA_Brush BrushNew(KS_ColorRef color, int32_t hollow) {
  auto brush = std::make_unique<KA_Brush__>(KA_Brush__{color & 0xFFFFFF, hollow != 0});
  KA_Brush handle = brush.get();
  Objects().brushes.emplace(handle, std::move(brush));
  return handle;
}

void BrushRelease(KA_Brush brush) { Objects().brushes.erase(brush); }

KA_Pen DeviceSelectPen(KA_Device device, KA_Pen pen) {
  if (!IsLiveDevice(device) || !IsPen(device, pen)) return nullptr;
  KA_Pen previous = device->pen;
  device->pen = pen;
  return previous;
}

KA_Brush DeviceSelectBrush(KA_Device device, KA_Brush brush) {
  if (!IsLiveDevice(device) || !IsBrush(device, brush)) return nullptr;
  KA_Brush previous = device->brush;
  device->brush = brush;
  return previous;
}

int32_t DeviceRectangle(KA_Device device, const KS_DeviceRect* rect) {
  if (!IsLiveDevice(device) || !rect) return 0;
  DrawItem item = Styled(device, DrawItem::Kind::Rect);
  item.points = {{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom)},
                 {std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)}};
  if (device->records) device->items.push_back(std::move(item));
  return 1;
}

int32_t DeviceLine(KA_Device device, KS_DevicePoint from, KS_DevicePoint to) {
  if (!IsLiveDevice(device)) return 0;
  DrawItem item = Styled(device, DrawItem::Kind::Line);
  item.points = {from, to};
  if (device->records) device->items.push_back(std::move(item));
  return 1;
}

int32_t DevicePolyline(KA_Device device, const KS_DevicePoint* points, int32_t count, int32_t closed) {
  if (!IsLiveDevice(device) || !points || count < 2) return 0;
  if (!device->records) return 1;
  DrawItem item = Styled(device, DrawItem::Kind::Path);
  item.points.assign(points, points + count);
  item.closed = closed != 0;
  device->items.push_back(std::move(item));
  return 1;
}

}  // namespace direct
}  // namespace kshost
