#include "host/snap_geometry.h"

#include <algorithm>
#include <cfloat>
#include <tuple>
#include <cmath>

#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

#include "host/content_reading.h"
#include "host/page_tree.h"
#include "sdk/ks_functions.h"

namespace kshost::snap {
namespace {

using content::Apply;
using content::Concat;
using content::Matrix;
using content::Pt;

bool Finite(double v) { return std::isfinite(v); }

// Reads content streams, one operator at a time, and keeps the segments of
// every painted path.
class Extractor {
 public:
  explicit Extractor(Geometry& out) : out_(out) {}

  void Run(std::string const& content, QPDFObjectHandle resources, const Matrix& ctm, int depth) {
    try {
      RunUnguarded(content, resources, ctm, depth);
    } catch (...) {
      // Damaged content: what was read before the damage stays.
    }
  }

 private:
  struct State {
    Matrix ctm;
  };

  void RunUnguarded(std::string const& content, QPDFObjectHandle resources, const Matrix& ctm, int depth) {
    content::OperatorReader reader(content);
    content::Operation o;
    const std::string& op = o.op;
    const std::vector<double>& operands = o.numbers;
    const size_t& operandCount = o.operandCount;
    const std::string& lastName = o.lastName;
    std::vector<State> stack;
    State state{ctm};
    ResetPath();
    while (!out_.truncated && reader.Next(&o)) {
      if (op == "BI") {
        // an inline image: nothing to snap to
      } else if (op == "q") {
        if (stack.size() < static_cast<size_t>(kMaxStateDepth)) stack.push_back(state);
      } else if (op == "Q") {
        if (!stack.empty()) {
          state = stack.back();
          stack.pop_back();
        }
      } else if (op == "cm") {
        if (o.Take(6)) {
          const double* n = operands.data();
          state.ctm = Concat(Matrix{n[0], n[1], n[2], n[3], n[4], n[5]}, state.ctm);
        }
      } else if (op == "Do") {
        if (operandCount == 1 && !lastName.empty()) DrawForm(lastName, resources, state.ctm, depth);
      } else {
        PathOperator(o, state.ctm);
      }
    }
  }


  void DrawForm(const std::string& name, QPDFObjectHandle resources, const Matrix& ctm, int depth) {
    QPDFObjectHandle stream = content::XObject(resources, name);
    if (!stream.isStream() || !stream.getDict().getKey("/Subtype").isNameAndEquals("/Form")) return;
    const QPDFObjGen og = stream.getObjGen();
    if (std::find(chain_.begin(), chain_.end(), og) != chain_.end()) return;  // draws itself
    if (depth + 1 > kMaxFormDepth) {
      out_.truncated = true;
      return;
    }
    content::Form form;
    if (!content::ReadForm(stream, resources, &form)) return;
    NoteStream(og);
    chain_.push_back(og);
    // The form's path is its own; the caller's path resumes afterwards.
    const auto saved = std::make_tuple(path_, start_, current_, hasCurrent_);
    Run(form.data, form.resources, Concat(form.matrix, ctm), depth + 1);
    std::tie(path_, start_, current_, hasCurrent_) = saved;
    chain_.pop_back();
  }

 public:
  void NoteStream(QPDFObjGen og) {
    if (og.isIndirect() && std::find(out_.streams.begin(), out_.streams.end(), og) == out_.streams.end())
      out_.streams.push_back(og);
  }

 private:
  void ResetPath() {
    path_.clear();
    hasCurrent_ = false;
  }

  void Add(Pt a, Pt b, uint8_t flags) {
    if (!Finite(a.x) || !Finite(a.y) || !Finite(b.x) || !Finite(b.y)) return;
    path_.push_back(Segment{a.x, a.y, b.x, b.y, flags});
  }

  void ClosePath() {
    if (hasCurrent_ && (current_.x != start_.x || current_.y != start_.y))
      Add(current_, start_, Segment::kStartVertex | Segment::kEndVertex | Segment::kHasMidpoint);
    current_ = start_;
  }

  void Curve(Pt p0, Pt p1, Pt p2, Pt p3) {
    const double length = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                          std::hypot(p3.x - p2.x, p3.y - p2.y);
    // About one piece per six units of the control polygon, 2 to 24 pieces.
    // Clamped before the conversion: a finite length can still be far
    // beyond what an int holds.
    const int pieces = Finite(length) ? static_cast<int>(std::clamp(length / 6 + 2, 2.0, 24.0)) : 2;
    Pt previous = p0;
    for (int i = 1; i <= pieces; ++i) {
      const double t = double(i) / pieces, u = 1 - t;
      const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
      Pt next = i == pieces ? p3
                            : Pt{w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x, w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y};
      uint8_t flags = 0;
      if (i == 1) flags |= Segment::kStartVertex;
      if (i == pieces) flags |= Segment::kEndVertex;
      Add(previous, next, flags);
      previous = next;
    }
  }

