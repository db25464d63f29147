#include "kwannotation/kw_markup_appearance.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_geometry.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// More numbers than this are damage, not marked text.
constexpr int kMaxQuadNumbers = 2000000;
// A squiggle never has more zigzag points than this per quadrilateral.
constexpr double kMaxSquiggleSteps = 4000;

bool Fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

struct V {
  double x, y;
};
V Sub(V a, V b) { return {a.x - b.x, a.y - b.y}; }
double Cross(V a, V b) { return a.x * b.y - a.y * b.x; }
double Dot(V a, V b) { return a.x * b.x + a.y * b.y; }
V At(const std::vector<float>& v, size_t i) { return {v[i], v[i + 1]}; }
KS_FloatPoint F(V p) { return {float(p.x), float(p.y)}; }

// Whether a, b, c, d go round a convex figure with area.
bool Convex(V a, V b, V c, V d) {
  const V p[4] = {a, b, c, d};
  int positive = 0, negative = 0;
  for (int i = 0; i < 4; ++i) {
    double turn = Cross(Sub(p[(i + 1) % 4], p[i]), Sub(p[(i + 2) % 4], p[(i + 1) % 4]));
    if (turn > 0) ++positive;
    if (turn < 0) ++negative;
  }
  return (positive == 0) != (negative == 0);
}

void Number(std::string& out, double v, int precision, const char* after) {
  ks::AppendFixed(out, v, precision);
  out += after;
}

void Color(std::string& out, const KPD_ColorF& rgb, const char* op) {
  for (int i = 0; i < 3; ++i) Number(out, rgb.c[i], 6, " ");
  out += op;
}

void MoveLine(std::string& out, double width, V from, V to) {
  Number(out, width, 3, " w ");
  Number(out, from.x, 3, " ");
  Number(out, from.y, 3, " m ");
  Number(out, to.x, 3, " ");
  Number(out, to.y, 3, " l ");
}

V P(KS_FloatPoint p) { return {p.x, p.y}; }

// A zigzag along the baseline of `q`, rising by one eighth of the text's
// height each step.
void Squiggle(std::string& out, const MarkupQuad& q, double width, ApBounds& drawn) {
  V ll = P(q.ll), lr = P(q.lr);
  V down = Sub(ll, P(q.ul));
  V unit{down.x / 8, down.y / 8};
  double size = std::hypot(unit.x, unit.y);
  V along = Sub(lr, ll);
  double length = std::hypot(along.x, along.y);
  if (size <= 0 || length <= 0) return;
  V dir{along.x / length, along.y / length};
  // Upright text gets a slightly closer zigzag: it reads as a wave rather
  // than as teeth at the same height.
  double step = size;
  if (std::fabs(-unit.y / size) > 0.9) step /= 1.18;
  step = std::max(step, length / kMaxSquiggleSteps);
  V up{-unit.x, -unit.y};
  Number(out, width, 3, " w ");
  Number(out, ll.x, 3, " ");
  Number(out, ll.y, 3, " m ");
  drawn.Add(ll.x, ll.y);
  int k = 1;
  for (double t = step; t < length + step / 2; t += step, ++k) {
    double at = std::min(t, length);
    double rise = (k % 2) ? 1.0 : 0.0;
    V p{ll.x + dir.x * at + up.x * rise, ll.y + dir.y * at + up.y * rise};
    Number(out, p.x, 3, " ");
    Number(out, p.y, 3, " l ");
    drawn.Add(p.x, p.y);
  }
}

}  // namespace

bool MarkupQuadsFromPoints(const std::vector<float>& values, std::vector<MarkupQuad>* quads, std::string* reason) {
  quads->clear();
  const size_t whole = values.size() / 8 * 8;
  for (size_t i = 0; i < whole; ++i)
    if (!geom::InRange(values[i])) return Fail(reason, "/QuadPoints holds a number that is not finite or out of range");
  for (size_t i = 0; i < whole; i += 8) {
    V p0 = At(values, i), p1 = At(values, i + 2), p2 = At(values, i + 4), p3 = At(values, i + 6);
    // Round the figure: c0 c1 along the text, c2 c3 on the far edge.
    V c[4];
    if (Convex(p0, p1, p3, p2)) {
      c[0] = p0, c[1] = p1, c[2] = p3, c[3] = p2;
    } else if (Convex(p0, p1, p2, p3)) {
      c[0] = p0, c[1] = p1, c[2] = p2, c[3] = p3;
    } else {
      continue;  // no area, or corners that cross
    }
    V dir = Sub(c[1], c[0]);
    V up{-dir.y, dir.x};
    MarkupQuad q;
    if (Dot(Sub(c[3], c[0]), up) > 0) {  // c0 c1 is the baseline
      q = {F(c[3]), F(c[2]), F(c[0]), F(c[1])};
    } else {
      q = {F(c[0]), F(c[1]), F(c[3]), F(c[2])};
    }
    quads->push_back(q);
  }
  if (quads->empty()) {
    if (whole == 0) return Fail(reason, "/QuadPoints holds no complete quadrilateral");
    return Fail(reason, "/QuadPoints holds no quadrilateral with an area");
  }
  return true;
}

