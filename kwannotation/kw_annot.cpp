#include "kwannotation/kw_annot.h"

#include "kwannotation/kw_page_annot_list.h"

namespace kwannotation {

CKW_Annot::~CKW_Annot() = default;

bool CKW_Annot::ResetAppearance() { return impl_->ResetAppearance(); }

bool CKW_Annot::GetRotation(int32_t*) const { return false; }

#define KW_DEFINE_WRAPPER(Class, Base, Impl, code) \
  Class::Class(KPD_Annot annot, const KW_ListPtr& list) : Base(std::make_shared<Impl>(annot, code, list)) {}

KW_DEFINE_WRAPPER(CKW_UnknownAnnot, CKW_Annot, CKW_AnnotImpl, KW_ANNOT_UNKNOWN)
KW_DEFINE_WRAPPER(CKW_LinkAnnot, CKW_Annot, CKW_LinkAnnotImpl, KW_ANNOT_LINK)
KW_DEFINE_WRAPPER(CKW_MovieAnnot, CKW_Annot, CKW_MovieAnnotImpl, KW_ANNOT_MOVIE)
KW_DEFINE_WRAPPER(CKW_ScreenAnnot, CKW_Annot, CKW_ScreenAnnotImpl, KW_ANNOT_SCREEN)
KW_DEFINE_WRAPPER(CKW_PrinterMarkAnnot, CKW_Annot, CKW_PrinterMarkAnnotImpl, KW_ANNOT_PRINTERMARK)
KW_DEFINE_WRAPPER(CKW_TrapNetAnnot, CKW_Annot, CKW_TrapNetAnnotImpl, KW_ANNOT_TRAPNET)
KW_DEFINE_WRAPPER(CKW_WatermarkAnnot, CKW_Annot, CKW_WatermarkAnnotImpl, KW_ANNOT_WATERMARK)
KW_DEFINE_WRAPPER(CKW_3DAnnot, CKW_Annot, CKW_3dAnnotImpl, KW_ANNOT_3D)
KW_DEFINE_WRAPPER(CKW_PopupAnnot, CKW_Annot, CKW_PopupAnnotImpl, KW_ANNOT_POPUP)
KW_DEFINE_WRAPPER(CKW_Widget, CKW_Annot, CKW_WidgetImpl, KW_ANNOT_WIDGET)
KW_DEFINE_WRAPPER(CKW_FreeText, CKW_MarkupAnnot, CKW_FreeTextImpl, KW_ANNOT_FREETEXT)
KW_DEFINE_WRAPPER(CKW_StampAnnot, CKW_MarkupAnnot, CKW_StampAnnotImpl, KW_ANNOT_STAMP)
KW_DEFINE_WRAPPER(CKW_CaretAnnot, CKW_MarkupAnnot, CKW_CaretAnnotImpl, KW_ANNOT_CARET)
KW_DEFINE_WRAPPER(CKW_FileAttachmentAnnot, CKW_MarkupAnnot, CKW_FileAttachmentAnnotImpl, KW_ANNOT_FILEATTACHMENT)
KW_DEFINE_WRAPPER(CKW_SoundAnnot, CKW_MarkupAnnot, CKW_SoundAnnotImpl, KW_ANNOT_SOUND)
KW_DEFINE_WRAPPER(CKW_Redact, CKW_MarkupAnnot, CKW_RedactImpl, KW_ANNOT_REDACT)
KW_DEFINE_WRAPPER(CKW_ProjectionAnnot, CKW_MarkupAnnot, CKW_ProjectionAnnotImpl, KW_ANNOT_PROJECTION)
KW_DEFINE_WRAPPER(CKW_NoteAnnot, CKW_MarkupAnnot, CKW_NoteAnnotImpl, KW_ANNOT_TEXT)
KW_DEFINE_WRAPPER(CKW_Square, CKW_MarkupAnnot, CKW_SquareImpl, KW_ANNOT_SQUARE)
KW_DEFINE_WRAPPER(CKW_Circle, CKW_MarkupAnnot, CKW_CircleImpl, KW_ANNOT_CIRCLE)
KW_DEFINE_WRAPPER(CKW_Line, CKW_MarkupAnnot, CKW_LineImpl, KW_ANNOT_LINE)
KW_DEFINE_WRAPPER(CKW_Polygon, CKW_MarkupAnnot, CKW_PolygonImpl, KW_ANNOT_POLYGON)
KW_DEFINE_WRAPPER(CKW_PolyLine, CKW_MarkupAnnot, CKW_PolyLineImpl, KW_ANNOT_POLYLINE)
KW_DEFINE_WRAPPER(CKW_Ink, CKW_MarkupAnnot, CKW_InkImpl, KW_ANNOT_INK)
KW_DEFINE_WRAPPER(CKW_MeasureLine, CKW_Line, CKW_MeasureLineImpl, KW_ANNOT_LINE)
KW_DEFINE_WRAPPER(CKW_MeasureCircle, CKW_Circle, CKW_MeasureCircleImpl, KW_ANNOT_CIRCLE)
KW_DEFINE_WRAPPER(CKW_MeasurePolygon, CKW_Polygon, CKW_MeasurePolygonImpl, KW_ANNOT_POLYGON)
KW_DEFINE_WRAPPER(CKW_MeasureVolume, CKW_MeasurePolygon, CKW_MeasurePolygonImpl, KW_ANNOT_POLYGON)
KW_DEFINE_WRAPPER(CKW_MeasurePolygonRadius, CKW_Polygon, CKW_MeasurePolygonRadiusImpl, KW_ANNOT_POLYGON)
KW_DEFINE_WRAPPER(CKW_MeasurePolyLine, CKW_PolyLine, CKW_MeasurePolyLineImpl, KW_ANNOT_POLYLINE)
KW_DEFINE_WRAPPER(CKW_MeasurePolyLineAngle, CKW_PolyLine, CKW_MeasurePolyLineAngleImpl, KW_ANNOT_POLYLINE)
#undef KW_DEFINE_WRAPPER

CKW_TextMarkupAnnot::CKW_TextMarkupAnnot(KPD_Annot annot, const KW_ListPtr& list, int32_t subtypeCode)
    : CKW_MarkupAnnot(std::make_shared<CKW_TextMarkupAnnotImpl>(annot, subtypeCode, list)) {}

bool CKW_TextMarkupAnnot::GetQuadPoints(std::vector<float>* values) const {
  return static_cast<CKW_TextMarkupAnnotImpl*>(GetImpl().get())->GetQuadPoints(values);
}

bool CKW_TextMarkupAnnot::SetQuadPoints(const std::vector<float>& values) {
  return static_cast<CKW_TextMarkupAnnotImpl*>(GetImpl().get())->SetQuadPoints(values);
}

bool CKW_NoteAnnot::ResetAppearance() {
  auto note = std::dynamic_pointer_cast<CKW_NoteAnnotImpl>(GetImpl());
  return note ? note->ResetAppearance() : false;
}

std::string CKW_NoteAnnot::GetIconName() const {
  return static_cast<CKW_NoteAnnotImpl*>(GetImpl().get())->GetIconName();
}

bool CKW_NoteAnnot::SetIconName(const std::string& name) {
  return static_cast<CKW_NoteAnnotImpl*>(GetImpl().get())->SetIconName(name);
}

// The shapes and ink keep their rotation in the custom /Rotation key,
// widgets in /Rotate.
bool CKW_Widget::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotate(degrees); }
bool CKW_Square::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }
bool CKW_Circle::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }
bool CKW_Line::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }
bool CKW_Polygon::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }
bool CKW_PolyLine::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }
bool CKW_Ink::GetRotation(int32_t* degrees) const { return GetImpl()->GetRotation(degrees); }

