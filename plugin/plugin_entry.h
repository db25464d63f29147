// Entry and start-up: the callbacks the host calls from loading the library
// to unloading it, and the extension table published for other plug-ins.
#pragma once

#include "sdk/ks_records.h"

namespace AnnotationPlugin {

inline constexpr char kSdkVersion[] = "2026.2.0";
inline constexpr char kInternalName[] = "VenkoInnerPluginAnnotation";
inline constexpr char16_t kDisplayName[] = u"Annotation";
inline constexpr char kExtensionTableName[] = "VenkoAnnot extension HFT";
inline constexpr int kExtensionTableVersion = 1;
inline constexpr uint32_t kHandshakeValue = 0x0B000000u;

// PlugInMain's work: the interface version and the handshake function.
int32_t PluginMain(uint32_t* version, KS_HandshakeProc* handshake);

int32_t Handshake(uint32_t version, KS_HandshakeRecord* record);
int32_t Registration(uint32_t version, KS_RegistrationRecord* record);
int32_t OnExport();
int32_t OnImport();
int32_t OnInit();
int32_t OnUnload();
void OnFrameCreated(KA_Frame frame);
void OnFrameClosing(KA_Frame frame);

// Extension table entry 0: add the selection of the page's document to the
// visible toolset at `index` as new tools.
int32_t ExtAddSelectionToToolset(int32_t index, KPD_Page page);
// Extension table entry 1: append the titles of the visible toolsets.
int32_t ExtListToolsets(KS_WideStringArray names);

}  // namespace AnnotationPlugin
