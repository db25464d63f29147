#include "toolset/ctoolset_module.h"

namespace AnnotationPlugin {

std::unique_ptr<IAnnot_Module> MakeToolsetModule() { return std::make_unique<CToolset_Module>(); }

}  // namespace AnnotationPlugin
