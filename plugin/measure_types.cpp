#include "plugin/measure_types.h"

#include "kwannotation/kw_annot_dict.h"
#include "plugin/host_binding.h"

namespace AnnotationPlugin {
namespace {

const MeasureTypeInfo kRows[] = {
    {kMeasureDistance, "DISTANCE", "Button_Distance", "IDS_DISTANCE", "Line", "LineDimension", u"Distance",
     u"Annotation\\Distance", u"Measurement\\Distance", "ma_dlg_distance.ui.kw", "IDS_DISTANCE_MEASURE",
     "Ribbon_comment_measure_Distance_32", "Ribbon_comment_measure_Distance_16", "IDS_DISTANCE", nullptr},
    {kMeasurePerimeter, "Perimeter", "Button_Perimeter", "IDS_PERIMETER", "PolyLine", "PolyLineDimension",
     u"perimeter", u"Annotation\\Perimeter", u"Measurement\\Perimeter", "ma_dlg_perimeter.ui.kw",
     "IDS_PERIMETER_MEASURE", "Ribbon_comment_measure_Perimeter_32", "Ribbon_comment_measure_Perimeter_16", "IDS_PERIMETER", nullptr},
    {kMeasureArea, "Area", "Button_Area", "IDS_AREA", "Polygon", "PolygonDimension", u"area", u"Annotation\\Area",
     u"Measurement\\AreaOfPolygon", "ma_dlg_area_polygon.ui.kw", "IDS_AREA_MEASURE",
     "Ribbon_comment_measure_Area_32", "Ribbon_comment_measure_Area_16", "IDS_STR_AREA", nullptr},
    {kMeasureCircleArea, "CircleArea", "Button_Circle_Area", "IDS_CIRCLEAREA", "Circle", "CircleDimension",
     u"circleArea", u"Annotation\\CircleArea", u"Measurement\\AreaOfCircle", "ma_dlg_area_circle.ui.kw",
     "IDS_AREA_MEASURE", "Ribbon_areacircle_32", "Ribbon_areacircle_16", "IDS_STR_AREA", nullptr},
    {kMeasurePolylength, "POLYLENGTH", "Button_Polylength", "IDS_POLYLENGTH", "PolyLine", "PolyLineDimension",
     u"polylength", u"Annotation\\Polylength", u"Measurement\\PolyLength", "ma_dlg_polylength.ui.kw",
     "IDS_POLYLENGTH_MEASURE", "Ribbon_comment_measure_PolyLength_32", "Ribbon_comment_measure_PolyLength_16", "IDS_POLYLENGTH", "/RiseDrop"},
    {kMeasureDiameter, "DIAMETER", "Button_Diameter", "IDS_DIAMETER", "Circle", "CircleDimension", u"Diameter",
     u"Annotation\\CircleDiameter", u"Measurement\\Diameter", "ma_dlg_diameter.ui.kw", "IDS_DIAMETER_MEASURE",
     "Ribbon_comment_measure_Diameter_32", "Ribbon_comment_measure_Diameter_16", "IDS_DIAMETER", "/MeasurementTypes"},
    {kMeasureCenterRadius, "CENTERRADIUS", "Button_CenterRadius", "IDS_CENTERRADIUS", "Polygon", "PolygonRadius",
     u"centerradius", u"Annotation\\Radius", u"Measurement\\Radius", "ma_dlg_center_radius.ui.kw",
     "IDS_RADIUS_MEA", "Ribbon_comment_measure_Center_Radius_32", "Ribbon_comment_measure_Center_Radius_16", "IDS_RADIUS", nullptr},
    {kMeasure3PointRadius, "3POINTRADIUS", "Button_3PointRadius", "IDS_3POINTRADIUS", "Polygon", "PolygonRadius",
     u"3pointradius", u"Annotation\\Radius", u"Measurement\\Radius", "ma_dlg_3point_radius.ui.kw",
     "IDS_RADIUS_MEA", "Ribbon_comment_measure_3_Point_Radius_32", "Ribbon_comment_measure_3_Point_Radius_16", "IDS_RADIUS", nullptr},
    {kMeasureVolume, "VOLUME", "Button_Volume", "IDS_VOLUME", "Polygon", "PolygonVolume", u"volume",
     u"Annotation\\Volume", u"Measurement\\Volume", "ma_dlg_volume.ui.kw", "IDS_VOLUME_MEASURE",
     "Ribbon_comment_measure_Volume_32", "Ribbon_comment_measure_Volume_16", "IDS_VOLUME", nullptr},
    {kMeasureAngle, "ANGLE", "Button_Angle", "IDS_ANGLE", "PolyLine", "PolyLineAngle", u"Angle",
     u"Annotation\\Angle", u"Measurement\\Angle", "ma_dlg_angle.ui.kw", "IDS_ANGLE_MEASURE",
     "Ribbon_comment_measure_Angle_32", "Ribbon_comment_measure_Angle_16", "IDS_ANGLE", nullptr},
};

const MeasureType kRibbonOrder[] = {kMeasureDistance,   kMeasurePerimeter,    kMeasurePolylength,
                                    kMeasureArea,       kMeasureCircleArea,   kMeasureDiameter,
                                    kMeasureCenterRadius, kMeasure3PointRadius, kMeasureAngle,
                                    kMeasureVolume};

}  // namespace

int MeasureTypeOfAnnot(KPD_Dictionary annot) {
  if (!annot) return kMeasureNone;
  const std::string name = kwannotation::dict::GetName(annot, "/IT");
  if (name.empty()) return kMeasureNone;
  // Types that share an intent: the one whose marker key the annotation
  // has, else the first without a marker.
  MeasureType plain = kMeasureNone;
  for (const MeasureTypeInfo& row : kRows) {
    if (name != row.intent) continue;
    if (!row.markerKey) {
      if (plain == kMeasureNone) plain = row.type;
    } else if (Host::DictHasKey(annot, row.markerKey)) {
      return row.type;
    }
  }
  return plain;
}

const MeasureTypeInfo* MeasureTypeRow(int type) {
  for (const MeasureTypeInfo& row : kRows)
    if (row.type == type) return &row;
  return nullptr;
}

MeasureType MeasureTypeFromToolName(std::string_view name) {
  for (const MeasureTypeInfo& row : kRows)
    if (name == row.toolName) return row.type;
  return kMeasureNone;
}

const MeasureType* RibbonOrder(int* count) {
  *count = static_cast<int>(sizeof kRibbonOrder / sizeof kRibbonOrder[0]);
  return kRibbonOrder;
}

int MeasureCapabilities(int type) {
  switch (type) {
    case 1: return 113;
    case 2: return 353;
    case 3: return 509;
    case 4: return 96;
    case 5: return 355;
    case 6: return 237;
    case 7:
    case 8: return 32;
    case 9: return 493;
    case 11: return 511;
    default: return 0;
  }
}

int DefaultShowCaption(int type) {
  switch (type) {
    case kMeasureDistance:
    case kMeasurePerimeter:
    case kMeasurePolylength:
    case kMeasureCenterRadius:
    case kMeasure3PointRadius: return 130;
    case kMeasureArea:
    case kMeasureCircleArea: return 129;
    case kMeasureDiameter: return 384;
    case kMeasureVolume: return 132;
    case kMeasureAngle: return 1152;
    default: return 128;
  }
}

bool IsLineMeasure(int type) {
  return type == kMeasureDistance || type == kMeasurePerimeter || type == kMeasurePolylength ||
         type == kMeasureAngle || type == kMeasureCenterRadius || type == kMeasure3PointRadius;
}

}  // namespace AnnotationPlugin
