// The core table manager: maps (selector, index) to the host function of the
// function list, and hands plug-ins the record they call it through.
#pragma once

#include <cstddef>

#include "sdk/ks_records.h"

namespace kshost {

// The core record given to every plug-in at handshake. Its GetEntry answers
// null for a selector or index the host does not have.
KS_CoreHFT CoreHFT();

// The host function at (selector, index), or null.
void* CoreGetEntry(int selector, int index);

}  // namespace kshost
