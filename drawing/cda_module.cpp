#include "drawing/cda_module.h"

#include "drawing/cda_shapes.h"

namespace AnnotationPlugin {

void CDA_Module::Init() {
  if (!handlers_.empty()) return;
  auto add = [&](std::unique_ptr<CMarkup_AnnotHandler> handler, const char* type) {
    handler->Register(type);
    handlers_.push_back(std::move(handler));
  };
  add(std::make_unique<CDA_ShapeHandler<CDA_Line>>(), "Line");
  add(std::make_unique<CDA_ShapeHandler<CDA_PolyLine>>(), "PolyLine");
  add(std::make_unique<CDA_ShapeHandler<CDA_Polygon>>(), "Polygon");
  add(std::make_unique<CDA_ShapeHandler<CDA_Circle>>(), "Circle");
}

void CDA_Module::Exit() { handlers_.clear(); }

std::unique_ptr<IAnnot_Module> MakeDrawingModule() { return std::make_unique<CDA_Module>(); }

}  // namespace AnnotationPlugin
