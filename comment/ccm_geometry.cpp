#include "comment/ccm_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sdk/ks_utf.h"

namespace AnnotationComment {
namespace {

struct Vec {
  double x, y;
};
Vec Sub(KS_FloatPoint a, KS_FloatPoint b) { return {double(a.x) - b.x, double(a.y) - b.y}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Len(Vec a) { return std::hypot(a.x, a.y); }

// Distance from `p` to the glyph's box (0 inside), measured in the glyph's
// own axes.
double DistanceToGlyph(const KS_TextGlyph& g, KS_FloatPoint p) {
  const Vec along = Sub(g.quad[1], g.quad[0]), up = Sub(g.quad[0], g.quad[2]);
  const double la = Len(along), lu = Len(up);
  const Vec d = Sub(p, g.quad[2]);
  const double s = la > 0 ? Dot(d, along) / la : 0, t = lu > 0 ? Dot(d, up) / lu : 0;
  const double ds = s < 0 ? -s : s > la ? s - la : 0;
  const double dt = t < 0 ? -t : t > lu ? t - lu : 0;
  return std::hypot(ds, dt);
}

size_t Nearest(const std::vector<KS_TextGlyph>& glyphs, KS_FloatPoint p) {
  size_t best = 0;
  double bestDistance = std::numeric_limits<double>::max();
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const double d = DistanceToGlyph(glyphs[i], p);
    if (d < bestDistance) bestDistance = d, best = i;
  }
  return best;
}

}  // namespace

KS_FloatRect BoxFromDrag(KS_FloatPoint a, KS_FloatPoint b, bool square) {
  if (square) {
    const float side = std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y));
    b.x = a.x + (b.x < a.x ? -side : side);
    b.y = a.y + (b.y < a.y ? -side : side);
  }
  return KS_FloatRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

KS_FloatPoint ConstrainTo45(KS_FloatPoint from, KS_FloatPoint to) {
  const double dx = double(to.x) - from.x, dy = double(to.y) - from.y;
  const double length = std::hypot(dx, dy);
  if (length == 0) return to;
  const double quarter = std::atan(1.0);
  const double angle = std::round(std::atan2(dy, dx) / quarter) * quarter;
  return KS_FloatPoint{static_cast<float>(from.x + length * std::cos(angle)),
                       static_cast<float>(from.y + length * std::sin(angle))};
}

CalloutLayout LayoutCallout(KS_FloatPoint tip, KS_FloatPoint at, float width, float height) {
  CalloutLayout out;
  const float left = at.x >= tip.x ? at.x : at.x - width;
  out.box = KS_FloatRect{left, at.y - height / 2, left + width, at.y + height / 2};
  out.leader = {tip, at};
  return out;
}

TextSelection SelectText(const std::vector<KS_TextGlyph>& glyphs, KS_FloatPoint from, KS_FloatPoint to) {
  TextSelection out;
  if (glyphs.empty()) return out;
  size_t first = Nearest(glyphs, from), last = Nearest(glyphs, to);
  if (first > last) std::swap(first, last);
  size_t i = first;
  while (i <= last) {
    // One line: its glyphs from i on, in the axes of its first glyph.
    const KS_TextGlyph& g0 = glyphs[i];
    Vec along = Sub(g0.quad[1], g0.quad[0]), up = Sub(g0.quad[0], g0.quad[2]);
    const double la = Len(along), lu = Len(up);
    along = la > 0 ? Vec{along.x / la, along.y / la} : Vec{1, 0};
    up = lu > 0 ? Vec{up.x / lu, up.y / lu} : Vec{-along.y, along.x};
    const KS_FloatPoint o = g0.quad[2];
    double s0 = std::numeric_limits<double>::max(), s1 = -s0, t0 = s0, t1 = -s0;
    size_t j = i;
    if (!out.text.empty()) out.text += u'\n';
    for (; j <= last && glyphs[j].line == g0.line; ++j) {
      for (const KS_FloatPoint& c : glyphs[j].quad) {
        const Vec d = Sub(c, o);
        const double s = Dot(d, along), t = Dot(d, up);
        s0 = std::min(s0, s), s1 = std::max(s1, s), t0 = std::min(t0, t), t1 = std::max(t1, t);
      }
      // A gap along the line wider than a third of the height is a space.
      if (j > i && glyphs[j].line == glyphs[j - 1].line) {
        const Vec gap = Sub(glyphs[j].quad[2], glyphs[j - 1].quad[3]);
        if (Dot(gap, along) > 0.15 * lu) out.text += u' ';
      }
      ks::AppendUtf16(out.text, glyphs[j].codepoint);
    }
    const auto at = [&](double s, double t) {
      out.quads.push_back(static_cast<float>(o.x + s * along.x + t * up.x));
      out.quads.push_back(static_cast<float>(o.y + s * along.y + t * up.y));
    };
    at(s0, t1), at(s1, t1), at(s0, t0), at(s1, t0);
    i = j;
  }
  return out;
}

bool CaretBox(const std::vector<KS_TextGlyph>& glyphs, KS_FloatPoint at, KS_FloatRect* out) {
  if (glyphs.empty()) return false;
  const size_t n = Nearest(glyphs, at);
  const KS_TextGlyph& g = glyphs[n];
  const Vec along = Sub(g.quad[1], g.quad[0]);
  const double la = Len(along);
  const double height = Len(Sub(g.quad[0], g.quad[2]));
  // Before the glyph when the click is on its first half, else after it.
  const bool after = la > 0 && Dot(Sub(at, g.quad[2]), along) / la > la / 2;
  const KS_FloatPoint gapBottom = after ? g.quad[3] : g.quad[2];
  const KS_FloatPoint gapTop = after ? g.quad[1] : g.quad[0];
  const double mx = (double(gapBottom.x) + gapTop.x) / 2, my = (double(gapBottom.y) + gapTop.y) / 2;
  const double half = std::max(1.0, height / 4);
  // The caret's apex at the gap's middle, its base a glyph height below.
  *out = KS_FloatRect{static_cast<float>(mx - half), static_cast<float>(my - 2 * half),
                      static_cast<float>(mx + half), static_cast<float>(my)};
  return true;
}

KS_FloatRect TypewriterBox(KS_FloatPoint origin, const std::vector<float>& lineWidths, float fontSize) {
  float widest = 0;
  for (float w : lineWidths) widest = std::max(widest, w);
  const size_t lines = std::max<size_t>(1, lineWidths.size());
  const float width = std::max(widest, fontSize) + 4;
  const float height = static_cast<float>(lines) * fontSize * 1.2f + 2;
  return KS_FloatRect{origin.x, origin.y - height, origin.x + width, origin.y};
}

}  // namespace AnnotationComment
