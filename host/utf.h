// UTF-8 <-> UTF-16 conversion for the host. Text crosses the table boundary
// as UTF-16 while the file system, pugixml and qpdf want UTF-8; both
// directions replace broken input by U+FFFD instead of failing, because a bad
// file name or preference value must never take the host down.
#pragma once

#include <string>
#include <string_view>

namespace kshost {

// Converts UTF-16 to UTF-8. Surrogate pairs become one 4-byte sequence; a
// lone surrogate becomes U+FFFD. Never fails.
std::string ToUtf8(std::u16string_view text);

// Converts UTF-8 to UTF-16. Each byte that does not start a well-formed
// sequence (overlong forms, encoded surrogates, values above U+10FFFF,
// truncated sequences) becomes one U+FFFD. Never fails.
std::u16string ToUtf16(std::string_view text);

// The NUL-terminated text at `text` as a view; empty for a null pointer.
std::u16string_view ViewOf(const char16_t* text);

}  // namespace kshost
