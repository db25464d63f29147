// Side panels that plug-ins register by name, driven by session scripts.
#pragma once

#include <string>
#include <vector>

#include "host/device.h"

namespace kshost {

// Runs `words` on the panel `name`; false with the reason. `rows` gets
// the panel's description afterwards, and `drawn` (may be null) what the
// panel painted on its device meanwhile; the device is emptied either way.
bool RunPanelCommand(const std::string& name, const std::vector<std::string>& words, std::string* why,
                     std::vector<std::string>* rows, std::vector<DrawItem>* drawn = nullptr);
// The names of the registered panels, in order.
std::vector<std::string> PanelNames();

}  // namespace kshost
