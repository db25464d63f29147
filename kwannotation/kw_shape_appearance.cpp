#include "kwannotation/kw_shape_appearance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "kwannotation/kw_ap_cloud.h"
#include "kwannotation/kw_ap_common.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_ending.h"
#include "kwannotation/kw_ap_path.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// |(dx, dy)|. Coordinates are bounded well below overflow, so the plain
// square root does; std::hypot's care costs several times as much.
inline double Length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

constexpr double kPi = 3.14159265358979323846;
// Vertex and ink point lists beyond this are not drawings but damage.
constexpr int kMaxCoordinates = 2000000;
const char* const kStateName = "TransGs";

bool Fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

struct Pt {
  double x, y;
};

KS_FloatPoint F(Pt p) { return {float(p.x), float(p.y)}; }

// /Rect as it is stored: four finite numbers, left below right and bottom
// below top. An inverted or empty rectangle is refused, not repaired.
bool ReadRect(KPD_Dictionary dict, KS_FloatRect* rect, std::string* reason) {
  std::vector<float> v;
  if (apread::Numbers(host::DictGet(dict, "/Rect"), v, 4) != 4) return Fail(reason, "missing or malformed /Rect");
  if (!apread::Finite(v)) return Fail(reason, "/Rect out of range");
  if (!(v[0] < v[2]) || !(v[1] < v[3])) return Fail(reason, "empty or inverted /Rect");
  *rect = {v[0], v[1], v[2], v[3]};
  return true;
}

// The drawing rectangle: /Rect less the /RD insets, read leniently as files
// carry insets no writer should. A negative inset counts as 0; insets that
// meet or cross on an axis are scaled down until they just meet, so the
// figure keeps to /Rect on that axis (as a line or a point). A malformed or
// non-finite /RD counts as none.
KS_FloatRect DrawingRect(KPD_Dictionary dict, const KS_FloatRect& rect) {
  std::vector<float> rd;
  if (apread::Numbers(host::DictGet(dict, "/RD"), rd, 4) != 4) return rect;
  for (float& v : rd) {
    if (!std::isfinite(v)) return rect;
    if (v < 0) v = 0;
  }
  auto inset = [](float lo, float hi, double a, double b, float* outLo, float* outHi) {
    const double extent = double(hi) - lo;
    if (a + b > extent) {
      *outLo = *outHi = float(lo + extent * (a / (a + b)));
    } else {
      *outLo = lo + float(a);
      *outHi = hi - float(b);
    }
  };
  KS_FloatRect r;
  inset(rect.left, rect.right, rd[0], rd[2], &r.left, &r.right);
  inset(rect.bottom, rect.top, rd[1], rd[3], &r.bottom, &r.top);
  return r;
}

// `r` moved in by `by` on every side. When the insets cross (a border
// thicker than the figure is wide) the sides change places about the
// centre instead of collapsing, so the stroke still fills the box.
KS_FloatRect Deflate(const KS_FloatRect& r, double by) {
  double cx = (double(r.left) + r.right) / 2, cy = (double(r.bottom) + r.top) / 2;
  double hx = std::fabs((double(r.right) - r.left) / 2 - by);
  double hy = std::fabs((double(r.top) - r.bottom) / 2 - by);
  return {float(cx - hx), float(cy - hy), float(cx + hx), float(cy + hy)};
}

ApBounds BoundsOf(const KS_FloatRect& r) {
  ApBounds b;
  b.Add(r.left, r.bottom);
  b.Add(r.right, r.top);
  return b;
}

bool SameRect(const KS_FloatRect& a, const KS_FloatRect& b) {
  return a.left == b.left && a.bottom == b.bottom && a.right == b.right && a.top == b.top;
}

// The shapes' painting operator: both "B", border "S", interior "f".
const char* ShapeOperator(bool fill, bool stroke) {
  if (fill && stroke) return "B\n";
  if (stroke) return "S\n";
  if (fill) return "f\n";
  return "n\n";
}

bool HasBadNumber(const std::string& content) {
  return content.find("nan") != std::string::npos || content.find("inf") != std::string::npos;
}

void SetRectKey(KPD_Dictionary dict, const char* key, const KS_FloatRect& r) {
  KPD_Object obj = host::RectToObject(&r);
  if (!obj) return;
  host::DictSet(dict, key, obj);
  host::ObjectRelease(obj);
}

