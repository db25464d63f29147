#include "tessel/combo_box.h"

#include <algorithm>

namespace Tessel {

int ComboBox::AddItem(const std::u16string& text) {
  items_.push_back(text);
  return static_cast<int>(items_.size()) - 1;
}

void ComboBox::ResetContent() {
  items_.clear();
  selection_ = -1;
}

bool ComboBox::SetCurSel(int index) {
  if (index < -1 || index >= GetCount()) return false;
  selection_ = index;
  if (index >= 0) Element::SetText(items_[static_cast<size_t>(index)]);
  return true;
}

void ComboBox::SetText(const std::u16string& text) {
  Element::SetText(text);
  const auto it = std::find(items_.begin(), items_.end(), text);
  selection_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

}  // namespace Tessel