  void Paint(bool close, bool keep) {
    if (close) ClosePath();
    if (keep) {
      const size_t room = kMaxSegments - out_.segments.size();
      if (path_.size() > room) {
        path_.resize(room);
        out_.truncated = true;
      }
      out_.segments.insert(out_.segments.end(), path_.begin(), path_.end());
    }
    ResetPath();
  }

  // A path operator whose operands are all numbers (Take checks both).
  void PathOperator(const content::Operation& o, const Matrix& ctm) {
    const std::string& op = o.op;
    const auto at = [&](size_t i) { return o.numbers[i]; };
    const uint8_t line = Segment::kStartVertex | Segment::kEndVertex | Segment::kHasMidpoint;
    if (op == "m") {
      if (!o.Take(2)) return;
      current_ = start_ = Apply(ctm, at(0), at(1));
      hasCurrent_ = true;
    } else if (op == "l") {
      if (!o.Take(2) || !hasCurrent_) return;
      const Pt p = Apply(ctm, at(0), at(1));
      Add(current_, p, line);
      current_ = p;
    } else if (op == "c" || op == "v" || op == "y") {
      const size_t need = op == "c" ? 6 : 4;
      if (!o.Take(need) || !hasCurrent_) return;
      Pt p1, p2, p3;
      if (op == "c") {
        p1 = Apply(ctm, at(0), at(1)), p2 = Apply(ctm, at(2), at(3)), p3 = Apply(ctm, at(4), at(5));
      } else if (op == "v") {
        p1 = current_, p2 = Apply(ctm, at(0), at(1)), p3 = Apply(ctm, at(2), at(3));
      } else {
        p1 = Apply(ctm, at(0), at(1)), p2 = p3 = Apply(ctm, at(2), at(3));
      }
      Curve(current_, p1, p2, p3);
      current_ = p3;
    } else if (op == "re") {
      if (!o.Take(4)) return;
      const double x = at(0), y = at(1), w = at(2), h = at(3);
      const Pt c0 = Apply(ctm, x, y), c1 = Apply(ctm, x + w, y), c2 = Apply(ctm, x + w, y + h),
               c3 = Apply(ctm, x, y + h);
      Add(c0, c1, line), Add(c1, c2, line), Add(c2, c3, line), Add(c3, c0, line);
      current_ = start_ = c0;
      hasCurrent_ = true;
    } else if (op == "h") {
      ClosePath();
    } else if (op == "S" || op == "f" || op == "F" || op == "f*" || op == "B" || op == "B*") {
      Paint(false, true);
    } else if (op == "s" || op == "b" || op == "b*") {
      Paint(true, true);
    } else if (op == "n") {
      Paint(false, false);  // a clipping path only
    }
  }

