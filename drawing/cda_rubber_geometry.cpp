#include "drawing/cda_rubber_geometry.h"

#include <algorithm>
#include <cmath>

namespace AnnotationPlugin {

namespace {

bool Finite(KS_FloatPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool FiniteStroke(const DA_InkStroke& s) {
  return std::all_of(s.points.begin(), s.points.end(), Finite);
}

// Cross product of (b - a) and (c - a).
double Cross(KS_FloatPoint a, KS_FloatPoint b, KS_FloatPoint c) {
  return (double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x);
}

// Appends the runs of a stroke between erased points; runs of one point are
// counted and dropped.
void KeepRuns(int32_t si, const DA_InkStroke& s, const std::vector<uint8_t>& erased, DA_EraseResult* out) {
  const bool pressure = s.pressure.size() == s.points.size();
  DA_InkStroke run;
  size_t first = 0;
  auto flush = [&] {
    if (run.points.size() >= 2) {
      out->runs.push_back({si, int32_t(first), int32_t(run.points.size())});
      out->strokes.push_back(std::move(run));
    } else if (run.points.size() == 1) {
      ++out->droppedSinglePoints;
    }
    run = DA_InkStroke();
  };
  for (size_t i = 0; i < s.points.size(); ++i) {
    if (erased[i]) {
      flush();
      continue;
    }
    if (run.points.empty()) first = i;
    run.points.push_back(s.points[i]);
    if (pressure) run.pressure.push_back(s.pressure[i]);
  }
  flush();
}

void KeepWhole(int32_t si, const DA_InkStroke& s, DA_EraseResult* out) {
  out->runs.push_back({si, 0, int32_t(s.points.size())});
  out->strokes.push_back(s);
}

// The partial erase of one stroke from per-point reach and per-segment touch
// marks (segment i joins points i and i + 1).
void ErasePartOfStroke(int32_t si, const DA_InkStroke& s, const uint8_t* reached, const uint8_t* touched,
                       DA_EraseResult* out) {
  const size_t n = s.points.size();
  std::vector<uint8_t> erased(n, 0);
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    erased[i] = reached[i] || (i > 0 && touched[i - 1]) || (i + 1 < n && touched[i]);
    any = any || erased[i];
  }
  if (!any) {
    KeepWhole(si, s, out);
    return;
  }
  out->changed = true;
  KeepRuns(si, s, erased, out);
}

// Strokes that are kept as they are, whatever the trail: not finite, or
// too short to have a segment.
bool SetAside(int32_t si, const DA_InkStroke& s, bool finite, DA_EraseResult* out) {
  if (!finite) {
    KeepWhole(si, s, out);
    ++out->skippedStrokes;
    return true;
  }
  if (s.points.size() < 2) {
    if (s.points.size() == 1) ++out->droppedSinglePoints;
    return true;
  }
  return false;
}

}  // namespace

float RubberRadius(int32_t size) { return float(std::clamp(size, 1, 30)) * 0.5f + 0.1f; }

bool RubberWithin(KS_FloatPoint p, KS_FloatPoint a, KS_FloatPoint b, float r) {
  const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0.0 : ((double(p.x) - a.x) * dx + (double(p.y) - a.y) * dy) / len2;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
  return ex * ex + ey * ey <= double(r) * r;
}

bool RubberSegmentsCross(KS_FloatPoint a, KS_FloatPoint b, KS_FloatPoint c, KS_FloatPoint d) {
  if (std::max(a.x, b.x) < std::min(c.x, d.x) || std::max(c.x, d.x) < std::min(a.x, b.x) ||
      std::max(a.y, b.y) < std::min(c.y, d.y) || std::max(c.y, d.y) < std::min(a.y, b.y))
    return false;
  return Cross(a, b, c) * Cross(a, b, d) <= 0 && Cross(c, d, a) * Cross(c, d, b) <= 0;
}

bool CDA_RubberTrail::ReachesAt(size_t k, KS_FloatPoint p) const {
  if (points_.size() == 1) return RubberWithin(p, points_[0], points_[0], r_);
  return RubberWithin(p, points_[k], points_[k + 1], r_);
}

bool CDA_RubberTrail::TouchesAt(size_t k, KS_FloatPoint c, KS_FloatPoint d) const {
  if (points_.size() == 1) return RubberWithin(points_[0], c, d, r_);
  return RubberSegmentsCross(points_[k], points_[k + 1], c, d) || RubberWithin(points_[k], c, d, r_);
}

bool CDA_RubberTrail::Reaches(KS_FloatPoint p) const {
  for (size_t k = 0; k < Pieces(); ++k)
    if (ReachesAt(k, p)) return true;
  return false;
}

bool CDA_RubberTrail::Touches(KS_FloatPoint c, KS_FloatPoint d) const {
  for (size_t k = 0; k < Pieces(); ++k)
    if (TouchesAt(k, c, d)) return true;
  return false;
}

KS_FloatRect CDA_RubberTrail::PieceBox(size_t k) const {
  KS_FloatPoint a = points_[k], b = points_.size() == 1 ? a : points_[k + 1];
  // A little more than the radius, so that rounding in the distance test
  // never reaches past the box.
  const float grow = r_ * 1.01f + 1e-3f;
  return {std::min(a.x, b.x) - grow, std::min(a.y, b.y) - grow, std::max(a.x, b.x) + grow,
          std::max(a.y, b.y) + grow};
}

// ---- plain rule -----------------------------------------------------------------

DA_EraseResult RubberReferencePart(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail) {
  DA_EraseResult out;
  for (size_t si = 0; si < strokes.size(); ++si) {
    const DA_InkStroke& s = strokes[si];
    if (SetAside(int32_t(si), s, FiniteStroke(s), &out)) continue;
    const size_t n = s.points.size();
    std::vector<uint8_t> reached(n), touched(n);
    for (size_t i = 0; i < n; ++i) {
      reached[i] = trail.Reaches(s.points[i]);
      if (i + 1 < n) touched[i] = trail.Touches(s.points[i], s.points[i + 1]);
    }
    ErasePartOfStroke(int32_t(si), s, reached.data(), touched.data(), &out);
  }
  return out;
}

DA_EraseResult RubberReferenceWhole(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail) {
  DA_EraseResult out;
  for (size_t si = 0; si < strokes.size(); ++si) {
    const DA_InkStroke& s = strokes[si];
    if (SetAside(int32_t(si), s, FiniteStroke(s), &out)) continue;
    bool hit = false;
    for (size_t i = 0; i + 1 < s.points.size() && !hit; ++i) hit = trail.Touches(s.points[i], s.points[i + 1]);
    if (hit) out.changed = true;
    else KeepWhole(int32_t(si), s, &out);
  }
  return out;
}

std::vector<DA_SegmentRef> RubberReferencePreview(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail,
                                                  bool whole) {
  std::vector<DA_SegmentRef> out;
  for (size_t si = 0; si < strokes.size(); ++si) {
    const DA_InkStroke& s = strokes[si];
    const int32_t n = int32_t(s.points.size());
    if (n < 2 || !FiniteStroke(s)) continue;
    if (whole) {
      bool hit = false;
      for (int32_t i = 0; i + 1 < n && !hit; ++i) hit = trail.Touches(s.points[i], s.points[i + 1]);
      if (hit)
        for (int32_t i = 0; i + 1 < n; ++i) out.push_back({int32_t(si), i});
      continue;
    }
    for (int32_t i = 0; i < n; ++i) {
      if (!trail.Reaches(s.points[i])) continue;
      if (i > 0) out.push_back({int32_t(si), i - 1});
      if (i + 1 < n) out.push_back({int32_t(si), i});
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

// ---- the grid -------------------------------------------------------------------

CDA_StrokeIndex::CDA_StrokeIndex(const DA_InkStrokes& strokes) : strokes_(strokes) {
  float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  finite_.resize(strokes_.size());
  strokeFirstSeg_.resize(strokes_.size());
  strokeFirstPt_.resize(strokes_.size());
  for (size_t si = 0; si < strokes_.size(); ++si) {
    const DA_InkStroke& s = strokes_[si];
    finite_[si] = FiniteStroke(s);
    strokeFirstSeg_[si] = uint32_t(segs_.size());
    strokeFirstPt_[si] = pointCount_;
    pointCount_ += uint32_t(s.points.size());
    if (!finite_[si] || s.points.size() < 2) continue;
    for (size_t i = 0; i + 1 < s.points.size(); ++i) segs_.push_back({int32_t(si), int32_t(i)});
    for (KS_FloatPoint p : s.points) {
      minX = std::min(minX, p.x);
      minY = std::min(minY, p.y);
      maxX = std::max(maxX, p.x);
      maxY = std::max(maxY, p.y);
    }
  }
  if (segs_.empty()) return;
  x0_ = minX;
  y0_ = minY;
  const double w = std::max(double(maxX) - minX, 1e-3), h = std::max(double(maxY) - minY, 1e-3);
  // About two segments a cell; a cell is never so small that the grid
  // passes 1024 cells a side.
  double cell = std::sqrt(w * h / double(segs_.size())) * 1.5;
  cell = std::max({cell, w / 1024, h / 1024});
  auto cellOf = [&](double v, double origin, int32_t n) {
    double c = std::floor((v - origin) / cell);
    return int32_t(std::clamp(c, 0.0, double(n - 1)));
  };
  // Long segments cover many cells; grow the cells until the grid holds a
  // bounded number of entries.
  for (;;) {
    nx_ = int32_t(std::min(1024.0, std::floor(w / cell) + 1));
    ny_ = int32_t(std::min(1024.0, std::floor(h / cell) + 1));
    cell_ = float(cell);
    uint64_t entries = 0;
    for (const DA_SegmentRef& s : segs_) {
      KS_FloatPoint a = strokes_[s.stroke].points[s.index], b = strokes_[s.stroke].points[s.index + 1];
      entries += uint64_t(cellOf(std::max(a.x, b.x), x0_, nx_) - cellOf(std::min(a.x, b.x), x0_, nx_) + 1) *
                 uint64_t(cellOf(std::max(a.y, b.y), y0_, ny_) - cellOf(std::min(a.y, b.y), y0_, ny_) + 1);
    }
    if (entries <= 8 * segs_.size() + 65536 || (nx_ == 1 && ny_ == 1)) break;
    cell *= 2;
  }
  cell = cell_;
  std::vector<uint32_t> counts(size_t(nx_) * ny_ + 1, 0);
  auto forCells = [&](const DA_SegmentRef& s, auto&& fn) {
    KS_FloatPoint a = strokes_[s.stroke].points[s.index], b = strokes_[s.stroke].points[s.index + 1];
    int32_t cx0 = cellOf(std::min(a.x, b.x), x0_, nx_), cx1 = cellOf(std::max(a.x, b.x), x0_, nx_);
    int32_t cy0 = cellOf(std::min(a.y, b.y), y0_, ny_), cy1 = cellOf(std::max(a.y, b.y), y0_, ny_);
    for (int32_t cy = cy0; cy <= cy1; ++cy)
      for (int32_t cx = cx0; cx <= cx1; ++cx) fn(size_t(cy) * nx_ + cx);
  };
  for (const DA_SegmentRef& s : segs_) forCells(s, [&](size_t c) { ++counts[c + 1]; });
  for (size_t c = 1; c < counts.size(); ++c) counts[c] += counts[c - 1];
  cellStart_ = counts;
  cellSegs_.resize(counts.back());
  for (uint32_t id = 0; id < segs_.size(); ++id) forCells(segs_[id], [&](size_t c) { cellSegs_[counts[c]++] = id; });
}

template <typename Fn>
void CDA_StrokeIndex::ForEachNear(const KS_FloatRect& box, std::vector<uint32_t>& stamp, uint32_t mark,
                                  Fn&& fn) const {
  if (segs_.empty() || !std::isfinite(box.left) || !std::isfinite(box.right) || !std::isfinite(box.bottom) ||
      !std::isfinite(box.top))
    return;
  auto cellOf = [&](double v, double origin, int32_t n) {
    double c = std::floor((v - origin) / double(cell_));
    return int32_t(std::clamp(c, 0.0, double(n - 1)));
  };
  int32_t cx0 = cellOf(box.left, x0_, nx_), cx1 = cellOf(box.right, x0_, nx_);
  int32_t cy0 = cellOf(box.bottom, y0_, ny_), cy1 = cellOf(box.top, y0_, ny_);
  for (int32_t cy = cy0; cy <= cy1; ++cy)
    for (int32_t cx = cx0; cx <= cx1; ++cx) {
      size_t c = size_t(cy) * nx_ + cx;
      for (uint32_t e = cellStart_[c]; e < cellStart_[c + 1]; ++e) {
        uint32_t id = cellSegs_[e];
        if (stamp[id] == mark) continue;
        stamp[id] = mark;
        fn(id);
      }
    }
}

void CDA_StrokeIndex::Marks(const CDA_RubberTrail& trail, std::vector<uint8_t>* reached,
                            std::vector<uint8_t>* touched) const {
  reached->assign(pointCount_, 0);
  touched->assign(segs_.size(), 0);
  std::vector<uint32_t> stamp(segs_.size(), 0);
  for (size_t k = 0; k < trail.Pieces(); ++k) {
    ForEachNear(trail.PieceBox(k), stamp, uint32_t(k + 1), [&](uint32_t id) {
      const DA_SegmentRef& s = segs_[id];
      const auto& pts = strokes_[s.stroke].points;
      KS_FloatPoint c = pts[s.index], d = pts[s.index + 1];
      if (!(*touched)[id] && trail.TouchesAt(k, c, d)) (*touched)[id] = 1;
      uint32_t pc = strokeFirstPt_[s.stroke] + uint32_t(s.index);
      if (!(*reached)[pc] && trail.ReachesAt(k, c)) (*reached)[pc] = 1;
      if (!(*reached)[pc + 1] && trail.ReachesAt(k, d)) (*reached)[pc + 1] = 1;
    });
  }
}

DA_EraseResult CDA_StrokeIndex::ErasePart(const CDA_RubberTrail& trail) const {
  DA_EraseResult out;
  std::vector<uint8_t> reached, touched;
  Marks(trail, &reached, &touched);
  for (size_t si = 0; si < strokes_.size(); ++si) {
    const DA_InkStroke& s = strokes_[si];
    if (SetAside(int32_t(si), s, finite_[si], &out)) continue;
    ErasePartOfStroke(int32_t(si), s, reached.data() + strokeFirstPt_[si], touched.data() + strokeFirstSeg_[si], &out);
  }
  return out;
}

DA_EraseResult CDA_StrokeIndex::EraseWhole(const CDA_RubberTrail& trail) const {
  DA_EraseResult out;
  std::vector<uint8_t> hit(strokes_.size(), 0);
  std::vector<uint32_t> stamp(segs_.size(), 0);
  for (size_t k = 0; k < trail.Pieces(); ++k) {
    ForEachNear(trail.PieceBox(k), stamp, uint32_t(k + 1), [&](uint32_t id) {
      const DA_SegmentRef& s = segs_[id];
      if (hit[s.stroke]) return;
      const auto& pts = strokes_[s.stroke].points;
      if (trail.TouchesAt(k, pts[s.index], pts[s.index + 1])) hit[s.stroke] = 1;
    });
  }
  for (size_t si = 0; si < strokes_.size(); ++si) {
    const DA_InkStroke& s = strokes_[si];
    if (SetAside(int32_t(si), s, finite_[si], &out)) continue;
    if (hit[si]) out.changed = true;
    else KeepWhole(int32_t(si), s, &out);
  }
  return out;
}

CDA_StrokeIndex::Preview::Preview(const CDA_StrokeIndex& index, bool whole)
    : index_(index), whole_(whole), collected_(index.segs_.size(), 0), strokeTaken_(index.strokes_.size(), 0),
      pointReached_(index.pointCount_, 0), stamp_(index.segs_.size(), 0) {}

void CDA_StrokeIndex::Preview::Collect(const DA_SegmentRef& s, std::vector<DA_SegmentRef>* out) {
  uint32_t id = index_.strokeFirstSeg_[s.stroke] + uint32_t(s.index);
  if (collected_[id]) return;
  collected_[id] = 1;
  out->push_back(s);
}

std::vector<DA_SegmentRef> CDA_StrokeIndex::Preview::Extend(const CDA_RubberTrail& trail) {
  std::vector<DA_SegmentRef> added;
  // A trail of one point becomes a segment with its second point: the
  // segment reaches at least what the point did, so it is looked at again.
  const size_t points = trail.Points().size();
  size_t first = piecesDone_ <= 1 ? 0 : piecesDone_ - 1;
  for (size_t k = first; k < trail.Pieces(); ++k) {
    index_.ForEachNear(trail.PieceBox(k), stamp_, ++mark_, [&](uint32_t id) {
      const DA_SegmentRef& s = index_.segs_[id];
      const auto& pts = index_.strokes_[s.stroke].points;
      if (whole_) {
        if (strokeTaken_[s.stroke] || !trail.TouchesAt(k, pts[s.index], pts[s.index + 1])) return;
        strokeTaken_[s.stroke] = 1;
        for (int32_t i = 0; i + 1 < int32_t(pts.size()); ++i) Collect({s.stroke, i}, &added);
        return;
      }
      const int32_t n = int32_t(pts.size());
      for (int32_t i : {s.index, s.index + 1}) {
        uint32_t pc = index_.strokeFirstPt_[s.stroke] + uint32_t(i);
        if (pointReached_[pc] || !trail.ReachesAt(k, pts[i])) continue;
        pointReached_[pc] = 1;
        if (i > 0) Collect({s.stroke, i - 1}, &added);
        if (i + 1 < n) Collect({s.stroke, i}, &added);
      }
    });
  }
  piecesDone_ = points;
  return added;
}

}  // namespace AnnotationPlugin
