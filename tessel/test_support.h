// Helpers for the widget library's tests: a throw-away application folder
// and a guard that puts the library's process-wide state back.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tessel/headless.h"
#include "tessel/translator.h"

namespace Tessel::testing {

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
