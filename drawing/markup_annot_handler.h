// The editing base of the annotation types the plug-in owns: one handler per
// type, registered with the host, and one behaviour object per annotation,
// made when the host first asks about it. A process-wide registry maps the
// host's behaviour objects to the plug-in's objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sdk/ks_records.h"
#include "sdk/ks_types.h"

namespace kwannotation {
class CKW_Annot;
}

namespace AnnotationPlugin {

// The handler's two auxiliary objects; nothing lives in them yet.
struct MarkupAux {};

class CMarkup_Annot {
 public:
  explicit CMarkup_Annot(KA_Annot annot) : annot_(annot) {}
  CMarkup_Annot(const CMarkup_Annot&) = delete;
  CMarkup_Annot& operator=(const CMarkup_Annot&) = delete;

  virtual ~CMarkup_Annot() = default;                                   // 0
  virtual std::string GetTypeName() const { return {}; }               // 1
  virtual std::string GetTypeName2() const { return {}; }              // 2
  // Rebuilds the appearance after an edit.
  virtual void Regenerate() {}                                          // 3
  virtual intptr_t Forward(intptr_t a, intptr_t b);                     // 4
  // Where captions and pop-ups anchor; the base takes the rectangle's centre.
  virtual bool GetAnchor(KS_FloatPoint* out) const;                     // 5
  // Slots 6, 7, 9 and 23, the editor's own notice and questions about the
  // object, have no operation: the object record answers them with 0.
  virtual bool GetCenter(KS_FloatPoint* out) const;                     // 8
  virtual void SetBoolProperty(bool value) {}                           // 10
  virtual bool GetBoolProperty(bool* value) const { return false; }    // 11
  virtual uint32_t GetFlags() const;                                    // 13
  virtual bool IsReadOnly() const { return (GetFlags() & 64u) != 0; }  // 14
  // Interior colour as a Windows colour value; `none` removes it.
  virtual void SetInteriorColor(KS_ColorRef color, bool none) {}        // 15
  virtual bool GetInteriorColor(KS_ColorRef* color, bool* none) const { return false; }  // 16
  virtual bool GetLineEndings(int32_t* start, int32_t* end) const { return false; }      // 17
  virtual bool SetLineEndings(int32_t start, int32_t end) { return false; }              // 18
  virtual bool GetOpacity(float* opacity) const { return false; }                        // 19
  virtual bool SetOpacity(float opacity) { return false; }                               // 20
  virtual int32_t GetShapeId() const { return 0; }                      // 21
  virtual int32_t GetShapeGroup() const { return 0; }                   // 22
  virtual bool ShowsTextInLine() const { return false; }               // 24
  virtual bool ShowsTextAboveLine() const { return false; }            // 26
  // The preference section that holds the defaults of the annotation's kind.
  virtual std::u16string GetPrefSection() { return {}; }               // 28
  virtual bool RefreshFromPrefs() { return false; }                    // 29
  // Moves the geometry point nearest to `pt` (page space) onto it.
  virtual bool SetPoint(const KS_FloatPoint& pt) { return false; }      // 31
  // The points of the geometry that a dragged annotation snaps with (line
  // end points, vertices), in page space; none by default.
  virtual std::vector<KS_FloatPoint> GetSnapPoints() const { return {}; }
  // The kind's default properties in the section of slot 28: written from
  // this annotation, or read and given to it.
  virtual bool WriteDefaultProperties() { return false; }
  virtual bool ReadDefaultProperties() { return false; }
  // Sets one property a person chose in the properties panel through the
  // annotation's own setters; false when the annotation has no such
  // property or already has that value. The caller records the undo item.
  virtual bool SetProperty(const KS_AnnotPropertyValue& value) { return false; }
  // The annotation now lies on another page: what the object keeps of its
  // page (the library's list of the page's annotations) is taken afresh.
  virtual void PageChanged() {}

  KA_AnnotObject GetObject() const { return object_; }   // field 1
  void SetObject(KA_AnnotObject object) { object_ = object; }
  KA_Annot GetAnnot() const { return annot_; }           // field 2
  KA_Document GetDocument() const;
  // The library's object of the annotation: every key the handler writes
  // goes through its setters, which keep dependent keys in step (a colour
  // also goes into /DS). Null when the annotation lies on no page.
  virtual std::shared_ptr<kwannotation::CKW_Annot> GetModel() const;

  // The annotation's turn in degrees, -180 to 180: "Rotate" for stamps,
  // "Rotation" otherwise, 0 when missing.
  int32_t GetRotation() const;
  bool SetRotation(int32_t degrees);
  // The four corners of the rectangle turned by the rotation about its
  // centre; false without a rectangle.
  bool GetRotatedFrame(KS_FloatPoint corners[4]) const;
  // The annotation rectangle, grown to hold the rotated frame when asked.
  bool GetRect(bool rotatedFrame, KS_FloatRect* out) const;

 private:
  KA_AnnotObject object_ = nullptr;
  KA_Annot annot_ = nullptr;
};

// Behaviour object -> plug-in object, for the whole process.
class CMarkup_AnnotRegistry {
 public:
  static CMarkup_AnnotRegistry& Get();
  void Insert(KA_AnnotObject object, CMarkup_Annot* annot);
  void Remove(KA_AnnotObject object);
  // The plug-in object registered for `object`, or null.
  CMarkup_Annot* Find(KA_AnnotObject object) const;
  // The behaviour object of `annot`: its own when set, else that of the
  // first entry wrapping the same host annotation, else null.
  KA_AnnotObject FindObject(const CMarkup_Annot* annot) const;
  size_t Count() const { return map_.size(); }

