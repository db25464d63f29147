// Custom scale preset files: whatever is read is a list of usable ratios
// that writes out to a file that reads back the same.
#include "fuzz/fuzz_support.h"
#include "measure/cma_page_scale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  using namespace AnnotationPlugin;
  int skipped = 0;
  const std::vector<MeasureRatioPair> presets = ParseScalePresets(annot_fuzz::Bytes(data, size), &skipped);
  FUZZ_CHECK(presets.size() <= kMostCustomPresets && skipped >= 0);
  for (const auto& p : presets) FUZZ_CHECK(p.paperNumber > 0 && p.realNumber > 0);
  const std::vector<MeasureRatioPair> again = ParseScalePresets(WriteScalePresets(presets));
  FUZZ_CHECK(again.size() == presets.size());
  for (size_t i = 0; i < again.size(); ++i)
    FUZZ_CHECK(again[i].paperUnit == presets[i].paperUnit && again[i].realUnit == presets[i].realUnit);
  return 0;
}
