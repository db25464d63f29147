// One open PDF: the qpdf object, the bytes it reads from, the arena of
// borrowed handles and the warnings qpdf collected. Internal to host/.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/page_tree.h"
#include "host/pdf_handles.h"
#include "host/pdf_rewrite.h"

namespace kshost::pdf {

class FileOutput;

class Document {
 public:
  // What a document that is not encrypted allows: the high bits set and the
  // two lowest clear, as an encryption dictionary's /P has them.
  static constexpr uint32_t kAllPermissions = 0xFFFFFFFCu;

  ~Document();
  Document(Document const&) = delete;
  Document& operator=(Document const&) = delete;

  // Reads the whole PDF from `bytes`, which the document keeps. `password`
  // opens a file that needs its user password; with the owner password the
  // file's permission limits do not apply. On failure returns null and a
  // reason that starts with "cannot open " and `name`.
  static std::unique_ptr<Document> FromMemory(std::string bytes, std::string const& name, std::string& error,
                                              std::string const& password = std::string());

  // Opens the PDF file at `path` as FromMemory does, but reads it in place:
  // the file is mapped, so only what is parsed is read, and it is kept
  // open, so that its bytes are still there after a save puts a new file
  // in its place. Falls back to reading the whole file where it cannot be
  // mapped. Errors as FromMemory, or the system's reason.
  static std::unique_ptr<Document> FromFile(std::string const& path, std::string& error,
                                            std::string const& password = std::string());

  // A new PDF with an empty page tree.
  static std::unique_ptr<Document> Empty();

  // The open document whose QPDF is `qpdf`, or null.
  static Document* Find(QPDF const* qpdf);

  QPDF& qpdf() { return *qpdf_; }
  Arena& arena() { return *arena_; }

  // How a save writes the file. kAuto appends an incremental update (the
  // file's bytes as read, then what changed) when the output is the file
  // the document was read from or the document holds a signed signature
  // field, and rewrites the whole file otherwise. kFull always rewrites.
  enum class SaveMode { kAuto, kFull };

  // Writes the document to `path`. An incremental update saved over the
  // file the document was read from, while that file is still as read, is
  // appended to it in place (see AppendToFile: only the update is written
  // and synced). Otherwise a new file replaces `path` only once it is
  // complete and synced (see FileReplacement: links are followed, the mode
  // kept, read-only and non-regular targets refused). On failure returns
  // false with "cannot save PATH: " and the reason, and `path` is as it
  // was, byte for byte.
  //
  // An update that cannot be appended (the file was damaged and had to be
  // reconstructed, or is encrypted) makes kAuto rewrite the file and say
  // why in `notice`; for a signed document it fails instead, since a
  // rewrite invalidates the signatures. kFull on a signed document warns
  // in `notice` that it does. `notice` is left empty otherwise.
  bool Save(std::string const& path, std::string& error, SaveMode mode = SaveMode::kAuto,
            std::string* notice = nullptr);

  // A full save to `path` begun before the job that changes the document
  // is over, so that what the job is done with can be written and dropped
  // from memory as it goes (Release); Save to the same path finishes it.
  // Only a rewrite of an unsigned file that qpdf read without repairs, to
  // another file than the one read, can be begun early: false otherwise
  // (or when the new file cannot be made), and Save works as usual.
  bool BeginSave(std::string const& path, SaveMode mode);

  // Writes `objects` (indirect objects the trailer reaches, which nothing
  // will read again: the annotations of a page a batch job has finished,
  // their appearance streams) into the save begun, and frees them; they
  // read as null from then on, and handles fetched through them must not
  // be used (their objects are let go of in batches). Nothing without a
  // save begun.
  void Release(std::vector<QPDFObjGen> const& objects);
  // Releases an annotation with what only it uses: its popup and the
  // appearance streams of both, where they are new (a stream from the file
  // may be shared).
  void ReleaseAnnotation(QPDFObjectHandle annot);

  // The file the document was read from, followed through links; empty for
  // a document made in memory.
  void SetSourcePath(std::string path) { sourcePath_ = std::move(path); }

  // How a file looked on disk when the document read it or last saved over
  // it: which file it was, its size and time of change, and a checksum of
  // its last bytes. A program that writes the file changes at least one.
  struct FileStamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeSeconds = 0, mtimeNanoseconds = 0;
    uint32_t tailChecksum = 0;
    bool operator==(FileStamp const& o) const {
      return device == o.device && inode == o.inode && size == o.size && mtimeSeconds == o.mtimeSeconds &&
             mtimeNanoseconds == o.mtimeNanoseconds && tailChecksum == o.tailChecksum;
    }
    bool operator!=(FileStamp const& o) const { return !(*this == o); }
  };

  // True when the file the document was read from is no longer the bytes
  // it read (or last saved there): another program wrote, replaced or
  // removed it since. False for a document not read from a regular file.
  // Save refuses to write over such a file, since what the other program
  // wrote would be lost.
  bool SourceChangedOnDisk();

  // Marks an object of this document as changed since it was read, so that
  // an incremental save writes it again. Direct objects and objects of
  // other documents are ignored.
  void MarkChanged(QPDFObjGen og) {
    changed_.insert(og);
    lastChange_[og] = ++changes_;
  }
  void MarkChanged(QPDFObjectHandle const& object);
  std::set<QPDFObjGen> const& Changed() const { return changed_; }
  // How many changes were marked since the document was read: a count
  // that only grows, so that a reader can tell whether an object changed
  // after a moment it noted.
  uint64_t ChangeCount() const { return changes_; }
  // The ChangeCount of the last change marked on `og`; 0 when none was.
  uint64_t LastChange(QPDFObjGen og) const {
    auto it = lastChange_.find(og);
    return it == lastChange_.end() ? 0 : it->second;
  }
  // Tells this document from every other one opened in the process, also
  // one read again from the same file.
  uint64_t Serial() const { return serial_; }

