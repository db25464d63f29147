#include "measure/cma_annot_handlers.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "measure/cma_figure_values.h"
#include "measure/cma_osnap.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

std::string NameOf(KPD_Object obj) {
  if (!obj || Host::ObjectGetType(obj) != KPD_OBJ_NAME) return {};
  Host::ByteString s;
  Host::NameGet(obj, s.get());
  std::string name = s.str();
  if (!name.empty() && name[0] == '/') name.erase(0, 1);
  return name;
}

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

int MeasureTypeOfAnnot(KPD_Dictionary annot) {
  if (!annot) return kMeasureNone;
  const std::string intent = NameOf(Host::DictGet(annot, "/IT"));
  if (intent == "LineDimension") return kMeasureDistance;
  if (intent == "PolyLineDimension") return Host::DictHasKey(annot, "/RiseDrop") ? kMeasurePolylength : kMeasurePerimeter;
  if (intent == "PolygonDimension") return kMeasureArea;
  if (intent == "PolygonVolume") return kMeasureVolume;
  if (intent == "CircleDimension")
    return Host::DictHasKey(annot, "/MeasurementTypes") ? kMeasureDiameter : kMeasureCircleArea;
  if (intent == "PolygonRadius") return kMeasureCenterRadius;
  if (intent == "PolyLineAngle") return kMeasureAngle;
  return kMeasureNone;
}

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

bool SetContentsText(KPD_Dictionary annot, const std::u16string& text) {
  std::string bytes = "\xFE\xFF";
  for (char16_t c : text) {
    bytes += static_cast<char>(c >> 8);
    bytes += static_cast<char>(c & 0xFF);
  }
  KPD_Object value = Host::StringNew(bytes.data(), bytes.size());
  const bool ok = Host::DictSet(annot, "/Contents", value) != 0;
  Host::ObjectRelease(value);
  return ok;
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
  if (dict && Host::PageViewDeviceToPage(view, pt, &to) && !VertexMoveKeepsPolygonSimple(dict, index, to))
    return false;
  return CMA_MeasureHandler<CMA_Area>::MovePoint(view, obj, index, pt);
}

std::vector<std::unique_ptr<CMarkup_AnnotHandler>> MakeMeasureAnnotHandlers() {
  std::vector<std::unique_ptr<CMarkup_AnnotHandler>> handlers;
  auto add = [&](std::unique_ptr<CMarkup_AnnotHandler> handler, const char* type) {
    if (handler->Register(type)) handlers.push_back(std::move(handler));
  };
  add(std::make_unique<CMA_MeasureHandler<CMA_Distance>>(std::vector<std::string>{"DISTANCE"}), "Line/LineDimension");
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