// Writes the stream and its transparency state; `box` becomes /BBox and,
// when it differs from the old one, /Rect.
bool Finish(const CAPCommon& state, const ShapeAppearanceOptions& options, const std::string& content,
            const KS_FloatRect& box, const KS_FloatRect& oldRect, const std::string& blendMode, std::string* reason,
            KPD_Stream* written = nullptr) {
  if (HasBadNumber(content)) return Fail(reason, "geometry is not finite");
  const KS_Matrix identity{1, 0, 0, 1, 0, 0};
  KPD_Stream stream =
      WriteAppearanceStream(state.document, state.dict, "N", box, identity, content, {"PDF"}, std::string(),
                            !options.reuseStream);
  if (!stream) return Fail(reason, "cannot write the appearance stream");
  SetTransparencyGState(stream, kStateName, state.strokeOpacity, state.fillOpacity, state.document, false,
                        blendMode);
  if (!SameRect(box, oldRect)) SetRectKey(state.dict, "/Rect", box);
  if (written) *written = stream;
  return true;
}

// When a figure grows /Rect, /RD grows with it so that the next rebuild
// finds the same drawing rectangle.
void KeepDrawingRect(KPD_Dictionary dict, const KS_FloatRect& box, const KS_FloatRect& rect,
                     const KS_FloatRect& drawing) {
  if (SameRect(box, rect)) return;
  KS_FloatRect rd{drawing.left - box.left, drawing.bottom - box.bottom, box.right - drawing.right,
                  box.top - drawing.top};
  SetRectKey(dict, "/RD", rd);
}

// Opening of every closed shape: colours, transparency, line state.
void ShapeHead(const CAPCommon& s, std::string& out, bool roundJoin, bool writeFill) {
  if (s.hasStroke) AppendStrokeColor(out, s.strokeColor);
  if (s.hasFill && writeFill) AppendFillColor(out, s.fillColor);
  if (s.needsTransparency) out += "/TransGs gs\n";
  if (s.borderWidth != 0) {
    AppendLineState(out, s.borderWidth, 2, roundJoin);
    if (s.borderStyle == kBorderDash) AppendDash(out, s.dashes, s.dashPhase);
  }
}

bool Cloudy(const CAPCommon& s) { return s.borderStyle == kBorderCloudy && s.intensity > 0; }

// Reads a flat list of coordinate pairs.
bool ReadPoints(KPD_Object array, std::vector<Pt>& points, const char* what, std::string* reason) {
  std::vector<float> v;
  int n = apread::Numbers(array, v, kMaxCoordinates);
  if (n == -2) return Fail(reason, std::string(what) + " too long");
  if (n < 0) return Fail(reason, std::string("missing or malformed ") + what);
  if (n % 2) return Fail(reason, std::string(what) + " of odd length");
  if (!apread::Finite(v)) return Fail(reason, std::string(what) + " out of range");
  points.clear();
  points.reserve(static_cast<size_t>(n / 2));
  for (int i = 0; i + 1 < n; i += 2) points.push_back({v[size_t(i)], v[size_t(i + 1)]});
  return true;
}

// Appends a line ending with its own painting operator.
ApBounds Ending(const CAPCommon& s, std::string& out, int style, Pt at, Pt direction, double size) {
  std::string path;
  bool closed = false;
  ApBounds b = DrawLineEnding(path, style, F(at), F(direction), size, &closed);
  if (path.empty()) return b;
  out += path;
  out += PaintOperator(closed, s.hasFill, s.hasStroke && s.borderWidth > 0);
  return b;
}

double Rotation(KPD_Dictionary dict) {
  double degrees = 0;
  if (!apread::Number(dict, "/Rotation", &degrees) || !std::isfinite(degrees)) return 0;
  return std::fmod(degrees, 360.0) * kPi / 180.0;
}

// ---- square and circle --------------------------------------------------------

