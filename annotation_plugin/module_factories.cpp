// The feature modules of the shipped library, in creation order.
#include "drawing/cda_module.h"
#include "measure/cmsa_module.h"
#include "toolset/ctoolset_module.h"

namespace AnnotationPlugin {

std::span<const ModuleFactory> ModuleFactories() {
  static constexpr ModuleFactory kFactories[] = {&MakeMeasureModule, &MakeDrawingModule, &MakeToolsetModule};
  return kFactories;
}

}  // namespace AnnotationPlugin
