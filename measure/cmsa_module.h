// The measuring module: the measuring tools, their annotation handlers and
// the measure ribbon panel.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "measure/cma_annot_handlers.h"
#include "measure/cma_calibration_tool.h"
#include "measure/cma_measure_tool.h"
#include "plugin/annot_event_providers.h"
#include "plugin/annot_module.h"

namespace AnnotationPlugin {

// What the module keeps for one main frame.
struct MeasureFrameRecord {
  KA_RibbonElement panel = nullptr;  // "COMMENT_Panel_MEATURE"
};

class CMSA_Module final : public IAnnot_Module {
 public:
  std::string GetName() const override { return "MeasureAnnot"; }
  // Adds the measure panel to the frame's review category when missing.
  void OnMainFrameCreated(KA_Frame frame) override;
  void OnMainFrameClosing(KA_Frame frame) override { frames_.erase(frame); }
  // Registers the ten measuring tools and the measurement handlers with
  // the host.
  void Init() override;
  void Exit() override;

  // The tool of a type; null when there is none.
  CMA_MeasureToolBase* FindTool(int type) const;

  // Frames announced and not yet closed.
  const std::map<KA_Frame, MeasureFrameRecord>& Frames() const { return frames_; }

 private:
  std::map<KA_Frame, MeasureFrameRecord> frames_;
  std::vector<std::unique_ptr<CMA_MeasureToolBase>> tools_;
  std::vector<std::unique_ptr<CMarkup_AnnotHandler>> handlers_;
  std::unique_ptr<CMA_CalibrationTool> calibration_;
  // Keeps the contextual "Format" tab in step with the selection.
  struct FormatTabEvents final : CAnnot_DoceventProvider {
    void OnSelectionChanged(KA_Document) override;
    void OnPageChanged(KA_Document, int) override;
    void OnDocActivated(KA_Document) override;
    void OnDocClosed(KA_Document) override;
  } formatEvents_;
  KS_DocEventCallbacks formatEventRecord_{};
  bool formatEventsRegistered_ = false;
};

std::unique_ptr<IAnnot_Module> MakeMeasureModule();

}  // namespace AnnotationPlugin
