// Ratio texts ("1 in = 10 ft") and the ratio numbers kept in preferences.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_ratio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  const std::u16string text = annot_fuzz::Utf16(data, size);
  if (auto parsed = kwannotation::ParseRatioText(text)) {
    FUZZ_CHECK(std::isfinite(parsed->ratio) && parsed->ratio > 0);
  }
  const double number = kwannotation::ReadPreferenceRatioNumber(text);
  kwannotation::PreferenceRatioNumberText(number);
  kwannotation::RatioNumberText(number);
  return 0;
}