bool ResetBox(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options, bool ellipse) {
  CAPCommon s;
  if (!s.Init(annot)) return Fail(reason, s.Problem());
  KS_FloatRect rect;
  if (!ReadRect(annot, &rect, reason)) return false;
  KS_FloatRect drawing = DrawingRect(annot, rect);
  const double w = s.borderWidth;
  const bool cloudy = Cloudy(s);
  const bool stroke = s.hasStroke && w > 0;

  std::string content;
  content.reserve(ellipse ? 512 : 256);
  ShapeHead(s, content, ellipse || cloudy, true);
  KS_FloatRect figure = Deflate(drawing, 2 * w / 3);
  double angle = ellipse ? Rotation(annot) : 0;
  ApBounds drawn;
  bool cloudDrawn = false;
  if (cloudy) {
    drawn = ellipse ? AppendEllipseCloud(content, figure, angle, s.intensity)
                    : AppendRectangleCloud(content, figure, s.intensity);
    cloudDrawn = !drawn.empty;
  }
  if (cloudDrawn) {
    content += PaintOperator(true, s.hasFill, stroke);
  } else {
    if (ellipse) {
      drawn = CMKA_Path::AppendEllipse(content, figure, angle);
    } else {
      AppendRectangle(content, figure.left, figure.bottom, double(figure.right) - figure.left,
                      double(figure.top) - figure.bottom);
      drawn = BoundsOf(figure);
    }
    content += ShapeOperator(s.hasFill, stroke);
  }
  drawn.Inflate(w / 2);
  ApBounds box = BoundsOf(rect);
  box.Add(drawn);
  KS_FloatRect boxRect = box.Rect();
  if (!Finish(s, options, content, boxRect, rect, s.blendMode, reason)) return false;
  KeepDrawingRect(annot, boxRect, rect, drawing);
  return true;
}

// ---- polygon and polyline ---------------------------------------------------------

struct CurveSegment {
  bool present = false;
  Pt c1{}, c2{};
};

// /Curves: groups of a vertex index and two control points. Groups that
// name no vertex are ignored; a list that is not whole groups is refused.
bool ReadCurves(KPD_Dictionary dict, size_t vertexCount, std::vector<CurveSegment>& curves, std::string* reason) {
  curves.assign(vertexCount, CurveSegment{});
  KPD_Object obj = host::DictGet(dict, "/Curves");
  if (!obj) return true;
  std::vector<float> v;
  int n = apread::Numbers(obj, v, kMaxCoordinates);
  if (n < 0 || n % 5) return Fail(reason, "malformed /Curves");
  if (!apread::Finite(v)) return Fail(reason, "/Curves out of range");
  for (int i = 0; i + 4 < n; i += 5) {
    double index = v[size_t(i)];
    if (index < 0 || index >= double(vertexCount) || index != std::floor(index)) continue;
    CurveSegment& c = curves[size_t(index)];
    c.present = true;
    c.c1 = {v[size_t(i + 1)], v[size_t(i + 2)]};
    c.c2 = {v[size_t(i + 3)], v[size_t(i + 4)]};
  }
  return true;
}

// Where the path comes from into an end point of an open figure: the
// nearest control point of a curved end segment that differs from the end
// point (the curve's tangent there), else the neighbouring vertex.
Pt EndTangentFrom(const std::vector<Pt>& v, const std::vector<CurveSegment>& curves, bool start) {
  const size_t last = v.size() - 1;
  const Pt& at = start ? v[0] : v[last];
  const CurveSegment& c = curves[start ? 0 : last - 1];
  if (c.present) {
    auto differs = [&at](const Pt& p) { return p.x != at.x || p.y != at.y; };
    const Pt& nearer = start ? c.c1 : c.c2;
    const Pt& farther = start ? c.c2 : c.c1;
    if (differs(nearer)) return nearer;
    if (differs(farther)) return farther;
  }
  return start ? v[1] : v[last - 1];
}

