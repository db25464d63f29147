// Undo items of moving, reshaping and rotating annotations. Each keeps the
// recorded change of the annotation (its dictionary and appearance streams
// before and after), so undo and redo give back exactly the state that was,
// appearance included, and then tell the host that the appearance changed.
// An item keeps only host handles and its own copies, never plug-in objects.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kwannotation/kw_annot_change.h"
#include "plugin/annot_undo.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

using KW_ChangePtr = std::unique_ptr<kwannotation::CKW_AnnotChange>;

// The geometry points of an annotation as the host has it: /L of a line,
// /Vertices of a polygon or polyline, the rectangle's corners otherwise.
std::vector<KS_FloatPoint> DA_ReadGeometry(KA_Annot annot);

// The scalar state of measuring annotations an edit may change: leader
// lengths ("LL", "LLE") and whether "RiseDrop" is there.
struct DA_Scalars {
  float leader[2] = {0, 0};
  bool riseDrop = false;
};
DA_Scalars DA_ReadScalars(KA_Annot annot);

// Whether the host still finds the annotation on a page of its document.
bool DA_AnnotIsThere(KA_Annot annot);

// Tells the host, through the annotation's behaviour object, that its
// appearance changed.
void DA_AppearanceChanged(KA_Annot annot);

class CDA_UndoResize : public CAnnot_BaseUndo {
 public:
  // Built after the edit: `change` is finished, `before` and `scalars` were
  // read before it; the state after is read now.
  CDA_UndoResize(KA_Document doc, KA_Annot annot, KW_ChangePtr change, std::vector<KS_FloatPoint> before,
                 const DA_Scalars& scalars, std::u16string caption);
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

  const std::vector<KS_FloatPoint>& GetPoints(bool after) const { return after ? after_ : before_; }

 private:
  void Apply(bool after);

  KA_Document doc_;
  KA_Annot annot_;
  std::vector<KS_FloatPoint> before_, after_;
  // Per-vertex values of measuring annotations, before and after.
  std::map<int32_t, float> valuesBefore_, valuesAfter_;
  KS_Matrix matrix_{1, 0, 0, 1, 0, 0};
  DA_Scalars scalarsBefore_, scalarsAfter_;
  KW_ChangePtr change_;
};

// Moving an annotation to another page. The two states are host arrays
// [page index, place in /Annots] of where the annotation was before and is
// after; undo and redo take it off the page it is on and put it back at
// the other place (its pop-up goes with it), then apply the recorded
// change of its dictionary, when there is one.
class CDA_UndoMoveToPage : public CAnnot_BaseUndo {
 public:
  // `stateBefore` and `stateAfter` are host objects the item owns (released
  // through the host with the item); either may be null.
  CDA_UndoMoveToPage(KA_Document doc, KA_Annot annot, KW_ChangePtr change, std::vector<KS_FloatPoint> before,
                     std::vector<KS_FloatPoint> after, KPD_Object stateBefore, KPD_Object stateAfter,
                     std::u16string caption);
  ~CDA_UndoMoveToPage() override;
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

 private:
  void Apply(bool after);

  KA_Document doc_;
  KA_Annot annot_;
  std::vector<KS_FloatPoint> before_, after_;
  KPD_Object stateBefore_, stateAfter_;
  std::u16string textBefore_, textAfter_;
  KW_ChangePtr change_;
};

// Takes the annotation off its page and inserts it into page `toPage` at
// `index` (-1: the end); a pop-up of the same page goes along, after it.
// False when it is on no page or the document refuses.
bool DA_PutOnPage(KA_Document doc, KA_Annot annot, int32_t toPage, int32_t index);

// A host array [page, index] for CDA_UndoMoveToPage's states.
KPD_Object DA_PlaceState(int32_t page, int32_t index);

class CDA_UndoRotate : public CAnnot_BaseUndo {
 public:
  // Records the rotation key before and after as host objects of its own.
  CDA_UndoRotate(KA_Annot annot, KW_ChangePtr change, int32_t degreesBefore, int32_t degreesAfter,
                 std::u16string caption);
  ~CDA_UndoRotate() override;
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

 private:
  void Apply(bool after);

  KA_Annot annot_;
  KPD_Object stateBefore_, stateAfter_;
  std::u16string textBefore_, textAfter_;
  KW_ChangePtr change_;
};

// Moving the caption of a measuring line ("CO", the caption offset).
class CDA_MoveCaptionUndoItem : public CAnnot_BaseUndo {
 public:
  CDA_MoveCaptionUndoItem(KA_Document doc, KA_Annot annot, KW_ChangePtr change, const int32_t before[2],
                          const int32_t after[2], bool hadOffset, std::u16string caption);
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

 private:
  void Apply(bool after);
  void InvalidateAround();

  KA_Document doc_;
  KA_Annot annot_;
  int32_t before_[2], after_[2];
  bool hadOffset_;
  KW_ChangePtr change_;
};

}  // namespace AnnotationPlugin
