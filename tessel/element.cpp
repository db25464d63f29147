#include "tessel/element.h"

#include <algorithm>

namespace Tessel {

Element::Element(std::u16string name, ElementType type) : name_(std::move(name)), type_(type) {}

Element::~Element() = default;

void Element::MoveWindow(int x, int y, int width, int height) {
  rect_ = ElementRect{x, y, std::max(width, 0), std::max(height, 0)};
}

bool Element::SetValueText(const std::u16string& value) {
  SetText(value);
  return true;
}

void Element::SetTimer(int id, int ms) {
  if (ms <= 0) timers_.erase(id);
  else timers_[id] = ms;
}

void Element::ShowBalloonTipEx(const std::u16string& title, const std::u16string& text, int icon, int timeoutMs) {
  balloon_ = BalloonTip{title, text, icon, timeoutMs};
}

bool Element::Fire(const Event& event) {
  // Focus, paint and visibility reach disabled controls too; input does not.
  const bool input = event.kind != EventKind::Show && event.kind != EventKind::Hide &&
                     event.kind != EventKind::Paint && event.kind != EventKind::Resize &&
                     event.kind != EventKind::Moving && event.kind != EventKind::Timer &&
                     event.kind != EventKind::DpiChange && event.kind != EventKind::FocusOut;
  if (!procedure_ || (input && !enabled_)) return false;
  // A copy, so that a procedure which replaces itself is not destroyed while
  // it runs.
  const EventProcedure procedure = procedure_;
  return procedure(*this, event);
}

}  // namespace Tessel