bool CKW_Line::GetLinePoints(KS_FloatPoint* start, KS_FloatPoint* end) const {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->GetLinePoints(start, end);
}

bool CKW_Line::SetLinePoints(const KS_FloatPoint& start, const KS_FloatPoint& end) {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->SetLinePoints(start, end);
}

bool CKW_Line::GetLineEndings(int32_t* start, int32_t* end) const {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->GetLineEndings(start, end);
}

bool CKW_Line::SetLineEndings(int32_t start, int32_t end) {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->SetLineEndings(start, end);
}

bool CKW_Line::GetLeader(KwLineLeader* out) const {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->GetLeader(out);
}

bool CKW_Line::SetLeader(const KwLineLeader& leader) {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->SetLeader(leader);
}

bool CKW_Line::GetCaptionOffset(float* along, float* across) const {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->GetCaptionOffset(along, across);
}

bool CKW_Line::SetCaptionOffset(float along, float across) {
  return static_cast<CKW_LineImpl*>(GetImpl().get())->SetCaptionOffset(along, across);
}

bool CKW_Line::RemoveCaptionOffset() { return static_cast<CKW_LineImpl*>(GetImpl().get())->RemoveCaptionOffset(); }

bool CKW_PolyLine::GetLineEndings(int32_t* start, int32_t* end) const {
  return static_cast<CKW_PolyLineImpl*>(GetImpl().get())->GetLineEndings(start, end);
}

