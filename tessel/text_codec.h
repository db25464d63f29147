// UTF-8 <-> UTF-16 conversion inside the widget library (over the shared
// header-only codec) and file reading. Not part of its interface.
#pragma once

#include <string>
#include <string_view>

#include "tessel/tessel_export.h"

namespace Tessel::detail {

// Lone surrogates and malformed UTF-8 become U+FFFD; never fails.
TESSEL_INTERNAL std::string ToUtf8(std::u16string_view text);
TESSEL_INTERNAL std::u16string ToUtf16(std::string_view text);

// The whole file as bytes; false when it cannot be read.
TESSEL_INTERNAL bool ReadFileBytes(const std::string& path, std::string& out);

}  // namespace Tessel::detail