bool ResetVertexShape(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options,
                      bool closed) {
  CAPCommon s;
  if (!s.Init(annot)) return Fail(reason, s.Problem());
  KS_FloatRect rect;
  if (!ReadRect(annot, &rect, reason)) return false;
  std::vector<Pt> v;
  if (!ReadPoints(host::DictGet(annot, "/Vertices"), v, "/Vertices", reason)) return false;
  if (v.size() < 2) return Fail(reason, "fewer than two vertices");
  std::vector<CurveSegment> curves;
  if (!ReadCurves(annot, v.size(), curves, reason)) return false;
  int endings[2] = {kEndNone, kEndNone};
  if (!closed) {
    KPD_Object le = host::DictGet(annot, "/LE");
    for (int i = 0; i < 2 && le && host::ObjectGetType(le) == KPD_OBJ_ARRAY && i < host::ArrayCount(le); ++i) {
      host::ByteString name;
      if (host::NameGet(host::ArrayGet(le, i), name.get())) endings[i] = LineEndingFromName(name.str().substr(1));
    }
  }

  const double w = s.borderWidth;
  const bool stroke = s.hasStroke && w > 0;
  std::string content;
  content.reserve(64 + v.size() * 24);
  ShapeHead(s, content, false, closed || endings[0] != kEndNone || endings[1] != kEndNone);

  ApBounds drawn;
  bool cloudDrawn = false;
  if (closed && Cloudy(s)) {
    std::vector<KS_FloatPoint> fv;
    fv.reserve(v.size());
    for (const Pt& p : v) fv.push_back(F(p));
    drawn = AppendPolygonCloud(content, fv, s.intensity);
    cloudDrawn = !drawn.empty;
    if (cloudDrawn) content += PaintOperator(true, s.hasFill, stroke);
  }
  if (!cloudDrawn) {
    const size_t segments = closed ? v.size() : v.size() - 1;
    AppendMoveTo(content, v[0].x, v[0].y);
    drawn.Add(v[0].x, v[0].y);
    for (size_t i = 0; i < segments; ++i) {
      const Pt& to = v[(i + 1) % v.size()];
      const CurveSegment& c = curves[i];
      if (c.present) {
        AppendCurveTo(content, c.c1.x, c.c1.y, c.c2.x, c.c2.y, to.x, to.y);
        drawn.Add(c.c1.x, c.c1.y);
        drawn.Add(c.c2.x, c.c2.y);
      } else if (!(closed && i + 1 == v.size())) {
        AppendLineTo(content, to.x, to.y);
      }
      drawn.Add(to.x, to.y);
    }
    if (closed) {
      content += "h\n";
      content += ShapeOperator(s.hasFill, stroke);
    } else {
      content += PaintOperator(false, false, stroke);
    }
  }
  drawn.Inflate(w / 2);
  if (!closed) {
    const size_t last = v.size() - 1;
    for (int e = 0; e < 2; ++e) {
      if (endings[e] == kEndNone) continue;
      Pt at = e == 0 ? v[0] : v[last];
      Pt from = EndTangentFrom(v, curves, e == 0);
      ApBounds b = Ending(s, content, endings[e], at, {at.x - from.x, at.y - from.y},
                          LineEndingSize(endings[e], w, nullptr));
      b.Inflate(w / 2);
      drawn.Add(b);
    }
  }
  ApBounds box = BoundsOf(rect);
  box.Add(drawn);
  return Finish(s, options, content, box.Rect(), rect, s.blendMode, reason);
}

// ---- line -------------------------------------------------------------------------

// The caption colour: /CC, else each component c of the line colour turned
// into 1 - (trunc(c * 255) XOR 0xA5) / 255.
bool CaptionColor(const CAPCommon& s, KPD_ColorF* out) {
  KPD_ColorF cc;
  if (!apread::Color(s.dict, "/CC", &cc)) return false;
  if (cc.kind != KPD_COLOR_NONE) {
    *out = ToRGB(cc);
    return true;
  }
  *out = s.strokeColor;
  out->kind = KPD_COLOR_RGB;
  for (int i = 0; i < 3; ++i) {
    int v = static_cast<int>(out->c[i] * 255.0f);
    out->c[i] = 1.0f - static_cast<float>(v ^ 165) / 255.0f;
  }
  return true;
}

// The font size of /DA ("... 9 Tf ..."), else 9.
double CaptionFontSize(KPD_Dictionary dict) {
  KPD_Object obj = host::DictGet(dict, "/DA");
  host::ByteString da;
  if (!obj || !host::StringGetBytes(obj, da.get())) return 9.0;
  std::string text = da.str();
  size_t tf = text.rfind("Tf");
  if (tf == std::string::npos || tf == 0) return 9.0;
  size_t end = text.find_last_not_of(" \t\r\n", tf - 1);
  if (end == std::string::npos) return 9.0;
  size_t begin = text.find_last_of(" \t\r\n", end);
  begin = begin == std::string::npos ? 0 : begin + 1;
  double size = 0;
  auto r = std::from_chars(text.data() + begin, text.data() + end + 1, size);
  if (r.ec != std::errc() || !(size > 0) || size > 1000) return 9.0;
  return size;
}

// The caption as a PDF string in the font's encoding (the host's font
// service; Latin-1 when it cannot say), unprintable characters as '?'.
std::string CaptionString(KA_FontService svc, const std::u16string& text) {
  std::string bytes;
  host::ByteString encoded;
  if (host::FontEncodeText(svc, "Helvetica", text.data(), text.size(), encoded.get())) {
    bytes = encoded.str();
  } else {
    for (char16_t c : text) bytes += c > 0xFF ? '?' : static_cast<char>(c);
  }
  std::string s = "(";
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20) c = u == '\r' || u == '\n' || u == '\t' ? ' ' : '?';
    if (c == '(' || c == ')' || c == '\\') s += '\\';
    s += c;
  }
  return s + ")";
}

