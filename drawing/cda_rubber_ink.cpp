#include "drawing/cda_rubber_ink.h"

#include <cmath>

#include "plugin/host_binding.h"
#include "sdk/ks_number.h"

namespace AnnotationPlugin {

namespace {

// The numbers of an array, or false when it is not an array of numbers.
bool Numbers(KPD_Object array, std::vector<float>* out) {
  if (!array || Host::ObjectGetType(array) != KPD_OBJ_ARRAY) return false;
  int32_t count = Host::ArrayGetNumbers(array, nullptr, 0);
  if (count < 0) return false;
  out->assign(size_t(count), 0.0f);
  return count == 0 || Host::ArrayGetNumbers(array, out->data(), count) == count;
}

// Six decimals give every float of a page coordinate back exactly; the
// zeros at the end are left off.
void AppendNumber(std::string& out, float value) {
  const size_t start = out.size();
  ks::AppendFixed(out, value, 6);
  if (out.find('.', start) == std::string::npos) return;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out.size() - start == 2 && out[start] == '-' && out[start + 1] == '0') out.erase(start, 1);
}

bool SetOwned(KPD_Dictionary dict, const char* key, KPD_Object value) {
  if (!value) return false;
  bool ok = Host::DictSet(dict, key, value) != 0;
  Host::ObjectRelease(value);
  return ok;
}

std::string Nth(size_t i) { return "stroke " + std::to_string(i + 1); }

}  // namespace

DA_InkData DA_ReadInk(KPD_Dictionary ink) {
  DA_InkData data;
  KPD_Object list = ink ? Host::DictGet(ink, "/InkList") : nullptr;
  if (!list || Host::ObjectGetType(list) != KPD_OBJ_ARRAY) {
    data.problem = "/InkList is missing or not an array";
    return data;
  }
  const int32_t count = Host::ArrayCount(list);
  std::vector<float> v;
  for (int32_t i = 0; i < count && data.problem.empty(); ++i) {
    KPD_Object item = Host::ArrayGet(list, i);
    if (!item || Host::ObjectGetType(item) != KPD_OBJ_ARRAY) data.problem = Nth(i) + " is not an array";
    else if (!Numbers(item, &v)) data.problem = Nth(i) + " holds a value that is not a number";
    else if (v.size() % 2 != 0) data.problem = Nth(i) + " has an odd number of coordinates";
    if (!data.problem.empty()) break;
    DA_InkStroke s;
    s.points.reserve(v.size() / 2);
    for (size_t k = 0; k + 1 < v.size(); k += 2) {
      if (!std::isfinite(v[k]) || !std::isfinite(v[k + 1])) {
        data.problem = Nth(i) + " has a coordinate that is not finite";
        break;
      }
      s.points.push_back({v[k], v[k + 1]});
    }
    data.strokes.push_back(std::move(s));
  }
  if (!data.problem.empty()) return data;

  KPD_Object psi = Host::DictGet(ink, "/PSI");
  if (!psi) return data;
  data.pressure = true;
  if (Host::ObjectGetType(psi) != KPD_OBJ_ARRAY) return data;  // a flag only
  data.perPoint = true;
  if (Host::ArrayCount(psi) != count) {
    data.problem = "the pressure data has " + std::to_string(Host::ArrayCount(psi)) + " strokes, /InkList " +
                   std::to_string(count);
    return data;
  }
  for (int32_t i = 0; i < count; ++i) {
    DA_InkStroke& s = data.strokes[size_t(i)];
    if (!Numbers(Host::ArrayGet(psi, i), &s.pressure) || s.pressure.size() != s.points.size()) {
      data.problem = "the pressure data of " + Nth(size_t(i)) + " does not match its points";
      return data;
    }
  }
  return data;
}

bool DA_WriteInk(KPD_Dictionary ink, const DA_InkData& data) {
  if (!ink) return false;
  // The arrays are written as text and parsed once: a dense ink has hundreds
  // of thousands of numbers, and one host object each is far slower.
  std::string list = "[", psi = "[";
  size_t points = 0;
  for (const DA_InkStroke& s : data.strokes) points += s.points.size();
  list.reserve(points * 18 + data.strokes.size() * 3 + 2);
  for (const DA_InkStroke& s : data.strokes) {
    list += '[';
    for (KS_FloatPoint p : s.points) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
      AppendNumber(list, p.x);
      list += ' ';
      AppendNumber(list, p.y);
      list += ' ';
    }
    list += ']';
    if (data.perPoint) {
      psi += '[';
      for (float v : s.pressure) {
        if (!std::isfinite(v)) return false;
        AppendNumber(psi, v);
        psi += ' ';
      }
      psi += ']';
    }
  }
  list += ']';
  psi += ']';
  bool ok = SetOwned(ink, "/InkList", Host::ObjectParse(list.data(), list.size()));
  if (ok && data.perPoint) ok = SetOwned(ink, "/PSI", Host::ObjectParse(psi.data(), psi.size()));
  return ok;
}

}  // namespace AnnotationPlugin
