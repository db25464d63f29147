// Files written in place of others (selector 125, rows 7 to 10): a plug-in
// streams a new file through a FileReplacement, so that a failed or
// abandoned write never touches the file it was meant to replace.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "host/editor.h"
#include "host/file_util.h"
#include "host/host_functions.h"
#include "host/strings.h"
#include "host/utf.h"

struct KA_FileReplacement__ {
  kshost::FileReplacement file;
  bool failed = false;  // a write failed: the commit is refused
  std::string reason;
};

namespace kshost::direct {
namespace {

void SetReason(KS_ByteString out, const std::string& text) {
  if (out) out->text = text;
}

}  // namespace

KA_FileReplacement FileReplaceBegin(const char16_t* path, int32_t* status, KS_ByteString reason) {
  int32_t ignored = 0;
  if (!status) status = &ignored;
  *status = KS_FILE_CANNOT_CREATE;
  const auto view = ViewOf(path);
  if (view.empty() || view.front() != u'/') {
    SetReason(reason, "the path is not absolute");
    return nullptr;
  }
  const std::string utf8 = ToUtf8(view);
  struct stat st {};
  if (::stat(utf8.c_str(), &st) == 0) {
    // Something is there that may not be replaced; the reason says what,
    // since no program holds a file against writing here.
    const std::string why = S_ISDIR(st.st_mode)    ? std::string(std::strerror(EISDIR))
                            : !S_ISREG(st.st_mode) ? std::string("not a regular file")
                            : (st.st_mode & 0222) == 0 || ::access(utf8.c_str(), W_OK) != 0
                                ? std::string(std::strerror(EACCES)) + " (the file is read-only)"
                                : std::string();
    if (!why.empty()) {
      *status = KS_FILE_IN_USE;
      SetReason(reason, why);
      return nullptr;
    }
  }
  // A folder whose bits let nobody write is read-only to root as well, as
  // a read-only file is.
  const std::string folder = std::filesystem::path(utf8).parent_path().string();
  struct stat fs {};
  if (::stat(folder.empty() ? "/" : folder.c_str(), &fs) == 0 && S_ISDIR(fs.st_mode) && (fs.st_mode & 0222) == 0) {
    SetReason(reason, std::string(std::strerror(EACCES)) + " (the folder is read-only)");
    return nullptr;
  }
  auto file = std::make_unique<KA_FileReplacement__>();
  std::string why;
  if (!file->file.Begin(utf8, &why)) {
    SetReason(reason, why);
    return nullptr;
  }
  *status = 0;
  return file.release();
}

int32_t FileReplaceWrite(KA_FileReplacement file, const char* data, size_t length) {
  if (!file || file->failed || (!data && length > 0)) return 0;
  while (length > 0) {
    const ssize_t n = WriteToFile(file->file.fd(), data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      file->failed = true;
      file->reason = std::strerror(n < 0 ? errno : EIO);
      return 0;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return 1;
}

int32_t FileReplaceCommit(KA_FileReplacement file, KS_ByteString reason) {
  if (!file) return 0;
  std::unique_ptr<KA_FileReplacement__> owned(file);
  if (owned->failed) {
    SetReason(reason, owned->reason);
    return 0;
  }
  std::string why;
  if (!owned->file.Commit(&why)) {
    SetReason(reason, why);
    return 0;
  }
  return 1;
}

void FileReplaceDiscard(KA_FileReplacement file) { delete file; }

}  // namespace kshost::direct

namespace kshost::direct {

int32_t AppDocGetFilePath(KA_Document doc, KS_WideString out) {
  if (!doc || !out || doc->path.empty()) return 0;
  out->text = ToUtf16(doc->path);
  return 1;
}

}  // namespace kshost::direct
