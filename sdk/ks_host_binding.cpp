#include "sdk/ks_host_binding.h"

namespace ks::host {
namespace {

KS_CoreHFT g_core = nullptr;
KS_PluginID g_id = nullptr;

}  // namespace

std::atomic<void*> detail::g_found[detail::kSlotCount];

void Bind(KS_CoreHFT core, KS_PluginID id) {
  g_core = core;
  g_id = id;
  for (auto& slot : detail::g_found) slot.store(nullptr, std::memory_order_relaxed);
}

void* Lookup(int selector, int index) {
  if (!g_core || !g_core->GetEntry) return nullptr;
  return g_core->GetEntry(g_core, selector, index, g_id);
}

}  // namespace ks::host
