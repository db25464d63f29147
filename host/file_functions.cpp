// Files and folders (selector 125). Paths arrive as NUL-terminated UTF-16
// and must be absolute: a relative path would depend on the host's working
// folder, which a plug-in cannot know, so it is refused.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "host/file_util.h"
#include "host/host_functions.h"
#include "host/strings.h"
#include "host/utf.h"

namespace fs = std::filesystem;

namespace {

std::optional<std::string> AbsolutePath(const char16_t* path) {
  const auto view = kshost::ViewOf(path);
  if (view.empty() || view.front() != u'/') return std::nullopt;
  return kshost::ToUtf8(view);
}

bool IsKind(const char16_t* path, mode_t kind) {
  const auto utf8 = AbsolutePath(path);
  struct stat info{};
  return utf8 && ::stat(utf8->c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

}  // namespace

int32_t kshost::direct::FileExists(const char16_t* path) { return IsKind(path, S_IFREG) ? 1 : 0; }

int32_t kshost::direct::DirectoryExists(const char16_t* path) { return IsKind(path, S_IFDIR) ? 1 : 0; }

int32_t kshost::direct::DirectoryList(const char16_t* path, int32_t folders, KS_WideStringArray out) {
  const auto utf8 = AbsolutePath(path);
  if (!utf8 || !out) return 0;
  std::error_code ec;
  fs::directory_iterator it(*utf8, ec);
  if (ec) return 0;
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return 0;
    // status() follows symbolic links, so a link to a folder lists as one.
    std::error_code statusError;
    const auto type = it->status(statusError).type();
    const bool wanted = folders ? type == fs::file_type::directory : type == fs::file_type::regular;
    if (wanted) names.push_back(it->path().filename().string());
  }
  if (ec) return 0;
  // Byte order of UTF-8 is code point order, the same on every machine.
  std::sort(names.begin(), names.end());
  out->items.clear();
  for (const auto& name : names) out->items.push_back(ToUtf16(name));
  return 1;
}

int32_t kshost::direct::FileRead(const char16_t* path, KS_ByteString out) {
  const auto utf8 = AbsolutePath(path);
  if (!utf8 || !out || !IsKind(path, S_IFREG)) return 0;
  auto data = ReadWholeFile(*utf8);
  if (!data) return 0;
  out->text = std::move(*data);
  return 1;
}

int32_t kshost::direct::FileWrite(const char16_t* path, const char* data, size_t length) {
  const auto utf8 = AbsolutePath(path);
  if (!utf8 || (!data && length > 0)) return 0;
  return WriteFileAtomically(*utf8, std::string(data ? data : "", data ? length : 0), false) ? 1 : 0;
}

int32_t kshost::direct::FileRemove(const char16_t* path) {
  if (!IsKind(path, S_IFREG)) return 0;
  return ::unlink(AbsolutePath(path)->c_str()) == 0 ? 1 : 0;
}

int32_t kshost::direct::DirectoryCreate(const char16_t* path) {
  const auto utf8 = AbsolutePath(path);
  if (!utf8) return 0;
  std::error_code ec;
  fs::create_directories(*utf8, ec);
  return IsKind(path, S_IFDIR) ? 1 : 0;
}
