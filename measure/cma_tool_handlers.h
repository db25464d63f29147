// The measuring tools and right-hand panels by name: one thin class per
// tool handler and per panel dialog, each only fixing the measurement type
// of the shared base (CMA_MeasureToolBase, and the layout of its panel).
// The click rules, the figure and the measurement all live in the base.
#pragma once

#include <memory>

#include "measure/cma_measure_tool.h"
#include "tessel/dialog.h"

namespace AnnotationPlugin {

class CMA_DistanceToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_DistanceToolHandler() : CMA_MeasureToolBase(kMeasureDistance) {}
};

// Perimeter and polylength: one handler, two tool names.
class CMA_PerimeterToolHandler final : public CMA_MeasureToolBase {
 public:
  explicit CMA_PerimeterToolHandler(bool polylength)
      : CMA_MeasureToolBase(polylength ? kMeasurePolylength : kMeasurePerimeter) {}
};

// Polygon area and volume: one handler, two tool names.
class CMA_AreaToolHandler final : public CMA_MeasureToolBase {
 public:
  explicit CMA_AreaToolHandler(bool volume) : CMA_MeasureToolBase(volume ? kMeasureVolume : kMeasureArea) {}
};

class CMA_CircleAreaToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_CircleAreaToolHandler() : CMA_MeasureToolBase(kMeasureCircleArea) {}
};

class CMA_DiameterToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_DiameterToolHandler() : CMA_MeasureToolBase(kMeasureDiameter) {}
};

class CMA_CenterradiusToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_CenterradiusToolHandler() : CMA_MeasureToolBase(kMeasureCenterRadius) {}
};

class CMA_3PointradiusToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_3PointradiusToolHandler() : CMA_MeasureToolBase(kMeasure3PointRadius) {}
};

class CMA_AngleToolHandler final : public CMA_MeasureToolBase {
 public:
  CMA_AngleToolHandler() : CMA_MeasureToolBase(kMeasureAngle) {}
};

// The tool handler of a measurement type; null for an unknown type.
std::unique_ptr<CMA_MeasureToolBase> MakeMeasureTool(int type);

// The panel dialogs: the layout file of their type's row.
class CMeasure_Dlg : public Tessel::Dialog {
 public:
  explicit CMeasure_Dlg(int type);
  int Type() const { return type_; }

 private:
  int type_;
};

#define ANNOT_MEASURE_DLG(Name, Type)           \
  class Name final : public CMeasure_Dlg {      \
   public:                                      \
    Name() : CMeasure_Dlg(Type) {}              \
  };
ANNOT_MEASURE_DLG(CMeasure_Distance_Dlg, kMeasureDistance)
ANNOT_MEASURE_DLG(CMeasure_Perimeter_Dlg, kMeasurePerimeter)
ANNOT_MEASURE_DLG(CMeasure_Polylenth_Dlg, kMeasurePolylength)
ANNOT_MEASURE_DLG(CMeasure_AreaOfPolygon_Dlg, kMeasureArea)
ANNOT_MEASURE_DLG(CMeasure_AreaOfCircle_Dlg, kMeasureCircleArea)
ANNOT_MEASURE_DLG(CMeasure_Diameter_Dlg, kMeasureDiameter)
ANNOT_MEASURE_DLG(CMeasure_CenterRadius_Dlg, kMeasureCenterRadius)
ANNOT_MEASURE_DLG(CMeasure_ThreePointRadius_Dlg, kMeasure3PointRadius)
ANNOT_MEASURE_DLG(CMeasure_Angle_Dlg, kMeasureAngle)
ANNOT_MEASURE_DLG(CMeasure_Volume_Dlg, kMeasureVolume)
#undef ANNOT_MEASURE_DLG

// Picks the panel dialog of a type.
class CMeasureDlgMgr {
 public:
  // The dialog of `type`; null for an unknown type.
  static std::unique_ptr<CMeasure_Dlg> Make(int type);
};

}  // namespace AnnotationPlugin