struct Caption {
  bool present = false;
  std::u16string text;
  double size = 9.0;
  double width = 0;
  double ascent = 0, descent = 0;  // user units; descent negative
  KA_FontService service = nullptr;
  bool top = false;
  double offsetAlong = 0, offsetUp = 0;
};

bool ReadCaption(const CAPCommon& s, Caption* c, std::string* reason) {
  KPD_Object cap = host::DictGet(s.dict, "/Cap");
  if (!cap || host::ObjectGetType(cap) != KPD_OBJ_BOOLEAN || !host::BooleanGet(cap)) return true;
  KPD_Object contents = host::DictGet(s.dict, "/Contents");
  host::WideString text;
  if (!contents || !host::StringObjectGetText(contents, text.get())) return true;
  c->text = text.str();
  if (c->text.empty()) return true;
  c->present = true;
  c->size = CaptionFontSize(s.dict);
  c->top = apread::NameIs(s.dict, "/CP", "/Top");
  std::vector<float> co;
  if (apread::Numbers(host::DictGet(s.dict, "/CO"), co, 2) == 2) {
    if (!apread::Finite(co)) return Fail(reason, "/CO out of range");
    c->offsetAlong = co[0];
    c->offsetUp = co[1];
  }
  KA_FontService svc = host::AppGetFontService();
  c->service = svc;
  c->width = host::FontTextWidth(svc, "Helvetica", c->text.data(), c->text.size(), float(c->size));
  if (!std::isfinite(c->width) || c->width < 0) c->width = 0;
  KS_FontMetrics m{};
  // Helvetica's ascender and descender when the service cannot say.
  double ascent = 718, descent = -207;
  if (host::FontGetMetrics(svc, "Helvetica", &m) && m.ascent > 0) {
    ascent = m.ascent;
    descent = m.descent;
  }
  c->ascent = ascent * c->size / 1000.0;
  c->descent = descent * c->size / 1000.0;
  return true;
}

// "Helv" in the stream's fonts: the host's standard font, or a plain
// Type 1 Helvetica dictionary when the host has no font service.
void AddFont(KPD_Document doc, KPD_Stream stream, KA_FontService svc) {
  KPD_Dictionary sd = host::StreamGetDict(stream);
  KPD_Object res = host::DictGet(sd, "/Resources");
  if (!res) return;
  KPD_Object fonts = host::DictGet(res, "/Font");
  if (!fonts || host::ObjectGetType(fonts) != KPD_OBJ_DICTIONARY) {
    KPD_Object d = host::DictNew();
    host::DictSet(res, "/Font", d);
    host::ObjectRelease(d);
    fonts = host::DictGet(res, "/Font");
  }
  if (host::FontAddToResources(svc, doc, fonts, "/Helv", "Helvetica")) return;
  KPD_Object font = host::DictNew();
  const char* const entries[][2] = {
      {"/Type", "/Font"}, {"/Subtype", "/Type1"}, {"/BaseFont", "/Helvetica"}, {"/Encoding", "/WinAnsiEncoding"}};
  for (const auto& e : entries) {
    KPD_Object n = host::NameNew(e[1]);
    host::DictSet(font, e[0], n);
    host::ObjectRelease(n);
  }
  host::DictSet(fonts, "/Helv", font);
  host::ObjectRelease(font);
}

