// Small typed accessors over annotation dictionaries, through the host.
// Private to the library. Every getter checks the stored type and answers
// false (or empty) for a missing key or a value of the wrong kind; names are
// taken and given without their leading slash.
#pragma once

#include <cstdint>
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

 private:
  KPD_Object object_;
};

int32_t TypeOf(KPD_Object object);
bool IsDict(KPD_Object object);  // a dictionary or a stream's dictionary

// The name value without its slash, or empty.
std::string NameOf(KPD_Object object);
std::string GetName(KPD_Dictionary dict, const char* key);
bool SetName(KPD_Dictionary dict, const char* key, std::string_view name);

// Finite numbers only.
bool GetNumber(KPD_Dictionary dict, const char* key, double* out);
bool SetNumber(KPD_Dictionary dict, const char* key, double value);
bool SetInteger(KPD_Dictionary dict, const char* key, int64_t value);
bool GetBool(KPD_Dictionary dict, const char* key, bool* out);
bool SetBool(KPD_Dictionary dict, const char* key, bool value);

// Text strings (PDFDocEncoding or UTF-16) as wide text.
bool GetText(KPD_Dictionary dict, const char* key, std::u16string* out);
bool SetText(KPD_Dictionary dict, const char* key, std::u16string_view text);

// An array of finite numbers only; false for anything else.
bool GetNumbers(KPD_Object array, std::vector<float>* out);
bool GetNumbers(KPD_Dictionary dict, const char* key, std::vector<float>* out);
// Numbers are written with enough digits to give back the same floats.
bool SetNumbers(KPD_Dictionary dict, const char* key, const float* values, size_t count);
KPD_Array NewNumberArray(const float* values, size_t count);  // owned

bool Remove(KPD_Dictionary dict, const char* key);
bool Has(KPD_Dictionary dict, const char* key);

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace kwannotation::dict
