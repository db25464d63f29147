// PDF documents over qpdf (selector 34).
//
// Files are mapped and parsed from the mapping, which qpdf reads lazily, so
// only the objects a command touches are read. The file stays open and
// mapped for the document's life. A save never writes into the bytes read:
// an update saved over the file goes after them, and anything else puts a
// new file in its place, so the bytes the document reads stay those of the
// file it opened. (A file another program truncates in place while it is
// open cannot be read further.)
#include "host/pdf_document.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <optional>
#include <unordered_map>

#include "host/file_util.h"
#include "host/pdf_update.h"
#include "host/qpdf_new_objects.h"
#include "host/host_functions.h"

namespace kshost::pdf {

namespace {

constexpr int kSaveCompressionLevel = 1;

std::mutex registry_mutex;
std::unordered_map<QPDF const*, Document*>& Registry() {
  static std::unordered_map<QPDF const*, Document*> registry;
  return registry;
}

// qpdf accepts a header anywhere in the first kilobyte; anything without one
// is not worth handing to its recovery code, whose messages would confuse.
bool HasPdfHeader(std::string_view bytes) {
  std::string_view head(bytes.data(), std::min<size_t>(bytes.size(), 1024));
  return head.find("%PDF-") != std::string_view::npos;
}



// qpdf's messages can be empty; the user still learns what went wrong.
std::string OpenError(std::string const& name, std::string const& reason) {
  return "cannot open " + name + ": " + (reason.empty() ? "damaged file that cannot be read" : reason);
}

bool ReadWholeFile(char const* path, std::string& bytes, std::string& reason) {
  return kshost::ReadRegularFile(path, &bytes, &reason);
}


}  // namespace


Document::Document()
    : qpdf_(std::make_unique<QPDF>()), pages_(*qpdf_, PageTreeListener()), arena_(std::make_unique<Arena>(this)) {
  static std::atomic<uint64_t> serials{0};
  serial_ = ++serials;
  // Warnings are kept for DocGetWarning; nothing may reach stdout/stderr.
  qpdf_->setSuppressWarnings(true);
  auto logger = QPDFLogger::create();
  logger->setInfo(logger->discard());
  logger->setWarn(logger->discard());
  logger->setError(logger->discard());
  qpdf_->setLogger(logger);
}

PageTree::Listener Document::PageTreeListener() {
  // qpdf's warnings so far come before the tree's.
  return {[this](std::string const& warning) {
            Warnings();
            warnings_.push_back(warning);
          },
          [this](QPDFObjectHandle const& object) { MarkChanged(object); }};
}

Document::~Document() {
  std::lock_guard lock(registry_mutex);
  Registry().erase(qpdf_.get());
}

void Document::Register() {
  std::lock_guard lock(registry_mutex);
  Registry()[qpdf_.get()] = this;
}

Document* Document::Find(QPDF const* qpdf) {
  if (!qpdf) return nullptr;
  std::lock_guard lock(registry_mutex);
  auto found = Registry().find(qpdf);
  return found == Registry().end() ? nullptr : found->second;
}

std::unique_ptr<Document> Document::FromMemory(std::string bytes, std::string const& name, std::string& error,
                                               std::string const& password) {
  std::unique_ptr<Document> doc(new Document());
  doc->bytes_ = std::move(bytes);
  doc->data_ = doc->bytes_;
  if (!doc->Process(name, error, password)) return nullptr;
  return doc;
}

Document::Mapping::~Mapping() {
  if (data) ::munmap(data, size);
  if (fd >= 0) ::close(fd);
}

std::unique_ptr<Document> Document::FromFile(std::string const& path, std::string& error,
                                             std::string const& password) {
  std::unique_ptr<Document> doc(new Document());
  // O_NONBLOCK: opening a FIFO that has no writer would wait for one.
  doc->mapping_.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  // What the file is now, before any of it is read: a save over it later
  // checks that nobody has written it since.
  doc->sourceStamp_ = StampOfOpenFile(doc->mapping_.fd);
  if (doc->mapping_.fd >= 0 && ::fstat(doc->mapping_.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    void* data = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, doc->mapping_.fd, 0);
    if (data != MAP_FAILED) {
      // qpdf jumps from object to object; reading ahead around each one
      // would read most of a large file for a few objects.
      ::madvise(data, static_cast<size_t>(st.st_size), MADV_RANDOM);
      doc->mapping_.data = data;
      doc->mapping_.size = static_cast<size_t>(st.st_size);
      doc->data_ = std::string_view(static_cast<char const*>(data), doc->mapping_.size);
      if (!doc->Process(path, error, password)) return nullptr;
      return doc;
    }
  }
  // Whatever could not be mapped is read, which also gives the reason a
  // file cannot be opened at all.
  std::string bytes, reason;
  if (!ReadWholeFile(path.c_str(), bytes, reason)) {
    error = "cannot open " + path + ": " + reason;
    return nullptr;
  }
  auto stamp = doc->sourceStamp_;
  auto read = FromMemory(std::move(bytes), path, error, password);
  if (read) read->sourceStamp_ = stamp;
  return read;
}

bool Document::Process(std::string const& name, std::string& error, std::string const& password) {
  if (!HasPdfHeader(data_)) {
    error = "cannot open " + name + ": not a PDF file";
    return false;
  }
  // A save killed while appending left the start of an update after the
  // file's last complete one: the file is read without it, and a save over
  // the file cuts it off.
  if (size_t complete = CompleteLength(data_); complete < data_.size()) {
    tornBytes_ = data_.size() - complete;
    data_ = data_.substr(0, complete);
    warnings_.push_back(name + ": the file ends with " + std::to_string(tornBytes_) +
                        " bytes of an unfinished update (an interrupted save), which are left out");
  }
  try {
    qpdf_->processMemoryFile(name.c_str(), data_.data(), data_.size(), password.empty() ? nullptr : password.c_str());
    // qpdf parses lazily; reading the page count now turns a hopeless file
    // into an open error rather than a failure on some later call. Only
    // the top of the page tree is read: a command that needs one page of a
    // large file reads that page.
    qpdf_->getRoot();
    pages_.Count();
    // A file qpdf had to repair is read whole when the first new object
    // is made, as qpdf does.
    if (!Reconstructed()) LetNewObjectsSkipTheFullRead(*qpdf_);
  } catch (QPDFExc const& e) {
    std::string reason = e.getMessageDetail();
    if (e.getErrorCode() == qpdf_e_password) reason = password.empty() ? "password required" : "incorrect password";
    error = OpenError(name, reason);
    return false;
  } catch (std::exception const& e) {
    error = OpenError(name, e.what());
    return false;
  }
  int revision = 0, permissions = 0;
  if (qpdf_->isEncrypted(revision, permissions) && !qpdf_->ownerPasswordMatched())
    permissions_ = static_cast<uint32_t>(permissions);
  Register();
  return true;
}

std::unique_ptr<Document> Document::Empty() {
  std::unique_ptr<Document> doc(new Document());
  doc->qpdf_->emptyPDF();
  doc->Register();
  return doc;
}

bool MayChange(Handle const& handle) {
  Document* doc = DocumentOfHandle(handle);
  return !doc || doc->Writable();
}

std::vector<std::string> const& Document::Warnings() {
  for (auto const& warning : qpdf_->getWarnings()) warnings_.push_back(warning.what());
  return warnings_;
}

void Document::MarkChanged(QPDFObjectHandle const& object) {
  if (!object.isInitialized() || !object.isIndirect()) return;
  QPDFObjectHandle probe = object;
  if (probe.getOwningQPDF() == qpdf_.get()) MarkChanged(probe.getObjGen());
}

// Fields form a tree through /Kids; the field type is inherited. A loop or
// a shared node is walked once, and the walk has a bound, since a file can
// hold any number of fields.
bool Document::HasSignedSignature() {
  QPDFObjectHandle form = qpdf_->getRoot().getKey("/AcroForm");
  if (!form.isDictionary()) return false;
  constexpr size_t kMostFields = 1'000'000;
  std::set<QPDFObjGen> seen;
  std::vector<std::pair<QPDFObjectHandle, bool>> pending;  // field, inherits /FT /Sig
  QPDFObjectHandle fields = form.getKey("/Fields");
  if (fields.isArray())
    for (auto const& field : fields.aitems()) pending.emplace_back(field, false);
  for (size_t visited = 0; !pending.empty() && visited < kMostFields; ++visited) {
    auto [field, inheritedSig] = pending.back();
    pending.pop_back();
    if (!field.isDictionary()) continue;
    if (field.isIndirect() && !seen.insert(field.getObjGen()).second) continue;
    QPDFObjectHandle type = field.getKey("/FT");
    const bool isSig = type.isName() ? type.getName() == "/Sig" : inheritedSig;
    if (isSig && field.getKey("/V").isDictionary()) return true;
    QPDFObjectHandle kids = field.getKey("/Kids");
    if (kids.isArray())
      for (auto const& kid : kids.aitems()) pending.emplace_back(kid, isSig);
  }
  return false;
}


bool Document::Reconstructed() {
  for (std::string const& warning : Warnings())
    if (warning.find("reconstruct") != std::string::npos || warning.find("file is damaged") != std::string::npos)
      return true;
  return false;
}


}  // namespace kshost::pdf

