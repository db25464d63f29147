#include "host/ext_hft.h"

#include <algorithm>
#include <memory>

#include "host/host_functions.h"

struct KS_ExtHFT__ {
  std::vector<void*> entries;
  std::string name;
  int version = 0;
  bool published = false;
  const void* owner = nullptr;
};

namespace kshost {
namespace {

struct Registry {
  std::vector<std::unique_ptr<KS_ExtHFT__>> tables;
  const void* currentOwner = nullptr;
};

Registry& Reg() {
  static Registry r;
  return r;
}

bool Valid(KS_ExtHFT hft) {
  for (const auto& t : Reg().tables)
    if (t.get() == hft) return true;
  return false;
}

}  // namespace

std::vector<PublishedTable> PublishedTables() {
  std::vector<PublishedTable> out;
  for (const auto& t : Reg().tables)
    if (t->published) out.push_back({t->name, t->version, static_cast<int>(t->entries.size()), t->owner});
  return out;
}

void SetTableOwner(const void* owner) { Reg().currentOwner = owner; }
const void* TableOwner() { return Reg().currentOwner; }

void WithdrawTables(const void* owner) {
  auto& tables = Reg().tables;
  tables.erase(std::remove_if(tables.begin(), tables.end(), [&](const auto& t) { return t->owner == owner; }),
               tables.end());
}

namespace direct {

KS_ExtHFT ExtHFTNew(int32_t entryCount) {
  if (entryCount < 0 || entryCount > 65536) return nullptr;
  auto t = std::make_unique<KS_ExtHFT__>();
  t->entries.assign(static_cast<size_t>(entryCount), nullptr);
  t->owner = Reg().currentOwner;
  Reg().tables.push_back(std::move(t));
  return Reg().tables.back().get();
}

int32_t ExtHFTSetEntry(KS_ExtHFT hft, int32_t index, void* f) {
  if (!Valid(hft) || index < 0 || static_cast<size_t>(index) >= hft->entries.size()) return 0;
  hft->entries[static_cast<size_t>(index)] = f;
  return 1;
}

// A name and version can be published once; a second table under the same
// pair is refused so that a finder never gets a table that may change.
int32_t ExtHFTPublish(const char* name, int32_t version, KS_ExtHFT hft) {
  if (!name || !*name || !Valid(hft) || hft->published) return 0;
  if (ExtHFTFind(name, version)) return 0;
  hft->name = name;
  hft->version = version;
  hft->published = true;
  return 1;
}

KS_ExtHFT ExtHFTFind(const char* name, int32_t version) {
  if (!name) return nullptr;
  for (const auto& t : Reg().tables)
    if (t->published && t->name == name && t->version == version) return t.get();
  return nullptr;
}

void* ExtHFTGetEntry(KS_ExtHFT hft, int32_t index) {
  if (!Valid(hft) || index < 0 || static_cast<size_t>(index) >= hft->entries.size()) return nullptr;
  return hft->entries[static_cast<size_t>(index)];
}

int32_t ExtHFTEntryCount(KS_ExtHFT hft) { return Valid(hft) ? static_cast<int32_t>(hft->entries.size()) : 0; }

}  // namespace direct
}  // namespace kshost
