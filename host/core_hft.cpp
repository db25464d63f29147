#include "host/core_hft.h"

#include <unordered_map>

#include "host/host_functions.h"

namespace kshost {
namespace {

using TableMap = std::unordered_map<long long, void*>;

long long Key(int selector, int index) {
  return (static_cast<long long>(selector) << 32) | static_cast<unsigned>(index);
}

const TableMap& Tables() {
  static const TableMap tables = [] {
    TableMap t;
#define KSHOST_FILL(sel, idx, name, ret, params) t.emplace(Key(sel, idx), reinterpret_cast<void*>(&direct::name));
    KS_HOST_FUNCTIONS(KSHOST_FILL)
#undef KSHOST_FILL
    return t;
  }();
  return tables;
}

void* GetEntry(KS_CoreHFT, int32_t selector, int32_t index, KS_PluginID) {
  return CoreGetEntry(selector, index);
}

KS_CoreHFTRec g_core = {sizeof(KS_CoreHFTRec), &GetEntry};

}  // namespace

KS_CoreHFT CoreHFT() { return &g_core; }

void* CoreGetEntry(int selector, int index) {
  const TableMap& t = Tables();
  auto it = t.find(Key(selector, index));
  return it == t.end() ? nullptr : it->second;
}

}  // namespace kshost
