// Loads plug-in libraries and drives them through their life: entry,
// handshake, registration, export, import, initialisation, frame events and
// unload, in that order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_records.h"

namespace kshost {

// What a plug-in told the host about itself.
struct PluginInfo {
  std::string path;
  std::string internalName;
  std::u16string displayName;
  std::string versionString;  // given at handshake
  std::string sdkVersion;     // from VenkoGetPluginSDKVersion, when exported
  uint32_t interfaceVersion = 0;
  uint32_t value32 = 0;
  bool initialised = false;
};

class LoadedPlugin;

class PluginLoader {
 public:
  PluginLoader();
  ~PluginLoader();  // shuts down whatever is still loaded
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

  // Opens the library, calls PlugInMain, the handshake and the registration.
  // On failure returns false with the reason; the library is closed again.
  bool Load(const std::string& path, std::string* error);

  // Export, import and initialisation of every loaded plug-in (each step for
  // all plug-ins before the next), then "main frame created".
  void StartUp();

  // "Main frame closing", unload callbacks, then the libraries are closed.
  void ShutDown();

  std::vector<PluginInfo> Plugins() const;
  KA_Frame MainFrame() const;

 private:
  std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
  bool started_ = false;
};

}  // namespace kshost
