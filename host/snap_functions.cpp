#include <algorithm>
#include <cmath>
#include <vector>

#include "host/device.h"
#include "host/editor.h"
#include "host/host_functions.h"
#include "host/snap_service.h"
#include "sdk/ks_number.h"

namespace kshost::snap {
namespace {

// A few pages' indexes; a session measures on one or two pages at a time.
constexpr size_t kCachedPages = 6;

struct CachedPage {
  QPDFObjectHandle page;  // held, so that its address is not reused
  QPDF* owner = nullptr;
  std::string contents;   // the page's /Contents as written, to notice a new one
  std::shared_ptr<const Index> index;
};

std::vector<CachedPage>& Cache() {
  static std::vector<CachedPage> cache;
  return cache;
}

size_t builds = 0;

struct LastSnap {
  KA_PageView view = nullptr;
  int kind = KS_SNAP_NONE;
  KS_FloatPoint point{};
  // The view's transform the point was found under: once the view is
  // zoomed or turned, the pointer is over another page point, and a marker
  // on the old one would promise a point that the next click does not get.
  KS_Matrix toDevice{};
};

bool SameMatrix(const KS_Matrix& a, const KS_Matrix& b) {
  return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.e == b.e && a.f == b.f;
}
LastSnap last;

// A page coordinate for the trace: at most three decimals, no trailing zeros.
std::string TraceNumber(double v) {
  std::string s = ks::FormatFixed(v, 3);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string ContentsKey(QPDFObjectHandle page) {
  QPDFObjectHandle contents = page.getKey("/Contents");
  return contents.isIndirect() ? contents.getObjGen().unparse(' ') : contents.unparse();
}

}  // namespace

const char16_t* ModeKey(int index) {
  static const char16_t* const keys[] = {u"end", u"mid", u"inter", u"near"};
  return index >= 0 && index < 4 ? keys[index] : nullptr;
}

const char* KindName(int kind) {
  switch (kind) {
    case KS_SNAP_END: return "end";
    case KS_SNAP_MID: return "mid";
    case KS_SNAP_INTER: return "inter";
    case KS_SNAP_NEAR: return "near";
    default: return "";
  }
}

Modes CurrentModes() {
  Modes m;
  m.end = direct::PrefGetInt(u"snap", ModeKey(KS_SNAP_MODE_END), 0) != 0;
  m.mid = direct::PrefGetInt(u"snap", ModeKey(KS_SNAP_MODE_MID), 0) != 0;
  m.inter = direct::PrefGetInt(u"snap", ModeKey(KS_SNAP_MODE_INTER), 0) != 0;
  m.nearest = direct::PrefGetInt(u"snap", ModeKey(KS_SNAP_MODE_NEAR), 0) != 0;
  return m;
}

bool SetMode(int index, bool on) {
  const char16_t* key = ModeKey(index);
  return key && direct::PrefSetInt(u"snap", key, on ? 1 : 0);
}

double Radius() { return std::clamp(direct::PrefGetInt(u"snap", u"Radius", 8), 1, 64); }

std::shared_ptr<const Index> PageIndex(QPDFObjectHandle page) {
  try {
    if (!page.isDictionary()) return nullptr;
    auto& cache = Cache();
    const std::string contents = ContentsKey(page);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
      if (!pdf::SameObject(it->page, page) || it->owner != page.getOwningQPDF()) continue;
      if (it->contents == contents) return it->index;
      cache.erase(it);
      break;
    }
    auto index = std::make_shared<const Index>(ExtractPage(page));
    ++builds;
    if (cache.size() >= kCachedPages) cache.erase(cache.begin());
    cache.push_back(CachedPage{page, page.getOwningQPDF(), contents, index});
    return index;
  } catch (...) {
    return nullptr;
  }
}

void NoteStreamChanged(QPDFObjectHandle stream) {
  if (!stream.isIndirect()) return;
  const QPDFObjGen og = stream.getObjGen();
  QPDF* owner = stream.getOwningQPDF();
  auto& cache = Cache();
  cache.erase(std::remove_if(cache.begin(), cache.end(),
                             [&](const CachedPage& c) {
                               const auto& streams = c.index->geometry().streams;
                               return c.owner == owner && std::find(streams.begin(), streams.end(), og) != streams.end();
                             }),
              cache.end());
}

size_t BuildCount() { return builds; }

}  // namespace kshost::snap

