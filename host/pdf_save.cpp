// Saving a document: over the file it was read from as an appended
// update, or as a whole new file (copying what did not change where the
// file allows, else through qpdf's writer), also begun early by a batch
// job that hands over what it is done with. See pdf_document.h.
#include "host/pdf_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "host/file_util.h"
#include "host/pdf_names.h"
#include "host/pdf_update.h"

namespace kshost::pdf {

namespace {

constexpr int kSaveCompressionLevel = 1;

std::string ErrnoText(int err) { return std::strerror(err); }

// How much of a file's end its stamp checks: an appended update or a
// rewrite changes the last bytes, and reading them costs little.
constexpr size_t kStampTail = 64 * 1024;

uint32_t Checksum(std::string_view bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (!bytes.empty()) {
    const uInt n = static_cast<uInt>(std::min<size_t>(bytes.size(), 1u << 30));
    crc = crc32(crc, reinterpret_cast<Bytef const*>(bytes.data()), n);
    bytes.remove_prefix(n);
  }
  return static_cast<uint32_t>(crc);
}

Document::FileStamp StampOf(struct stat const& st, std::string_view tail) {
  Document::FileStamp stamp;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.mtimeSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  stamp.mtimeNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
  stamp.tailChecksum = Checksum(tail);
  return stamp;
}

// The stamp of the regular file open as `fd`; none for anything else or
// when its end cannot be read.

// The compressed data of the streams of one save. A second thread, when
// there are enough streams to pay for one, compresses them in the order they
// were listed, which is about the order qpdf writes them in, while qpdf
// writes everything else; qpdf asks for each stream's data when it gets to
// it, and the stream is compressed then if the thread has not yet done it.
class CompressionJobs {
 public:
  explicit CompressionJobs(std::vector<std::shared_ptr<Buffer>> plain) : jobs_(plain.size()) {
    for (size_t i = 0; i < plain.size(); ++i) jobs_[i].plain = std::move(plain[i]);
    if (jobs_.size() >= kThreadFrom) {
      try {
        worker_ = std::thread([this] { Work(); });
      } catch (std::exception const&) {
        // No thread: every stream is compressed when qpdf asks for it.
      }
    }
  }
  ~CompressionJobs() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    room_.notify_all();
    if (worker_.joinable()) worker_.join();
  }
  CompressionJobs(CompressionJobs const&) = delete;
  CompressionJobs& operator=(CompressionJobs const&) = delete;

  // Writes the compressed data of job `index`; throws when zlib fails.
  // The compressed bytes are dropped once written: a save holds those of
  // the streams the thread has run ahead on, not those of the whole
  // document. Should the writer ask for a stream twice, it is compressed
  // again.
  void Write(size_t index, Pipeline* pipeline) {
    Job& job = jobs_[index];
    int expected = kWaiting;
    if (job.state.compare_exchange_strong(expected, kTaken)) {
      Run(job);
    } else if (expected == kWritten) {
      std::string packed;
      if (!CompressData(PlainOf(job), packed))
        throw std::runtime_error("cannot compress a stream");
      pipeline->write(reinterpret_cast<unsigned char const*>(packed.data()), packed.size());
      pipeline->finish();
      return;
    } else {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return job.state.load() == kDone; });
    }
    if (!job.ok) throw std::runtime_error("cannot compress a stream");
    pipeline->write(reinterpret_cast<unsigned char const*>(job.packed.data()), job.packed.size());
    std::string().swap(job.packed);
    job.state = kWritten;
    {
      std::lock_guard lock(mutex_);
      ++written_;
    }
    room_.notify_one();
    pipeline->finish();
  }

 private:
  enum { kWaiting, kTaken, kDone, kWritten };
  // Below this many streams a thread costs about what it saves.
  static constexpr size_t kThreadFrom = 64;
  // How many streams the thread compresses ahead of the writer at most.
  static constexpr size_t kAhead = 4096;

  struct Job {
    std::shared_ptr<Buffer> plain;
    std::string packed;
    bool ok = false;
    std::atomic<int> state{kWaiting};
  };

  static std::string_view PlainOf(Job const& job) {
    return std::string_view(reinterpret_cast<char const*>(job.plain->getBuffer()), job.plain->getSize());
  }

  void Run(Job& job) {
    job.ok = CompressData(PlainOf(job), job.packed);
    // The bound is well above what small streams compress to, and the
    // string is held until the writer takes it.
    job.packed.shrink_to_fit();
    {
      std::lock_guard lock(mutex_);
      job.state = kDone;
    }
    done_.notify_all();
  }

  void Work() {
    for (size_t i = 0; i < jobs_.size(); ++i) {
      {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return stop_ || i < written_ + kAhead; });
      }
      if (stop_) return;
      int expected = kWaiting;
      if (jobs_[i].state.compare_exchange_strong(expected, kTaken)) Run(jobs_[i]);
    }
  }

  std::vector<Job> jobs_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::condition_variable room_;  // the writer has taken a stream's data
  size_t written_ = 0;            // streams written, under mutex_
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

