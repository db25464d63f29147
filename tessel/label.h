// Static text.
#pragma once

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API Label : public Element {
 public:
  explicit Label(std::u16string name) : Element(std::move(name), ElementType::Label) {}

  // Asks for text that does not fit the label's width to end in "...".
  // GetText keeps the full text; GetDisplayText gives what would be shown.
  void TruncateTextToEllipses(bool truncate = true) { truncate_ = truncate; }
  bool IsTruncatingToEllipses() const { return truncate_; }

  // The text as shown: cut to the label's width with an ellipsis when
  // truncation is on and the width is known. Without fonts, a character is
  // taken as kAverageCharWidth units wide.
  std::u16string GetDisplayText() const;

  static constexpr int kAverageCharWidth = 7;

 private:
  bool truncate_ = false;
};

}  // namespace Tessel
