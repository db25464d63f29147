#include "drawing/cda_module.h"

namespace AnnotationPlugin {

std::unique_ptr<IAnnot_Module> MakeDrawingModule() { return std::make_unique<CDA_Module>(); }

}  // namespace AnnotationPlugin
