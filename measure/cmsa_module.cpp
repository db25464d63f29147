#include "measure/cmsa_module.h"

#include <algorithm>

#include "measure/cma_format_tab.h"
#include "measure/cma_right_panel.h"
#include "measure/cma_tool_handlers.h"
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
  // The page scale, the calibration tool and the export sit on the
  // contextual "Format" tab.
  MeasureFormatTab().Build(frame, calibration_.get());
  if (!panel) return;
  // The measure button holds the ten tools; a press makes a tool current.
  KA_RibbonElement parent = Host::RibbonAddControl(panel, KS_RIBBON_PARENT_BUTTON, "Button_Measure_Parent",
                                                   Widgets::Translate("IDS_MEASURE").c_str(),
                                                   Widgets::Translate("IDS_MEASURE_TOOLTIP").c_str());
  if (!parent) return;
  int count = 0;
  const MeasureType* order = RibbonOrder(&count);
  for (int i = 0; i < count; ++i) {
    const MeasureTypeInfo* row = MeasureTypeRow(order[i]);
    KA_RibbonElement button =
        Host::RibbonAddControl(parent, KS_RIBBON_BUTTON, row->button, Widgets::Translate(row->labelKey).c_str(),
                               Widgets::Translate(std::string(row->labelKey) + "_TOOLTIP").c_str());
    if (!button) continue;
    Host::RibbonSetIcons(button, row->icon32, row->icon16);
    CMA_MeasureToolBase* tool = FindTool(order[i]);
    if (!tool) continue;
    Host::RibbonSetPressProc(
        button,
        [](void* data, KA_RibbonElement) {
          auto* t = static_cast<CMA_MeasureToolBase*>(data);
          if (KA_Tool host = t->HostTool()) Host::AppSetCurrentTool(host, 0);
        },
        tool);
  }
}

void CMSA_Module::Init() {
  if (!tools_.empty()) return;
  for (int type = kMeasureDistance; type <= kMeasureAngle; ++type) {
    std::unique_ptr<CMA_MeasureToolBase> tool = MakeMeasureTool(type);
    tool->Register();
    tools_.push_back(std::move(tool));
  }
  handlers_ = MakeMeasureAnnotHandlers();
  calibration_ = std::make_unique<CMA_CalibrationTool>();
  calibration_->Register();
  formatEventRecord_ = MakeDocEventRecord(&formatEvents_);
  formatEventsRegistered_ = Host::AppDocRegisterEvents(&formatEventRecord_) != 0;
}

void CMSA_Module::FormatTabEvents::OnSelectionChanged(KA_Document doc) {
  MeasureFormatTab().SelectionChanged();
  ShowSelectedMeasurement(doc);
}
void CMSA_Module::FormatTabEvents::OnPageChanged(KA_Document, int) { MeasureFormatTab().SelectionChanged(); }
void CMSA_Module::FormatTabEvents::OnDocActivated(KA_Document) { MeasureFormatTab().SelectionChanged(); }
void CMSA_Module::FormatTabEvents::OnDocClosed(KA_Document) { MeasureFormatTab().SelectionChanged(); }

void CMSA_Module::Exit() {
  if (formatEventsRegistered_) Host::AppDocUnregisterEvents(&formatEventRecord_);
  formatEventsRegistered_ = false;
  MeasureFormatTab().Remove();
  frames_.clear();
  tools_.clear();
  handlers_.clear();
  calibration_.reset();
  MeasureRightPanel().HideAll();
}

CMA_MeasureToolBase* CMSA_Module::FindTool(int type) const {
  for (const auto& tool : tools_)
    if (tool->Type() == type) return tool.get();
  return nullptr;
}

std::unique_ptr<IAnnot_Module> MakeMeasureModule() { return std::make_unique<CMSA_Module>(); }

}  // namespace AnnotationPlugin
