// A translatable text: looked up when it is shown, so a language switch
// after construction still takes effect.
#pragma once

#include <string>

#include "tessel/tessel_export.h"

namespace Tessel {

class TESSEL_API TrString {
 public:
  TrString(std::string table, std::string key, std::u16string defaultText = {});

  // The translation of key in table for the current language; see
  // Translator::Translate for the fallbacks.
  std::u16string ToString() const;
  operator std::u16string() const { return ToString(); }

  const std::string& GetTable() const { return table_; }
  const std::string& GetKey() const { return key_; }

 private:
  std::string table_;
  std::string key_;
  std::u16string defaultText_;
};

}  // namespace Tessel
