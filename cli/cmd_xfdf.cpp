// annot xfdf: annotations of a PDF out to XFDF and back in.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "host/core_hft.h"
#include "kwannotation/kw_xfdf.h"
#include "sdk/ks_host_binding.h"

namespace annot {

const char kXfdfUsage[] =
    "usage: annot xfdf export IN.pdf [-o OUT.xfdf]\n"
    "       annot xfdf import IN.pdf FILE.xfdf -o OUT.pdf\n"
    "\n"
    "export writes every annotation of IN.pdf as XFDF (to standard output\n"
    "without -o). import adds the annotations of FILE.xfdf to IN.pdf, or\n"
    "updates the one with the same name on the same page, and saves the\n"
    "result as OUT.pdf. Appearance streams are not carried: import draws\n"
    "the appearances of the shapes it brings in anew.\n";

namespace {

namespace host = ks::host;

// The document of one run, closed at the end of the scope.
class OpenDocument {
 public:
  explicit OpenDocument(const std::string& path) {
    host::Bind(kshost::CoreHFT(), nullptr);
    host::ByteString error;
    doc_ = host::DocOpenFile(path.c_str(), error.get());
    if (!doc_) error_ = path + ": " + (error.str().empty() ? "cannot open" : error.str());
  }
  ~OpenDocument() {
    if (doc_) host::DocClose(doc_);
  }
  OpenDocument(const OpenDocument&) = delete;
  OpenDocument& operator=(const OpenDocument&) = delete;

  KPD_Document get() const { return doc_; }
  const std::string& error() const { return error_; }

 private:
  KPD_Document doc_ = nullptr;
  std::string error_;
};

// Writes beside the target, then renames, so a failed write leaves no
// partial file.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* error) {
  std::string temp = path + ".tmp-xfdf";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out.good()) {
      *error = path + ": cannot write";
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    *error = path + ": " + ec.message();
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

int Usage() {
  std::fputs(kXfdfUsage, stderr);
  return kExitUsage;
}

int Export(const std::vector<std::string>& args) {
  std::string in, out;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (++i >= args.size()) return Usage();
      out = args[i];
    } else if (in.empty()) {
      in = args[i];
    } else {
      return Usage();
    }
  }
  if (in.empty()) return Usage();
  OpenDocument doc(in);
  if (!doc.get()) return Fail(kExitFailure, doc.error());
  std::string text, error;
  if (!kwannotation::KW_ExportXFDF(doc.get(), &text, &error)) return Fail(kExitFailure, error);
  if (out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
  }
  if (!WriteFileAtomically(out, text, &error)) return Fail(kExitFailure, error);
  return kExitOk;
}

int Import(const std::vector<std::string>& args) {
  std::string in, xfdfPath, out;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (++i >= args.size()) return Usage();
      out = args[i];
    } else if (in.empty()) {
      in = args[i];
    } else if (xfdfPath.empty()) {
      xfdfPath = args[i];
    } else {
      return Usage();
    }
  }
  if (in.empty() || xfdfPath.empty() || out.empty()) return Usage();
  std::ifstream file(xfdfPath, std::ios::binary);
  if (!file) return Fail(kExitFailure, xfdfPath + ": cannot read");
  std::ostringstream text;
  text << file.rdbuf();
  OpenDocument doc(in);
  if (!doc.get()) return Fail(kExitFailure, doc.error());
  std::string error;
  if (!kwannotation::KW_ImportXFDF(doc.get(), text.str(), &error)) return Fail(kExitFailure, xfdfPath + ": " + error);
  host::ByteString saveError;
  if (!host::DocSave(doc.get(), out.c_str(), saveError.get()))
    return Fail(kExitFailure, out + ": " + (saveError.str().empty() ? "cannot save" : saveError.str()));
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
