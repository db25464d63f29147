#include "plugin/annot_tool_handler.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

CAnnot_ToolHandler* Self(void* cd) { return static_cast<CAnnot_ToolHandler*>(cd); }
int32_t Bool(bool b) { return b ? 1 : 0; }

// One trampoline per pointer position, forwarding to the named operation.
template <bool (CAnnot_ToolHandler::*Op)(KA_PageView, uint32_t, const KS_DevicePoint&)>
int32_t Pointer(void* cd, KA_PageView view, uint32_t flags, KS_DevicePoint pt) {
  return Bool((Self(cd)->*Op)(view, flags, pt));
}

template <bool (CAnnot_ToolHandler::*Op)(int32_t, uint32_t)>
int32_t Key(void* cd, int32_t key, uint32_t flags) {
  return Bool((Self(cd)->*Op)(key, flags));
}

// The host's own questions and notices, whose meaning the plug-in does
// not use: the answers every tool gives.
int32_t AnswersYes(void*, intptr_t, intptr_t) { return 1; }
int32_t AnswersNo(void*, intptr_t, intptr_t) { return 0; }
void IgnoresNotice(void*, intptr_t, intptr_t) {}

}  // namespace

CAnnot_ToolHandler::~CAnnot_ToolHandler() {
  if (!tool_) return;
  Host::AppUnregisterTool(tool_);
  if (hostObject_) Host::ObjectRelease(hostObject_);
  Host::ToolRelease(tool_);
}

void CAnnot_ToolHandler::OnRegistered() {
  Host::ToolSetCategory(tool_, u"Annotation");
  Host::ToolSetGroup(tool_, u"Annotation");
}

KS_ToolCallbacks CAnnot_ToolHandler::MakeRecord() {
  KS_ToolCallbacks r{};
  r.size = sizeof r;
  r.clientData = this;
  r.IsEnabled = [](void* cd) { return Bool(Self(cd)->IsEnabled()); };
  r.Notify = [](void* cd) -> int32_t {
    Self(cd)->OnNotify();
    return 1;
  };
  r.Activate = [](void* cd, int32_t persistent) { Self(cd)->OnActivate(persistent != 0); };
  r.Deactivate = [](void* cd) { Self(cd)->OnDeactivate(); };
  r.KeyDown = &Key<&CAnnot_ToolHandler::OnKeyDown>;
  r.KeyUp = &Key<&CAnnot_ToolHandler::OnKeyUp>;
  r.Char = &Key<&CAnnot_ToolHandler::OnChar>;
  r.Query9 = &AnswersYes;
  r.IsUsable = [](void* cd) { return Bool(Self(cd)->IsUsableNow()); };
  r.LButtonDown = &Pointer<&CAnnot_ToolHandler::OnLButtonDown>;
  r.LButtonUp = &Pointer<&CAnnot_ToolHandler::OnLButtonUp>;
  r.LButtonDblClk = &Pointer<&CAnnot_ToolHandler::OnLButtonDblClk>;
  r.MouseMove = &Pointer<&CAnnot_ToolHandler::OnMouseMove>;
  r.RButtonDown = &Pointer<&CAnnot_ToolHandler::OnRButtonDown>;
  r.RButtonUp = &Pointer<&CAnnot_ToolHandler::OnRButtonUp>;
  r.RButtonDblClk = &Pointer<&CAnnot_ToolHandler::OnRButtonDblClk>;
  r.MouseWheel = [](void* cd, KA_PageView view, uint32_t flags, int16_t delta, KS_DevicePoint pt) {
    return Bool(Self(cd)->OnMouseWheel(view, flags, delta, pt));
  };
  r.unused19 = nullptr;
  r.IsBusy = [](void* cd) { return Bool(Self(cd)->IsBusy()); };
  r.PointerEvent = [](void* cd, intptr_t value, KS_DevicePoint pt) {
    return Bool(Self(cd)->OnPointerEvent(value, pt));
  };
  r.Query22 = [](void*) -> int32_t { return 0; };
  r.Paint = [](void* cd, KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) {
    Self(cd)->OnPaint(view, device, value, flags);
  };
  r.Query24 = &AnswersYes;
  r.Query25 = &AnswersNo;
  r.Query26 = &AnswersNo;
  r.Notify27 = &IgnoresNotice;
  r.Notify28 = &IgnoresNotice;
  r.Query29 = &AnswersNo;
  r.Query30 = &AnswersNo;
  r.GetAnchor = [](void* cd, KS_DevicePoint* out) -> int32_t {
    if (!out) return 0;
    KS_DevicePoint pt = *out;
    if (!Self(cd)->GetAnchor(pt)) return 0;
    *out = pt;
    return 1;
  };
  return r;
}

KA_Tool CAnnot_ToolHandler::Register() {
  if (tool_) return tool_;
  const KS_ToolCallbacks record = MakeRecord();  // the host copies it
  KA_Tool made = Host::ToolNew(GetName().c_str(), &record);
  if (!made) return nullptr;
  tool_ = made;
  Host::AppRegisterTool(tool_);
  OnRegistered();
  return tool_;
}

bool CAnnot_ToolHandler::CurrentDocumentAllowsAnnotEdits() {
  KA_Document doc = Host::AppGetCurrentDocument();
  if (!doc) return false;
  if (Host::AppDocIsReadOnly(doc) == 1) return false;
  return (Host::AppDocGetPermissions(doc) & KPD_PERM_MODIFY_ANNOTS) != 0;
}

}  // namespace AnnotationPlugin
