#include "plugin/annotation_app.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

CAnnotationApp::~CAnnotationApp() { modules_.clear(); }

IAnnot_Module* CAnnotationApp::FindModule(std::string_view name) const {
  for (const auto& m : modules_)
    if (m && m->GetName() == name) return m.get();
  return nullptr;
}

KA_ModuleRecord CAnnotationApp::HostAppRecord() {
  // The library's instance handle: any address inside this library names it.
  static const char instanceTag = 0;
  if (!hostRecord_) hostRecord_ = Host::ModuleRecordGet(const_cast<char*>(&instanceTag));
  return hostRecord_;
}

CAnnotationApp& TheApp() {
  static CAnnotationApp app;
  return app;
}

}  // namespace AnnotationPlugin
