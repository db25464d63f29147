// How the commands save: a signed file keeps its signature valid through an
// added annotation, and the choice between appending and rewriting is told
// to the user. The signature is a real one, made with openssl over the
// signed byte ranges and checked with poppler's pdfsig.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

using namespace testing_support;

namespace {

constexpr size_t kSignatureHexDigits = 16384;

// A one-page PDF with a signature field whose value has room for a
// signature of kSignatureHexDigits hex digits and a /ByteRange to fill in.
// Without `withValue` the field is empty and the file counts as unsigned.
std::string UnsignedPdf(bool withValue = true) {
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /SigFlags 3 >> >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Annots [4 0 R] /Contents 6 0 R >>",
      std::string("<< /Type /Annot /Subtype /Widget /FT /Sig /T (Approval) /Rect [0 0 0 0] /F 132 /P 3 0 R") +
          (withValue ? " /V 5 0 R >>" : " >>"),
      "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /M (D:20260101000000Z)\n"
      "/ByteRange [0 0000000000 0000000000 0000000000]\n/Contents <" +
          std::string(kSignatureHexDigits, '0') + "> >>",
      "<< /Length 25 >>\nstream\n0 0 1 rg 50 50 99 99 re f\nendstream",
  };
  std::string pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f\r\n";
  for (size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R /ID [<0123456789abcdef0123456789abcdef> <0123456789abcdef0123456789abcdef>] >>\n"
         "startxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// The numbers of the first /ByteRange of `pdf`, empty when there is none.
std::vector<long> ByteRange(const std::string& pdf) {
  std::smatch m;
  static const std::regex range(R"(/ByteRange \[(\d+) (\d+) (\d+) (\d+)\])");
  if (!std::regex_search(pdf, m, range)) return {};
  return {std::stol(m[1]), std::stol(m[2]), std::stol(m[3]), std::stol(m[4])};
}

// Signs UnsignedPdf() with a fresh self-signed certificate: fills in the
// byte range around the /Contents hex string, signs those bytes with
// `openssl cms` (a detached PKCS#7 signature) and puts the signature in.
// Empty on failure, with the reason in `why`.
std::string SignedPdf(const TempDir& dir, std::string* why) {
  std::string pdf = UnsignedPdf();
  const size_t open = pdf.find("/Contents <") + 10;
  const size_t close = pdf.find('>', open) + 1;
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "0 %010zu %010zu %010zu", open, close, pdf.size() - close);
  pdf.replace(pdf.find("0 0000000000 0000000000 0000000000"), 34, numbers);
  dir.Write("signed-bytes", pdf.substr(0, open) + pdf.substr(close));
  CommandResult r = Shell("(cd " + Quote(dir.path()) +
                          " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem"
                          " -subj /CN=Signer -days 30 && openssl cms -sign -binary -md sha256 -in signed-bytes"
                          " -signer cert.pem -inkey key.pem -outform DER -out signature.der)");
  if (r.status != 0) {
    *why = r.output;
    return {};
  }
  const std::string der = ReadFile(dir / "signature.der");
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : der) hex += {kHex[c >> 4], kHex[c & 15]};
  if (der.empty() || hex.size() > kSignatureHexDigits) {
    *why = "no signature, or one too long";
    return {};
  }
  pdf.replace(open + 1, hex.size(), hex);
  return pdf;
}

// `pdf` with its startxref pointing into the header, so that readers have
// to reconstruct the cross-reference table.
std::string Damaged(std::string pdf) {
  const size_t at = pdf.rfind("startxref\n") + 10;
  return pdf.replace(at, pdf.find('\n', at) - at, "3");
}

bool SignatureValid(const std::string& path, std::string* report) {
  CommandResult r = Shell("pdfsig " + Quote(path));
  *report = r.output;
  return r.output.find("Signature Validation: Signature is Valid.") != std::string::npos;
}

void ExpectReadersAccept(const std::string& path) {
  CommandResult check = Shell("qpdf --check " + Quote(path));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
  EXPECT_EQ(Shell("pdftoppm -r 10 -singlefile " + Quote(path) + " " + Quote(path + ".p")).status, 0);
  CommandResult mupdf = Shell("mutool draw -r 10 -o " + Quote(path + ".png") + " " + Quote(path));
  EXPECT_EQ(mupdf.status, 0) << mupdf.output;
  EXPECT_EQ(mupdf.output.find("error"), std::string::npos) << mupdf.output;
}

const char kSquare[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xfdf xmlns=\"http://ns.adobe.com/xfdf/\"><annots>\n"
    "<square page=\"0\" rect=\"150,150,250,250\" color=\"#FF0000\" width=\"3\" name=\"added\"/>\n"
    "</annots></xfdf>\n";

// annot xfdf import of the square into `in`, saved as `out`.
CommandResult ImportSquare(const TempDir& dir, const std::string& in, const std::string& out,
                           const std::string& options = "") {
  return Shell(Quote(AnnotPath()) + " xfdf import " + Quote(in) + " " + Quote(dir.Write("square.xfdf", kSquare)) +
               " -o " + Quote(out) + options);
}

class SignedSave : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    signed_ = SignedPdf(dir_, &why);
    ASSERT_FALSE(signed_.empty()) << why;
    dir_.Write("in.pdf", signed_);
    std::string report;
    ASSERT_TRUE(SignatureValid(dir_ / "in.pdf", &report)) << report;
  }

  TempDir dir_;
  std::string signed_;
};

