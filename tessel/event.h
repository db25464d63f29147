// What the host (or a test) delivers to an element with Element::Fire. A
// headless library never makes events on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tessel {

enum class EventKind {
  None,
  MouseDown,
  MouseUp,
  MouseMove,
  MouseDoubleClick,
  Wheel,
  KeyDown,
  KeyUp,
  Char,
  FocusIn,
  FocusOut,
  Show,
  Hide,
  Resize,
  Moving,
  Paint,
  Timer,
  Drop,
  ContextMenu,
  DpiChange,
  Click,   // a button or link was pressed
  Change,  // text or selection changed
};

// Mouse buttons for the mouse kinds.
enum class MouseButton { None, Left, Right, Middle };

// Modifier bits in Event::modifiers.
constexpr uint32_t kModifierShift = 0x1;
constexpr uint32_t kModifierControl = 0x2;
constexpr uint32_t kModifierAlt = 0x4;

// One event. Only the fields of its kind mean anything: key for key and char
// events, x/y for mouse, wheel, context menu, moving and drop (in element
// coordinates), wheel for wheel (120 per notch), width/height for resize,
// timerId for timer, dpiScale for DPI change, files for drop.
struct Event {
  EventKind kind = EventKind::None;
  int key = 0;
  int x = 0;
  int y = 0;
  int wheel = 0;
  MouseButton button = MouseButton::None;
  uint32_t modifiers = 0;
  int width = 0;
  int height = 0;
  int timerId = 0;
  double dpiScale = 1.0;
  std::vector<std::u16string> files;
};

}  // namespace Tessel
