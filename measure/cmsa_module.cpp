#include "measure/cmsa_module.h"

namespace AnnotationPlugin {

std::unique_ptr<IAnnot_Module> MakeMeasureModule() { return std::make_unique<CMSA_Module>(); }

}  // namespace AnnotationPlugin
