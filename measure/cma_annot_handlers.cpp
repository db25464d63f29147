#include "measure/cma_annot_handlers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "drawing/cda_undo.h"
#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "measure/cma_figure_values.h"
#include "measure/cma_osnap.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {
namespace {

std::vector<float> Numbers(KPD_Dictionary dict, const char* key) {
  KPD_Object array = Host::DictGet(dict, key);
  if (!array || Host::ObjectGetType(array) != KPD_OBJ_ARRAY) return {};
  const int32_t n = Host::ArrayCount(array);
  std::vector<float> v(std::max(0, n));
  if (n > 0 && Host::ArrayGetNumbers(array, v.data(), n) != n) return {};
  for (float f : v)
    if (!std::isfinite(f)) return {};
  return v;
}

std::vector<KS_FloatPoint> Points(const std::vector<float>& v) {
  std::vector<KS_FloatPoint> points;
  for (size_t i = 0; i + 1 < v.size(); i += 2) points.push_back({v[i], v[i + 1]});
  return points;
}

bool SetContentsText(KPD_Dictionary annot, const std::u16string& text);

std::string CurrentToolName() {
  KA_Tool tool = Host::AppGetCurrentTool();
  if (!tool) return {};
  Host::ByteString name;
  if (!Host::ToolGetName(tool, name.get())) return {};
  return name.str();
}

}  // namespace

std::optional<std::u16string> DerivedContents(KPD_Dictionary annot, KPD_Document) {
  if (MeasureTypeOfAnnot(annot) == kMeasureNone) return std::nullopt;
  const kwannotation::KwMeasureTexts texts = kwannotation::KW_MeasureTextsOf(annot);
  if (!ShowableValue(texts.contents)) return std::nullopt;
  return texts.contents;
}

bool RederiveContents(KPD_Dictionary annot, KPD_Document doc) {
  std::optional<std::u16string> text = DerivedContents(annot, doc);
  return text && SetContentsText(annot, *text);
}

bool RederiveContents(KPD_Dictionary annot, const kwannotation::KwMeasureTexts& texts) {
  return ShowableValue(texts.contents) && SetContentsText(annot, texts.contents);
}

namespace {

// A measurement's value text is never empty, which would take away /RC too.
bool SetContentsText(KPD_Dictionary annot, const std::u16string& text) {
  if (!annot || text.empty()) return false;
  kwannotation::CKW_MarkupAnnotImpl view(annot, kwannotation::KW_ANNOT_UNKNOWN, nullptr);
  return view.SetContents(text);
}

}  // namespace

KPD_Document MeasureDocOf(KA_Annot annot) {
  KA_Document doc = annot ? Host::AnnotGetDocument(annot) : nullptr;
  return doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
}

bool CMeasure_AnnotHandler::IsSelectable(CMarkup_Annot* obj) {
  const std::string tool = CurrentToolName();
  if (tool == "Annot" || tool == "Hand") return true;
  return obj && IsOwnTool(tool, Host::AnnotGetDict(obj->GetAnnot()));
}

template <typename Object>
bool CMA_MeasureHandler<Object>::IsOwnTool(const std::string& toolName, KPD_Dictionary annot) const {
  if (std::find(tools_.begin(), tools_.end(), toolName) == tools_.end()) return false;
  // A perimeter answers to "Perimeter", a polylength to "POLYLENGTH".
  if (toolName == "Perimeter") return !Host::DictHasKey(annot, "/RiseDrop");
  if (toolName == "POLYLENGTH") return Host::DictHasKey(annot, "/RiseDrop") != 0;
  return true;
}

bool VertexMoveKeepsPolygonSimple(KPD_Dictionary annot, int index, KS_FloatPoint to) {
  std::vector<KS_FloatPoint> vertices = Points(Numbers(annot, "/Vertices"));
  if (index < 0 || static_cast<size_t>(index) >= vertices.size()) return true;
  vertices[static_cast<size_t>(index)] = to;
  return !osnap::EdgesAtVertexIntersect(vertices, static_cast<size_t>(index));
}

