// Measurement values read back from the text they show, and the totals an
// export adds up from them: a value that reads is finite and not negative,
// its unit holds no digit, and every text counts once in the totals.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "measure/cma_measure_export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  using namespace AnnotationPlugin;
  const std::u16string text = annot_fuzz::Utf16(data, size);
  if (auto shown = ReadShownMeasurement(text)) {
    FUZZ_CHECK(std::isfinite(shown->value) && shown->value >= 0 && !shown->unit.empty());
    for (char16_t c : shown->unit) FUZZ_CHECK(c < u'0' || c > u'9');
  }
  MeasureTotals totals;
  totals.Add(u"", "IDS_DISTANCE", text);
  totals.Add(u"", "IDS_ANGLE", text);
  int count = 0;
  for (const auto& t : totals.Totals()) {
    count += t.count;
    MeasureTotals::SumText(t);
  }
  FUZZ_CHECK(count == 2);
  return 0;
}
