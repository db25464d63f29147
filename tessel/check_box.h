// A check box with a caption.
#pragma once

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API CheckBox : public Element {
 public:
  explicit CheckBox(std::u16string name) : Element(std::move(name), ElementType::CheckBox) {}

  void SetCheck(bool checked) { checked_ = checked; }
  bool GetCheck() const { return checked_; }
  bool IsChecked() const { return checked_; }

  // Scripted answers: "1"/"true" checks, "0"/"false" clears; anything else
  // is refused.
  bool SetValueText(const std::u16string& value) override;

 private:
  bool checked_ = false;
};

}  // namespace Tessel
