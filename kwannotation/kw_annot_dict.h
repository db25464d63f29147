// The library's one set of typed accessors over PDF dictionaries, through
// the host. Private to the library: the object model, the appearance
// generators, the measure dictionaries, viewports and XFDF all read and write
// values here, so that a key means the same thing to each of them.
//
// Every getter checks the stored type: a missing key, a value of the wrong
// kind or a number that is not finite reads as absent (false, empty or
// nullopt), so a damaged file gives the key's default rather than a crash or
// a garbage value. Keys are given with their slash ("/Rect"); names are
// taken and given without it ("Square").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation::dict {

// Releases an owned host object at the end of a scope.
class Owned {
 public:
  explicit Owned(KPD_Object object = nullptr) : object_(object) {}
  ~Owned();
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  KPD_Object get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the object to the caller, who releases it.
  KPD_Object release() {
    KPD_Object object = object_;
    object_ = nullptr;
    return object;
  }

 private:
  KPD_Object object_;
};

int32_t TypeOf(KPD_Object object);
inline bool IsType(KPD_Object object, int32_t type) { return object && TypeOf(object) == type; }
bool IsDict(KPD_Object object);  // a dictionary or a stream's dictionary

// The value under `key` when it has `type`, else null. Borrowed.
KPD_Object GetTyped(KPD_Dictionary dict, const char* key, int32_t type);
inline KPD_Dictionary GetDict(KPD_Dictionary dict, const char* key) {
  return GetTyped(dict, key, KPD_OBJ_DICTIONARY);
}
inline KPD_Array GetArray(KPD_Dictionary dict, const char* key) { return GetTyped(dict, key, KPD_OBJ_ARRAY); }

// The name value without its slash, or empty.
std::string NameOf(KPD_Object object);
std::string GetName(KPD_Dictionary dict, const char* key);
// As GetName, but tells a missing name from an empty one.
std::optional<std::string> FindName(KPD_Dictionary dict, const char* key);
// Whether the name under `key` is `name` (without its slash).
bool NameIs(KPD_Dictionary dict, const char* key, std::string_view name);
bool SetName(KPD_Dictionary dict, const char* key, std::string_view name);

// Finite numbers only.
bool GetNumber(KPD_Dictionary dict, const char* key, double* out);
std::optional<double> GetNumber(KPD_Dictionary dict, const char* key);
std::optional<int64_t> GetInteger(KPD_Dictionary dict, const char* key);
bool SetNumber(KPD_Dictionary dict, const char* key, double value);
bool SetInteger(KPD_Dictionary dict, const char* key, int64_t value);
bool GetBool(KPD_Dictionary dict, const char* key, bool* out);
std::optional<bool> GetBool(KPD_Dictionary dict, const char* key);
bool SetBool(KPD_Dictionary dict, const char* key, bool value);

// Text strings (PDFDocEncoding or UTF-16) as wide text.
bool GetText(KPD_Dictionary dict, const char* key, std::u16string* out);
std::optional<std::u16string> GetText(KPD_Dictionary dict, const char* key);
bool SetText(KPD_Dictionary dict, const char* key, std::u16string_view text);

// The numbers of `array` as floats, without judging them: their count, -1
// when `array` is not an array of numbers, -2 when it holds more than
// `maxCount` (then `out` is empty).
int ReadNumbers(KPD_Object array, std::vector<float>& out, int maxCount);
// An array of finite numbers only; false for anything else.
bool GetNumbers(KPD_Object array, std::vector<float>* out);
bool GetNumbers(KPD_Dictionary dict, const char* key, std::vector<float>* out);
// The same at full precision, for values that are computed with rather than
// drawn; empty for anything but an array of finite numbers.
std::vector<double> GetDoubles(KPD_Object array);
// Numbers are written with enough digits to give back the same floats.
bool SetNumbers(KPD_Dictionary dict, const char* key, const float* values, size_t count);
KPD_Array NewNumberArray(const float* values, size_t count);  // owned

// The rectangle under `key`, normalised; empty when it is not four numbers.
std::optional<KS_FloatRect> GetRect(KPD_Dictionary dict, const char* key);

// A colour array of 0, 1, 3 or 4 finite numbers, components clamped to
// [0, 1]; false and kind 0 for anything else (including a missing value).
bool ColorFromArray(KPD_Object array, KPD_ColorF* color);

// Stores an object the caller made with a "New" function and releases the
// caller's handle; the dictionary keeps the value.
bool SetOwned(KPD_Dictionary dict, const char* key, KPD_Object value);
bool AppendOwned(KPD_Array array, KPD_Object item);

bool Remove(KPD_Dictionary dict, const char* key);
bool Has(KPD_Dictionary dict, const char* key);

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace kwannotation::dict
