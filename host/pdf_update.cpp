// Incremental updates over qpdf's object text. qpdf writes whole files only;
// here each object that changed is written with qpdf's own text for it
// (unparseResolved), and its stream data as qpdf holds it (raw, that is,
// still filtered as it was read or as the plug-in set it).
#include "host/pdf_update.h"

#include "host/pdf_names.h"

#include <zlib.h>

#include <qpdf/Buffer.hh>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <vector>

namespace kshost::pdf {

namespace {

constexpr int kCompressionLevel = 1;

// How far from the end the final "startxref" may sit: writers leave a few
// bytes of white space or garbage after %%EOF, rarely more.
constexpr size_t kTailWindow = 4096;

bool IsWhite(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string Padded(int64_t value, int width) {
  std::string text = Decimal(value);
  return text.size() >= static_cast<size_t>(width) ? text : std::string(width - text.size(), '0') + text;
}

// One compressor kept per thread and reset for each stream: setting one
// up allocates a quarter of a megabyte, which for thousands of small
// appearance streams costs more than the compressing. Its window and hash
// table are sized for appearance streams, which are mostly a few
// kilobytes; a larger stream only compresses a little less well.
class Deflater {
 public:
  Deflater() {
    ready_ = deflateInit2(&z_, kCompressionLevel, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (ready_) deflateEnd(&z_);
  }
  Deflater(Deflater const&) = delete;
  Deflater& operator=(Deflater const&) = delete;

  bool Run(std::string_view data, std::string& out) {
    if (!ready_ || deflateReset(&z_) != Z_OK) return false;
    out.resize(deflateBound(&z_, static_cast<uLong>(data.size())));
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z_.avail_in = static_cast<uInt>(data.size());
    z_.next_out = reinterpret_cast<Bytef*>(out.data());
    z_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return false;
    out.resize(z_.total_out);
    return true;
  }

 private:
  static constexpr int kWindowBits = 13;
  static constexpr int kMemLevel = 6;
  z_stream z_{};
  bool ready_ = false;
};

}  // namespace

bool CompressData(std::string_view data, std::string& out) {
  // zlib counts in 32 bits; larger data goes through in one call to the
  // plain function, which splits it.
  if (data.size() >= (1u << 30)) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    out.resize(size);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<Bytef const*>(data.data()),
                  static_cast<uLong>(data.size()), kCompressionLevel) != Z_OK)
      return false;
    out.resize(size);
    return true;
  }
  thread_local Deflater deflater;
  return deflater.Run(data, out);
}

void CollectReferences(QPDFObjectHandle object, std::vector<QPDFObjGen>& out, int depth) {
  if (depth > 512) return;
  if (object.isIndirect() && depth > 0) {
    out.push_back(object.getObjGen());
    return;
  }
  if (object.isStream()) {
    CollectReferences(object.getDict(), out, depth + 1);
  } else if (object.isArray()) {
    for (auto const& item : object.aitems()) CollectReferences(item, out, depth + 1);
  } else if (object.isDictionary()) {
    for (auto const& [key, item] : object.ditems()) CollectReferences(item, out, depth + 1);
  }
}

namespace {

// qpdf's text of a direct object, with '#' in names written as "#23"
// where qpdf leaves it bare. Text without any '#' has no such name, which
// spares the walk through the object for nearly every object.
std::string TextOf(QPDFObjectHandle object) {
  std::string text = object.unparseResolved();
  if (text.find('#') == std::string::npos) return text;
  return WithHashEscaped(object).unparseResolved();
}

}  // namespace

bool StreamTextToCompress(QPDFObjectHandle stream, std::string& head, std::string& plain, std::string& reason) {
  QPDFObjGen og = stream.getObjGen();
  QPDFObjectHandle dict = stream.getDict();
  if (dict.hasKey("/Filter")) return false;
  std::shared_ptr<Buffer> raw = stream.getRawStreamData();
  if (!raw) {
    reason = "cannot read the data of object " + Decimal(og.getObj());
    return false;
  }
  plain.assign(reinterpret_cast<char const*>(raw->getBuffer()), raw->getSize());
  // As in ObjectText, the dictionary is changed for the moment of writing.
  QPDFObjectHandle length = dict.getKey("/Length");
  QPDFObjectHandle parms = dict.getKey("/DecodeParms");
  dict.removeKey("/Length");
  dict.removeKey("/DecodeParms");
  dict.replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
  std::string text = TextOf(dict);
  dict.removeKey("/Filter");
  if (!parms.isNull()) dict.replaceKey("/DecodeParms", parms);
  if (!length.isNull()) dict.replaceKey("/Length", length);
  const size_t close = text.rfind(">>");
  if (close == std::string::npos) {
    reason = "cannot write the dictionary of object " + Decimal(og.getObj());
    return false;
  }
  head = Decimal(og.getObj()) + " " + Decimal(og.getGen()) + " obj\n" + text.substr(0, close) + "/Length ";
  return true;
}

