// The contextual "Format" tab of the measuring module: shown while a
// measuring tool is current or a measurement is selected, for the context
// "Format_Measure_Line" (distance, perimeter, polylength, angle and the
// radius lines) or "Format_Measure_Shape" (areas, volume, circles), and
// hidden otherwise. Its groups: the page scale, the properties of the
// selected measurements, the snap modes, the measuring settings and the
// export.
#pragma once

#include <string>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

class CMA_CalibrationTool;

inline constexpr char kFormatTab[] = "Format";
inline constexpr char kFormatLineContext[] = "Format_Measure_Line";
inline constexpr char kFormatShapeContext[] = "Format_Measure_Shape";

// The context a measurement type shows the tab for; empty for kMeasureNone.
const char* FormatContextFor(int type);

// The snap group: the four snap modes as check buttons, each showing the
// host's state of its mode and stored in preference section "snap".
class CMA_MeasureSnapDlg {
 public:
  static void Build(KA_RibbonElement group);
  // Shows each mode's present state on its button.
  static void Refresh();
};

class CMA_FormatTab {
 public:
  // Makes the tab and its groups for `frame` (once; hidden until a tool or
  // a selection shows it).
  void Build(KA_Frame frame, CMA_CalibrationTool* calibration);
  // Takes the tab away (the plug-in is leaving).
  void Remove();

  // A measuring tool became current or stopped being current. The tab
  // follows the host's current tool, else the selection.
  void ToolChanged();
  // The selection of a document changed, or a measurement on its pages.
  void SelectionChanged();

  KA_RibbonElement Tab() const { return tab_; }
  KA_Frame Frame() const { return frame_; }

 private:
  void Update();
  // The properties group shows the focused measurement's values.
  void RefreshProperties();
  // The properties group's subject line names the figure of `type`.
  void ShowSubject(int type);
  // The depth button shows the depth of the selected volume or the volume tool.
  void ShowDepth();

  KA_Frame frame_ = nullptr;
  KA_RibbonElement tab_ = nullptr;
  const char* subjectKey_ = nullptr;  // what the subject line reads now
  std::u16string depthTitle_;         // what the depth button reads now
};

// The tab the measuring module and its tools share.
CMA_FormatTab& MeasureFormatTab();

}  // namespace AnnotationPlugin
