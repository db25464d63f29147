#include "measure/cma_tool_handlers.h"

#include <gtest/gtest.h>

#include "tessel/label.h"

namespace AnnotationPlugin {
namespace {

// Each tool name gets the handler class its row names; tools that share a
// class differ only by the type it was made with.
TEST(MeasureToolHandlers, EachToolNameGetsItsHandlerClassAndPanel) {
  struct Case {
    MeasureType type;
    const char* name;
    bool (*isClass)(const CMA_MeasureToolBase*);
    const char16_t* valueLabel;  // a label its panel has
  };
  auto is = [](auto* sample) {
    using T = std::remove_pointer_t<decltype(sample)>;
    return +[](const CMA_MeasureToolBase* t) { return dynamic_cast<const T*>(t) != nullptr; };
  };
  const Case cases[] = {
      {kMeasureDistance, "DISTANCE", is((CMA_DistanceToolHandler*)nullptr), u"label_length"},
      {kMeasurePerimeter, "Perimeter", is((CMA_PerimeterToolHandler*)nullptr), u"label_perimeter"},
      {kMeasurePolylength, "POLYLENGTH", is((CMA_PerimeterToolHandler*)nullptr), u"label_total_length"},
      {kMeasureArea, "Area", is((CMA_AreaToolHandler*)nullptr), u"label_area"},
      {kMeasureVolume, "VOLUME", is((CMA_AreaToolHandler*)nullptr), u"label_volume"},
      {kMeasureCircleArea, "CircleArea", is((CMA_CircleAreaToolHandler*)nullptr), u"label_area"},
      {kMeasureDiameter, "DIAMETER", is((CMA_DiameterToolHandler*)nullptr), u"label_diameter"},
      {kMeasureCenterRadius, "CENTERRADIUS", is((CMA_CenterradiusToolHandler*)nullptr), u"label_radius"},
      {kMeasure3PointRadius, "3POINTRADIUS", is((CMA_3PointradiusToolHandler*)nullptr), u"label_radius"},
      {kMeasureAngle, "ANGLE", is((CMA_AngleToolHandler*)nullptr), u"label_angle"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<CMA_MeasureToolBase> tool = MakeMeasureTool(c.type);
    ASSERT_TRUE(tool);
    EXPECT_TRUE(c.isClass(tool.get()));
    EXPECT_EQ(tool->Type(), c.type);
    EXPECT_EQ(tool->GetName(), c.name);
    std::unique_ptr<CMeasure_Dlg> dialog = CMeasureDlgMgr::Make(c.type);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Type(), c.type);
    EXPECT_TRUE(dialog->GetElement<Tessel::Label>(c.valueLabel));
  }
  EXPECT_FALSE(MakeMeasureTool(kMeasureNone));
  EXPECT_FALSE(MakeMeasureTool(11));
  EXPECT_FALSE(CMeasureDlgMgr::Make(0));
}

}  // namespace
}  // namespace AnnotationPlugin
