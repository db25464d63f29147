// Export of every measurement of a document to a comma-separated text
// file: one row per measurement with its label, its kind and the value it
// shows. The file is UTF-8 with a byte order mark, rows end in CR LF and
// every field is in double quotes (a quote inside doubled).
//
// The new file is written beside the chosen one and takes its place only
// when every row is written: a failed or cancelled export leaves a file
// that was there before exactly as it was.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// The translation key of the kind a measurement annotation is exported
// as, from its "IT" ("RiseDrop" tells a polylength from a perimeter,
// "MeasurementTypes" a diameter from a circle area); null for an
// annotation that is not exported.
const char* MeasureExportKindKey(KPD_Dictionary annot);

// One row of three fields, with its line end.
std::string MeasureCsvRow(std::u16string_view label, std::u16string_view kind, std::u16string_view value);

// Any number of fields as one row, with its line end.
std::string MeasureCsvFields(const std::vector<std::u16string_view>& fields);

// A value as a measurement shows it, read back: "1,234.50 sq m" is 1234.5
// in "sq m" with two decimals, "6 3/8 in" is 6.375 in "in", and the
// feet-and-inches form "10'-6 1/2\"" is 10.541666... in "ft". Thousands are
// grouped by "," in threes and "." is the decimal point, as the measuring
// tools write them. Empty when the text is not one number and a unit (a
// unit holds no digit), or the number is not finite.
struct ShownMeasurement {
  double value = 0;
  int decimals = 0;   // as written; a fraction counts as 2
  std::u16string unit;
};
std::optional<ShownMeasurement> ReadShownMeasurement(std::u16string_view text);

// The totals of a takeoff: one per label, kind and unit, in the order they
// first come. Lengths, areas and volumes are summed; angles and radii, and
// values that cannot be read back, are only counted.
class MeasureTotals {
 public:
  struct Total {
    std::u16string label;
    std::string kindKey;
    std::u16string unit;
    int count = 0;
    bool summed = false;
    double sum = 0;
    int decimals = 0;  // the most any summed value shows
  };
  // Adds one exported row: its label, the kind key MeasureExportKindKey
  // gave and the contents it shows.
  void Add(std::u16string_view label, const char* kindKey, std::u16string_view contents);
  const std::vector<Total>& Totals() const { return totals_; }
  // The sum as it is written in a total row: the number with the group's
  // decimals and its unit; empty for a group that is only counted.
  static std::u16string SumText(const Total& total);

 private:
  std::vector<Total> totals_;
};

struct MeasureExportOptions {
  // After the rows: a blank row, a header of label, kind, total and count
  // (the translations of "IDS_STR_LABEL", "IDS_STR_TYPE", "IDS_STR_TOTAL"
  // and "IDS_STR_COUNT"), and one row per total of MeasureTotals.
  bool totals = false;
};

// The proposed file of an export: the document's file with its extension
// (what follows the last "." of the last path part) replaced by ".csv", or
// ".csv" added when it has none.
std::u16string MeasureExportFileFor(std::u16string_view documentPath);

enum class MeasureExportStatus {
  kWritten,
  kNothingToExport,  // no measurement: nothing written, a file there kept
  kCannotReplace,    // what is there may not be replaced: a folder, a pipe, a read-only file
  kSaveError,        // nothing can be written there
  kCancelled,        // the user stopped it; a file there kept
};

struct MeasureExportResult {
  MeasureExportStatus status = MeasureExportStatus::kSaveError;
  int rows = 0;        // measurements written
  std::string reason;  // the system's words for a file error
};

// Told the share done, 0 to 100, as the pages go by; false cancels.
using MeasureExportProgress = std::function<bool(int percent)>;

// Writes the measurements of every page of `doc`, in page order and in
// the order of each page's "Annots", to the absolute `path`. The header
// row holds the translations of "IDS_STR_LABEL", "IDS_STR_TYPE" and
// "IDS_STR_VALUE"; each further row an annotation's "Label", its kind and
// its "Contents".
MeasureExportResult ExportMeasurements(KPD_Document doc, const std::u16string& path,
                                       const MeasureExportProgress& progress,
                                       const MeasureExportOptions& options = {});

// The translation key of the message that tells the user about `status`;
// null when there is nothing to tell (written, or cancelled by the user).
const char* MeasureExportMessageKey(MeasureExportStatus status);

// The export as the measure ribbon runs it: a save dialog proposing the
// document's name with ".csv", the host's progress indicator, and the
// message of a failure. False when nothing was written.
class CMA_MeasureExportDlg {
 public:
  static bool Run(KA_Document doc);
};

// Adds the export button ("Button_Measure_Export") to the measure panel
// of a frame; a press exports the current document.
void AddMeasureExportButton(KA_RibbonElement panel);

}  // namespace AnnotationPlugin