using kshost::pdf::Document;
using kshost::pdf::FromKpd;
using kshost::pdf::Guard;
using kshost::pdf::SetBytes;
using kshost::pdf::ToKpd;

namespace {

Document* Doc(KPD_Document doc) { return Document::FromKpd(doc); }

KPD_Object Lend(Document* doc, QPDFObjectHandle const& object) { return ToKpd(doc->arena().Lend(object)); }

}  // namespace

KPD_Document kshost::pdf::OpenFile(const char* path, std::string const& password, KS_ByteString error) {
  return Guard<KPD_Document>(nullptr, [&]() -> KPD_Document {
    if (!path || !*path) {
      SetBytes(error, "cannot open: no file name given");
      return nullptr;
    }
    std::string reason;
    auto doc = Document::FromFile(path, reason, password);
    if (!doc) {
      SetBytes(error, reason);
      return nullptr;
    }
    if (char* real = ::realpath(path, nullptr)) {
      doc->SetSourcePath(real);
      std::free(real);
    }
    return doc.release()->ToKpd();
  });
}

KPD_Document kshost::direct::DocOpenFile(const char* path, KS_ByteString error) {
  return kshost::pdf::OpenFile(path, std::string(), error);
}

KPD_Document kshost::direct::DocOpenMemory(const char* data, size_t length, KS_ByteString error) {
  return Guard<KPD_Document>(nullptr, [&]() -> KPD_Document {
    std::string reason;
    auto doc = Document::FromMemory(data ? std::string(data, length) : std::string(), "PDF in memory", reason);
    if (!doc) {
      SetBytes(error, reason);
      return nullptr;
    }
    return doc.release()->ToKpd();
  });
}