bool CMA_AreaHandler::MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt) {
  // The editing puts the vertex at this page point; it is checked there
  // before anything is written or recorded.
  KS_FloatPoint to{};
  KPD_Dictionary dict = obj ? Host::AnnotGetDict(obj->GetAnnot()) : nullptr;
  if (dict && DraggedPoint(view, pt, &to) && !VertexMoveKeepsPolygonSimple(dict, index, to))
    return false;
  return CMA_MeasureHandler<CMA_Area>::MovePoint(view, obj, index, pt);
}

// ---- the distance handler -------------------------------------------------------------

namespace {

constexpr int32_t kPartTolerance = 4;  // device pixels either side of a drawn part

kwannotation::CKW_LineImpl* LineImplOf(CMarkup_Annot* obj) {
  auto* shape = dynamic_cast<CDA_ShapeAnnot*>(obj);
  const auto& kw = shape ? shape->GetKwAnnot() : nullptr;
  return kw ? dynamic_cast<kwannotation::CKW_LineImpl*>(kw->GetImpl().get()) : nullptr;
}

bool PartsOf(CMarkup_Annot* obj, kwannotation::KwDistanceParts* parts) {
  auto* line = LineImplOf(obj);
  return line && kwannotation::KW_DistanceParts(*line, parts);
}

bool ToDevice(KA_PageView view, const KS_FloatPoint& p, KS_DevicePoint* out) {
  return Host::PageViewPageToDevice(view, p, out) != 0;
}

bool NearPoint(KA_PageView view, const KS_FloatPoint& p, KS_DevicePoint pt) {
  KS_DevicePoint d{};
  return ToDevice(view, p, &d) && std::abs(d.x - pt.x) <= 5 && std::abs(d.y - pt.y) <= 5;
}

// Whether `pt` lies within the tolerance of the segment a-b, in device pixels.
bool NearSegment(KA_PageView view, const KS_FloatPoint& a, const KS_FloatPoint& b, KS_DevicePoint pt) {
  KS_DevicePoint da{}, db{};
  if (!ToDevice(view, a, &da) || !ToDevice(view, b, &db)) return false;
  const double dx = double(db.x) - da.x, dy = double(db.y) - da.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((pt.x - da.x) * dx + (pt.y - da.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(da.x + t * dx - pt.x, da.y + t * dy - pt.y) <= kPartTolerance;
}

bool InCaption(KA_PageView view, const kwannotation::KwDistanceParts& parts, KS_DevicePoint pt) {
  KS_DeviceRect box{};
  return parts.hasCaption && Host::PageViewPageRectToDevice(view, &parts.captionBox, &box) &&
         std::min(box.left, box.right) <= pt.x && pt.x <= std::max(box.left, box.right) &&
         std::min(box.top, box.bottom) <= pt.y && pt.y <= std::max(box.top, box.bottom);
}

// Runs `edit` and hands what it changed to the document's undo stack as one
// item under the caption of `key`; nothing is recorded when nothing changed.
template <typename Edit>
bool RecordedEdit(CMarkup_Annot* obj, const char* key, Edit&& edit) {
  KA_Annot annot = obj->GetAnnot();
  KA_Document doc = obj->GetDocument();
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  if (!dict || !doc || obj->IsReadOnly() || Host::AnnotIsReadOnly(annot) || Host::AnnotIsLocked(annot)) return false;
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict);
  std::vector<KS_FloatPoint> before = DA_ReadGeometry(annot);
  DA_Scalars scalars = DA_ReadScalars(annot);
  if (!edit()) {
    // Whatever a refused edit wrote goes back.
    if (change->Finish()) change->Apply(false);
    return false;
  }
  obj->Regenerate();
  if (!change->Finish()) return false;
  AnnotUndo_HandOver(std::make_unique<CDA_UndoResize>(doc, annot, std::move(change), std::move(before), scalars,
                                                      Widgets::Translate(key)),
                     doc);
  return true;
}

// Moves the caption of a distance by (along, up) points along and across
// its line: one undo item that knows the caption offset "CO" before and
// after, and whether the key was there.
bool MoveCaption(CMarkup_Annot* obj, kwannotation::CKW_LineImpl* line, float along, float up) {
  KA_Annot annot = obj->GetAnnot();
  KA_Document doc = obj->GetDocument();
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  if (!dict || !doc || obj->IsReadOnly() || Host::AnnotIsReadOnly(annot) || Host::AnnotIsLocked(annot)) return false;
  if (along == 0 && up == 0) return false;
  const bool hadOffset = line->HasKey("/CO");
  float co[2] = {0, 0};
  if (!line->GetCaptionOffset(&co[0], &co[1])) co[0] = co[1] = 0;
  const int32_t before[2] = {int32_t(std::lround(co[0])), int32_t(std::lround(co[1]))};
  auto change = std::make_unique<kwannotation::CKW_AnnotChange>(dict);
  co[0] += along;
  co[1] += up;
  if (!line->SetCaptionOffset(co[0], co[1])) {
    if (change->Finish()) change->Apply(false);
    return false;
  }
  obj->Regenerate();
  if (!change->Finish()) return false;
  const int32_t after[2] = {int32_t(std::lround(co[0])), int32_t(std::lround(co[1]))};
  AnnotUndo_HandOver(std::make_unique<CDA_MoveCaptionUndoItem>(doc, annot, std::move(change), before, after,
                                                               hadOffset, Widgets::Translate("IDS_STR_UNDOMOVECAPTION")),
                     doc);
  return true;
}

}  // namespace

void CMA_DistanceHandler::AddMenuItems(KA_PageView, CMarkup_Annot* obj, KA_Menu menu) {
  if (LineImplOf(obj)) Host::MenuAddItem(menu, kFlipItem, Widgets::Translate("IDS_STR_UNDOFLIP").c_str());
}

bool CMA_DistanceHandler::RunMenuItem(KA_PageView, CMarkup_Annot* obj, const std::string& itemId) {
  return itemId == kFlipItem && Flip(obj);
}

bool CMA_DistanceHandler::Flip(CMarkup_Annot* obj) {
  auto* line = LineImplOf(obj);
  if (!line) return false;
  return RecordedEdit(obj, "IDS_STR_UNDOFLIP", [&] { return line->Flip(); });
}

bool CMA_DistanceHandler::HitTest(KA_PageView view, CMarkup_Annot* obj, KS_DevicePoint pt) {
  if (CMeasure_AnnotHandler::HitTest(view, obj, pt)) return true;
  kwannotation::KwDistanceParts parts;
  if (!view || !PartsOf(obj, &parts)) return false;
  if (NearSegment(view, parts.lineEnds[0], parts.lineEnds[1], pt)) return true;
  for (int i = 0; i < 2 && parts.leaders; ++i)
    if (NearSegment(view, parts.leaderFrom[i], parts.leaderTo[i], pt)) return true;
  return InCaption(view, parts, pt);
}

int32_t CMA_DistanceHandler::HandleAt(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& rect,
                                      KS_DevicePoint pt, int32_t flags) {
  kwannotation::KwDistanceParts parts;
  if (view && PartsOf(obj, &parts)) {
    // The measured points first, then what the leaders and the caption
    // moved away from them.
    for (int32_t i = 0; i < 2; ++i)
      if (NearPoint(view, parts.ends[i], pt)) return KS_HANDLE_VERTEX + i;
    if (parts.leaders) {
      for (int32_t i = 0; i < 2; ++i)
        if (NearPoint(view, parts.lineEnds[i], pt)) return KS_HANDLE_VERTEX + kLineEnd0 + i;
      for (int32_t i = 0; i < 2; ++i)
        if (NearPoint(view, parts.leaderTo[i], pt)) return KS_HANDLE_VERTEX + kExtension;
      if (NearSegment(view, parts.lineEnds[0], parts.lineEnds[1], pt)) return KS_HANDLE_VERTEX + kDimensionLine;
    }
    if (InCaption(view, parts, pt) && Host::PageViewDeviceToPage(view, pt, &captionGrab_))
      return KS_HANDLE_VERTEX + kCaption;
  }
  return CMeasure_AnnotHandler::HandleAt(view, obj, rect, pt, flags);
}

bool CMA_DistanceHandler::MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt) {
  if (index < kDimensionLine || index > kLineEnd1) return CMeasure_AnnotHandler::MovePoint(view, obj, index, pt);
  auto* line = LineImplOf(obj);
  kwannotation::KwDistanceParts parts;
  kwannotation::KwLineLeader leader;
  KS_FloatPoint p{};
  if (!line || !PartsOf(obj, &parts) || !line->GetLeader(&leader) || !Host::PageViewDeviceToPage(view, pt, &p))
    return false;
  auto dot = [](double ax, double ay, const KS_FloatPoint& b) { return ax * b.x + ay * b.y; };
  const KS_FloatPoint& p0 = parts.ends[0];
  // How far `p` lies from the measured points, on the leaders' side.
  const double across = dot(double(p.x) - p0.x, double(p.y) - p0.y, parts.side);
  const double off = std::fabs(leader.length) + leader.offset;
  switch (index) {
    case kDimensionLine:
      return RecordedEdit(obj, "IDS_STR_UNDOEDITPOINT", [&] {
        // Across to the other side turns "LL" over; the offset stays.
        const double length = std::max(std::fabs(across) - leader.offset, 0.0);
        const bool sameSide = across >= 0;
        leader.length = (leader.length >= 0) == sameSide ? length : -length;
        return line->SetLeader(leader);
      });
    case kExtension:
      return RecordedEdit(obj, "IDS_STR_UNDOEDITPOINT", [&] {
        leader.extension = std::max(across - off, 0.0);
        return line->SetLeader(leader);
      });
    case kCaption:
      return MoveCaption(obj, line, float(dot(double(p.x) - captionGrab_.x, double(p.y) - captionGrab_.y, parts.along)),
                         float(dot(double(p.x) - captionGrab_.x, double(p.y) - captionGrab_.y, parts.up)));
    default: {
      // An end of the dimension line: its measured point follows, the
      // leader's length and side kept.
      const int i = index - kLineEnd0;
      // Without leaders the end is the measured point, which snaps.
      if (off == 0) DraggedPoint(view, pt, &p);
      KS_FloatPoint ends[2] = {parts.ends[0], parts.ends[1]};
      ends[i] = {float(p.x - off * parts.side.x), float(p.y - off * parts.side.y)};
      if (ends[0].x == ends[1].x && ends[0].y == ends[1].y) return false;
      return RecordedEdit(obj, "IDS_STR_UNDOEDITPOINT", [&] { return line->SetLinePoints(ends[0], ends[1]); });
    }
  }
}

