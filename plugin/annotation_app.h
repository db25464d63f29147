// The application object: owns the feature modules for as long as the
// library is loaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin/annot_module.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// What the toolset entries of the extension table act on. The toolset
// module provides it while it runs; without it both entries answer 0 or an
// empty list.
class IAnnot_ToolsetAccess {
 public:
  virtual ~IAnnot_ToolsetAccess() = default;
  // The titles of the visible toolsets, in list order: index i of this list
  // is toolset i of AddSelection.
  virtual std::vector<std::u16string> VisibleTitles() = 0;
  // Captures the document's selected annotations that lie on `page`, in
  // selection order, into visible toolset `index` and saves it. False when
  // the index, the toolset or the page is not there.
  virtual bool AddSelection(int32_t index, KPD_Page page) = 0;
};

class CAnnotationApp {
 public:
  CAnnotationApp() = default;
  ~CAnnotationApp();
  CAnnotationApp(const CAnnotationApp&) = delete;
  CAnnotationApp& operator=(const CAnnotationApp&) = delete;

  std::vector<std::unique_ptr<IAnnot_Module>>& Modules() { return modules_; }

  // The host's record for this library, fetched on first use and kept.
  KA_ModuleRecord HostAppRecord();

  IAnnot_ToolsetAccess* ToolsetAccess() const { return toolsetAccess_; }
  void SetToolsetAccess(IAnnot_ToolsetAccess* access) { toolsetAccess_ = access; }

 private:
  std::vector<std::unique_ptr<IAnnot_Module>> modules_;
  KA_ModuleRecord hostRecord_ = nullptr;
  IAnnot_ToolsetAccess* toolsetAccess_ = nullptr;
};

// The library's single application object.
CAnnotationApp& TheApp();

}  // namespace AnnotationPlugin
