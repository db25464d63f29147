// Whole-file reads and crash-safe writes for host code.
#pragma once

#include <optional>
#include <string>

namespace kshost {

// The bytes of the file at `path` (UTF-8); nothing when it cannot be opened
// or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file at `path` with `data` so that a reader sees either the
// old or the new content, never a part: writes a temporary file in the same
// folder, syncs it and renames it over the target. With `createFolders`,
// missing parent folders are made first. Returns false, leaving the target
// untouched, on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& data, bool createFolders);

}  // namespace kshost
