#include "kwannotation/kw_appearance_kinds.h"

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_free_text_appearance.h"
#include "kwannotation/kw_icon_appearance.h"
#include "kwannotation/kw_markup_appearance.h"
#include "kwannotation/kw_measure_appearance.h"

namespace kwannotation {

namespace {

// Computes through a model view of the kind, then writes through the one
// writer.
template <class View, bool (*Compute)(const View&, ShapeAppearanceResult*, std::string*)>
bool Rebuild(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  View view(annot, KW_ANNOT_UNKNOWN, nullptr);
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

struct AppearanceKind {
  int32_t code;
  ShapeAppearanceFn rebuild;
};

// In the order of kAppearanceKinds.
constexpr AppearanceKind kKinds[] = {
    {KW_ANNOT_SQUARE, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_CIRCLE, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_POLYGON, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_POLYLINE, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_LINE, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_INK, &Rebuild<CKW_MarkupAnnotImpl, &ComputeShapeAppearance>},
    {KW_ANNOT_HIGHLIGHT, &Rebuild<CKW_TextMarkupAnnotImpl, &ComputeTextMarkupAppearance>},
    {KW_ANNOT_UNDERLINE, &Rebuild<CKW_TextMarkupAnnotImpl, &ComputeTextMarkupAppearance>},
    {KW_ANNOT_SQUIGGLY, &Rebuild<CKW_TextMarkupAnnotImpl, &ComputeTextMarkupAppearance>},
    {KW_ANNOT_STRIKEOUT, &Rebuild<CKW_TextMarkupAnnotImpl, &ComputeTextMarkupAppearance>},
    {KW_ANNOT_CARET, &Rebuild<CKW_CaretAnnotImpl, &ComputeCaretAppearance>},
    {KW_ANNOT_TEXT, &Rebuild<CKW_MarkupAnnotImpl, &ComputeIconAppearance>},
    {KW_ANNOT_FILEATTACHMENT, &Rebuild<CKW_MarkupAnnotImpl, &ComputeIconAppearance>},
    {KW_ANNOT_STAMP, &RebuildStamp},
    {KW_ANNOT_FREETEXT, &RebuildFreeText},
};
static_assert(std::size(kKinds) == kAppearanceKinds.size());

}  // namespace

ShapeAppearanceFn AppearanceFor(KPD_Dictionary annot, std::string* kind) {
  if (kind) kind->clear();
  const std::string subtype = annot ? dict::GetName(annot, "/Subtype") : std::string();
  if (kind) *kind = subtype;
  for (size_t i = 0; i < kAppearanceKinds.size(); ++i) {
    if (subtype != kAppearanceKinds[i]) continue;
    // A measurement of this subtype draws its caption and marks too.
    const int32_t measure = KW_MeasureKindFromIntent(dict::GetName(annot, "/IT"));
    if (measure != KW_MEASURE_NONE && KW_SubtypeCodeFromMeasureKind(measure) == kKinds[i].code)
      return &RegenerateMeasureAppearance;
    return kKinds[i].rebuild;
  }
  return nullptr;
}

bool RebuildAppearance(KPD_Dictionary annot, std::string* reason) {
  ShapeAppearanceFn fn = AppearanceFor(annot, nullptr);
  if (!fn) {
    if (reason) *reason = "no appearance for this kind";
    return false;
  }
  return fn(annot, reason, ShapeAppearanceOptions{});
}

}  // namespace kwannotation
