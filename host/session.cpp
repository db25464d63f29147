#include "host/session.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "host/editor.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/ribbon.h"
#include "host/utf.h"
#include "tessel/language.h"

namespace kshost {
namespace {

std::string ErrorText(KS_ByteString s) {
  const char* d = fn::ByteStringData(s);
  return d ? std::string(d, fn::ByteStringLength(s)) : std::string();
}

// A host byte string for one call's error text.
struct ErrorString {
  KS_ByteString s = fn::ByteStringNew(nullptr, 0);
  ~ErrorString() { fn::ByteStringDestroy(s); }
  std::string str() const { return ErrorText(s); }
};

}  // namespace

Session::Session() {
  Tessel::SetApplicationFolder(Env().appFolder());
  Tessel::SetCurrentLanguage(ToUtf16(Env().uiLanguage()), true);
}

// Documents close before the plug-ins unload: their undo items call back
// into the plug-in's code.
Session::~Session() {
  Close();
  loader_.ShutDown();
  Editor::Get().Reset();
  Ribbon::Get().Reset();
}

std::string Session::DefaultPluginPath() {
  if (const char* p = std::getenv("ANNOT_PLUGIN"); p && *p) return p;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "libannotation_plugin.so";
  std::string dir(exe, static_cast<size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/lib/libannotation_plugin.so";
}

bool Session::LoadPlugin(const std::string& path, std::string* error) {
  if (!loader_.Load(path, error)) return false;
  loader_.StartUp();
  return true;
}

bool Session::Open(const std::string& path, std::string* error, bool readOnly) {
  ErrorString why;
  KPD_Document doc = fn::DocOpenFile(path.c_str(), why.s);
  if (!doc) {
    if (error) *error = why.str();
    return false;
  }
  Close();
  doc_ = doc;
  docPath_ = path;
  appDoc_ = Editor::Get().AddDocument(doc, readOnly);
  return true;
}

bool Session::Save(const std::string& path, std::string* error) {
  if (!doc_) {
    if (error) *error = "no document is open";
    return false;
  }
  ErrorString why;
  Editor::Get().FireDocEvent(KS_DOCEVENT_WILL_SAVE, appDoc_);
  if (!fn::DocSave(doc_, path.c_str(), why.s)) {
    if (error) *error = why.str();
    return false;
  }
  Editor::Get().FireDocEvent(KS_DOCEVENT_SAVED, appDoc_);
  return true;
}

void Session::Close() {
  if (appDoc_) Editor::Get().RemoveDocument(appDoc_);
  appDoc_ = nullptr;
  if (doc_) fn::DocClose(doc_);
  doc_ = nullptr;
  docPath_.clear();
}

}  // namespace kshost
