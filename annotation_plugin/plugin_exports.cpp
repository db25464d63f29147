// The library's only exported symbols.
#include "plugin/plugin_entry.h"

extern "C" {

__attribute__((visibility("default"))) int32_t PlugInMain(uint32_t* version, KS_HandshakeProc* handshake) {
  return AnnotationPlugin::PluginMain(version, handshake);
}

__attribute__((visibility("default"))) const char* VenkoGetPluginSDKVersion() {
  return AnnotationPlugin::kSdkVersion;
}

}  // extern "C"
