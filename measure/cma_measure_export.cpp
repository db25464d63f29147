#include "measure/cma_measure_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "plugin/host_binding.h"
#include "plugin/measure_types.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "tessel/file_dialog.h"

namespace AnnotationPlugin {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

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

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u00A0'; }

void SkipBlanks(std::u16string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// The run of digits at `pos`, appended to `out`; its length.
size_t TakeDigits(std::u16string_view text, size_t& pos, std::string& out) {
  const size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) out += static_cast<char>(text[pos++]);
  return pos - start;
}

bool ToDouble(const std::string& digits, double* value) {
  // Longer runs of digits than a double can tell apart are refused.
  if (digits.empty() || digits.size() > 40) return false;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
  return r.ec == std::errc() && r.ptr == digits.data() + digits.size() && std::isfinite(*value);
}

// "n/d" at `pos` with d above 0, as a number.
bool TakeFraction(std::u16string_view text, size_t& pos, double* value) {
  size_t p = pos;
  std::string n, d;
  if (!TakeDigits(text, p, n) || p >= text.size() || text[p] != u'/') return false;
  ++p;
  double num = 0, den = 0;
  if (!TakeDigits(text, p, d) || !ToDouble(n, &num) || !ToDouble(d, &den) || den <= 0) return false;
  pos = p;
  *value = num / den;
  return true;
}

// A number at `pos`: "1,234.5", "6", "6 3/8" or "3/8".
bool TakeNumber(std::u16string_view text, size_t& pos, ShownMeasurement* out) {
  if (TakeFraction(text, pos, &out->value)) {
    out->decimals = 2;
    return true;
  }
  size_t p = pos;
  std::string digits;
  if (!TakeDigits(text, p, digits)) return false;
  while (p + 3 < text.size() && text[p] == u',' && IsDigit(text[p + 1]) && IsDigit(text[p + 2]) &&
         IsDigit(text[p + 3]) && (p + 4 >= text.size() || !IsDigit(text[p + 4]))) {
    ++p;
    TakeDigits(text, p, digits);
  }
  int decimals = 0;
  if (p + 1 < text.size() && text[p] == u'.' && IsDigit(text[p + 1])) {
    digits += '.';
    ++p;
    decimals = static_cast<int>(TakeDigits(text, p, digits));
  } else {
    // A whole number may be followed by a fraction of one: "6 3/8".
    size_t q = p;
    SkipBlanks(text, q);
    double fraction = 0;
    if (q > p && TakeFraction(text, q, &fraction)) {
      double whole = 0;
      if (!ToDouble(digits, &whole)) return false;
      out->value = whole + fraction;
      out->decimals = 2;
      pos = q;
      return true;
    }
  }
  if (!ToDouble(digits, &out->value)) return false;
  out->decimals = decimals;
  pos = p;
  return true;
}

bool ContainsDigit(std::u16string_view text) {
  for (char16_t c : text)
    if (IsDigit(c)) return true;
  return false;
}

bool CountedOnly(const char* kindKey) {
  const std::string_view key = kindKey ? kindKey : "";
  return key == "IDS_ANGLE" || key == "IDS_RADIUS";
}

}  // namespace

std::string MeasureCsvFields(const std::vector<std::u16string_view>& fields) {
  std::string row;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) row += ',';
    AppendField(row, fields[i]);
  }
  row += "\r\n";
  return row;
}

std::optional<ShownMeasurement> ReadShownMeasurement(std::u16string_view text) {
  ShownMeasurement shown;
  size_t pos = 0;
  SkipBlanks(text, pos);
  if (!TakeNumber(text, pos, &shown)) return std::nullopt;
  if (pos < text.size() && (text[pos] == u'\'' || text[pos] == u'"')) {
    // Feet and inches: 10'-6 1/2", 10' or 6".
    const bool feet = text[pos] == u'\'';
    ++pos;
    if (feet && pos < text.size() && (text[pos] == u'-' || IsBlank(text[pos]))) {
      ++pos;
      ShownMeasurement inches;
      if (!TakeNumber(text, pos, &inches) || pos >= text.size() || text[pos] != u'"') return std::nullopt;
      ++pos;
      shown.value += inches.value / 12.0;
      shown.decimals = 2;
    }
    SkipBlanks(text, pos);
    if (pos != text.size()) return std::nullopt;
    shown.unit = feet ? u"ft" : u"in";
    return shown;
  }
  SkipBlanks(text, pos);
  size_t end = text.size();
  while (end > pos && IsBlank(text[end - 1])) --end;
  shown.unit = std::u16string(text.substr(pos, end - pos));
  if (shown.unit.empty() || ContainsDigit(shown.unit)) return std::nullopt;
  return shown;
}

void MeasureTotals::Add(std::u16string_view label, const char* kindKey, std::u16string_view contents) {
  std::optional<ShownMeasurement> shown;
  if (!CountedOnly(kindKey)) shown = ReadShownMeasurement(contents);
  // An angle keeps its unit so that degrees are not counted with radians;
  // an unreadable value has none.
  std::u16string unit;
  if (shown) unit = shown->unit;
  else if (auto angle = ReadShownMeasurement(contents)) unit = angle->unit;
  const std::string key = kindKey ? kindKey : "";
  Total* total = nullptr;
  for (Total& t : totals_)
    if (t.label == label && t.kindKey == key && t.unit == unit && t.summed == shown.has_value()) total = &t;
  if (!total) {
    totals_.push_back(Total{std::u16string(label), key, unit, 0, shown.has_value(), 0, 0});
    total = &totals_.back();
  }
  ++total->count;
  if (shown) {
    total->sum += shown->value;
    total->decimals = std::max(total->decimals, shown->decimals);
  }
}

std::u16string MeasureTotals::SumText(const Total& total) {
  if (!total.summed) return {};
  return ks::ToUtf16(ks::FormatFixed(total.sum, std::min(total.decimals, 6))) + u" " + total.unit;
}

const char* MeasureExportKindKey(KPD_Dictionary annot) {
  const MeasureTypeInfo* row = MeasureTypeRow(MeasureTypeOfAnnot(annot));
  return row ? row->exportKindKey : nullptr;
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
                                       const MeasureExportProgress& progress,
                                       const MeasureExportOptions& options) {
  MeasureExportResult result;
  MeasureTotals totals;
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
      const std::u16string label = TextOf(annot, "/Label");
      const std::u16string contents = TextOf(annot, "/Contents");
      bytes += MeasureCsvRow(label, Widgets::Translate(kind), contents);
      if (options.totals) totals.Add(label, kind, contents);
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
  if (options.totals) {
    std::string bytes = "\r\n";
    bytes += MeasureCsvFields({Widgets::Translate("IDS_STR_LABEL"), Widgets::Translate("IDS_STR_TYPE"),
                               Widgets::Translate("IDS_STR_TOTAL"), Widgets::Translate("IDS_STR_COUNT")});
    for (const MeasureTotals::Total& t : totals.Totals())
      bytes += MeasureCsvFields({t.label, Widgets::Translate(t.kindKey.c_str()), MeasureTotals::SumText(t),
                                 ks::ToUtf16(std::to_string(t.count))});
    if (!file.Write(bytes)) {
      result.status = MeasureExportStatus::kSaveError;
      file.Commit(&result.reason);
      return result;
    }
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
