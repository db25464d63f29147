// The row of standard buttons (OK, Cancel, ...) at the bottom of a dialog.
#pragma once

#include <map>
#include <memory>

#include "tessel/button.h"

namespace Tessel {

enum class StandardButton { Ok, Cancel, Yes, No, Apply, Close, Help };

class TESSEL_API ButtonBox : public Element {
 public:
  explicit ButtonBox(std::u16string name) : Element(std::move(name), ElementType::ButtonBox) {}

  // Adds (or returns the existing) button of `kind`; its name is the box's
  // name + "." + the kind's word ("ok", "cancel", ...), its text the usual
  // English caption.
  std::shared_ptr<Button> AddButton(StandardButton kind);

  // The button of `kind`, or empty when the box has none.
  std::shared_ptr<Button> GetButton(StandardButton kind) const;

  // "ok", "cancel", "yes", "no", "apply", "close", "help"; parses the same
  // words back (false for others).
  static const char16_t* KindWord(StandardButton kind);
  static bool ParseKind(const std::u16string& word, StandardButton& kind);

 private:
  std::map<StandardButton, std::shared_ptr<Button>> buttons_;
};

}  // namespace Tessel
