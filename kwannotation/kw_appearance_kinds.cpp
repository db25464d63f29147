#include "kwannotation/kw_appearance_kinds.h"

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_free_text_appearance.h"
#include "kwannotation/kw_icon_appearance.h"
#include "kwannotation/kw_markup_appearance.h"

namespace kwannotation {

namespace {

template <class Impl, bool (*Compute)(const Impl&, ShapeAppearanceResult*, std::string*)>
bool Rebuild(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  Impl view(annot, KW_ANNOT_UNKNOWN, nullptr);
  ShapeAppearanceResult result;
  if (!Compute(view, &result, reason)) return false;
  return CKW_AppearanceWriter::Apply(view, result, options, reason);
}

bool RebuildStamp(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions&) {
  CKW_StampAnnotImpl view(annot, KW_ANNOT_UNKNOWN, nullptr);
  ShapeAppearanceResult result;
  bool unchanged = false;
  if (!ComputeStampAppearance(view, &result, &unchanged, reason)) return false;
  return unchanged || CKW_AppearanceWriter::Apply(view, result, ShapeAppearanceOptions{}, reason);
}

bool RebuildFreeText(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  CKW_FreeTextImpl view(annot, KW_ANNOT_UNKNOWN, nullptr);
  return RebuildFreeTextAppearance(view, options, reason);
}

}  // namespace

ShapeAppearanceFn AppearanceFor(KPD_Dictionary annot, std::string* kind) {
  std::string name;
  if (ShapeAppearanceFn fn = ShapeAppearanceFor(annot, &name)) {
    if (kind) *kind = name;
    return fn;
  }
  if (kind) *kind = name;
  switch (KW_SubtypeCodeFromName(name)) {
    case KW_ANNOT_HIGHLIGHT:
    case KW_ANNOT_UNDERLINE:
    case KW_ANNOT_SQUIGGLY:
    case KW_ANNOT_STRIKEOUT: return &Rebuild<CKW_TextMarkupAnnotImpl, &ComputeTextMarkupAppearance>;
    case KW_ANNOT_CARET: return &Rebuild<CKW_CaretAnnotImpl, &ComputeCaretAppearance>;
    case KW_ANNOT_TEXT:
    case KW_ANNOT_FILEATTACHMENT: return &Rebuild<CKW_MarkupAnnotImpl, &ComputeIconAppearance>;
    case KW_ANNOT_STAMP: return &RebuildStamp;
    case KW_ANNOT_FREETEXT: return &RebuildFreeText;
    default: return nullptr;
  }
}

}  // namespace kwannotation
