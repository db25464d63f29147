// Helpers shared by the PDF table tests: owning wrappers for host strings,
// objects and documents, temporary folders and the sample PDFs.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "host/host_functions.h"

namespace kshost::pdf::test {

namespace direct = kshost::direct;

struct Bytes {
  KS_ByteString str = direct::ByteStringNew("", 0);
  ~Bytes() { direct::ByteStringDestroy(str); }
  operator KS_ByteString() const { return str; }
  std::string text() const { return std::string(direct::ByteStringData(str), direct::ByteStringLength(str)); }
};

struct Wide {
  KS_WideString str = direct::WideStringNew(u"", 0);
  ~Wide() { direct::WideStringDestroy(str); }
  operator KS_WideString() const { return str; }
  std::u16string text() const { return std::u16string(direct::WideStringData(str), direct::WideStringLength(str)); }
};

struct ObjectDeleter {
  void operator()(KPD_Object__* obj) const { direct::ObjectRelease(obj); }
};
using Owned = std::unique_ptr<KPD_Object__, ObjectDeleter>;

struct DocDeleter {
  void operator()(KPD_Document__* doc) const { direct::DocClose(doc); }
};
using Doc = std::unique_ptr<KPD_Document__, DocDeleter>;

inline Owned Parse(std::string const& text) { return Owned(direct::ObjectParse(text.data(), text.size())); }

inline std::string Write(KPD_Object obj) {
  Bytes out;
  return direct::ObjectWrite(obj, out) ? out.text() : "<write failed>";
}

// The document read from the file at `path`, or from `bytes` in memory;
// null when it does not open, with the reason given as a test failure.
inline Doc OpenedFile(std::string const& path) {
  Bytes error;
  Doc doc(direct::DocOpenFile(path.c_str(), error));
  EXPECT_NE(doc, nullptr) << error.text();
  return doc;
}

inline Doc OpenedBytes(std::string const& bytes) {
  Bytes error;
  Doc doc(direct::DocOpenMemory(bytes.data(), bytes.size(), error));
  EXPECT_NE(doc, nullptr) << error.text();
  return doc;
}

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/pdf_test_XXXXXX";
    path_ = ::mkdtemp(name) ? name : "/nonexistent";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(std::string const& name) const { return path_ + "/" + name; }
  std::vector<std::string> Names(std::string const& sub = "") const {
    std::vector<std::string> names;
    for (auto const& entry : std::filesystem::directory_iterator(path_ + "/" + sub))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(std::string const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(std::string const& path, std::string const& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// `size` bytes that do not compress, the same on every call.
inline std::string IncompressibleBytes(size_t size) {
  std::string data(size, '\0');
  uint64_t state = 88172645463325252ull;
  for (char& c : data) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    c = static_cast<char>(state >> 56);
  }
  return data;
}

// A PDF of `objects`, numbered from 1 in order (the first is the
// catalogue), with a cross-reference table that points at each; without
// `xref` it has none, so a reader rebuilds one.
inline std::string PdfOfObjects(const std::vector<std::string>& objects, bool xref = true) {
  std::string out = "%PDF-1.7\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t start = out.size();
  const std::string size = std::to_string(offsets.size() + 1);
  if (xref) {
    out += "xref\n0 " + size + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
      char line[32];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
      out += line;
    }
  }
  out += "trailer\n<< /Size " + size + " /Root 1 0 R >>\n";
  if (xref) out += "startxref\n" + std::to_string(start) + "\n";
  return out + "%%EOF\n";
}

// A one-page file of letter size turned by `rotate` showing `content`
// with Helvetica as /F1 (`font` added to the font's dictionary).
inline std::string HelveticaPagePdf(const std::string& content, int rotate, const std::string& font = "") {
  return PdfOfObjects({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding " + font + " >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " + std::to_string(rotate) +
          " /Resources << /Font << /F1 3 0 R >> >> /Contents 5 0 R >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
  });
}

// A sample PDF from the shared read-only folder; the test is skipped when
// the folder is not there.
#define SAMPLE_PDF_OR_SKIP(var, name)                                                    \
  std::string var = ANNOT_SOURCE_DIR "/../shared/anchors/pdfs/" name;                    \
  if (!std::filesystem::exists(var)) GTEST_SKIP() << "sample PDF missing: " << var

// What a forked child reported: the signal that ended it (0 when it exited)
// and the text its body returned.
struct ChildResult {
  int signal = -1;
  std::string text;
};

// Runs `body` (returning a string) in a forked child, so that it may be
// killed by a signal or have its writes limited: with `fileLimit`, writes
// past that many bytes fail with EFBIG as on a full disk.
template <class Body>
ChildResult InChild(Body body, rlim_t fileLimit = RLIM_INFINITY) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{fileLimit, fileLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string text = body();
    (void)!::write(fds[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildResult result;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) result.text.append(buffer, size_t(n));
  ::close(fds[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid) result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

inline Doc OnePageDoc(KS_FloatRect box = {0, 0, 600, 800}) {
  Doc doc(direct::DocNew());
  direct::DocAddPage(doc.get(), &box);
  return doc;
}

}  // namespace kshost::pdf::test
