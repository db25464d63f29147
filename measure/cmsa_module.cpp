#include "measure/cmsa_module.h"

#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

namespace {
constexpr char kReviewCategory[] = "Ribbon_Category_Review";
constexpr char kMeasurePanel[] = "COMMENT_Panel_MEATURE";
constexpr int kMeasurePanelPosition = 5;
}  // namespace

void CMSA_Module::OnMainFrameCreated(KA_Frame frame) {
  MeasureFrameRecord& record = frames_[frame];
  KA_RibbonElement category = Host::RibbonGetCategory(frame, kReviewCategory);
  if (!category) return;
  KA_RibbonElement panel = Host::RibbonFindPanel(category, kMeasurePanel);
  if (!panel) {
    const std::u16string title = Widgets::Translate("IDS_STRING_RIBBON_PANEL");
    panel = Host::RibbonAddPanel(category, kMeasurePanel, title.c_str(), kMeasurePanelPosition);
  }
  record.panel = panel;
}

std::unique_ptr<IAnnot_Module> MakeMeasureModule() { return std::make_unique<CMSA_Module>(); }

}  // namespace AnnotationPlugin
