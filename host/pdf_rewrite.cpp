// The whole-file writer that copies what did not change. See pdf_rewrite.h.
#include "host/pdf_rewrite.h"

#include <zlib.h>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "host/pdf_update.h"

namespace kshost::pdf {

namespace {

bool IsWhite(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}

// Past white space and comments.
size_t SkipBlank(std::string_view s, size_t p) {
  while (p < s.size()) {
    if (IsWhite(s[p])) {
      ++p;
    } else if (s[p] == '%') {
      while (p < s.size() && s[p] != '\n' && s[p] != '\r') ++p;
    } else {
      break;
    }
  }
  return p;
}

// A run of regular characters from `p`.
std::string_view RegularAt(std::string_view s, size_t p) {
  size_t e = p;
  while (e < s.size() && !IsWhite(s[e]) && !IsDelimiter(s[e])) ++e;
  return s.substr(p, e - p);
}

// An unsigned decimal integer and nothing else.
bool AsCount(std::string_view token, int64_t& value) {
  if (token.empty() || token.size() > 18) return false;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && end == token.data() + token.size() && value >= 0 && token[0] != '-' && token[0] != '+';
}

// A signed decimal integer and nothing else.
bool AsInteger(std::string_view token, int64_t& value) {
  if (!token.empty() && token[0] == '+') token.remove_prefix(1);
  if (token.empty() || token.size() > 19) return false;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && end == token.data() + token.size();
}

// Past a literal string that opens at `p`: parentheses balance, a
// backslash takes the next character. npos when it does not close.
size_t SkipLiteral(std::string_view s, size_t p) {
  int depth = 0;
  for (; p < s.size(); ++p) {
    char c = s[p];
    if (c == '\\') {
      ++p;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return p + 1;
    }
  }
  return std::string_view::npos;
}

constexpr int kMaxNesting = 512;

}  // namespace

bool ScanObject(std::string_view file, size_t at, LengthLookup const& lengthOf, ScannedObject& out) {
  out = ScannedObject();
  size_t p = SkipBlank(file, at);
  int64_t number = 0, generation = 0;
  std::string_view token = RegularAt(file, p);
  if (!AsCount(token, number) || number > INT32_MAX) return false;
  out.begin = p;
  p = SkipBlank(file, p + token.size());
  token = RegularAt(file, p);
  if (!AsCount(token, generation) || generation > 65535) return false;
  p = SkipBlank(file, p + token.size());
  if (RegularAt(file, p) != "obj") return false;
  p += 3;
  out.number = static_cast<int>(number);
  out.generation = static_cast<int>(generation);

  // The last two tokens, for "N G R": integers are kept, anything else
  // clears them.
  int64_t last[2] = {-1, -1};
  bool lastIsCount[2] = {false, false};
  auto pushOther = [&] { lastIsCount[0] = lastIsCount[1] = false; };
  int dictDepth = 0, nesting = 0, tokens = 0;
  bool firstIsInteger = false;
  bool afterLengthKey = false;  // the previous token was /Length of the outer dictionary
  bool lengthKnown = false;
  int64_t length = 0;
  int64_t lengthRef[2] = {-1, -1};
  bool haveLengthRef = false;
  int lengthTokens = 0;  // tokens read since /Length
  for (;;) {
    p = SkipBlank(file, p);
    if (p >= file.size()) return false;
    const char c = file[p];
    const bool wasAfterLength = afterLengthKey;
    afterLengthKey = false;
    if (wasAfterLength || lengthTokens > 0) ++lengthTokens;
    ++tokens;
    if (c == '(') {
      p = SkipLiteral(file, p);
      if (p == std::string_view::npos) return false;
      pushOther();
    } else if (c == '<' && p + 1 < file.size() && file[p + 1] == '<') {
      if (++nesting > kMaxNesting) return false;
      ++dictDepth;
      p += 2;
      pushOther();
    } else if (c == '>' && p + 1 < file.size() && file[p + 1] == '>') {
      --nesting;
      --dictDepth;
      p += 2;
      pushOther();
    } else if (c == '<') {
      const size_t close = file.find('>', p);
      if (close == std::string_view::npos) return false;
      p = close + 1;
      pushOther();
    } else if (c == '[') {
      if (++nesting > kMaxNesting) return false;
      ++p;
      pushOther();
    } else if (c == ']') {
      --nesting;
      ++p;
      pushOther();
    } else if (c == '/') {
      std::string_view name = RegularAt(file, p + 1);
      if (dictDepth == 1 && nesting == 1 && name == "Length") {
        afterLengthKey = true;
        lengthTokens = 0;
      }
      p += 1 + name.size();
      pushOther();
    } else if (c == ')' || c == '>' || c == '{' || c == '}') {
      ++p;
      pushOther();
    } else {
      token = RegularAt(file, p);
      p += token.size();
      int64_t value = 0;
      if (token == "R") {
        if (lastIsCount[0] && lastIsCount[1] && last[0] > 0 && last[0] <= INT32_MAX && last[1] <= 65535) {
          out.references.emplace_back(static_cast<int>(last[0]), static_cast<int>(last[1]));
          if (lengthTokens == 3) {
            haveLengthRef = true;
            lengthRef[0] = last[0];
            lengthRef[1] = last[1];
            lengthKnown = false;
          }
        }
        pushOther();
      } else if (token == "endobj") {
        out.end = p;
        out.isInteger = tokens == 2 && firstIsInteger;
        return true;
      } else if (token == "stream") {
        break;
      } else if (token == "obj" || token == "endstream") {
        // The next object's header or a stray stream end: this one has no end.
        return false;
      } else if (AsInteger(token, value)) {
        if (lengthTokens == 1) {
          lengthKnown = value >= 0;
          length = value;
        }
        if (tokens == 1) {
          firstIsInteger = true;
          out.integer = value;
        }
        last[0] = last[1];
        lastIsCount[0] = lastIsCount[1];
        last[1] = value;
        lastIsCount[1] = value >= 0 && token[0] != '-' && token[0] != '+';
      } else {
        pushOther();
      }
    }
  }

  // The stream's data begins after the end of line that follows "stream".
  out.isStream = true;
  if (p < file.size() && file[p] == '\r') ++p;
  if (p < file.size() && file[p] == '\n') ++p;
  if (!lengthKnown && haveLengthRef) {
    if (!lengthOf || !lengthOf(QPDFObjGen(static_cast<int>(lengthRef[0]), static_cast<int>(lengthRef[1])), length) ||
        length < 0)
      return false;
    lengthKnown = true;
  }
  if (!lengthKnown || static_cast<uint64_t>(length) > file.size() - p) return false;
  p = SkipBlank(file, p + static_cast<size_t>(length));
  if (RegularAt(file, p) != "endstream") return false;
  p = SkipBlank(file, p + 9);
  if (RegularAt(file, p) != "endobj") return false;
  out.end = p + 6;
  return true;
}

std::string WhyNotRewritable(QPDF& qpdf, std::string_view original) {
  if (original.empty()) return "the document was not read from a file";
  if (qpdf.isEncrypted()) return "the file is encrypted";
  for (auto const& [og, entry] : qpdf.getXRefTable())
    if (entry.getType() == 2) return "the file keeps objects in object streams";
  return std::string();
}

FileObjects::FileObjects(QPDF& qpdf, std::string_view original) : original_(original) {
  for (auto const& [og, entry] : qpdf.getXRefTable()) {
    if (entry.getType() != 1) continue;
    const int n = og.getObj();
    if (n <= 0) continue;
    if (static_cast<size_t>(n) >= offset_.size()) {
      offset_.resize(static_cast<size_t>(n) + 1, -1);
      generation_.resize(static_cast<size_t>(n) + 1, 0);
    }
    offset_[n] = entry.getOffset();
    generation_[n] = og.getGen();
    max_ = std::max(max_, n);
  }
}

bool FileObjects::Has(QPDFObjGen og) const {
  const int n = og.getObj();
  return n > 0 && n <= max_ && offset_[n] >= 0 && generation_[n] == og.getGen();
}

bool FileObjects::Scan(QPDFObjGen og, ScannedObject& out) const {
  if (!Has(og) || static_cast<uint64_t>(offset_[og.getObj()]) >= original_.size()) return false;
  // A stream's length kept in an object of its own is read the same way.
  auto lengthOf = [this](QPDFObjGen ref, int64_t& length) {
    ScannedObject scanned;
    if (!Has(ref) || static_cast<uint64_t>(offset_[ref.getObj()]) >= original_.size() ||
        !ScanObject(original_, static_cast<size_t>(offset_[ref.getObj()]), nullptr, scanned) ||
        !scanned.isInteger || scanned.number != ref.getObj())
      return false;
    length = scanned.integer;
    return true;
  };
  return ScanObject(original_, static_cast<size_t>(offset_[og.getObj()]), lengthOf, out) &&
         out.number == og.getObj() && out.generation == og.getGen();
}

void CountReferences(QPDF& qpdf, FileObjects const& file, std::function<bool(QPDFObjGen)> const& changed,
                     std::function<void(QPDFObjGen)> const& counted) {
  std::vector<uint8_t> seen;
  std::vector<QPDFObjGen> pending;
  auto note = [&](QPDFObjGen og) {
    counted(og);
    const size_t n = static_cast<size_t>(og.getObj());
    if (n >= seen.size()) seen.resize(std::max(n + 1, seen.size() * 2), 0);
    if (!seen[n]) {
      seen[n] = 1;
      pending.push_back(og);
    }
  };
  std::vector<QPDFObjGen> refs;
  CollectReferences(qpdf.getTrailer(), refs);
  for (QPDFObjGen og : refs) note(og);
  ScannedObject scanned;
  while (!pending.empty()) {
    QPDFObjGen og = pending.back();
    pending.pop_back();
    if (!(changed && changed(og)) && file.Scan(og, scanned)) {
      for (QPDFObjGen ref : scanned.references) note(ref);
      continue;
    }
    refs.clear();
    CollectReferences(qpdf.getObject(og), refs, 0);
    for (QPDFObjGen ref : refs) note(ref);
  }
}

struct FileRewriter::Outgoing {
  int number = 0;
  std::string text;   // the whole text, or the head before the compressed data
  std::string plain;  // data to compress; empty once done or for a ready text
  std::string packed;
  bool compress = false;
  std::atomic<bool> done{false};
  bool ok = true;
};

// The second thread: compresses stream data in the order it is handed
// over, while the first goes on with the next objects.
class FileRewriter::Compressor {
 public:
  Compressor() : worker_([this] { Work(); }) {}
  ~Compressor() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }
  Compressor(Compressor const&) = delete;
  Compressor& operator=(Compressor const&) = delete;

