#include "tessel/tessel_utils.h"

#include <atomic>

#include "tessel/headless.h"

namespace Tessel {
namespace {

std::atomic<double>& Scale() {
  static std::atomic<double> scale{1.0};
  return scale;
}

}  // namespace

double TesselUtils::GetScaleFactor() { return Scale().load(); }

void Headless::SetScaleFactor(double factor) {
  if (factor > 0) Scale().store(factor);
}

}  // namespace Tessel
