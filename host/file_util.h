// Whole-file reads and crash-safe writes for host code.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kshost {

// Reads the whole file at `path` (UTF-8) into `bytes`. Only regular files
// are read: a folder, a FIFO or a device such as /dev/zero is refused
// without reading, since reading it could block or never end. On failure
// returns false with the reason (the system's error text, or "not a
// regular file") and leaves `bytes` empty.
bool ReadRegularFile(const std::string& path, std::string* bytes, std::string* reason);

// The bytes of the regular file at `path`; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// A new file that takes the place of the file at `path` in one step.
//
// The content is written to a file in the target's folder that has no name
// (O_TMPFILE) where the system supports it, else a temporary name beside
// the target. Commit() gives it the target's mode and owner and renames it
// over the target, so a reader sees the old or the new file, never a part.
// Until then nothing at `path` changes; a failure, Discard(), destruction,
// or the process ending by SIGINT or SIGTERM leaves no temporary behind.
// A named temporary carries the writer's process id
// ("NAME.tmp-PID-N"); one that a process killed outright left behind is
// removed by the next Begin() for the same target once that process no
// longer runs.
//
// `path` may be a symbolic link: the file it points to is replaced and the
// link stays. An existing target that is not a regular file, or that its
// permission bits make read-only (even to root, who may write anything),
// is refused.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement() { Discard(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Checks the target and opens the new file. False with the reason when
  // the target may not be replaced or the file cannot be made.
  // `allowUnnamed` false always uses a named temporary, as file systems
  // without O_TMPFILE do.
  bool Begin(const std::string& path, std::string* reason, bool allowUnnamed = true);

  // The new file, open for writing; -1 before Begin() or after the end.
  int fd() const { return fd_; }

  // Syncs the new file and puts it in place of the target. False with the
  // reason on failure, leaving the target as it was and no temporary.
  bool Commit(std::string* reason);

  // Drops the new file. Nothing to do after Commit().
  void Discard();

 private:
  bool NameUnnamedFile(std::string* reason);
  void Forget();

  std::string target_;  // after symbolic links
  std::string temp_;    // the temporary's name, empty while it has none
  int fd_ = -1;
  int slot_ = -1;       // the cleanup slot of `temp_`, or -1
  bool replacing_ = false;
  struct stat old_ {};
};

// Replaces the file at `path` with `data` through a FileReplacement. With
// `createFolders`, missing parent folders are made first. Returns false,
// leaving the target untouched, on any failure, with the reason in
// `reason` when it is given.
bool WriteFileAtomically(const std::string& path, const std::string& data, bool createFolders,
                         std::string* reason = nullptr);

// One write(2) of a file being saved; what write(2) returns, errno set on
// failure. Saves write through it so that tests can make them fail.
ssize_t WriteToFile(int fd, const void* data, size_t length);

// Copies the first `length` bytes of the file open as `from` to the
// current position of `to`, within the system (copy_file_range), and
// counts as one write for injected faults. False with `*error` 0 when the
// system cannot copy between these files, so that the caller writes the
// bytes itself; false with the errno when the copy failed.
bool CopyFileBytes(int from, int to, size_t length, int* error);

// Appends `data` to the regular file at `path` in place, provided the file
// is still the one open as `expected` (same inode) and still `length`
// bytes long: the bytes before are never written, and only what was
// appended is synced. Returns 1 when appended (or `data` is empty), 0 when
// the file is not as expected or may not be written in place (read-only
// bits, not a regular file), so that the caller replaces it instead,
// and -1 with the reason when a write or the sync failed; the file is then
// cut back to `length` and synced, so it reads as before, byte for byte.
int AppendToFile(const std::string& path, int expected, uint64_t length, const std::string& data,
                 std::string* reason);

// For tests: where a save can be made to fail, and with which errno.
// `writes` > 0 fails the write that many calls of WriteToFile from now;
// `sync` and `rename` fail those steps of FileReplacement::Commit (`sync`
// also the sync of AppendToFile). A failure fires once and is then
// forgotten.
struct FileFaults {
  int writes = 0;
  bool sync = false;
  bool rename = false;
  int error = 0;
};
void InjectFileFaults(const FileFaults& faults);

}  // namespace kshost
