#include "plugin/widget_binding.h"

#include "tessel/language.h"
#include "tessel/tr_string.h"
#include "tessel/translator.h"

namespace AnnotationPlugin::Widgets {

void SetCurrentLanguage(const std::u16string& code) { Tessel::SetCurrentLanguage(code, true); }

std::u16string GetCurrentLanguage() { return Tessel::GetCurrentLanguage(); }

bool LoadStrings(const std::string& table) { return Tessel::Translator::GetInstance().LoadStrings(table); }

std::u16string ReadTranslationFile(const std::u16string& path) {
  return Tessel::Translator::GetInstance().ReadTranslationFile(path);
}

std::u16string Translate(const std::string& key) { return Tessel::TrString("Annotation", key, u"").ToString(); }

}  // namespace AnnotationPlugin::Widgets
