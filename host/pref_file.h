// The text form of the preference store. One UTF-8 file in INI layout:
//
//   [Annotation\Distance]
//   Ratio=1.5
//
// Sections, keys and values are escaped so that any UTF-16 text survives the
// round trip: '%', '=', '[', ']', ';', '#', control characters and DEL are
// written as %XX, and a lone surrogate (which has no UTF-8 form) as %uXXXX.
// Lines starting with ';' or '#' are comments.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kshost {

using PrefMap = std::map<std::pair<std::u16string, std::u16string>, std::u16string>;

// The file's text for `prefs`, sections in sorted order.
std::string FormatPrefFile(const PrefMap& prefs);

// The preferences in `text`; nothing when any line is malformed (a line that
// is neither a comment, a [section] nor key=value, a bad escape, or bytes
// that are not UTF-8).
std::optional<PrefMap> ParsePrefFile(std::string_view text);

}  // namespace kshost
