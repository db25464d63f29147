#include "toolset/tool_chest.h"

#include <algorithm>

#include "plugin/device_outline.h"
#include "sdk/ks_utf.h"

namespace AnnotationPlugin {

CToolChestPanel::CToolChestPanel(int dpi, int savedWidth, int clientWidth)
    : dpi_(dpi > 0 ? dpi : 96), clientWidth_(clientWidth) {
  itemWidth_ = Scaled(kBaseItemSize);
  if (savedWidth > 0) itemWidth_ = std::clamp(savedWidth, Scaled(kBaseItemSize), Scaled(kMaxItemSize));
  itemHeight_ = itemWidth_;
  Rebuild();
}

void CToolChestPanel::Rebuild() {
  groups_.clear();
  // The toolsets changed: a tool's placed copy may be of a tool that is gone
  // or has changed.
  previews_->Clear();
  CAnnot_ToolSetMgr& mgr = CAnnot_ToolSetMgr::Get();
  for (const auto& pref : mgr.Preferences()) {
    if (!pref->visible || !pref->toolset) continue;
    CToolChestGroup g;
    g.toolset = pref->toolset;
    g.preference = pref;
    for (const auto& t : pref->toolset->tools) {
      CToolChestItem item;
      item.tool = t;
      item.selected = ShownTitle(*pref->toolset) == selectedSet_ && t->name == selectedTool_;
      g.items.push_back(std::move(item));
    }
    groups_.push_back(std::move(g));
  }
  Layout();
}

void CToolChestPanel::Layout() {
  int y = 0;
  const int perRow = std::max(1, clientWidth_ / std::max(1, itemWidth_));
  for (auto& g : groups_) {
    g.header = {0, y, clientWidth_, y + kHeaderHeight};
    y += kHeaderHeight;
    if (!g.Expanded()) {
      for (auto& item : g.items) item.rect = {};
      continue;
    }
    for (size_t i = 0; i < g.items.size(); ++i) {
      int col = static_cast<int>(i) % perRow, row = static_cast<int>(i) / perRow;
      g.items[i].rect = {col * itemWidth_, y + row * itemHeight_, (col + 1) * itemWidth_, y + (row + 1) * itemHeight_};
    }
    int rows = (static_cast<int>(g.items.size()) + perRow - 1) / perRow;
    y += rows * itemHeight_;
  }
}

bool CToolChestPanel::ZoomIn() {
  if (!CanZoomIn()) return false;
  itemWidth_ = std::min(itemWidth_ + Scaled(kZoomStep), Scaled(kMaxItemSize));
  itemHeight_ = itemWidth_;
  Layout();
  return true;
}

bool CToolChestPanel::ZoomOut() {
  if (!CanZoomOut()) return false;
  itemWidth_ = std::max(itemWidth_ - Scaled(kZoomStep), Scaled(kBaseItemSize));
  itemHeight_ = itemWidth_;
  Layout();
  return true;
}

CToolChestGroup* CToolChestPanel::FindGroup(const std::u16string& title) {
  for (auto& g : groups_)
    if (ShownTitle(*g.toolset) == title) return &g;
  return nullptr;
}

bool CToolChestPanel::Select(CToolChestGroup& group, size_t index) {
  if (!enabled_ || index >= group.items.size() || !group.items[index].tool->Dictionary()) return false;
  for (auto& g : groups_)
    for (auto& item : g.items) item.selected = false;
  group.items[index].selected = true;
  selectedSet_ = ShownTitle(*group.toolset);
  selectedTool_ = group.items[index].tool->name;
  if (arm) arm(group.toolset, group.items[index].tool);
  return true;
}

bool CToolChestPanel::ClickItem(const std::u16string& toolset, const std::u16string& tool) {
  CToolChestGroup* g = FindGroup(toolset);
  if (!g || !g->Expanded()) return false;
  for (size_t i = 0; i < g->items.size(); ++i)
    if (g->items[i].tool->name == tool) return Select(*g, i);
  return false;
}

bool CToolChestPanel::ToggleGroup(const std::u16string& toolset) {
  CToolChestGroup* g = FindGroup(toolset);
  if (!g || !g->preference) return false;
  // The flag lives in the preference list, so it survives a restart; the
  // change event rebuilds the panel.
  g->preference->SetExpand(!g->preference->expand);
  Layout();
  return true;
}

bool CToolChestPanel::Menu(const std::u16string& toolset, const std::u16string& tool, ToolChestMenu entry) {
  // The menu changes the toolset, not a document: it works without one.
  CToolChestGroup* g = FindGroup(toolset);
  if (!g) return false;
  auto set = g->toolset;
  auto t = set->FindTool(tool);
  if (!t) return false;
  bool ok = entry == ToolChestMenu::kDelete ? set->DeleteTool(t.get())
                                             : set->ChangeToolPosition(t.get(), AnnotToolPosOperation::kMoveToTop);
  Rebuild();
  return ok;
}

void CToolChestPanel::ClearSelection() {
  selectedSet_.clear();
  selectedTool_.clear();
  for (auto& g : groups_)
    for (auto& item : g.items) item.selected = false;
}

void CToolChestPanel::Paint(KA_Device device) {
  if (!device) return;
  constexpr KS_ColorRef kOutline = 0x606060, kSelected = 0xD77800;
  const int margin = itemWidth_ / 10;
  for (const auto& g : groups_) {
    if (!g.Expanded()) continue;
    for (const auto& item : g.items) {
      if (!item.tool->Dictionary()) continue;  // no icon
      const KS_DeviceRect inner{item.rect.left + margin, item.rect.top + margin, item.rect.right - margin,
                                item.rect.bottom - margin};
      if (!previews_->DrawInCell(device, item.tool, inner, kOutline)) {
        // Not placeable even in a scratch document: the stored size, outlined.
        const float w = std::max(item.tool->width, 1.0f), h = std::max(item.tool->height, 1.0f);
        const float scale = std::min((inner.right - inner.left) / w, (inner.bottom - inner.top) / h);
        const int dw = static_cast<int>(w * scale), dh = static_cast<int>(h * scale);
        const int left = inner.left + (inner.right - inner.left - dw) / 2, top = inner.top + (inner.bottom - inner.top - dh) / 2;
        DrawDeviceOutline(device, {left, top, left + dw, top + dh}, kOutline);
      }
      if (item.selected) DrawDeviceOutline(device, item.rect, kSelected);
    }
  }
}

std::vector<std::string> CToolChestPanel::Describe() const {
  std::vector<std::string> out;
  auto rect = [](const KS_DeviceRect& r) {
    return "[" + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
           std::to_string(r.bottom - r.top) + "]";
  };
  for (const auto& g : groups_) {
    out.push_back("group " + ks::ToUtf8(ShownTitle(*g.toolset)) + (g.Expanded() ? " expanded" : " collapsed"));
    if (!g.Expanded()) continue;
    for (const auto& item : g.items)
      out.push_back("  item " + ks::ToUtf8(item.tool->name) + " " + rect(item.rect) + (item.selected ? " selected" : "") +
                    (enabled_ && item.tool->Dictionary() ? "" : " disabled"));
  }
  return out;
}

}  // namespace AnnotationPlugin
