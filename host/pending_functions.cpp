// Host functions whose services are still being built: each answers its
// type's empty value, so callers fail softly.
#include "host/host_functions.h"

namespace kshost::fn {
KPD_InterForm DocGetInterForm(KPD_Document doc) { return KPD_InterForm(); }
KPD_InterForm InterFormNew(KPD_Document doc) { return KPD_InterForm(); }
void InterFormRelease(KPD_InterForm form) {}
KPD_Dictionary InterFormGetDict(KPD_InterForm form) { return KPD_Dictionary(); }
KA_FontService AppGetFontService(void) { return KA_FontService(); }
int32_t FontIsStandard14(KA_FontService svc, const char* baseFont) { return int32_t(); }
int32_t FontStandardName(KA_FontService svc, const char* family, int32_t bold, int32_t italic, KS_ByteString out) { return int32_t(); }
int32_t FontGetMetrics(KA_FontService svc, const char* baseFont, KS_FontMetrics* out) { return int32_t(); }
float FontCharWidth(KA_FontService svc, const char* baseFont, uint32_t unicode) { return float(); }
float FontTextWidth(KA_FontService svc, const char* baseFont, const char16_t* text, size_t length, float size) { return float(); }
int32_t FontHasGlyph(KA_FontService svc, const char* baseFont, uint32_t unicode) { return int32_t(); }
int32_t FontFindSystemFont(KA_FontService svc, const char16_t* name, int32_t charset, KS_ByteString out) { return int32_t(); }
int32_t FontAddToResources(KA_FontService svc, KPD_Document doc, KPD_Dictionary fontDict, const char* resName, const char* baseFont) { return int32_t(); }
int32_t FontEncodeText(KA_FontService svc, const char* baseFont, const char16_t* text, size_t length, KS_ByteString out) { return int32_t(); }
KPD_Content ContentParse(const char* data, size_t length) { return KPD_Content(); }
void ContentRelease(KPD_Content content) {}
int32_t ContentCount(KPD_Content content) { return int32_t(); }
int32_t ContentGetOperator(KPD_Content content, int32_t index, KS_ByteString out) { return int32_t(); }
int32_t ContentOperandCount(KPD_Content content, int32_t index) { return int32_t(); }
KPD_Object ContentGetOperand(KPD_Content content, int32_t index, int32_t operand) { return KPD_Object(); }
int32_t ContentFindLast(KPD_Content content, const char* op, int32_t operandCount) { return int32_t(); }
int32_t ContentGetSpan(KPD_Content content, int32_t index, size_t* start, size_t* end) { return int32_t(); }
KPD_FontMap DocGetFontMap(KPD_Document doc) { return KPD_FontMap(); }
KPD_FontMap FontMapNew(KPD_Document doc) { return KPD_FontMap(); }
void FontMapRelease(KPD_FontMap map) {}
int32_t FontMapGetResourceName(KPD_FontMap map, const char* baseFont, KS_ByteString out) { return int32_t(); }
}  // namespace kshost::fn
