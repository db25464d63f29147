// A whole new PDF file written from the file a document was read from,
// without taking the document apart: every object the trailer reaches is
// written once, an unchanged one as the very bytes the file has for it, a
// changed or new one with qpdf's text for it; then one cross-reference
// table. Objects keep their numbers. Nothing unchanged is parsed beyond
// finding where it ends and what it refers to, so the cost follows the
// file's size and what changed, not the number of objects qpdf would build.
// Internal to host/.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>

class Pipeline;

namespace kshost::pdf {

// What the text of one object in a file says of itself, found without
// building it: where it starts and ends, and the objects it refers to.
struct ScannedObject {
  int number = 0;
  int generation = 0;
  size_t begin = 0;  // the object number of "N G obj"
  size_t end = 0;    // just after "endobj"
  bool isStream = false;
  // A body that is one integer and nothing else (a stream's length kept
  // in an object of its own).
  bool isInteger = false;
  int64_t integer = 0;
  // "N G R" in the object's text outside strings and stream data, in order.
  std::vector<QPDFObjGen> references;
};

// Reads the object whose "N G obj" starts at `at` in `file` (white space
// and comments before it are skipped). A stream's data is passed over by
// its /Length: a number, or an object of its own that `lengthOf` reads
// (false when it cannot), and must be followed by "endstream" and
// "endobj". False for text that is not one complete object: a missing
// "endobj", a length that does not end at "endstream", the end of the file.
using LengthLookup = std::function<bool(QPDFObjGen, int64_t&)>;
bool ScanObject(std::string_view file, size_t at, LengthLookup const& lengthOf, ScannedObject& out);

// Why a document read from `original` cannot be written this way, or
// empty when it can: an encrypted file, or one that keeps objects inside
// object streams (whose members would have to be taken out and packed
// again), is left to qpdf's writer.
std::string WhyNotRewritable(QPDF& qpdf, std::string_view original);

// Where each object of a file starts, as its cross-reference data says,
// and the reading of an unchanged one's text with ScanObject.
class FileObjects {
 public:
  FileObjects(QPDF& qpdf, std::string_view original);
  FileObjects(FileObjects const&) = delete;
  FileObjects& operator=(FileObjects const&) = delete;

  // True when the file has `og` as a plain object: number and generation.
  bool Has(QPDFObjGen og) const;
  // True when the file's text of `og` (which Has) reads as one complete
  // object of that number and generation.
  bool Scan(QPDFObjGen og, ScannedObject& out) const;
  // The largest object number the file uses.
  int MaxObject() const { return max_; }
  std::string_view Original() const { return original_; }

 private:
  std::string_view original_;
  std::vector<int64_t> offset_;  // by number; -1 for a number the file does not use
  std::vector<int> generation_;
  int max_ = 0;
};

// How often each object is referred to from the objects the trailer
// reaches, the trailer included, with unchanged objects read as text;
// `changed` ones (and new ones) are read from qpdf.
void CountReferences(QPDF& qpdf, FileObjects const& file, std::function<bool(QPDFObjGen)> const& changed,
                     std::function<void(QPDFObjGen)> const& counted);

// Writes the file in two steps: objects a job is done with can be written
// early (WriteNow), before the rest at the end (Finish).
class FileRewriter {
 public:
  struct Options {
    // True for an object changed since it was read: written from qpdf.
    std::function<bool(QPDFObjGen)> changed;
    // True for a stream whose data was set unfiltered: compressed on the
    // way out.
    std::function<bool(QPDFObjGen)> compress;
  };

  // `qpdf` was read from the file of `file`, for which WhyNotRewritable is
  // empty; both outlive the writer, as does `out`.
  FileRewriter(QPDF& qpdf, FileObjects const& file, Pipeline& out, Options options);
  ~FileRewriter();
  FileRewriter(FileRewriter const&) = delete;
  FileRewriter& operator=(FileRewriter const&) = delete;

  // Writes each of `objects` that is not written yet, whatever else refers
  // to it later. Only for objects the trailer reaches (an annotation of a
  // page and its appearance streams): they are written whether or not
  // anything still refers to them at the end. What they refer to is
  // written at the end.
  bool WriteNow(std::vector<QPDFObjGen> const& objects, std::string& reason);

  // Writes every object the trailer reaches that is not written yet, then
  // the cross-reference table and trailer.
  bool Finish(std::string& reason);

  // True once `og` is written or on its way (its text taken, waiting for
  // its data to be compressed).
  bool IsWritten(QPDFObjGen og) const {
    const size_t n = static_cast<size_t>(og.getObj());
    return og.getObj() > 0 && n < entries_.size() && entries_[n].offset != kNotWritten &&
           entries_[n].generation == og.getGen();
  }

 private:
  static constexpr int64_t kNotWritten = -1;
  static constexpr int64_t kOnItsWay = -2;
  struct Entry {
    int64_t offset = kNotWritten;  // where written, or kNotWritten, kOnItsWay
    int generation = 0;
    bool queued = false;
  };
  // An object's text waiting for the ones before it, or for its data to
  // be compressed by the second thread.
  struct Outgoing;
  class Compressor;
  bool Write(QPDFObjGen og, std::string& reason);
  bool WriteFromQpdf(QPDFObjectHandle object, std::string& reason);
  Entry* EntryFor(int number);
  void Put(std::string_view bytes);
  // Writes object `number`'s text now, or after those waiting before it.
  void Emit(int number, std::string_view text);
  // Writes what waits at the head of the line: all of it with `all`, else
  // what is ready, and more while the line is too long.
  bool Drain(bool all, std::string& reason);
  void Queue(QPDFObjGen og);

  QPDF& qpdf_;
  FileObjects const& file_;
  Pipeline& out_;
  Options options_;
  int64_t position_ = 0;
  std::vector<Entry> entries_;
  std::vector<QPDFObjGen> pending_;
  std::deque<std::shared_ptr<Outgoing>> outgoing_;
  std::unique_ptr<Compressor> compressor_;
  size_t written_ = 0;
  bool started_ = false;
  std::string text_;
};

}  // namespace kshost::pdf
