// The measuring module: the measuring tools, their annotation handlers and
// the measure ribbon panel.
#pragma once

#include <memory>
#include <set>

#include "plugin/annot_module.h"

namespace AnnotationPlugin {

class CMSA_Module final : public IAnnot_Module {
 public:
  std::string GetName() const override { return "MeasureAnnot"; }
  void OnMainFrameCreated(KA_Frame frame) override { frames_.insert(frame); }
  void OnMainFrameClosing(KA_Frame frame) override { frames_.erase(frame); }
  void Init() override {}
  void Exit() override { frames_.clear(); }

  // Frames announced and not yet closed.
  const std::set<KA_Frame>& Frames() const { return frames_; }

 private:
  std::set<KA_Frame> frames_;
};

std::unique_ptr<IAnnot_Module> MakeMeasureModule();

}  // namespace AnnotationPlugin
