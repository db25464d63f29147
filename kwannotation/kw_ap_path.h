// Path elements and the shape paths the generators share: ellipse,
// rectangle and circular arcs written as cubic Bezier curves.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// One element of a path, written as operator text with a leading blank and
// no line end (" %f %f m").
class IPath {
 public:
  virtual ~IPath() = default;
  virtual std::string ToString() const = 0;
};

class CPath_MoveTo : public IPath {
 public:
  explicit CPath_MoveTo(KS_FloatPoint p) : p_(p) {}
  std::string ToString() const override;

 private:
  KS_FloatPoint p_;
};

class CPath_LineTo : public IPath {
 public:
  explicit CPath_LineTo(KS_FloatPoint p) : p_(p) {}
  std::string ToString() const override;

 private:
  KS_FloatPoint p_;
};

class CPath_CurveTo : public IPath {
 public:
  CPath_CurveTo(KS_FloatPoint c1, KS_FloatPoint c2, KS_FloatPoint end) : c1_(c1), c2_(c2), end_(end) {}
  std::string ToString() const override;

 private:
  KS_FloatPoint c1_, c2_, end_;
};

// A path as a list of elements.
class CKW_PathImpl {
 public:
  void MoveTo(KS_FloatPoint p) { elements_.push_back(std::make_shared<CPath_MoveTo>(p)); }
  void LineTo(KS_FloatPoint p) { elements_.push_back(std::make_shared<CPath_LineTo>(p)); }
  void CurveTo(KS_FloatPoint c1, KS_FloatPoint c2, KS_FloatPoint end) {
    elements_.push_back(std::make_shared<CPath_CurveTo>(c1, c2, end));
  }
  const std::vector<std::shared_ptr<IPath>>& Elements() const { return elements_; }
  // The elements one after another.
  std::string ToString() const;

 private:
  std::vector<std::shared_ptr<IPath>> elements_;
};

// Bounds that grow point by point; empty until the first point.
struct ApBounds {
  double left = 0, bottom = 0, right = 0, top = 0;
  bool empty = true;
  // Inline: the ink generator adds hundreds of thousands of points.
  void Add(double x, double y) {
    if (empty) {
      left = right = x;
      bottom = top = y;
      empty = false;
      return;
    }
    left = std::min(left, x);
    right = std::max(right, x);
    bottom = std::min(bottom, y);
    top = std::max(top, y);
  }
  void Add(const ApBounds& other);
  void Inflate(double by);
  KS_FloatRect Rect() const;
};

// The shape-path emitters of the shape generators.
class CMKA_Path {
 public:
  virtual ~CMKA_Path() = default;

  // The ellipse inscribed in `rect`, turned by `angle` radians about the
  // rectangle's centre: a move and four quarter curves with the control
  // distance 0.5522848 times each half-axis. Returns the ellipse's bounds.
  static ApBounds AppendEllipse(std::string& out, const KS_FloatRect& rect, double angle);

  // The arc of the circle (cx, cy, r) from angle a1 to a2 (radians, a2 >= a1)
  // as Bezier pieces of at most a quarter turn; a full quarter uses the
  // constant 0.5522848, a shorter piece 4/3 tan(sweep/4). With `move` the
  // arc starts with a move to its first point, else it continues the
  // current path.
  static void AppendArc(std::string& out, double cx, double cy, double r, double a1, double a2, bool move);
};

}  // namespace kwannotation
