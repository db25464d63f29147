// A clickable link: a caption and the address it stands for.
#pragma once

#include "tessel/element.h"

namespace Tessel {

class TESSEL_API HyperLinkElement : public Element {
 public:
  explicit HyperLinkElement(std::u16string name) : Element(std::move(name), ElementType::HyperLink) {}

  void SetUrl(const std::u16string& url) { url_ = url; }
  const std::u16string& GetUrl() const { return url_; }

  // Fires EventKind::Click; nothing is opened. Returns the procedure's answer.
  bool Click() {
    Event event;
    event.kind = EventKind::Click;
    return Fire(event);
  }

 private:
  std::u16string url_;
};

}  // namespace Tessel
