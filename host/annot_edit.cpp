#include "host/annot_edit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "host/host_functions.h"
#include "host/session.h"

namespace kshost::edit {
namespace {

using PointMap = std::function<void(double* x, double* y)>;

// Keys whose numbers are x, y pairs in page space. /InkList holds arrays of
// pairs.
constexpr const char* kPointKeys[] = {"/Rect", "/L", "/Vertices", "/QuadPoints", "/CL"};

bool ReadNumbers(KPD_Object array, std::vector<double>* out) {
  out->clear();
  if (direct::ObjectGetType(array) != KPD_OBJ_ARRAY) return false;
  const int count = direct::ArrayCount(array);
  for (int i = 0; i < count; ++i) {
    KPD_Object item = direct::ArrayGet(array, i);
    if (direct::ObjectGetType(item) != KPD_OBJ_NUMBER) return false;
    out->push_back(direct::ObjectGetNumber(item));
  }
  return true;
}

// A new array of numbers; null when one is not finite.
KPD_Object NumberArray(const std::vector<double>& numbers) {
  KPD_Object array = direct::ArrayNew();
  for (double v : numbers) {
    KPD_Object n = direct::NumberNew(v);
    if (!n) {
      direct::ObjectRelease(array);
      return nullptr;
    }
    direct::ArrayAppend(array, n);
    direct::ObjectRelease(n);
  }
  return array;
}

bool MapPairs(std::vector<double>* numbers, const PointMap& map) {
  if (numbers->size() % 2 != 0) return false;
  for (size_t i = 0; i + 1 < numbers->size(); i += 2) map(&(*numbers)[i], &(*numbers)[i + 1]);
  return true;
}

// The new value of one point key, or null when the key is missing or not an
// array of pairs (left as it is).
KPD_Object MappedKey(KPD_Dictionary dict, const char* key, const PointMap& map) {
  std::vector<double> numbers;
  if (!ReadNumbers(direct::DictGet(dict, key), &numbers) || !MapPairs(&numbers, map)) return nullptr;
  if (std::string(key) == "/Rect" && numbers.size() == 4) {
    // A rectangle stays normalised whatever the mapping did to its corners.
    numbers = {std::min(numbers[0], numbers[2]), std::min(numbers[1], numbers[3]), std::max(numbers[0], numbers[2]),
               std::max(numbers[1], numbers[3])};
  }
  return NumberArray(numbers);
}

KPD_Object MappedInkList(KPD_Dictionary dict, const PointMap& map) {
  KPD_Object list = direct::DictGet(dict, "/InkList");
  if (direct::ObjectGetType(list) != KPD_OBJ_ARRAY) return nullptr;
  KPD_Object out = direct::ArrayNew();
  const int count = direct::ArrayCount(list);
  for (int i = 0; i < count; ++i) {
    std::vector<double> numbers;
    KPD_Object stroke = nullptr;
    if (ReadNumbers(direct::ArrayGet(list, i), &numbers) && MapPairs(&numbers, map)) stroke = NumberArray(numbers);
    if (!stroke) {
      direct::ObjectRelease(out);
      return nullptr;
    }
    direct::ArrayAppend(out, stroke);
    direct::ObjectRelease(stroke);
  }
  return out;
}

// Maps the points of `keys` (and /InkList when `ink`) and writes them all,
// or nothing when one of them cannot be written.
bool MapGeometry(KA_Annot annot, const std::vector<const char*>& keys, bool ink, const PointMap& map) {
  std::vector<std::pair<std::string, KPD_Object>> values;
  for (const char* key : keys) {
    if (!direct::DictHasKey(annot->dict, key)) continue;
    if (KPD_Object v = MappedKey(annot->dict, key, map)) values.emplace_back(key, v);
  }
  if (ink && direct::DictHasKey(annot->dict, "/InkList")) {
    if (KPD_Object v = MappedInkList(annot->dict, map)) values.emplace_back("/InkList", v);
  }
  bool ok = !values.empty();
  for (auto& [key, value] : values) {
    ok = ok && direct::DictSet(annot->dict, key.c_str(), value);
    direct::ObjectRelease(value);
  }
  return ok;
}

std::vector<const char*> AllPointKeys() { return {std::begin(kPointKeys), std::end(kPointKeys)}; }

bool RectOf(KA_Annot annot, KS_FloatRect* out) {
  std::vector<double> n;
  if (!ReadNumbers(direct::DictGet(annot->dict, "/Rect"), &n) || n.size() != 4) return false;
  *out = {float(std::min(n[0], n[2])), float(std::min(n[1], n[3])), float(std::max(n[0], n[2])),
          float(std::max(n[1], n[3]))};
  return true;
}

// The vertices of /L or /Vertices, as a flat list of x, y.
bool Vertices(KA_Annot annot, std::string* key, std::vector<double>* numbers) {
  for (const char* k : {"/L", "/Vertices"}) {
    if (ReadNumbers(direct::DictGet(annot->dict, k), numbers) && numbers->size() >= 2 && numbers->size() % 2 == 0) {
      *key = k;
      return true;
    }
  }
  return false;
}

// The smallest side, in device pixels, of a box that gets frame handles.
constexpr int kMinFramedSide = 30;

bool Near(KS_DevicePoint a, KS_DevicePoint b) { return std::abs(a.x - b.x) <= 5 && std::abs(a.y - b.y) <= 5; }

}  // namespace

bool PageRectToDevice(KA_PageView view, const KS_FloatRect& rect, KS_DeviceRect* out) {
  KS_Matrix m{};
  if (!direct::PageViewGetMatrix(view, &m) || !out) return false;
  double xs[4], ys[4];
  const double px[4] = {rect.left, rect.right, rect.right, rect.left};
  const double py[4] = {rect.bottom, rect.bottom, rect.top, rect.top};
  for (int i = 0; i < 4; ++i) {
    xs[i] = m.a * px[i] + m.c * py[i] + m.e;
    ys[i] = m.b * px[i] + m.d * py[i] + m.f;
  }
  auto round = [](double v) { return static_cast<int32_t>(std::lround(std::clamp(v, -1e9, 1e9))); };
  out->left = round(*std::min_element(xs, xs + 4));
  out->right = round(*std::max_element(xs, xs + 4));
  out->top = round(*std::min_element(ys, ys + 4));
  out->bottom = round(*std::max_element(ys, ys + 4));
  return std::isfinite(xs[0] + xs[1] + xs[2] + xs[3] + ys[0] + ys[1] + ys[2] + ys[3]);
}

bool DeviceRectToPage(KA_PageView view, const KS_DeviceRect& rect, KS_FloatRect* out) {
  if (!out) return false;
  KS_FloatPoint p[4];
  const KS_DevicePoint corners[4] = {
      {rect.left, rect.top}, {rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left, rect.bottom}};
  for (int i = 0; i < 4; ++i)
    if (!direct::PageViewDeviceToPage(view, corners[i], &p[i])) return false;
  *out = {std::min({p[0].x, p[1].x, p[2].x, p[3].x}), std::min({p[0].y, p[1].y, p[2].y, p[3].y}),
          std::max({p[0].x, p[1].x, p[2].x, p[3].x}), std::max({p[0].y, p[1].y, p[2].y, p[3].y})};
  return true;
}

bool MayEdit(KA_Annot annot) {
  if (!Editor::Get().IsLiveAnnot(annot)) return false;
  KA_Document doc = annot->doc;
  return !doc->readOnly && MayChangeAnnotations(doc->pdf) && Editor::Get().PageIndexOf(annot) >= 0;
}

bool CanRegenerate(KA_Annot annot) {
  return annot && annot->object && KS_RECORD_POSITION(annot->object->record, KS_AO_REGENERATE);
}

bool Regenerate(KA_Annot annot) {
  if (!CanRegenerate(annot)) return false;
  auto proc = reinterpret_cast<int32_t (*)(void*)>(KS_RECORD_POSITION(annot->object->record, KS_AO_REGENERATE));
  const bool ok = proc(annot->object->record.clientData) != 0;
  Editor::Get().InvalidateAnnot(annot);
  return ok;
}

// After a change: rebuild the appearance where the object can, and show it.
static bool Changed(KA_Annot annot) {
  Editor::Get().InvalidateAnnot(annot);
  if (CanRegenerate(annot)) Regenerate(annot);
  return true;
}

bool Move(KA_Annot annot, KA_PageView view, const KS_DeviceRect& from, const KS_DeviceRect& to) {
  KS_FloatRect a{}, b{};
  if (!MayEdit(annot) || !DeviceRectToPage(view, from, &a) || !DeviceRectToPage(view, to, &b)) return false;
  const double dx = (double(b.left) + b.right) / 2 - (double(a.left) + a.right) / 2;
  const double dy = (double(b.bottom) + b.top) / 2 - (double(a.bottom) + a.top) / 2;
  return MoveBy(annot, dx, dy);
}

bool MoveBy(KA_Annot annot, double dx, double dy) {
  if (!MayEdit(annot) || !std::isfinite(dx) || !std::isfinite(dy) || (dx == 0 && dy == 0)) return false;
  Editor::Get().InvalidateAnnot(annot);
  if (!MapGeometry(annot, AllPointKeys(), true, [&](double* x, double* y) {
        *x += dx;
        *y += dy;
      }))
    return false;
  return Changed(annot);
}

bool Resize(KA_Annot annot, KA_PageView view, const KS_DeviceRect& from, const KS_DeviceRect& to) {
  KS_FloatRect a{}, b{};
  if (!DeviceRectToPage(view, from, &a) || !DeviceRectToPage(view, to, &b)) return false;
  return MapRect(annot, a, b);
}

bool MapRect(KA_Annot annot, const KS_FloatRect& a, const KS_FloatRect& b) {
  if (!MayEdit(annot)) return false;
  const double aw = double(a.right) - a.left, ah = double(a.top) - a.bottom;
  const double sx = aw > 0 ? (double(b.right) - b.left) / aw : 1;
  const double sy = ah > 0 ? (double(b.top) - b.bottom) / ah : 1;
  Editor::Get().InvalidateAnnot(annot);
  if (!MapGeometry(annot, AllPointKeys(), true, [&](double* x, double* y) {
        *x = b.left + (*x - a.left) * sx;
        *y = b.bottom + (*y - a.bottom) * sy;
      }))
    return false;
  return Changed(annot);
}

KS_FloatRect FitInside(const KS_FloatRect& rect, const KS_FloatRect& box, float margin) {
  KS_FloatRect inner = box;
  if (box.right - box.left > 2 * margin && box.top - box.bottom > 2 * margin)
    inner = {box.left + margin, box.bottom + margin, box.right - margin, box.top - margin};
  const double w = double(rect.right) - rect.left, h = double(rect.top) - rect.bottom;
  const double roomW = double(inner.right) - inner.left, roomH = double(inner.top) - inner.bottom;
  double scale = 1;
  if (w > roomW && w > 0) scale = roomW / w;
  if (h * scale > roomH && h > 0) scale = roomH / h;
  const double fw = w * scale, fh = h * scale;
  const double left = std::clamp(double(rect.left), double(inner.left), std::max(double(inner.left), inner.right - fw));
  const double bottom =
      std::clamp(double(rect.bottom), double(inner.bottom), std::max(double(inner.bottom), inner.top - fh));
  return {float(left), float(bottom), float(left + fw), float(bottom + fh)};
}

bool MovePoint(KA_Annot annot, KA_PageView view, int index, KS_DevicePoint pt) {
  KS_FloatPoint p{};
  return direct::PageViewDeviceToPage(view, pt, &p) && MovePointTo(annot, index, p);
}

bool MovePointTo(KA_Annot annot, int index, KS_FloatPoint p) {
  std::string key;
  std::vector<double> numbers;
  if (!MayEdit(annot) || !CanRegenerate(annot) || !std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  if (!Vertices(annot, &key, &numbers) || index < 0 || size_t(index) * 2 + 1 >= numbers.size()) return false;
  numbers[size_t(index) * 2] = p.x;
  numbers[size_t(index) * 2 + 1] = p.y;
  KPD_Object value = NumberArray(numbers);
  Editor::Get().InvalidateAnnot(annot);
  const bool ok = value && direct::DictSet(annot->dict, key.c_str(), value);
  direct::ObjectRelease(value);
  return ok && Changed(annot);
}

int NormalizeAngle(int degrees) {
  int a = degrees % 360;
  if (a > 180) a -= 360;
  if (a < -180) a += 360;
  return a;
}

bool Rotate(KA_Annot annot, int degrees) {
  KS_FloatRect r{};
  if (!MayEdit(annot) || !RectOf(annot, &r) || degrees % 360 == 0) return false;
  const std::string type = Subtype(annot);
  const char* key = type == "Stamp" ? "/Rotate" : "/Rotation";
  const int64_t stored = direct::ObjectGetInteger(direct::DictGet(annot->dict, key));
  KPD_Object angle = direct::IntegerNew(NormalizeAngle(int(stored % 360) + degrees % 360));
  const double cx = (double(r.left) + r.right) / 2, cy = (double(r.bottom) + r.top) / 2;
  // Quarter turns use exact sines so that turning back restores the numbers.
  double c = 0, s = 0;
  switch (((degrees % 360) + 360) % 360) {
    case 90: s = 1; break;
    case 180: c = -1; break;
    case 270: s = -1; break;
    default: {
      const double rad = degrees * 3.14159265358979323846 / 180;
      c = std::cos(rad);
      s = std::sin(rad);
    }
  }
  Editor::Get().InvalidateAnnot(annot);
  if (type == "Line" || type == "PolyLine" || type == "Polygon" || type == "Ink")
    MapGeometry(annot, {"/L", "/Vertices"}, true, [&](double* x, double* y) {
      const double u = *x - cx, v = *y - cy;
      *x = cx + u * c - v * s;
      *y = cy + u * s + v * c;
    });
  const bool ok = direct::DictSet(annot->dict, key, angle);
  direct::ObjectRelease(angle);
  return ok && Changed(annot);
}

int HandleAt(KA_Annot annot, KA_PageView view, const KS_DeviceRect& rect, KS_DevicePoint pt) {
  if (!Editor::Get().IsLiveAnnot(annot) || Editor::Get().PageIndexOf(annot) < 0 || !view) return KS_HANDLE_NONE;
  std::string key;
  std::vector<double> numbers;
  if (Vertices(annot, &key, &numbers)) {
    for (size_t i = 0; i + 1 < numbers.size(); i += 2) {
      KS_DevicePoint d{};
      if (direct::PageViewPageToDevice(view, {float(numbers[i]), float(numbers[i + 1])}, &d) && Near(d, pt))
        return KS_HANDLE_VERTEX + int(i / 2);
    }
  }
  const int l = std::min(rect.left, rect.right), r = std::max(rect.left, rect.right);
  const int t = std::min(rect.top, rect.bottom), b = std::max(rect.top, rect.bottom);
  const int mx = (l + r) / 2, my = (t + b) / 2;
  // A box too thin for its handles to stay clear of each other (a
  // horizontal line, a short stroke) has none: a press anywhere on it moves
  // it, instead of grabbing a side and squashing it.
  if (r - l >= kMinFramedSide && b - t >= kMinFramedSide) {
    const KS_DevicePoint frame[8] = {{l, t}, {mx, t}, {r, t}, {r, my}, {r, b}, {mx, b}, {l, b}, {l, my}};
    for (int i = 0; i < 8; ++i)
      if (Near(frame[i], pt)) return i + 1;
  }
  if (pt.x >= l && pt.x <= r && pt.y >= t && pt.y <= b) return KS_HANDLE_BODY;
  return KS_HANDLE_NONE;
}

KS_DeviceRect DraggedRect(const KS_DeviceRect& rect, int handle, int dx, int dy) {
  KS_DeviceRect out = rect;
  switch (handle) {
    case 1: out.left += dx; out.top += dy; break;
    case 2: out.top += dy; break;
    case 3: out.right += dx; out.top += dy; break;
    case 4: out.right += dx; break;
    case 5: out.right += dx; out.bottom += dy; break;
    case 6: out.bottom += dy; break;
    case 7: out.left += dx; out.bottom += dy; break;
    case 8: out.left += dx; break;
    default: out = {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy}; break;
  }
  if (out.left > out.right) std::swap(out.left, out.right);
  if (out.top > out.bottom) std::swap(out.top, out.bottom);
  return out;
}

std::string NameText(KPD_Object object) {
  KS_ByteString name = direct::ByteStringNew("", 0);
  std::string text;
  if (object && direct::NameGet(object, name)) text.assign(direct::ByteStringData(name), direct::ByteStringLength(name));
  direct::ByteStringDestroy(name);
  if (!text.empty() && text[0] == '/') text.erase(0, 1);
  return text;
}

std::string Subtype(KA_Annot annot) { return annot ? NameText(direct::DictGet(annot->dict, "/Subtype")) : std::string(); }

std::u16string TextOf(KPD_Dictionary dict, const char* key) {
  KS_WideString out = direct::WideStringNew(u"", 0);
  std::u16string text;
  if (dict && direct::StringObjectGetText(direct::DictGet(dict, key), out))
    text.assign(direct::WideStringData(out), direct::WideStringLength(out));
  direct::WideStringDestroy(out);
  return text;
}

}  // namespace kshost::edit
