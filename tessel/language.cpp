#include "tessel/language.h"

#include <cstdlib>
#include <mutex>

#include "tessel/text_codec.h"
#include "tessel/translator.h"

#ifndef ANNOT_SOURCE_DIR
#define ANNOT_SOURCE_DIR "."
#endif

namespace Tessel {
namespace {

struct Settings {
  std::mutex mutex;
  std::string appFolder;
  std::u16string language = u"en-US";

  Settings() {
    const char* fromEnv = std::getenv("ANNOT_APP_DIR");
    appFolder = (fromEnv && *fromEnv) ? fromEnv : ANNOT_SOURCE_DIR;
  }
};

Settings& Current() {
  static Settings settings;
  return settings;
}

}  // namespace

void SetApplicationFolder(const std::string& utf8Path) {
  auto& s = Current();
  std::lock_guard lock(s.mutex);
  s.appFolder = utf8Path;
  while (s.appFolder.size() > 1 && s.appFolder.back() == '/') s.appFolder.pop_back();
}

std::string GetApplicationFolder() {
  auto& s = Current();
  std::lock_guard lock(s.mutex);
  return s.appFolder;
}

std::u16string GetUiDirPath() { return detail::ToUtf16(GetApplicationFolder() + "/ui"); }

void SetCurrentLanguage(const std::u16string& code, bool reload) {
  {
    auto& s = Current();
    std::lock_guard lock(s.mutex);
    s.language = code.empty() ? u"en-US" : code;
  }
  // Outside the lock: reloading asks for the language again.
  if (reload) Translator::GetInstance().Reload();
}

std::u16string GetCurrentLanguage() {
  auto& s = Current();
  std::lock_guard lock(s.mutex);
  return s.language;
}

}  // namespace Tessel
