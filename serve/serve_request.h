// What the browser sends, checked before anything reaches the host: input
// events in device pixels of the page view, view changes, and the language
// the browser asks for.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace annotserve {

using Params = std::multimap<std::string, std::string>;

struct InputEvent {
  enum class Kind { Down, Up, Move, DoubleClick, RightDown, RightUp, RightDoubleClick, Wheel, Key };
  Kind kind = Kind::Move;
  int page = 0;         // 0-based
  double x = 0, y = 0;  // device pixels of the page's view
  uint32_t flags = 0;   // KS_FLAG_SHIFT, KS_FLAG_CTRL
  int delta = 0;        // wheel
  int key = 0;          // virtual key code
};

// Reads kind, page, x, y, shift, ctrl, delta and key. False with the reason
// for a missing or unknown kind, a number that does not parse or is out of
// range, or a parameter given twice. The page is not checked against the
// document here.
bool ParseEvent(const Params& params, InputEvent* out, std::string* error);

struct ViewRequest {
  int page = 0;
  float zoom = 1;
  int rotation = 0;
};
// page, zoom (0.05 to 16) and rotation (a multiple of 90); each optional,
// starting from `current`.
bool ParseView(const Params& params, const ViewRequest& current, ViewRequest* out, std::string* error);

// The installed language that best fits an Accept-Language header: the
// first tag by weight that is installed, else one installed with its
// primary subtag ("de" picks "de-DE"); empty when none fits.
std::string PickLanguage(const std::string& acceptLanguage, const std::vector<std::string>& installed);

// `text` as a JSON string literal, quotes included; bytes that are not
// UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace annotserve
