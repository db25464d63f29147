// Declarations of the host's implementation of every table function. Each
// row of the function list in sdk/ks_functions.h has one definition in a
// host/*.cpp file; a missing one fails the link of the table.
#pragma once

#include "sdk/ks_functions.h"

namespace kshost::fn {
#define KSHOST_DECLARE(sel, idx, name, ret, params) ret name params;
KS_HOST_FUNCTIONS(KSHOST_DECLARE)
#undef KSHOST_DECLARE
}  // namespace kshost::fn
