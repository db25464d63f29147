#include "kwannotation/kw_ap_common.h"

#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_content_buffer.h"
#include "kwannotation/kw_geometry.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

constexpr float kOpacityEpsilon = 1.1920929e-7f;
// Beyond these the input is not a drawing any renderer could show; such
// annotations keep their old appearance.
using geom::kMaxCoordinate;
constexpr float kMaxBorderWidth = 1000.0f;
constexpr float kMaxIntensity = 10.0f;
constexpr int kMaxDashes = 64;

bool IsType(KPD_Object obj, int type) { return dict::IsType(obj, type); }

void SetOwned(KPD_Dictionary d, const char* key, KPD_Object value) { dict::SetOwned(d, key, value); }

void SetName(KPD_Dictionary d, const char* key, const char* name) { SetOwned(d, key, host::NameNew(name)); }

// The dictionary under `key`, made and stored when missing or of another type.
KPD_Dictionary GetOrCreateDict(KPD_Dictionary parent, const char* key) {
  KPD_Object found = host::DictGet(parent, key);
  if (IsType(found, KPD_OBJ_DICTIONARY)) return found;
  SetOwned(parent, key, host::DictNew());
  return host::DictGet(parent, key);
}

bool Unchanged(float opacity) { return opacity < 0 || std::fabs(opacity - 1.0f) < kOpacityEpsilon; }

// What a stored opacity means: negative is "not set".
float Effective(float opacity) {
  if (opacity < 0) return 1.0f;
  return opacity > 1.0f ? 1.0f : opacity;
}

// An opacity held as a float, written without the float's binary tail
// (0.35, not 0.34999999404).
double OpacityText(float opacity) { return std::round(static_cast<double>(opacity) * 1e6) / 1e6; }

}  // namespace

// ---- drawing state ---------------------------------------------------------------

CAPCommon::~CAPCommon() = default;

bool CAPCommon::Init(const CKW_MarkupAnnotImpl& annot) {
  problem_.clear();
  dict = annot.GetDict();
  document = dict ? annot.GetDocument() : nullptr;
  if (!dict || !IsType(dict, KPD_OBJ_DICTIONARY)) {
    problem_ = "not a dictionary";
    return false;
  }
  if (!document) {
    problem_ = "not in a document";
    return false;
  }

  // The border as stored: a drawing refuses what it cannot use rather than
  // repairing it.
  KwBorderInfo border;
  annot.GetBorderInfo(&border);
  const KwBorderInfo::Stored& raw = border.stored;
  const float storedWidth = static_cast<float>(raw.width);
  if (raw.hasWidth && !(std::isfinite(storedWidth) && storedWidth <= kMaxBorderWidth)) {
    problem_ = "border width out of range";
    return false;
  }
  if (raw.dashCount > kMaxDashes) {
    problem_ = "dash array too long";
    return false;
  }
  for (float v : raw.dashes) {
    if (!std::isfinite(v) || v < 0 || v > kMaxCoordinate) {
      problem_ = "dash value out of range";
      return false;
    }
  }
  if (raw.cloudy && !(std::isfinite(raw.intensity) && raw.intensity >= 0 && raw.intensity <= kMaxIntensity)) {
    problem_ = "cloud intensity out of range";
    return false;
  }
  borderWidth = border.width;
  borderStyle = border.style;
  intensity = border.style == KW_BORDER_CLOUDY ? border.intensity : 0.0f;
  dashPhase = 0.0f;
  dashes = border.dashes;
  invert = raw.invert;

  KPD_ColorF c;
  if (!annot.GetColor(&c) && annot.HasKey("/C")) {
    problem_ = "malformed /C";
    return false;
  }
  hasStroke = c.kind != KPD_COLOR_NONE;
  strokeColor = ToRGB(c);
  if (!annot.GetInteriorColor(&c) && annot.HasKey("/IC")) {
    problem_ = "malformed /IC";
    return false;
  }
  hasFill = c.kind != KPD_COLOR_NONE;
  fillColor = ToRGB(c);
  hasPattern = annot.HasKey("/Pattern");

  CKW_AnnotImpl::Transparency transparency = annot.GetTransparency();
  strokeOpacity = transparency.stroke;
  fillOpacity = transparency.fill;
  blendMode = std::move(transparency.blendMode);
  needsTransparency = transparency.needsState;
  return true;
}

