#include "toolset/tool_preview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "plugin/device_outline.h"
#include "sdk/ks_host_binding.h"

namespace AnnotationPlugin {

namespace host = ks::host;

namespace {

// The scratch page: a tool is placed with its upper-left corner at the
// page's upper-left corner.
constexpr KS_FloatRect kScratchPage{0, 0, 612, 792};

KS_DeviceRect ToDevice(const KS_FloatRect& r, const KS_Matrix& m) {
  auto x = [&](float px, float py) { return static_cast<int32_t>(std::lround(m.a * px + m.c * py + m.e)); };
  auto y = [&](float px, float py) { return static_cast<int32_t>(std::lround(m.b * px + m.d * py + m.f)); };
  int32_t x0 = x(r.left, r.bottom), y0 = y(r.left, r.bottom), x1 = x(r.right, r.top), y1 = y(r.right, r.top);
  return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

}  // namespace

CToolPreviews::~CToolPreviews() { Clear(); }

void CToolPreviews::Clear() {
  entries_.clear();
  if (scratch_) host::DocClose(scratch_);
  scratch_ = nullptr;
}

const CToolPreviews::Entry* CToolPreviews::Placed(const std::shared_ptr<CAnnot_Tool>& tool) {
  if (!tool || !tool->Dictionary()) return nullptr;
  auto it = entries_.find(tool.get());
  // A tool freed and another made at its address is not the cached one.
  if (it != entries_.end() && it->second.tool.lock() == tool) return &it->second;
  if (!scratch_) {
    scratch_ = host::DocNew();
    if (!scratch_ || !host::DocAddPage(scratch_, &kScratchPage)) {
      Clear();
      return nullptr;
    }
  }
  Entry entry;
  entry.tool = tool;
  std::string error;
  if (!PlaceTool(scratch_, 0, *tool, kScratchPage.left, kScratchPage.top, &entry.placed, &error) ||
      entry.placed.empty())
    return nullptr;
  bool first = true;
  for (KPD_Dictionary d : entry.placed) {
    KS_FloatRect r{};
    if (!host::RectFromObject(host::DictGet(d, "/Rect"), &r)) continue;
    host::RectNormalize(&r);
    if (first) entry.box = r;
    else host::RectUnion(&entry.box, &r, &entry.box);
    first = false;
  }
  if (first) return nullptr;
  return &(entries_[tool.get()] = std::move(entry));
}

void CToolPreviews::Draw(KA_Device device, const Entry& entry, const KS_Matrix& pageToDevice, KS_ColorRef outline) {
  for (KPD_Dictionary d : entry.placed) {
    if (host::DeviceDrawAppearance(device, d, &pageToDevice)) continue;
    KS_FloatRect r{};
    if (host::RectFromObject(host::DictGet(d, "/Rect"), &r)) DrawDeviceOutline(device, ToDevice(r, pageToDevice), outline);
  }
}

bool CToolPreviews::DrawInCell(KA_Device device, const std::shared_ptr<CAnnot_Tool>& tool, const KS_DeviceRect& cell,
                               KS_ColorRef outline) {
  const Entry* entry = Placed(tool);
  if (!entry || !device) return false;
  const float w = entry->box.right - entry->box.left, h = entry->box.top - entry->box.bottom;
  const float cw = static_cast<float>(cell.right - cell.left), ch = static_cast<float>(cell.bottom - cell.top);
  if (cw <= 0 || ch <= 0) return false;
  // A flat box (a horizontal line) fits by its other side.
  float scale = std::min(w > 0 ? cw / w : ch / h, h > 0 ? ch / h : cw / w);
  if (!(scale > 0) || !std::isfinite(scale)) return false;
  const float left = cell.left + (cw - w * scale) / 2, top = cell.top + (ch - h * scale) / 2;
  // Page y grows upwards, device y downwards.
  const KS_Matrix m{scale, 0, 0, -scale, left - entry->box.left * scale, top + entry->box.top * scale};
  Draw(device, *entry, m, outline);
  return true;
}

KS_Matrix CToolPreviews::Placement(const Entry& entry, KS_FloatPoint at, int rotation) {
  // As placing does: the box's upper-left corner to the origin, turned with
  // the page (quarter turns exactly), then to the point.
  rotation = ((rotation % 360) + 360) % 360;
  const double r = rotation * M_PI / 180.0;
  const float c = static_cast<float>(std::round(std::cos(r) * 1e9) / 1e9);
  const float s = static_cast<float>(std::round(std::sin(r) * 1e9) / 1e9);
  const KS_Matrix toOrigin{1, 0, 0, 1, -entry.box.left, -entry.box.top};
  const KS_Matrix turn{c, s, -s, c, at.x, at.y};
  KS_Matrix m{};
  host::MatrixConcat(&toOrigin, &turn, &m);
  return m;
}

bool CToolPreviews::BoundsAt(const std::shared_ptr<CAnnot_Tool>& tool, KS_FloatPoint at, int rotation,
                             KS_FloatRect* bounds) {
  const Entry* entry = Placed(tool);
  if (!entry || !bounds) return false;
  const KS_Matrix m = Placement(*entry, at, rotation);
  const KS_FloatRect& b = entry->box;
  bool first = true;
  for (KS_FloatPoint p : {KS_FloatPoint{b.left, b.bottom}, KS_FloatPoint{b.right, b.bottom},
                          KS_FloatPoint{b.right, b.top}, KS_FloatPoint{b.left, b.top}}) {
    const float x = m.a * p.x + m.c * p.y + m.e, y = m.b * p.x + m.d * p.y + m.f;
    if (first) *bounds = {x, y, x, y};
    bounds->left = std::min(bounds->left, x), bounds->right = std::max(bounds->right, x);
    bounds->bottom = std::min(bounds->bottom, y), bounds->top = std::max(bounds->top, y);
    first = false;
  }
  return true;
}

bool CToolPreviews::DrawAt(KA_Device device, const std::shared_ptr<CAnnot_Tool>& tool, const KS_Matrix& pageToDevice,
                           KS_FloatPoint at, int rotation, KS_ColorRef outline, KS_FloatRect* bounds) {
  const Entry* entry = Placed(tool);
  if (!entry || !device) return false;
  const KS_Matrix place = Placement(*entry, at, rotation);
  KS_Matrix m{};
  host::MatrixConcat(&place, &pageToDevice, &m);
  Draw(device, *entry, m, outline);
  if (bounds) BoundsAt(tool, at, rotation, bounds);
  return true;
}

}  // namespace AnnotationPlugin