bool CKW_PolyLine::SetLineEndings(int32_t start, int32_t end) {
  return static_cast<CKW_PolyLineImpl*>(GetImpl().get())->SetLineEndings(start, end);
}

std::vector<std::vector<KS_FloatPoint>> CKW_Ink::GetInkList() const {
  return static_cast<CKW_InkImpl*>(GetImpl().get())->GetInkList();
}

bool CKW_Ink::SetInkList(const std::vector<std::vector<KS_FloatPoint>>& strokes) {
  return static_cast<CKW_InkImpl*>(GetImpl().get())->SetInkList(strokes);
}

std::shared_ptr<CKW_Annot> KW_NewAnnotWrapper(int32_t code, int32_t kind, KPD_Annot annot, const KW_ListPtr& list) {
  switch (code) {
    case KW_ANNOT_UNKNOWN: return std::make_shared<CKW_UnknownAnnot>(annot, list);
    case KW_ANNOT_TEXT: return std::make_shared<CKW_NoteAnnot>(annot, list);
    case KW_ANNOT_LINK: return std::make_shared<CKW_LinkAnnot>(annot, list);
    case KW_ANNOT_FREETEXT: return std::make_shared<CKW_FreeText>(annot, list);
    case KW_ANNOT_LINE:
      if (kind == KW_MEASURE_LINE) return std::make_shared<CKW_MeasureLine>(annot, list);
      return std::make_shared<CKW_Line>(annot, list);
    case KW_ANNOT_SQUARE: return std::make_shared<CKW_Square>(annot, list);
    case KW_ANNOT_CIRCLE:
      if (kind == KW_MEASURE_CIRCLE) return std::make_shared<CKW_MeasureCircle>(annot, list);
      return std::make_shared<CKW_Circle>(annot, list);
    case KW_ANNOT_POLYGON:
      if (kind == KW_MEASURE_POLYGON) return std::make_shared<CKW_MeasurePolygon>(annot, list);
      if (kind == KW_MEASURE_VOLUME) return std::make_shared<CKW_MeasureVolume>(annot, list);
      if (kind == KW_MEASURE_RADIUS) return std::make_shared<CKW_MeasurePolygonRadius>(annot, list);
      return std::make_shared<CKW_Polygon>(annot, list);
    case KW_ANNOT_POLYLINE:
      if (kind == KW_MEASURE_POLYLINE) return std::make_shared<CKW_MeasurePolyLine>(annot, list);
      if (kind == KW_MEASURE_ANGLE) return std::make_shared<CKW_MeasurePolyLineAngle>(annot, list);
      return std::make_shared<CKW_PolyLine>(annot, list);
    case KW_ANNOT_HIGHLIGHT:
    case KW_ANNOT_UNDERLINE:
    case KW_ANNOT_SQUIGGLY:
    case KW_ANNOT_STRIKEOUT:
      return std::make_shared<CKW_TextMarkupAnnot>(annot, list, code);
    case KW_ANNOT_STAMP: return std::make_shared<CKW_StampAnnot>(annot, list);
    case KW_ANNOT_CARET: return std::make_shared<CKW_CaretAnnot>(annot, list);
    case KW_ANNOT_INK: return std::make_shared<CKW_Ink>(annot, list);
    case KW_ANNOT_FILEATTACHMENT: return std::make_shared<CKW_FileAttachmentAnnot>(annot, list);
    case KW_ANNOT_SOUND: return std::make_shared<CKW_SoundAnnot>(annot, list);
    case KW_ANNOT_MOVIE: return std::make_shared<CKW_MovieAnnot>(annot, list);
    case KW_ANNOT_WIDGET: return std::make_shared<CKW_Widget>(annot, list);
    case KW_ANNOT_SCREEN: return std::make_shared<CKW_ScreenAnnot>(annot, list);
    case KW_ANNOT_PRINTERMARK: return std::make_shared<CKW_PrinterMarkAnnot>(annot, list);
    case KW_ANNOT_TRAPNET: return std::make_shared<CKW_TrapNetAnnot>(annot, list);
    case KW_ANNOT_WATERMARK: return std::make_shared<CKW_WatermarkAnnot>(annot, list);
    case KW_ANNOT_3D: return std::make_shared<CKW_3DAnnot>(annot, list);
    case KW_ANNOT_POPUP: return std::make_shared<CKW_PopupAnnot>(annot, list);
    case KW_ANNOT_REDACT: return std::make_shared<CKW_Redact>(annot, list);
    case KW_ANNOT_PROJECTION: return std::make_shared<CKW_ProjectionAnnot>(annot, list);
    default: return nullptr;
  }
}

}  // namespace kwannotation