void CAPCommon::WriteGraphicsState(std::string& out) const {
  if (hasFill) AppendFillColor(out, fillColor);
  if (hasPattern) out += "/Pattern cs /KWP scn\n";
  AppendStrokeColor(out, strokeColor);
  AppendLineState(out, borderWidth, 3, borderStyle == KW_BORDER_CLOUDY);
  if (borderStyle == KW_BORDER_DASH) AppendDash(out, dashes, dashPhase);
  if (needsTransparency) out += "/TransGs gs \n";
}

// ---- writers ---------------------------------------------------------------------

bool SetTransparencyGState(KPD_Stream stream, const char* stateName, float strokeOpacity, float fillOpacity,
                           KPD_Document doc, bool forceOpaqueStroke, const std::string& blendMode) {
  KPD_Dictionary sd = host::StreamGetDict(stream);
  if (!sd || !stateName || !*stateName) return false;
  KPD_Dictionary res = GetOrCreateDict(sd, "/Resources");
  if (!res) return false;
  if (Unchanged(strokeOpacity) && Unchanged(fillOpacity) && blendMode.empty()) {
    host::DictRemove(res, "/ExtGState");
    return true;
  }
  KPD_Dictionary egs = GetOrCreateDict(res, "/ExtGState");
  std::string key = std::string("/") + stateName;
  KPD_Object gs = host::DictGet(egs, key.c_str());
  if (!IsType(gs, KPD_OBJ_DICTIONARY)) {
    KPD_Object old = host::DictGet(egs, "/XJC");
    if (IsType(old, KPD_OBJ_DICTIONARY)) {
      host::DictSet(egs, key.c_str(), old);
      host::DictRemove(egs, "/XJC");
    } else {
      SetOwned(egs, key.c_str(), host::DictNew());
    }
    gs = host::DictGet(egs, key.c_str());
  }
  if (!gs) return false;
  SetName(gs, "/Type", "/ExtGState");
  SetOwned(gs, "/CA", host::NumberNew(forceOpaqueStroke ? 1.0 : OpacityText(Effective(strokeOpacity))));
  SetOwned(gs, "/ca", host::NumberNew(OpacityText(Effective(fillOpacity))));
  SetOwned(gs, "/AIS", host::BooleanNew(0));
  if (blendMode.empty())
    host::DictRemove(gs, "/BM");
  else
    SetName(gs, "/BM", ("/" + blendMode).c_str());
  return true;
}

KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, const char* kind, const KS_FloatRect& bbox,
                                 const KS_Matrix& matrix, const std::string& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace) {
  if (!annot || !doc || !kind) return nullptr;
  return WriteAppearanceStream(doc, annot, GetOrCreateDict(annot, "/AP"), kind, bbox, matrix, content, procSets,
                               stateName, replace);
}

namespace {

// The stream's data: text the caller keeps (copied), or a buffer whose text
// the stream takes over.
struct StreamContent {
  const std::string* text = nullptr;
  CKW_ContentBuffer* buffer = nullptr;
  bool SetOn(KPD_Stream stream) const {
    return buffer ? buffer->SetStreamData(stream) : host::StreamSetData(stream, text->data(), text->size()) != 0;
  }
  KPD_Stream NewIn(KPD_Document doc) const {
    return buffer ? buffer->NewStream(doc) : host::DocNewStream(doc, text->data(), text->size());
  }
};

KPD_Stream WriteStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                       const KS_FloatRect& bbox, const KS_Matrix& matrix, const StreamContent& content,
                       const std::vector<std::string>& procSets, const std::string& stateName, bool replace);

}  // namespace

KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                                 const KS_FloatRect& bbox, const KS_Matrix& matrix, const std::string& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace) {
  return WriteStream(doc, annot, ap, kind, bbox, matrix, StreamContent{&content, nullptr}, procSets, stateName,
                     replace);
}

KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                                 const KS_FloatRect& bbox, const KS_Matrix& matrix, CKW_ContentBuffer& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace) {
  KPD_Stream stream = WriteStream(doc, annot, ap, kind, bbox, matrix, StreamContent{nullptr, &content}, procSets,
                                  stateName, replace);
  // Written or not, the text is spent.
  content.Discard();
  return stream;
}

namespace {

KPD_Stream WriteStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                       const KS_FloatRect& bbox, const KS_Matrix& matrix, const StreamContent& content,
                       const std::vector<std::string>& procSets, const std::string& stateName, bool replace) {
  if (!annot || !doc || !kind || !ap) return nullptr;

  std::string key = std::string("/") + kind;
  KPD_Dictionary container = ap;
  KPD_Object existing = host::DictGet(ap, key.c_str());
  if (IsType(existing, KPD_OBJ_DICTIONARY) && !stateName.empty()) {
    container = existing;
    key = "/" + stateName;
    existing = host::DictGet(container, key.c_str());
  }
  if (!IsType(existing, KPD_OBJ_STREAM)) existing = nullptr;

  KPD_Stream stream = nullptr;
  std::vector<std::pair<std::string, KPD_Object>> fonts;
  if (existing && !replace) {
    stream = existing;
    if (!content.SetOn(stream)) return nullptr;
  } else {
    if (existing) {
      KPD_Object res = host::DictGet(host::StreamGetDict(existing), "/Resources");
      KPD_Object fontDict = IsType(res, KPD_OBJ_DICTIONARY) ? host::DictGet(res, "/Font") : nullptr;
      if (IsType(fontDict, KPD_OBJ_DICTIONARY)) {
        int n = host::DictKeyCount(fontDict);
        for (int i = 0; i < n; ++i) {
          host::ByteString name;
          if (!host::DictKeyAt(fontDict, i, name.get())) continue;
          std::string s = name.str();
          if (KPD_Object font = host::DictGet(fontDict, s.c_str())) fonts.emplace_back(s, font);
        }
      }
    }
    stream = content.NewIn(doc);
    if (!stream || !host::DictSet(container, key.c_str(), stream)) return nullptr;
  }

  KPD_Dictionary sd = host::StreamGetDict(stream);
  if (!sd) return nullptr;
  if (!host::DictHasKey(sd, "/Subtype")) {
    SetName(sd, "/Type", "/XObject");
    SetName(sd, "/Subtype", "/Form");
    SetOwned(sd, "/FormType", host::IntegerNew(1));
  }
  SetOwned(sd, "/Matrix", host::MatrixToObject(&matrix));
  SetOwned(sd, "/BBox", host::RectToObject(&bbox));

  KPD_Dictionary res = GetOrCreateDict(sd, "/Resources");
  if (KPD_Object pattern = host::DictGet(annot, "/Pattern")) {
    KPD_Dictionary patterns = GetOrCreateDict(res, "/Pattern");
    host::DictSet(patterns, "/KWP", pattern);
  }
  KPD_Array procs = host::ArrayNew();
  for (const std::string& name : procSets) {
    KPD_Object n = host::NameNew(("/" + name).c_str());
    host::ArrayAppend(procs, n);
    host::ObjectRelease(n);
  }
  SetOwned(res, "/ProcSet", procs);
  if (!fonts.empty()) {
    KPD_Dictionary fontDict = GetOrCreateDict(res, "/Font");
    for (auto& [name, font] : fonts) host::DictSet(fontDict, name.c_str(), font);
  }
  return stream;
}

}  // namespace

}  // namespace kwannotation
