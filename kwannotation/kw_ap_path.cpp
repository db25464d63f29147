#include "kwannotation/kw_ap_path.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_ap_content.h"
#include "sdk/ks_number.h"

namespace kwannotation {
namespace {

constexpr double kQuarter = 1.5707963267948966;
constexpr double kCircleConstant = 0.5522848;

std::string Element(std::initializer_list<float> values, const char* op) {
  std::string s;
  s.reserve(64);
  for (float v : values) {
    s += ' ';
    ks::AppendFixed(s, v, 6);
  }
  s += ' ';
  s += op;
  // Elements are fixed-size records of at most 255 characters.
  if (s.size() > 255) s.resize(255);
  return s;
}

}  // namespace

std::string CPath_MoveTo::ToString() const { return Element({p_.x, p_.y}, "m"); }
std::string CPath_LineTo::ToString() const { return Element({p_.x, p_.y}, "l"); }
std::string CPath_CurveTo::ToString() const {
  return Element({c1_.x, c1_.y, c2_.x, c2_.y, end_.x, end_.y}, "c");
}

std::string CKW_PathImpl::ToString() const {
  std::string s;
  for (const auto& e : elements_) s += e->ToString();
  return s;
}


void ApBounds::Add(const ApBounds& other) {
  if (other.empty) return;
  Add(other.left, other.bottom);
  Add(other.right, other.top);
}

void ApBounds::Inflate(double by) {
  if (empty) return;
  left -= by;
  bottom -= by;
  right += by;
  top += by;
}

KS_FloatRect ApBounds::Rect() const {
  return KS_FloatRect{float(left), float(bottom), float(right), float(top)};
}

ApBounds CMKA_Path::AppendEllipse(std::string& out, const KS_FloatRect& rect, double angle) {
  double cx = (double(rect.left) + rect.right) / 2, cy = (double(rect.bottom) + rect.top) / 2;
  double a = (double(rect.right) - rect.left) / 2, b = (double(rect.top) - rect.bottom) / 2;
  double ka = a * kCircleConstant, kb = b * kCircleConstant;
  double cs = std::cos(angle), sn = std::sin(angle);
  // Points relative to the centre before the turn.
  auto put = [&](double x, double y, double* px, double* py) {
    *px = cx + x * cs - y * sn;
    *py = cy + x * sn + y * cs;
  };
  double x0, y0;
  put(a, 0, &x0, &y0);
  AppendMoveTo(out, x0, y0);
  const double quarters[4][6] = {{a, kb, ka, b, 0, b},
                                 {-ka, b, -a, kb, -a, 0},
                                 {-a, -kb, -ka, -b, 0, -b},
                                 {ka, -b, a, -kb, a, 0}};
  for (const auto& q : quarters) {
    double p[6];
    put(q[0], q[1], &p[0], &p[1]);
    put(q[2], q[3], &p[2], &p[3]);
    put(q[4], q[5], &p[4], &p[5]);
    AppendCurveTo(out, p[0], p[1], p[2], p[3], p[4], p[5]);
  }
  double hx = std::sqrt(a * a * cs * cs + b * b * sn * sn);
  double hy = std::sqrt(a * a * sn * sn + b * b * cs * cs);
  ApBounds bounds;
  bounds.Add(cx - hx, cy - hy);
  bounds.Add(cx + hx, cy + hy);
  return bounds;
}

void CMKA_Path::AppendArc(std::string& out, double cx, double cy, double r, double a1, double a2, bool move) {
  if (move) AppendMoveTo(out, cx + r * std::cos(a1), cy + r * std::sin(a1));
  double start = a1;
  // At most four full quarters and a rest; the sweep is below a full turn
  // plus a bit for every caller, so this cannot run long.
  for (int guard = 0; guard < 8 && a2 - start > 1e-9; ++guard) {
    double sweep = std::min(a2 - start, kQuarter);
    double k = sweep >= kQuarter - 1e-9 ? kCircleConstant : 4.0 / 3.0 * std::tan(sweep / 4);
    double end = start + sweep;
    double c0 = std::cos(start), s0 = std::sin(start), c1 = std::cos(end), s1 = std::sin(end);
    AppendCurveTo(out, cx + r * (c0 - k * s0), cy + r * (s0 + k * c0), cx + r * (c1 + k * s1),
                  cy + r * (s1 - k * c1), cx + r * c1, cy + r * s1);
    start = end;
  }
}

}  // namespace kwannotation
