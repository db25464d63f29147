#include "kwannotation/kw_shape_appearance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_cloud.h"
#include "kwannotation/kw_ap_common.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_ending.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_caption_text.h"
#include "kwannotation/kw_content_buffer.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_geometry.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

using geom::Length;
using Pt = geom::Point;
using geom::Deflate;
using geom::SameRect;

// Vertex and ink point lists beyond this are not drawings but damage.
constexpr int kMaxCoordinates = 2000000;
const char* const kStateName = "TransGs";

bool Fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

KS_FloatPoint F(Pt p) { return geom::ToFloat(p); }

// /Rect: four finite numbers, read as the rectangle they span whichever
// corners they name (other programs write some upside down). An empty
// rectangle is refused.
bool ReadRect(KPD_Dictionary dict, KS_FloatRect* rect, std::string* reason) {
  std::vector<float> v;
  if (dict::ReadNumbers(host::DictGet(dict, "/Rect"), v, 4) != 4) return Fail(reason, "missing or malformed /Rect");
  if (!geom::InRange(v)) return Fail(reason, "/Rect out of range");
  if (v[0] > v[2]) std::swap(v[0], v[2]);
  if (v[1] > v[3]) std::swap(v[1], v[3]);
  if (!(v[0] < v[2]) || !(v[1] < v[3])) return Fail(reason, "empty /Rect");
  *rect = {v[0], v[1], v[2], v[3]};
  return true;
}

// Whether the stored /Rect names its corners the other way round; such a
// rectangle is written back the right way up.
bool StoredUpsideDown(KPD_Dictionary dict) {
  std::vector<float> v;
  return dict::ReadNumbers(host::DictGet(dict, "/Rect"), v, 4) == 4 && (v[0] > v[2] || v[1] > v[3]);
}

// The drawing rectangle: /Rect less the /RD insets of the object model; a
// malformed /RD counts as none.
KS_FloatRect DrawingRect(const CKW_AnnotImpl& annot, const KS_FloatRect& rect) {
  float rd[4];
  if (!annot.GetRectDifferences(rd)) return rect;
  return geom::Inset(rect, rd);
}

ApBounds BoundsOf(const KS_FloatRect& r) {
  ApBounds b;
  b.Add(r.left, r.bottom);
  b.Add(r.right, r.top);
  return b;
}

// The shapes' painting operator: both "B", border "S", interior "f".
const char* ShapeOperator(bool fill, bool stroke) {
  if (fill && stroke) return "B\n";
  if (stroke) return "S\n";
  if (fill) return "f\n";
  return "n\n";
}

// The result of a generator: the content with its box, the new /Rect when
// the figure outgrew the old one, and the transparency state.
void Finish(const CAPCommon& state, std::string&& content, const KS_FloatRect& box, const KS_FloatRect& oldRect,
            const std::string& blendMode, ShapeAppearanceResult* out) {
  out->content = std::move(content);
  out->bbox = box;
  out->setRect = !SameRect(box, oldRect) || StoredUpsideDown(state.dict);
  out->rect = box;
  out->strokeOpacity = state.strokeOpacity;
  out->fillOpacity = state.fillOpacity;
  out->blendMode = blendMode;
}

// When a figure grows /Rect, /RD grows with it so that the next rebuild
// finds the same drawing rectangle.
void KeepDrawingRect(const KS_FloatRect& box, const KS_FloatRect& rect, const KS_FloatRect& drawing,
                     ShapeAppearanceResult* out) {
  if (SameRect(box, rect)) return;
  out->setInsets = true;
  out->insets = geom::InsetsBetween(box, drawing);
}

// Opening of every closed shape: colours, transparency, line state.
void ShapeHead(const CAPCommon& s, std::string& out, bool roundJoin, bool writeFill) {
  if (s.hasStroke) AppendStrokeColor(out, s.strokeColor);
  if (s.hasFill && writeFill) AppendFillColor(out, s.fillColor);
  if (s.needsTransparency) out += "/TransGs gs\n";
  if (s.borderWidth != 0) {
    AppendLineState(out, s.borderWidth, 2, roundJoin);
    if (s.borderStyle == KW_BORDER_DASH) AppendDash(out, s.dashes, s.dashPhase);
  }
}

