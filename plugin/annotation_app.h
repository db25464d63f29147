// The application object: owns the feature modules for as long as the
// library is loaded.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "plugin/annot_module.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

class CAnnotationApp {
 public:
  CAnnotationApp() = default;
  ~CAnnotationApp();
  CAnnotationApp(const CAnnotationApp&) = delete;
  CAnnotationApp& operator=(const CAnnotationApp&) = delete;

  std::vector<std::unique_ptr<IAnnot_Module>>& Modules() { return modules_; }

  // The first module whose name equals `name` byte for byte, or null.
  IAnnot_Module* FindModule(std::string_view name) const;

  // The host's record for this library, fetched on first use and kept.
  KA_ModuleRecord HostAppRecord();

 private:
  std::vector<std::unique_ptr<IAnnot_Module>> modules_;
  KA_ModuleRecord hostRecord_ = nullptr;
};

// The library's single application object.
CAnnotationApp& TheApp();

}  // namespace AnnotationPlugin
