// Typed reads and writes of dictionary values through the host, for the
// measure dictionary and viewport code. Private to the library.
//
// A value of the wrong type reads as absent, so a damaged file gives the
// key's default rather than a crash or a garbage value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sdk/ks_host_binding.h"

namespace kwannotation::pdf {

inline bool IsType(KPD_Object obj, KPD_ObjectType type) {
  return obj && ks::host::ObjectGetType(obj) == type;
}

// The value under `key` when it has `type`, else null. Borrowed.
inline KPD_Object GetTyped(KPD_Dictionary dict, const char* key, KPD_ObjectType type) {
  if (!dict) return nullptr;
  KPD_Object value = ks::host::DictGet(dict, key);
  return IsType(value, type) ? value : nullptr;
}

inline KPD_Dictionary GetDict(KPD_Dictionary dict, const char* key) {
  return GetTyped(dict, key, KPD_OBJ_DICTIONARY);
}

inline KPD_Array GetArray(KPD_Dictionary dict, const char* key) { return GetTyped(dict, key, KPD_OBJ_ARRAY); }

inline std::optional<double> GetNumber(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NUMBER);
  if (!value) return std::nullopt;
  return ks::host::ObjectGetNumber(value);
}

inline std::optional<int64_t> GetInteger(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NUMBER);
  if (!value) return std::nullopt;
  return ks::host::ObjectGetInteger(value);
}

inline std::optional<bool> GetBoolean(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_BOOLEAN);
  if (!value) return std::nullopt;
  return ks::host::BooleanGet(value) != 0;
}

// A name without its leading slash.
inline std::optional<std::string> GetName(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_NAME);
  if (!value) return std::nullopt;
  ks::host::ByteString out;
  if (!ks::host::NameGet(value, out.get())) return std::nullopt;
  std::string name = out.str();
  if (!name.empty() && name[0] == '/') name.erase(0, 1);
  return name;
}

inline std::optional<std::u16string> GetText(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_STRING);
  if (!value) return std::nullopt;
  ks::host::WideString out;
  if (!ks::host::StringObjectGetText(value, out.get())) return std::nullopt;
  return out.str();
}

// Stores an object the caller made with a "New" function and releases the
// caller's handle; the dictionary keeps the value.
inline bool SetOwned(KPD_Dictionary dict, const char* key, KPD_Object value) {
  bool ok = value && ks::host::DictSet(dict, key, value) != 0;
  ks::host::ObjectRelease(value);
  return ok;
}

inline bool SetName(KPD_Dictionary dict, const char* key, std::string_view name) {
  std::string withSlash = "/";
  withSlash += name;
  return SetOwned(dict, key, ks::host::NameNew(withSlash.c_str()));
}

inline bool SetText(KPD_Dictionary dict, const char* key, std::u16string_view text) {
  return SetOwned(dict, key, ks::host::StringObjectNewFromText(text.data(), text.size()));
}

inline bool SetNumber(KPD_Dictionary dict, const char* key, double value) {
  return SetOwned(dict, key, ks::host::NumberNew(value));
}

inline bool SetInteger(KPD_Dictionary dict, const char* key, int64_t value) {
  return SetOwned(dict, key, ks::host::IntegerNew(value));
}

inline bool SetBoolean(KPD_Dictionary dict, const char* key, bool value) {
  return SetOwned(dict, key, ks::host::BooleanNew(value ? 1 : 0));
}

inline bool AppendOwned(KPD_Array array, KPD_Object item) {
  bool ok = item && ks::host::ArrayAppend(array, item) != 0;
  ks::host::ObjectRelease(item);
  return ok;
}

// The rectangle under `key`, normalised; empty when it is not four numbers.
inline std::optional<KS_FloatRect> GetRect(KPD_Dictionary dict, const char* key) {
  KPD_Object value = GetTyped(dict, key, KPD_OBJ_ARRAY);
  KS_FloatRect rect{};
  if (!value || !ks::host::RectFromObject(value, &rect)) return std::nullopt;
  ks::host::RectNormalize(&rect);
  return rect;
}

}  // namespace kwannotation::pdf
