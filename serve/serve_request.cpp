#include "serve/serve_request.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>

#include "sdk/ks_records.h"

namespace annotserve {
namespace {

// Device coordinates beyond this are no point of any view.
constexpr double kMaxCoordinate = 1e6;

// The single value of `key`; false when it is given more than once.
bool Single(const Params& params, const std::string& key, const std::string** value, std::string* error) {
  auto [begin, end] = params.equal_range(key);
  *value = nullptr;
  if (begin == end) return true;
  if (std::next(begin) != end) {
    *error = "'" + key + "' is given more than once";
    return false;
  }
  *value = &begin->second;
  return true;
}

bool ToInt(const std::string& s, int* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ToDouble(const std::string& s, double* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

bool IntParam(const Params& params, const std::string& key, int lo, int hi, int* out, std::string* error) {
  const std::string* value = nullptr;
  if (!Single(params, key, &value, error)) return false;
  if (!value) return true;
  if (!ToInt(*value, out) || *out < lo || *out > hi) {
    *error = "'" + key + "' must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
    return false;
  }
  return true;
}

bool FlagParam(const Params& params, const std::string& key, uint32_t bit, uint32_t* flags, std::string* error) {
  int on = 0;
  if (!IntParam(params, key, 0, 1, &on, error)) return false;
  if (on) *flags |= bit;
  return true;
}

}  // namespace

const std::map<std::string, int32_t>& PropertyNames() {
  static const std::map<std::string, int32_t> names = {
      {"color", KS_PROP_COLOR},   {"fill", KS_PROP_FILL},          {"width", KS_PROP_WIDTH},
      {"dash", KS_PROP_DASH},     {"opacity", KS_PROP_OPACITY},    {"start", KS_PROP_LINE_START},
      {"end", KS_PROP_LINE_END},  {"subject", KS_PROP_SUBJECT},    {"label", KS_PROP_LABEL},
      {"contents", KS_PROP_CONTENTS}, {"fontSize", KS_PROP_FONT_SIZE}, {"fontColor", KS_PROP_FONT_COLOR},
  };
  return names;
}

bool ParseProperty(const Params& params, PropertyRequest* out, std::string* error) {
  const std::map<std::string, int32_t>& kNames = PropertyNames();
  // Line endings in the order of their codes.
  static const char* const kEndings[] = {"None",        "Square",     "Circle",       "Diamond", "OpenArrow",
                                         "ClosedArrow", "Butt",       "ROpenArrow",   "RClosedArrow", "Slash"};
  const std::string *name = nullptr, *value = nullptr;
  if (!Single(params, "name", &name, error) || !Single(params, "value", &value, error)) return false;
  if (!name || !value) {
    *error = "a property needs 'name' and 'value'";
    return false;
  }
  const auto it = kNames.find(*name);
  if (it == kNames.end()) {
    *error = "unknown property '" + name->substr(0, 40) + "'";
    return false;
  }
  PropertyRequest r;
  r.value.size = sizeof r.value;
  r.value.property = it->second;
  const std::string& v = *value;
  switch (it->second) {
    case KS_PROP_COLOR:
    case KS_PROP_FILL:
    case KS_PROP_FONT_COLOR: {
      if (v == "none" && it->second != KS_PROP_FONT_COLOR) {
        r.value.none = 1;
        break;
      }
      const bool hex = v.size() == 7 && v[0] == '#' &&
                       std::all_of(v.begin() + 1, v.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
      if (!hex) {
        *error = it->second == KS_PROP_FONT_COLOR ? "a text colour is #RRGGBB" : "a colour is #RRGGBB or none";
        return false;
      }
      for (int i = 0; i < 3; ++i) r.value.rgb[i] = float(std::stoi(v.substr(1 + 2 * i, 2), nullptr, 16)) / 255.0f;
      break;
    }
    case KS_PROP_WIDTH:
    case KS_PROP_DASH:
    case KS_PROP_OPACITY: {
      double number = 0;
      if (!ToDouble(v, &number) || number < 0 || number > 100) {
        *error = "'" + *name + "' must be a number from 0 to 100";
        return false;
      }
      r.value.number = float(it->second == KS_PROP_OPACITY ? number / 100 : number);
      break;
    }
    case KS_PROP_FONT_SIZE: {
      double number = 0;
      if (!ToDouble(v, &number) || number < 1 || number > 100) {
        *error = "'fontSize' must be a number from 1 to 100";
        return false;
      }
      r.value.number = float(number);
      break;
    }
    case KS_PROP_LINE_START:
    case KS_PROP_LINE_END: {
      const auto* end = std::end(kEndings);
      const auto* found = std::find_if(std::begin(kEndings), end, [&](const char* e) { return v == e; });
      if (found == end) {
        *error = "unknown line ending '" + v.substr(0, 40) + "'";
        return false;
      }
      r.value.number = float(found - std::begin(kEndings));
      break;
    }
    default:
      if (v.size() > 1000) {
        *error = "a text property holds at most 1,000 bytes";
        return false;
      }
      r.text = v;
  }
  *out = std::move(r);
  return true;
}

bool ParseEvent(const Params& params, InputEvent* out, std::string* error) {
  static const std::map<std::string, InputEvent::Kind> kinds = {
      {"down", InputEvent::Kind::Down},
      {"up", InputEvent::Kind::Up},
      {"move", InputEvent::Kind::Move},
      {"dblclick", InputEvent::Kind::DoubleClick},
      {"rdown", InputEvent::Kind::RightDown},
      {"rup", InputEvent::Kind::RightUp},
      {"rdblclick", InputEvent::Kind::RightDoubleClick},
      {"wheel", InputEvent::Kind::Wheel},
      {"key", InputEvent::Kind::Key},
      {"char", InputEvent::Kind::Char},
  };
  InputEvent e;
  const std::string* kind = nullptr;
  if (!Single(params, "kind", &kind, error)) return false;
  if (!kind) {
    *error = "the event has no kind";
    return false;
  }
  auto it = kinds.find(*kind);
  if (it == kinds.end()) {
    *error = "unknown event kind '" + kind->substr(0, 40) + "'";
    return false;
  }
  e.kind = it->second;
  if (!FlagParam(params, "shift", KS_FLAG_SHIFT, &e.flags, error) ||
      !FlagParam(params, "ctrl", KS_FLAG_CTRL, &e.flags, error))
    return false;
  if (e.kind == InputEvent::Kind::Key || e.kind == InputEvent::Kind::Char) {
    const bool typed = e.kind == InputEvent::Kind::Char;
    const std::string* key = nullptr;
    if (!Single(params, "key", &key, error)) return false;
    if (!key) {
      *error = typed ? "a char event needs 'key'" : "a key event needs 'key'";
      return false;
    }
    // A character is a Unicode scalar value from the space on.
    if (!IntParam(params, "key", typed ? 32 : 1, typed ? 0x10FFFF : 255, &e.key, error)) return false;
    if (typed && e.key >= 0xD800 && e.key < 0xE000) {
      *error = "'key' of a char event must be a character, not a surrogate";
      return false;
    }
    *out = e;
    return true;
  }
  const std::string *page = nullptr, *x = nullptr, *y = nullptr;
  if (!Single(params, "page", &page, error) || !Single(params, "x", &x, error) || !Single(params, "y", &y, error))
    return false;
  if (!page || !x || !y) {
    *error = "a pointer event needs 'page', 'x' and 'y'";
    return false;
  }
  if (!IntParam(params, "page", 0, 1 << 24, &e.page, error)) return false;
  if (!ToDouble(*x, &e.x) || !ToDouble(*y, &e.y) || std::fabs(e.x) > kMaxCoordinate ||
      std::fabs(e.y) > kMaxCoordinate) {
    *error = "'x' and 'y' must be numbers of device pixels";
    return false;
  }
  if (e.kind == InputEvent::Kind::Wheel && !IntParam(params, "delta", -32768, 32767, &e.delta, error)) return false;
  *out = e;
  return true;
}

bool ParseView(const Params& params, const ViewRequest& current, ViewRequest* out, std::string* error) {
  ViewRequest v = current;
  if (!IntParam(params, "page", 0, 1 << 24, &v.page, error)) return false;
  const std::string* zoom = nullptr;
  if (!Single(params, "zoom", &zoom, error)) return false;
  double z = v.zoom;
  if (zoom && (!ToDouble(*zoom, &z) || z < 0.05 || z > 16)) {
    *error = "'zoom' must be a number from 0.05 to 16";
    return false;
  }
  v.zoom = static_cast<float>(z);
  if (!IntParam(params, "rotation", -360, 720, &v.rotation, error)) return false;
  if (v.rotation % 90 != 0) {
    *error = "'rotation' must be a multiple of 90";
    return false;
  }
  v.rotation = (v.rotation % 360 + 360) % 360;
  *out = v;
  return true;
}

std::string PickLanguage(const std::string& acceptLanguage, const std::vector<std::string>& installed) {
  struct Wanted {
    std::string tag;
    double q;
    size_t order;
  };
  std::vector<Wanted> wanted;
  size_t start = 0;
  while (start <= acceptLanguage.size() && wanted.size() < 32) {
    size_t comma = acceptLanguage.find(',', start);
    std::string part = acceptLanguage.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? acceptLanguage.size() + 1 : comma + 1;
    double q = 1;
    if (size_t semi = part.find(';'); semi != std::string::npos) {
      std::string rest = part.substr(semi + 1);
      part.resize(semi);
      rest.erase(std::remove(rest.begin(), rest.end(), ' '), rest.end());
      if (rest.rfind("q=", 0) == 0 && !ToDouble(rest.substr(2), &q)) q = 0;
    }
    part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
    if (part.empty() || q <= 0) continue;
    wanted.push_back({part, q, wanted.size()});
  }
  std::stable_sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) { return a.q > b.q; });
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const Wanted& w : wanted) {
    const std::string tag = lower(w.tag);
    for (const std::string& code : installed)
      if (lower(code) == tag) return code;
    const std::string primary = tag.substr(0, tag.find('-'));
    for (const std::string& code : installed)
      if (lower(code.substr(0, code.find('-'))) == primary) return code;
  }
  return {};
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7F) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is copied; anything else is U+FFFD.
    int length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (c >= 0xF5) length = 0;
    bool ok = length > 0 && i + length <= text.size();
    for (int k = 1; ok && k < length; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (ok && length == 3) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      ok = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
    }
    if (ok && length == 4) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      ok = !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
    }
    if (ok) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out + "\"";
}

