// Annotation behaviour, selection, drawing devices and undo groups of the
// editor. Placeholders until the interactive editor lands: every function
// answers "nothing there".
#include "host/host_functions.h"

namespace kshost::fn {

KA_Pen PenNew(KS_ColorRef, int32_t, int32_t) { return nullptr; }
void PenRelease(KA_Pen) {}
KA_Brush BrushNew(KS_ColorRef, int32_t) { return nullptr; }
void BrushRelease(KA_Brush) {}
KA_Pen DeviceSelectPen(KA_Device, KA_Pen) { return nullptr; }
KA_Brush DeviceSelectBrush(KA_Device, KA_Brush) { return nullptr; }
int32_t DeviceRectangle(KA_Device, const KS_DeviceRect*) { return 0; }
int32_t DeviceLine(KA_Device, KS_DevicePoint, KS_DevicePoint) { return 0; }
int32_t DevicePolyline(KA_Device, const KS_DevicePoint*, int32_t, int32_t) { return 0; }

int32_t AppDocSelectionCount(KA_Document) { return 0; }
KA_Annot AppDocGetSelected(KA_Document, int32_t) { return nullptr; }
int32_t AppDocIsSelected(KA_Document, KA_Annot) { return 0; }
int32_t AppDocSelect(KA_Document, KA_Annot, int32_t) { return 0; }
int32_t AppDocDeselectAll(KA_Document) { return 0; }
KA_Annot AppDocGetFocusedAnnot(KA_Document) { return nullptr; }
int32_t AppDocSetFocusedAnnot(KA_Document, KA_Annot) { return 0; }
int32_t AppDocInvalidateRect(KA_Document, int32_t, const KS_FloatRect*) { return 0; }

int32_t PageViewPageRectToDevice(KA_PageView, const KS_FloatRect*, KS_DeviceRect*) { return 0; }
int32_t PageViewDeviceRectToPage(KA_PageView, const KS_DeviceRect*, KS_FloatRect*) { return 0; }

int32_t UndoBeginGroup(KA_Document, const char16_t*) { return 0; }
int32_t UndoEndGroup(KA_Document) { return 0; }

intptr_t AnnotHandlerDefault(KA_AnnotHandler, int32_t, const KS_AnnotCallArgs*) { return 0; }
KA_AnnotObject AnnotObjectNew(KA_AnnotHandler, const KS_AnnotObjectCallbacks*, KA_Annot, intptr_t) {
  return nullptr;
}
KA_Annot AnnotObjectGetAnnot(KA_AnnotObject) { return nullptr; }
int32_t AnnotObjectAppearanceChanged(KA_AnnotObject) { return 0; }
intptr_t AnnotObjectForward(KA_AnnotObject, intptr_t, intptr_t) { return 0; }

KA_Annot AnnotFromDict(KA_Document, KPD_Dictionary) { return nullptr; }
KPD_Dictionary AnnotGetDict(KA_Annot) { return nullptr; }
KA_Document AnnotGetDocument(KA_Annot) { return nullptr; }
int32_t AnnotGetPageIndex(KA_Annot) { return -1; }
int32_t AnnotGetRect(KA_Annot, KS_FloatRect*) { return 0; }
uint32_t AnnotGetFlags(KA_Annot) { return 0; }
KA_AnnotObject AnnotGetObject(KA_Annot) { return nullptr; }
int32_t AnnotGetTypeName(KA_Annot, KS_ByteString) { return 0; }
int32_t AnnotDrawAppearance(KA_Annot, KA_PageView, KA_Device) { return 0; }

int32_t PropertyPanelRefresh() { return 0; }

uint32_t ColorFromRef(KS_ColorRef color, int32_t alpha) {
  uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  return (static_cast<uint32_t>(alpha & 0xFF) << 24) | (r << 16) | (g << 8) | b;
}
int32_t ColorSplit(uint32_t argb, int32_t* a, int32_t* r, int32_t* g, int32_t* b) {
  if (!a || !r || !g || !b) return 0;
  *a = (argb >> 24) & 0xFF;
  *r = (argb >> 16) & 0xFF;
  *g = (argb >> 8) & 0xFF;
  *b = argb & 0xFF;
  return 1;
}

int32_t SnapIsEnabled() { return 0; }

}  // namespace kshost::fn
