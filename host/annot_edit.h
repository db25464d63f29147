// The editor's own editing of an annotation's geometry: what the default
// handler service does for move, resize, vertex moves, rotation and handle
// finding. A change writes the geometry keys of the dictionary, then asks
// the annotation's behaviour object to rebuild the appearance when it has
// one; without one the appearance follows /Rect.
#pragma once

#include <functional>
#include <string>

#include "host/editor.h"

namespace kshost {

// Runs an edit the editor makes itself and records it for undo when it
// changed the annotation (editor_annots.cpp); `captionKey` names the undo
// caption in the editor's string table.
bool EditAlone(KA_Annot annot, const char* captionKey, const std::function<bool()>& change);

// The callback a handler's record holds at position `n`, or null.
template <class Proc>
Proc HandlerPosition(KA_AnnotHandler handler, int n) {
  return handler ? reinterpret_cast<Proc>(KS_RECORD_POSITION(handler->callbacks, n)) : nullptr;
}

// True when the annotations of the document may be changed: it is not
// read-only and its permissions allow it (editor_annots.cpp).
bool AnnotationsWritable(KA_Document doc);

}  // namespace kshost

namespace kshost::edit {

// The device rectangle of a page rectangle: the bounding box of its four
// transformed corners, rounded to whole pixels; and back.
bool PageRectToDevice(KA_PageView view, const KS_FloatRect& rect, KS_DeviceRect* out);
bool DeviceRectToPage(KA_PageView view, const KS_DeviceRect& rect, KS_FloatRect* out);

// True when the annotation is on a page of a document that may be changed.
bool MayEdit(KA_Annot annot);

// Asks the behaviour object to rebuild the appearance; false when it has no
// such operation or the rebuild failed.
bool Regenerate(KA_Annot annot);
bool CanRegenerate(KA_Annot annot);

// Each returns false and changes nothing when the annotation may not be
// edited or the arguments make no sense.
// Moves every geometry key by the displacement between the centres of the
// two device rectangles, taken in page space.
bool Move(KA_Annot annot, KA_PageView view, const KS_DeviceRect& from, const KS_DeviceRect& to);
// Moves every geometry key by (dx, dy) in page space.
bool MoveBy(KA_Annot annot, double dx, double dy);
// Maps the old rectangle onto the new one (scale, then translate).
bool Resize(KA_Annot annot, KA_PageView view, const KS_DeviceRect& from, const KS_DeviceRect& to);
// The same in page space: every geometry key mapped from `from` onto `to`.
bool MapRect(KA_Annot annot, const KS_FloatRect& from, const KS_FloatRect& to);
// Puts vertex `index` (end points of /L, pairs of /Vertices) at a device
// point; refused when the appearance cannot be rebuilt.
bool MovePoint(KA_Annot annot, KA_PageView view, int index, KS_DevicePoint pt);
// Puts vertex `index` at a page point.
bool MovePointTo(KA_Annot annot, int index, KS_FloatPoint p);
// Turns the annotation `degrees` counter-clockwise about the centre of its
// /Rect and adds the angle to the stored rotation.
bool Rotate(KA_Annot annot, int degrees);
// The handle (KS_HANDLE_*) of the annotation at a device point, given the
// annotation's device rectangle.
int HandleAt(KA_Annot annot, KA_PageView view, const KS_DeviceRect& rect, KS_DevicePoint pt);

// Where `rect` goes to lie inside `box` kept `margin` in from its sides
// (when `box` has room for that): moved in as little as it takes, and first
// made smaller about its lower left corner, keeping its proportions, when it
// is wider or taller than that. A rectangle inside already comes back as
// it is.
KS_FloatRect FitInside(const KS_FloatRect& rect, const KS_FloatRect& box, float margin);

// The rectangle a drag of `handle` by (dx, dy) makes of `rect`.
KS_DeviceRect DraggedRect(const KS_DeviceRect& rect, int handle, int dx, int dy);

// An angle brought into -180..180.
int NormalizeAngle(int degrees);

// The editor's readers of dictionary values, shared by all its parts.
// The name `object` holds, without its slash; empty for anything else.
std::string NameText(KPD_Object object);
// The annotation's /Subtype without its slash ("Line"); empty without one.
std::string Subtype(KA_Annot annot);
// The text string under `key` as UTF-16; empty when missing or no string.
std::u16string TextOf(KPD_Dictionary dict, const char* key);

}  // namespace kshost::edit
