// What the browser sends, checked before anything reaches the host: input
// events in device pixels of the page view, view changes, and the language
// the browser asks for.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_records.h"

namespace annotserve {

using Params = std::multimap<std::string, std::string>;

struct InputEvent {
  enum class Kind { Down, Up, Move, DoubleClick, RightDown, RightUp, RightDoubleClick, Wheel, Key, Char };
  Kind kind = Kind::Move;
  int page = 0;         // 0-based
  double x = 0, y = 0;  // device pixels of the page's view
  uint32_t flags = 0;   // KS_FLAG_SHIFT, KS_FLAG_CTRL
  int delta = 0;        // wheel
  int key = 0;          // virtual key code; for a character typed, its code point
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

// A property of the selection set in the properties panel: `name` (color,
// fill, width, dash, opacity, start, end, subject, label, contents,
// fontSize, fontColor) and `value`: a colour as #RRGGBB or "none" (a text
// colour only as #RRGGBB), a width or dash length in points (0 to 100), an
// opacity in percent (0 to 100), a font size in points (1 to 100), a line
// ending by name ("None", "OpenArrow", ...), a text of at most 1,000 bytes. `value.text` is left
// null: the caller points it at `text` converted.
struct PropertyRequest {
  KS_AnnotPropertyValue value{};
  std::string text;  // UTF-8
};
bool ParseProperty(const Params& params, PropertyRequest* out, std::string* error);
// The names of the properties above and their KS_PROP_* codes.
const std::map<std::string, int32_t>& PropertyNames();

// The name a file sent from the page is attached under: the last part of
// the name given (folders of either kind of slash dropped), without control
// characters, bytes that are not UTF-8 (dropped, not replaced) or trailing
// spaces and dots, at most 200 bytes; "attachment" when nothing is left or
// only "." or "..".
std::string UploadFileName(std::string_view given);

// The installed language that best fits an Accept-Language header: the
// first tag by weight that is installed, else one installed with its
// primary subtag ("de" picks "de-DE"); empty when none fits.
std::string PickLanguage(const std::string& acceptLanguage, const std::vector<std::string>& installed);

// How far the bytes a connection has sent make one request: the head up to
// its empty line, then a body of the head's Content-Length. Requests that
// cannot be taken are refused with a status: 431 for a head over
// `headLimit` bytes, 413 for a body over `bodyLimit`, 411 for a body sent
// without a length (Transfer-Encoding), 400 for a length that is not one
// number. A request whose head asks "Expect: 100-continue" is whole with
// its head: its body follows only once the server answers.
//
// A POST to `uploadPath` (the path alone, or before a query) may carry a
// body of up to `uploadLimit` bytes instead.
struct RequestExtent {
  enum class State { Incomplete, Whole, Refused };
  State state = State::Incomplete;
  size_t size = 0;      // Whole: the request's bytes, head and body
  size_t headSize = 0;  // Whole: the head's bytes, its empty line included
  bool lengthGiven = false;  // the head has a Content-Length
  int status = 0;       // Refused: the answer's status
};
RequestExtent MeasureRequest(std::string_view bytes, size_t headLimit, size_t bodyLimit,
                             std::string_view uploadPath = {}, size_t uploadLimit = 0);

// `text` as a JSON string literal, quotes included; bytes that are not
// UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace annotserve
