// Open and save dialogs. Headless: they return the next queued file answer
// (Headless::QueueFileDialogAnswer) without looking at filter or name.
#pragma once

#include <string>
#include <vector>

#include "tessel/tessel_export.h"

namespace Tessel {

// The chosen paths (one for save, one or more for open); empty on cancel or
// when no answer is queued. `filter` is "Description|*.ext|..." as the
// caller likes it; `defaultName` the proposed file name.
TESSEL_API std::vector<std::u16string> FileDialog(void* parent, bool open, const std::u16string& filter,
                                                  const std::u16string& defaultName);

// The same with a window title.
TESSEL_API std::vector<std::u16string> FileDialogEx(void* parent, bool open, const std::u16string& title,
                                                    const std::u16string& filter,
                                                    const std::u16string& defaultName);

}  // namespace Tessel
