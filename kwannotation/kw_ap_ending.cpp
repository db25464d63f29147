#include "kwannotation/kw_ap_ending.h"

#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_ap_content.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec {
  double x, y;
};

Vec Rotate(Vec v, double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  return {v.x * c - v.y * s, v.x * s + v.y * c};
}

// A square of side `size` centred on `p`, turned by `angle`: one move and
// three lines; the painting operator closes it.
void Square(std::string& out, ApBounds& bounds, Vec p, double size, double angle) {
  const double h = size / 2;
  const Vec corners[4] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
  for (int i = 0; i < 4; ++i) {
    Vec c = Rotate(corners[i], angle);
    double x = p.x + c.x, y = p.y + c.y;
    i == 0 ? AppendMoveTo(out, x, y) : AppendLineTo(out, x, y);
    bounds.Add(x, y);
  }
}

// Two wings at +-30 degrees from `unit` scaled by `size`, meeting at `tip`.
void Arrow(std::string& out, ApBounds& bounds, Vec tip, Vec unit, double size, bool closed) {
  Vec u{unit.x * size, unit.y * size};
  Vec w1 = Rotate(u, 0.5235988), w2 = Rotate(u, -0.5235988);
  Vec a{tip.x + w1.x, tip.y + w1.y}, b{tip.x + w2.x, tip.y + w2.y};
  AppendMoveTo(out, a.x, a.y);
  AppendLineTo(out, tip.x, tip.y);
  AppendLineTo(out, b.x, b.y);
  if (closed) AppendLineTo(out, a.x, a.y);
  bounds.Add(a.x, a.y);
  bounds.Add(tip.x, tip.y);
  bounds.Add(b.x, b.y);
}

// A straight stroke through `p`, `size`/2 along each of two angles.
void Stroke(std::string& out, ApBounds& bounds, Vec p, double size, double a1, double a2) {
  double h = size / 2;
  Vec s{p.x + h * std::cos(a1), p.y + h * std::sin(a1)};
  Vec e{p.x + h * std::cos(a2), p.y + h * std::sin(a2)};
  AppendMoveTo(out, s.x, s.y);
  AppendLineTo(out, e.x, e.y);
  bounds.Add(s.x, s.y);
  bounds.Add(e.x, e.y);
}

}  // namespace

// The names live with the annotation types; the codes are the same.
int LineEndingFromName(const std::string& name) { return KW_LineEndingFromName(name); }

std::string LineEndingName(int style) { return KW_LineEndingName(style); }

bool ReadLineEndings(KPD_Dictionary annot, int* start, int* end, bool singleName) {
  KPD_Object le = annot ? ks::host::DictGet(annot, "/LE") : nullptr;
  if (dict::TypeOf(le) == KPD_OBJ_ARRAY) {
    if (start) *start = LineEndingFromName(dict::NameOf(ks::host::ArrayGet(le, 0)));
    if (end) *end = LineEndingFromName(dict::NameOf(ks::host::ArrayGet(le, 1)));
    return true;
  }
  if (!singleName || dict::TypeOf(le) != KPD_OBJ_NAME) return false;
  if (start) *start = LineEndingFromName(dict::NameOf(le));
  return true;
}

bool LineEndingIsClosed(int style) {
  return style == kEndSquare || style == kEndCircle || style == kEndDiamond || style == kEndClosedArrow ||
         style == kEndRClosedArrow;
}

double LineEndingSize(int style, double borderWidth, const double* lesFactor) {
  if (lesFactor) {
    double f = *lesFactor;
    switch (style) {
      case kEndDiamond:
        f *= 5.0 / 7.0;
        break;
      case kEndOpenArrow:
      case kEndClosedArrow:
      case kEndROpenArrow:
      case kEndRClosedArrow:
        f *= 9.0 / 6.0;
        break;
      case kEndSlash:
        f *= 2.0;
        break;
      default:
        break;
    }
    if (f > 0) return f * 6.0;
  }
  return 6.0 * borderWidth;
}

ApBounds DrawLineEnding(std::string& out, int style, KS_FloatPoint end, KS_FloatPoint direction, double size,
                        bool* closed) {
  out.clear();
  ApBounds bounds;
  if (closed) *closed = LineEndingIsClosed(style);
  Vec p{end.x, end.y};
  Vec d{direction.x, direction.y};
  double len = std::hypot(d.x, d.y);
  double theta = 0;
  Vec unit{1, 0};
  if (len >= 0.0001) {
    unit = {d.x / len, d.y / len};
    theta = std::acos(std::fmax(-1.0, std::fmin(1.0, unit.x)));
    if (d.y < 0) theta = -theta;
  } else {
    d = unit;
  }
  switch (style) {
    case kEndSquare:
      Square(out, bounds, p, size, theta);
      break;
    case kEndCircle: {
      float h = static_cast<float>(size / 2);
      KS_FloatRect r{end.x - h, end.y - h, end.x + h, end.y + h};
      bounds = CMKA_Path::AppendEllipse(out, r, 0);
      break;
    }
    case kEndDiamond:
      Square(out, bounds, p, size, theta + 0.7853982);
      break;
    case kEndOpenArrow:
    case kEndClosedArrow: {
      // The tip moves one unit back along the dominant axis, and along the
      // other by the ratio of the components, so the stroke's miter does
      // not overshoot the end point.
      double dominant = std::fabs(d.x) >= std::fabs(d.y) ? std::fabs(d.x) : std::fabs(d.y);
      Vec tip{p.x - d.x / dominant, p.y - d.y / dominant};
      Arrow(out, bounds, tip, {-unit.x, -unit.y}, size, style == kEndClosedArrow);
      break;
    }
    case kEndROpenArrow:
    case kEndRClosedArrow:
      Arrow(out, bounds, p, unit, size, style == kEndRClosedArrow);
      break;
    case kEndButt:
      Stroke(out, bounds, p, size, theta + kPi / 2, theta - kPi / 2);
      break;
    case kEndSlash:
      Stroke(out, bounds, p, size, theta + 1.0471976, theta - 2.0943952);
      break;
    default:
      break;
  }
  return bounds;
}

}  // namespace kwannotation