  Geometry& out_;
  std::vector<QPDFObjGen> chain_;
  std::vector<Segment> path_;
  Pt start_{0, 0}, current_{0, 0};
  bool hasCurrent_ = false;
};

}  // namespace

Geometry ExtractContent(std::string const& content, QPDFObjectHandle resources, const double ctm[6]) {
  Geometry out;
  Extractor extractor(out);
  extractor.Run(content, resources, Matrix{ctm[0], ctm[1], ctm[2], ctm[3], ctm[4], ctm[5]}, 0);
  return out;
}

Geometry ExtractPage(QPDFObjectHandle page) {
  Geometry out;
  try {
    if (!page.isDictionary()) return out;
    Extractor extractor(out);
    std::vector<QPDFObjGen> streams;
    const std::string data = content::PageContent(page.getKey("/Contents"), &streams);
    for (QPDFObjGen og : streams) extractor.NoteStream(og);
    extractor.Run(data, pdf::Inherited(page, "/Resources"), Matrix{}, 0);
  } catch (...) {
  }
  return out;
}

// ---- the index ------------------------------------------------------------------

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBox = bg::model::box<BPoint>;
using Entry = std::pair<BBox, uint32_t>;

struct Index::Impl {
  Geometry geometry;
  bgi::rtree<Entry, bgi::rstar<16>> tree;
};

Index::Index(Geometry geometry) : impl_(std::make_unique<Impl>()) {
  impl_->geometry = std::move(geometry);
  std::vector<Entry> entries;
  const auto& segs = impl_->geometry.segments;
  entries.reserve(segs.size());
  for (size_t i = 0; i < segs.size(); ++i) {
    const Segment& s = segs[i];
    entries.emplace_back(BBox(BPoint(std::min(s.x1, s.x2), std::min(s.y1, s.y2)),
                              BPoint(std::max(s.x1, s.x2), std::max(s.y1, s.y2))),
                         static_cast<uint32_t>(i));
  }
  // Built from the whole range at once, the tree is bulk loaded (packed).
  impl_->tree = bgi::rtree<Entry, bgi::rstar<16>>(entries.begin(), entries.end());
}

Index::~Index() = default;

const Geometry& Index::geometry() const { return impl_->geometry; }

namespace {

struct Dev {
  double x, y;
};

Dev ToDevice(const KS_Matrix& m, double x, double y) {
  return {double(m.a) * x + double(m.c) * y + m.e, double(m.b) * x + double(m.d) * y + m.f};
}

KS_FloatPoint PagePoint(double x, double y) { return {static_cast<float>(x), static_cast<float>(y)}; }

struct Near {
  uint32_t id;
  double distance;  // squared, in device pixels
  double t;         // along the segment
};

// Where two segments cross, in page space; false for parallel ones and
// when the crossing lies outside either. A crossing at a segment's end is
// that end exactly.
bool Crossing(const Segment& s, const Segment& o, double* x, double* y) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1, ex = o.x2 - o.x1, ey = o.y2 - o.y1;
  const double den = dx * ey - dy * ex;
  // Parallel when the sine of the angle between them is below 1e-12.
  const double scale2 = (dx * dx + dy * dy) * (ex * ex + ey * ey);
  if (!(scale2 > 0) || den * den <= 1e-24 * scale2) return false;
  const double fx = o.x1 - s.x1, fy = o.y1 - s.y1;
  const double t = (fx * ey - fy * ex) / den, u = (fx * dy - fy * dx) / den;
  constexpr double eps = 1e-9;
  if (t < -eps || t > 1 + eps || u < -eps || u > 1 + eps) return false;
  const bool sEnd = t <= eps || t >= 1 - eps, oEnd = u <= eps || u >= 1 - eps;
  // Two pieces of one flattened curve meet at a joint that is no feature.
  if (sEnd && oEnd) {
    const bool sVertex = (t <= eps) ? (s.flags & Segment::kStartVertex) : (s.flags & Segment::kEndVertex);
    const bool oVertex = (u <= eps) ? (o.flags & Segment::kStartVertex) : (o.flags & Segment::kEndVertex);
    if (!sVertex && !oVertex) return false;
  }
  if (t <= eps) {
    *x = s.x1, *y = s.y1;
  } else if (t >= 1 - eps) {
    *x = s.x2, *y = s.y2;
  } else if (u <= eps) {
    *x = o.x1, *y = o.y1;
  } else if (u >= 1 - eps) {
    *x = o.x2, *y = o.y2;
  } else {
    *x = s.x1 + t * dx, *y = s.y1 + t * dy;
  }
  return true;
}

// Of the best candidate of each kind, the one the user points at. The
// feature points (end, crossing, middle) compete by distance: a tick's end a
// pixel and a half away must not beat a wall's corner under the pointer.
// Within kTieReach of the nearest, the kind's rank decides (end, crossing,
// middle), so that a corner drawn as both an end and a crossing reads as an
// end. A point on a line is at least as near as any feature of that line,
// so it is taken only when no feature point is in reach.
Hit Choose(const Hit (&best)[5]) {
  double nearest = INFINITY;
  for (int kind : {KS_SNAP_END, KS_SNAP_INTER, KS_SNAP_MID})
    if (best[kind].kind != 0) nearest = std::min(nearest, best[kind].distance);
  for (int kind : {KS_SNAP_END, KS_SNAP_INTER, KS_SNAP_MID})
    if (best[kind].kind != 0 && best[kind].distance <= nearest + kTieReach) return best[kind];
  return best[KS_SNAP_NEAR];
}

}  // namespace

