// The drawing module: the eraser and the markup editing handlers.
#pragma once

#include <memory>

#include "plugin/annot_module.h"

namespace AnnotationPlugin {

class CDA_Module final : public IAnnot_Module {
 public:
  std::string GetName() const override { return "DrawingAnnot"; }
  void OnMainFrameCreated(KA_Frame frame) override { BuildEraserRibbon(frame); }
  void OnMainFrameClosing(KA_Frame) override {}
  void Init() override {}
  void Exit() override {}

  // Builds the eraser's ribbon controls for a frame.
  virtual void BuildEraserRibbon(KA_Frame) {}
};

std::unique_ptr<IAnnot_Module> MakeDrawingModule();

}  // namespace AnnotationPlugin
