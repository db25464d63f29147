// annot xfdf: annotations of a PDF out to XFDF and back in.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "host/file_util.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_xfdf.h"
#include "sdk/ks_host_binding.h"

namespace annot {

const char kXfdfUsage[] =
    "usage: annot xfdf export IN.pdf [-o OUT.xfdf] [--password PW] [--files [--skip-large-files]]\n"
    "       annot xfdf import IN.pdf FILE.xfdf -o OUT.pdf [--password PW] [--full]\n"
    "                         [--files [--skip-large-files]]\n"
    "\n"
    "export writes every annotation of IN.pdf as XFDF (to standard output\n"
    "without -o). import adds the annotations of FILE.xfdf to IN.pdf, or\n"
    "updates the one with the same name on the same page, and saves the\n"
    "result as OUT.pdf. Appearance streams are not carried, except a\n"
    "stamp's picture: import draws the other appearances anew. The files\n"
    "of file attachments go along only with --files, each up to 16 MB; a\n"
    "larger one fails the command, naming it, unless --skip-large-files\n"
    "leaves it out (and says so). An attachment imported without its file\n"
    "keeps the file it has.\n"
    "PW opens a file that\n"
    "needs a password; import needs the owner password of a file whose\n"
    "permissions do not allow changing annotations.\n"
    ANNOT_SAVE_HELP;

namespace {

namespace host = ks::host;

// The largest attached file --files carries.
constexpr size_t kMaxCarriedFile = 16u << 20;

int Usage() {
  std::fputs(kXfdfUsage, stderr);
  return kExitUsage;
}

// --files sets the limit of carried files; --skip-large-files, only with it,
// leaves out the larger ones instead of failing.
bool CarryFiles(const CommandArgs& a, kwannotation::KwXfdfFiles* files) {
  if (a.Has("--skip-large-files") && !a.Has("--files")) return false;
  if (a.Has("--files")) kwannotation::CKW_FileAttachmentAnnotImpl::SetXFDFFileLimit(kMaxCarriedFile);
  files->skipLarge = a.Has("--skip-large-files");
  return true;
}

void ReportLeftOut(const kwannotation::KwXfdfFiles& files) {
  for (const std::string& file : files.leftOut) std::fprintf(stderr, "annot: left out %s\n", file.c_str());
}

const char kSkipHint[] = " (--skip-large-files leaves it out)";

int Export(const std::vector<std::string>& args) {
  CommandArgs a;
  kwannotation::KwXfdfFiles files;
  if (!SplitArgs(args, 1, 1, {"--files", "--skip-large-files"}, &a) || !CarryFiles(a, &files)) return Usage();
  const std::string& in = a.positional[0];
  const std::string& out = a.out;
  if (std::string clash = OutputReplacesInput(out, in, "PDF"); !clash.empty()) return Fail(kExitFailure, clash);
  CommandDocument doc;
  std::string text, error;
  if (!doc.Open(in, a.password, false, &error)) return Fail(kExitFailure, error);
  if (!kwannotation::KW_ExportXFDF(doc.Get(), &text, &error, &files))
    return Fail(kExitFailure, files.refusedLarge ? error + kSkipHint : error);
  ReportLeftOut(files);
  if (out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitOk;  // the caller checks that standard output took it
  }
  if (!kshost::WriteFileAtomically(out, text, false, &error)) return Fail(kExitFailure, out + ": " + error);
  return kExitOk;
}

int Import(const std::vector<std::string>& args) {
  CommandArgs a;
  kwannotation::KwXfdfFiles files;
  if (!SplitArgs(args, 1, 2, {"--full", "--files", "--skip-large-files"}, &a) || a.out.empty() ||
      !CarryFiles(a, &files))
    return Usage();
  const std::string& in = a.positional[0];
  const std::string& xfdfPath = a.positional[1];
  const std::string& out = a.out;
  if (std::string clash = OutputReplacesInput(out, xfdfPath, "XFDF file"); !clash.empty())
    return Fail(kExitFailure, clash);
  std::string text, error;
  if (!kshost::ReadRegularFile(xfdfPath, &text, &error)) return Fail(kExitFailure, xfdfPath + ": " + error);
  CommandDocument doc;
  if (!doc.Open(in, a.password, true, &error)) return Fail(kExitFailure, error);
  // Annotations nothing later in the file touches are written out and
  // dropped from memory as the import goes.
  doc.BeginSave(out, a.Has("--full"));
  auto settled = [&](KPD_Annot annot) { doc.ReleaseAnnotation(annot); };
  if (!kwannotation::KW_ImportXFDF(doc.Get(), text, &error, nullptr, &files, settled))
    return Fail(kExitFailure, xfdfPath + ": " + error + (files.refusedLarge ? kSkipHint : ""));
  ReportLeftOut(files);
  for (const std::string& r : files.renamed) std::fprintf(stderr, "annot: %s\n", r.c_str());
  std::string saveError;
  if (!doc.Save(out, a.Has("--full"), &saveError))
    return Fail(kExitFailure, saveError.empty() ? out + ": cannot save" : saveError);
  for (const std::string& n : doc.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  return kExitOk;
}

}  // namespace

int RunXfdf(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  if (args[0] == "export") return Export(args);
  if (args[0] == "import") return Import(args);
  return Usage();
}

}  // namespace annot
