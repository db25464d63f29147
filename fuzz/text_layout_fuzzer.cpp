// Caption text through the host's layout engine: the first byte picks the
// box width, the style and the alignment, the rest is the text. Every laid
// out line fits the box (a single glyph wider than the box excepted), the
// box is finite, and the content names only fonts the resources then hold.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "host/pdf_document.h"
#include "host/text_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > annot_fuzz::kMaxTextInput) return 0;
  const uint8_t pick = data[0];
  const std::u16string text = annot_fuzz::Utf16(data + 1, size - 1);
  kshost::TextLayout layout;
  layout.AddRun((pick & 1) ? "Times" : "Helvetica", (pick & 2) != 0, (pick & 4) != 0, 9, text);
  layout.AddRun("Courier", false, false, 12, text.substr(0, text.size() / 2));
  const float width = float(pick >> 3) * 4;  // 0: no wrapping
  const int lines = layout.Arrange(width, kshost::TextAlign(pick % 3), 1);
  FUZZ_CHECK(lines >= 1);
  const KS_FloatRect box = layout.Box();
  FUZZ_CHECK(std::isfinite(box.right) && std::isfinite(box.bottom));
  FUZZ_CHECK(box.left == 0 && box.top == 0 && box.bottom <= 0 && box.right >= 0);
  const std::string content = layout.Content();
  FUZZ_CHECK(content.find("nan") == std::string::npos && content.find("inf") == std::string::npos);

  auto doc = kshost::pdf::Document::Empty();
  QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
  FUZZ_CHECK(layout.AddResources(*doc, fonts));
  // Font switches are whole lines "/Name size Tf".
  for (size_t at = 0; at < content.size();) {
    size_t end = content.find('\n', at);
    FUZZ_CHECK(end != std::string::npos);
    const std::string line = content.substr(at, end - at);
    if (line.size() > 3 && line.compare(line.size() - 3, 3, " Tf") == 0) {
      FUZZ_CHECK(line[0] == '/');
      FUZZ_CHECK(fonts.hasKey(line.substr(0, line.find(' '))));
    }
    at = end + 1;
  }
  return 0;
}
