#include "tessel/check_box.h"

namespace Tessel {

bool CheckBox::SetValueText(const std::u16string& value) {
  if (value == u"1" || value == u"true") {
    checked_ = true;
  } else if (value == u"0" || value == u"false") {
    checked_ = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace Tessel
