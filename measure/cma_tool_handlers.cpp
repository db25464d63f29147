#include "measure/cma_tool_handlers.h"

namespace AnnotationPlugin {
namespace {

std::u16string LayoutOf(int type) {
  const MeasureTypeInfo* row = MeasureTypeRow(type);
  const char* layout = row ? row->layout : "";
  return std::u16string(layout, layout + std::char_traits<char>::length(layout));
}

}  // namespace

std::unique_ptr<CMA_MeasureToolBase> MakeMeasureTool(int type) {
  switch (type) {
    case kMeasureDistance: return std::make_unique<CMA_DistanceToolHandler>();
    case kMeasurePerimeter: return std::make_unique<CMA_PerimeterToolHandler>(false);
    case kMeasurePolylength: return std::make_unique<CMA_PerimeterToolHandler>(true);
    case kMeasureArea: return std::make_unique<CMA_AreaToolHandler>(false);
    case kMeasureVolume: return std::make_unique<CMA_AreaToolHandler>(true);
    case kMeasureCircleArea: return std::make_unique<CMA_CircleAreaToolHandler>();
    case kMeasureDiameter: return std::make_unique<CMA_DiameterToolHandler>();
    case kMeasureCenterRadius: return std::make_unique<CMA_CenterradiusToolHandler>();
    case kMeasure3PointRadius: return std::make_unique<CMA_3PointradiusToolHandler>();
    case kMeasureAngle: return std::make_unique<CMA_AngleToolHandler>();
    default: return nullptr;
  }
}

CMeasure_Dlg::CMeasure_Dlg(int type) : Tessel::Dialog(LayoutOf(type), nullptr), type_(type) {}

std::unique_ptr<CMeasure_Dlg> CMeasureDlgMgr::Make(int type) {
  switch (type) {
    case kMeasureDistance: return std::make_unique<CMeasure_Distance_Dlg>();
    case kMeasurePerimeter: return std::make_unique<CMeasure_Perimeter_Dlg>();
    case kMeasurePolylength: return std::make_unique<CMeasure_Polylenth_Dlg>();
    case kMeasureArea: return std::make_unique<CMeasure_AreaOfPolygon_Dlg>();
    case kMeasureCircleArea: return std::make_unique<CMeasure_AreaOfCircle_Dlg>();
    case kMeasureDiameter: return std::make_unique<CMeasure_Diameter_Dlg>();
    case kMeasureCenterRadius: return std::make_unique<CMeasure_CenterRadius_Dlg>();
    case kMeasure3PointRadius: return std::make_unique<CMeasure_ThreePointRadius_Dlg>();
    case kMeasureAngle: return std::make_unique<CMeasure_Angle_Dlg>();
    case kMeasureVolume: return std::make_unique<CMeasure_Volume_Dlg>();
    default: return nullptr;
  }
}

}  // namespace AnnotationPlugin
