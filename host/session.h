// One run of the headless editor: the plug-ins it loaded, the main frame and
// the open document.
#pragma once

#include <memory>
#include <string>

#include "host/plugin_loader.h"
#include "sdk/ks_types.h"

namespace kshost {

class Session {
 public:
  // Points the widget library at the application folder and the host's
  // user-interface language.
  Session();
  ~Session();  // closes the document and shuts the plug-ins down
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The plug-in beside the running program: <exe>/../lib/libannotation_plugin.so,
  // or $ANNOT_PLUGIN when set.
  static std::string DefaultPluginPath();

  // Loads a plug-in and runs its start-up; false with the reason on failure.
  bool LoadPlugin(const std::string& path, std::string* error);

  // Opens a document, closing the one open before. On failure the open
  // document stays as it was.
  // A document opened read-only reports the mode that forbids changes.
  bool Open(const std::string& path, std::string* error, bool readOnly = false);
  // Saves the open document to `path` without touching any file on failure.
  bool Save(const std::string& path, std::string* error);
  void Close();

  KPD_Document Document() const { return doc_; }
  KA_Document AppDocument() const { return appDoc_; }
  const std::string& DocumentPath() const { return docPath_; }
  PluginLoader& Loader() { return loader_; }

 private:
  PluginLoader loader_;
  KPD_Document doc_ = nullptr;
  KA_Document appDoc_ = nullptr;
  std::string docPath_;
};

}  // namespace kshost
