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
#include <string>
#include <string_view>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

// The translation key of the kind a measurement annotation is exported
// as, from its "IT" ("RiseDrop" tells a polylength from a perimeter,
// "MeasurementTypes" a diameter from a circle area); null for an
// annotation that is not exported.
const char* MeasureExportKindKey(KPD_Dictionary annot);

// One row of three fields, with its line end.
std::string MeasureCsvRow(std::u16string_view label, std::u16string_view kind, std::u16string_view value);

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
                                       const MeasureExportProgress& progress);

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