namespace {

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string UploadFileName(std::string_view given) {
  const size_t slash = given.find_last_of("/\\");
  if (slash != std::string_view::npos) given.remove_prefix(slash + 1);
  std::string name;
  for (size_t i = 0; i < given.size();) {
    const unsigned char c = static_cast<unsigned char>(given[i]);
    // The length of a well-formed sequence starting here, 0 for none.
    size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < n; ++k) {
      const unsigned char d = i + k < given.size() ? static_cast<unsigned char>(given[i + k]) : 0;
      if ((d & 0xC0) != 0x80) {
        n = 0;
        break;
      }
      cp = (cp << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no letters.
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      n = 0;
    if (n == 0) {
      ++i;
      continue;
    }
    const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x2028 || cp == 0x2029;
    if (!control) {
      if (name.size() + n > 200) break;
      name.append(given.substr(i, n));
    }
    i += n;
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  size_t lead = 0;
  while (lead < name.size() && name[lead] == ' ') ++lead;
  name.erase(0, lead);
  return name.empty() ? "attachment" : name;
}

RequestExtent MeasureRequest(std::string_view bytes, size_t headLimit, size_t bodyLimit, std::string_view uploadPath,
                             size_t uploadLimit) {
  RequestExtent r;
  auto refuse = [&](int status) {
    r.state = RequestExtent::State::Refused;
    r.status = status;
    return r;
  };
  // The head ends at its first empty line; lines may end in a bare LF.
  size_t headEnd = std::string_view::npos;
  for (size_t nl = bytes.find('\n'); nl != std::string_view::npos; nl = bytes.find('\n', nl + 1)) {
    if (nl + 1 < bytes.size() && bytes[nl + 1] == '\n') {
      headEnd = nl + 2;
      break;
    }
    if (nl + 2 < bytes.size() && bytes[nl + 1] == '\r' && bytes[nl + 2] == '\n') {
      headEnd = nl + 3;
      break;
    }
    if (nl > headLimit) break;
  }
  if (headEnd == std::string_view::npos) return bytes.size() > headLimit ? refuse(431) : r;
  if (headEnd > headLimit) return refuse(431);
  std::string_view head = bytes.substr(0, headEnd);
  size_t length = 0;
  bool haveLength = false, expectContinue = false;
  // Header lines follow the request line.
  for (size_t start = head.find('\n') + 1; start < head.size();) {
    size_t end = head.find('\n', start);
    if (end == std::string_view::npos) end = head.size();
    const std::string_view line = head.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trimmed(line.substr(0, colon)), value = Trimmed(line.substr(colon + 1));
    if (SameWord(name, "Transfer-Encoding")) return refuse(411);
    if (SameWord(name, "Expect")) expectContinue = SameWord(value, "100-continue");
    if (!SameWord(name, "Content-Length")) continue;
    size_t n = 0;
    const auto parsed = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || parsed.ec != std::errc() || parsed.ptr != value.data() + value.size() ||
        (haveLength && n != length))
      return refuse(400);
    length = n;
    haveLength = true;
  }
  if (!uploadPath.empty()) {
    // The request line: "POST /path?query HTTP/1.1".
    const std::string_view line = head.substr(0, head.find('\n'));
    const std::string_view method = "POST ";
    if (line.substr(0, method.size()) == method && line.substr(method.size(), uploadPath.size()) == uploadPath) {
      const size_t after = method.size() + uploadPath.size();
      if (after < line.size() && (line[after] == '?' || line[after] == ' ')) bodyLimit = uploadLimit;
    }
  }
  if (length > bodyLimit) return refuse(413);
  if (bytes.size() - headEnd >= length || expectContinue) {
    r.state = RequestExtent::State::Whole;
    r.size = headEnd + std::min(length, bytes.size() - headEnd);
    r.headSize = headEnd;
    r.lengthGiven = haveLength;
  }
  return r;
}

}  // namespace annotserve
