#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/commands.h"
#include "host/host_functions.h"
#include "kwannotation/kw_annot_dict.h"
#include "sdk/ks_number.h"

namespace annot {

const char kInfoUsage[] =
    "usage: annot info FILE.pdf [--password PW]\n"
    "\n"
    "Lists every page (size in points, rotation) and every annotation\n"
    "(page, index, subtype, intent, rectangle, whether it has a normal\n"
    "appearance). PW opens a file that needs a password.\n";

namespace {

// A name with its slash, "-" for anything else.
std::string NameOf(KPD_Dictionary dict, const char* key) {
  std::optional<std::string> name = kwannotation::dict::FindName(dict, key);
  return name ? "/" + *name : std::string("-");
}

std::string RectText(const KS_FloatRect& r) {
  std::string s = "[";
  for (double v : {r.left, r.bottom, r.right, r.top}) {
    if (s.size() > 1) s += ' ';
    ks::AppendFixed(s, v, 2);
  }
  return s + "]";
}

bool HasNormalAppearance(KPD_Dictionary annot) {
  KPD_Object ap = kshost::direct::DictGet(annot, "/AP");
  return ap && kshost::direct::ObjectGetType(ap) == KPD_OBJ_DICTIONARY && kshost::direct::DictGet(ap, "/N");
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  CommandArgs a;
  if (!SplitArgs(args, 0, 1, {}, &a) || !a.out.empty()) {
    std::fputs(kInfoUsage, stderr);
    return kExitUsage;
  }
  const std::string& path = a.positional[0];
  CommandDocument document;
  std::string error;
  if (!document.Open(path, a.password, false, &error)) return Fail(kExitFailure, error);
  KPD_Document doc = document.Get();
  int pages = kshost::direct::DocPageCount(doc);
  std::printf("%s: %d page%s\n", path.c_str(), pages, pages == 1 ? "" : "s");
  for (int i = 0; i < pages; ++i) {
    KPD_Page page = kshost::direct::DocGetPage(doc, i);
    KS_FloatRect box{};
    kshost::direct::PageGetBox(page, "MediaBox", &box);
    int count = kshost::direct::PageAnnotCount(page);
    std::printf("page %d: %s x %s pt, rotation %d, %d annotation%s\n", i + 1,
                ks::FormatFixed(box.right - box.left, 2).c_str(), ks::FormatFixed(box.top - box.bottom, 2).c_str(),
                kshost::direct::PageGetRotation(page), count, count == 1 ? "" : "s");
    for (int k = 0; k < count; ++k) {
      KPD_Dictionary annot = kshost::direct::PageGetAnnot(page, k);
      if (!annot) {
        std::printf("  %d.%d: (not a dictionary)\n", i + 1, k);
        continue;
      }
      KS_FloatRect rect{};
      bool hasRect = kshost::direct::RectFromObject(kshost::direct::DictGet(annot, "/Rect"), &rect);
      std::printf("  %d.%d: %s intent %s rect %s appearance %s\n", i + 1, k,
                  NameOf(annot, "/Subtype").c_str(),
                  NameOf(annot, "/IT").c_str(), hasRect ? RectText(rect).c_str() : "-",
                  HasNormalAppearance(annot) ? "yes" : "no");
    }
  }
  return kExitOk;
}

int Fail(int status, const std::string& message) {
  std::string text = message.empty() ? "failed for an unknown reason" : message;
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, ": ") == 0) text += "unknown reason";
  std::fprintf(stderr, "annot: %s\n", text.c_str());
  return status;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string OutputReplacesInput(const std::string& out, const std::string& in, const char* inputKind) {
  if (!SameFile(out, in)) return {};
  return "cannot write " + out + ": it is the input " + inputKind + " " + in +
         ", which the output would replace; choose another output file";
}

int FinishOutput(int status) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int err = errno;
  if (flushed && !std::ferror(stdout)) return status;
  if (status != kExitOk) return status;
  // A failed write earlier (qpdf flushes standard output when a document
  // closes) leaves the error flag but not its errno.
  return Fail(kExitFailure, std::string("cannot write to standard output: ") +
                                (err ? std::strerror(err) : "write error"));
}

bool CommandArgs::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

bool SplitArgs(const std::vector<std::string>& args, size_t from, size_t positionals,
               const std::vector<std::string>& knownFlags, CommandArgs* out) {
  *out = CommandArgs{};
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--password") {
      std::string& value = a == "-o" ? out->out : out->password;
      if (++i >= args.size() || !value.empty() || args[i].empty()) return false;
      value = args[i];
    } else if (!a.empty() && a[0] == '-' &&
               !(a.size() > 1 && (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.'))) {
      // "-12.5" is a number (a coordinate left of or below the origin).
      if (std::find(knownFlags.begin(), knownFlags.end(), a) == knownFlags.end()) return false;
      out->flags.push_back(a);
    } else {
      out->positional.push_back(a);
    }
  }
  return out->positional.size() == positionals;
}

}  // namespace annot
