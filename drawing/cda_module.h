// The drawing module: the eraser and the markup editing handlers.
#pragma once

#include <memory>
#include <vector>

#include "drawing/cda_rubber.h"
#include "drawing/markup_annot_handler.h"
#include "plugin/annot_module.h"

namespace AnnotationPlugin {

class CDA_Module : public IAnnot_Module {
 public:
  std::string GetName() const override { return "DrawingAnnot"; }
  void OnMainFrameCreated(KA_Frame frame) override { BuildEraserRibbon(frame); }
  void OnMainFrameClosing(KA_Frame) override {}
  // Registers the editing handlers of "Line", "PolyLine", "Polygon" and
  // "Circle" annotations, and the eraser tool "Rubber".
  void Init() override;
  // Releases them and the eraser.
  void Exit() override;

  // Builds the eraser's ribbon controls for a frame: the menu button
  // "Button_CNRubber" in the panel "COMMENT_Panel_Drawing" of the review
  // category (made when missing) with the mode items and the size control.
  virtual void BuildEraserRibbon(KA_Frame frame);

  CDA_CNRubberToolHandler* GetRubber() const { return rubber_.get(); }

  const std::vector<std::unique_ptr<CMarkup_AnnotHandler>>& GetHandlers() const { return handlers_; }

 private:
  void AddSizeSlider(KA_RibbonElement parent);

  std::vector<std::unique_ptr<CMarkup_AnnotHandler>> handlers_;
  std::unique_ptr<CDA_CNRubberToolHandler> rubber_;
  // What each eraser control's press hands back: the module and the id.
  struct Control {
    CDA_Module* module;
    std::string id;
  };
  std::vector<std::unique_ptr<Control>> controls_;
};

std::unique_ptr<IAnnot_Module> MakeDrawingModule();

}  // namespace AnnotationPlugin