bool Cloudy(const CAPCommon& s) { return s.borderStyle == KW_BORDER_CLOUDY && s.intensity > 0; }

// Reads a flat list of coordinate pairs.
bool ReadPoints(KPD_Object array, std::vector<Pt>& points, const char* what, std::string* reason) {
  std::vector<float> v;
  int n = dict::ReadNumbers(array, v, kMaxCoordinates);
  if (n == -2) return Fail(reason, std::string(what) + " too long");
  if (n < 0) return Fail(reason, std::string("missing or malformed ") + what);
  if (n % 2) return Fail(reason, std::string(what) + " of odd length");
  if (!geom::InRange(v)) return Fail(reason, std::string(what) + " out of range");
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

double Rotation(const CKW_AnnotImpl& annot) {
  int32_t degrees = 0;
  return annot.GetRotation(&degrees) ? geom::Radians(degrees) : 0;
}

// ---- square and circle --------------------------------------------------------

bool BoxAppearance(const CKW_MarkupAnnotImpl& annot, bool ellipse, ShapeAppearanceResult* out, std::string* reason) {
  CAPCommon s;
  if (!s.Init(annot)) return Fail(reason, s.Problem());
  KS_FloatRect rect;
  if (!ReadRect(s.dict, &rect, reason)) return false;
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
    KS_FloatRect cloudRect = figure;
    annot.InflateCloudRect(&cloudRect);
    drawn = ellipse ? AppendEllipseCloud(content, cloudRect, angle, s.intensity)
                    : AppendRectangleCloud(content, cloudRect, s.intensity);
    cloudDrawn = !drawn.empty;
  }
  // A solid border wider than the ellipse's smaller half-axis covers the
  // whole figure. Stroked, its inner edge turns inside out, which MuPDF
  // fills as a hole in the middle and poppler does not; so the covered
  // figure is drawn as what it looks like, a disc in the border's colour
  // as wide as the stroke's outer edge (over the interior, when there is
  // one, for a border that is not opaque).
  const double halfX = (double(figure.right) - figure.left) / 2, halfY = (double(figure.top) - figure.bottom) / 2;
  const bool disc =
      ellipse && !cloudDrawn && stroke && s.borderStyle != KW_BORDER_DASH && std::min(halfX, halfY) <= w / 2;
  if (cloudDrawn) {
    content += PaintOperator(true, s.hasFill, stroke);
  } else if (disc) {
    if (s.hasFill) {
      CMKA_Path::AppendEllipse(content, figure, angle);
      content += "f\n";
    }
    AppendFillColor(content, s.strokeColor);
    drawn = CMKA_Path::AppendEllipse(content, Deflate(figure, -w / 2), angle);
    content += "f\n";
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
  if (!disc) drawn.Inflate(w / 2);
  ApBounds box = BoundsOf(rect);
  box.Add(drawn);
  KS_FloatRect boxRect = box.Rect();
  Finish(s, std::move(content), boxRect, rect, s.blendMode, out);
  // The disc stands for the border: it is painted as the border would be.
  if (disc) out->fillOpacity = s.strokeOpacity;
  KeepDrawingRect(boxRect, rect, drawing, out);
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
  int n = dict::ReadNumbers(obj, v, kMaxCoordinates);
  if (n < 0 || n % 5) return Fail(reason, "malformed /Curves");
  if (!geom::InRange(v)) return Fail(reason, "/Curves out of range");
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

bool VertexAppearance(const CKW_MarkupAnnotImpl& view, bool closed, ShapeAppearanceResult* out, std::string* reason) {
  CAPCommon s;
  if (!s.Init(view)) return Fail(reason, s.Problem());
  KPD_Dictionary annot = s.dict;
  KS_FloatRect rect;
  if (!ReadRect(annot, &rect, reason)) return false;
  std::vector<Pt> v;
  if (!ReadPoints(host::DictGet(annot, "/Vertices"), v, "/Vertices", reason)) return false;
  if (v.size() < 2) return Fail(reason, "fewer than two vertices");
  std::vector<CurveSegment> curves;
  if (!ReadCurves(annot, v.size(), curves, reason)) return false;
  int endings[2] = {kEndNone, kEndNone};
  if (!closed) ReadLineEndings(annot, &endings[0], &endings[1]);

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
  Finish(s, std::move(content), box.Rect(), rect, s.blendMode, out);
  return true;
}

// ---- line -------------------------------------------------------------------------

// The caption colour: /CC, else each component c of the line colour turned
// into 1 - (trunc(c * 255) XOR 0xA5) / 255.
bool CaptionColor(const CKW_LineImpl& line, const CAPCommon& s, KPD_ColorF* out) {
  KPD_ColorF cc;
  if (!line.GetCaptionColor(&cc) && line.HasKey("/CC")) return false;
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
double CaptionFontSize(const CKW_AnnotImpl& annot) {
  std::string text;
  if (!annot.GetDefaultAppearance(&text)) return 9.0;
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

bool ReadCaption(const CKW_LineImpl& line, Caption* c, std::string* reason) {
  KPD_Dictionary d = line.GetDict();
  bool cap = false;
  if (!dict::GetBool(d, "/Cap", &cap) || !cap) return true;
  if (!line.GetContents(&c->text) || c->text.empty()) return true;
  c->present = true;
  c->size = CaptionFontSize(line);
  c->top = dict::NameIs(d, "/CP", "Top");
  KW_ReadCaptionOffset(d, &c->offsetAlong, &c->offsetUp);
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

bool LineFigure(const CKW_LineImpl& line, ShapeAppearanceResult* out, std::string* reason, bool withCaption,
                const LineGap* cut = nullptr) {
  CAPCommon s;
  if (!s.Init(line)) return Fail(reason, s.Problem());
  KPD_Dictionary annot = s.dict;
  std::vector<float> l;
  if (dict::ReadNumbers(host::DictGet(annot, "/L"), l, 4) != 4) return Fail(reason, "missing or malformed /L");
  if (!geom::InRange(l)) return Fail(reason, "/L out of range");
  const Pt p1{l[0], l[1]}, p2{l[2], l[3]};

  const std::string intent = line.GetIntent();
  int endings[2] = {kEndNone, kEndNone};
  if (!ReadLineEndings(annot, &endings[0], &endings[1]) && intent == "LineArrow") {
    endings[1] = kEndOpenArrow;
  }

  KwLineLeader leader;
  KW_ReadLineLeader(annot, &leader);  // a damaged key reads as 0
  const double ll = leader.length, lle = leader.extension, llo = leader.offset;
  if (!geom::InRange(ll) || !geom::InRange(lle) || !geom::InRange(llo)) return Fail(reason, "leader out of range");

  double les[2] = {1.0, 1.0};
  bool hasLes = false;
  if (intent == "LineDimension") {
    std::vector<float> f;
    if (dict::ReadNumbers(host::DictGet(annot, "/LES"), f, 2) == 2 && geom::InRange(f)) {
      les[0] = f[0];
      les[1] = f[1];
      hasLes = true;
    }
  }
  Caption caption;
  if (withCaption && !ReadCaption(line, &caption, reason)) return false;

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
  double gap = caption.width / 2 + 2;
  bool inlineGap = caption.present && !caption.top &&
                   std::fabs(caption.offsetUp) < (caption.ascent - caption.descent) / 2 && len > 2 * gap;
  Pt gapMid = mid;
  if (cut) {
    gap = cut->half;
    gapMid = {(a1.x + a2.x) / 2 + cut->along * t.x, (a1.y + a2.y) / 2 + cut->along * t.y};
    inlineGap = len > 2 * gap;
  }

  AppendMoveTo(content, a1.x, a1.y);
  if (inlineGap) {
    AppendLineTo(content, gapMid.x - gap * u.x, gapMid.y - gap * u.y);
    AppendMoveTo(content, gapMid.x + gap * u.x, gapMid.y + gap * u.y);
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
    if (!CaptionColor(line, s, &color)) return Fail(reason, "malformed /CC");
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
  Finish(s, std::move(content), drawn.Rect(), oldRect, s.blendMode, out);
  out->captionFont = caption.present;
  out->fontService = caption.service;
  return true;
}

bool LineAppearance(const CKW_LineImpl& line, ShapeAppearanceResult* out, std::string* reason) {
  return LineFigure(line, out, reason, true);
}

// ---- ink --------------------------------------------------------------------------

// The strokes of an ink, empty ones left out: the points of all strokes as
// one list of x y pairs, and where each stroke ends (in points).
struct InkPoints {
  std::vector<float> xy;
  std::vector<size_t> ends;
};

// The ink's content, written straight into its buffer: a dense ink has
// hundreds of thousands of numbers. Every number has three decimals and is
// followed by a space.
class InkText {
 public:
  explicit InkText(CKW_ContentBuffer& out) : out_(out) {}
  // Makes room for the numbers and operator of one path segment; false
  // when no memory can be had.
  bool Room() {
    at_ = out_.Room(kRoom);
    return at_ != nullptr;
  }
  void Number(double v) {
    at_ = ks::WriteFixed(at_, v, 3);
    *at_++ = ' ';
  }
  // Ends a segment with its two-byte operator ("c\n", "l\n", "m\n", "S\n").
  void Op(const char (&text)[3]) {
    std::memcpy(at_, text, 2);
    at_ += 2;
    out_.SetEnd(at_);
  }

 private:
  // Six numbers and an operator.
  static constexpr size_t kRoom = 7 * ks::kFixedTextMax;
  CKW_ContentBuffer& out_;
  char* at_ = nullptr;
};

// Writes a stroke as smoothed curves. The curves bulge past the stroke's
// points, so their control points (which hold each curve) go into `hull`.
// A segment's first length and midpoint are the previous segment's second
// ones, and its second ones the previous segment's third: each is worked
// out once, from the same operands, so the numbers are the same.
bool SmoothStroke(InkText& out, const float* xy, size_t n, ApBounds& hull) {
  auto at = [xy](size_t i) { return Pt{xy[2 * i], xy[2 * i + 1]}; };
  const Pt first = at(0), last = at(n - 1);
  const bool closed = first.x == last.x && first.y == last.y && n > 2;
  if (!out.Room()) return false;
  out.Number(first.x);
  out.Number(first.y);
  out.Op("m\n");
  const Pt p0 = closed ? at(n - 2) : first;
  Pt p1 = first;
  Pt p2 = at(1);
  Pt m1{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2};
  Pt m2{(p1.x + p2.x) / 2, (p1.y + p2.y) / 2};
  double l1 = Length(p1.x - p0.x, p1.y - p0.y);
  double l2 = Length(p2.x - p1.x, p2.y - p1.y);
  for (size_t i = 0; i + 1 < n; ++i) {
    const Pt p3 = i + 2 < n ? at(i + 2) : (closed ? at(1) : p2);
    const Pt m3{(p2.x + p3.x) / 2, (p2.y + p3.y) / 2};
    const double l3 = Length(p3.x - p2.x, p3.y - p2.y);
    double k1 = 0.5, k2 = 0.5;
    if (l1 + l2 > 0.0001 && l2 + l3 > 0.0001) {
      k1 = l1 / (l1 + l2);
      k2 = l2 / (l2 + l3);
    }
    const Pt b1{m1.x + (m2.x - m1.x) * k1, m1.y + (m2.y - m1.y) * k1};
    const Pt b2{m2.x + (m3.x - m2.x) * k2, m2.y + (m3.y - m2.y) * k2};
    const Pt c1{p1.x + (m2.x - b1.x) * 0.8, p1.y + (m2.y - b1.y) * 0.8};
    const Pt c2{p2.x + (m2.x - b2.x) * 0.8, p2.y + (m2.y - b2.y) * 0.8};
    if (!out.Room()) return false;
    out.Number(c1.x);
    out.Number(c1.y);
    out.Number(c2.x);
    out.Number(c2.y);
    out.Number(p2.x);
    out.Number(p2.y);
    out.Op("c\n");
    hull.Add(c1.x, c1.y);
    hull.Add(c2.x, c2.y);
    p1 = p2;
    p2 = p3;
    m1 = m2;
    m2 = m3;
    l1 = l2;
    l2 = l3;
  }
  return true;
}

// Writes a stroke point to point.
bool StraightStroke(InkText& out, const float* xy, size_t n) {
  if (!out.Room()) return false;
  out.Number(xy[0]);
  out.Number(xy[1]);
  out.Op("m\n");
  for (size_t i = 1; i < n; ++i) {
    if (!out.Room()) return false;
    out.Number(xy[2 * i]);
    out.Number(xy[2 * i + 1]);
    out.Op("l\n");
  }
  return true;
}

// The strokes of an ink through the host's ink service, in one call. False
// (reading nothing) for anything but a plain, readable ink in range: the
// caller then reads object by object and says what is wrong.
bool ReadInkFast(KPD_Dictionary annot, InkPoints& ink) {
  KS_InkInfo info{};
  info.size = sizeof info;
  if (!host::InkGetInfo(annot, &info) || info.strokes < 1 || info.coords / 2 > kMaxCoordinates) return false;
  std::vector<int32_t> counts(size_t(info.strokes));
  ink.xy.resize(size_t(info.coords));
  if (!host::InkGetStrokes(annot, counts.data(), info.strokes, ink.xy.data(), info.coords, nullptr) ||
      !geom::InRange(ink.xy)) {
    ink.xy.clear();
    return false;
  }
  ink.ends.clear();
  ink.ends.reserve(counts.size());
  size_t end = 0;
  for (int32_t count : counts) {
    if (count == 0) continue;
    end += size_t(count) / 2;
    ink.ends.push_back(end);
  }
  return true;
}

// The same object by object, with the reason for what cannot be drawn.
bool ReadInkObjects(KPD_Dictionary annot, InkPoints& ink, std::string* reason) {
  ink.xy.clear();
  ink.ends.clear();
  KPD_Object list = host::DictGet(annot, "/InkList");
  if (!list || host::ObjectGetType(list) != KPD_OBJ_ARRAY) return Fail(reason, "missing or malformed /InkList");
  int count = host::ArrayCount(list);
  if (count < 1) return Fail(reason, "/InkList has no strokes");
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    KPD_Object item = host::ArrayGet(list, i);
    if (!item || host::ObjectGetType(item) != KPD_OBJ_ARRAY) return Fail(reason, "/InkList holds a non-array");
    std::vector<Pt> pts;
    if (!ReadPoints(item, pts, "/InkList stroke", reason)) return false;
    total += pts.size();
    if (total > size_t(kMaxCoordinates)) return Fail(reason, "/InkList too long");
    if (pts.empty()) continue;
    for (const Pt& p : pts) {
      ink.xy.push_back(float(p.x));
      ink.xy.push_back(float(p.y));
    }
    ink.ends.push_back(ink.xy.size() / 2);
  }
  return true;
}

// An upper bound of the content's length, so that it is written into one
// buffer sized once: every point taken as a curve segment of six numbers,
// each number as wide as the farthest a control point can lie from the
// origin allows (a control point stays within 0.8 times the stroke's extent
// of its point, and the extent is at most twice the largest coordinate).
size_t InkTextBound(const InkPoints& ink) {
  float largest = 0;
  for (float v : ink.xy) largest = std::max(largest, std::fabs(v));
  double reach = 2.6 * double(largest) + 2;
  size_t digits = 1;
  for (double tens = 10; tens <= reach; tens *= 10) ++digits;
  const size_t number = digits + 6;  // sign, point, three decimals, space
  const size_t points = ink.xy.size() / 2;
  return 256 + points * (6 * number + 2) + ink.ends.size() * (4 * number + 6);
}

// The ink's appearance; its content stays in a buffer that the writer hands
// to the stream whole.
bool InkAppearance(const CKW_MarkupAnnotImpl& ink, ShapeAppearanceResult* out, std::string* reason) {
  CAPCommon s;
  if (!s.Init(ink)) return Fail(reason, s.Problem());
  KPD_Dictionary annot = s.dict;
  InkPoints points;
  if (!ReadInkFast(annot, points) && !ReadInkObjects(annot, points, reason)) return false;
  if (points.ends.empty()) return Fail(reason, "/InkList has no points");

  const double w = s.borderWidth;
  const bool highlight = ink.GetIntent() == "InkHighlight";
  const std::string blend = highlight ? std::string("Multiply") : s.blendMode;
  double type = 1;
  const bool smooth = !dict::GetNumber(annot, "/KwLineType", &type) || type == 1;

  std::string head;
  if (s.hasStroke) AppendStrokeColor(head, s.strokeColor);
  ks::AppendFixed(head, w, 2);
  head += " w\n1 J\n1 j\n";
  ks::AppendFixed(head, std::max(1.0, w) / std::sin(0.5235988), 3);
  head += " M\n";
  if (s.needsTransparency || highlight) head += "/TransGs gs\n";

  // Coordinates are finite and in range (both readers check), and so is
  // everything worked out from them: the text holds no "nan" or "inf".
  auto content = std::make_shared<CKW_ContentBuffer>(head.size() + InkTextBound(points));
  if (!content->Append(head)) return Fail(reason, "out of memory");
  InkText text(*content);
  ApBounds drawn;
  const bool stroke = s.hasStroke;
  size_t begin = 0;
  for (size_t end : points.ends) {
    const float* xy = points.xy.data() + 2 * begin;
    const size_t n = end - begin;
    begin = end;
    for (size_t i = 0; i < n; ++i) drawn.Add(xy[2 * i], xy[2 * i + 1]);
    bool written = true;
    if (n == 1) {
      written = text.Room();
      if (written) {
        text.Number(xy[0]);
        text.Number(xy[1]);
        text.Op("m\n");
        text.Number(xy[0] + 0.001);
        text.Number(xy[1] + 0.001);
        text.Op("l\n");
      }
    } else if (smooth) {
      written = SmoothStroke(text, xy, n, drawn);
    } else {
      written = StraightStroke(text, xy, n);
    }
    if (!written || !text.Room()) return Fail(reason, "out of memory");
    text.Op(stroke ? "S\n" : "n\n");
  }
  ApBounds box;
  box.left = drawn.left;
  box.bottom = drawn.bottom;
  box.right = drawn.right;
  box.top = drawn.top;
  box.empty = drawn.empty;
  box.Inflate(w / 2);
  // A box too small to see or hit grows to 16 about its centre.
  if (box.right - box.left < 16) {
    double c = (box.left + box.right) / 2;
    box.left = c - 8;
    box.right = c + 8;
  }
  if (box.top - box.bottom < 16) {
    double c = (box.bottom + box.top) / 2;
    box.bottom = c - 8;
    box.top = c + 8;
  }
  // Curve control points give the box arbitrary fractions; outwards to
  // thousandths (the content's own precision) /Rect reads back as the same
  // numbers, and a rebuild of an unchanged stroke writes nothing new.
  box.left = std::floor(box.left * 1000) / 1000;
  box.bottom = std::floor(box.bottom * 1000) / 1000;
  box.right = std::ceil(box.right * 1000) / 1000;
  box.top = std::ceil(box.top * 1000) / 1000;
  KS_FloatRect oldRect{};
  std::string ignored;
  ReadRect(annot, &oldRect, &ignored);
  Finish(s, std::string(), box.Rect(), oldRect, blend, out);
  out->contentBuffer = std::move(content);
  return true;
}

bool SquareAppearance(const CKW_MarkupAnnotImpl& a, ShapeAppearanceResult* out, std::string* reason) {
  return BoxAppearance(a, false, out, reason);
}
bool CircleAppearance(const CKW_MarkupAnnotImpl& a, ShapeAppearanceResult* out, std::string* reason) {
  return BoxAppearance(a, true, out, reason);
}
bool PolygonAppearance(const CKW_MarkupAnnotImpl& a, ShapeAppearanceResult* out, std::string* reason) {
  return VertexAppearance(a, true, out, reason);
}
bool PolyLineAppearance(const CKW_MarkupAnnotImpl& a, ShapeAppearanceResult* out, std::string* reason) {
  return VertexAppearance(a, false, out, reason);
}

}  // namespace

std::string KW_CaptionPdfString(KA_FontService svc, const std::u16string& text) { return CaptionString(svc, text); }

bool ComputeShapeAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* skipReason) {
  switch (KW_SubtypeCodeFromName(annot.GetSubtype())) {
    case KW_ANNOT_SQUARE: return SquareAppearance(annot, out, skipReason);
    case KW_ANNOT_CIRCLE: return CircleAppearance(annot, out, skipReason);
    case KW_ANNOT_POLYGON: return PolygonAppearance(annot, out, skipReason);
    case KW_ANNOT_POLYLINE: return PolyLineAppearance(annot, out, skipReason);
    case KW_ANNOT_INK: return InkAppearance(annot, out, skipReason);
    case KW_ANNOT_LINE: {
      CKW_LineImpl line(annot.GetDict(), KW_ANNOT_LINE, nullptr);
      return LineAppearance(line, out, skipReason);
    }
    default: return Fail(skipReason, "no shape appearance for this kind");
  }
}

bool ComputeLineFigure(const CKW_LineImpl& line, ShapeAppearanceResult* out, std::string* skipReason,
                       const LineGap* gap) {
  return LineFigure(line, out, skipReason, false, gap);
}

bool CKW_AppearanceWriter::Apply(CKW_AnnotImpl& annot, const ShapeAppearanceResult& result,
                                 const ShapeAppearanceOptions& options, std::string* reason) {
  KPD_Dictionary d = annot.GetDict();
  KPD_Document doc = d ? host::DocOfObject(d) : nullptr;
  if (!d || !doc) return Fail(reason, "not in a document");
  if (ks::NonFiniteWrites() != result.nonFiniteMark) return Fail(reason, "geometry is not finite");
  CKW_AnnotWriter writer(annot);
  KPD_Dictionary ap = dict::GetDict(d, "/AP");
  if (!ap && writer.SetOwned("/AP", host::DictNew())) ap = dict::GetDict(d, "/AP");
  if (!ap) return Fail(reason, "cannot write the appearance stream");
  KPD_Stream stream =
      result.contentBuffer
          ? WriteAppearanceStream(doc, d, ap, "N", result.bbox, result.matrix, *result.contentBuffer,
                                  result.procSets, std::string(), !options.reuseStream)
          : WriteAppearanceStream(doc, d, ap, "N", result.bbox, result.matrix, result.content, result.procSets,
                                  std::string(), !options.reuseStream);
  if (!stream) return Fail(reason, "cannot write the appearance stream");
  const char* stateName = result.stateName.empty() ? kStateName : result.stateName.c_str();
  SetTransparencyGState(stream, stateName, result.strokeOpacity, result.fillOpacity, doc, false, result.blendMode);
  if (result.strokeAdjust || !result.xobjects.empty() || result.transparencyGroup) {
    KPD_Dictionary sd = host::StreamGetDict(stream);
    auto child = [](KPD_Dictionary parent, const char* key) -> KPD_Dictionary {
      KPD_Dictionary d = dict::GetDict(parent, key);
      if (!d && dict::SetOwned(parent, key, host::DictNew())) d = dict::GetDict(parent, key);
      return d;
    };
    KPD_Dictionary res = child(sd, "/Resources");
    if (result.strokeAdjust) {
      KPD_Dictionary gs = child(child(res, "/ExtGState"), ("/" + std::string(stateName)).c_str());
      if (!gs) return Fail(reason, "cannot write the graphics state");
      dict::SetName(gs, "/Type", "ExtGState");
      dict::SetBool(gs, "/SA", true);
    }
    if (!result.xobjects.empty()) {
      KPD_Dictionary xobjects = child(res, "/XObject");
      if (!xobjects) return Fail(reason, "cannot write the appearance resources");
      for (const auto& [name, form] : result.xobjects) host::DictSet(xobjects, ("/" + name).c_str(), form);
    }
    if (result.transparencyGroup) {
      KPD_Dictionary group = child(sd, "/Group");
      dict::SetName(group, "/Type", "Group");
      dict::SetName(group, "/S", "Transparency");
    }
  }
  if (result.setRect) writer.SetOwned("/Rect", host::RectToObject(&result.rect));
  if (result.setInsets) writer.SetOwned("/RD", host::RectToObject(&result.insets));
  if (result.captionFont) AddFont(doc, stream, result.fontService);
  if (result.captionFonts) {
    KPD_Dictionary sd = host::StreamGetDict(stream);
    KPD_Object res = host::DictGet(sd, "/Resources");
    KPD_Object fonts = res ? host::DictGet(res, "/Font") : nullptr;
    if (res && (!fonts || host::ObjectGetType(fonts) != KPD_OBJ_DICTIONARY)) {
      KPD_Object made = host::DictNew();
      host::DictSet(res, "/Font", made);
      host::ObjectRelease(made);
      fonts = host::DictGet(res, "/Font");
    }
    if (!fonts || !result.captionFonts->AddTo(doc, fonts)) return Fail(reason, "cannot add the caption's fonts");
  }
  return true;
}

}  // namespace kwannotation
