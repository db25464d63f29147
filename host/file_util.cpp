#include "host/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace kshost {
namespace {

constexpr char kNotRegular[] = "not a regular file";
// The most symbolic links followed to reach a target, as the kernel does.
constexpr int kMaxLinks = 40;

std::string ErrorText(int err) { return std::strerror(err); }

bool WriteAll(int fd, const std::string& data, std::string* reason) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = WriteToFile(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = ErrorText(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The mode for a new file: what open(2) with 0666 would give under the
// current umask. Read from /proc because umask(2) can only be queried by
// changing it, which would race with other threads creating files.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) != 0) continue;
    try {
      return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    } catch (const std::exception&) {
      break;
    }
  }
  return 0644;
}

// The name that a write to `path` finally replaces: the symbolic links of
// the last component followed (the folders' links need no following, the
// rename goes through them). A link to nowhere names the file it would
// create.
bool FinalName(const std::string& path, std::string* out, std::string* reason) {
  std::string current = path;
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *out = current;
      return true;
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), link, sizeof link);
    if (n < 0 || static_cast<size_t>(n) >= sizeof link) {
      *reason = ErrorText(n < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    const std::string to(link, static_cast<size_t>(n));
    current = to[0] == '/' ? to : FolderOf(current) + "/" + to;
  }
  *reason = ErrorText(ELOOP);
  return false;
}

// Named temporaries that SIGINT and SIGTERM must not leave behind. A signal
// handler may only make async-signal-safe calls, so the names live in fixed
// slots that it reads without locks.
struct PendingSlot {
  std::atomic<int> state{0};
  char path[PATH_MAX];
};
enum { kFree, kFilling, kArmed };
constexpr int kSlots = 16;
PendingSlot pending[kSlots];

void RemovePendingAndDie(int sig) {
  for (PendingSlot& slot : pending)
    if (slot.state.load() == kArmed) ::unlink(slot.path);
  // SA_RESETHAND has put back the default action: end as the signal would
  // have ended the process.
  ::raise(sig);
}

// Installed only over the default action: a program that ignores or
// handles these signals keeps doing so.
void InstallCleanupHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int sig : {SIGINT, SIGTERM}) {
      struct sigaction old {};
      if (::sigaction(sig, nullptr, &old) != 0) continue;
      if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = RemovePendingAndDie;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESETHAND;
      ::sigaction(sig, &action, nullptr);
    }
  });
}

// The slot now holding `path`, or -1 when all are taken or it is too long
// (the temporary is then removed on failure but not on a signal).
int Arm(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!pending[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(pending[i].path, path.c_str(), path.size() + 1);
    pending[i].state.store(kArmed);
    return i;
  }
  return -1;
}

void Disarm(int slot) {
  if (slot >= 0) pending[slot].state.store(kFree);
}

// Blocks SIGINT and SIGTERM for its scope, so that a file is never named
// on disk without being armed for removal.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// A fresh name beside `target` for one attempt; pid and counter keep
// writers apart, EEXIST makes the caller try the next.
std::string TemporaryName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

constexpr int kNameAttempts = 100;

// The process id in a temporary's name made by TemporaryName for
// `target`, or 0 when `name` (a name in the target's folder) is not one.
pid_t TemporaryOwner(const std::string& name, const std::string& targetBase) {
  const std::string prefix = targetBase + ".tmp-";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
  const char* p = name.c_str() + prefix.size();
  char* end = nullptr;
  errno = 0;
  const long pid = std::strtol(p, &end, 10);
  if (errno || end == p || *end != '-' || pid <= 0 || pid > INT_MAX || !std::isdigit(static_cast<unsigned char>(p[0])))
    return 0;
  const char* count = end + 1;
  if (!*count) return 0;
  for (const char* c = count; *c; ++c)
    if (!std::isdigit(static_cast<unsigned char>(*c))) return 0;
  return static_cast<pid_t>(pid);
}

// Removes the temporaries beside `target` that a save killed between
// writing and renaming (SIGKILL, a power cut) left behind: those whose
// process no longer runs. A process that runs under another user still
// counts as running (EPERM), and so does this one.
void RemoveOrphanedTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const auto slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = TemporaryOwner(entry->d_name, base);
    if (owner == 0 || owner == ::getpid()) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    // Only regular files: a folder or link of that name is someone else's.
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace

namespace {

FileFaults injected;

// True, with errno set, when an injected fault fires here.
bool Fires(bool& armed) {
  if (!armed) return false;
  armed = false;
  errno = injected.error;
  return true;
}

}  // namespace

void InjectFileFaults(const FileFaults& faults) { injected = faults; }

ssize_t WriteToFile(int fd, const void* data, size_t length) {
  if (injected.writes > 0 && --injected.writes == 0) {
    errno = injected.error;
    return -1;
  }
  return ::write(fd, data, length);
}