class CompressedData : public QPDFObjectHandle::StreamDataProvider {
 public:
  CompressedData(std::shared_ptr<CompressionJobs> jobs, size_t index) : jobs_(std::move(jobs)), index_(index) {}
  void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override { jobs_->Write(index_, pipeline); }

 private:
  std::shared_ptr<CompressionJobs> jobs_;
  size_t index_;
};

// For the length of a save, the streams whose data the plug-in set
// unfiltered hold that data compressed, marked so that qpdf copies it as it
// is; afterwards they hold their own data again, so that saving changes
// nothing the plug-in can see.
class CompressedForSave {
 public:
  explicit CompressedForSave(std::vector<QPDFObjectHandle>& streams) {
    std::vector<std::shared_ptr<Buffer>> plain;
    for (QPDFObjectHandle& stream : streams) {
      QPDFObjectHandle dict = stream.getDict();
      // A filter the plug-in set itself says what the data already is.
      if (!stream.getFilterOnWrite() || dict.hasKey("/Filter") || dict.hasKey("/DecodeParms")) continue;
      std::shared_ptr<Buffer> data = stream.getRawStreamData();
      if (!data) continue;
      held_.emplace_back(stream, data);
      plain.push_back(std::move(data));
    }
    if (held_.empty()) return;
    jobs_ = std::make_shared<CompressionJobs>(std::move(plain));
    for (size_t i = 0; i < held_.size(); ++i) {
      QPDFObjectHandle& stream = held_[i].first;
      // There is no /DecodeParms to clear: an uninitialized handle leaves
      // the key as it is, which saves a search of each dictionary.
      stream.replaceStreamData(std::make_shared<CompressedData>(jobs_, i), QPDFObjectHandle::newName("/FlateDecode"),
                               QPDFObjectHandle());
      stream.setFilterOnWrite(false);
    }
  }
  ~CompressedForSave() {
    for (auto& [stream, plain] : held_) {
      try {
        stream.replaceStreamData(plain, QPDFObjectHandle::newNull(), QPDFObjectHandle());
        stream.setFilterOnWrite(true);
      } catch (...) {
      }
    }
  }
  CompressedForSave(CompressedForSave const&) = delete;
  CompressedForSave& operator=(CompressedForSave const&) = delete;

 private:
  std::vector<std::pair<QPDFObjectHandle, std::shared_ptr<Buffer>>> held_;
  std::shared_ptr<CompressionJobs> jobs_;
};

}  // namespace

