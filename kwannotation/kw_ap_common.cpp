#include "kwannotation/kw_ap_common.h"

#include <cmath>

#include "kwannotation/kw_ap_content.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

constexpr float kOpacityEpsilon = 1.1920929e-7f;
// Beyond these the input is not a drawing any renderer could show; such
// annotations keep their old appearance.
constexpr double kMaxCoordinate = 1.0e7;
constexpr float kMaxBorderWidth = 1000.0f;
constexpr float kMaxIntensity = 10.0f;
constexpr int kMaxDashes = 64;

bool IsType(KPD_Object obj, int type) { return obj && host::ObjectGetType(obj) == type; }

// Stores an object the caller made and gives up the caller's handle.
void SetOwned(KPD_Dictionary dict, const char* key, KPD_Object value) {
  if (!value) return;
  host::DictSet(dict, key, value);
  host::ObjectRelease(value);
}

void SetName(KPD_Dictionary dict, const char* key, const char* name) { SetOwned(dict, key, host::NameNew(name)); }

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

// /CA alone is the opacity of the whole annotation, as files made before
// the separate fill opacity /ca existed mean it; /ca, when present, rules
// the fills.
void ReadOpacities(KPD_Dictionary dict, double* stroke, double* fill) {
  *stroke = 1.0;
  apread::Number(dict, "/CA", stroke);
  *fill = *stroke;
  apread::Number(dict, "/ca", fill);
}

// An opacity held as a float, written without the float's binary tail
// (0.35, not 0.34999999404).
double OpacityText(float opacity) { return std::round(static_cast<double>(opacity) * 1e6) / 1e6; }

bool OpacityStateOf(double strokeOpacity, double fillOpacity, const std::string& blendMode) {
  auto differs = [](double v) { return v >= 0 && std::fabs(v - 1.0) >= kOpacityEpsilon; };
  return differs(strokeOpacity) || differs(fillOpacity) || !blendMode.empty();
}

std::string BlendModeOf(KPD_Dictionary dict) {
  KPD_Object bm = host::DictGet(dict, "/BM");
  if (!IsType(bm, KPD_OBJ_NAME)) return {};
  host::ByteString name;
  host::NameGet(bm, name.get());
  std::string s = name.str();
  return s.size() > 1 ? s.substr(1) : std::string();
}

}  // namespace

// ---- readers -------------------------------------------------------------------

bool apread::Number(KPD_Dictionary dict, const char* key, double* out) {
  KPD_Object obj = host::DictGet(dict, key);
  if (!IsType(obj, KPD_OBJ_NUMBER)) return false;
  *out = host::ObjectGetNumber(obj);
  return true;
}

int apread::Numbers(KPD_Object array, std::vector<float>& out, int maxCount) {
  out.clear();
  if (!array) return -1;
  // One call answers arrays of up to 128 numbers (rectangles, colours, a
  // 50-point ink stroke); it also tells a non-array (-1) and the real count
  // of a longer one.
  float first[128];
  int count = host::ArrayGetNumbers(array, first, 128);
  if (count < 0) return -1;
  if (count > maxCount) return -2;
  if (count <= 128) {
    out.assign(first, first + count);
  } else {
    out.resize(static_cast<size_t>(count));
    host::ArrayGetNumbers(array, out.data(), count);
  }
  return count;
}

bool apread::Finite(double value) { return std::isfinite(value) && std::fabs(value) <= kMaxCoordinate; }

bool apread::Finite(const std::vector<float>& values) {
  for (float v : values)
    if (!Finite(v)) return false;
  return true;
}

bool apread::Color(KPD_Dictionary dict, const char* key, KPD_ColorF* out) {
  *out = KPD_ColorF{};
  KPD_Object obj = host::DictGet(dict, key);
  if (!obj) return true;
  std::vector<float> c;
  int n = Numbers(obj, c, 4);
  if (n < 0) return false;
  for (float v : c)
    if (!std::isfinite(v)) return false;
  switch (n) {
    case 0:
      return true;
    case 1:
      out->kind = KPD_COLOR_GRAY;
      break;
    case 3:
      out->kind = KPD_COLOR_RGB;
      break;
    case 4:
      out->kind = KPD_COLOR_CMYK;
      break;
    default:
      return false;
  }
  for (int i = 0; i < n; ++i) out->c[i] = std::fmin(1.0f, std::fmax(0.0f, c[static_cast<size_t>(i)]));
  return true;
}

bool apread::NameIs(KPD_Dictionary dict, const char* key, const char* name) {
  KPD_Object obj = host::DictGet(dict, key);
  return obj && host::NameIs(obj, name);
}

// ---- drawing state ---------------------------------------------------------------

CAPCommon::~CAPCommon() = default;

