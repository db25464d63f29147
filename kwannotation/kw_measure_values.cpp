#include "kwannotation/kw_measure_values.h"

#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_measure_dict.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

KwMeasureScale KW_MeasureScaleOf(const CKW_MeasureDictImpl& measure) {
  KwMeasureScale s;
  if (measure.GetFormatCount(kMeasureArrayX) == 0) return s;
  s.x = s.y = measure.GetFormat(kMeasureArrayX, 0).factor;
  if (measure.GetFormatCount(kMeasureArrayY) > 0)
    s.y = measure.GetFormat(kMeasureArrayY, 0).factor * measure.GetCYX().value_or(1.0);
  s.usable = std::isfinite(s.x) && std::isfinite(s.y) && s.x > 0 && s.y > 0;
  return s;
}

double KW_ScaledLength(const KwMeasureScale& scale, double x0, double y0, double x1, double y1) {
  return std::hypot((x1 - x0) * scale.x, (y1 - y0) * scale.y);
}

double KW_PathLength(const KwMeasureScale& scale, const std::vector<double>& xy, bool closed) {
  const size_t n = xy.size() / 2;
  if (n < 2) return 0;
  double length = 0;
  for (size_t i = 0; i + 1 < n; ++i) length += KW_ScaledLength(scale, xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3]);
  if (closed) length += KW_ScaledLength(scale, xy[2 * n - 2], xy[2 * n - 1], xy[0], xy[1]);
  return length;
}

double KW_PolygonArea(const KwMeasureScale& scale, const std::vector<double>& xy) {
  const size_t n = xy.size() / 2;
  if (n < 3) return 0;
  double twice = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    twice += xy[2 * i] * xy[2 * j + 1] - xy[2 * j] * xy[2 * i + 1];
  }
  return std::fabs(twice) / 2 * scale.x * scale.y;
}

KwMeasuredGeometry KW_MeasureGeometry(KPD_Dictionary annot, int32_t measureKind, const KwMeasureScale& scale) {
  KwMeasuredGeometry g;
  if (measureKind == KW_MEASURE_LINE) {
    std::vector<double> l = annot ? dict::GetDoubles(ks::host::DictGet(annot, "/L")) : std::vector<double>();
    if (l.size() != 4) {
      g.status = KwMeasuredGeometry::kNoGeometry;
      return g;
    }
    g.status = KwMeasuredGeometry::kMeasured;
    g.length = KW_ScaledLength(scale, l[0], l[1], l[2], l[3]);
    return g;
  }
  if (measureKind == KW_MEASURE_POLYLINE || measureKind == KW_MEASURE_POLYGON) {
    std::vector<double> v = annot ? dict::GetDoubles(ks::host::DictGet(annot, "/Vertices")) : std::vector<double>();
    if (v.size() < 4 || v.size() % 2 != 0) {
      g.status = KwMeasuredGeometry::kNoGeometry;
      return g;
    }
    g.status = KwMeasuredGeometry::kMeasured;
    g.isArea = measureKind == KW_MEASURE_POLYGON;
    g.length = KW_PathLength(scale, v, g.isArea);
    if (g.isArea) g.area = KW_PolygonArea(scale, v);
  }
  return g;
}

}  // namespace kwannotation