std::optional<Document::FileStamp> Document::StampOfOpenFile(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const size_t size = static_cast<size_t>(st.st_size);
  const size_t want = std::min(size, kStampTail);
  std::string tail(want, '\0');
  size_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(fd, tail.data() + got, want - got, static_cast<off_t>(size - want + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<size_t>(n);
  }
  return StampOf(st, tail);
}

// The writer's output file. qpdf hands over the file in many small pieces;
// they are gathered here into large writes. A failed write is remembered,
// not thrown: qpdf finishes its pipelines from destructors too, where an
// exception would end the process. Later writes are dropped, and Save
// reports the first error once qpdf is done.
class FileOutput : public Pipeline {
 public:
  explicit FileOutput(int fd) : Pipeline("output file", nullptr), fd_(fd) { buffer_.reserve(kBufferSize); }
  void write(unsigned char const* data, size_t length) override {
    KeepTail(std::string_view(reinterpret_cast<char const*>(data), length));
    if (error_) return;
    if (buffer_.size() + length > kBufferSize) Flush();
    if (length >= kBufferSize) {
      WriteAll(reinterpret_cast<char const*>(data), length);
    } else {
      buffer_.append(reinterpret_cast<char const*>(data), length);
    }
  }
  void finish() override { Flush(); }

  // The errno of the first failed write, or 0.
  int error() const { return error_; }
  int fd() const { return fd_; }

  // Bytes put into the file by other means (a copy within the system), for
  // Tail() only.
  void NoteWrittenElsewhere(std::string_view data) { KeepTail(data); }
  // The last bytes of the file so far, as a stamp checks them.
  std::string_view Tail() const {
    std::string_view tail(tail_);
    return tail.substr(tail.size() - std::min(tail.size(), kStampTail));
  }

 private:
  void KeepTail(std::string_view data) {
    if (data.size() >= kStampTail) {
      tail_.assign(data.substr(data.size() - kStampTail));
      return;
    }
    tail_.append(data);
    if (tail_.size() > 2 * kStampTail) tail_.erase(0, tail_.size() - kStampTail);
  }

  static constexpr size_t kBufferSize = 1 << 20;

  void Flush() {
    WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void WriteAll(char const* data, size_t length) {
    while (length > 0 && !error_) {
      ssize_t n = kshost::WriteToFile(fd_, data, length);
      if (n < 0) {
        if (errno != EINTR) error_ = errno;
        continue;
      }
      data += n;
      length -= static_cast<size_t>(n);
    }
  }

  int fd_;
  int error_ = 0;
  std::string buffer_;
  std::string tail_;
};

// A save begun before the job that feeds it is over.
struct Document::EarlySave {
  std::string path;
  kshost::FileReplacement file;
  std::unique_ptr<FileOutput> output;
  std::unique_ptr<FileRewriter> rewriter;
  size_t released = 0;
  std::string failure;  // the first failure; nothing more is written after it
};

void Document::EarlySaveDeleter::operator()(EarlySave* save) const { delete save; }

std::string Document::WhyNotIncremental() {
  if (data_.empty()) return "the document was not read from a file";
  if (qpdf_->isEncrypted()) return "the file is encrypted, and encrypted objects cannot be appended to it";
  if (Reconstructed()) return "the file is damaged, and its cross-reference data had to be reconstructed";
  if (FindXrefTail(data_).offset < 0) return "the file's cross-reference data cannot be found";
  return std::string();
}

namespace {

// Whether `path` names the file at `source` (already followed through
// links): the same file on disk, however spelled.
bool IsSourceFile(std::string const& path, std::string const& source) {
  if (source.empty()) return false;
  struct stat a {}, b {};
  if (::stat(path.c_str(), &a) != 0 || ::stat(source.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether a save to `path` goes where the document was read from: the same
// name once links are followed, or the same file on disk.
bool NamesSourceFile(std::string const& path, std::string const& source) {
  if (source.empty()) return false;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    const bool same = source == real;
    std::free(real);
    if (same) return true;
  }
  return IsSourceFile(path, source);
}

}  // namespace

bool Document::SourceChangedOnDisk() {
  if (!sourceStamp_ || sourcePath_.empty()) return false;
  const int fd = ::open(sourcePath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  // A file removed since loses nothing when it is written anew; one that
  // cannot be opened fails the save on its own.
  if (fd < 0) return false;
  const std::optional<FileStamp> now = StampOfOpenFile(fd);
  ::close(fd);
  return !now || *now != *sourceStamp_;
}

// An update over the file read is appended to it in place; otherwise the
// new file replaces `path` only once it is complete and synced. On any
// failure `path` is as it was, byte for byte, and no temporary is left.
bool Document::BeginSave(std::string const& path, SaveMode mode) {
  if (early_ || !CanRewrite()) return false;
  if (NamesSourceFile(path, sourcePath_) || IsSourceFile(path, sourcePath_) || HasSignedSignature()) return false;
  (void)mode;  // a save to another file of an unsigned one rewrites it in either mode
  std::unique_ptr<EarlySave, EarlySaveDeleter> early(new EarlySave());
  std::string reason;
  if (!early->file.Begin(path, &reason)) return false;
  early->path = path;
  early->output = std::make_unique<FileOutput>(early->file.fd());
  early->rewriter = std::make_unique<FileRewriter>(*qpdf_, *fileIndex_, *early->output, RewriteOptions());
  early_ = std::move(early);
  return true;
}

void Document::Release(std::vector<QPDFObjGen> const& objects) {
  if (!early_ || !early_->failure.empty() || objects.empty()) return;
  try {
    std::string reason;
    if (!early_->rewriter->WriteNow(objects, reason)) {
      early_->failure = reason.empty() ? "write failed" : reason;
      return;
    }
  } catch (std::exception const& e) {
    early_->failure = e.what();
    return;
  }
  if (early_->output->error()) {
    early_->failure = ErrnoText(early_->output->error());
    return;
  }
  for (QPDFObjGen og : objects) {
    qpdf_->replaceObject(og, QPDFObjectHandle::newNull());
    changed_.erase(og);
    lastChange_.erase(og);
    unfilteredSet_.erase(og);
  }
  early_->released += objects.size();
  arena_->Retire([&](QPDFObjGen og) { return early_->rewriter->IsWritten(og); });
}

void Document::ReleaseAnnotation(QPDFObjectHandle annot) {
  if (!early_ || !annot.isIndirect() || annot.getOwningQPDF() != qpdf_.get() || !annot.isDictionary()) return;
  const int fileMax = fileIndex_ ? fileIndex_->MaxObject() : 0;
  auto isNew = [&](QPDFObjectHandle object) { return object.isIndirect() && object.getObjGen().getObj() > fileMax; };
  std::vector<QPDFObjGen> objects{annot.getObjGen()};
  auto appearances = [&](QPDFObjectHandle owner) {
    QPDFObjectHandle ap = owner.getKey("/AP");
    if (!ap.isDictionary()) return;
    for (char const* key : {"/N", "/D", "/R"}) {
      QPDFObjectHandle entry = ap.getKey(key);
      if (entry.isStream()) {
        if (isNew(entry)) objects.push_back(entry.getObjGen());
      } else if (entry.isDictionary() && !entry.isIndirect()) {
        for (auto [state, stream] : entry.ditems())
          if (stream.isStream() && isNew(stream)) objects.push_back(stream.getObjGen());
      }
    }
  };
  appearances(annot);
  QPDFObjectHandle popup = annot.getKey("/Popup");
  if (isNew(popup) && popup.isDictionary() && !(popup.getObjGen() == annot.getObjGen())) {
    objects.push_back(popup.getObjGen());
    appearances(popup);
  }
  std::sort(objects.begin(), objects.end());
  objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
  Release(objects);
}

bool Document::FinishEarlySave(std::string const& path, std::string& error) {
  // A refusal keeps the save begun: the objects it holds are in no other
  // place, and a save to its own file must still find them there.
  if (path != early_->path) {
    error = "cannot save " + path + ": the document is already being written to " + early_->path;
    return false;
  }
  std::unique_ptr<EarlySave, EarlySaveDeleter> early = std::move(early_);
  std::string reason = early->failure;
  if (reason.empty()) {
    try {
      if (early->rewriter->Finish(reason)) {
        early->output->finish();
        if (early->output->error()) reason = ErrnoText(early->output->error());
      } else if (reason.empty()) {
        reason = "write failed";
      }
    } catch (std::exception const& e) {
      reason = e.what();
    }
  }
  if (!reason.empty() || !early->file.Commit(&reason)) {
    early->file.Discard();
    error = "cannot save " + path + ": " + (reason.empty() ? std::string("write failed") : reason);
    return false;
  }
  return true;
}

bool Document::Save(std::string const& path, std::string& error, SaveMode mode, std::string* notice) {
  if (notice) notice->clear();
  if (early_) {
    // Nothing was dropped yet: the save begun can give way to another.
    if (early_->released == 0 && path != early_->path) {
      early_.reset();
    } else {
      return FinishEarlySave(path, error);
    }
  }
  if (NamesSourceFile(path, sourcePath_) && SourceChangedOnDisk()) {
    error = "cannot save " + path +
            ": another program changed the file after it was opened here, and saving over it would throw away "
            "what that program wrote; save a copy, or open the file again";
    return false;
  }
  bool incremental = false;
  const bool isSigned = HasSignedSignature();
  if (mode == SaveMode::kAuto && (isSigned || IsSourceFile(path, sourcePath_))) {
    std::string why = WhyNotIncremental();
    if (why.empty()) {
      incremental = true;
    } else if (isSigned) {
      error = "cannot save " + path + ": the document is signed, and an update cannot be appended because " + why +
              "; a full rewrite would invalidate its signatures";
      return false;
    } else if (notice) {
      *notice = path + ": written in full because " + why;
    }
  } else if (isSigned && notice) {
    *notice = path + ": warning: the document was rewritten in full, so its signatures are no longer valid";
  }

  std::string reason;
  // Over the file it was read from, an update goes after the file's bytes,
  // which are neither copied nor touched; a file that changed since it was
  // read (or that this document already appended to) is replaced below.
  if (incremental && !sourcePath_.empty() && mapping_.fd >= 0 && IsSourceFile(path, sourcePath_)) {
    std::string update;
    int appended = 0;
    try {
      if (!BuildUpdate(update, reason)) {
        error = "cannot save " + path + ": " + reason;
        return false;
      }
      appended = kshost::AppendToFile(sourcePath_, mapping_.fd, data_.size(), update, &reason);
    } catch (std::exception const& e) {
      appended = -1;
      reason = e.what();
    }
    if (appended > 0) {
      // Later saves check the file against what it is after this update.
      sourceStamp_ = StampOfOpenFile(mapping_.fd);
      return true;
    }
    // The file as read ends before the unfinished update; it is written
    // anew below without those bytes.
    if (appended == 0 && tornBytes_ > 0 && notice)
      *notice = path + ": the unfinished update (" + std::to_string(tornBytes_) +
                " bytes) that an interrupted save left at the end of the file was cut off";
    if (appended < 0) {
      // The failed append cut the file back to the bytes it had: its time
      // of change moved, its bytes did not, and a later save may go over it.
      const std::optional<FileStamp> now = StampOfOpenFile(mapping_.fd);
      if (now && sourceStamp_ && now->device == sourceStamp_->device && now->inode == sourceStamp_->inode &&
          now->size == sourceStamp_->size && now->tailChecksum == sourceStamp_->tailChecksum)
        sourceStamp_ = now;
      error = "cannot save " + path + ": " + (reason.empty() ? std::string("write failed") : reason);
      return false;
    }
  }

  kshost::FileReplacement file;
  if (!file.Begin(path, &reason)) {
    error = "cannot save " + path + ": " + reason;
    return false;
  }
  bool written = false;
  std::optional<FileStamp> stamp;
  try {
    FileOutput output(file.fd());
    written = incremental ? SaveIncremental(output, reason) : SaveFull(output, reason);
    struct stat st {};
    if (written && ::fstat(file.fd(), &st) == 0) stamp = StampOf(st, output.Tail());
  } catch (std::exception const& e) {
    reason = e.what();
  } catch (...) {
  }
  if (!written || !file.Commit(&reason)) {
    // An exception without text still gives a reason.
    if (reason.empty()) reason = "write failed";
    file.Discard();
    error = "cannot save " + path + ": " + reason;
    return false;
  }
  // What is at the source's place now is this save's file, which later
  // saves check against. (The rename keeps the time of change.)
  if (NamesSourceFile(path, sourcePath_)) sourceStamp_ = stamp;
  return true;
}

// The file as read, unchanged, then the update. Nothing of the file is
// parsed beyond what was changed.
bool Document::BuildUpdate(std::string& update, std::string& reason) {
  UpdateInput input;
  input.original = data_;
  input.tail = FindXrefTail(data_);
  input.changed = changed_;
  for (auto const& [og, entry] : qpdf_->getXRefTable())
    input.originalMaxObject = std::max(input.originalMaxObject, og.getObj());
  input.compress = [this](QPDFObjGen og) { return unfilteredSet_.count(og) > 0; };
  return BuildIncrementalUpdate(*qpdf_, input, update, reason);
}

bool Document::SaveIncremental(FileOutput& output, std::string& reason) {
  std::string update;
  if (!BuildUpdate(update, reason)) return false;
  const int fd = output.fd();
  // The file's bytes are copied by the system from the file kept open,
  // without passing through this process, where it can; else written.
  int copyError = 0;
  const bool copied = mapping_.fd >= 0 && kshost::CopyFileBytes(mapping_.fd, fd, data_.size(), &copyError);
  if (copyError) {
    reason = ErrnoText(copyError);
    return false;
  }
  if (copied)
    output.NoteWrittenElsewhere(data_);
  else
    output.write(reinterpret_cast<unsigned char const*>(data_.data()), data_.size());
  output.write(reinterpret_cast<unsigned char const*>(update.data()), update.size());
  output.finish();
  if (output.error()) reason = ErrnoText(output.error());
  return !output.error();
}

FileObjects const* Document::FileIndex() {
  if (data_.empty() || Reconstructed()) return nullptr;
  if (!fileIndex_) fileIndex_ = std::make_unique<FileObjects>(*qpdf_, data_);
  return fileIndex_.get();
}

FileRewriter::Options Document::RewriteOptions() {
  FileRewriter::Options options;
  options.changed = [this](QPDFObjGen og) { return changed_.count(og) > 0; };
  options.compress = [this](QPDFObjGen og) { return unfilteredSet_.count(og) > 0; };
  return options;
}

bool Document::CanRewrite() { return FileIndex() && WhyNotRewritable(*qpdf_, data_).empty(); }

bool Document::RewriteInto(Pipeline& out, std::string& reason) {
  if (!CanRewrite()) {
    reason = "the file cannot be rewritten by copying";
    return false;
  }
  FileRewriter rewriter(*qpdf_, *FileIndex(), out, RewriteOptions());
  return rewriter.Finish(reason);
}

bool Document::WriteWhole(Pipeline& out, std::string& reason) {
  // A file qpdf read without repairs is written by copying what did not
  // change; qpdf's writer takes the rest (encrypted files, object streams,
  // repaired files, documents made in memory).
  if (CanRewrite()) return RewriteInto(out, reason);
  // Streams qpdf compresses on the way out (new and changed ones: it
  // copies already compressed data) are mostly small appearance
  // streams; zlib's fastest level costs a few percent in size and saves
  // most of the time the default level spends on them. The same level
  // serves the streams compressed here.
  Pl_Flate::setCompressionLevel(kSaveCompressionLevel);
  // Encrypted output is left wholly to qpdf.
  std::optional<CompressedForSave> compressed;
  if (!qpdf_->isEncrypted()) {
    // A stream set again and again is listed once; every save
    // compresses the list again, as each save restores the data.
    std::sort(unfiltered_.begin(), unfiltered_.end(),
              [](auto& a, auto& b) { return a.getObjGen() < b.getObjGen(); });
    unfiltered_.erase(std::unique(unfiltered_.begin(), unfiltered_.end(),
                                  [](auto& a, auto& b) { return a.getObjGen() == b.getObjGen(); }),
                      unfiltered_.end());
    compressed.emplace(unfiltered_);
  }
  QPDFWriter writer(*qpdf_);
  writer.setOutputPipeline(&out);
  // A deterministic /ID makes equal documents save to equal bytes; qpdf
  // cannot combine it with encryption, whose key depends on the /ID.
  if (!qpdf_->isEncrypted()) writer.setDeterministicID(true);
  HashEscapedNames escaped(*qpdf_);
  writer.write();
  return true;
}

bool Document::SaveFull(FileOutput& output, std::string& reason) {
  if (!WriteWhole(output, reason)) return false;
  output.finish();
  if (output.error()) reason = ErrnoText(output.error());
  return !output.error();
}

}  // namespace kshost::pdf
