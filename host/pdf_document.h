// One open PDF: the qpdf object, the bytes it reads from, the arena of
// borrowed handles and the warnings qpdf collected. Internal to host/.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/pdf_handles.h"

namespace kshost::pdf {

class Document {
 public:
  ~Document();
  Document(Document const&) = delete;
  Document& operator=(Document const&) = delete;

  // Reads the whole PDF from `bytes`, which the document keeps. On failure
  // returns null and a reason that starts with `name`.
  static std::unique_ptr<Document> FromMemory(std::string bytes, std::string const& name, std::string& error);

  // A new PDF with an empty page tree.
  static std::unique_ptr<Document> Empty();

  // The open document whose QPDF is `qpdf`, or null.
  static Document* Find(QPDF const* qpdf);

  QPDF& qpdf() { return *qpdf_; }
  Arena& arena() { return *arena_; }

  // Writes the document to `path` through a new file that replaces `path`
  // only once it is complete and synced (see FileReplacement: links are
  // followed, the mode kept, read-only and non-regular targets refused). On
  // failure returns false with "cannot save PATH: " and the reason, and
  // `path` is as it was.
  bool Save(std::string const& path, std::string& error);

  // Records a stream whose data was just set unfiltered through the host.
  // Save compresses such streams itself: qpdf would set up a compressor for
  // each of them, which for thousands of small appearance streams costs
  // more than the compressing.
  void NoteUnfilteredData(QPDFObjectHandle const& stream) { unfiltered_.push_back(stream); }

  // Warnings qpdf has collected so far, oldest first.
  std::vector<std::string> const& Warnings();

  KPD_Document ToKpd() { return reinterpret_cast<KPD_Document>(this); }
  static Document* FromKpd(KPD_Document doc) { return reinterpret_cast<Document*>(doc); }

 private:
  Document();
  void Register();

  // Declaration order is destruction order in reverse: handles go before
  // the QPDF they point into, and the QPDF before the bytes it reads.
  std::string bytes_;
  std::unique_ptr<QPDF> qpdf_;
  std::unique_ptr<Arena> arena_;
  std::vector<std::string> warnings_;
  std::vector<QPDFObjectHandle> unfiltered_;
};

}  // namespace kshost::pdf
