// The plug-in's one way into the widget library. Dialog code uses the
// library's element classes directly; language, translation and file
// reading go through here.
#pragma once

#include <string>

namespace AnnotationPlugin::Widgets {

void SetCurrentLanguage(const std::u16string& code);
std::u16string GetCurrentLanguage();

// Makes the strings of a translation table available.
bool LoadStrings(const std::string& table);

// The whole text of a translation file, empty when it cannot be read.
std::u16string ReadTranslationFile(const std::u16string& path);

// The text of `key` in the plug-in's own table, "Annotation".
std::u16string Translate(const std::string& key);

}  // namespace AnnotationPlugin::Widgets
