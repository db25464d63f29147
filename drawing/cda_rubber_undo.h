// Undo items of the ink eraser. Both keep the recorded change of the ink
// (dictionary and appearance before and after), so undo and redo give back
// exactly what was; the stroke lists are kept beside it for whoever asks.
// An ink the erase took off its page goes back at the same place in the
// page's /Annots on undo and leaves again on redo.
#pragma once

#include "drawing/cda_rubber_geometry.h"
#include "drawing/cda_undo.h"

namespace AnnotationPlugin {

// Where an annotation stood on its page before an erase took it away.
struct DA_Removal {
  bool removed = false;
  int32_t pageIndex = -1;
  int32_t annotIndex = -1;
};

// Takes `annot` off its page; false (and nothing changed) when the host does
// not find it there or refuses.
bool DA_RemoveFromPage(KA_Annot annot, DA_Removal* removal);

class CDA_UndoRubberBase : public CAnnot_BaseUndo {
 public:
  // `change` is finished (null when the ink was only removed).
  CDA_UndoRubberBase(KA_Document doc, KA_Annot annot, KW_ChangePtr change, DA_InkStrokes before,
                     DA_InkStrokes after, const DA_Removal& removal, std::u16string caption);
  void Undo() override { Apply(false); }
  void Redo() override { Apply(true); }

  const DA_InkStrokes& Strokes(bool after) const { return after ? after_ : before_; }

 private:
  void Apply(bool after);

  KA_Document doc_;
  KA_Annot annot_;
  KPD_Dictionary dict_;
  KW_ChangePtr change_;
  DA_InkStrokes before_, after_;
  DA_Removal removal_;
};

// A partial erase: the points the trail passed over.
class CDA_UndoRubberPart : public CDA_UndoRubberBase {
 public:
  using CDA_UndoRubberBase::CDA_UndoRubberBase;
};

// A whole-stroke erase (and erase-all); `pressure` says the ink carries "PSI".
class CDA_UndoRubberWhole : public CDA_UndoRubberBase {
 public:
  CDA_UndoRubberWhole(KA_Document doc, KA_Annot annot, KW_ChangePtr change, DA_InkStrokes before,
                      DA_InkStrokes after, const DA_Removal& removal, bool pressure, std::u16string caption)
      : CDA_UndoRubberBase(doc, annot, std::move(change), std::move(before), std::move(after), removal,
                           std::move(caption)),
        pressure_(pressure) {}
  bool IsPressure() const { return pressure_; }

 private:
  bool pressure_;
};

}  // namespace AnnotationPlugin
