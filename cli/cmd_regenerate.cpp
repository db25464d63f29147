// annot regenerate: rebuilds the normal appearances of the shape
// annotations of a PDF with the annotation library, in process.
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/commands.h"
#include "host/core_hft.h"
#include "host/session.h"
#include "kwannotation/kw_shape_appearance.h"
#include "sdk/ks_host_binding.h"

namespace annot {

const char kRegenerateUsage[] =
    "usage: annot regenerate IN.pdf -o OUT.pdf [--missing-only] [--password PW]\n"
    "\n"
    "Rebuilds the normal appearance of every square, circle, polygon,\n"
    "polyline, line and ink annotation and saves the result as OUT.pdf.\n"
    "With --missing-only only annotations without a normal appearance are\n"
    "rebuilt. Reports per kind how many were rebuilt and skipped; a skipped\n"
    "annotation keeps its old appearance and is listed with the reason.\n"
    "PW opens a file that needs a password; a file whose permissions do\n"
    "not allow changing annotations needs its owner password.\n";

namespace {

namespace host = ks::host;

const char* const kKinds[] = {"Square", "Circle", "Polygon", "PolyLine", "Line", "Ink"};
constexpr int kKindCount = 6;
// Below this many annotations the work is over before a bar is worth it.
constexpr int kProgressThreshold = 300;

struct Tally {
  int rebuilt = 0;
  int skipped = 0;
  int kept = 0;
};

int KindIndex(const std::string& kind) {
  for (int i = 0; i < kKindCount; ++i)
    if (kind == kKinds[i]) return i;
  return -1;
}

// The normal appearance entry of an annotation, or null.
KPD_Object NormalAppearance(KPD_Dictionary annot) {
  KPD_Object ap = host::DictGet(annot, "/AP");
  return ap && host::ObjectGetType(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(ap, "/N") : nullptr;
}

// White space and the delimiters of PDF syntax.
bool IsDelimiter(char c) { return c == '\0' || std::strchr(" \t\r\n\f()<>[]{}/%", c) != nullptr; }

// Calls found(number, generation) for every "n g R" in the PDF text of an
// object, passing over strings, names and comments, whose bytes may look
// like references.
template <class Found>
void ForEachReference(std::string_view t, Found&& found) {
  const size_t n = t.size();
  long long before[2] = {-1, -1};  // the two tokens before, when they are plain integers
  auto forget = [&] { before[0] = before[1] = -1; };
  size_t i = 0;
  while (i < n) {
    const char c = t[i];
    if (c == '(') {
      int depth = 0;
      for (; i < n; ++i) {
        if (t[i] == '\\') {
          ++i;
        } else if (t[i] == '(') {
          ++depth;
        } else if (t[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
      }
      forget();
    } else if (c == '<' && i + 1 < n && t[i + 1] == '<') {
      i += 2;
      forget();
    } else if (c == '<') {
      while (i < n && t[i] != '>') ++i;
      ++i;
      forget();
    } else if (c == '%') {
      while (i < n && t[i] != '\n' && t[i] != '\r') ++i;
    } else if (c == '/' || !IsDelimiter(c)) {
      const size_t start = i++;
      while (i < n && !IsDelimiter(t[i])) ++i;
      std::string_view token = t.substr(start, i - start);
      if (token == "R") {
        if (before[0] >= 0 && before[1] >= 0) found(before[0], before[1]);
        forget();
      } else if (token.size() <= 10 && token.find_first_not_of("0123456789") == std::string_view::npos) {
        before[0] = before[1];
        before[1] = std::stoll(std::string(token));
      } else {
        forget();
      }
    } else {
      if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') forget();
      ++i;
    }
  }
}

// How often each indirect object is referred to from anywhere in the
// document: the trailer and every object reached from it, each read once.
class References {
 public:
  explicit References(KPD_Document doc) {
    std::vector<KPD_Object> pending;
    auto visit = [&](KPD_Object obj) {
      host::ByteString text;
      if (!obj || !host::ObjectWrite(obj, text.get())) return;
      ForEachReference(text.str(), [&](long long num, long long gen) {
        if (num <= 0 || num > INT32_MAX || gen > INT32_MAX) return;
        if (++counts_[Key(int32_t(num), int32_t(gen))] == 1)
          pending.push_back(host::DocGetObject(doc, int32_t(num), int32_t(gen)));
      });
    };
    visit(host::DocGetTrailer(doc));
    while (!pending.empty()) {
      KPD_Object obj = pending.back();
      pending.pop_back();
      visit(obj);
    }
  }

  // References to `obj`; 0 for a direct object.
  int Of(KPD_Object obj) const {
    if (!obj || !host::ObjectIsIndirect(obj)) return 0;
    auto it = counts_.find(Key(host::ObjectGetObjNum(obj), host::ObjectGetGenNum(obj)));
    return it == counts_.end() ? 0 : it->second;
  }

 private:
  static uint64_t Key(int32_t num, int32_t gen) { return uint64_t(uint32_t(num)) << 32 | uint32_t(gen); }
  std::unordered_map<uint64_t, int> counts_;
};

class Progress {
 public:
  Progress(int total, bool shown) : total_(total), shown_(shown) {}
  void Step(int done) {
    if (!shown_) return;
    int percent = static_cast<int>(100LL * done / total_);
    if (percent == last_) return;
    last_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\rregenerating [%s%s] %3d%% %d/%d", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), ' ').c_str(), percent, done, total_);
    if (done == total_) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  int total_;
  bool shown_;
  int last_ = -1;
};

}  // namespace

int RunRegenerate(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 0, 1, {"--missing-only"}, &a) || a.out.empty()) {
    std::fputs(kRegenerateUsage, stderr);
    return kExitUsage;
  }
  const std::string& in = a.positional[0];
  const std::string& out = a.out;
  const bool missingOnly = a.Has("--missing-only");

  host::Bind(kshost::CoreHFT(), nullptr);
  host::ByteString error;
  std::string openError;
  KPD_Document doc = kshost::OpenPdfFile(in, a.password, &openError);
  if (!doc) return Fail(kExitFailure, openError);
  if (!kshost::MayChangeAnnotations(doc)) {
    host::DocClose(doc);
    return Fail(kExitFailure, kshost::ChangeRefusedMessage(in));
  }

  // A stream that nothing but this annotation's /N refers to is rewritten
  // in place: no new object, nothing left behind. When anything else uses
  // it too (another annotation's /N, /D or /R, its own /D or /R, a page's
  // or a form's XObject), or the /AP dictionary holding it is itself
  // shared, the stream is left as it is and the annotation gets a new one.
  const References references(doc);
  auto onlyUser = [&](KPD_Dictionary annot, KPD_Object normal) {
    if (!host::ObjectIsIndirect(normal) || references.Of(normal) != 1) return false;
    KPD_Object ap = host::DictGet(annot, "/AP");
    return !host::ObjectIsIndirect(ap) || references.Of(ap) == 1;
  };
  const int pages = host::DocPageCount(doc);
  int total = 0;
  for (int p = 0; p < pages; ++p) total += host::PageAnnotCount(host::DocGetPage(doc, p));
  Progress progress(total, total > kProgressThreshold && ::isatty(2));

  Tally tally[kKindCount];
  int others = 0, done = 0;
  std::vector<std::string> skips;
  for (int p = 0; p < pages; ++p) {
    KPD_Page page = host::DocGetPage(doc, p);
    const int count = host::PageAnnotCount(page);
    for (int k = 0; k < count; ++k, progress.Step(++done)) {
      KPD_Dictionary annot = host::PageGetAnnot(page, k);
      std::string kind;
      kwannotation::ShapeAppearanceFn fn = kwannotation::ShapeAppearanceFor(annot, &kind);
      int index = KindIndex(kind);
      if (!fn || index < 0) {
        ++others;
        continue;
      }
      KPD_Object normal = NormalAppearance(annot);
      if (missingOnly && normal) {
        ++tally[index].kept;
        continue;
      }
      kwannotation::ShapeAppearanceOptions options;
      options.reuseStream = normal && onlyUser(annot, normal);
      std::string reason;
      if (fn(annot, &reason, options)) {
        ++tally[index].rebuilt;
      } else {
        ++tally[index].skipped;
        skips.push_back("page " + std::to_string(p + 1) + ", annotation " + std::to_string(k + 1) + " (" + kind +
                        "): " + reason);
      }
    }
  }

  if (!host::DocSave(doc, out.c_str(), error.get())) {
    host::DocClose(doc);
    return Fail(kExitFailure, error.str());
  }
  // Freeing a large document object by object takes a quarter of the whole
  // run; the command ends here and the system takes the memory back at
  // once. Sanitizer builds close it so that leak checks stay meaningful.
#if defined(__SANITIZE_ADDRESS__)
  host::DocClose(doc);
#endif

  std::printf("%-10s %8s %8s%s\n", "kind", "rebuilt", "skipped", missingOnly ? "     kept" : "");
  for (int i = 0; i < kKindCount; ++i) {
    std::printf("%-10s %8d %8d", kKinds[i], tally[i].rebuilt, tally[i].skipped);
    if (missingOnly) std::printf(" %8d", tally[i].kept);
    std::printf("\n");
  }
  if (others) std::printf("%d other annotation%s left as they were\n", others, others == 1 ? "" : "s");
  for (const std::string& s : skips) std::printf("skipped %s\n", s.c_str());
  return kExitOk;
}

}  // namespace annot
