// Matrices (selector 1) and rectangles (selector 266). Arithmetic is done in
// double and stored back as float.
#include "host/pdf_geometry.h"

#include <algorithm>
#include <cmath>

#include "host/host_functions.h"

namespace kshost::pdf {

namespace {

void Normalize(KS_FloatRect& r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.bottom > r.top) std::swap(r.bottom, r.top);
}

bool AllFinite(std::initializer_list<float> values) {
  return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

}  // namespace

bool ReadRect(QPDFObjectHandle const& array, KS_FloatRect& out) {
  double v[4];
  if (!ReadNumbers(array, v, 4)) return false;
  KS_FloatRect rect{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),
                    static_cast<float>(v[3])};
  if (!AllFinite({rect.left, rect.bottom, rect.right, rect.top})) return false;
  Normalize(rect);
  out = rect;
  return true;
}

QPDFObjectHandle RectArray(KS_FloatRect const& rect) {
  QPDFObjectHandle array = QPDFObjectHandle::newArray();
  for (float v : {rect.left, rect.bottom, rect.right, rect.top}) array.appendItem(NumberObject(v, kFloatDigits));
  return array;
}

}  // namespace kshost::pdf

using kshost::pdf::FromKpd;
using kshost::pdf::Guard;

// ---- 1: matrices ----------------------------------------------------------

int32_t kshost::direct::MatrixFromObject(KPD_Object array, KS_Matrix* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    double v[6];
    if (!array || !out || !kshost::pdf::ReadNumbers(FromKpd(array)->object, v, 6)) return 0;
    KS_Matrix m{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),
                static_cast<float>(v[3]), static_cast<float>(v[4]), static_cast<float>(v[5])};
    if (!kshost::pdf::AllFinite({m.a, m.b, m.c, m.d, m.e, m.f})) return 0;
    *out = m;
    return 1;
  });
}

KPD_Object kshost::direct::MatrixToObject(const KS_Matrix* m) {
  return Guard<KPD_Object>(nullptr, [&]() -> KPD_Object {
    if (!m || !kshost::pdf::AllFinite({m->a, m->b, m->c, m->d, m->e, m->f})) return nullptr;
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    for (float v : {m->a, m->b, m->c, m->d, m->e, m->f})
      array.appendItem(kshost::pdf::NumberObject(v, kshost::pdf::kFloatDigits));
    return kshost::pdf::NewOwned(array);
  });
}

// With points as row vectors, "first, then" is the product first x then.
// `out` may be one of the inputs.
void kshost::direct::MatrixConcat(const KS_Matrix* first, const KS_Matrix* then, KS_Matrix* out) {
  if (!first || !then || !out) return;
  double a = double(first->a) * then->a + double(first->b) * then->c;
  double b = double(first->a) * then->b + double(first->b) * then->d;
  double c = double(first->c) * then->a + double(first->d) * then->c;
  double d = double(first->c) * then->b + double(first->d) * then->d;
  double e = double(first->e) * then->a + double(first->f) * then->c + then->e;
  double f = double(first->e) * then->b + double(first->f) * then->d + then->f;
  *out = KS_Matrix{float(a), float(b), float(c), float(d), float(e), float(f)};
}

int32_t kshost::direct::MatrixInvert(const KS_Matrix* m, KS_Matrix* out) {
  if (!m || !out) return 0;
  double det = double(m->a) * m->d - double(m->b) * m->c;
  if (det == 0 || !std::isfinite(det)) return 0;
  double a = m->d / det, b = -m->b / det, c = -m->c / det, d = m->a / det;
  double e = -(double(m->e) * a + double(m->f) * c);
  double f = -(double(m->e) * b + double(m->f) * d);
  KS_Matrix inverse{float(a), float(b), float(c), float(d), float(e), float(f)};
  if (!kshost::pdf::AllFinite({inverse.a, inverse.b, inverse.c, inverse.d, inverse.e, inverse.f})) return 0;
  *out = inverse;
  return 1;
}

void kshost::direct::MatrixTransformPoint(const KS_Matrix* m, KS_FloatPoint* pt) {
  if (!m || !pt) return;
  double x = pt->x, y = pt->y;
  pt->x = float(m->a * x + m->c * y + m->e);
  pt->y = float(m->b * x + m->d * y + m->f);
}

// The bounds of the four transformed corners: under rotation or skew the
// image of a rectangle is a parallelogram, and this is its bounding box.
void kshost::direct::MatrixTransformRect(const KS_Matrix* m, KS_FloatRect* rect) {
  if (!m || !rect) return;
  KS_FloatPoint corners[4] = {
      {rect->left, rect->bottom}, {rect->right, rect->bottom}, {rect->right, rect->top}, {rect->left, rect->top}};
  KS_FloatRect bounds{};
  for (int i = 0; i < 4; ++i) {
    MatrixTransformPoint(m, &corners[i]);
    if (i == 0) {
      bounds = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    } else {
      bounds.left = std::min(bounds.left, corners[i].x);
      bounds.bottom = std::min(bounds.bottom, corners[i].y);
      bounds.right = std::max(bounds.right, corners[i].x);
      bounds.top = std::max(bounds.top, corners[i].y);
    }
  }
  *rect = bounds;
}

// ---- 266: rectangles -------------------------------------------------------

int32_t kshost::direct::RectFromObject(KPD_Object array, KS_FloatRect* out) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    return array && out && kshost::pdf::ReadRect(FromKpd(array)->object, *out) ? 1 : 0;
  });
}

KPD_Array kshost::direct::RectToObject(const KS_FloatRect* rect) {
  return Guard<KPD_Array>(nullptr, [&]() -> KPD_Array {
    if (!rect || !kshost::pdf::AllFinite({rect->left, rect->bottom, rect->right, rect->top})) return nullptr;
    return kshost::pdf::NewOwned(kshost::pdf::RectArray(*rect));
  });
}

void kshost::direct::RectNormalize(KS_FloatRect* rect) {
  if (rect) kshost::pdf::Normalize(*rect);
}

void kshost::direct::RectUnion(const KS_FloatRect* a, const KS_FloatRect* b, KS_FloatRect* out) {
  if (!a || !b || !out) return;
  KS_FloatRect na = *a, nb = *b;
  kshost::pdf::Normalize(na);
  kshost::pdf::Normalize(nb);
  *out = KS_FloatRect{std::min(na.left, nb.left), std::min(na.bottom, nb.bottom), std::max(na.right, nb.right),
                      std::max(na.top, nb.top)};
}

int32_t kshost::direct::RectContainsPoint(const KS_FloatRect* rect, float x, float y) {
  if (!rect) return 0;
  KS_FloatRect r = *rect;
  kshost::pdf::Normalize(r);
  return x >= r.left && x <= r.right && y >= r.bottom && y <= r.top ? 1 : 0;
}
