#include "plugin/annot_event_providers.h"

namespace AnnotationPlugin {
namespace {

CAnnot_DoceventProvider* Self(void* cd) { return static_cast<CAnnot_DoceventProvider*>(cd); }

template <void (CAnnot_DoceventProvider::*Op)(KA_Document)>
void Forward(void* cd, KA_Document doc) {
  (Self(cd)->*Op)(doc);
}

void Put(KS_DocEventCallbacks& r, int position, void* fn) { KS_RECORD_POSITION(r, position) = fn; }

}  // namespace

KS_DocEventCallbacks MakeDocEventRecord(CAnnot_DoceventProvider* receiver) {
  KS_DocEventCallbacks r{};
  r.size = sizeof r;
  r.clientData = receiver;
  Put(r, KS_DOCEVENT_OPENED, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocOpened>));
  Put(r, KS_DOCEVENT_WILL_CLOSE, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocWillClose>));
  Put(r, KS_DOCEVENT_CLOSED, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocClosed>));
  Put(r, KS_DOCEVENT_WILL_SAVE, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocWillSave>));
  Put(r, KS_DOCEVENT_SAVED, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocSaved>));
  Put(r, KS_DOCEVENT_ACTIVATED, reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnDocActivated>));
  Put(r, KS_DOCEVENT_SELECTION_CHANGED,
      reinterpret_cast<void*>(&Forward<&CAnnot_DoceventProvider::OnSelectionChanged>));
  KS_DocPageEventProc page = [](void* cd, KA_Document doc, int32_t index) { Self(cd)->OnPageChanged(doc, index); };
  Put(r, KS_DOCEVENT_PAGE_CHANGED, reinterpret_cast<void*>(page));
  KS_DocQueryProc canClose = [](void* cd, KA_Document doc) -> int32_t { return Self(cd)->OnDocCanClose(doc) ? 1 : 0; };
  Put(r, KS_DOCEVENT_CAN_CLOSE, reinterpret_cast<void*>(canClose));
  return r;
}

}  // namespace AnnotationPlugin
