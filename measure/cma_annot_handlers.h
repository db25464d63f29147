// Editing existing measurements: handlers registered by "Subtype/Intent"
// (the host prefers them to the plain shape handlers) whose objects
// re-derive the measured value and the caption each time the figure is
// moved or reshaped. The shape editing and its undo items are the drawing
// module's.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drawing/cda_shapes.h"
#include "plugin/measure_types.h"

namespace kwannotation {
struct KwMeasureTexts;
}

namespace AnnotationPlugin {

// The contents a measurement should hold for its geometry and its own
// measure dictionary (the value lines of its caption); nothing when the
// value cannot be shown.
std::optional<std::u16string> DerivedContents(KPD_Dictionary annot, KPD_Document doc);

// Writes DerivedContents into /Contents; false when there is none.
bool RederiveContents(KPD_Dictionary annot, KPD_Document doc);
// The same from the annotation's texts computed already.
bool RederiveContents(KPD_Dictionary annot, const kwannotation::KwMeasureTexts& texts);

// The PDF document of an editor annotation; null when there is none.
KPD_Document MeasureDocOf(KA_Annot annot);

// The measurement objects: the shape object that also keeps its value.
template <typename Shape>
class CMA_MeasureShape : public Shape {
 public:
  using Shape::Shape;
  void Regenerate() override {
    if (this->GetDict()) RederiveContents(this->GetDict(), MeasureDocOf(this->GetAnnot()));
    Shape::Regenerate();
  }
};
using CMA_Distance = CMA_MeasureShape<CDA_Line>;
using CMA_Perimeter = CMA_MeasureShape<CDA_PolyLine>;
using CMA_Angle = CMA_MeasureShape<CDA_PolyLine>;
using CMA_Area = CMA_MeasureShape<CDA_Polygon>;
using CMA_Radius = CMA_MeasureShape<CDA_Polygon>;
using CMA_Diameter = CMA_MeasureShape<CDA_Circle>;

// The base of the measurement handlers: selectable only while the current
// host tool is "Annot", "Hand" or one of the handler's own tools.
class CMeasure_AnnotHandler : public CMarkup_AnnotHandler {
 public:
  bool IsSelectable(CMarkup_Annot* obj) override;
  // Whether `toolName` is one of this handler's tools for `annot`.
  virtual bool IsOwnTool(const std::string& toolName, KPD_Dictionary annot) const = 0;
};

template <typename Object>
class CMA_MeasureHandler : public CMeasure_AnnotHandler {
 public:
  // `tools`: the tool names of the handler; for perimeters the list is
  // narrowed by the annotation's "RiseDrop" key.
  explicit CMA_MeasureHandler(std::vector<std::string> tools) : tools_(std::move(tools)) {}
  bool IsOwnTool(const std::string& toolName, KPD_Dictionary annot) const override;
  // Slot 2: a tool name given as text.
  bool AcceptsToolName(const std::string& toolName) override {
    return std::find(tools_.begin(), tools_.end(), toolName) != tools_.end();
  }

 protected:
  std::unique_ptr<CMarkup_Annot> MakeAnnot(KA_Annot annot) override { return std::make_unique<Object>(annot); }

 private:
  std::vector<std::string> tools_;
};

// Whether vertex `index` of the polygon of `annot` (its /Vertices) may move
// to the page point `to`: false when an edge at it would then cross an edge
// that shares no vertex with it. An index the polygon does not have is left
// to the editing itself to refuse.
bool VertexMoveKeepsPolygonSimple(KPD_Dictionary annot, int index, KS_FloatPoint to);

// The handler of areas and volumes: a vertex dragged to where the polygon
// would cross itself stays where it was (nothing changes, nothing to undo).
class CMA_AreaHandler : public CMA_MeasureHandler<CMA_Area> {
 public:
  using CMA_MeasureHandler<CMA_Area>::CMA_MeasureHandler;
  bool MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt) override;
};

// The distance handler: the flip item of the context menu, and the parts of
// a distance with leaders and a caption, each of which a drag takes on its
// own (the dimension line sets "LL", a leader's outer end "LLE", the
// caption "CO", an end of the dimension line moves its measured point).
class CMA_DistanceHandler : public CMA_MeasureHandler<CMA_Distance> {
 public:
  // The item id of the flip, and the MovePoint indices of the parts
  // beyond the two measured points 0 and 1.
  static constexpr const char* kFlipItem = "FlipLineMenuItem";
  enum Part : int32_t { kDimensionLine = 2, kExtension = 3, kCaption = 4, kLineEnd0 = 5, kLineEnd1 = 6 };

  CMA_DistanceHandler() : CMA_MeasureHandler<CMA_Distance>({"DISTANCE"}) {}

  void AddMenuItems(KA_PageView view, CMarkup_Annot* obj, KA_Menu menu) override;
  bool RunMenuItem(KA_PageView view, CMarkup_Annot* obj, const std::string& itemId) override;
  // Turns the dimension line over to the other side of the measured points
  // (the line's own flip); re-derives the value and records one undo item.
  bool Flip(CMarkup_Annot* obj);

  // The rectangle's box, or any drawn part: the dimension line, the leaders
  // out to their extension and the caption.
  bool HitTest(KA_PageView view, CMarkup_Annot* obj, KS_DevicePoint pt) override;
  int32_t HandleAt(KA_PageView view, CMarkup_Annot* obj, const KS_DeviceRect& rect, KS_DevicePoint pt,
                   int32_t flags) override;
  bool MovePoint(KA_PageView view, CMarkup_Annot* obj, int32_t index, KS_DevicePoint pt) override;

 private:
  // Where the caption was grabbed, so that a drag moves it by the pointer's
  // way rather than onto the pointer.
  KS_FloatPoint captionGrab_{0, 0};
};

// The registered handlers of the measuring module.
std::vector<std::unique_ptr<CMarkup_AnnotHandler>> MakeMeasureAnnotHandlers();

}  // namespace AnnotationPlugin
