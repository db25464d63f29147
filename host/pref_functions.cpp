// Preferences (selector 265): thin wrappers over the host environment's
// store. Null section or key pointers are read as empty text.
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/strings.h"
#include "host/utf.h"

namespace {

std::u16string Text(const char16_t* text) { return std::u16string(kshost::ViewOf(text)); }

}  // namespace

int32_t kshost::direct::PrefGetInt(const char16_t* section, const char16_t* key, int32_t fallback) {
  return Env().prefInt(Text(section), Text(key)).value_or(fallback);
}

int32_t kshost::direct::PrefSetInt(const char16_t* section, const char16_t* key, int32_t value) {
  return Env().setPrefInt(Text(section), Text(key), value) ? 1 : 0;
}

int32_t kshost::direct::PrefGetText(const char16_t* section, const char16_t* key, KS_WideString out) {
  const auto value = Env().prefText(Text(section), Text(key));
  if (!value) return 0;
  // Presence is the answer; a null `out` just receives nothing.
  SetText(out, *value);
  return 1;
}

int32_t kshost::direct::PrefSetText(const char16_t* section, const char16_t* key, const char16_t* value) {
  return Env().setPrefText(Text(section), Text(key), Text(value)) ? 1 : 0;
}

int32_t kshost::direct::PrefRemove(const char16_t* section, const char16_t* key) {
  return Env().removePref(Text(section), Text(key)) ? 1 : 0;
}