std::string StreamTextEnd(std::string_view packed) {
  std::string text = Decimal(static_cast<int64_t>(packed.size())) + " >>\nstream\n";
  text.append(packed);
  text += "\nendstream\nendobj\n";
  return text;
}

bool ObjectText(QPDFObjectHandle object, bool compress, std::string& out, std::string& reason) {
  QPDFObjGen og = object.getObjGen();
  if (!object.isStream()) {
    out = Decimal(og.getObj()) + " " + Decimal(og.getGen()) + " obj\n";
    out += TextOf(object);
    out += "\nendobj\n";
    return true;
  }
  if (compress) {
    std::string plain, packed;
    if (StreamTextToCompress(object, out, plain, reason)) {
      if (!CompressData(plain, packed)) {
        reason = "cannot compress the data of object " + Decimal(og.getObj());
        return false;
      }
      out += StreamTextEnd(packed);
      return true;
    }
    // A stream with a filter of its own is written as it is.
    if (!reason.empty()) return false;
  }
  std::shared_ptr<Buffer> raw = object.getRawStreamData();
  if (!raw) {
    reason = "cannot read the data of object " + Decimal(og.getObj());
    return false;
  }
  std::string_view data(reinterpret_cast<char const*>(raw->getBuffer()), raw->getSize());
  // The dictionary is written with the length of the data as written, set
  // on the stream's own dictionary for the moment of writing and then put
  // back, which costs far less than a copy of the dictionary.
  QPDFObjectHandle dict = object.getDict();
  QPDFObjectHandle length = dict.getKey("/Length");
  dict.replaceKey("/Length", QPDFObjectHandle::newInteger(static_cast<long long>(data.size())));
  out = Decimal(og.getObj()) + " " + Decimal(og.getGen()) + " obj\n";
  out += TextOf(dict);
  if (length.isNull()) {
    dict.removeKey("/Length");
  } else {
    dict.replaceKey("/Length", length);
  }
  out += "\nstream\n";
  out.append(data);
  out += "\nendstream\nendobj\n";
  return true;
}

namespace {

// Trailer entries carried over: which document this is, its catalog and
// information dictionary. Everything else describes the previous section.
std::string CarriedTrailerEntries(QPDF& qpdf) {
  QPDFObjectHandle trailer = qpdf.getTrailer();
  std::string text;
  for (char const* key : {"/Root", "/Info", "/ID"}) {
    QPDFObjectHandle value = trailer.getKey(key);
    if (value.isNull()) continue;
    text += std::string(" ") + key + " " + value.unparse();
  }
  return text;
}

// Runs of consecutive object numbers, as "first count" pairs.
std::vector<std::pair<int, int>> Runs(std::map<int, std::pair<int, int64_t>> const& entries) {
  std::vector<std::pair<int, int>> runs;
  for (auto const& [number, entry] : entries) {
    if (!runs.empty() && runs.back().first + runs.back().second == number) {
      ++runs.back().second;
    } else {
      runs.emplace_back(number, 1);
    }
  }
  return runs;
}

}  // namespace

XrefTail FindXrefTail(std::string_view file) {
  XrefTail tail;
  size_t from = file.size() > kTailWindow ? file.size() - kTailWindow : 0;
  size_t at = file.rfind("startxref");
  if (at == std::string_view::npos || at < from) return tail;
  size_t p = at + 9;
  while (p < file.size() && IsWhite(file[p])) ++p;
  int64_t offset = -1;
  auto [end, ec] = std::from_chars(file.data() + p, file.data() + file.size(), offset);
  if (ec != std::errc() || end == file.data() + p || offset < 0 || static_cast<uint64_t>(offset) >= file.size())
    return tail;
  size_t q = static_cast<size_t>(offset);
  while (q < file.size() && IsWhite(file[q])) ++q;
  if (file.substr(q, 4) == "xref") {
    tail.offset = offset;
  } else if (q < file.size() && std::isdigit(static_cast<unsigned char>(file[q]))) {
    tail.offset = offset;
    tail.isStream = true;
  }
  return tail;
}

size_t CompleteLength(std::string_view file) {
  constexpr std::string_view kEof = "%%EOF";
  size_t end = file.size();
  while (end > 0 && IsWhite(file[end - 1])) --end;
  if (end >= kEof.size() && file.substr(end - kEof.size(), kEof.size()) == kEof) return file.size();
  const size_t eof = file.rfind(kEof);
  if (eof == std::string_view::npos) return file.size();
  size_t complete = eof + kEof.size();
  if (complete < file.size() && file[complete] == '\r') ++complete;
  if (complete < file.size() && file[complete] == '\n') ++complete;
  size_t p = complete;
  while (p < file.size() && IsWhite(file[p])) ++p;
  if (p == file.size() || !std::isdigit(static_cast<unsigned char>(file[p]))) return file.size();
  return FindXrefTail(file.substr(0, complete)).offset >= 0 ? complete : file.size();
}

