// Writes a large drawing set: PAGES pages (2,000 by default), each with a
// compressed content stream of line work sized so that the file comes to
// about MEGABYTES (100 by default). Used by bench/incremental_vs_peers.sh.
//
//   make_drawing_set OUT.pdf [PAGES] [MEGABYTES]
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sdk/ks_number.h"

namespace {

// Line work that compresses about as well as a plotted drawing: short
// segments at random coordinates with two decimals.
std::string PageContent(uint64_t& state, size_t bytes) {
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  std::string s = "0.2 w 0 0 0 RG\n";
  while (s.size() < bytes) {
    for (int i = 0; i < 2; ++i) {
      ks::AppendFixed(s, static_cast<double>(next() % 84100) / 100.0, 2);
      s += ' ';
      ks::AppendFixed(s, static_cast<double>(next() % 59500) / 100.0, 2);
      s += i == 0 ? " m " : " l S\n";
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_drawing_set OUT.pdf [PAGES] [MEGABYTES]\n");
    return 2;
  }
  const int pages = argc > 2 ? std::atoi(argv[2]) : 2000;
  const double megabytes = argc > 3 ? std::atof(argv[3]) : 100;
  if (pages <= 0 || megabytes <= 0) return 2;
  // Content of this kind compresses to about 45% at zlib's level 1.
  const size_t rawPerPage = static_cast<size_t>(megabytes * 1e6 / pages / 0.45);
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<long> offsets(3 + 2 * static_cast<size_t>(pages), 0);
  long at = 0;
  auto put = [&](std::string const& s) {
    std::fwrite(s.data(), 1, s.size(), out);
    at += static_cast<long>(s.size());
  };
  auto begin = [&](int number) {
    offsets[static_cast<size_t>(number)] = at;
    put(std::to_string(number) + " 0 obj\n");
  };
  put("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
  begin(1);
  put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  begin(2);
  std::string kids = "<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [";
  for (int p = 0; p < pages; ++p) kids += std::to_string(3 + 2 * p) + " 0 R ";
  put(kids + "] >>\nendobj\n");
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int p = 0; p < pages; ++p) {
    const int page = 3 + 2 * p, content = page + 1;
    begin(page);
    put("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 841 595] /Contents " + std::to_string(content) +
        " 0 R /Resources << >> >>\nendobj\n");
    std::string raw = PageContent(state, rawPerPage);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<Bytef const*>(raw.data()),
              static_cast<uLong>(raw.size()), 1);
    packed.resize(size);
    begin(content);
    put("<< /Filter /FlateDecode /Length " + std::to_string(packed.size()) + " >>\nstream\n");
    put(packed);
    put("\nendstream\nendobj\n");
  }
  const long xref = at;
  put("xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f\r\n");
  char entry[32];
  for (size_t i = 1; i < offsets.size(); ++i) {
    std::snprintf(entry, sizeof entry, "%010ld 00000 n\r\n", offsets[i]);
    put(entry);
  }
  put("trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
      "\n%%EOF\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