bool CAPCommon::Init(KPD_Dictionary annot) {
  problem_.clear();
  dict = annot;
  document = annot ? host::DocOfObject(annot) : nullptr;
  if (!dict || !IsType(dict, KPD_OBJ_DICTIONARY)) {
    problem_ = "not a dictionary";
    return false;
  }
  if (!document) {
    problem_ = "not in a document";
    return false;
  }

  // Border record: /BS first, then the older /Border array, then /BE.
  borderWidth = 1.0f;
  borderStyle = kBorderSolid;
  intensity = 0.0f;
  dashPhase = 0.0f;
  dashes.clear();
  KPD_Object dashArray = nullptr;
  KPD_Object bs = host::DictGet(dict, "/BS");
  if (IsType(bs, KPD_OBJ_DICTIONARY)) {
    double w;
    if (apread::Number(bs, "/W", &w)) borderWidth = static_cast<float>(w);
    static const char* const kStyles[] = {"/S", "/D", "/B", "/I", "/U"};
    if (KPD_Object style = host::DictGet(bs, "/S")) {
      for (int i = 0; i < 5; ++i) {
        if (host::NameIs(style, kStyles[i])) {
          borderStyle = i;
          break;
        }
      }
    }
    dashArray = host::DictGet(bs, "/D");
  } else {
    KPD_Object border = host::DictGet(dict, "/Border");
    if (IsType(border, KPD_OBJ_ARRAY) && host::ArrayCount(border) >= 3) {
      KPD_Object w = host::ArrayGet(border, 2);
      if (IsType(w, KPD_OBJ_NUMBER)) borderWidth = static_cast<float>(host::ObjectGetNumber(w));
      if (host::ArrayCount(border) >= 4) {
        dashArray = host::ArrayGet(border, 3);
        if (IsType(dashArray, KPD_OBJ_ARRAY)) borderStyle = kBorderDash;
      }
    }
  }
  if (!std::isfinite(borderWidth) || borderWidth > kMaxBorderWidth) {
    problem_ = "border width out of range";
    return false;
  }
  if (borderWidth < 0) borderWidth = 0;
  if (dashArray) {
    int n = apread::Numbers(dashArray, dashes, kMaxDashes);
    if (n == -2) {
      problem_ = "dash array too long";
      return false;
    }
    for (float v : dashes) {
      if (!std::isfinite(v) || v < 0 || v > kMaxCoordinate) {
        problem_ = "dash value out of range";
        return false;
      }
    }
  }
  KPD_Object be = host::DictGet(dict, "/BE");
  if (IsType(be, KPD_OBJ_DICTIONARY)) {
    if (apread::NameIs(be, "/S", "/C")) {
      borderStyle = kBorderCloudy;
      double i = 0;
      apread::Number(be, "/I", &i);
      if (!std::isfinite(i) || i < 0 || i > kMaxIntensity) {
        problem_ = "cloud intensity out of range";
        return false;
      }
      intensity = static_cast<float>(i);
    }
    KPD_Object inv = host::DictGet(be, "/Invert");
    invert = IsType(inv, KPD_OBJ_BOOLEAN) && host::BooleanGet(inv);
  }

  KPD_ColorF c;
  if (!apread::Color(dict, "/C", &c)) {
    problem_ = "malformed /C";
    return false;
  }
  hasStroke = c.kind != KPD_COLOR_NONE;
  strokeColor = ToRGB(c);
  if (!apread::Color(dict, "/IC", &c)) {
    problem_ = "malformed /IC";
    return false;
  }
  hasFill = c.kind != KPD_COLOR_NONE;
  fillColor = ToRGB(c);
  hasPattern = host::DictHasKey(dict, "/Pattern");

  double ca, fa;
  ReadOpacities(dict, &ca, &fa);
  if (!std::isfinite(ca) || !std::isfinite(fa)) {
    problem_ = "opacity not a finite number";
    return false;
  }
  strokeOpacity = static_cast<float>(ca);
  fillOpacity = static_cast<float>(fa);
  blendMode = BlendModeOf(dict);
  needsTransparency = OpacityStateOf(ca, fa, blendMode);
  return true;
}

void CAPCommon::WriteGraphicsState(std::string& out) const {
  if (hasFill) AppendFillColor(out, fillColor);
  if (hasPattern) out += "/Pattern cs /KWP scn\n";
  AppendStrokeColor(out, strokeColor);
  AppendLineState(out, borderWidth, 3, borderStyle == kBorderCloudy);
  if (borderStyle == kBorderDash) AppendDash(out, dashes, dashPhase);
  if (needsTransparency) out += "/TransGs gs \n";
}

bool GetOpacityState(KPD_Dictionary annot) {
  double ca, fa;
  ReadOpacities(annot, &ca, &fa);
  return OpacityStateOf(ca, fa, BlendModeOf(annot));
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
  KPD_Dictionary ap = GetOrCreateDict(annot, "/AP");
  if (!ap) return nullptr;

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
    if (!host::StreamSetData(stream, content.data(), content.size())) return nullptr;
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
    stream = host::DocNewStream(doc, content.data(), content.size());
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

}  // namespace kwannotation