bool ResetLine(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  CAPCommon s;
  if (!s.Init(annot)) return Fail(reason, s.Problem());
  std::vector<float> l;
  if (apread::Numbers(host::DictGet(annot, "/L"), l, 4) != 4) return Fail(reason, "missing or malformed /L");
  if (!apread::Finite(l)) return Fail(reason, "/L out of range");
  const Pt p1{l[0], l[1]}, p2{l[2], l[3]};

  int endings[2] = {kEndNone, kEndNone};
  KPD_Object le = host::DictGet(annot, "/LE");
  if (le && host::ObjectGetType(le) == KPD_OBJ_ARRAY) {
    for (int i = 0; i < 2 && i < host::ArrayCount(le); ++i) {
      host::ByteString name;
      if (host::NameGet(host::ArrayGet(le, i), name.get())) endings[i] = LineEndingFromName(name.str().substr(1));
    }
  } else if (apread::NameIs(annot, "/IT", "/LineArrow")) {
    endings[1] = kEndOpenArrow;
  }

  double ll = 0, lle = 0, llo = 0;
  apread::Number(annot, "/LL", &ll);
  apread::Number(annot, "/LLE", &lle);
  apread::Number(annot, "/LLO", &llo);
  if (!apread::Finite(ll) || !apread::Finite(lle) || !apread::Finite(llo)) return Fail(reason, "leader out of range");

  double les[2] = {1.0, 1.0};
  bool hasLes = false;
  if (apread::NameIs(annot, "/IT", "/LineDimension")) {
    std::vector<float> f;
    if (apread::Numbers(host::DictGet(annot, "/LES"), f, 2) == 2 && apread::Finite(f)) {
      les[0] = f[0];
      les[1] = f[1];
      hasLes = true;
    }
  }
  Caption caption;
  if (!ReadCaption(s, &caption, reason)) return false;

  const double w = s.borderWidth;
  const bool stroke = s.hasStroke && w > 0;
  Pt d{p2.x - p1.x, p2.y - p1.y};
  double len = Length(d.x, d.y);
  Pt u = len >= 0.0001 ? Pt{d.x / len, d.y / len} : d;
  Pt n = ll >= 0 ? Pt{-u.y, u.x} : Pt{u.y, -u.x};
  double off = std::fabs(ll) + llo, ext = off + lle;
  Pt a1{p1.x + off * n.x, p1.y + off * n.y}, a2{p2.x + off * n.x, p2.y + off * n.y};

  std::string content;
  content.reserve(512);
  s.WriteGraphicsState(content);
  ApBounds drawn;
  drawn.Add(a1.x, a1.y);
  drawn.Add(a2.x, a2.y);

  // The caption reads left to right whichever way the line runs.
  Pt t = len >= 0.0001 ? u : Pt{1, 0};
  if (t.x < 0 || (t.x == 0 && t.y < 0)) t = {-t.x, -t.y};
  Pt up{0.0 - t.y, t.x};  // 0 - y: no "-0.000" for a level line
  Pt mid{(a1.x + a2.x) / 2 + caption.offsetAlong * t.x, (a1.y + a2.y) / 2 + caption.offsetAlong * t.y};
  const double gap = caption.width / 2 + 2;
  const bool inlineGap = caption.present && !caption.top &&
                         std::fabs(caption.offsetUp) < (caption.ascent - caption.descent) / 2 &&
                         len > 2 * gap;

  AppendMoveTo(content, a1.x, a1.y);
  if (inlineGap) {
    AppendLineTo(content, mid.x - gap * u.x, mid.y - gap * u.y);
    AppendMoveTo(content, mid.x + gap * u.x, mid.y + gap * u.y);
  }
  AppendLineTo(content, a2.x, a2.y);
  if (std::fabs(ll) >= 0.0001 || std::fabs(lle) >= 0.0001) {
    // Each leader runs from the offset gap at its end point out to the
    // extension beyond the line.
    for (const Pt& p : {p1, p2}) {
      Pt from{p.x + llo * n.x, p.y + llo * n.y}, to{p.x + ext * n.x, p.y + ext * n.y};
      AppendMoveTo(content, from.x, from.y);
      AppendLineTo(content, to.x, to.y);
      drawn.Add(from.x, from.y);
      drawn.Add(to.x, to.y);
    }
  }
  content += PaintOperator(false, false, stroke);
  for (int e = 0; e < 2; ++e) {
    if (endings[e] == kEndNone) continue;
    Pt at = e == 0 ? a1 : a2;
    Pt dir = e == 0 ? Pt{a1.x - a2.x, a1.y - a2.y} : Pt{a2.x - a1.x, a2.y - a1.y};
    double size = LineEndingSize(endings[e], w, hasLes ? &les[e] : nullptr);
    drawn.Add(Ending(s, content, endings[e], at, dir, size));
  }
  drawn.Inflate(std::max(w, 1.0) + 3.0);

  if (caption.present) {
    double lift = caption.top ? w / 2 + 2 - caption.descent : -(caption.ascent + caption.descent) / 2;
    lift += caption.offsetUp;
    Pt origin{mid.x - caption.width / 2 * t.x + lift * up.x, mid.y - caption.width / 2 * t.y + lift * up.y};
    KPD_ColorF color;
    if (!CaptionColor(s, &color)) return Fail(reason, "malformed /CC");
    content += "q BT\n";
    AppendFillColor(content, color);
    content += "/Helv ";
    ks::AppendFixed(content, caption.size, 3);
    content += " Tf\n";
    AppendTextMatrix(content, KS_Matrix{float(t.x), float(t.y), float(up.x), float(up.y), float(origin.x),
                                        float(origin.y)});
    content += CaptionString(caption.service, caption.text);
    content += " Tj\nET Q\n";
    for (double along : {0.0, caption.width})
      for (double height : {caption.descent, caption.ascent})
        drawn.Add(origin.x + along * t.x + height * up.x, origin.y + along * t.y + height * up.y);
  }

  KS_FloatRect oldRect{};
  std::string ignored;
  ReadRect(annot, &oldRect, &ignored);
  KPD_Stream stream = nullptr;
  if (!Finish(s, options, content, drawn.Rect(), oldRect, s.blendMode, reason, &stream)) return false;
  if (caption.present) AddFont(s.document, stream, caption.service);
  return true;
}

