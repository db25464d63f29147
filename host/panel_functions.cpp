// Side panels (selector 342).
#include <map>
#include <sstream>

#include "host/host_functions.h"
#include "host/panels.h"

namespace {

struct Panel {
  KS_PanelCallbacks record{};
  KA_Device device = nullptr;  // made when the panel first asks for it
};

std::map<std::string, Panel>& Panels() {
  static std::map<std::string, Panel> panels;
  return panels;
}

std::string Take(KS_ByteString s) {
  std::string text(kshost::direct::ByteStringData(s) ? kshost::direct::ByteStringData(s) : "", kshost::direct::ByteStringLength(s));
  kshost::direct::ByteStringDestroy(s);
  return text;
}

}  // namespace

int32_t kshost::direct::PanelRegister(const char* name, const KS_PanelCallbacks* record) {
  if (!name || !*name || !record || record->size < sizeof(KS_PanelCallbacks)) return 0;
  Panels()[name].record = *record;
  return 1;
}

int32_t kshost::direct::PanelUnregister(const char* name) {
  auto it = name ? Panels().find(name) : Panels().end();
  if (it == Panels().end()) return 0;
  if (it->second.device) kshost::ReleaseDevice(it->second.device);
  Panels().erase(it);
  return 1;
}

KA_Device kshost::direct::PanelGetDevice(const char* name) {
  auto it = name ? Panels().find(name) : Panels().end();
  if (it == Panels().end()) return nullptr;
  if (!it->second.device) it->second.device = kshost::NewDevice();
  return it->second.device;
}

int32_t kshost::direct::PanelShow(const char* name) {
  auto it = name ? Panels().find(name) : Panels().end();
  return it == Panels().end() ? 0 : 1;
}

std::vector<std::string> kshost::PanelNames() {
  std::vector<std::string> names;
  for (const auto& [name, panel] : Panels()) names.push_back(name);
  return names;
}
bool kshost::RunPanelCommand(const std::string& name, const std::vector<std::string>& words, std::string* why,
                             std::vector<std::string>* rows, std::vector<DrawItem>* drawn) {
  auto it = Panels().find(name);
  if (it == Panels().end()) {
    *why = "no panel named '" + name + "'";
    return false;
  }
  const KS_PanelCallbacks& r = it->second.record;
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  KS_ByteString error = direct::ByteStringNew(nullptr, 0);
  bool ok = r.Command && r.Command(r.clientData, static_cast<int32_t>(argv.size()), argv.data(), error);
  std::string reason = Take(error);
  if (!ok) *why = reason.empty() ? "the panel '" + name + "' refused the command" : reason;
  if (rows && r.Describe) {
    KS_ByteString out = direct::ByteStringNew(nullptr, 0);
    r.Describe(r.clientData, out);
    std::istringstream lines(Take(out));
    for (std::string line; std::getline(lines, line);) rows->push_back(line);
  }
  // The command may have unregistered the panel.
  it = Panels().find(name);
  if (it != Panels().end() && it->second.device) {
    if (drawn) *drawn = it->second.device->items;
    it->second.device->items.clear();
  }
  return ok;
}