  void Add(std::shared_ptr<Outgoing> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
  }
  void WaitFor(Outgoing const& job) {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return job.done.load(); });
  }

 private:
  void Work() {
    for (;;) {
      std::shared_ptr<Outgoing> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job->ok = CompressData(job->plain, job->packed);
      std::string().swap(job->plain);
      {
        std::lock_guard lock(mutex_);
        job->done = true;
      }
      finished_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::deque<std::shared_ptr<Outgoing>> jobs_;
  bool stop_ = false;
  std::thread worker_;
};

namespace {

// How many objects may wait for the second thread before the first waits
// for it: enough to keep both busy, few enough to hold little memory.
constexpr size_t kMostWaiting = 256;

}  // namespace

FileRewriter::FileRewriter(QPDF& qpdf, FileObjects const& file, Pipeline& out, Options options)
    : qpdf_(qpdf), file_(file), out_(out), options_(std::move(options)) {
  // A second thread pays only where there is a second core to run it.
  if (std::thread::hardware_concurrency() > 1) {
    try {
      compressor_ = std::make_unique<Compressor>();
    } catch (std::exception const&) {
      // Without it every stream is compressed in turn.
    }
  }
}

FileRewriter::~FileRewriter() = default;

void FileRewriter::Emit(int number, std::string_view text) {
  if (outgoing_.empty()) {
    entries_[number].offset = position_;
    Put(text);
    return;
  }
  auto ready = std::make_shared<Outgoing>();
  ready->number = number;
  ready->text.assign(text);
  ready->done = true;
  outgoing_.push_back(std::move(ready));
}

bool FileRewriter::Drain(bool all, std::string& reason) {
  while (!outgoing_.empty()) {
    Outgoing& head = *outgoing_.front();
    if (!head.done) {
      if (!all && outgoing_.size() <= kMostWaiting) return true;
      compressor_->WaitFor(head);
    }
    if (!head.ok) {
      reason = "cannot compress the data of object " + std::to_string(head.number);
      return false;
    }
    entries_[head.number].offset = position_;
    Put(head.text);
    if (head.compress) Put(StreamTextEnd(head.packed));
    outgoing_.pop_front();
  }
  return true;
}

FileRewriter::Entry* FileRewriter::EntryFor(int number) {
  if (number <= 0) return nullptr;
  // A number above every object there is names nothing (and must not
  // grow the table to its size).
  if (number > file_.MaxObject() && static_cast<size_t>(number) >= entries_.size()) {
    const size_t objects = qpdf_.getObjectCount();
    if (static_cast<size_t>(number) > objects) return nullptr;
  }
  if (static_cast<size_t>(number) >= entries_.size()) entries_.resize(static_cast<size_t>(number) + 1);
  return &entries_[number];
}

void FileRewriter::Put(std::string_view bytes) {
  out_.write(reinterpret_cast<unsigned char const*>(bytes.data()), bytes.size());
  position_ += static_cast<int64_t>(bytes.size());
}

void FileRewriter::Queue(QPDFObjGen og) {
  Entry* entry = EntryFor(og.getObj());
  if (!entry || entry->queued) return;
  entry->queued = true;
  pending_.push_back(og);
}

bool FileRewriter::WriteFromQpdf(QPDFObjectHandle object, std::string& reason) {
  const QPDFObjGen og = object.getObjGen();
  const bool compress = options_.compress && options_.compress(og);
  auto job = compressor_ && compress && object.isStream() ? std::make_shared<Outgoing>() : nullptr;
  if (job && StreamTextToCompress(object, job->text, job->plain, reason)) {
    job->number = og.getObj();
    job->compress = true;
    compressor_->Add(job);
    outgoing_.push_back(job);
    if (!Drain(false, reason)) return false;
  } else {
    if (!reason.empty()) return false;
    if (!ObjectText(object, compress, text_, reason)) return false;
    Emit(og.getObj(), text_);
  }
  std::vector<QPDFObjGen> refs;
  CollectReferences(object, refs);
  for (QPDFObjGen ref : refs) Queue(ref);
  return true;
}

bool FileRewriter::Write(QPDFObjGen og, std::string& reason) {
  const int n = og.getObj();
  Entry* entry = EntryFor(n);
  if (!entry || entry->offset != kNotWritten) return true;
  const int originalMax = file_.MaxObject();
  const bool inFile = file_.Has(og);
  // A reference to a generation the file does not have names nothing: it
  // reads as null and is left dangling.
  if (!inFile && n <= originalMax) return true;
  if (inFile && !(options_.changed && options_.changed(og))) {
    ScannedObject scanned;
    if (file_.Scan(og, scanned)) {
      std::string_view original = file_.Original();
      entry->offset = kOnItsWay;
      entry->generation = og.getGen();
      if (outgoing_.empty()) {
        entry->offset = position_;
        Put(original.substr(scanned.begin, scanned.end - scanned.begin));
        Put("\n");
      } else {
        Emit(n, std::string(original.substr(scanned.begin, scanned.end - scanned.begin)) + "\n");
      }
      ++written_;
      for (QPDFObjGen ref : scanned.references) Queue(ref);
      return true;
    }
    // Text qpdf had to repair on reading (a wrong stream length, a missing
    // "endobj") is written as qpdf reads it.
  }
  QPDFObjectHandle object = qpdf_.getObject(og);
  // A new number that no longer resolves was never made an object.
  if (!inFile && object.isNull()) return true;
  // Noted before writing: what the object refers to is queued as it is
  // written, which may move the entries.
  entry->offset = kOnItsWay;
  entry->generation = og.getGen();
  ++written_;
  return WriteFromQpdf(object, reason);
}

bool FileRewriter::WriteNow(std::vector<QPDFObjGen> const& objects, std::string& reason) {
  if (!started_) {
    // The file's own version line, else qpdf's idea of its version; then
    // the comment of high bytes that marks the file as binary.
    std::string_view original = file_.Original();
    std::string_view first = original.substr(0, std::min<size_t>(original.size(), 32));
    first = first.substr(0, first.find_first_of("\r\n"));
    std::string header = first.size() >= 8 && first.substr(0, 5) == "%PDF-" && first.find('\0') == std::string::npos
                             ? std::string(first)
                             : "%PDF-" + qpdf_.getPDFVersion();
    Put(header + "\n%\xbf\xf7\xa2\xfe\n");
    started_ = true;
  }
  for (QPDFObjGen og : objects) {
    if (Entry* entry = EntryFor(og.getObj())) entry->queued = true;
    if (!Write(og, reason)) return false;
  }
  return true;
}

bool FileRewriter::Finish(std::string& reason) {
  if (!WriteNow({}, reason)) return false;
  QPDFObjectHandle trailer = qpdf_.getTrailer();
  for (auto const& [key, value] : trailer.ditems())
    if (value.isIndirect() && key != "/Prev" && key != "/XRefStm" && key != "/Encrypt") Queue(value.getObjGen());
  while (!pending_.empty()) {
    QPDFObjGen og = pending_.back();
    pending_.pop_back();
    if (!Write(og, reason)) return false;
  }
  if (!Drain(true, reason)) return false;

  // One table of every number up to the largest written; the numbers not
  // written are free, linked from entry 0 in rising order.
  int size = 1;
  for (size_t n = 1; n < entries_.size(); ++n)
    if (entries_[n].offset >= 0) size = static_cast<int>(n) + 1;
  const int64_t xref = position_;
  std::string table = "xref\n0 " + std::to_string(size) + "\n";
  table.reserve(std::min<size_t>(static_cast<size_t>(size) * 20, 1 << 20) + 64);
  auto row = [&](int64_t offset, int generation, char kind) {
    char line[21];
    std::snprintf(line, sizeof line, "%010lld %05d %c\r\n", static_cast<long long>(offset), generation, kind);
    table.append(line, 20);
  };
  // The free numbers linked in rising order, the last back to 0.
  std::vector<int> nextFree(static_cast<size_t>(size), 0);
  for (int n = size - 1, next = 0; n >= 0; --n) {
    nextFree[n] = next;
    if (n > 0 && entries_[n].offset < 0) next = n;
  }
  row(nextFree[0], 65535, 'f');
  for (int n = 1; n < size; ++n) {
    Entry const& e = entries_[n];
    if (e.offset >= 0) {
      row(e.offset, e.generation, 'n');
    } else {
      // The object that had this number is not in the new file, so its
      // next use may start again at generation 0.
      row(nextFree[n], 0, 'f');
    }
    if (table.size() >= (1 << 20)) {
      Put(table);
      table.clear();
    }
  }

  std::string tail = "trailer\n<< /Size " + std::to_string(size);
  for (char const* key : {"/Root", "/Info"}) {
    QPDFObjectHandle value = trailer.getKey(key);
    if (value.isIndirect()) tail += std::string(" ") + key + " " + value.unparse();
  }
  QPDFObjectHandle id = trailer.getKey("/ID");
  if (id.isArray() && id.getArrayNItems() == 2 && id.getArrayItem(0).isString() && id.getArrayItem(1).isString()) {
    tail += " /ID " + id.unparse();
  } else {
    // A file without an identifier gets one from what is written, as a
    // writer should give every file: the same input and changes give the
    // same identifier.
    std::string_view original = file_.Original();
    const size_t edge = std::min<size_t>(original.size(), 4096);
    const std::string counts =
        std::to_string(original.size()) + " " + std::to_string(position_) + " " + std::to_string(written_);
    std::string_view parts[] = {original.substr(0, edge), original.substr(original.size() - edge), counts};
    uLong crc = crc32(0L, Z_NULL, 0);
    std::string hex;
    for (int round = 0; round < 4; ++round) {
      for (std::string_view part : parts)
        crc = crc32(crc, reinterpret_cast<Bytef const*>(part.data()), static_cast<uInt>(part.size()));
      char word[9];
      std::snprintf(word, sizeof word, "%08lx", static_cast<unsigned long>(crc & 0xFFFFFFFFul));
      hex += word;
    }
    tail += " /ID [<" + hex + "> <" + hex + ">]";
  }
  tail += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  Put(table);
  Put(tail);
  return true;
}

}  // namespace kshost::pdf
