// Host functions whose services are still being built: each answers its
// type's empty value, so callers fail softly.
#include "host/host_functions.h"

namespace kshost::fn {
KPD_Content ContentParse(const char* data, size_t length) { return KPD_Content(); }
void ContentRelease(KPD_Content content) {}
int32_t ContentCount(KPD_Content content) { return int32_t(); }
int32_t ContentGetOperator(KPD_Content content, int32_t index, KS_ByteString out) { return int32_t(); }
int32_t ContentOperandCount(KPD_Content content, int32_t index) { return int32_t(); }
KPD_Object ContentGetOperand(KPD_Content content, int32_t index, int32_t operand) { return KPD_Object(); }
int32_t ContentFindLast(KPD_Content content, const char* op, int32_t operandCount) { return int32_t(); }
int32_t ContentGetSpan(KPD_Content content, int32_t index, size_t* start, size_t* end) { return int32_t(); }
}  // namespace kshost::fn
