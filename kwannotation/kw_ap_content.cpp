#include "kwannotation/kw_ap_content.h"

#include <algorithm>

#include "sdk/ks_number.h"

namespace kwannotation {
namespace {

void AppendCoords(std::string& out, std::initializer_list<double> values, const char* op) {
  for (double v : values) {
    ks::AppendFixed(out, v, 3);
    out += ' ';
  }
  out += op;
}

// Truncation toward zero, as a C cast does; out-of-range values stop at the
// int limits instead of being undefined.
long long Truncate(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483648LL;
  return static_cast<long long>(v);
}

}  // namespace

void AppendMoveTo(std::string& out, double x, double y) { AppendCoords(out, {x, y}, "m\n"); }

void AppendLineTo(std::string& out, double x, double y) { AppendCoords(out, {x, y}, "l\n"); }

void AppendCurveTo(std::string& out, double x1, double y1, double x2, double y2, double x3, double y3) {
  AppendCoords(out, {x1, y1, x2, y2, x3, y3}, "c\n");
}

void AppendRectangle(std::string& out, double x, double y, double width, double height) {
  AppendCoords(out, {x, y, width, height}, "re\n");
}

void AppendTransform(std::string& out, const KS_Matrix& m) {
  AppendCoords(out, {m.a, m.b, m.c, m.d, m.e, m.f}, "cm\n");
}

void AppendTextMatrix(std::string& out, const KS_Matrix& m) {
  AppendCoords(out, {m.a, m.b, m.c, m.d, m.e, m.f}, "Tm\n");
}

void AppendStrokeColor(std::string& out, const KPD_ColorF& color) {
  KPD_ColorF rgb = ToRGB(color);
  AppendCoords(out, {rgb.c[0], rgb.c[1], rgb.c[2]}, "RG\n");
}

void AppendFillColor(std::string& out, const KPD_ColorF& color) {
  KPD_ColorF rgb = ToRGB(color);
  AppendCoords(out, {rgb.c[0], rgb.c[1], rgb.c[2]}, "rg\n");
}

void AppendLineState(std::string& out, double width, int precision, bool roundJoin) {
  ks::AppendFixed(out, width, precision);
  out += roundJoin ? " w\n0 J\n2 j\n" : " w\n0 J\n0 j\n";
}

void AppendDash(std::string& out, const std::vector<float>& dashes, float phase) {
  // A pattern of nothing but zero lengths is no dash pattern at all (and
  // not valid PDF): the line is drawn solid.
  if (!dashes.empty() && std::all_of(dashes.begin(), dashes.end(), [](float v) { return Truncate(v) == 0; }))
    return;
  out += '[';
  if (dashes.empty()) {
    out += '3';
  } else {
    for (size_t i = 0; i < dashes.size(); ++i) {
      if (i) out += ' ';
      ks::AppendInt(out, Truncate(dashes[i]));
    }
  }
  out += ']';
  ks::AppendInt(out, Truncate(phase));
  out += " d\n";
}

const char* PaintOperator(bool closed, bool fill, bool stroke) {
  if (!closed) return stroke ? "S\n" : "n\n";
  if (fill && stroke) return "h\nB\n";
  if (fill) return "f\n";
  if (stroke) return "h\nS\n";
  return "n\n";
}

// The host offers no colour management; this is the plain complement
// conversion that PDF uses for DeviceCMYK to DeviceRGB.
KPD_ColorF ToRGB(const KPD_ColorF& color) {
  KPD_ColorF out = color;
  switch (color.kind) {
    case KPD_COLOR_GRAY:
      out = {KPD_COLOR_RGB, {color.c[0], color.c[0], color.c[0], 0}};
      break;
    case KPD_COLOR_CMYK: {
      float k = color.c[3];
      out = {KPD_COLOR_RGB, {(1 - color.c[0]) * (1 - k), (1 - color.c[1]) * (1 - k), (1 - color.c[2]) * (1 - k), 0}};
      break;
    }
    default:
      break;
  }
  return out;
}

}  // namespace kwannotation
