// The string tables of the user interface. A module's strings live in
// <app>/lang/<code>/<module>_strings_<code>.xml.kw as
//
//   <strings><string id="IDS_KEY">text</string>...</strings>
//
// with the five standard XML entities (and numeric character references)
// in the text. The table name used in lookups is the module name.
#pragma once

#include <memory>
#include <string>

#include "tessel/language.h"
#include "tessel/tessel_export.h"
#include "tessel/tr_string.h"

namespace Tessel {

class TESSEL_API Translator {
 public:
  // The one translator of the process.
  static Translator& GetInstance();

  Translator(const Translator&) = delete;
  Translator& operator=(const Translator&) = delete;

  // Loads the strings of `module` for the current language and, when that is
  // not en-US, the en-US strings as fallback. Loading a module again replaces
  // its strings. A missing or malformed file contributes nothing. Returns
  // true when at least one of the two files gave strings.
  bool LoadStrings(const std::string& module);

  // The text of a file, decoded from UTF-8 (a leading byte-order mark is
  // dropped); entities are left as written. A relative path is looked for
  // under lang/<current code>/, then lang/en-US/. Empty when unreadable.
  std::u16string ReadTranslationFile(const std::u16string& path);

  // The text for `key` in `table`: the current language's, else the en-US
  // one, else `defaultText` when not empty, else the key itself (so a
  // missing string shows up as its identifier instead of a blank).
  std::u16string Translate(const std::string& table, const std::string& key,
                           const std::u16string& defaultText) const;

  // Whether the current language or the fallback has the key.
  bool HasTranslation(const std::string& table, const std::string& key) const;

  // Re-reads every loaded module for the current language.
  void Reload();

  // Forgets all loaded strings and modules.
  void Clear();

 private:
  Translator();
  ~Translator();

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Tessel
