#include "kwannotation/kw_annot_dict.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

KPD_Object GetTyped(KPD_Dictionary dict, const char* key, int32_t type) {
  if (!dict) return nullptr;
  KPD_Object value = host::DictGet(dict, key);
  return TypeOf(value) == type ? value : nullptr;
}

std::string GetName(KPD_Dictionary dict, const char* key) {
  return dict ? NameOf(host::DictGet(dict, key)) : std::string();
}

std::optional<std::string> FindName(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NAME);
  if (!value) return std::nullopt;
  return NameOf(value);
}

bool NameIs(KPD_Dictionary dict, const char* key, std::string_view name) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NAME);
  if (!value) return false;
  std::string withSlash = "/";
  withSlash += name;
  return host::NameIs(value, withSlash.c_str()) != 0;
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

std::optional<double> GetNumber(KPD_Dictionary dict, const char* key) {
  double v = 0;
  if (!GetNumber(dict, key, &v)) return std::nullopt;
  return v;
}

std::optional<int64_t> GetInteger(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NUMBER);
  if (!value || !std::isfinite(host::ObjectGetNumber(value))) return std::nullopt;
  return host::ObjectGetInteger(value);
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

std::optional<bool> GetBool(KPD_Dictionary dict, const char* key) {
  bool v = false;
  if (!GetBool(dict, key, &v)) return std::nullopt;
  return v;
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

std::optional<std::u16string> GetText(KPD_Dictionary dict, const char* key) {
  std::u16string text;
  if (!GetText(dict, key, &text)) return std::nullopt;
  return text;
}

bool SetText(KPD_Dictionary dict, const char* key, std::u16string_view text) {
  if (!dict) return false;
  Owned object(host::StringObjectNewFromText(text.data(), text.size()));
  return object && host::DictSet(dict, key, object.get()) != 0;
}

int ReadNumbers(KPD_Object array, std::vector<float>& out, int maxCount) {
  out.clear();
  if (!array) return -1;
  // One call answers arrays of up to 128 numbers (rectangles, colours, a
  // 50-point ink stroke); it also tells a non-array (-1) and the real count
  // of a longer one.
  float first[128];
  int count = host::ArrayGetNumbers(array, first, 128);
  if (count < 0) return -1;
  if (count > maxCount) return -2;
  if (count <= 128) {
    out.assign(first, first + count);
  } else {
    out.resize(static_cast<size_t>(count));
    host::ArrayGetNumbers(array, out.data(), count);
  }
  return count;
}

bool GetNumbers(KPD_Object array, std::vector<float>* out) {
  // ReadNumbers answers -1 for anything but an array of numbers.
  std::vector<float> values;
  if (ReadNumbers(array, values, std::numeric_limits<int>::max()) < 0) return false;
  for (float v : values)
    if (!std::isfinite(v)) return false;
  *out = std::move(values);
  return true;
}

std::vector<double> GetDoubles(KPD_Object array) {
  std::vector<double> out;
  if (TypeOf(array) != KPD_OBJ_ARRAY) return out;
  const int count = host::ArrayCount(array);
  out.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    KPD_Object item = host::ArrayGet(array, i);
    if (TypeOf(item) != KPD_OBJ_NUMBER) return {};
    const double v = host::ObjectGetNumber(item);
    if (!std::isfinite(v)) return {};
    out.push_back(v);
  }
  return out;
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

std::optional<KS_FloatRect> GetRect(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_ARRAY);
  KS_FloatRect rect{};
  if (!value || !host::RectFromObject(value, &rect)) return std::nullopt;
  host::RectNormalize(&rect);
  return rect;
}

bool ColorFromArray(KPD_Object array, KPD_ColorF* color) {
  KPD_ColorF result{KPD_COLOR_NONE, {0, 0, 0, 0}};
  std::vector<float> values;
  bool ok = GetNumbers(array, &values);
  if (ok) {
    switch (values.size()) {
      case 0: result.kind = KPD_COLOR_NONE; break;
      case 1: result.kind = KPD_COLOR_GRAY; break;
      case 3: result.kind = KPD_COLOR_RGB; break;
      case 4: result.kind = KPD_COLOR_CMYK; break;
      default: ok = false; break;
    }
  }
  if (ok)
    for (size_t i = 0; i < values.size(); ++i) result.c[i] = std::clamp(values[i], 0.0f, 1.0f);
  else
    result = KPD_ColorF{KPD_COLOR_NONE, {0, 0, 0, 0}};
  if (color) *color = result;
  return ok;
}

bool SetOwned(KPD_Dictionary dict, const char* key, KPD_Object value) {
  bool ok = dict && value && host::DictSet(dict, key, value) != 0;
  if (value) host::ObjectRelease(value);
  return ok;
}

bool AppendOwned(KPD_Array array, KPD_Object item) {
  bool ok = array && item && host::ArrayAppend(array, item) != 0;
  if (item) host::ObjectRelease(item);
  return ok;
}

bool Remove(KPD_Dictionary dict, const char* key) { return dict && host::DictRemove(dict, key) != 0; }

bool Has(KPD_Dictionary dict, const char* key) { return dict && host::DictHasKey(dict, key) != 0; }

std::string ToUtf8(std::u16string_view text) { return text::ToUtf8(text); }

std::u16string FromUtf8(std::string_view text) { return text::FromUtf8(text); }

}  // namespace kwannotation::dict
