// The properties panel's side of the comment kinds that no plug-in handler
// owns (rectangles, ink, text boxes, notes, text markup, carets, stamps and
// attachments): an annotation handler that only reads and sets their style
// and text through the annotation library's model, rebuilds the appearance
// with the library's generators and records each change as one undo item.
// Everything else (drawing, hit testing, dragging) stays the editor's own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_records.h"

namespace AnnotationComment {

// Which properties a kind offers, by KS_PROP_* code (bit 1 << code); 0 for
// a kind the style handler does not take.
uint32_t CommentKindProperties(const std::string& subtype);

// Reads one property of the annotation as its panel shows it (what
// KS_AH_GET_PROPERTY answers): false when its kind does not offer it.
bool ReadCommentProperty(KA_Annot annot, KS_AnnotPropertyValue* value);

// Sets one property through the model's setters and rebuilds the
// appearance, handing the change (the dictionary's changed keys and the
// appearance streams, before and after) to the document's undo stack as
// one item. False, with nothing changed, when the kind does not offer the
// property, the value is out of range or already the annotation's, or the
// document may not be changed.
bool SetCommentProperty(KA_Annot annot, const KS_AnnotPropertyValue& value);

class CCM_StyleHandler {
 public:
  // Registers one handler for each comment kind the editor has none for
  // yet; a kind the plug-in took first stays the plug-in's.
  CCM_StyleHandler();
  ~CCM_StyleHandler();  // unregisters them
  CCM_StyleHandler(const CCM_StyleHandler&) = delete;
  CCM_StyleHandler& operator=(const CCM_StyleHandler&) = delete;

  // The kinds this handler took.
  const std::vector<std::string>& Types() const { return types_; }

 private:
  struct Kind;
  std::vector<std::unique_ptr<Kind>> kinds_;
  std::vector<std::string> types_;
};

}  // namespace AnnotationComment