namespace kshost::direct {

int32_t SnapIsEnabled() { return snap::CurrentModes().Any() ? 1 : 0; }

int32_t SnapGetMode(int32_t group, int32_t index) {
  const char16_t* key = snap::ModeKey(index);
  return group == 1 && key && PrefGetInt(u"snap", key, 0) != 0 ? 1 : 0;
}

int32_t SnapSetMode(int32_t group, int32_t index, int32_t on) {
  return group == 1 && snap::SetMode(index, on != 0) ? 1 : 0;
}

int32_t SnapUpdate(KA_PageView view, KS_DevicePoint pt, int32_t, KS_FloatPoint) {
  snap::last = {};
  if (!view || !view->doc || !view->doc->pdf) return 0;
  const snap::Modes modes = snap::CurrentModes();
  if (!modes.Any()) return 0;
  KPD_Page page = DocGetPage(view->doc->pdf, view->pageIndex);
  QPDFObjectHandle* object = page ? pdf::ObjectOf(reinterpret_cast<KPD_Object>(page)) : nullptr;
  if (!object) return 0;
  std::shared_ptr<const snap::Index> index = snap::PageIndex(*object);
  if (!index) return 0;
  const snap::Hit hit = index->Query(view->pageToDevice, pt.x, pt.y, snap::Radius(), modes);
  if (hit.kind == KS_SNAP_NONE) return 0;
  snap::last = {view, hit.kind, hit.point, view->pageToDevice};
  std::string line = "snap: ";
  line += snap::KindName(hit.kind);
  line += ' ';
  line += snap::TraceNumber(hit.point.x);
  line += ' ';
  line += snap::TraceNumber(hit.point.y);
  Editor::Get().TraceNote(line);
  return 1;
}

int32_t SnapGetResult(KS_FloatPoint* pt, int32_t* kind) {
  if (kind) *kind = snap::last.kind;
  if (snap::last.kind == KS_SNAP_NONE) return 0;
  if (pt) *pt = snap::last.point;
  return 1;
}

// The marker is green and about ten pixels wide: a square on an end point, a
// triangle on a midpoint, a cross on an intersection and an hourglass on a
// nearest point.
int32_t SnapDrawMarker(KA_PageView view, KA_Device device) {
  if (!view || view != snap::last.view || snap::last.kind == KS_SNAP_NONE || !IsLiveDevice(device)) return 0;
  if (!snap::SameMatrix(view->pageToDevice, snap::last.toDevice)) return 0;
  KS_DevicePoint c{};
  if (!PageViewPageToDevice(view, snap::last.point, &c)) return 0;
  constexpr int r = 5;
  DrawItem item;
  item.pen = KA_Pen__{0x00A000, 1, 0};
  switch (snap::last.kind) {
    case KS_SNAP_END:
      item.kind = DrawItem::Kind::Rect;
      item.points = {{c.x - r, c.y - r}, {c.x + r, c.y + r}};
      break;
    case KS_SNAP_MID:
      item.kind = DrawItem::Kind::Path;
      item.points = {{c.x, c.y - r}, {c.x + r, c.y + r}, {c.x - r, c.y + r}};
      item.closed = true;
      break;
    case KS_SNAP_INTER:
      item.kind = DrawItem::Kind::Line;
      item.points = {{c.x - r, c.y - r}, {c.x + r, c.y + r}};
      if (device->records) device->items.push_back(item);
      item.points = {{c.x - r, c.y + r}, {c.x + r, c.y - r}};
      break;
    default:
      item.kind = DrawItem::Kind::Path;
      item.points = {{c.x - r, c.y - r}, {c.x + r, c.y - r}, {c.x - r, c.y + r}, {c.x + r, c.y + r}};
      item.closed = true;
      break;
  }
  if (device->records) device->items.push_back(std::move(item));
  return 1;
}

void SnapClear() { snap::last = {}; }

}  // namespace kshost::direct
