// Records the host keeps for the libraries a plug-in registers by instance
// handle (selector 21). The number a plug-in applies to its record is read
// back here by the host.
#pragma once

#include <cstdint>
#include <optional>

namespace kshost {

// The number last applied to the record of `instance`; nothing when the
// instance has no record or no number was applied.
std::optional<int32_t> ModuleRecordNumberOf(void* instance);

// How many records are alive; for tests and leak checks.
int ModuleRecordCount();

}  // namespace kshost