bool CopyFileBytes(int from, int to, size_t length, int* error) {
  *error = 0;
  if (injected.writes > 0 && --injected.writes == 0) {
    *error = injected.error;
    return false;
  }
  loff_t offset = 0;
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::copy_file_range(from, &offset, to, nullptr, length - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Nothing copied yet and the system cannot: the caller writes.
      const bool unsupported = n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                         errno == EOPNOTSUPP || errno == EBADF);
      if (done == 0 && unsupported) return false;
      // A file shorter than it was when read is not the file read.
      *error = n < 0 ? errno : EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

int AppendToFile(const std::string& path, int expected, uint64_t length, const std::string& data,
                 std::string* reason) {
  struct stat want {};
  if (expected < 0 || ::fstat(expected, &want) != 0) return 0;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct stat st {};
  // Read-only bits are honoured as FileReplacement honours them, even for
  // root, who could open the file anyway.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != want.st_dev || st.st_ino != want.st_ino ||
      static_cast<uint64_t>(st.st_size) != length || (st.st_mode & 0222) == 0) {
    ::close(fd);
    return 0;
  }
  if (data.empty()) {
    ::close(fd);
    return 1;
  }
  const off_t end = static_cast<off_t>(length);
  int err = 0;
  if (::lseek(fd, end, SEEK_SET) != end) err = errno;
  // Written in pieces so that a failure midway is a failure like any other.
  constexpr size_t kPiece = 1 << 20;
  for (size_t done = 0; !err && done < data.size();) {
    const ssize_t n = WriteToFile(fd, data.data() + done, std::min(kPiece, data.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!err && (Fires(injected.sync) || ::fdatasync(fd) != 0)) err = errno;
  if (err) {
    // Back to the file as it was: the old end is where the last complete
    // update ends, and making that durable matters as much as the write.
    (void)!::ftruncate(fd, end);
    ::fsync(fd);
    ::close(fd);
    *reason = ErrorText(err);
    return -1;
  }
  if (::close(fd) != 0) {
    *reason = ErrorText(errno);
    return -1;
  }
  return 1;
}

bool ReadRegularFile(const std::string& path, std::string* bytes, std::string* reason) {
  bytes->clear();
  // O_NONBLOCK: opening a FIFO that has no writer would wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *reason = ErrorText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *reason = S_ISDIR(st.st_mode) ? ErrorText(EISDIR) : st.st_mode ? kNotRegular : ErrorText(errno);
    ::close(fd);
    return false;
  }
  // Read straight into the string, sized for the file as it is now; a
  // file that grows meanwhile makes it grow in steps.
  size_t used = 0;
  bytes->resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536);
  for (;;) {
    if (used == bytes->size()) bytes->resize(bytes->size() * 2);
    const ssize_t n = ::read(fd, bytes->data() + used, bytes->size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = ErrorText(errno);
      bytes->clear();
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  bytes->resize(used);
  ::close(fd);
  return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string bytes, reason;
  if (!ReadRegularFile(path, &bytes, &reason)) return std::nullopt;
  return bytes;
}

bool FileReplacement::Begin(const std::string& path, std::string* reason, bool allowUnnamed) {
  Discard();
  if (!FinalName(path, &target_, reason)) return false;
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      *reason = ErrorText(EISDIR);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *reason = kNotRegular;
      return false;
    }
    // access() says yes to root for any file; the bits say what its owner
    // meant.
    if ((st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0) {
      *reason = ErrorText(EACCES) + " (the file is read-only)";
      return false;
    }
    replacing_ = true;
    old_ = st;
  } else if (errno != ENOENT) {
    *reason = ErrorText(errno);
    return false;
  }
  InstallCleanupHandlers();
  RemoveOrphanedTemporaries(target_);
  const std::string folder = FolderOf(target_);
  // Linking an unnamed file needs its /proc name; without /proc the
  // temporary is named from the start.
  if (allowUnnamed && ::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) return true;
    // Unsupported here, or the folder is unusable: the named path below
    // finds out which and says why.
  }
  // Named by this process's id, so that a later save can tell whether
  // the process that made it still runs.
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    SignalsHeld held;
    const std::string name = TemporaryName(target_);
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      temp_ = name;
      slot_ = Arm(temp_);
      return true;
    }
    if (errno != EEXIST) break;
  }
  *reason = ErrorText(errno);
  return false;
}

bool FileReplacement::NameUnnamedFile(std::string* reason) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    SignalsHeld held;
    const std::string name = TemporaryName(target_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_ = name;
      slot_ = Arm(temp_);
      return true;
    }
    if (errno != EEXIST) break;
  }
  *reason = ErrorText(errno);
  return false;
}

bool FileReplacement::Commit(std::string* reason) {
  if (fd_ < 0) {
    *reason = ErrorText(EBADF);
    return false;
  }
  if (Fires(injected.sync) || ::fsync(fd_) != 0) {
    *reason = ErrorText(errno);
    Discard();
    return false;
  }
  // The owner can only be kept by a process allowed to give files away;
  // for others the new file is theirs, as any file they write.
  if (replacing_ && (old_.st_uid != ::geteuid() || old_.st_gid != ::getegid()))
    (void)::fchown(fd_, old_.st_uid, old_.st_gid);
  // After the chown, which clears set-id bits.
  (void)::fchmod(fd_, replacing_ ? (old_.st_mode & 07777) : NewFileMode());
  if (temp_.empty() && !NameUnnamedFile(reason)) {
    Discard();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  // Some file systems report a failed write only at close.
  if (::close(fd) != 0 || Fires(injected.rename) || ::rename(temp_.c_str(), target_.c_str()) != 0) {
    *reason = ErrorText(errno);
    Discard();
    return false;
  }
  Forget();
  // Make the rename itself durable; a failure here loses nothing written.
  const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void FileReplacement::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  Forget();
}

void FileReplacement::Forget() {
  Disarm(slot_);
  slot_ = -1;
  temp_.clear();
  replacing_ = false;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, bool createFolders, std::string* reason) {
  std::string why;
  if (createFolders) {
    const fs::path target(path);
    std::error_code ec;
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  }
  FileReplacement file;
  bool ok = file.Begin(path, &why) && WriteAll(file.fd(), data, &why) && file.Commit(&why);
  if (!ok && reason) *reason = why.empty() ? "cannot write" : why;
  return ok;
}

}  // namespace kshost
