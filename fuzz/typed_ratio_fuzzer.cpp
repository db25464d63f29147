// Scale ratios and lengths as users type them (1/8" = 1'-0", 1:100): what
// is read is positive and finite with units of the right lists, and a
// number written back reads as itself.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "measure/cma_typed_ratio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  using namespace AnnotationPlugin;
  const std::u16string text = annot_fuzz::Utf16(data, size);
  if (const std::optional<TypedLength> length = ParseTypedLength(text)) {
    FUZZ_CHECK(std::isfinite(length->value) && length->value > 0);
    const std::u16string written = TypedNumberText(length->value);
    if (!written.empty()) {
      const std::optional<TypedLength> again = ParseTypedLength(written);
      FUZZ_CHECK(again && again->value == length->value && again->unit.empty());
    }
  }
  if (const std::optional<MeasureRatioPair> ratio = ParseTypedRatio(text)) {
    FUZZ_CHECK(std::isfinite(ratio->paperNumber) && ratio->paperNumber > 0);
    FUZZ_CHECK(std::isfinite(ratio->realNumber) && ratio->realNumber > 0);
    FUZZ_CHECK(kwannotation::UnitIndex(ratio->paperUnit, UnitList::Paper) >= 0);
    FUZZ_CHECK(kwannotation::UnitIndex(ratio->realUnit, UnitList::Real) >= 0);
  }
  return 0;
}
