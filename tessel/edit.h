// A single- or multi-line text field.
#pragma once

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API Edit : public Element {
 public:
  explicit Edit(std::u16string name) : Element(std::move(name), ElementType::Edit) {}

  // A read-only field still takes text from the program and from scripted
  // answers; only the user cannot type.
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool IsReadOnly() const { return readOnly_; }

  // Longest text the user may type; 0 means no limit. SetText is not cut.
  void SetLimitText(int characters) { limit_ = characters < 0 ? 0 : characters; }
  int GetLimitText() const { return limit_; }

 private:
  bool readOnly_ = false;
  int limit_ = 0;
};

}  // namespace Tessel