std::vector<std::unique_ptr<CMarkup_AnnotHandler>> MakeMeasureAnnotHandlers() {
  std::vector<std::unique_ptr<CMarkup_AnnotHandler>> handlers;
  auto add = [&](std::unique_ptr<CMarkup_AnnotHandler> handler, const char* type) {
    if (handler->Register(type)) handlers.push_back(std::move(handler));
  };
  add(std::make_unique<CMA_DistanceHandler>(), "Line/LineDimension");
  add(std::make_unique<CMA_MeasureHandler<CMA_Perimeter>>(std::vector<std::string>{"Perimeter", "POLYLENGTH"}),
      "PolyLine/PolyLineDimension");
  add(std::make_unique<CMA_MeasureHandler<CMA_Angle>>(std::vector<std::string>{"ANGLE"}), "PolyLine/PolyLineAngle");
  add(std::make_unique<CMA_AreaHandler>(std::vector<std::string>{"Area"}), "Polygon/PolygonDimension");
  add(std::make_unique<CMA_AreaHandler>(std::vector<std::string>{"VOLUME"}), "Polygon/PolygonVolume");
  add(std::make_unique<CMA_MeasureHandler<CMA_Radius>>(std::vector<std::string>{"CENTERRADIUS", "3POINTRADIUS"}),
      "Polygon/PolygonRadius");
  add(std::make_unique<CMA_MeasureHandler<CMA_Diameter>>(
          std::vector<std::string>{"DIAMETER", "CircleArea", "Ellipse"}),
      "Circle/CircleDimension");
  return handlers;
}

}  // namespace AnnotationPlugin
