// Page views (selector 32, rows 0 to 6): a view's document, page and zoom,
// and points between page space and device pixels. Rectangles (rows 7 and
// 8) are with the annotation functions.
#include <algorithm>
#include <cmath>

#include "host/editor.h"
#include "host/host_functions.h"

namespace kshost::direct {
namespace {

int32_t Round(double v) {
  if (!std::isfinite(v)) return 0;
  v = std::clamp(v, -1e9, 1e9);
  return static_cast<int32_t>(std::lround(v));
}

}  // namespace

KA_Document PageViewGetDocument(KA_PageView view) { return view ? view->doc : nullptr; }
int32_t PageViewGetPageIndex(KA_PageView view) { return view ? view->pageIndex : -1; }
KPD_Page PageViewGetPage(KA_PageView view) { return view ? DocGetPage(view->doc->pdf, view->pageIndex) : nullptr; }
float PageViewGetZoom(KA_PageView view) { return view ? view->zoom : 0; }

int32_t PageViewGetMatrix(KA_PageView view, KS_Matrix* out) {
  if (!view || !out) return 0;
  *out = view->pageToDevice;
  return 1;
}

int32_t PageViewPageToDevice(KA_PageView view, KS_FloatPoint point, KS_DevicePoint* out) {
  if (!view || !out) return 0;
  const KS_Matrix& m = view->pageToDevice;
  out->x = Round(double(m.a) * point.x + double(m.c) * point.y + m.e);
  out->y = Round(double(m.b) * point.x + double(m.d) * point.y + m.f);
  return 1;
}

int32_t PageViewDeviceToPage(KA_PageView view, KS_DevicePoint device, KS_FloatPoint* out) {
  if (!view || !out) return 0;
  KS_Matrix inv;
  if (!MatrixInvert(&view->pageToDevice, &inv)) return 0;
  out->x = static_cast<float>(double(inv.a) * device.x + double(inv.c) * device.y + inv.e);
  out->y = static_cast<float>(double(inv.b) * device.x + double(inv.d) * device.y + inv.f);
  return 1;
}

}  // namespace kshost::direct