KPD_Document kshost::direct::DocNew(void) {
  return Guard<KPD_Document>(nullptr, [] { return Document::Empty().release()->ToKpd(); });
}

int32_t kshost::direct::DocSave(KPD_Document doc, const char* path, KS_ByteString error) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!doc || !path || !*path) {
      SetBytes(error, doc ? "cannot save: no file name given" : "cannot save: no document");
      return 0;
    }
    std::string reason;
    if (!Doc(doc)->Save(path, reason)) {
      SetBytes(error, reason);
      return 0;
    }
    return 1;
  });
}

void kshost::direct::DocClose(KPD_Document doc) {
  kshost::pdf::GuardVoid([&] { delete Doc(doc); });
}

int32_t kshost::direct::DocPageCount(KPD_Document doc) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    return doc ? static_cast<int32_t>(Doc(doc)->pages().Count()) : 0;
  });
}

KPD_Page kshost::direct::DocGetPage(KPD_Document doc, int32_t index) {
  return Guard<KPD_Page>(nullptr, [&]() -> KPD_Page {
    if (!doc || index < 0) return nullptr;
    QPDFObjectHandle page = Doc(doc)->pages().At(index);
    return page.isInitialized() ? Lend(Doc(doc), page) : nullptr;
  });
}

int32_t kshost::direct::DocGetPageIndex(KPD_Document doc, KPD_Page page) {
  return Guard<int32_t>(-1, [&]() -> int32_t {
    if (!doc || !page) return -1;
    return Doc(doc)->pages().IndexOf(FromKpd(page)->object);
  });
}

KPD_Dictionary kshost::direct::DocGetRoot(KPD_Document doc) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    return doc ? Lend(Doc(doc), Doc(doc)->qpdf().getRoot()) : nullptr;
  });
}

KPD_Dictionary kshost::direct::DocGetTrailer(KPD_Document doc) {
  return Guard<KPD_Dictionary>(nullptr, [&]() -> KPD_Dictionary {
    return doc ? Lend(Doc(doc), Doc(doc)->qpdf().getTrailer()) : nullptr;
  });
}

KPD_Object kshost::direct::DocGetObject(KPD_Document doc, int32_t objNum, int32_t genNum) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!doc || objNum <= 0 || genNum < 0) return nullptr;
    // A number the file does not use resolves to null: report it as absent.
    QPDFObjectHandle object = Doc(doc)->qpdf().getObject(objNum, genNum);
    if (object.isNull()) return nullptr;
    return Lend(Doc(doc), object);
  });
}

