#include "plugin/annot_undo.h"

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

namespace {

void UndoItem(void* cd) {
  if (cd) static_cast<CAnnot_BaseUndo*>(cd)->Undo();
}
void RedoItem(void* cd) {
  if (cd) static_cast<CAnnot_BaseUndo*>(cd)->Redo();
}
void ReleaseItem(void* cd) { delete static_cast<CAnnot_BaseUndo*>(cd); }

}  // namespace

bool AnnotUndo_HandOver(std::unique_ptr<CAnnot_BaseUndo> item, KA_Document doc) {
  if (!item) return false;
  if (!Host::Lookup(KS_SEL_APPSERVICES, 0)) return false;  // `item` dies here
  KS_UndoRecord record{};
  record.size = sizeof(KS_UndoRecord);
  record.Undo = &UndoItem;
  record.Redo = &RedoItem;
  record.Release = &ReleaseItem;
  std::u16string caption = item->GetCaption();
  record.clientData = item.release();
  return Host::UndoAddItem(caption.c_str(), doc, 0, &record) != 0;
}

}  // namespace AnnotationPlugin
