// Small screen helpers.
#pragma once

#include "tessel/tessel_export.h"

namespace Tessel::TesselUtils {

// Device pixels per layout unit: 1.0 unless Headless::SetScaleFactor said
// otherwise.
TESSEL_API double GetScaleFactor();

}  // namespace Tessel::TesselUtils
