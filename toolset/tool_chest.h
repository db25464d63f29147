// The tool chest panel's model: one group per visible toolset, in list
// order, each a header and (when expanded) rows of tool items; zoom, layout,
// selection and the context menu. Drawing is left to the panel window; this
// is what it draws and what clicks do.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_types.h"
#include "toolset/annot_toolset.h"
#include "toolset/tool_preview.h"

namespace AnnotationPlugin {

struct CToolChestItem {
  std::shared_ptr<CAnnot_Tool> tool;
  KS_DeviceRect rect{};
  bool selected = false;
};

struct CToolChestGroup {
  std::shared_ptr<CAnnot_ToolSet> toolset;
  std::shared_ptr<CAnnot_ToolSetPreference> preference;
  std::vector<CToolChestItem> items;
  KS_DeviceRect header{};
  bool Expanded() const { return !preference || preference->expand; }
};

// Context menu entries of an item, in order.
enum class ToolChestMenu { kDelete = 0, kMoveToTop = 1 };

class CToolChestPanel : public IAnnot_ToolSetEventHandler {
 public:
  static constexpr int kBaseItemSize = 40, kMaxItemSize = 120, kZoomStep = 10, kHeaderHeight = 24;

  // `dpi` is the screen's horizontal resolution; `savedWidth` the stored
  // item width (0: none).
  CToolChestPanel(int dpi, int savedWidth, int clientWidth);

  // Rebuilds the groups from the manager's visible toolsets.
  void Rebuild();
  void Layout();

  bool ZoomIn();
  bool ZoomOut();
  bool CanZoomIn() const { return itemWidth_ < Scaled(kMaxItemSize); }
  bool CanZoomOut() const { return itemWidth_ > Scaled(kBaseItemSize); }
  int ItemWidth() const { return itemWidth_; }
  int ItemHeight() const { return itemHeight_; }

  // A click on an item selects it and arms the placing tool with it
  // (through `arm`); false when its group is collapsed, there is no such
  // item or the panel is disabled.
  bool ClickItem(const std::u16string& toolset, const std::u16string& tool);
  // A click on a group's header collapses or expands it; false when there
  // is no such group.
  bool ToggleGroup(const std::u16string& toolset);
  bool Menu(const std::u16string& toolset, const std::u16string& tool, ToolChestMenu entry);
  void ClearSelection();
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Enabled() const { return enabled_; }

  // Called with the chosen toolset and tool when an item is clicked.
  std::function<void(const std::shared_ptr<CAnnot_ToolSet>&, const std::shared_ptr<CAnnot_Tool>&)> arm;

  // Paints the panel: each visible item shows its tool drawn from the
  // tool's own appearance inside the cell, less a margin of a tenth of the
  // item width; the selected cell is framed.
  void Paint(KA_Device device);
  // The placed copies the previews draw from; the placing tool shares them.
  const std::shared_ptr<CToolPreviews>& Previews() const { return previews_; }

  const std::vector<CToolChestGroup>& Groups() const { return groups_; }
  // One line a group and an item, for traces: "group Review expanded" and
  // "  item cloud [x y w h] selected".
  std::vector<std::string> Describe() const;

  void OnToolAdded(CAnnot_ToolSet*, CAnnot_Tool*) override { Rebuild(); }
  void OnToolDeleted(CAnnot_ToolSet*, CAnnot_Tool*) override { Rebuild(); }
  void OnToolPositionChanged(CAnnot_ToolSet*) override { Rebuild(); }
  void OnPreferenceChanged(const std::u16string&) override { Rebuild(); }
  void OnToolSetPreferencesCommitted() override { Rebuild(); }

 private:
  int Scaled(int v) const { return v * dpi_ / 96; }
  bool Select(CToolChestGroup& group, size_t index);
  CToolChestGroup* FindGroup(const std::u16string& title);

  int dpi_;
  int itemWidth_, itemHeight_;
  int clientWidth_;
  bool enabled_ = true;
  std::vector<CToolChestGroup> groups_;
  std::u16string selectedSet_, selectedTool_;
  std::shared_ptr<CToolPreviews> previews_ = std::make_shared<CToolPreviews>();
};

}  // namespace AnnotationPlugin
