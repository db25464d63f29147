// How toolset files store their byte fields: zlib-compressed and written as
// lowercase hexadecimal, or plain text. Reading is bounded so that a small
// file cannot expand into gigabytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace AnnotationPlugin {

// The most bytes one stored field may inflate to; a larger one is refused.
inline constexpr size_t kMaxFieldBytes = size_t{64} << 20;
// The most bytes all fields of one toolset file may inflate to together: a
// package beyond it is refused, and a file beyond it loads only the fields
// that fit.
inline constexpr size_t kMaxToolsetBytes = size_t{256} << 20;

// A size as a message says it: "256 MiB", "1000 bytes".
std::string ToolsetSizeText(size_t bytes);

// `value` compressed (zlib, level 1) and written as lowercase hex, two
// digits a byte. Empty for an empty value.
std::string EncodeToolsetField(std::string_view value);

// The stored field `text` back as bytes. A text of five characters or more
// that starts with "78" is hex and zlib; anything else is taken literally.
// False, with `*why` and an empty `*out`, when hex or zlib is broken or the
// field would inflate beyond `limit` bytes (then with `*overLimit` set).
bool DecodeToolsetField(std::string_view text, std::string* out, std::string* why,
                        size_t limit = kMaxFieldBytes, bool* overLimit = nullptr);

// How many bytes the stored field `text` decodes to, found without keeping
// them. False, with `*why`, when it is broken or would pass `limit` (then
// with `*overLimit` set).
bool MeasureToolsetField(std::string_view text, size_t* size, std::string* why, bool* overLimit,
                         size_t limit = kMaxFieldBytes);

}  // namespace AnnotationPlugin
