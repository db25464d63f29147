// Text through the host's layout engine, in styled runs of mixed scripts:
// the first byte picks the box width and the alignment (justify too), the
// next three the styles of three runs (size, bold, italic, underline,
// strike-through, raised or lowered, colour, character spacing, the
// alignment of a paragraph starting in the run), and the
// rest is the text, cut into the three runs. Every piece of text starts
// inside the box, the box is finite, the operators are balanced (the
// layout closes and reopens the text object only in pairs), and the content
// names only fonts the resources then hold.
#include <cmath>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "host/pdf_document.h"
#include "host/text_layout.h"

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

kshost::RunStyle StyleOf(uint8_t b) {
  static const char* const kFamilies[] = {"Helvetica", "Times", "Courier", "Unknown Family"};
  kshost::RunStyle s;
  s.family = kFamilies[b & 3];
  s.size = (b & 4) ? 18 : 9;
  s.bold = b & 8;
  s.italic = b & 16;
  s.underline = b & 32;
  s.strike = b & 64;
  s.rise = (b & 128) ? ((b & 1) ? 4.0f : -3.0f) : 0;
  s.hasColor = b & 2;
  s.color[0] = 1;
  s.charSpacing = (b & 64) ? 0.5f : 0;
  s.align = int(b * 7u % 5u) - 1;  // a paragraph's own alignment, or none
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > annot_fuzz::kMaxTextInput) return 0;
  const uint8_t pick = data[0];
  const std::u16string text = annot_fuzz::Utf16(data + 4, size - 4);
  kshost::TextLayout layout;
  const size_t third = text.size() / 3;
  layout.AddStyledRun(StyleOf(data[1]), std::u16string_view(text).substr(0, third));
  layout.AddStyledRun(StyleOf(data[2]), std::u16string_view(text).substr(third, third));
  layout.AddStyledRun(StyleOf(data[3]), std::u16string_view(text).substr(2 * third));
  const float width = float(pick >> 2) * 4;  // 0: no wrapping
  const int lines = layout.Arrange(width, kshost::TextAlign(pick & 3), (pick & 0x80) ? 2 : 1);
  FUZZ_CHECK(lines >= 1);
  const KS_FloatRect box = layout.Box();
  FUZZ_CHECK(std::isfinite(box.right) && std::isfinite(box.bottom));
  FUZZ_CHECK(box.left == 0 && box.top == 0 && box.bottom <= 0 && box.right >= 0);
  const std::string content = layout.Content();
  FUZZ_CHECK(content.find("nan") == std::string::npos && content.find("inf") == std::string::npos);
  FUZZ_CHECK(Count(content, "ET\n") == Count(content, "BT\n"));
  FUZZ_CHECK(Count(content, "q\n") == Count(content, "Q\n"));

  auto doc = kshost::pdf::Document::Empty();
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  FUZZ_CHECK(layout.AddResources(*doc, fonts));
  for (size_t at = 0; at < content.size();) {
    size_t end = content.find('\n', at);
    FUZZ_CHECK(end != std::string::npos);
    const std::string line = content.substr(at, end - at);
    // Font switches are whole lines "/Name size Tf".
    if (line.size() > 3 && line.compare(line.size() - 3, 3, " Tf") == 0) {
      FUZZ_CHECK(line[0] == '/');
      FUZZ_CHECK(fonts.hasKey(line.substr(0, line.find(' '))));
    }
    // Pieces start inside the box: "a b c d x y Tm".
    if (line.size() > 3 && line.compare(line.size() - 3, 3, " Tm") == 0) {
      const size_t yAt = line.rfind(' ', line.size() - 4);
      const size_t xAt = line.rfind(' ', yAt - 1);
      const double x = std::strtod(line.c_str() + xAt + 1, nullptr);
      const double y = std::strtod(line.c_str() + yAt + 1, nullptr);
      FUZZ_CHECK(x >= -0.001 && x <= box.right + 0.001);
      FUZZ_CHECK(y <= 0.001 && y >= box.bottom - 0.001);
    }
    at = end + 1;
  }
  return 0;
}
