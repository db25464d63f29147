// A push button.
#pragma once

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API Button : public Element {
 public:
  explicit Button(std::u16string name) : Element(std::move(name), ElementType::Button) {}

  // Presses the button: fires EventKind::Click. Returns the procedure's
  // answer; false when disabled or nobody listens.
  bool Click() {
    Event event;
    event.kind = EventKind::Click;
    return Fire(event);
  }
};

}  // namespace Tessel
