#include "plugin/annotation_app.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

CAnnotationApp::~CAnnotationApp() { modules_.clear(); }

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
