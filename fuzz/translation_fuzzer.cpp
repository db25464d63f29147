// Translation files read as raw text: the strings the unit-label table is
// built from, and the lookup keys made of their labels.
#include "fuzz/fuzz_support.h"
#include "plugin/unit_labels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  const std::u16string file = annot_fuzz::Utf16(data, size);
  static const char16_t* const kKeys[] = {u"IDS_STRINGUNITI", u"IDS_MA_AREA_UNIT", u"IDS_MA_VOLUME_UNIT", u""};
  AnnotationPlugin::UnitLabelTable table;
  for (const char16_t* key : kKeys) {
    const std::u16string text = AnnotationPlugin::ReadTranslationText(file, key);
    const std::u16string label = AnnotationPlugin::UnitLabelKey(text);
    if (!label.empty()) table.emplace(label, text);
  }
  AnnotationPlugin::NormalizeUnitLabel(table, file.substr(0, 64));
  AnnotationPlugin::UnitLabelKey(file);
  return 0;
}
