// The host's text layout on one text box of 10,000 characters: breaking,
// aligning, writing the operators and the fonts into a document. Prints the
// median time of RUNS runs in milliseconds as "layout_ms=" (Latin text, the
// side compared with PyMuPDF's insert_textbox) and "mixed_ms=" (the same
// with a Greek and a Chinese word in every line, which embeds two subsets).
//
//   text_layout_bench TEXT_FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/pdf_document.h"
#include "host/text_layout.h"
#include "host/utf.h"

namespace {

double MedianMs(const std::u16string& text, int runs, size_t* bytes) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto doc = kshost::pdf::Document::Empty();
    const auto start = std::chrono::steady_clock::now();
    kshost::TextLayout layout;
    layout.AddRun("Helvetica", false, false, 10, text);
    layout.Arrange(400, kshost::TextAlign::kJustify, 1);
    const std::string content = layout.Content();
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    layout.AddResources(*doc, fonts);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    *bytes = content.size();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: text_layout_bench TEXT_FILE [RUNS]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::u16string latin = kshost::ToUtf16(s.str());
  std::u16string mixed;
  for (size_t i = 0; i < latin.size(); ++i) {
    mixed += latin[i];
    if (i % 120 == 60) mixed += u" \u0394\u03B9\u03AC\u03C3\u03C4\u03B7\u03BC\u03B1 \u8DDD\u79BB";
  }
  size_t bytes = 0;
  std::printf("characters:            %8zu\n", latin.size());
  const double ours = MedianMs(latin, runs, &bytes);
  std::printf("annot layout (ms):     %8.3f  (%zu bytes of operators)\n", ours, bytes);
  const double first = MedianMs(mixed, 1, &bytes);
  const double mixedMs = MedianMs(mixed, runs, &bytes);
  std::printf("annot mixed (ms):      %8.3f  (Greek and Chinese in every line, first run)\n", first);
  std::printf("annot mixed (ms):      %8.3f  (the same, its subsets made before)\n", mixedMs);
  std::printf("layout_ms=%.4f\n", ours);
  return 0;
}