bool BuildIncrementalUpdate(QPDF& qpdf, UpdateInput const& input, std::string& update, std::string& reason) {
  if (input.tail.offset < 0) {
    reason = "the file's cross-reference data cannot be found";
    return false;
  }
  update.clear();
  if (input.original.empty() || (input.original.back() != '\n' && input.original.back() != '\r')) update += "\n";
  const int64_t base = static_cast<int64_t>(input.original.size());

  // What to write: the changed objects, then new objects reached from them.
  std::set<QPDFObjGen> written;
  std::vector<QPDFObjGen> pending(input.changed.begin(), input.changed.end());
  for (auto const& [key, value] : qpdf.getTrailer().ditems())
    if (value.isIndirect()) pending.push_back(value.getObjGen());
  std::map<int, std::pair<int, int64_t>> entries;  // number -> generation, offset
  std::string text;
  while (!pending.empty()) {
    QPDFObjGen og = pending.back();
    pending.pop_back();
    const bool isNew = og.getObj() > input.originalMaxObject;
    if (!isNew && !input.changed.count(og)) continue;
    if (!written.insert(og).second) continue;
    QPDFObjectHandle object = qpdf.getObject(og);
    // A new number that no longer resolves was never made an object; a
    // changed one that does not is written as the null it now is.
    if (isNew && object.isNull()) continue;
    if (!ObjectText(object, input.compress && input.compress(og), text, reason)) return false;
    entries[og.getObj()] = {og.getGen(), base + static_cast<int64_t>(update.size())};
    update += text;
    std::vector<QPDFObjGen> refs;
    CollectReferences(object, refs);
    for (QPDFObjGen ref : refs)
      if (ref.getObj() > input.originalMaxObject && !written.count(ref)) pending.push_back(ref);
  }

  // Nothing changed: the file as it is says it all.
  if (entries.empty()) {
    update.clear();
    return true;
  }

  long long size = 0;
  if (QPDFObjectHandle s = qpdf.getTrailer().getKey("/Size"); s.isInteger()) size = s.getIntValue();
  size = std::max<long long>(size, input.originalMaxObject + 1);
  if (!entries.empty()) size = std::max<long long>(size, entries.rbegin()->first + 1);
  const std::string carried = CarriedTrailerEntries(qpdf);
  const std::string prev = " /Prev " + Decimal(input.tail.offset);

  if (!input.tail.isStream) {
    const int64_t xref = base + static_cast<int64_t>(update.size());
    update += "xref\n";
    for (auto [first, count] : Runs(entries)) {
      update += Decimal(first) + " " + Decimal(count) + "\n";
      for (int n = first; n < first + count; ++n) {
        auto const& [gen, offset] = entries[n];
        update += Padded(offset, 10) + " " + Padded(gen, 5) + " n\r\n";
      }
    }
    update += "trailer\n<< /Size " + Decimal(size) + carried + prev + " >>\nstartxref\n" + Decimal(xref) + "\n%%EOF\n";
    return true;
  }

  // The cross-reference stream takes the next free number and lists itself.
  const int self = static_cast<int>(size);
  const int64_t xref = base + static_cast<int64_t>(update.size());
  entries[self] = {0, xref};
  int width = 1;
  while (width < 8 && (xref >> (8 * width)) != 0) ++width;
  std::string rows;
  for (auto const& [number, entry] : entries) {
    rows += '\x01';
    for (int i = width - 1; i >= 0; --i) rows += static_cast<char>((entry.second >> (8 * i)) & 0xFF);
    rows += static_cast<char>((entry.first >> 8) & 0xFF);
    rows += static_cast<char>(entry.first & 0xFF);
  }
  std::string packed;
  if (!CompressData(rows, packed)) {
    reason = "cannot compress the cross-reference stream";
    return false;
  }
  std::string index;
  for (auto [first, count] : Runs(entries)) index += (index.empty() ? "" : " ") + Decimal(first) + " " + Decimal(count);
  update += Decimal(self) + " 0 obj\n<< /Type /XRef /Size " + Decimal(self + 1) + " /Index [" + index + "] /W [1 " +
            Decimal(width) + " 2]" + carried + prev + " /Filter /FlateDecode /Length " + Decimal(packed.size()) +
            " >>\nstream\n";
  update += packed;
  update += "\nendstream\nendobj\nstartxref\n" + Decimal(xref) + "\n%%EOF\n";
  return true;
}

}  // namespace kshost::pdf