Hit Index::Query(const KS_Matrix& toDevice, double px, double py, double radius, const Modes& modes) const {
  Hit none;
  if (!modes.Any() || !(radius > 0) || !Finite(px) || !Finite(py)) return none;
  // The device square around the pointer, as a page box.
  const double det = double(toDevice.a) * toDevice.d - double(toDevice.b) * toDevice.c;
  if (!Finite(det) || std::abs(det) < 1e-12) return none;
  const double ia = toDevice.d / det, ib = -toDevice.b / det, ic = -toDevice.c / det, id = toDevice.a / det;
  const double ie = -(ia * toDevice.e + ic * toDevice.f), iff = -(ib * toDevice.e + id * toDevice.f);
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (int corner = 0; corner < 4; ++corner) {
    const double dx = px + (corner & 1 ? radius : -radius), dy = py + (corner & 2 ? radius : -radius);
    const double x = ia * dx + ic * dy + ie, y = ib * dx + id * dy + iff;
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  std::vector<Entry> found;
  impl_->tree.query(bgi::intersects(BBox(BPoint(minX, minY), BPoint(maxX, maxY))), std::back_inserter(found));
  if (found.empty()) return none;

  const auto& segs = impl_->geometry.segments;
  const double reach = radius * radius;  // distances are compared squared
  Hit best[5];                            // by kind
  double bestSquared[5] = {INFINITY, INFINITY, INFINITY, INFINITY, INFINITY};
  const auto offer = [&](int kind, double x, double y, double squared) {
    // A point the page's single-precision coordinates cannot hold (the
    // middle or crossing of segments near the largest numbers) is no point.
    if (!(std::abs(x) <= FLT_MAX) || !(std::abs(y) <= FLT_MAX)) return;
    if (squared > reach || squared >= bestSquared[kind]) return;
    bestSquared[kind] = squared;
    best[kind] = Hit{kind, PagePoint(x, y), std::sqrt(squared)};
  };
  const auto squaredTo = [&](double x, double y) { return (x - px) * (x - px) + (y - py) * (y - py); };
  std::vector<Near> inReach;
  for (const Entry& e : found) {
    const Segment& s = segs[e.second];
    const Dev a = ToDevice(toDevice, s.x1, s.y1), b = ToDevice(toDevice, s.x2, s.y2);
    if (modes.end) {
      if (s.flags & Segment::kStartVertex) offer(KS_SNAP_END, s.x1, s.y1, squaredTo(a.x, a.y));
      if (s.flags & Segment::kEndVertex) offer(KS_SNAP_END, s.x2, s.y2, squaredTo(b.x, b.y));
    }
    if (modes.mid && (s.flags & Segment::kHasMidpoint))
      offer(KS_SNAP_MID, (s.x1 + s.x2) / 2, (s.y1 + s.y2) / 2, squaredTo((a.x + b.x) / 2, (a.y + b.y) / 2));
    if (modes.nearest || modes.inter) {
      const double vx = b.x - a.x, vy = b.y - a.y, len2 = vx * vx + vy * vy;
      const double t = len2 > 0 ? std::clamp(((px - a.x) * vx + (py - a.y) * vy) / len2, 0.0, 1.0) : 0.0;
      const double squared = squaredTo(a.x + t * vx, a.y + t * vy);
      if (squared > reach) continue;
      inReach.push_back({e.second, squared, t});
      if (modes.nearest) {
        // The ends exactly, so that a point on a corner reads as the corner.
        const double x = t <= 0 ? s.x1 : t >= 1 ? s.x2 : s.x1 + t * (s.x2 - s.x1);
        const double y = t <= 0 ? s.y1 : t >= 1 ? s.y2 : s.y1 + t * (s.y2 - s.y1);
        offer(KS_SNAP_NEAR, x, y, squared);
      }
    }
  }
  if (modes.inter && inReach.size() > 1) {
    if (inReach.size() > kMaxIntersectionCandidates) {
      std::nth_element(inReach.begin(), inReach.begin() + kMaxIntersectionCandidates, inReach.end(),
                       [](const Near& l, const Near& r) { return l.distance < r.distance; });
      inReach.resize(kMaxIntersectionCandidates);
    }
    for (size_t i = 0; i < inReach.size(); ++i) {
      for (size_t j = i + 1; j < inReach.size(); ++j) {
        double x, y;
        if (!Crossing(segs[inReach[i].id], segs[inReach[j].id], &x, &y)) continue;
        const Dev d = ToDevice(toDevice, x, y);
        offer(KS_SNAP_INTER, x, y, squaredTo(d.x, d.y));
      }
    }
  }
  return Choose(best);
}

}  // namespace kshost::snap
