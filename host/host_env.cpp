#include "host/host_env.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "host/file_util.h"

#ifndef ANNOT_SOURCE_DIR
#define ANNOT_SOURCE_DIR "."
#endif

namespace fs = std::filesystem;

namespace kshost {
namespace {

std::string EnvVar(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvVar("HOME");
  if (!home.empty()) return home;
  // No HOME (daemons, some CI runners): ask the password database.
  struct passwd entry{};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "/tmp";
}

// XDG base directory: the variable when it holds an absolute path (the
// standard says relative ones are to be ignored), else HOME + fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
  const std::string value = EnvVar(variable);
  if (!value.empty() && value.front() == '/') return value;
  return HomeFolder() + fallback;
}

std::string ComputeAppFolder() {
  std::string fromEnv = EnvVar("ANNOT_APP_DIR");
  if (!fromEnv.empty()) return fromEnv;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path candidate = exe.parent_path().parent_path();
    if (fs::is_directory(candidate / "lang", ec)) return candidate.string();
  }
  return ANNOT_SOURCE_DIR;
}

std::optional<int32_t> ParseInt32(std::u16string_view text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  const size_t firstDigit = (!ascii.empty() && (ascii.front() == '-' || ascii.front() == '+')) ? 1 : 0;
  if (ascii.size() <= firstDigit || ascii[firstDigit] < '0' || ascii[firstDigit] > '9') return std::nullopt;
  // from_chars takes '-' but not '+'.
  const char* begin = ascii.data() + (ascii.front() == '+' ? 1 : 0);
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(begin, ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

}  // namespace

std::string HostEnv::appFolder() {
  std::lock_guard lock(mutex_);
  if (!appFolder_) appFolder_ = ComputeAppFolder();
  return *appFolder_;
}

std::string HostEnv::uiFolder() { return appFolder() + "/ui"; }

std::string HostEnv::appDataFolder() {
  std::lock_guard lock(mutex_);
  if (!appDataFolder_) appDataFolder_ = XdgFolder("XDG_DATA_HOME", "/.local/share") + "/annot";
  return *appDataFolder_;
}

std::string HostEnv::userFolder() {
  std::lock_guard lock(mutex_);
  if (!userFolder_) {
    const std::string fromEnv = EnvVar("ANNOT_USER_DIR");
    userFolder_ = fromEnv.empty() ? HomeFolder() : fromEnv;
  }
  return *userFolder_;
}

std::string HostEnv::configFolderLocked() {
  if (!configFolder_) configFolder_ = XdgFolder("XDG_CONFIG_HOME", "/.config") + "/annot";
  return *configFolder_;
}

std::string HostEnv::prefFileLocked() { return configFolderLocked() + "/preferences.ini"; }

std::string HostEnv::uiLanguage() {
  std::lock_guard lock(mutex_);
  return language_ ? *language_ : "en-US";
}

void HostEnv::setUiLanguage(std::string language) {
  std::lock_guard lock(mutex_);
  language_ = std::move(language);
}

void HostEnv::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  prefs_.clear();
  fileWasMalformed_ = false;
  const auto text = ReadWholeFile(prefFileLocked());
  if (!text) return;
  if (auto parsed = ParsePrefFile(*text)) {
    prefs_ = std::move(*parsed);
  } else {
    fileWasMalformed_ = true;
  }
}

namespace {

// An advisory lock on a folder, held for one read-merge-write of a file in
// it; other processes of this host take the same lock.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

bool HostEnv::saveLocked() {
  const std::string path = prefFileLocked();
  FolderLock lock(configFolderLocked());
  // What other processes wrote since this one read the file stays; only
  // this process's own changes go on top of it.
  const auto text = ReadWholeFile(path);
  std::optional<PrefMap> stored = text ? ParsePrefFile(*text) : std::optional<PrefMap>(PrefMap{});
  if (stored) {
    for (const auto& [where, value] : changes_) {
      if (value) (*stored)[where] = *value;
      else stored->erase(where);
    }
    prefs_ = std::move(*stored);
  } else {
    // Keep the unreadable file for the user instead of silently dropping it.
    ::rename(path.c_str(), (path + ".bad").c_str());
  }
  fileWasMalformed_ = false;
  if (!WriteFileAtomically(path, FormatPrefFile(prefs_), true)) return false;
  changes_.clear();
  return true;
}

std::optional<std::u16string> HostEnv::prefText(const std::u16string& section, const std::u16string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  const auto it = prefs_.find({section, key});
  if (it == prefs_.end()) return std::nullopt;
  return it->second;
}

std::optional<int32_t> HostEnv::prefInt(const std::u16string& section, const std::u16string& key) {
  const auto text = prefText(section, key);
  return text ? ParseInt32(*text) : std::nullopt;
}

bool HostEnv::setPrefText(const std::u16string& section, const std::u16string& key, const std::u16string& value) {
  std::lock_guard lock(mutex_);
  loadLocked();
  const auto it = prefs_.find({section, key});
  if (it != prefs_.end() && it->second == value && !changes_.count({section, key})) return true;
  prefs_[{section, key}] = value;
  changes_[{section, key}] = value;
  return saveLocked();
}

bool HostEnv::setPrefInt(const std::u16string& section, const std::u16string& key, int32_t value) {
  const std::string digits = std::to_string(value);
  return setPrefText(section, key, std::u16string(digits.begin(), digits.end()));
}

bool HostEnv::removePref(const std::u16string& section, const std::u16string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (prefs_.erase({section, key}) == 0) return true;
  changes_[{section, key}] = std::nullopt;
  return saveLocked();
}

void HostEnv::Reset() {
  std::lock_guard lock(mutex_);
  appFolder_.reset();
  appDataFolder_.reset();
  userFolder_.reset();
  configFolder_.reset();
  language_.reset();
  loaded_ = false;
  fileWasMalformed_ = false;
  prefs_.clear();
  changes_.clear();
}

HostEnv& Env() {
  static HostEnv env;
  return env;
}

}  // namespace kshost