 private:
  std::unordered_map<KA_AnnotObject, CMarkup_Annot*> map_;
};

class CMarkup_AnnotHandler {
 public:
  CMarkup_AnnotHandler() = default;
  CMarkup_AnnotHandler(const CMarkup_AnnotHandler&) = delete;
  CMarkup_AnnotHandler& operator=(const CMarkup_AnnotHandler&) = delete;
  // Unregisters the host handler.
  virtual ~CMarkup_AnnotHandler();

  // Registers the handler for annotations of `type` ("Line"); the handle
  // already held when there is one. Null when the host refuses.
  KA_AnnotHandler Register(const char* type);
  KA_AnnotHandler GetHandle() const { return handle_; }
  const KS_AnnotHandlerCallbacks& GetRecord() const { return record_; }

  // Handler slots. A base slot either answers a fixed value or passes the
  // call to the host's own handling (AnnotHandlerDefault). The editor's own
  // questions about texts (slots 3 and 4), its requests for texts (5, 6
  // and 38) and its notices with values (41, 42) have no operation: the
  // record answers them with no and empty text.
  virtual bool IsSelectable(CMarkup_Annot* obj);                                   // 1
  // Whether the handler edits annotations for the tool named `toolName`.
  virtual bool AcceptsToolName(const std::string& toolName) { return false; }     // 2
  // Makes and registers the behaviour object of `annot`; null when this
  // handler has no object for it.
  virtual KA_AnnotObject CreateAnnotObject(KA_Annot annot, intptr_t value);        // 7
  // The bounding box in device pixels: the rectangle (with the rotated frame
  // when focused) grown by 11 pixels on every side.
  virtual bool GetBBox(KA_PageView view, CMarkup_Annot* obj, KS_DeviceRect* out);  // 9
  // Draws the appearance, then a 1-pixel outline when selected: red for
  // the focused annotation, black for the others.
  virtual void Draw(KA_PageView view, KA_Device device, CMarkup_Annot* obj, intptr_t flags);  // 10
  // Pass-through slots whose meaning is the host's (8, 11-28, 30, 33, 37,
  // 41, 42, 44): the fixed answer or host default of the slot.
  virtual intptr_t CallSlot(int slot, CMarkup_Annot* obj, KS_AnnotCallArgs& args);
  virtual int32_t HandleAt(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& rect,
                           KS_DevicePoint pt, int32_t flags);                       // 29
  // Dragging: each records what changed as one undo item.
  virtual bool Resize(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& oldRect,
                      const KS_DeviceRect& newRect);                                 // 31
  virtual bool Move(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& oldRect,
                    const KS_DeviceRect& newRect);                                   // 32
  virtual bool MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt);  // 35
  virtual bool HitTest(KA_PageView view, CMarkup_Annot* obj, KS_DevicePoint pt);  // 36
  virtual bool Rotate(KA_PageView view, CMarkup_Annot* obj, int32_t degrees);       // 39
  virtual bool IsCommandEnabled(KA_Document doc, int32_t command);                  // 40
  virtual bool SetPoint(CMarkup_Annot* obj, const KS_FloatPoint& pt);               // 43
  // The annotation's context menu: the handler adds its items
  // (Host::MenuAddItem), then runs the one chosen. None by default.
  virtual void AddMenuItems(KA_PageView view, CMarkup_Annot* obj, KA_Menu menu) {}
  virtual bool RunMenuItem(KA_PageView view, CMarkup_Annot* obj, const std::string& itemId) { return false; }
  // Moves the annotation to another page as one undo item
  // (CDA_UndoMoveToPage); false when it is there already or cannot move.
  virtual bool MoveToPage(CMarkup_Annot* obj, int32_t pageIndex);
  // Sets one property (CMarkup_Annot::SetProperty), rebuilds the appearance
  // and records the change as one undo item.
  virtual bool SetProperty(CMarkup_Annot* obj, const KS_AnnotPropertyValue& value);

  // The displacement of the last drag in page space (set only while
  // snapping is on): between the centres of its old and new rectangles,
  // corrected so that the nearest of the geometry's snap points lands on
  // what snapping finds there.
  KS_FloatPoint GetDragDisplacement() const { return dragDisplacement_; }

 protected:
  // The plug-in object for a host annotation this handler edits; null by
  // default.
  virtual std::unique_ptr<CMarkup_Annot> MakeAnnot(KA_Annot annot) { return nullptr; }
  intptr_t CallDefault(int32_t index, KS_AnnotCallArgs& args);
  // Where a vertex dragged to the device point `pt` goes: inside the drag
  // bracket with snapping on, the point snapping finds there, else the page
  // point of `pt`. False when `pt` has no page point.
  bool DraggedPoint(KA_PageView view, KS_DevicePoint pt, KS_FloatPoint* out) const;

 private:
  friend struct MarkupHandlerRecord;
  // The drag bracket around the operations that move or reshape: one undo
  // group while snapping is on, so the snap and the edit undo together. A
  // move (both rectangles given) is snapped: Move then takes the corrected
  // displacement in page space. So is a dragged vertex (`point` given):
  // MovePoint then takes the snapped point (DraggedPoint).
  template <typename F>
  bool InDragBracket(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect* oldRect,
                     const KS_DeviceRect* newRect, const KS_DevicePoint* point, F&& call);

  KA_AnnotHandler handle_ = nullptr;
  KS_AnnotHandlerCallbacks record_{};
  std::unique_ptr<MarkupAux> aux1_, aux2_;
  KS_FloatPoint dragDisplacement_{0, 0};
  bool dragSnapped_ = false;  // inside a snapped move: Move takes dragDisplacement_
  KS_FloatPoint dragPoint_{0, 0};
  bool pointSnapped_ = false;  // inside a snapped vertex drag: MovePoint takes dragPoint_
};

}  // namespace AnnotationPlugin
