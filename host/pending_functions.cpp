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
KPD_FontMap DocGetFontMap(KPD_Document doc) { return KPD_FontMap(); }
KPD_FontMap FontMapNew(KPD_Document doc) { return KPD_FontMap(); }
void FontMapRelease(KPD_FontMap map) {}
int32_t FontMapGetResourceName(KPD_FontMap map, const char* baseFont, KS_ByteString out) { return int32_t(); }
KX_Document XmlNew(const char* rootName) { return KX_Document(); }
KX_Document XmlParse(const char* data, size_t length, KS_ByteString error) { return KX_Document(); }
KX_Document XmlParseFile(const char16_t* path, KS_ByteString error) { return KX_Document(); }
void XmlRelease(KX_Document doc) {}
int32_t XmlSaveFile(KX_Document doc, const char16_t* path) { return int32_t(); }
int32_t XmlSerialize(KX_Element element, int32_t declaration, int32_t indent, KS_ByteString out) { return int32_t(); }
KX_Element XmlGetRoot(KX_Document doc) { return KX_Element(); }
int32_t XmlElementName(KX_Element element, KS_ByteString out) { return int32_t(); }
KX_Element XmlFirstChild(KX_Element element, const char* name) { return KX_Element(); }
KX_Element XmlNextSibling(KX_Element element, const char* name) { return KX_Element(); }
KX_Element XmlParent(KX_Element element) { return KX_Element(); }
KX_Element XmlAppendChild(KX_Element parent, const char* name) { return KX_Element(); }
KX_Element XmlAppendCopy(KX_Element parent, KX_Element source) { return KX_Element(); }
int32_t XmlRemoveChild(KX_Element parent, KX_Element child) { return int32_t(); }
int32_t XmlGetAttribute(KX_Element element, const char* name, KS_ByteString out) { return int32_t(); }
int32_t XmlSetAttribute(KX_Element element, const char* name, const char* value) { return int32_t(); }
int32_t XmlRemoveAttribute(KX_Element element, const char* name) { return int32_t(); }
int32_t XmlAttributeCount(KX_Element element) { return int32_t(); }
int32_t XmlAttributeAt(KX_Element element, int32_t index, KS_ByteString name, KS_ByteString value) { return int32_t(); }
int32_t XmlGetText(KX_Element element, KS_ByteString out) { return int32_t(); }
int32_t XmlSetText(KX_Element element, const char* text) { return int32_t(); }
int32_t XmlAppendText(KX_Element parent, const char* text) { return int32_t(); }
int32_t XmlChildCount(KX_Element element) { return int32_t(); }
}  // namespace kshost::fn
