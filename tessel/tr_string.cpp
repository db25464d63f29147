#include "tessel/tr_string.h"

#include "tessel/translator.h"

namespace Tessel {

TrString::TrString(std::string table, std::string key, std::u16string defaultText)
    : table_(std::move(table)), key_(std::move(key)), defaultText_(std::move(defaultText)) {}

std::u16string TrString::ToString() const {
  return Translator::GetInstance().Translate(table_, key_, defaultText_);
}

}  // namespace Tessel