// ---- ink --------------------------------------------------------------------------

// Writes a stroke as smoothed curves. The curves bulge past the stroke's
// points, so their control points (which hold each curve) go into `hull`.
void SmoothStroke(std::string& out, const std::vector<Pt>& p, ApBounds& hull) {
  const size_t n = p.size();
  const bool closed = p.front().x == p.back().x && p.front().y == p.back().y && n > 2;
  AppendMoveTo(out, p[0].x, p[0].y);
  for (size_t i = 0; i + 1 < n; ++i) {
    const Pt& p1 = p[i];
    const Pt& p2 = p[i + 1];
    const Pt& p0 = i > 0 ? p[i - 1] : (closed ? p[n - 2] : p[0]);
    const Pt& p3 = i + 2 < n ? p[i + 2] : (closed ? p[1] : p2);
    Pt m1{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2};
    Pt m2{(p1.x + p2.x) / 2, (p1.y + p2.y) / 2};
    Pt m3{(p2.x + p3.x) / 2, (p2.y + p3.y) / 2};
    double l1 = Length(p1.x - p0.x, p1.y - p0.y);
    double l2 = Length(p2.x - p1.x, p2.y - p1.y);
    double l3 = Length(p3.x - p2.x, p3.y - p2.y);
    double k1 = 0.5, k2 = 0.5;
    if (l1 + l2 > 0.0001 && l2 + l3 > 0.0001) {
      k1 = l1 / (l1 + l2);
      k2 = l2 / (l2 + l3);
    }
    Pt b1{m1.x + (m2.x - m1.x) * k1, m1.y + (m2.y - m1.y) * k1};
    Pt b2{m2.x + (m3.x - m2.x) * k2, m2.y + (m3.y - m2.y) * k2};
    Pt c1{p1.x + (m2.x - b1.x) * 0.8, p1.y + (m2.y - b1.y) * 0.8};
    Pt c2{p2.x + (m2.x - b2.x) * 0.8, p2.y + (m2.y - b2.y) * 0.8};
    AppendCurveTo(out, c1.x, c1.y, c2.x, c2.y, p2.x, p2.y);
    hull.Add(c1.x, c1.y);
    hull.Add(c2.x, c2.y);
  }
}

