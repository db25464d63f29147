// Documents open in the editor (selector 26, rows 0 to 7): their PDF, access,
// undo depth and the receivers of their events. Selection and focus (rows 8
// on) are with the annotation functions.
#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {

KPD_Document AppDocGetPdfDocument(KA_Document doc) { return doc ? doc->pdf : nullptr; }
int32_t AppDocIsReadOnly(KA_Document doc) { return doc && doc->readOnly; }
uint32_t AppDocGetPermissions(KA_Document doc) { return doc ? DocGetPermissions(doc->pdf) : 0; }
int32_t AppDocRegisterEvents(const KS_DocEventCallbacks* record) {
  return Editor::Get().RegisterDocEvents(record) ? 1 : 0;
}
int32_t AppDocUnregisterEvents(const KS_DocEventCallbacks* record) {
  return Editor::Get().UnregisterDocEvents(record) ? 1 : 0;
}
KA_Document AppDocFromPdfDocument(KPD_Document pdf) { return Editor::Get().FindDocument(pdf); }
int32_t AppDocUndoCount(KA_Document doc) {
  return Editor::Get().IsLiveDocument(doc) ? static_cast<int32_t>(doc->undo.UndoCount()) : 0;
}
int32_t AppDocRedoCount(KA_Document doc) {
  return Editor::Get().IsLiveDocument(doc) ? static_cast<int32_t>(doc->undo.RedoCount()) : 0;
}

}  // namespace kshost::direct