bool ComputeTextMarkupAppearance(const CKW_TextMarkupAnnotImpl& annot, ShapeAppearanceResult* out,
                                 std::string* reason) {
  KPD_Dictionary d = annot.GetDict();
  if (!d || !annot.GetDocument()) return Fail(reason, "not in a document");
  const int32_t kind = KW_SubtypeCodeFromName(annot.GetSubtype());
  if (kind != KW_ANNOT_HIGHLIGHT && kind != KW_ANNOT_UNDERLINE && kind != KW_ANNOT_SQUIGGLY &&
      kind != KW_ANNOT_STRIKEOUT)
    return Fail(reason, "not a text markup annotation");
  std::vector<float> values;
  KPD_Object array = host::DictGet(d, "/QuadPoints");
  int n = dict::ReadNumbers(array, values, kMaxQuadNumbers);
  if (n == -2) return Fail(reason, "/QuadPoints too long");
  if (n < 0) return Fail(reason, "missing or malformed /QuadPoints");
  std::vector<MarkupQuad> quads;
  if (!MarkupQuadsFromPoints(values, &quads, reason)) return false;

  KPD_ColorF color;
  if (!annot.GetColor(&color) && annot.HasKey("/C")) return Fail(reason, "malformed /C");
  const bool painted = color.kind != KPD_COLOR_NONE;
  const KPD_ColorF rgb = ToRGB(color);
  const CKW_AnnotImpl::Transparency t = annot.GetTransparency();
  const bool highlight = kind == KW_ANNOT_HIGHLIGHT;
  const bool underline = kind == KW_ANNOT_UNDERLINE;

  std::string content;
  content.reserve(64 + quads.size() * 96);
  if (t.needsState || highlight || underline) content += "/TransGs gs ";
  if (painted) Color(content, rgb, highlight ? "rg \n" : "RG\n");

  // One width for every line: the mean of an eighth of each piece's
  // height, never under 1.
  double width = 0;
  for (const MarkupQuad& q : quads) {
    double h = std::hypot(double(q.ul.x) - q.ll.x, double(q.ul.y) - q.ll.y);
    width += std::max(1.0, h / 8);
  }
  width /= double(quads.size());

  ApBounds drawn;
  for (const MarkupQuad& q : quads) {
    for (KS_FloatPoint p : {q.ul, q.ur, q.lr, q.ll}) drawn.Add(p.x, p.y);
    switch (kind) {
      case KW_ANNOT_HIGHLIGHT:
        Number(content, q.ul.x, 3, " ");
        Number(content, q.ul.y, 3, " m ");
        for (KS_FloatPoint p : {q.ur, q.lr, q.ll}) {
          Number(content, p.x, 3, " ");
          Number(content, p.y, 3, " l ");
        }
        content += "h\n";
        continue;
      case KW_ANNOT_UNDERLINE:
        MoveLine(content, width, P(q.ll), P(q.lr));
        break;
      case KW_ANNOT_STRIKEOUT:
        MoveLine(content, width, {(double(q.ul.x) + q.ll.x) / 2, (double(q.ul.y) + q.ll.y) / 2},
                 {(double(q.ur.x) + q.lr.x) / 2, (double(q.ur.y) + q.lr.y) / 2});
        break;
      default:
        Squiggle(content, q, width, drawn);
        break;
    }
    content += painted ? "S\n" : "n\n";
  }
  // A highlight's pieces are one path filled once: where pieces overlap the
  // colour is laid down once, not darkened by Multiply over itself. Every
  // piece runs clockwise (along its top, then back along its base), so the
  // nonzero rule fills their union.
  if (highlight) content += painted ? "f\n" : "n\n";
  // Lines reach half their width past the text.
  if (!highlight) drawn.Inflate(width / 2);

  out->content = std::move(content);
  out->bbox = drawn.Rect();
  KS_FloatRect oldRect{};
  out->setRect = !annot.GetRect(&oldRect) || !geom::SameRect(oldRect, out->bbox);
  out->rect = out->bbox;
  out->strokeOpacity = t.stroke;
  out->fillOpacity = t.fill;
  out->blendMode = highlight ? std::string("Multiply") : t.blendMode;
  out->strokeAdjust = underline;
  return true;
}

