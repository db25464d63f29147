// annot regenerate: rebuilds the normal appearances of the shape
// annotations of a PDF with the annotation library, in process.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "host/session.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "sdk/ks_host_binding.h"

namespace annot {

const char kRegenerateUsage[] =
    "usage: annot regenerate IN.pdf -o OUT.pdf [--missing-only] [--password PW] [--full]\n"
    "\n"
    "Rebuilds the normal appearance of every square, circle, polygon,\n"
    "polyline, line, ink, highlight, underline, squiggly, strike-out, caret,\n"
    "note, file attachment, stamp and free text annotation and saves the\n"
    "result as OUT.pdf. A stamp keeps a picture of its own, wrapped for its\n"
    "opacity. Free text is laid out from its rich text (or its contents)\n"
    "and clipped to its box; one without any text keeps the appearance it\n"
    "has, and one styled only by its /DA takes the text size its\n"
    "appearance shows.\n"
    "With --missing-only only annotations without a normal appearance are\n"
    "rebuilt. Reports per kind how many were rebuilt and skipped; a skipped\n"
    "annotation keeps its old appearance and is listed with the reason.\n"
    "PW opens a file that needs a password; a file whose permissions do\n"
    "not allow changing annotations needs its owner password.\n"
    ANNOT_SAVE_HELP;

namespace {

namespace host = ks::host;

using kwannotation::kAppearanceKinds;
constexpr int kKindCount = static_cast<int>(kAppearanceKinds.size());
// Below this many annotations the work is over before a bar is worth it.
constexpr int kProgressThreshold = 300;

struct Tally {
  int rebuilt = 0;
  int skipped = 0;
  int kept = 0;
};

int KindIndex(const std::string& kind) {
  for (int i = 0; i < kKindCount; ++i)
    if (kind == kAppearanceKinds[i]) return i;
  return -1;
}

// The normal appearance entry of an annotation, or null.
KPD_Object NormalAppearance(KPD_Dictionary annot) {
  KPD_Object ap = host::DictGet(annot, "/AP");
  return ap && host::ObjectGetType(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(ap, "/N") : nullptr;
}

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
  if (!SplitArgs(args, 0, 1, {"--missing-only", "--full"}, &a) || a.out.empty()) {
    std::fputs(kRegenerateUsage, stderr);
    return kExitUsage;
  }
  const std::string& in = a.positional[0];
  const std::string& out = a.out;
  const bool missingOnly = a.Has("--missing-only");

  CommandDocument document;
  std::string error;
  if (!document.Open(in, a.password, true, &error)) return Fail(kExitFailure, error);
  KPD_Document doc = document.Get();

  // A stream that nothing but this annotation's /N refers to is rewritten
  // in place: no new object, nothing left behind. When anything else uses
  // it too (another annotation's /N, /D or /R, its own /D or /R, a page's
  // or a form's XObject), or the /AP dictionary holding it is itself
  // shared, the stream is left as it is and the annotation gets a new one.
  // Counted once, before anything changes, from the file's text: the
  // annotations themselves are read one page at a time below.
  const int pages = host::DocPageCount(doc);
  int total = 0;
  for (int p = 0; p < pages; ++p) total += host::PageAnnotCount(host::DocGetPage(doc, p));
  const kshost::ReferenceSnapshot users(doc);
  auto onlyUser = [&](KPD_Dictionary annot, KPD_Object normal) {
    if (!host::ObjectIsIndirect(normal) || users.Count(normal) != 1) return false;
    KPD_Object ap = host::DictGet(annot, "/AP");
    return !host::ObjectIsIndirect(ap) || users.Count(ap) == 1;
  };
  Progress progress(total, total > kProgressThreshold && ::isatty(2));

  // A page's annotations are written out as soon as the page is done, and
  // dropped from memory, with the appearance streams nothing else uses:
  // memory holds a page's worth of them, not the whole document's.
  document.BeginSave(out, a.Has("--full"));
  std::vector<KPD_Object> finished;

  Tally tally[kKindCount];
  int others = 0, done = 0;
  std::vector<std::string> skips;
  for (int p = 0; p < pages; ++p) {
    KPD_Page page = host::DocGetPage(doc, p);
    const int count = host::PageAnnotCount(page);
    finished.clear();
    for (int k = 0; k < count; ++k, progress.Step(++done)) {
      KPD_Dictionary annot = host::PageGetAnnot(page, k);
      std::string kind;
      kwannotation::ShapeAppearanceFn fn = kwannotation::AppearanceFor(annot, &kind);
      int index = KindIndex(kind);
      if (!fn || index < 0) {
        ++others;
        continue;
      }
      KPD_Object normal = NormalAppearance(annot);
      finished.push_back(annot);
      if (missingOnly && normal) {
        ++tally[index].kept;
        continue;
      }
      kwannotation::ShapeAppearanceOptions options;
      options.reuseStream = normal && onlyUser(annot, normal);
      options.page = page;
      std::string reason;
      const bool rebuilt = fn(annot, &reason, options);
      // The stream the annotation now shows is its own when it was
      // rewritten in place or is new.
      KPD_Object shown = NormalAppearance(annot);
      if (shown && host::ObjectIsIndirect(shown) && (options.reuseStream || !host::ObjectIsIdentical(shown, normal)))
        finished.push_back(shown);
      if (rebuilt) {
        ++tally[index].rebuilt;
      } else {
        ++tally[index].skipped;
        skips.push_back("page " + std::to_string(p + 1) + ", annotation " + std::to_string(k + 1) + " (" + kind +
                        "): " + reason);
      }
    }
    document.Release(finished);
  }

  if (!document.Save(out, a.Has("--full"), &error)) return Fail(kExitFailure, error);
  for (const std::string& n : document.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  // Freeing a large document object by object takes a quarter of the whole
  // run; the command ends here and the system takes the memory back at
  // once. Sanitizer builds close it so that leak checks stay meaningful.
#if !defined(__SANITIZE_ADDRESS__)
  document.Abandon();
#endif

  std::printf("%-14s %8s %8s%s\n", "kind", "rebuilt", "skipped", missingOnly ? "     kept" : "");
  for (int i = 0; i < kKindCount; ++i) {
    std::printf("%-14s %8d %8d", kAppearanceKinds[i], tally[i].rebuilt, tally[i].skipped);
    if (missingOnly) std::printf(" %8d", tally[i].kept);
    std::printf("\n");
  }
  if (others) std::printf("%d other annotation%s left as they were\n", others, others == 1 ? "" : "s");
  for (const std::string& s : skips) std::printf("skipped %s\n", s.c_str());
  return kExitOk;
}

}  // namespace annot
