// What poppler (pdftoppm -ppm) and MuPDF (mutool draw) drew, read back for
// the render checks: binary PPM images whose pixels are looked up by page
// point at 72 dpi.
#pragma once

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace testing_support {

struct Rgb {
  int r, g, b;
};

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> data;

  // A binary PPM (P6, maxval 255); false for anything else.
  bool Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> width >> height >> maxval) || magic != "P6" || maxval != 255 || width <= 0 ||
        height <= 0)
      return false;
    in.get();
    data.resize(size_t(width) * size_t(height) * 3);
    return bool(in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size())));
  }
  // The pixel holding page point (x, y) of a page `pageHeight` points high,
  // clamped to the image.
  Rgb At(double x, double y, double pageHeight) const {
    const int col = std::clamp(int(x), 0, width - 1), row = std::clamp(int(pageHeight - y), 0, height - 1);
    const size_t i = (size_t(row) * size_t(width) + size_t(col)) * 3;
    return {data[i], data[i + 1], data[i + 2]};
  }
};

enum class Renderer { kPoppler, kMuPdf };

// Draws page 1 of `pdf` at 72 dpi with poppler (pdftoppm) or MuPDF (mutool
// draw) into the binary PPM `base` + ".ppm".
inline CommandResult RenderFirstPage(Renderer renderer, const std::string& pdf, const std::string& base) {
  if (renderer == Renderer::kPoppler) return Shell("pdftoppm -r 72 -singlefile " + Quote(pdf) + " " + Quote(base));
  return Shell("mutool draw -q -r 72 -o " + Quote(base + ".ppm") + " " + Quote(pdf) + " 1");
}

inline bool HaveProgram(const char* name) {
  return Shell(std::string("command -v ") + name + " >/dev/null").status == 0;
}

}  // namespace testing_support
