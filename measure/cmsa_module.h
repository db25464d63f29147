// The measuring module: the measuring tools, their annotation handlers and
// the measure ribbon panel.
#pragma once

#include <map>
#include <memory>

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
  void Init() override {}
  void Exit() override { frames_.clear(); }

  // Frames announced and not yet closed.
  const std::map<KA_Frame, MeasureFrameRecord>& Frames() const { return frames_; }

 private:
  std::map<KA_Frame, MeasureFrameRecord> frames_;
};

std::unique_ptr<IAnnot_Module> MakeMeasureModule();

}  // namespace AnnotationPlugin