  // True when a signature field of the document holds a signature value.
  bool HasSignedSignature();

  // Why an incremental update cannot be appended to this document's file,
  // or empty when it can.
  std::string WhyNotIncremental();

  // How many bytes of the file the document reads: an unfinished update
  // at the file's end is left out.
  size_t BytesRead() const { return data_.size(); }

  // The update an incremental save appends to the file's bytes (see
  // BuildIncrementalUpdate); only when WhyNotIncremental() is empty.
  bool BuildUpdate(std::string& update, std::string& reason);

  // Records a stream whose data was just set unfiltered through the host.
  // Save compresses such streams itself: qpdf would set up a compressor for
  // each of them, which for thousands of small appearance streams costs
  // more than the compressing.
  void NoteUnfilteredData(QPDFObjectHandle const& stream) {
    unfiltered_.push_back(stream);
    unfilteredSet_.insert(stream.getObjGen());
  }

  // The permission flags that apply: every permission for a file that is not
  // encrypted or was opened with its owner password, else the file's /P.
  uint32_t Permissions() const { return permissions_; }

  // False when the permissions forbid changing annotations. Every host
  // function that would change an object of such a document (a page, an
  // annotation, an appearance stream) or add one fails instead, so no
  // plug-in can get around the limit. Only the form's default resources,
  // which no annotation needs changed, can still take a font.
  bool Writable() const { return (permissions_ & KPD_PERM_MODIFY_ANNOTS) != 0; }

  // The pages of the document (see PageTree): the tree's warnings join
  // the document's, and what it changes is marked changed.
  PageTree& pages() { return pages_; }

  // Where the objects of the file read start; made on first use. Null for
  // a document not read from a file, or one qpdf had to repair.
  FileObjects const* FileIndex();

  // True when a full save copies the unchanged objects of the file read
  // (see FileRewriter): not for a document made in memory, a file qpdf had
  // to repair, an encrypted file or one with object streams.
  bool CanRewrite();
  // The whole file as such a save writes it, into `out`; false with the
  // reason when it cannot be written so.
  bool RewriteInto(Pipeline& out, std::string& reason);
  // The whole file as a full save writes it (RewriteInto where it can,
  // else qpdf's writer), into `out`; false with the reason, or throws.
  bool WriteWhole(Pipeline& out, std::string& reason);

  // How often each object is referred to from the objects the trailer
  // reaches (the trailer included), by object number.
  std::vector<int32_t> ReferenceCounts();

  // Warnings qpdf has collected so far, oldest first.
  std::vector<std::string> const& Warnings();

  KPD_Document ToKpd() { return reinterpret_cast<KPD_Document>(this); }
  static Document* FromKpd(KPD_Document doc) { return reinterpret_cast<Document*>(doc); }

 private:
  Document();
  void Register();
  // What the page tree tells the document: its warnings and its changes.
  PageTree::Listener PageTreeListener();
  bool Process(std::string const& name, std::string& error, std::string const& password);
  bool SaveFull(FileOutput& output, std::string& reason);
  bool FinishEarlySave(std::string const& path, std::string& error);
  // How the open file `fd` looks now; none when it cannot be read.
  static std::optional<FileStamp> StampOfOpenFile(int fd);
  // True when qpdf had to rebuild the file's cross-reference data.
  bool Reconstructed();
  FileRewriter::Options RewriteOptions();
  bool SaveIncremental(FileOutput& output, std::string& reason);

  // Declaration order is destruction order in reverse: handles go before
  // the QPDF they point into, and the QPDF before the bytes it reads.
  std::string bytes_;
  struct Mapping {
    int fd = -1;
    void* data = nullptr;
    size_t size = 0;
    Mapping() = default;
    Mapping(Mapping const&) = delete;
    Mapping& operator=(Mapping const&) = delete;
    ~Mapping();
  };
  Mapping mapping_;
  std::string_view data_;  // the file's bytes: bytes_ or the mapping
  std::unique_ptr<QPDF> qpdf_;
  PageTree pages_;
  std::unique_ptr<Arena> arena_;
  std::unique_ptr<FileObjects> fileIndex_;
  // A save begun early (see BeginSave); its machinery lives with the
  // rest of saving.
  struct EarlySave;
  struct EarlySaveDeleter {
    void operator()(EarlySave* save) const;
  };
  std::unique_ptr<EarlySave, EarlySaveDeleter> early_;
  std::vector<std::string> warnings_;
  std::vector<QPDFObjectHandle> unfiltered_;
  std::set<QPDFObjGen> unfilteredSet_;  // the objects of unfiltered_
  std::set<QPDFObjGen> changed_;
  std::map<QPDFObjGen, uint64_t> lastChange_;
  uint64_t changes_ = 0;
  uint64_t serial_ = 0;
  std::string sourcePath_;
  std::optional<FileStamp> sourceStamp_;  // none: not read from a regular file
  uint32_t permissions_ = kAllPermissions;
  size_t tornBytes_ = 0;  // of an unfinished update after the file's end, left out
};

// Opens the PDF file at `path` with `password` (empty: none) as
// DocOpenFile does.
KPD_Document OpenFile(const char* path, std::string const& password, KS_ByteString error);

// False when `handle` is an object of a document that may not be changed.
bool MayChange(Handle const& handle);

}  // namespace kshost::pdf
