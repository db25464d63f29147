// Helpers for the widget library's tests: a throw-away application folder
// and a guard that puts the library's process-wide state back.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

#include "tessel/headless.h"
#include "tessel/translator.h"

namespace Tessel::testing {

// A string table file holding `entries` (id, text), texts as written.
inline std::string StringsFile(std::initializer_list<std::pair<const char*, const char*>> entries) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>\n";
  for (const auto& [id, text] : entries) xml += std::string("  <string id=\"") + id + "\">" + text + "</string>\n";
  return xml + "</strings>\n";
}

class TempAppFolder {
 public:
  TempAppFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessel-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    previous_ = GetApplicationFolder();
    SetApplicationFolder(path_);
  }
  ~TempAppFolder() {
    SetApplicationFolder(previous_);
    SetCurrentLanguage(u"en-US", false);
    Translator::GetInstance().Clear();
    Headless::ClearAnswers();
    Headless::TakeShownDialogs();
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempAppFolder(const TempAppFolder&) = delete;
  TempAppFolder& operator=(const TempAppFolder&) = delete;

  const std::string& path() const { return path_; }

  // Writes `content` to <folder>/<relative>, making folders on the way.
  void Write(const std::string& relative, const std::string& content) const {
    const std::filesystem::path file = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace Tessel::testing
