#include "measure/cma_measure_export.h"

#include <memory>

#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_utf.h"
#include "tessel/file_dialog.h"

namespace AnnotationPlugin {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool NameIs(KPD_Dictionary dict, const char* key, const char* name) {
  KPD_Object obj = Host::DictGet(dict, key);
  return obj && Host::NameIs(obj, name);
}

std::u16string TextOf(KPD_Dictionary dict, const char* key) {
  KPD_Object obj = Host::DictGet(dict, key);
  Host::WideString out;
  if (!obj || !Host::StringObjectGetText(obj, out.get())) return {};
  return out.str();
}

void AppendField(std::string& row, std::u16string_view text) {
  row += '"';
  for (char c : ks::ToUtf8(text)) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

// A file being written in place of another; discarded unless committed.
class Replacement {
 public:
  ~Replacement() {
    if (file_) Host::FileReplaceDiscard(file_);
  }
  bool Begin(const std::u16string& path, int32_t* status, std::string* reason) {
    Host::ByteString why;
    file_ = Host::FileReplaceBegin(path.c_str(), status, why.get());
    *reason = why.str();
    return file_ != nullptr;
  }
  bool Write(const std::string& bytes) { return Host::FileReplaceWrite(file_, bytes.data(), bytes.size()) != 0; }
  bool Commit(std::string* reason) {
    Host::ByteString why;
    const bool ok = Host::FileReplaceCommit(file_, why.get()) != 0;
    file_ = nullptr;
    *reason = why.str();
    return ok;
  }

 private:
  KA_FileReplacement file_ = nullptr;
};

}  // namespace

const char* MeasureExportKindKey(KPD_Dictionary annot) {
  if (!annot) return nullptr;
  if (NameIs(annot, "/IT", "/LineDimension")) return "IDS_DISTANCE";
  if (NameIs(annot, "/IT", "/PolyLineDimension"))
    return Host::DictHasKey(annot, "/RiseDrop") ? "IDS_POLYLENGTH" : "IDS_PERIMETER";
  if (NameIs(annot, "/IT", "/PolyLineAngle")) return "IDS_ANGLE";
  if (NameIs(annot, "/IT", "/PolygonDimension")) return "IDS_STR_AREA";
  if (NameIs(annot, "/IT", "/CircleDimension"))
    return Host::DictHasKey(annot, "/MeasurementTypes") ? "IDS_DIAMETER" : "IDS_STR_AREA";
  if (NameIs(annot, "/IT", "/PolygonRadius")) return "IDS_RADIUS";
  if (NameIs(annot, "/IT", "/PolygonVolume")) return "IDS_VOLUME";
  return nullptr;
}

std::string MeasureCsvRow(std::u16string_view label, std::u16string_view kind, std::u16string_view value) {
  std::string row;
  AppendField(row, label);
  row += ',';
  AppendField(row, kind);
  row += ',';
  AppendField(row, value);
  row += "\r\n";
  return row;
}

std::u16string MeasureExportFileFor(std::u16string_view documentPath) {
  const size_t slash = documentPath.find_last_of(u"/\\");
  const size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
  const size_t dot = documentPath.rfind(u'.');
  std::u16string out(documentPath);
  if (dot != std::u16string_view::npos && dot >= nameStart) out.erase(dot);
  return out + u".csv";
}

MeasureExportResult ExportMeasurements(KPD_Document doc, const std::u16string& path,
                                       const MeasureExportProgress& progress) {
  MeasureExportResult result;
  if (!doc) return result;
  Replacement file;
  int32_t status = KS_FILE_CANNOT_CREATE;
  if (!file.Begin(path, &status, &result.reason)) {
    result.status = status == KS_FILE_IN_USE ? MeasureExportStatus::kCannotReplace : MeasureExportStatus::kSaveError;
    return result;
  }
  const int pages = Host::DocPageCount(doc);
  for (int p = 0; p < pages; ++p) {
    if (progress && !progress(p * 100 / pages)) {
      result.status = MeasureExportStatus::kCancelled;
      return result;
    }
    KPD_Page page = Host::DocGetPage(doc, p);
    const int count = page ? Host::PageAnnotCount(page) : 0;
    for (int i = 0; i < count; ++i) {
      KPD_Dictionary annot = Host::PageGetAnnot(page, i);
      const char* kind = MeasureExportKindKey(annot);
      if (!kind) continue;
      std::string bytes;
      if (result.rows == 0) {
        bytes = kByteOrderMark;
        bytes += MeasureCsvRow(Widgets::Translate("IDS_STR_LABEL"), Widgets::Translate("IDS_STR_TYPE"),
                               Widgets::Translate("IDS_STR_VALUE"));
      }
      bytes += MeasureCsvRow(TextOf(annot, "/Label"), Widgets::Translate(kind), TextOf(annot, "/Contents"));
      if (!file.Write(bytes)) {
        // The reason comes with the commit that is refused below.
        result.status = MeasureExportStatus::kSaveError;
        file.Commit(&result.reason);
        return result;
      }
      ++result.rows;
    }
  }
  if (progress && !progress(100)) {
    result.status = MeasureExportStatus::kCancelled;
    return result;
  }
  if (result.rows == 0) {
    result.status = MeasureExportStatus::kNothingToExport;
    return result;
  }
  result.status = file.Commit(&result.reason) ? MeasureExportStatus::kWritten : MeasureExportStatus::kSaveError;
  return result;
}

const char* MeasureExportMessageKey(MeasureExportStatus status) {
  switch (status) {
    case MeasureExportStatus::kNothingToExport: return "IDS_STR_MEASUREMENT_NO_EXIST";
    // Told with the reason: a folder, not a regular file, read-only.
    case MeasureExportStatus::kCannotReplace: return "IDS_STR_EXPORT_CANNOT_REPLACE";
    case MeasureExportStatus::kSaveError: return "IDS_STR_SAVE_ERROR";
    case MeasureExportStatus::kWritten:
    case MeasureExportStatus::kCancelled: return nullptr;
  }
  return nullptr;
}

bool CMA_MeasureExportDlg::Run(KA_Document doc) {
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  if (!pdf) return false;
  Host::WideString docPath;
  const std::u16string proposed =
      Host::AppDocGetFilePath(doc, docPath.get()) ? MeasureExportFileFor(docPath.str()) : std::u16string(u"Measurements.csv");
  const std::vector<std::u16string> chosen =
      Tessel::FileDialogEx(nullptr, false, Widgets::Translate("IDS_EXPORT_TITLE"), u"(*.csv)|*.csv||", proposed);
  if (chosen.empty() || chosen[0].empty()) return false;
  std::u16string path = chosen[0];
  // The dialog's default extension.
  if (path.size() < 4 || path.compare(path.size() - 4, 4, u".csv") != 0) {
    const size_t slash = path.find_last_of(u"/\\");
    if (path.find(u'.', slash == std::u16string::npos ? 0 : slash + 1) == std::u16string::npos) path += u".csv";
  }

  const std::u16string title = Widgets::Translate("IDS_STR_SAVE_PROGRESS_TITLE");
  KA_Progress bar = Host::ProgressBegin(title.c_str(), 100);
  const MeasureExportResult result =
      ExportMeasurements(pdf, path, [bar](int percent) { return !bar || Host::ProgressSetValue(bar, percent) != 0; });
  if (bar) Host::ProgressEnd(bar);

  if (const char* key = MeasureExportMessageKey(result.status)) {
    std::u16string text = Widgets::Translate(key);
    if (!result.reason.empty()) text += u" (" + ks::ToUtf16(result.reason) + u")";
    Host::MessageBox(text.c_str(), Widgets::Translate("IDS_EXPORT_TITLE").c_str(), 0);
  }
  return result.status == MeasureExportStatus::kWritten;
}

void AddMeasureExportButton(KA_RibbonElement panel) {
  if (!panel) return;
  KA_RibbonElement button =
      Host::RibbonAddControl(panel, KS_RIBBON_BUTTON, "Button_Measure_Export", Widgets::Translate("IDS_EXPORT_TITLE").c_str(),
                             Widgets::Translate("IDS_TS_SELECTTOOLBOX_EXPORT").c_str());
  if (!button) return;
  Host::RibbonSetIcons(button, "right_panel_export", "right_panel_export");
  Host::RibbonSetPressProc(
      button, [](void*, KA_RibbonElement) { CMA_MeasureExportDlg::Run(Host::AppGetCurrentDocument()); }, nullptr);
}

}  // namespace AnnotationPlugin