bool ComputeCaretAppearance(const CKW_CaretAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason) {
  KPD_Dictionary d = annot.GetDict();
  if (!d || !annot.GetDocument()) return Fail(reason, "not in a document");
  KS_FloatRect rect;
  if (!annot.GetRect(&rect)) return Fail(reason, "missing or malformed /Rect");
  std::vector<float> check{rect.left, rect.bottom, rect.right, rect.top};
  if (!geom::InRange(check)) return Fail(reason, "/Rect out of range");
  float rd[4] = {0, 0, 0, 0};
  if (!annot.GetRectDifferences(rd)) rd[0] = rd[1] = rd[2] = rd[3] = 0;
  const KS_FloatRect box = geom::Inset(rect, rd);
  const double w = double(box.right) - box.left;
  const double h = double(box.top) - box.bottom;
  if (!(w > 0) || !(h > 0)) return Fail(reason, "/Rect less /RD is empty");

  KPD_ColorF color;
  if (!annot.GetColor(&color) && annot.HasKey("/C")) return Fail(reason, "malformed /C");
  const bool painted = color.kind != KPD_COLOR_NONE;
  const KPD_ColorF rgb = ToRGB(color);
  const bool paragraph = dict::NameIs(d, "/Sy", "P");
  const CKW_AnnotImpl::Transparency t = annot.GetTransparency();

  // The wedge keeps its own proportions inside the box: never wider than
  // 1.6666666 of its height allows, never taller than 1.7777777 of its
  // width; a paragraph mark takes the right third of the box.
  const double room = paragraph ? w * 2 / 3 : w;
  const double cw = std::min(room, h / 1.6666666);
  const double ch = std::min(h, cw * 1.7777777);
  const double stroke = 0.4 * (cw / 4);
  // The form's origin is the lower-left corner of the drawing box.
  const double x0 = (room - cw) / 2;

  std::string content = "/XTTrans gs \n";
  for (int i = 0; i < 3; ++i) Number(content, rgb.c[i], 3, " ");
  content += "RG ";
  Number(content, stroke, 4, " w\n");
  Number(content, x0, 4, " 0 m\n");
  Number(content, x0 + cw / 2, 4, " ");
  Number(content, ch - stroke, 4, " l\n");
  Number(content, x0 + cw, 4, " 0 l\n");
  content += painted ? "S\n" : "n\n";
  if (paragraph) {
    // A pilcrow: a filled bowl on the left of two stems.
    const double px = room + (w - room) * 0.15, pw = (w - room) * 0.7;
    const double top = h * 0.95, bowl = std::min(pw / 2, h * 0.25);
    if (painted) {
      for (int i = 0; i < 3; ++i) Number(content, rgb.c[i], 3, " ");
      content += "rg\n";
    }
    AppendMoveTo(content, px + pw / 2, top);
    AppendLineTo(content, px + pw / 2, top - 2 * bowl);
    AppendCurveTo(content, px, top - 2 * bowl, px, top, px + pw / 2, top);
    content += painted ? "f\n" : "n\n";
    Number(content, std::max(0.1, pw / 8), 4, " w\n");
    for (double sx : {px + pw / 2, px + pw}) {
      AppendMoveTo(content, sx, top);
      AppendLineTo(content, sx, h * 0.1);
    }
    AppendMoveTo(content, px + pw / 2, top);
    AppendLineTo(content, px + pw, top);
    content += painted ? "S\n" : "n\n";
  }

  out->content = std::move(content);
  // The box in the form's own coordinates covers the whole /Rect.
  out->bbox = {rect.left - box.left, rect.bottom - box.bottom, rect.right - box.left, rect.top - box.bottom};
  out->matrix = {1, 0, 0, 1, 0, 0};
  out->setRect = false;
  out->stateName = "XTTrans";
  out->strokeOpacity = t.stroke;
  out->fillOpacity = t.fill;
  out->blendMode = "Multiply";
  return true;
}

}  // namespace kwannotation
