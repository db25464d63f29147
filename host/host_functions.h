// Declarations of the host's implementation of every table function. Each
// row of the function list in sdk/ks_functions.h has one definition in a
// host/*.cpp file; a missing one fails the link of the table. The host's own
// code and its tests call them here directly; a plug-in reaches the same
// functions only through the numbered tables (its ks::host wrappers).
#pragma once

#include "sdk/ks_functions.h"

namespace kshost::direct {
#define KSHOST_DECLARE(sel, idx, name, ret, params) ret name params;
KS_HOST_FUNCTIONS(KSHOST_DECLARE)
#undef KSHOST_DECLARE
}  // namespace kshost::direct
