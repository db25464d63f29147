#include "host/plugin_loader.h"

#include <dlfcn.h>

#include <cstring>

#include "host/core_hft.h"
#include "host/ext_hft.h"

struct KA_Frame__ {
  int id = 1;
};

namespace kshost {
namespace {

KA_Frame__ g_mainFrame;

}  // namespace

class LoadedPlugin {
 public:
  PluginInfo info;
  void* library = nullptr;
  KS_RegistrationProc registration = nullptr;
  KS_BoolProc exportProc = nullptr;
  KS_BoolProc importProc = nullptr;
  KS_BoolProc initProc = nullptr;
  KS_BoolProc unloadProc = nullptr;
  KS_FrameEventRecord frameEvents{};
  bool hasFrameEvents = false;

  KS_PluginID Id() { return reinterpret_cast<KS_PluginID>(this); }

  void FrameEvent(int position) {
    if (!hasFrameEvents || frameEvents.size < sizeof(uint64_t) + position * sizeof(void*)) return;
    if (KS_FrameEventProc cb = frameEvents.callbacks[position - 1]) cb(&g_mainFrame);
  }

  bool CallBool(KS_BoolProc proc) {
    if (!proc) return false;
    SetTableOwner(this);
    bool ok = proc() != 0;
    SetTableOwner(nullptr);
    return ok;
  }

  ~LoadedPlugin() {
    WithdrawTables(this);
    if (library) dlclose(library);
  }
};

namespace {

LoadedPlugin* Self(void* hostData) { return static_cast<LoadedPlugin*>(hostData); }

// Handshake record operations.
void HsSetRegistration(KS_HandshakeRecord* r, KS_RegistrationProc proc) { Self(r->hostData)->registration = proc; }
KS_CoreHFT HsGetCore(KS_HandshakeRecord*) { return CoreHFT(); }
KS_PluginID HsGetId(KS_HandshakeRecord* r) { return Self(r->hostData)->Id(); }
void HsSetValue32(KS_HandshakeRecord* r, uint32_t v) { Self(r->hostData)->info.value32 = v; }
void HsSetVersion(KS_HandshakeRecord* r, const char* v) { Self(r->hostData)->info.versionString = v ? v : ""; }

// Registration record operations.
void RgSetNames(KS_RegistrationRecord* r, const char* internal, const char16_t* display) {
  LoadedPlugin* p = Self(r->hostData);
  p->info.internalName = internal ? internal : "";
  p->info.displayName = display ? display : u"";
}
void RgSetExport(KS_RegistrationRecord* r, KS_BoolProc proc) { Self(r->hostData)->exportProc = proc; }
void RgSetImport(KS_RegistrationRecord* r, KS_BoolProc proc) { Self(r->hostData)->importProc = proc; }
void RgSetInit(KS_RegistrationRecord* r, KS_BoolProc proc) { Self(r->hostData)->initProc = proc; }
void RgSetUnload(KS_RegistrationRecord* r, KS_BoolProc proc) { Self(r->hostData)->unloadProc = proc; }
// The plug-in fills the frame event record on its stack; keep a copy, no
// larger than our own layout.
void RgSetFrameEvents(KS_RegistrationRecord* r, const KS_FrameEventRecord* events) {
  LoadedPlugin* p = Self(r->hostData);
  if (!events || events->size < sizeof(uint64_t)) return;
  p->frameEvents = KS_FrameEventRecord{};
  size_t n = events->size < sizeof(KS_FrameEventRecord) ? events->size : sizeof(KS_FrameEventRecord);
  std::memcpy(&p->frameEvents, events, n);
  p->frameEvents.size = n;
  p->hasFrameEvents = true;
}

}  // namespace

PluginLoader::PluginLoader() = default;

PluginLoader::~PluginLoader() { ShutDown(); }

bool PluginLoader::Load(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot load plug-in " + path + ": " + why;
    return false;
  };
  auto plugin = std::make_unique<LoadedPlugin>();
  plugin->info.path = path;
  plugin->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!plugin->library) {
    const char* why = dlerror();
    return fail(why ? why : "dlopen failed");
  }
  auto main = reinterpret_cast<KS_PlugInMainProc>(dlsym(plugin->library, "PlugInMain"));
  if (!main) return fail("it exports no PlugInMain");
  if (auto sdk = reinterpret_cast<KS_SDKVersionProc>(dlsym(plugin->library, "VenkoGetPluginSDKVersion"))) {
    const char* v = sdk();
    plugin->info.sdkVersion = v ? v : "";
  }

  uint32_t version = 0;
  KS_HandshakeProc handshake = nullptr;
  if (!main(&version, &handshake) || !handshake) return fail("PlugInMain failed");
  plugin->info.interfaceVersion = version;
  if (version != KS_INTERFACE_VERSION) return fail("unsupported interface version");

  KS_HandshakeRecord hs{};
  hs.size = sizeof hs;
  hs.hostData = plugin.get();
  hs.SetRegistrationProc = &HsSetRegistration;
  hs.GetCoreHFT = &HsGetCore;
  hs.GetPluginID = &HsGetId;
  hs.SetValue32 = &HsSetValue32;
  hs.SetVersionString = &HsSetVersion;
  if (!handshake(KS_INTERFACE_VERSION, &hs)) return fail("the handshake was refused");
  if (!plugin->registration) return fail("no registration callback");

  KS_RegistrationRecord rg{};
  rg.size = sizeof rg;
  rg.hostData = plugin.get();
  rg.SetNames = &RgSetNames;
  rg.SetExportProc = &RgSetExport;
  rg.SetImportProc = &RgSetImport;
  rg.SetInitProc = &RgSetInit;
  rg.SetFrameEvents = &RgSetFrameEvents;
  rg.SetUnloadProc = &RgSetUnload;
  if (!plugin->registration(KS_INTERFACE_VERSION, &rg)) return fail("the registration was refused");

  plugins_.push_back(std::move(plugin));
  return true;
}

void PluginLoader::StartUp() {
  if (started_) return;
  started_ = true;
  for (auto& p : plugins_) p->CallBool(p->exportProc);
  for (auto& p : plugins_) p->CallBool(p->importProc);
  for (auto& p : plugins_) p->info.initialised = p->CallBool(p->initProc);
  for (auto& p : plugins_) p->FrameEvent(KS_FRAME_EVENT_CREATED);
}

void PluginLoader::ShutDown() {
  if (started_) {
    for (auto& p : plugins_) p->FrameEvent(KS_FRAME_EVENT_CLOSING);
    for (auto& p : plugins_) p->CallBool(p->unloadProc);
    started_ = false;
  }
  // Later plug-ins may hold tables of earlier ones: close in reverse order.
  while (!plugins_.empty()) plugins_.pop_back();
}

std::vector<PluginInfo> PluginLoader::Plugins() const {
  std::vector<PluginInfo> out;
  for (const auto& p : plugins_) out.push_back(p->info);
  return out;
}

KA_Frame PluginLoader::MainFrame() const { return &g_mainFrame; }

}  // namespace kshost
