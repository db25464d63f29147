#include "kwannotation/kw_annot_dict.h"

#include <cmath>

#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation::dict {

namespace host = ks::host;

Owned::~Owned() {
  if (object_) host::ObjectRelease(object_);
}

int32_t TypeOf(KPD_Object object) { return object ? host::ObjectGetType(object) : KPD_OBJ_INVALID; }

bool IsDict(KPD_Object object) {
  int32_t t = TypeOf(object);
  return t == KPD_OBJ_DICTIONARY || t == KPD_OBJ_STREAM;
}

std::string NameOf(KPD_Object object) {
  if (TypeOf(object) != KPD_OBJ_NAME) return {};
  host::ByteString s;
  if (!host::NameGet(object, s.get())) return {};
  std::string name = s.str();
  return !name.empty() && name[0] == '/' ? name.substr(1) : name;
}

std::string GetName(KPD_Dictionary dict, const char* key) {
  return dict ? NameOf(host::DictGet(dict, key)) : std::string();
}

bool SetName(KPD_Dictionary dict, const char* key, std::string_view name) {
  if (!dict || name.empty()) return false;
  std::string withSlash = "/" + std::string(name);
  Owned value(host::NameNew(withSlash.c_str()));
  return value && host::DictSet(dict, key, value.get()) != 0;
}

bool GetNumber(KPD_Dictionary dict, const char* key, double* out) {
  if (!dict) return false;
  KPD_Object value = host::DictGet(dict, key);
  if (TypeOf(value) != KPD_OBJ_NUMBER) return false;
  double v = host::ObjectGetNumber(value);
  if (!std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool SetNumber(KPD_Dictionary dict, const char* key, double value) {
  if (!dict || !std::isfinite(value)) return false;
  Owned object(host::NumberNew(value));
  return object && host::DictSet(dict, key, object.get()) != 0;
}

bool SetInteger(KPD_Dictionary dict, const char* key, int64_t value) {
  if (!dict) return false;
  Owned object(host::IntegerNew(value));
  return object && host::DictSet(dict, key, object.get()) != 0;
}

bool GetBool(KPD_Dictionary dict, const char* key, bool* out) {
  if (!dict) return false;
  KPD_Object value = host::DictGet(dict, key);
  if (TypeOf(value) != KPD_OBJ_BOOLEAN) return false;
  *out = host::BooleanGet(value) != 0;
  return true;
}

bool SetBool(KPD_Dictionary dict, const char* key, bool value) {
  if (!dict) return false;
  Owned object(host::BooleanNew(value ? 1 : 0));
  return object && host::DictSet(dict, key, object.get()) != 0;
}

bool GetText(KPD_Dictionary dict, const char* key, std::u16string* out) {
  if (!dict) return false;
  KPD_Object value = host::DictGet(dict, key);
  if (TypeOf(value) != KPD_OBJ_STRING) return false;
  host::WideString text;
  if (!host::StringObjectGetText(value, text.get())) return false;
  *out = text.str();
  return true;
}

bool SetText(KPD_Dictionary dict, const char* key, std::u16string_view text) {
  if (!dict) return false;
  Owned object(host::StringObjectNewFromText(text.data(), text.size()));
  return object && host::DictSet(dict, key, object.get()) != 0;
}

bool GetNumbers(KPD_Object array, std::vector<float>* out) {
  if (TypeOf(array) != KPD_OBJ_ARRAY) return false;
  int32_t count = host::ArrayGetNumbers(array, nullptr, 0);
  if (count < 0) return false;
  std::vector<float> values(static_cast<size_t>(count));
  if (count > 0 && host::ArrayGetNumbers(array, values.data(), count) != count) return false;
  for (float v : values)
    if (!std::isfinite(v)) return false;
  *out = std::move(values);
  return true;
}

bool GetNumbers(KPD_Dictionary dict, const char* key, std::vector<float>* out) {
  return dict && GetNumbers(host::DictGet(dict, key), out);
}

KPD_Array NewNumberArray(const float* values, size_t count) {
  KPD_Array array = host::ArrayNew();
  if (!array) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    // A float's value written exactly enough to read back the same float.
    Owned number(host::NumberNew(static_cast<double>(values[i])));
    if (!number || !host::ArrayAppend(array, number.get())) {
      host::ObjectRelease(array);
      return nullptr;
    }
  }
  return array;
}

bool SetNumbers(KPD_Dictionary dict, const char* key, const float* values, size_t count) {
  if (!dict) return false;
  for (size_t i = 0; i < count; ++i)
    if (!std::isfinite(values[i])) return false;
  Owned array(NewNumberArray(values, count));
  return array && host::DictSet(dict, key, array.get()) != 0;
}

bool Remove(KPD_Dictionary dict, const char* key) { return dict && host::DictRemove(dict, key) != 0; }

bool Has(KPD_Dictionary dict, const char* key) { return dict && host::DictHasKey(dict, key) != 0; }

std::string ToUtf8(std::u16string_view text) { return text::ToUtf8(text); }

std::u16string FromUtf8(std::string_view text) { return text::FromUtf8(text); }

}  // namespace kwannotation::dict
