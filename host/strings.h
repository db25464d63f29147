// The objects behind the string handles of the host tables, and helpers for
// host code that fills a caller's string. A handle is a plain heap object;
// the table functions create and destroy it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

struct KS_ByteString__ {
  std::string text;
};

struct KS_WideString__ {
  std::u16string text;
};

struct KS_WideStringArray__ {
  std::vector<std::u16string> items;
};

namespace kshost {

// Replaces the text of `out`. Returns false, and does nothing, for a null
// handle, so callers can write `return SetText(out, value) ? 1 : 0;`.
bool SetText(KS_ByteString out, std::string_view text);
bool SetText(KS_WideString out, std::u16string_view text);

}  // namespace kshost
