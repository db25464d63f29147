// The host's content tokenizer: every instruction, its operator, operands
// and byte span, and the last-instruction search the /DA reader uses; then
// the reader of the size a producer's free text appearance draws its text at.
#include <cmath>

#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_free_text_appearance.h"

namespace host = ks::host;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  KPD_Content content = host::ContentParse(reinterpret_cast<const char*>(data), size);
  if (!content) return 0;
  const int count = host::ContentCount(content);
  size_t previousEnd = 0;
  for (int i = 0; i < count; ++i) {
    host::ByteString op;
    FUZZ_CHECK(host::ContentGetOperator(content, i, op.get()));
    const int operands = host::ContentOperandCount(content, i);
    for (int k = 0; k < operands; ++k) {
      KPD_Object operand = host::ContentGetOperand(content, i, k);
      FUZZ_CHECK(operand != nullptr);
      host::ByteString text;
      host::ObjectWrite(operand, text.get());
      host::ObjectRelease(operand);
    }
    size_t start = 0, end = 0;
    FUZZ_CHECK(host::ContentGetSpan(content, i, &start, &end));
    FUZZ_CHECK(previousEnd <= start && start <= end && end <= size);
    previousEnd = end;
  }
  for (const char* op : {"Tf", "rg", "g", "k", "Tm"}) {
    for (int n = 0; n <= 6; ++n) {
      const int found = host::ContentFindLast(content, op, n);
      FUZZ_CHECK(found >= -1 && found < count);
    }
  }
  host::ContentRelease(content);
  const float drawn = kwannotation::DrawnTextSize(annot_fuzz::Bytes(data, size));
  FUZZ_CHECK(std::isfinite(drawn) && drawn >= 0);
  return 0;
}
