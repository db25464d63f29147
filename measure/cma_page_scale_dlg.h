// The page-scale dialog and what opens it: the ratio (preset or custom),
// the pages it applies to and the precision, checked on OK; in
// calibration mode it opens with the measured page length as the paper
// side of a custom ratio, and the user types the real length.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/cma_page_scale.h"

namespace AnnotationPlugin {

// How the dialog ended.
enum class PageScaleResult { kCancelled, kConfirmed, kCalibrate };

class CPageScaleDlg {
 public:
  // `calibratedLength`: the page length (points) measured by the
  // calibration tool; the dialog then opens in calibration mode.
  CPageScaleDlg(KA_Document doc, int currentPage, std::optional<double> calibratedLength = std::nullopt);

  // Shows the dialog until it is confirmed with values that can be
  // applied, cancelled, or left for calibration. Invalid values and page
  // ranges are told in a message box and the dialog stays open.
  PageScaleResult Run();

  // The values confirmed (valid after kConfirmed) and the pages they apply to.
  const ScaleDataModel& Model() const { return model_; }
  const std::vector<int>& Pages() const { return pages_; }

 private:
  KA_Document doc_;
  std::optional<double> calibrated_;
  ScaleDataModel model_;
  std::vector<int> pages_;
};

// Shows `text` from `table` in a message box.
void ShowScaleMessage(const ScaleMessage& message);

// The page-scale dialog of the measure group: opens for the document's
// active page and applies what it confirms as one undo step. With
// `calibratedLength` it is the calibration's dialog. True when a scale was
// applied.
bool CMA_MeasurePageScaleDlg(KA_Document doc, int pageIndex, std::optional<double> calibratedLength = std::nullopt,
                             PageScaleResult* result = nullptr);

}  // namespace AnnotationPlugin
