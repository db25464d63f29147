// The undo item of every editing feature and its hand-over to the host's
// undo stack of a document.
#pragma once

#include <memory>
#include <string>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

class CAnnot_BaseUndo {
 public:
  CAnnot_BaseUndo() = default;
  CAnnot_BaseUndo(const CAnnot_BaseUndo&) = delete;
  CAnnot_BaseUndo& operator=(const CAnnot_BaseUndo&) = delete;
  virtual ~CAnnot_BaseUndo() = default;  // 0
  virtual void Undo() = 0;                // 1
  virtual void Redo() = 0;                // 2
  // A copy of the item's caption, as the host shows it in its Undo menu.
  virtual std::u16string GetCaption() const { return caption_; }  // 3

  void SetCaption(std::u16string caption) { caption_ = std::move(caption); }

 protected:
  std::u16string caption_;
};

// Gives `item` to the host's undo stack of `doc`. The host owns the item
// from then on, whether or not it accepts it: a refused item is released by
// the host, and dropped here when the host has no undo stack at all. True
// when the host took it.
bool AnnotUndo_HandOver(std::unique_ptr<CAnnot_BaseUndo> item, KA_Document doc);

}  // namespace AnnotationPlugin
