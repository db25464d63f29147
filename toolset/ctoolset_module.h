// The toolsets module: the toolset manager and the tool chest panel.
#pragma once

#include <memory>

#include "plugin/annot_module.h"

namespace AnnotationPlugin {

class CToolset_Module final : public IAnnot_Module {
 public:
  std::string GetName() const override { return "TOOLSET"; }
  void OnMainFrameCreated(KA_Frame) override {}
  void OnMainFrameClosing(KA_Frame) override {}
  void Init() override {}
  void Exit() override {}
};

std::unique_ptr<IAnnot_Module> MakeToolsetModule();

}  // namespace AnnotationPlugin
