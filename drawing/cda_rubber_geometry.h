// What the ink eraser takes away: the reach of the eraser's trail, which
// points and segments of a stroke it touches, and the strokes left after a
// partial or whole-stroke erase.
//
// A point is within reach of the trail when it lies within the eraser's
// radius of some trail segment (of the only point, for a one-point trail).
// A stroke segment is touched when, for a one-point trail, that point lies
// within reach of the segment, and for a longer trail some trail segment
// crosses it (touching counts) or has its first point within reach of it.
// A partial erase drops every point within reach or at the end of a touched
// segment and keeps the runs of two or more points in between; a
// whole-stroke erase drops every stroke with a touched segment.
//
// CDA_StrokeIndex answers the same as the plain rule (RubberReference*) but
// only looks at the stroke segments in grid cells near the trail, so a move
// or an erase costs what it touches rather than the whole ink.
#pragma once

#include <cstdint>
#include <vector>

#include "sdk/ks_types.h"

namespace AnnotationPlugin {

struct DA_InkStroke {
  std::vector<KS_FloatPoint> points;
  // Pressure of each point for inks that carry it; empty otherwise.
  std::vector<float> pressure;
};
using DA_InkStrokes = std::vector<DA_InkStroke>;

// The eraser's radius in page units for a size of 1 to 30.
float RubberRadius(int32_t size);

// The squared distance test: p within r of the segment [a, b].
bool RubberWithin(KS_FloatPoint p, KS_FloatPoint a, KS_FloatPoint b, float r);
// Whether segments [a, b] and [c, d] cross; touching and collinear overlap
// count.
bool RubberSegmentsCross(KS_FloatPoint a, KS_FloatPoint b, KS_FloatPoint c, KS_FloatPoint d);

class CDA_RubberTrail {
 public:
  explicit CDA_RubberTrail(float radius) : r_(radius) {}
  void Add(KS_FloatPoint p) { points_.push_back(p); }
  void Clear() { points_.clear(); }
  const std::vector<KS_FloatPoint>& Points() const { return points_; }
  float Radius() const { return r_; }
  bool Empty() const { return points_.empty(); }

  // p within reach of the whole trail.
  bool Reaches(KS_FloatPoint p) const;
  // The segment [c, d] touched by the whole trail.
  bool Touches(KS_FloatPoint c, KS_FloatPoint d) const;
  // The same two tests against the trail segment that starts at point k
  // (the only point when the trail has one).
  bool ReachesAt(size_t k, KS_FloatPoint p) const;
  bool TouchesAt(size_t k, KS_FloatPoint c, KS_FloatPoint d) const;
  // Number of trail pieces: segments, or 1 for a one-point trail.
  size_t Pieces() const { return points_.size() < 2 ? points_.size() : points_.size() - 1; }
  // The box of piece k grown by the radius.
  KS_FloatRect PieceBox(size_t k) const;

 private:
  float r_;
  std::vector<KS_FloatPoint> points_;
};

// A segment of a stroke: the stroke's index and the index of its first point.
struct DA_SegmentRef {
  int32_t stroke;
  int32_t index;
  bool operator==(const DA_SegmentRef& o) const { return stroke == o.stroke && index == o.index; }
  bool operator<(const DA_SegmentRef& o) const {
    return stroke != o.stroke ? stroke < o.stroke : index < o.index;
  }
};

// A piece of a stroke: `points` points from `first` on.
struct DA_InkRun {
  int32_t stroke;
  int32_t first;
  int32_t points;
  bool operator==(const DA_InkRun& o) const { return stroke == o.stroke && first == o.first && points == o.points; }
};

// What an erase did to one ink, and what it left alone.
struct DA_EraseResult {
  bool changed = false;
  DA_InkStrokes strokes;  // the strokes left, in order
  std::vector<DA_InkRun> runs;  // where each of them comes from
  int32_t droppedSinglePoints = 0;  // one-point strokes or runs not kept
  int32_t skippedStrokes = 0;       // strokes kept as they were (coordinates not finite)
};

// The plain rule, point by point against every trail segment.
DA_EraseResult RubberReferencePart(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail);
DA_EraseResult RubberReferenceWhole(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail);
// Segments to preview: in part mode the segments at either side of each
// point within reach, in whole mode every segment of a touched stroke.
std::vector<DA_SegmentRef> RubberReferencePreview(const DA_InkStrokes& strokes, const CDA_RubberTrail& trail,
                                                  bool whole);

// A uniform grid over the segments of an ink's strokes. Strokes with a
// coordinate that is not finite are not indexed and never erased.
class CDA_StrokeIndex {
 public:
  explicit CDA_StrokeIndex(const DA_InkStrokes& strokes);

  const DA_InkStrokes& Strokes() const { return strokes_; }

  DA_EraseResult ErasePart(const CDA_RubberTrail& trail) const;
  DA_EraseResult EraseWhole(const CDA_RubberTrail& trail) const;

  // The preview of a gesture, grown one trail point at a time: Extend looks
  // only at what the trail pieces added since the last call reach, and
  // returns the segments not collected before.
  class Preview {
   public:
    Preview(const CDA_StrokeIndex& index, bool whole);
    std::vector<DA_SegmentRef> Extend(const CDA_RubberTrail& trail);

   private:
    void Collect(const DA_SegmentRef& s, std::vector<DA_SegmentRef>* out);
    const CDA_StrokeIndex& index_;
    bool whole_;
    size_t piecesDone_ = 0;
    std::vector<uint8_t> collected_;    // per segment
    std::vector<uint8_t> strokeTaken_;  // per stroke, whole mode
    std::vector<uint8_t> pointReached_; // per point, part mode
    std::vector<uint32_t> stamp_;       // per segment: the query that saw it last
    uint32_t mark_ = 0;
  };

 private:
  friend class Preview;
  // Calls fn(segment id) once for each segment in a cell under `box`.
  template <typename Fn>
  void ForEachNear(const KS_FloatRect& box, std::vector<uint32_t>& stamp, uint32_t mark, Fn&& fn) const;
  void Marks(const CDA_RubberTrail& trail, std::vector<uint8_t>* reached, std::vector<uint8_t>* touched) const;

  DA_InkStrokes strokes_;
  std::vector<uint8_t> finite_;          // per stroke
  std::vector<uint32_t> strokeFirstSeg_; // per stroke: id of its first segment
  std::vector<uint32_t> strokeFirstPt_;  // per stroke: id of its first point
  std::vector<DA_SegmentRef> segs_;
  uint32_t pointCount_ = 0;
  // The grid: cells of `cell_` page units from (x0_, y0_), nx_ by ny_;
  // cellStart_ indexes into cellSegs_ (CSR layout).
  float x0_ = 0, y0_ = 0, cell_ = 1;
  int32_t nx_ = 0, ny_ = 0;
  std::vector<uint32_t> cellStart_;
  std::vector<uint32_t> cellSegs_;
};

}  // namespace AnnotationPlugin
