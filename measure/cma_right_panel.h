// The right-hand panel of the measuring tools: one headless dialog per
// measurement type, made from its layout file, whose value labels follow
// the figure while a gesture runs. Each change of a shown text is reported
// to the host's trace.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "sdk/ks_types.h"
#include "tessel/dialog.h"

namespace AnnotationPlugin {

class CMA_RightPanelMgr {
 public:
  // Shows the panel of `type` (hiding another one) and sets its value
  // labels; labels the layout lacks are skipped.
  void Show(int type, const std::map<std::u16string, std::u16string>& values);
  void HideAll();
  // The dialog of a type once it was shown; null before.
  Tessel::Dialog* Dialog(int type) const;
  int ShownType() const { return shown_; }

 private:
  std::map<int, std::unique_ptr<Tessel::Dialog>> dialogs_;
  int shown_ = 0;
};

// The panel the measuring tools share.
CMA_RightPanelMgr& MeasureRightPanel();

// Shows the values of the one measurement selected in `doc` in the panel;
// with none or several selected the panel is hidden. Nothing when the
// panel is turned off ("Show Dialog" of "Measurement").
void ShowSelectedMeasurement(KA_Document doc);

}  // namespace AnnotationPlugin
