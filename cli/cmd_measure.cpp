// annot measure info: the scales of a PDF's viewports and measurements, and
// each measurement's value recomputed from its geometry next to the text it
// stores, so that files made by different programs can be checked.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "host/editor.h"
#include "host/script_runner.h"
#include "host/session.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_measure_values.h"
#include "kwannotation/kw_text.h"
#include "kwannotation/kw_viewport.h"
#include "measure/cma_measure_export.h"
#include "measure/cma_typed_ratio.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"

namespace annot {

const char kMeasureUsage[] =
    "usage: annot measure info FILE.pdf [--password PW]\n"
    "       annot measure scale IN.pdf --ratio \"1 in = 10 ft\" [--pages 1,3-5] [--precision N]\n"
    "                           [-o OUT.pdf] [--password PW]\n"
    "       annot measure export FILE.pdf [-o OUT.csv] [--totals] [--password PW]\n"
    "\n"
    "For every page, lists the viewports (name, box, scale ratio, whether\n"
    "the scale can be measured with and why not), and for every measurement\n"
    "annotation its intent and scale ratio, the value recomputed from its\n"
    "geometry and shown with its own number formats, and its stored\n"
    "Contents. PW opens a file that needs a password.\n"
    "\n"
    "scale sets the page scale of every page, or of the pages listed, as the\n"
    "page-scale dialog does, and brings the measurements on those pages to\n"
    "it. The ratio is \"PAPER UNIT = REAL UNIT\" (paper units pt, in, mm, cm,\n"
    "p); numbers may be fractions and feet and inches (1/8 in = 1 ft,\n"
    "1/8\" = 1'-0\"), and \"1:100\" is the preset of that name (other A:B\n"
    "ratios are A cm = B cm). N is the precision, 0 (whole units) to 5,\n"
    "default 2. Without -o the input is updated. A signed document is left\n"
    "as it is.\n"
    "\n"
    "export writes every measurement to a CSV file (OUT.csv, default FILE\n"
    "with .csv): UTF-8 with a byte order mark, one row per measurement with\n"
    "its label, kind and shown value. A file already there is replaced only\n"
    "when the export is complete; with no measurement to export it stays as\n"
    "it was and the exit status is 1. --totals adds, after a blank row, a\n"
    "header and one row per label, kind and unit with the total of the\n"
    "values shown and how many there are; angles and radii are only counted.\n";

namespace {

namespace host = ks::host;
using kwannotation::CKW_MeasureDict;
using kwannotation::CKW_MeasureDictImpl;
using kwannotation::kMeasureArrayA;
using kwannotation::kMeasureArrayD;
using kwannotation::kMeasureArrayX;
using kwannotation::KwMeasuredGeometry;
using kwannotation::KwMeasureScale;

std::string Utf8(std::u16string_view s) { return kwannotation::text::ToUtf8(s); }

// Text in double quotes; quotes, backslashes and control characters
// escaped, so that every item stays on one line.
std::string Quoted(std::u16string_view s) {
  std::string out = "\"";
  for (char c : Utf8(s)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::optional<std::u16string> TextOf(KPD_Dictionary dict, const char* key) {
  KPD_Object obj = host::DictGet(dict, key);
  if (!obj || host::ObjectGetType(obj) != KPD_OBJ_STRING) return std::nullopt;
  host::WideString out;
  if (!host::StringObjectGetText(obj, out.get())) return std::nullopt;
  return out.str();
}

std::string BoxText(const KS_FloatRect& r) {
  std::string s = "[";
  for (double v : {r.left, r.bottom, r.right, r.top}) {
    if (s.size() > 1) s += ' ';
    ks::AppendFixed(s, v, 2);
  }
  return s + "]";
}

std::string Validity(const CKW_MeasureDict& m) {
  if (!m) return "invalid: no measure dictionary";
  std::string reason = m->InvalidReason();
  if (!reason.empty()) return "invalid: " + reason;
  // Valid for measuring, but the scale falls back to 1:1.
  reason = m->RatioProblem();
  return reason.empty() ? "valid" : "invalid: " + reason;
}

std::string Shown(const CKW_MeasureDictImpl& m, int array, double value) {
  std::optional<std::u16string> text = m.FormatValue(array, value);
  return text ? Quoted(*text) : std::string("(cannot be shown with this measure dictionary)");
}

// A distance in X units shown with "D", or with "X" when there is no "D".
std::string ShownDistance(const CKW_MeasureDictImpl& m, const KwMeasureScale& s, double xUnits) {
  if (m.GetFormatCount(kMeasureArrayD) > 0) return Shown(m, kMeasureArrayD, xUnits);
  return Shown(m, kMeasureArrayX, xUnits / s.x);
}

// The quantities of circles, volumes, radii and angles, as the library
// computes them for the caption.
std::string OtherValues(KPD_Dictionary annot, int32_t kind) {
  namespace kw = kwannotation;
  struct Shown {
    uint32_t bit;
    const char* name;
  };
  std::vector<Shown> wanted;
  switch (kind) {
    case kw::KW_MEASURE_CIRCLE:
      wanted = {{kw::kMeasureTypeArea, "area"}, {kw::kMeasureTypeDiameter, "diameter"},
                {kw::kMeasureTypeCircumference, "circumference"}};
      break;
    case kw::KW_MEASURE_VOLUME:
      wanted = {{kw::kMeasureTypeVolume, "volume"}, {kw::kMeasureTypeArea, "area"}, {kw::kMeasureTypeDepth, "depth"}};
      break;
    case kw::KW_MEASURE_RADIUS: wanted = {{kw::kMeasureTypeLength, "radius"}}; break;
    case kw::KW_MEASURE_ANGLE: wanted = {{kw::kMeasureTypeAngle, "angle"}}; break;
    default: return "value: (not recomputed for this intent)";
  }
  kw::KwMeasureInput in;
  if (!kw::KW_ReadMeasureInput(annot, &in)) return "value: (no usable geometry)";
  if (kind == kw::KW_MEASURE_VOLUME && !in.hasDepth) return "value: (no depth)";
  const kw::KwMeasureTexts t = kw::KW_MeasureTextsOf(annot);
  if (t.quantities.empty()) return "value: (" + (t.problem.empty() ? std::string("no usable geometry") : t.problem) + ")";
  std::string out;
  for (const Shown& w : wanted) {
    const kw::KwMeasureQuantity* q = t.Find(w.bit);
    if (!q) continue;
    if (!out.empty()) out += "; ";
    out += w.name;
    out += ' ';
    out += q->text.empty() ? std::string("(cannot be shown with this measure dictionary)") : Quoted(q->text);
  }
  return out.empty() ? std::string("value: (no usable geometry)") : out;
}

std::string Values(KPD_Dictionary annot, const std::string& intent, const CKW_MeasureDictImpl& m) {
  const KwMeasureScale s = kwannotation::KW_MeasureScaleOf(m);
  if (!s.usable) return "value: (no usable X scale)";
  const int32_t kind = kwannotation::KW_MeasureKindFromIntent(intent);
  const KwMeasuredGeometry g = kwannotation::KW_MeasureGeometry(annot, kind, s);
  switch (g.status) {
    case KwMeasuredGeometry::kMeasured:
      if (g.isArea)
        return "area " + Shown(m, kMeasureArrayA, g.area) + "; perimeter " + ShownDistance(m, s, g.length);
      return "length " + ShownDistance(m, s, g.length);
    case KwMeasuredGeometry::kNoGeometry:
      return kind == kwannotation::KW_MEASURE_LINE ? "value: (no line points)" : "value: (no vertices)";
    case KwMeasuredGeometry::kNotMeasured:
      break;
  }
  return OtherValues(annot, kind);
}

void PrintViewports(KPD_Document doc, KPD_Page page, int pageNumber) {
  kwannotation::CKW_PageViewportListImpl list(page, doc);
  if (list.HasMalformedVP()) {
    std::printf("page %d: viewports: none (\"VP\" is not an array)\n", pageNumber);
    return;
  }
  const int count = list.GetCount();
  if (count == 0) {
    std::printf("page %d: viewports: none\n", pageNumber);
    return;
  }
  std::printf("page %d: %d viewport%s\n", pageNumber, count, count == 1 ? "" : "s");
  for (int i = 0; i < count; ++i) {
    kwannotation::CKW_Viewport vp = list.GetViewport(i);
    if (!vp) {
      std::printf("  viewport %d: (not a dictionary)\n", i);
      continue;
    }
    std::optional<KS_FloatRect> box = vp->GetBBox();
    CKW_MeasureDict m = vp->GetMeasureDict();
    std::printf("  viewport %d: name %s box %s ratio %s %s\n", i, Quoted(vp->GetName()).c_str(),
                box ? BoxText(*box).c_str() : "(none)", m ? Quoted(m->GetRatioText()).c_str() : "(none)",
                Validity(m).c_str());
  }
}

void PrintMeasurements(KPD_Document doc, KPD_Page page, int pageNumber) {
  const int count = host::PageAnnotCount(page);
  for (int k = 0; k < count; ++k) {
    KPD_Dictionary annot = host::PageGetAnnot(page, k);
    if (!annot) continue;
    const std::string intent = kwannotation::dict::GetName(annot, "/IT");
    KPD_Dictionary measure = CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc, false);
    if (!kwannotation::KW_IsMeasurementIntent(intent) && !measure) continue;
    CKW_MeasureDict m = CKW_MeasureDict::Borrow(measure);
    std::printf("  %d.%d: %s ratio %s %s; ", pageNumber, k, intent.empty() ? "(no intent)" : intent.c_str(),
                m ? Quoted(m->GetRatioText()).c_str() : "(none)", Validity(m).c_str());
    std::printf("%s; ", m ? Values(annot, intent, *m.GetImpl()).c_str() : "value: (no measure dictionary)");
    std::optional<std::u16string> contents = TextOf(annot, "/Contents");
    std::printf("contents %s\n", contents ? Quoted(*contents).c_str() : "(none)");
  }
}

int RunInfo(const std::string& path, const std::string& password) {
  CommandDocument document;
  std::string error;
  if (!document.Open(path, password, false, &error)) return Fail(kExitFailure, error);
  KPD_Document doc = document.Get();
  const int pages = host::DocPageCount(doc);
  std::printf("%s: %d page%s\n", path.c_str(), pages, pages == 1 ? "" : "s");
  for (int i = 0; i < pages; ++i) {
    KPD_Page page = host::DocGetPage(doc, i);
    if (!page) continue;
    PrintViewports(doc, page, i + 1);
    PrintMeasurements(doc, page, i + 1);
  }
  return kExitOk;
}

// A word of a session script: in double quotes, with its quotes and
// backslashes escaped, so that units such as ft'in" stay whole.
std::string ScriptWord(const std::u16string& text) {
  std::string out = "\"";
  for (char c : ks::ToUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The page scale goes through the plug-in's page-scale dialog, answered
// like a session script would answer it, so that the command and the
// editor apply a scale the same way.
int RunScale(const std::vector<std::string>& args) {
  std::string in, out, password, ratio, pages, precision = "2";
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* value = arg == "-o" ? &out : arg == "--password" ? &password : arg == "--ratio" ? &ratio
                       : arg == "--pages" ? &pages : arg == "--precision" ? &precision : nullptr;
    if (value && i + 1 < args.size()) {
      *value = args[++i];
    } else if (!value && in.empty() && !arg.empty() && arg[0] != '-') {
      in = arg;
    } else {
      std::fputs(kMeasureUsage, stderr);
      return kExitUsage;
    }
  }
  if (in.empty()) {
    std::fputs(kMeasureUsage, stderr);
    return kExitUsage;
  }
  const std::optional<AnnotationPlugin::MeasureRatioPair> pair = AnnotationPlugin::ParseTypedRatio(ks::ToUtf16(ratio));
  if (!pair)
    return Fail(kExitUsage, "the ratio must read like \"1 in = 10 ft\", \"1/8 in = 1 ft\" or \"1:100\", not \"" +
                                ratio + "\"");
  if (precision.size() != 1 || precision[0] < '0' || precision[0] > '5')
    return Fail(kExitUsage, "the precision must be 0 to 5, not \"" + precision + "\"");
  for (char c : pages)
    if (c == '"' || c == '\n') return Fail(kExitUsage, "the pages must be numbers and ranges such as 1,3-5");
  if (out.empty()) out = in;

  std::ostringstream script;
  script << "view 1\nanswer dialog ma_dlg_page_scale.ui.kw ok radioButtonCustom=1 radioButtonPreset=0 "
         << ScriptWord(u"lineEditLeftValue=" + AnnotationPlugin::TypedNumberText(pair->paperNumber)) << " "
         << ScriptWord(u"comboBoxLeftUnit=" + pair->paperUnit) << " "
         << ScriptWord(u"lineEditRightValue=" + AnnotationPlugin::TypedNumberText(pair->realNumber)) << " "
         << ScriptWord(u"comboBoxRightUnit=" + pair->realUnit) << " comboBoxPrecision=" << precision;
  if (pages.empty()) script << " comboBoxPages=0";
  else script << " comboBoxPages=2 \"lineEditPageRangeMac=" << pages << "\"";
  // Values the dialog refuses open it again; the cancel there leaves the
  // refusal's message as what the command reports.
  script << "\nanswer dialog ma_dlg_page_scale.ui.kw cancel\npress Measure_Group_PageScale\n";

  kshost::Session session;
  session.SetPassword(password);
  std::string error;
  if (!session.LoadPlugin(kshost::Session::DefaultPluginPath(), &error)) return Fail(kExitFailure, error);
  if (!session.Open(in, &error)) return Fail(kExitFailure, error);
  std::istringstream text(script.str());
  if (!kshost::RunScript(session, text, "scale", &error)) return Fail(kExitFailure, error);
  // A message means the dialog refused the values or the document.
  const std::vector<std::string>& messages = kshost::Editor::Get().Messages();
  if (!messages.empty()) return Fail(kExitFailure, messages.front() + " (nothing was changed)");
  if (!session.Save(out, &error)) return Fail(kExitFailure, error);
  for (const std::string& n : session.SaveNotices()) std::fprintf(stderr, "annot: %s\n", n.c_str());
  std::printf("%s: scale %s on %s\n", out.c_str(), ratio.c_str(),
              pages.empty() ? "every page" : ("pages " + pages).c_str());
  return FinishOutput(kExitOk);
}

// annot measure export: the plug-in's export, run on a file.
int RunExport(const std::string& path, std::string out, const std::string& password, bool totals) {
  CommandDocument document;
  std::string error;
  if (!document.Open(path, password, false, &error)) return Fail(kExitFailure, error);
  if (out.empty()) out = ks::ToUtf8(AnnotationPlugin::MeasureExportFileFor(ks::ToUtf16(path)));
  if (std::string refused = OutputReplacesInput(out, path, "PDF"); !refused.empty())
    return Fail(kExitFailure, refused);
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(out, ec);
  // Messages and the header row in the user's language.
  host::WideString language;
  host::AppGetUILanguage(language.get());
  AnnotationPlugin::Widgets::SetCurrentLanguage(language.str());
  AnnotationPlugin::Widgets::LoadStrings("Annotation");
  const AnnotationPlugin::MeasureExportResult result = AnnotationPlugin::ExportMeasurements(
      document.Get(), ks::ToUtf16(ec ? out : absolute.lexically_normal().string()), nullptr,
      AnnotationPlugin::MeasureExportOptions{totals});
  if (const char* key = AnnotationPlugin::MeasureExportMessageKey(result.status)) {
    std::string message = out + ": " + ks::ToUtf8(AnnotationPlugin::Widgets::Translate(key));
    if (!result.reason.empty()) message += " (" + result.reason + ")";
    return Fail(kExitFailure, message);
  }
  std::printf("%s: %d measurement%s\n", out.c_str(), result.rows, result.rows == 1 ? "" : "s");
  return FinishOutput(kExitOk);
}

}  // namespace

int RunMeasure(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "scale") return RunScale(args);
  CommandArgs a;
  const bool known = !args.empty() && (args[0] == "info" || args[0] == "export");
  if (!known || !SplitArgs(args, 1, 1, {"--totals"}, &a) ||
      (args[0] == "info" && (!a.out.empty() || a.Has("--totals")))) {
    std::fputs(kMeasureUsage, stderr);
    return kExitUsage;
  }
  if (args[0] == "export") return RunExport(a.positional[0], a.out, a.password, a.Has("--totals"));
  return RunInfo(a.positional[0], a.password);
}

}  // namespace annot
