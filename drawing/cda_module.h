// The drawing module: the eraser and the markup editing handlers.
#pragma once

#include <memory>
#include <vector>

#include "drawing/markup_annot_handler.h"
#include "plugin/annot_module.h"

namespace AnnotationPlugin {

class CDA_Module : public IAnnot_Module {
 public:
  std::string GetName() const override { return "DrawingAnnot"; }
  void OnMainFrameCreated(KA_Frame frame) override { BuildEraserRibbon(frame); }
  void OnMainFrameClosing(KA_Frame) override {}
  // Registers the editing handlers of "Line", "PolyLine", "Polygon" and
  // "Circle" annotations.
  void Init() override;
  // Releases them.
  void Exit() override;

  // Builds the eraser's ribbon controls for a frame.
  virtual void BuildEraserRibbon(KA_Frame) {}

  const std::vector<std::unique_ptr<CMarkup_AnnotHandler>>& GetHandlers() const { return handlers_; }

 private:
  std::vector<std::unique_ptr<CMarkup_AnnotHandler>> handlers_;
};

std::unique_ptr<IAnnot_Module> MakeDrawingModule();

}  // namespace AnnotationPlugin
