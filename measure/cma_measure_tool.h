// The measuring tools: clicks on a page become a measurement annotation
// (a line, polyline, polygon or circle with a measurement intent, a measure
// dictionary and the measured value as its contents). One base carries the
// gesture; each type differs in its click rules and in the figure it makes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kwannotation/kw_measure_dict.h"
#include "measure/cma_figure_values.h"
#include "plugin/measure_types.h"
#include "plugin/annot_tool_handler.h"
#include "plugin/annot_undo.h"

namespace AnnotationPlugin {

// The settings a tool reads from its settings section when a gesture starts.
// A unit left empty is not set: the values are then shown in the unit of
// the scale measured against.
struct MeasureToolSettings {
  std::u16string label;
  std::u16string lengthUnit;
  std::u16string areaUnit;
  std::u16string volumeUnit;
  std::u16string depthUnit;  // empty: the depth is in the scale's length unit
  double depth = 1.0;
  int slopeType = 1;
  int showSegment = 0;
  int showCaption = 128;
};
MeasureToolSettings ReadMeasureToolSettings(int type);

// Writes the volume tool's depth ("Depth" and "DepthUnit" of its settings
// section); false, nothing written, when `depth` is not a positive finite
// number or `unit` (empty: the scale's unit) is not a length unit.
bool WriteVolumeToolDepth(double depth, const std::u16string& unit);

// `measure` with the units the settings set (length, area, volume) at the
// same ratio: a converted copy, or `measure` itself when the settings set
// none that it can show.
kwannotation::CKW_MeasureDict InToolUnits(const kwannotation::CKW_MeasureDict& measure,
                                          const MeasureToolSettings& settings);

// The style a tool gives its annotations: host defaults unless the style
// section's "HasSetting" is set.
struct MeasureToolStyle {
  bool hasSetting = false;
  int color = 255;  // a host colour value: red in the low byte
  std::optional<int> fillColor;
  int opacity = 100;
  bool textInLine = false;
};
MeasureToolStyle ReadMeasureToolStyle(int type);

// The undo item of a created measurement: undo takes the annotation (and
// a pop-up opened for it) off its page, redo puts the same dictionaries
// back at the same place.
class CMSA_UndoCreate final : public CAnnot_BaseUndo {
 public:
  CMSA_UndoCreate(KA_Document doc, int pageIndex, KPD_Dictionary dict, int index);
  void Undo() override;
  void Redo() override;

 private:
  KPD_Page Page() const;
  KA_Document doc_;
  int pageIndex_;
  KPD_Dictionary dict_;
  int index_;
  KPD_Dictionary popup_ = nullptr;  // the pop-up undo took away with it
};

class CMA_MeasureToolBase : public CAnnot_ToolHandler {
 public:
  explicit CMA_MeasureToolBase(MeasureType type) : type_(type) {}
  ~CMA_MeasureToolBase() override = default;

  MeasureType Type() const { return type_; }
  std::string GetName() const override;
  // The contextual "Format" tab follows the current measuring tool.
  void OnActivate(bool persistent) override;
  void OnDeactivate() override;
  bool OnKeyDown(int32_t key, uint32_t flags) override;
  bool IsUsableNow() override { return CurrentDocumentAllowsAnnotEdits(); }
  bool IsBusy() override { return started_; }
  bool OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override { return started_; }
  bool OnRButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override;
  bool OnRButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) override { return started_; }
  bool OnMouseWheel(KA_PageView view, uint32_t flags, int16_t delta, const KS_DevicePoint& pt) override {
    return false;
  }
  void OnPaint(KA_PageView view, KA_Device device, intptr_t value, uint32_t flags) override;

  // Ends the figure as a double click does; false when no annotation came
  // of it.
  bool Complete();
  // Drops the gesture without an annotation.
  void Drop();

  // The points of the figure so far, in page space.
  const std::vector<KS_FloatPoint>& Points() const { return points_; }
  bool InLeaderPhase() const { return leaderPhase_; }

  // The scale prompt: when the page has no scale yet, the page-scale
  // dialog; the ratio the user applied, or nothing when the user cancels.
  static std::optional<kwannotation::MeasureRatioPair> TryShowScaleDialog(KA_Document doc, int pageIndex);

 protected:
  // The page point of a device point of `view`, on the drawing's feature
  // that snapping finds there unless Shift is held (`flags`); false when it
  // is off the page.
  bool ToPage(KA_PageView view, const KS_DevicePoint& pt, uint32_t flags, KS_FloatPoint* out) const;
  // Whether a page point lies on the page of `view` (its crop box, else its
  // media box).
  static bool OnPage(KA_PageView view, KS_FloatPoint p);

 private:
  KS_FloatPoint Constrained(uint32_t flags, KS_FloatPoint p) const;
  // Circle area and diameter: the page point of the corner a drag to the
  // device point `pt` makes, clamped to the page and, with Shift or for a
  // diameter, making a square with the press; false when it has none.
  bool DraggedCorner(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt, KS_FloatPoint* out) const;
  bool Start(KA_PageView view, KS_FloatPoint p);
  // Repaints the page of the gesture and brings the read-out up to date;
  // `pointerMoved`: only the point at the pointer changed.
  void Invalidate(bool pointerMoved = false);
  // The figure so far (`final`: without the point that follows the
  // pointer); false when it is under its type's minimum. Paths and
  // polygons come as sums while they are drawn, as points when final.
  bool CurrentFigure(bool final, MeasureFigure* out) const;
  // Fixes the point that followed the pointer as a vertex, and starts a
  // new one there.
  void FixVertex(KS_FloatPoint p);
  void UpdatePanel();
  // Makes the measurement of the finished figure; false when none was made.
  bool Create();

  MeasureType type_;
  KA_PageView view_ = nullptr;
  std::vector<KS_FloatPoint> points_;  // the last one follows the pointer
  bool started_ = false;
  bool finishing_ = false;
  bool leaderPhase_ = false;
  KS_DevicePoint pressDevice_{};
  bool markerShown_ = false;  // a snap marker is up before the first click
  MeasureToolSettings settings_;
  std::u16string depthUnit_;  // the unit of the depth setting
  double depthInX_ = 1.0;     // the depth setting in the units of the scale's "X" array
  MeasureToolStyle style_;
  // The scale of the gesture: a viewport's measure dictionary, or one made
  // from the default ratio.
  kwannotation::CKW_MeasureDict liveMeasure_;
  // Paths and polygons: the sums of the clicked vertices but the one that
  // follows the pointer, repeats left out, so that neither a click nor a
  // move goes over the vertices before it.
  PathSums fixed_;
  PathSums fixedBefore_;  // the same without the last vertex
  // The device points of the vertices before the one that follows the
  // pointer, while the page view's matrix stays `deviceMatrix_`.
  std::vector<KS_DevicePoint> device_;
  KS_Matrix deviceMatrix_{};
};

// Whether three points give a circle of radius at least 2.0, and which.
bool CircleThrough(KS_FloatPoint p1, KS_FloatPoint p2, KS_FloatPoint p3, KS_FloatPoint* centre, double* radius);

// The point `p` put on the nearest multiple of 45 degrees around `from`,
// at the same distance; `p` itself when it is at most 1.0 away.
KS_FloatPoint ConstrainTo45(KS_FloatPoint from, KS_FloatPoint p);

}  // namespace AnnotationPlugin
