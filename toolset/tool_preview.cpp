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

bool CToolPreviews::Size(const std::shared_ptr<CAnnot_Tool>& tool, float* width, float* height) {
  const Entry* entry = Placed(tool);
  if (!entry) return false;
  *width = entry->box.right - entry->box.left;
  *height = entry->box.top - entry->box.bottom;
  return true;
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

bool CToolPreviews::DrawAt(KA_Device device, const std::shared_ptr<CAnnot_Tool>& tool, const KS_Matrix& pageToDevice,
                           KS_FloatPoint at, KS_ColorRef outline) {
  const Entry* entry = Placed(tool);
  if (!entry || !device) return false;
  const KS_Matrix move{1, 0, 0, 1, at.x - entry->box.left, at.y - entry->box.top};
  KS_Matrix m{};
  host::MatrixConcat(&move, &pageToDevice, &m);
  Draw(device, *entry, m, outline);
  return true;
}

}  // namespace AnnotationPlugin