// Every object reachable from the trailer is read once; each time an
// indirect object is named inside another (or in the trailer) counts as one
// reference to it. Direct arrays and dictionaries are walked where they sit.
namespace kshost::pdf {

std::vector<int32_t> Document::ReferenceCounts() {
  std::vector<int32_t> references;
  auto count = [&](QPDFObjGen og) {
    const size_t n = static_cast<size_t>(og.getObj());
    if (og.getObj() <= 0) return;
    if (n >= references.size()) references.resize(std::max(n + 1, references.size() * 2), 0);
    ++references[n];
  };
  if (FileObjects const* file = FileIndex()) {
    // Unchanged objects are read as the file's text, without qpdf
    // building them.
    CountReferences(*qpdf_, *file, [&](QPDFObjGen og) { return changed_.count(og) > 0; }, count);
    return references;
  }
  std::vector<QPDFObjectHandle> pending{qpdf_->getTrailer()};
  auto note = [&](QPDFObjectHandle item) {
    if (item.isIndirect()) {
      const size_t n = static_cast<size_t>(item.getObjGen().getObj());
      const bool first = n >= references.size() || references[n] == 0;
      count(item.getObjGen());
      if (first) pending.push_back(item);
    } else if (item.isArray() || item.isDictionary()) {
      pending.push_back(item);
    }
  };
  while (!pending.empty()) {
    QPDFObjectHandle object = pending.back();
    pending.pop_back();
    if (object.isStream()) object = object.getDict();
    if (object.isArray()) {
      for (auto const& item : object.aitems()) note(item);
    } else if (object.isDictionary()) {
      for (auto const& [name, item] : object.ditems()) note(item);
    }
  }
  return references;
}

}  // namespace kshost::pdf

int32_t kshost::direct::DocCountReferences(KPD_Document doc, const KPD_Object* objects, int32_t count, int32_t* counts) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!doc || count < 0 || (count > 0 && (!objects || !counts))) return 0;
    const std::vector<int32_t> references = Doc(doc)->ReferenceCounts();
    for (int32_t i = 0; i < count; ++i) {
      counts[i] = 0;
      if (!objects[i]) continue;
      QPDFObjectHandle object = FromKpd(objects[i])->object;
      if (!object.isIndirect()) continue;
      const size_t number = static_cast<size_t>(object.getObjGen().getObj());
      if (number < references.size()) counts[i] = references[number];
    }
    return 1;
  });
}

// An object of another document is refused rather than copied: copying
// would hand back a handle that is not the object the plug-in passed.
KPD_Object kshost::direct::DocMakeIndirect(KPD_Document doc, KPD_Object obj) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!doc || !obj || !Doc(doc)->Writable()) return nullptr;
    QPDF& qpdf = Doc(doc)->qpdf();
    QPDFObjectHandle& object = FromKpd(obj)->object;
    if (object.isIndirect()) return object.getOwningQPDF() == &qpdf ? Lend(Doc(doc), object) : nullptr;
    if (!kshost::pdf::CanStore(object, &qpdf, QPDFObjectHandle())) return nullptr;
    return Lend(Doc(doc), qpdf.makeIndirectObject(object));
  });
}

uint32_t kshost::direct::DocGetPermissions(KPD_Document doc) {
  return Guard<uint32_t>(0, [&]() -> uint32_t {
    return doc ? Doc(doc)->Permissions() : 0;
  });
}

int32_t kshost::direct::DocIsEncrypted(KPD_Document doc) {
  return Guard<int32_t>(0, [&]() -> int32_t { return doc && Doc(doc)->qpdf().isEncrypted() ? 1 : 0; });
}

int32_t kshost::direct::DocWarningCount(KPD_Document doc) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    return doc ? static_cast<int32_t>(Doc(doc)->Warnings().size()) : 0;
  });
}

int32_t kshost::direct::DocGetWarning(KPD_Document doc, int32_t index, KS_ByteString out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!doc || index < 0) return 0;
    auto const& warnings = Doc(doc)->Warnings();
    if (static_cast<size_t>(index) >= warnings.size()) return 0;
    return SetBytes(out, warnings[static_cast<size_t>(index)]) ? 1 : 0;
  });
}

KPD_Document kshost::direct::DocOfObject(KPD_Object obj) {
  return Guard<KPD_Document>(nullptr, [&]() -> KPD_Document {
    if (!obj) return nullptr;
    Document* doc = kshost::pdf::DocumentOfHandle(*FromKpd(obj));
    return doc ? doc->ToKpd() : nullptr;
  });
}

KPD_Stream kshost::direct::DocNewStream(KPD_Document doc, const char* data, size_t length) {
  return Guard<KPD_Stream>(nullptr, [&]() -> KPD_Stream {
    if (!doc || (!data && length > 0) || !Doc(doc)->Writable()) return nullptr;
    // One copy, straight into the buffer the stream keeps: appearance
    // streams of dense inks run to megabytes.
    auto buffer = std::make_shared<Buffer>(length);
    if (length > 0) std::memcpy(buffer->getBuffer(), data, length);
    QPDFObjectHandle stream = Doc(doc)->qpdf().newStream(buffer);
    Doc(doc)->NoteUnfilteredData(stream);
    return Lend(Doc(doc), stream);
  });
}
