// Previews of stored tools drawn from their own appearance. A stored tool
// keeps its appearance streams as named resources, so each tool is placed
// once into a scratch document of the previews' own (never one of the
// user's, so no undo step and no change mark) and drawn from the placed
// copy. The copies stay until the toolsets change.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "sdk/ks_types.h"
#include "toolset/annot_toolset.h"

namespace AnnotationPlugin {

class CToolPreviews {
 public:
  CToolPreviews() = default;
  ~CToolPreviews();
  CToolPreviews(const CToolPreviews&) = delete;
  CToolPreviews& operator=(const CToolPreviews&) = delete;

  // Draws the tool fitted into `cell` (device pixels), centred and keeping
  // its proportions. A member without a drawable appearance is drawn as the
  // outline of its rectangle in `outline`. False, drawing nothing, when the
  // tool cannot be placed; the caller then shows what it can without it.
  bool DrawInCell(KA_Device device, const std::shared_ptr<CAnnot_Tool>& tool, const KS_DeviceRect& cell,
                  KS_ColorRef outline);

  // Draws the tool at page scale where a click at the page point `at`
  // places it on a page turned by `rotation` degrees: the upper-left corner
  // of its box at `at`, the box turned about it with the page, through a
  // view's page-to-device matrix. `bounds` (may be null) gets the page
  // rectangle it covers.
  bool DrawAt(KA_Device device, const std::shared_ptr<CAnnot_Tool>& tool, const KS_Matrix& pageToDevice,
              KS_FloatPoint at, int rotation, KS_ColorRef outline, KS_FloatRect* bounds = nullptr);
  // The page rectangle DrawAt covers, without drawing.
  bool BoundsAt(const std::shared_ptr<CAnnot_Tool>& tool, KS_FloatPoint at, int rotation, KS_FloatRect* bounds);

  // Forgets every placed copy and closes the scratch document.
  void Clear();
  // How many tools are placed in the scratch document now.
  size_t CachedCount() const { return entries_.size(); }

 private:
  struct Entry {
    std::weak_ptr<CAnnot_Tool> tool;
    std::vector<KPD_Dictionary> placed;  // head first
    KS_FloatRect box{};                  // their rectangles together
  };
  const Entry* Placed(const std::shared_ptr<CAnnot_Tool>& tool);
  // Page space of the placed copy to page space at `at`.
  static KS_Matrix Placement(const Entry& entry, KS_FloatPoint at, int rotation);
  void Draw(KA_Device device, const Entry& entry, const KS_Matrix& pageToDevice, KS_ColorRef outline);

  KPD_Document scratch_ = nullptr;
  std::unordered_map<const CAnnot_Tool*, Entry> entries_;
};

}  // namespace AnnotationPlugin
