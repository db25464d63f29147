#include "plugin/plugin_entry.h"

#include <string>
#include <vector>

#include "plugin/annotation_app.h"
#include "plugin/host_binding.h"
#include "plugin/kw_provider_impl.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {
namespace {

// The names of the toolsets whose visible flag is set, in list order; the
// positions of this list are the indexes extension entry 0 accepts.
std::vector<std::u16string> VisibleToolsetTitles() {
  IAnnot_ToolsetAccess* access = TheApp().ToolsetAccess();
  return access ? access->VisibleTitles() : std::vector<std::u16string>{};
}

void NoFrameEvent(KA_Frame) {}

template <void (IAnnot_Module::*Event)(KA_Frame)>
void ForEachEnabledModule(KA_Frame frame) {
  for (auto& m : TheApp().Modules())
    if (m->IsEnabled()) ((*m).*Event)(frame);
}

}  // namespace

int32_t PluginMain(uint32_t* version, KS_HandshakeProc* handshake) {
  if (version) *version = KS_INTERFACE_VERSION;
  if (handshake) *handshake = &Handshake;
  return 1;
}

int32_t Handshake(uint32_t version, KS_HandshakeRecord* record) {
  if (version != KS_INTERFACE_VERSION || !record) return 0;
  KS_CoreHFT core = record->GetCoreHFT(record);
  KS_PluginID id = record->GetPluginID(record);
  Host::Bind(core, id);
  record->SetRegistrationProc(record, &Registration);
  record->SetValue32(record, kHandshakeValue);
  record->SetVersionString(record, kSdkVersion);
  return 1;
}

int32_t Registration(uint32_t version, KS_RegistrationRecord* record) {
  if (version != KS_INTERFACE_VERSION || !record) return 0;
  record->SetNames(record, kInternalName, kDisplayName);
  record->SetExportProc(record, &OnExport);
  record->SetImportProc(record, &OnImport);
  record->SetInitProc(record, &OnInit);
  // The host copies the record, so it may live on the stack.
  KS_FrameEventRecord events{};
  events.size = sizeof events;
  for (int i = 0; i < 6; ++i) events.callbacks[i] = &NoFrameEvent;
  events.callbacks[KS_FRAME_EVENT_CREATED - 1] = &OnFrameCreated;
  events.callbacks[6] = nullptr;
  events.callbacks[KS_FRAME_EVENT_CLOSING - 1] = &OnFrameClosing;
  events.callbacks[8] = nullptr;
  record->SetFrameEvents(record, &events);
  record->SetUnloadProc(record, &OnUnload);
  return 1;
}

int32_t OnExport() {
  KS_ExtHFT table = Host::ExtHFTNew(2);
  if (!table) return 1;
  Host::ExtHFTSetEntry(table, 0, reinterpret_cast<void*>(&ExtAddSelectionToToolset));
  Host::ExtHFTSetEntry(table, 1, reinterpret_cast<void*>(&ExtListToolsets));
  Host::ExtHFTPublish(kExtensionTableName, kExtensionTableVersion, table);
  return 1;
}

int32_t OnImport() { return 1; }

int32_t OnInit() {
  CAnnotationApp& app = TheApp();
  {
    Host::WideString language;
    Host::ModuleRecordApplyNumber(app.HostAppRecord(), Host::AppGetHostNumber());
    Host::AppGetUILanguage(language.get());
    std::u16string code = language.str();
    Widgets::SetCurrentLanguage(code);
    Widgets::LoadStrings("Annotation");
    Widgets::LoadStrings("PageOrganizer");
  }
  for (ModuleFactory make : ModuleFactories())
    if (auto module = make()) app.Modules().push_back(std::move(module));
  for (auto& m : app.Modules())
    if (m->IsEnabled()) m->Init();
  RegisterProvider();
  // Support tools list what is installed; the host keeps the module names.
  for (auto& m : app.Modules()) Host::AppAnnounceModule(m->GetName().c_str(), m->IsEnabled() ? 1 : 0);
  return 1;
}

int32_t OnUnload() {
  CAnnotationApp& app = TheApp();
  ReleaseProvider();
  for (auto& m : app.Modules())
    if (m->IsEnabled()) m->Exit();
  // Destroy in list order, not the vector's.
  for (auto& m : app.Modules()) m.reset();
  app.Modules().clear();
  return 1;
}

void OnFrameCreated(KA_Frame frame) { ForEachEnabledModule<&IAnnot_Module::OnMainFrameCreated>(frame); }

void OnFrameClosing(KA_Frame frame) { ForEachEnabledModule<&IAnnot_Module::OnMainFrameClosing>(frame); }

int32_t ExtAddSelectionToToolset(int32_t index, KPD_Page page) {
  IAnnot_ToolsetAccess* access = TheApp().ToolsetAccess();
  if (!access || index < 0 || !page) return 0;
  // Another plug-in calls this: nothing may escape the table boundary.
  try {
    return access->AddSelection(index, page) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int32_t ExtListToolsets(KS_WideStringArray names) {
  if (!names) return 0;
  std::vector<std::u16string> titles;
  try {
    titles = VisibleToolsetTitles();
  } catch (...) {
    return 0;
  }
  for (const std::u16string& title : titles) {
    KS_WideString s = Host::WideStringNew(title.data(), title.size());
    Host::WideStringArrayAppend(names, s);
    Host::WideStringDestroy(s);
  }
  return 1;
}

}  // namespace AnnotationPlugin
