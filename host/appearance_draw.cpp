#include "host/appearance_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/content_reading.h"
#include "host/device.h"
#include "host/host_functions.h"

namespace kshost::appearance {
namespace {

using content::Apply;
using content::Concat;
using content::Finite;
using content::Matrix;
using content::Pt;

Matrix FromArray(const double n[6]) { return {n[0], n[1], n[2], n[3], n[4], n[5]}; }

// Colour components from 0 to 1 as a colour reference (0x00BBGGRR).
KS_ColorRef Rgb(double r, double g, double b) {
  auto byte = [](double v) {
    if (!(v > 0)) return 0u;  // NaN too
    return static_cast<unsigned>(std::lround(std::min(v, 1.0) * 255));
  };
  return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

// Gray, RGB or CMYK by the number of components; anything else keeps the
// colour (a pattern given by name, a colour space of its own).
bool ColourOf(const std::vector<double>& n, KS_ColorRef* out) {
  switch (n.size()) {
    case 1: *out = Rgb(n[0], n[0], n[0]); return true;
    case 3: *out = Rgb(n[0], n[1], n[2]); return true;
    case 4: *out = Rgb((1 - n[0]) * (1 - n[3]), (1 - n[1]) * (1 - n[3]), (1 - n[2]) * (1 - n[3])); return true;
    default: return false;
  }
}

KS_DevicePoint Round(Pt p) {
  auto clamp = [](double v) {
    return static_cast<int32_t>(std::lround(std::clamp(v, -1e9, 1e9)));
  };
  return {clamp(p.x), clamp(p.y)};
}

class Drawer {
 public:
  explicit Drawer(KA_Device device) : device_(device) {}

  // Draws content whose space maps to the device through `ctm`, starting
  // with black colours and a width of 1.
  void Run(std::string const& content, QPDFObjectHandle resources, const Matrix& ctm, int depth) {
    State start;
    start.ctm = ctm;
    Run(content, resources, start, depth);
  }

  void Enter(QPDFObjGen og) { chain_.push_back(og); }

 private:
  struct State {
    Matrix ctm;
    KS_ColorRef stroke = 0, fill = 0;
    double lineWidth = 1;
    bool dashed = false;
  };
  struct Subpath {
    std::vector<Pt> points;  // device space
    bool closed = false;
  };

  void Run(std::string const& content, QPDFObjectHandle resources, const State& start, int depth) {
    try {
      RunUnguarded(content, resources, start, depth);
    } catch (...) {
      // Damaged content: what was drawn before the damage stays.
    }
  }

  bool Full() const { return drawn_ >= kMaxItems || operators_ >= kMaxOperators; }

  void RunUnguarded(std::string const& content, QPDFObjectHandle resources, const State& start, int depth) {
    content::OperatorReader reader(content);
    content::Operation o;
    const std::string& op = o.op;
    const std::vector<double>& operands = o.numbers;
    const size_t& operandCount = o.operandCount;
    const std::string& lastName = o.lastName;
    const size_t& arrayNumbers = o.arrayNumbers;
    std::vector<State> stack;
    State state = start;
    std::vector<Subpath> path;
    Pt current{}, first{};  // user space: the current point, the subpath's start
    bool hasCurrent = false;
    while (!Full() && reader.Next(&o)) {
      ++operators_;
      auto take = [&](size_t count) { return o.Take(count); };
      auto numbersOnly = [&] { return o.NumbersOnly(); };
      auto user = [&](size_t i, size_t j) { return Pt{operands[i], operands[j]}; };
      auto moveTo = [&](Pt p) {
        path.push_back({{Apply(state.ctm, p.x, p.y)}, false});
        current = first = p;
        hasCurrent = true;
      };
      auto lineTo = [&](Pt p) {
        if (!hasCurrent) return moveTo(p);
        path.back().points.push_back(Apply(state.ctm, p.x, p.y));
        current = p;
      };
      auto curveTo = [&](Pt p1, Pt p2, Pt p3) {
        if (!hasCurrent) moveTo(p1);
        CurveTo(path.back(), state.ctm, current, p1, p2, p3);
        current = p3;
      };

      if (op == "BI") {
        DrawImage(state);
      } else if (op == "q") {
        if (stack.size() < static_cast<size_t>(kMaxStateDepth)) stack.push_back(state);
      } else if (op == "Q") {
        if (!stack.empty()) {
          state = stack.back();
          stack.pop_back();
        }
      } else if (op == "cm") {
        if (take(6)) {
          Matrix m = Concat(FromArray(operands.data()), state.ctm);
          if (Finite(m)) state.ctm = m;
        }
      } else if (op == "w") {
        if (take(1) && operands[0] >= 0) state.lineWidth = operands[0];
      } else if (op == "d") {
        if (operandCount == 2) state.dashed = arrayNumbers > 0;
      } else if (op == "G" || op == "RG" || op == "K" || op == "SC" || op == "SCN") {
        if (numbersOnly()) ColourOf(operands, &state.stroke);
      } else if (op == "g" || op == "rg" || op == "k" || op == "sc" || op == "scn") {
        if (numbersOnly()) ColourOf(operands, &state.fill);
      } else if (op == "CS") {
        state.stroke = 0;
      } else if (op == "cs") {
        state.fill = 0;
      } else if (op == "m") {
        if (take(2)) moveTo(user(0, 1));
      } else if (op == "l") {
        if (take(2)) lineTo(user(0, 1));
      } else if (op == "c") {
        if (take(6)) curveTo(user(0, 1), user(2, 3), user(4, 5));
      } else if (op == "v") {
        if (take(4)) curveTo(current, user(0, 1), user(2, 3));
      } else if (op == "y") {
        if (take(4)) curveTo(user(0, 1), user(2, 3), user(2, 3));
      } else if (op == "h") {
        if (hasCurrent && !path.empty()) {
          path.back().closed = true;
          current = first;
        }
      } else if (op == "re") {
        if (take(4)) {
          const double x = operands[0], y = operands[1], w = operands[2], h = operands[3];
          moveTo({x, y});
          lineTo({x + w, y});
          lineTo({x + w, y + h});
          lineTo({x, y + h});
          path.back().closed = true;
          current = first = {x, y};
        }
      } else if (op == "S" || op == "s" || op == "f" || op == "F" || op == "f*" || op == "B" || op == "B*" ||
                 op == "b" || op == "b*" || op == "n") {
        if ((op == "s" || op == "b" || op == "b*") && !path.empty()) path.back().closed = true;
        const bool stroke = op == "S" || op == "s" || op == "B" || op == "B*" || op == "b" || op == "b*";
        const bool fill = op != "S" && op != "s" && op != "n";
        if (stroke || fill) Paint(path, state, stroke, fill);
        path.clear();
        hasCurrent = false;
      } else if (op == "Do") {
        if (operandCount == 1 && !lastName.empty()) DrawXObject(lastName, resources, state, depth);
      }
    }
  }

  // A cubic Bezier curve as straight pieces, about one for every few device
  // pixels of its control polygon.
  static void CurveTo(Subpath& sub, const Matrix& ctm, Pt p0, Pt p1, Pt p2, Pt p3) {
    Pt d[4] = {Apply(ctm, p0.x, p0.y), Apply(ctm, p1.x, p1.y), Apply(ctm, p2.x, p2.y), Apply(ctm, p3.x, p3.y)};
    double length = 0;
    for (int i = 0; i < 3; ++i) length += std::hypot(d[i + 1].x - d[i].x, d[i + 1].y - d[i].y);
    // Clamped before the conversion: a finite length can still be far
    // beyond what an int holds.
    const int pieces = std::isfinite(length) ? static_cast<int>(std::clamp(length / 4, 1.0, 16.0)) : 1;
    for (int i = 1; i <= pieces; ++i) {
      const double t = static_cast<double>(i) / pieces, u = 1 - t;
      const double k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
      sub.points.push_back({k0 * d[0].x + k1 * d[1].x + k2 * d[2].x + k3 * d[3].x,
                            k0 * d[0].y + k1 * d[1].y + k2 * d[2].y + k3 * d[3].y});
    }
  }

  void Paint(const std::vector<Subpath>& path, const State& state, bool stroke, bool fill) {
    // A width of 0 is the thinnest line the device draws.
    const double scale = std::sqrt(std::fabs(state.ctm.a * state.ctm.d - state.ctm.b * state.ctm.c));
    const double width = state.lineWidth * scale;
    for (const Subpath& sub : path) {
      if (Full()) return;
      kshost::DrawItem item;
      item.kind = kshost::DrawItem::Kind::Path;
      for (const Pt& p : sub.points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        KS_DevicePoint d = Round(p);
        if (item.points.empty() || item.points.back().x != d.x || item.points.back().y != d.y)
          item.points.push_back(d);
      }
      item.closed = sub.closed || fill;
      if (item.closed && item.points.size() > 2 && item.points.front().x == item.points.back().x &&
          item.points.front().y == item.points.back().y)
        item.points.pop_back();
      if (item.points.size() < 2) continue;  // smaller than a pixel
      if (stroke) {
        item.pen = {state.stroke, std::isfinite(width) ? std::max<int32_t>(1, std::lround(std::min(width, 1e4))) : 1,
                    state.dashed ? 1 : 0};
      } else {
        item.pen = {state.fill, 0, 0};
      }
      item.brush = {state.fill, !fill};
      Add(std::move(item));
    }
  }

  void DrawImage(const State& state) {
    if (Full()) return;
    kshost::DrawItem item;
    item.kind = kshost::DrawItem::Kind::Image;
    for (Pt corner : {Pt{0, 0}, Pt{1, 0}, Pt{1, 1}, Pt{0, 1}}) item.points.push_back(Round(Apply(state.ctm, corner.x, corner.y)));
    item.closed = true;
    Add(std::move(item));
  }

  void Add(kshost::DrawItem item) {
    if (device_->records) device_->items.push_back(std::move(item));
    ++drawn_;
  }

  void DrawXObject(const std::string& name, QPDFObjectHandle resources, const State& state, int depth) {
    QPDFObjectHandle object = content::XObject(resources, name);
    if (!object.isStream()) return;
    if (object.getDict().getKey("/Subtype").isNameAndEquals("/Image")) return DrawImage(state);
    const QPDFObjGen og = object.getObjGen();
    if (std::find(chain_.begin(), chain_.end(), og) != chain_.end()) return;  // draws itself
    if (depth + 1 > kMaxFormDepth) return;
    content::Form form;
    if (!content::ReadForm(object, resources, &form)) return;
    const Matrix ctm = Concat(form.matrix, state.ctm);
    if (!Finite(ctm)) return;
    // A form starts with the caller's colours and width, and a path of
    // its own.
    State inner = state;
    inner.ctm = ctm;
    chain_.push_back(og);
    Run(form.data, form.resources, inner, depth + 1);
    chain_.pop_back();
  }

  KA_Device device_;
  size_t drawn_ = 0;
  size_t operators_ = 0;
  std::vector<QPDFObjGen> chain_;  // the forms being drawn, outermost first
};

bool ReadRect(QPDFObjectHandle array, double out[4]) {
  if (!pdf::ReadNumbers(array, out, 4)) return false;
  if (out[0] > out[2]) std::swap(out[0], out[2]);
  if (out[1] > out[3]) std::swap(out[1], out[3]);
  return std::all_of(out, out + 4, [](double v) { return std::isfinite(v); });
}

}  // namespace

QPDFObjectHandle NormalAppearance(QPDFObjectHandle annot) {
  if (!annot.isDictionary()) return {};
  QPDFObjectHandle ap = annot.getKey("/AP");
  if (!ap.isDictionary()) return {};
  QPDFObjectHandle n = ap.getKey("/N");
  if (n.isStream()) return n;
  if (!n.isDictionary()) return {};
  QPDFObjectHandle state = annot.getKey("/AS");
  if (!state.isName()) return {};
  QPDFObjectHandle chosen = n.getKey(state.getName());
  return chosen.isStream() ? chosen : QPDFObjectHandle();
}

bool AppearanceToPage(QPDFObjectHandle annot, QPDFObjectHandle form, double out[6]) {
  if (!annot.isDictionary() || !form.isStream()) return false;
  QPDFObjectHandle dict = form.getDict();
  double box[4], rect[4];
  if (!ReadRect(dict.getKey("/BBox"), box) || !ReadRect(annot.getKey("/Rect"), rect)) return false;
  Matrix m;
  double n[6];
  if (pdf::ReadNumbers(dict.getKey("/Matrix"), n, 6)) m = FromArray(n);
  if (!Finite(m)) return false;
  // The box through the form's matrix, as an upright box.
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (Pt corner : {Pt{box[0], box[1]}, Pt{box[2], box[1]}, Pt{box[2], box[3]}, Pt{box[0], box[3]}}) {
    Pt p = Apply(m, corner.x, corner.y);
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
  constexpr double kFlat = 1e-6;
  if (!(x1 - x0 > kFlat && y1 - y0 > kFlat && rect[2] - rect[0] > kFlat && rect[3] - rect[1] > kFlat)) return false;
  const double sx = (rect[2] - rect[0]) / (x1 - x0), sy = (rect[3] - rect[1]) / (y1 - y0);
  const Matrix fit{sx, 0, 0, sy, rect[0] - x0 * sx, rect[1] - y0 * sy};
  const Matrix all = Concat(m, fit);
  if (!Finite(all)) return false;
  out[0] = all.a, out[1] = all.b, out[2] = all.c, out[3] = all.d, out[4] = all.e, out[5] = all.f;
  return true;
}

bool DrawAnnotAppearance(KA_Device device, QPDFObjectHandle annot, const KS_Matrix& pageToDevice) {
  if (!IsLiveDevice(device)) return false;
  try {
    QPDFObjectHandle form = NormalAppearance(annot);
    double toPage[6];
    if (!form.isInitialized() || !AppearanceToPage(annot, form, toPage)) return false;
    const Matrix ctm = Concat(FromArray(toPage), Matrix{pageToDevice.a, pageToDevice.b, pageToDevice.c,
                                                        pageToDevice.d, pageToDevice.e, pageToDevice.f});
    if (!Finite(ctm)) return false;
    auto buffer = form.getStreamData(qpdf_dl_generalized);
    const std::string content(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    QPDFObjectHandle resources = form.getDict().getKey("/Resources");
    Drawer drawer(device);
    drawer.Enter(form.getObjGen());
    drawer.Run(content, resources.isDictionary() ? resources : QPDFObjectHandle(), ctm, 0);
    return true;
  } catch (...) {
    return false;  // a stream that does not decode
  }
}

}  // namespace kshost::appearance

namespace kshost::direct {

int32_t DeviceDrawAppearance(KA_Device device, KPD_Dictionary annot, const KS_Matrix* pageToDevice) {
  QPDFObjectHandle* dict = pdf::ObjectOf(reinterpret_cast<KPD_Object>(annot));
  if (!dict || !pageToDevice) return 0;
  return Guard<int32_t>(0, [&] { return appearance::DrawAnnotAppearance(device, *dict, *pageToDevice) ? 1 : 0; });
}

}  // namespace kshost::direct
