// Where the widget library finds its files, and which language it shows.
// The host sets both at start-up; the plug-in reads them.
#pragma once

#include <string>

#include "tessel/tessel_export.h"

namespace Tessel {

// Sets the application folder (UTF-8): translations are read from
// <folder>/lang/<code>/, dialog layouts from <folder>/ui/. Until called, the
// folder is $ANNOT_APP_DIR, or the source tree the library was built from.
TESSEL_API void SetApplicationFolder(const std::string& utf8Path);

// The application folder as set, UTF-8.
TESSEL_API std::string GetApplicationFolder();

// <application folder>/ui, where dialog layout files live.
TESSEL_API std::u16string GetUiDirPath();

// Sets the language code ("en-US", "de-DE"); an empty code means "en-US".
// With `reload`, the translator re-reads every string module it has loaded
// so that later lookups answer in the new language.
TESSEL_API void SetCurrentLanguage(const std::u16string& code, bool reload);

// The current language code, "en-US" unless set.
TESSEL_API std::u16string GetCurrentLanguage();

}  // namespace Tessel
