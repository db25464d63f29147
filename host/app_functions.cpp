// Application facts (selector 20) and module records (selector 21).
#include <pwd.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/editor.h"
#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/strings.h"
#include "host/utf.h"

// A plug-in's handle for one library instance. Get() counts references so a
// plug-in that asks twice and releases twice leaves nothing behind.
struct KA_ModuleRecord__ {
  void* instance = nullptr;
  int references = 0;
};

namespace kshost {
namespace {

struct ModuleRecords {
  std::mutex mutex;
  std::map<void*, std::unique_ptr<KA_ModuleRecord__>> byInstance;

  // The record behind `record` if it is one of ours; a stale or foreign
  // pointer is ignored rather than dereferenced.
  KA_ModuleRecord__* Find(KA_ModuleRecord record) {
    if (!record) return nullptr;
    for (auto& [instance, owned] : byInstance)
      if (owned.get() == record) return owned.get();
    return nullptr;
  }
};

ModuleRecords& Records() {
  static ModuleRecords records;
  return records;
}

int32_t PutFolder(KS_WideString out, const std::string& folder) {
  return SetText(out, ToUtf16(folder)) ? 1 : 0;
}

}  // namespace
}  // namespace kshost

// ---- 20: application --------------------------------------------------------

int32_t kshost::direct::AppGetUILanguage(KS_WideString out) { return SetText(out, ToUtf16(Env().uiLanguage())) ? 1 : 0; }

int32_t kshost::direct::AppGetAppFolder(KS_WideString out) { return PutFolder(out, Env().appFolder()); }

int32_t kshost::direct::AppGetAppDataFolder(KS_WideString out) { return PutFolder(out, Env().appDataFolder()); }

int32_t kshost::direct::AppGetUserFolder(KS_WideString out) { return PutFolder(out, Env().userFolder()); }

int32_t kshost::direct::AppGetHostNumber(void) { return Env().hostNumber(); }

int32_t kshost::direct::AppGetUiFolder(KS_WideString out) { return PutFolder(out, Env().uiFolder()); }

int32_t kshost::direct::AppGetUserName(KS_WideString out) {
  if (auto name = Env().prefText(u"Identity", u"Name");
      name && name->find_first_not_of(u" \t") != std::u16string::npos)
    return SetText(out, *name) ? 1 : 0;
  // The account's name, not $USER, which any caller can set to anything.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
      *found->pw_name)
    return SetText(out, ToUtf16(found->pw_name)) ? 1 : 0;
  return 0;
}

KA_Document kshost::direct::AppGetCurrentDocument() { return Editor::Get().CurrentDocument(); }

int32_t kshost::direct::AppAnnounceModule(const char* name, int32_t enabled) {
  if (!name || !*name) return 0;
  Editor::Get().AnnounceModule(name, enabled != 0);
  return 1;
}

// ---- 21: module records -----------------------------------------------------

KA_ModuleRecord kshost::direct::ModuleRecordGet(void* instance) {
  if (!instance) return nullptr;
  auto& records = Records();
  std::lock_guard lock(records.mutex);
  auto& slot = records.byInstance[instance];
  if (!slot) {
    slot = std::make_unique<KA_ModuleRecord__>();
    slot->instance = instance;
  }
  ++slot->references;
  return slot.get();
}

// The number sets up a windowed host's module state; this host has none, so
// it is taken and not kept.
void kshost::direct::ModuleRecordApplyNumber(KA_ModuleRecord, int32_t) {}

void kshost::direct::ModuleRecordRelease(KA_ModuleRecord record) {
  auto& records = Records();
  std::lock_guard lock(records.mutex);
  auto* found = records.Find(record);
  if (found && --found->references == 0) records.byInstance.erase(found->instance);
}
