// Table functions never let an exception reach the plug-in: their bodies run
// through these, which turn any exception into the failure value.
#pragma once

namespace kshost {

template <class R, class F>
R Guard(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <class F>
void GuardVoid(F&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace kshost
