// Helpers for whole-system tests: where the built programs are, temporary
// folders, and running a command with its output captured.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

inline std::string BuildDir() {
  const char* d = std::getenv("ANNOT_BUILD_DIR");
  return d ? d : ".";
}

inline std::string AnnotPath() { return BuildDir() + "/bin/annot"; }
inline std::string PluginPath() { return BuildDir() + "/lib/libannotation_plugin.so"; }
inline std::string SharedPdf(const std::string& name) {
  return std::string(ANNOT_SOURCE_DIR) + "/../shared/anchors/pdfs/" + name;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct CommandResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

inline CommandResult Shell(const std::string& command) {
  CommandResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "annot-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(*this / name, std::ios::binary) << text;
    return *this / name;
  }

 private:
  std::string path_;
};

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The annot command with configuration and data folders of its own in
// `dir` ("config" and `data`): a test's preferences, toolsets and
// identity are its own.
inline std::string AnnotIn(const TempDir& dir, const std::string& data = "data") {
  return "XDG_CONFIG_HOME=" + Quote(dir / "config") + " XDG_DATA_HOME=" + Quote(dir / data) + " " + Quote(AnnotPath());
}

// Writes the preferences file that AnnotIn(dir) reads.
inline void WritePreferences(const TempDir& dir, const std::string& text) {
  std::filesystem::create_directories(dir / "config/annot");
  std::ofstream(dir / "config/annot/preferences.ini") << text;
}

}  // namespace testing_support
