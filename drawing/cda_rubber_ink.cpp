#include "drawing/cda_rubber_ink.h"

#include <cmath>

#include "plugin/host_binding.h"

namespace AnnotationPlugin {

namespace {

std::string Nth(int32_t i) { return "stroke " + std::to_string(i + 1); }

std::string Describe(const KS_InkInfo& info) {
  const int32_t i = info.problemStroke;
  switch (info.problem) {
    case KS_INK_NO_LIST: return "/InkList is missing or not an array";
    case KS_INK_STROKE_NOT_ARRAY: return Nth(i) + " is not an array";
    case KS_INK_NOT_A_NUMBER: return Nth(i) + " holds a value that is not a number";
    case KS_INK_ODD_COUNT: return Nth(i) + " has an odd number of coordinates";
    case KS_INK_NOT_FINITE: return Nth(i) + " has a coordinate that is not finite";
    case KS_INK_PRESSURE_STROKES: return "the pressure data does not have one array per stroke";
    case KS_INK_PRESSURE_POINTS: return "the pressure data of " + Nth(i) + " does not match its points";
    case KS_INK_TOO_LONG: return "the ink is too long from " + Nth(i) + " on";
    default: return "the strokes cannot be read";
  }
}

}  // namespace

DA_InkData DA_ReadInk(KPD_Dictionary ink) {
  DA_InkData data;
  KS_InkInfo info{};
  info.size = sizeof info;
  if (!ink || !Host::InkGetInfo(ink, &info)) {
    if (info.problem == KS_INK_OK) info.problem = KS_INK_NO_LIST;
    data.problem = Describe(info);
    return data;
  }
  data.pressure = info.pressure != 0;
  data.perPoint = info.pressure == 2;
  std::vector<int32_t> counts(size_t(info.strokes));
  std::vector<float> xy(size_t(info.coords));
  std::vector<float> pressure(data.perPoint ? size_t(info.coords / 2) : 0);
  if (!Host::InkGetStrokes(ink, counts.data(), info.strokes, xy.data(), info.coords,
                           data.perPoint ? pressure.data() : nullptr)) {
    data.problem = "the strokes cannot be read";
    return data;
  }
  data.strokes.resize(counts.size());
  size_t at = 0;
  for (size_t s = 0; s < counts.size(); ++s) {
    DA_InkStroke& stroke = data.strokes[s];
    const size_t points = size_t(counts[s]) / 2;
    stroke.points.resize(points);
    for (size_t k = 0; k < points; ++k) stroke.points[k] = {xy[2 * (at + k)], xy[2 * (at + k) + 1]};
    if (data.perPoint) stroke.pressure.assign(pressure.begin() + long(at), pressure.begin() + long(at + points));
    at += points;
  }
  return data;
}

bool DA_WriteInk(KPD_Dictionary ink, const DA_InkData& data) {
  if (!ink) return false;
  std::vector<int32_t> counts;
  std::vector<float> xy, pressure;
  counts.reserve(data.strokes.size());
  size_t points = 0;
  for (const DA_InkStroke& s : data.strokes) points += s.points.size();
  xy.reserve(points * 2);
  if (data.perPoint) pressure.reserve(points);
  for (const DA_InkStroke& s : data.strokes) {
    // Pressure that does not go with the points would put the two out of
    // step for good: nothing is written.
    if (data.perPoint && s.pressure.size() != s.points.size()) return false;
    counts.push_back(int32_t(s.points.size() * 2));
    for (KS_FloatPoint p : s.points) {
      xy.push_back(p.x);
      xy.push_back(p.y);
    }
    if (data.perPoint) pressure.insert(pressure.end(), s.pressure.begin(), s.pressure.end());
  }
  return Host::InkSetStrokes(ink, counts.data(), int32_t(counts.size()), xy.data(),
                             data.perPoint ? pressure.data() : nullptr) != 0;
}

bool DA_KeepRuns(KPD_Dictionary ink, const std::vector<DA_InkRun>& runs) {
  if (!ink) return false;
  std::vector<int32_t> flat;
  flat.reserve(runs.size() * 3);
  for (const DA_InkRun& r : runs) flat.insert(flat.end(), {r.stroke, r.first, r.points});
  return Host::InkKeepRuns(ink, flat.data(), int32_t(runs.size())) != 0;
}

}  // namespace AnnotationPlugin