// An annotation added through annot to a signed file, saved elsewhere or
// over the file itself: the signed bytes stay as they were, the signature
// stays valid, and the new annotation is there.
TEST_F(SignedSave, AddingAnAnnotationKeepsTheSignatureValid) {
  for (const char* name : {"out.pdf", "in.pdf"}) {
    SCOPED_TRACE(name);
    const std::string out = dir_ / name;
    CommandResult r = ImportSquare(dir_, dir_ / "in.pdf", out);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    const std::string saved = ReadFile(out);
    ASSERT_GT(saved.size(), signed_.size());
    EXPECT_EQ(saved.compare(0, signed_.size(), signed_), 0);
    const std::vector<long> range = ByteRange(signed_);
    ASSERT_EQ(range.size(), 4u);
    EXPECT_EQ(ByteRange(saved), range);
    EXPECT_EQ(saved.substr(range[0], range[1]), signed_.substr(range[0], range[1]));
    EXPECT_EQ(saved.substr(range[2], range[3]), signed_.substr(range[2], range[3]));
    std::string report;
    EXPECT_TRUE(SignatureValid(out, &report)) << report;
    ExpectReadersAccept(out);
    CommandResult exported = Shell(Quote(AnnotPath()) + " xfdf export " + Quote(out));
    EXPECT_NE(exported.output.find("name=\"added\""), std::string::npos) << exported.output;
  }
}

// --full rewrites a signed file only with a warning, and the signature
// is then indeed broken; a damaged signed file is refused without it.
TEST_F(SignedSave, RewritingASignedFileIsSaidOrRefused) {
  CommandResult full = ImportSquare(dir_, dir_ / "in.pdf", dir_ / "full.pdf", " --full");
  ASSERT_EQ(full.status, 0) << full.output;
  EXPECT_NE(full.output.find("signatures are no longer valid"), std::string::npos) << full.output;
  std::string report;
  EXPECT_FALSE(SignatureValid(dir_ / "full.pdf", &report)) << report;

  CommandResult refused = ImportSquare(dir_, dir_.Write("damaged.pdf", Damaged(signed_)), dir_ / "refused.pdf");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("would invalidate its signatures"), std::string::npos) << refused.output;
  EXPECT_FALSE(Exists(dir_ / "refused.pdf"));
}

// Each saving command takes --full; over its own input it appends unless
// told otherwise, and a damaged input is rewritten with the reason given.
TEST(SaveMode, CommandsAppendOverTheirInputAndSayWhenTheyCannot) {
  TempDir dir;
  const std::string unsignedPdf = UnsignedPdf(false);
  const std::string damaged = Damaged(unsignedPdf);
  dir.Write("square.xfdf", kSquare);
  dir.Write("script.txt", "# nothing to do\n");
  struct Case {
    const char* name;
    std::string input;
    std::string command;  // IN stands for the input, which is also the output
    bool appends;
    const char* says;
  };
  const std::string annot = Quote(AnnotPath());
  const std::string xfdf = Quote(dir / "square.xfdf");
  const Case cases[] = {
      {"xfdf import", unsignedPdf, annot + " xfdf import IN " + xfdf + " -o IN", true, ""},
      {"xfdf import --full", unsignedPdf, annot + " xfdf import IN " + xfdf + " -o IN --full", false, ""},
      {"regenerate", unsignedPdf, annot + " regenerate IN -o IN", true, ""},
      {"regenerate, damaged", damaged, annot + " regenerate IN -o IN", false,
       "written in full because the file is damaged"},
      {"run --full", unsignedPdf, annot + " run " + Quote(dir / "script.txt") + " -i IN -o IN --full", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = dir.Write("in.pdf", c.input);
    std::string command = c.command;
    for (size_t at; (at = command.find("IN")) != std::string::npos;) command.replace(at, 2, Quote(in));
    CommandResult r = Shell(command);
    ASSERT_EQ(r.status, 0) << r.output;
    if (*c.says) EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    const std::string saved = ReadFile(in);
    EXPECT_EQ(saved.size() >= c.input.size() && saved.compare(0, c.input.size(), c.input) == 0, c.appends);
    ExpectReadersAccept(in);
  }
}

// Real files from other programs (one of them linearized, one with an
// object stream) take an annotation as an update over themselves.
TEST(SaveMode, FilesFromOtherProgramsTakeAnUpdate) {
  TempDir dir;
  for (const char* name : {"itext_annotation-with-popup_LineDimension.pdf", "pdfjs_bug1146106_VP_GEO.pdf",
                           "poppler-test_imageretrieve+attachment_VP_RL.pdf"}) {
    SCOPED_TRACE(name);
    const std::string source = SharedPdf(name);
    if (!Exists(source)) GTEST_SKIP() << "sample PDF missing: " << source;
    const std::string original = ReadFile(source);
    const std::string in = dir.Write("in.pdf", original);
    CommandResult r = ImportSquare(dir, in, in);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string saved = ReadFile(in);
    EXPECT_GT(saved.size(), original.size());
    EXPECT_EQ(saved.compare(0, original.size(), original), 0);
    ExpectReadersAccept(in);
  }
}

}  // namespace