bool ResetInk(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  CAPCommon s;
  if (!s.Init(annot)) return Fail(reason, s.Problem());
  KPD_Object list = host::DictGet(annot, "/InkList");
  if (!list || host::ObjectGetType(list) != KPD_OBJ_ARRAY) return Fail(reason, "missing or malformed /InkList");
  int count = host::ArrayCount(list);
  if (count < 1) return Fail(reason, "/InkList has no strokes");
  std::vector<std::vector<Pt>> strokes;
  strokes.reserve(size_t(count));
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    KPD_Object item = host::ArrayGet(list, i);
    if (!item || host::ObjectGetType(item) != KPD_OBJ_ARRAY) return Fail(reason, "/InkList holds a non-array");
    std::vector<Pt> pts;
    if (!ReadPoints(item, pts, "/InkList stroke", reason)) return false;
    total += pts.size();
    if (total > size_t(kMaxCoordinates)) return Fail(reason, "/InkList too long");
    if (!pts.empty()) strokes.push_back(std::move(pts));
  }
  if (strokes.empty()) return Fail(reason, "/InkList has no points");

  const double w = s.borderWidth;
  const bool highlight = apread::NameIs(annot, "/IT", "/InkHighlight");
  const std::string blend = highlight ? std::string("Multiply") : s.blendMode;
  double type = 1;
  const bool smooth = !apread::Number(annot, "/KwLineType", &type) || type == 1;

  std::string content;
  content.reserve(96 + total * (smooth ? 64 : 24));
  if (s.hasStroke) AppendStrokeColor(content, s.strokeColor);
  ks::AppendFixed(content, w, 2);
  content += " w\n1 J\n1 j\n";
  ks::AppendFixed(content, std::max(1.0, w) / std::sin(0.5235988), 3);
  content += " M\n";
  if (s.needsTransparency || highlight) content += "/TransGs gs\n";
  ApBounds drawn;
  const char* paint = s.hasStroke ? "S\n" : "n\n";
  for (const auto& pts : strokes) {
    for (const Pt& p : pts) drawn.Add(p.x, p.y);
    if (pts.size() == 1) {
      AppendMoveTo(content, pts[0].x, pts[0].y);
      AppendLineTo(content, pts[0].x + 0.001, pts[0].y + 0.001);
    } else if (smooth) {
      SmoothStroke(content, pts, drawn);
    } else {
      AppendMoveTo(content, pts[0].x, pts[0].y);
      for (size_t i = 1; i < pts.size(); ++i) AppendLineTo(content, pts[i].x, pts[i].y);
    }
    content += paint;
  }
  drawn.Inflate(w / 2);
  // A box too small to see or hit grows to 16 about its centre.
  if (drawn.right - drawn.left < 16) {
    double c = (drawn.left + drawn.right) / 2;
    drawn.left = c - 8;
    drawn.right = c + 8;
  }
  if (drawn.top - drawn.bottom < 16) {
    double c = (drawn.bottom + drawn.top) / 2;
    drawn.bottom = c - 8;
    drawn.top = c + 8;
  }
  // Curve control points give the box arbitrary fractions; outwards to
  // thousandths (the content's own precision) /Rect reads back as the same
  // numbers, and a rebuild of an unchanged stroke writes nothing new.
  drawn.left = std::floor(drawn.left * 1000) / 1000;
  drawn.bottom = std::floor(drawn.bottom * 1000) / 1000;
  drawn.right = std::ceil(drawn.right * 1000) / 1000;
  drawn.top = std::ceil(drawn.top * 1000) / 1000;
  KS_FloatRect oldRect{};
  std::string ignored;
  ReadRect(annot, &oldRect, &ignored);
  return Finish(s, options, content, drawn.Rect(), oldRect, blend, reason);
}

bool Square(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  return ResetBox(annot, reason, options, false);
}
bool Circle(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  return ResetBox(annot, reason, options, true);
}
bool Polygon(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  return ResetVertexShape(annot, reason, options, true);
}
bool PolyLine(KPD_Dictionary annot, std::string* reason, const ShapeAppearanceOptions& options) {
  return ResetVertexShape(annot, reason, options, false);
}

}  // namespace

bool ResetSquareAppearance(KPD_Dictionary annot, std::string* skipReason) { return Square(annot, skipReason, {}); }
bool ResetCircleAppearance(KPD_Dictionary annot, std::string* skipReason) { return Circle(annot, skipReason, {}); }
bool ResetPolygonAppearance(KPD_Dictionary annot, std::string* skipReason) {
  return Polygon(annot, skipReason, {});
}
bool ResetPolyLineAppearance(KPD_Dictionary annot, std::string* skipReason) {
  return PolyLine(annot, skipReason, {});
}
bool ResetLineAppearance(KPD_Dictionary annot, std::string* skipReason) { return ResetLine(annot, skipReason, {}); }
bool ResetInkAppearance(KPD_Dictionary annot, std::string* skipReason) { return ResetInk(annot, skipReason, {}); }

ShapeAppearanceFn ShapeAppearanceFor(KPD_Dictionary annot, std::string* kind) {
  static const struct {
    const char* name;
    ShapeAppearanceFn fn;
  } kKinds[] = {{"/Square", &Square}, {"/Circle", &Circle}, {"/Polygon", &Polygon},
                {"/PolyLine", &PolyLine}, {"/Line", &ResetLine}, {"/Ink", &ResetInk}};
  KPD_Object subtype = annot ? host::DictGet(annot, "/Subtype") : nullptr;
  if (kind) kind->clear();
  if (!subtype || host::ObjectGetType(subtype) != KPD_OBJ_NAME) return nullptr;
  for (const auto& k : kKinds) {
    if (host::NameIs(subtype, k.name)) {
      if (kind) *kind = k.name + 1;
      return k.fn;
    }
  }
  if (kind) {
    host::ByteString name;
    host::NameGet(subtype, name.get());
    std::string s = name.str();
    *kind = s.size() > 1 ? s.substr(1) : s;
  }
  return nullptr;
}

}  // namespace kwannotation
