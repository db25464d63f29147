// The vector geometry of a page for object snapping: every stroked or filled
// path of the page's content (and of the form XObjects it draws), as straight
// segments in page space, held in an R-tree, and the query that finds the
// end point, midpoint, intersection or nearest point under the pointer.
// Internal to host/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/pdf_handles.h"
#include "sdk/ks_types.h"

namespace kshost::snap {

// A straight piece of a path in page space. A curve is flattened into
// several pieces; only its own ends are vertices, and its pieces have no
// midpoints worth snapping to.
struct Segment {
  enum : uint8_t { kStartVertex = 1, kEndVertex = 2, kHasMidpoint = 4 };
  double x1, y1, x2, y2;
  uint8_t flags;
};

// What extraction keeps of a page: its segments and the streams they came
// from (so that a change to one of them drops the cached index).
struct Geometry {
  std::vector<Segment> segments;
  std::vector<QPDFObjGen> streams;
  // Set when a limit cut the extraction short (too many segments, forms
  // nested too deep); what was found before stays.
  bool truncated = false;
};

// Limits that keep a hostile page from taking the host down.
inline constexpr size_t kMaxSegments = 4'000'000;
inline constexpr int kMaxFormDepth = 12;
inline constexpr int kMaxStateDepth = 256;

// The geometry of a page dictionary: its /Contents (a stream or an array of
// streams) with its /Resources, form XObjects followed through `Do` with
// their /Matrix. A form that draws itself, directly or through others, is
// drawn once per chain. Never throws; damaged content gives what was read
// before the damage.
Geometry ExtractPage(QPDFObjectHandle page);

// The geometry of content bytes drawn with `resources` (may be null) under
// the matrix `ctm` (a b c d e f).
Geometry ExtractContent(std::string const& content, QPDFObjectHandle resources, const double ctm[6]);

// The four kinds a query may look for, by mode index.
struct Modes {
  bool end = false, mid = false, inter = false, nearest = false;
  bool Any() const { return end || mid || inter || nearest; }
};

struct Hit {
  int kind = 0;  // KS_SNAP_*
  KS_FloatPoint point{};
  double distance = 0;  // device pixels from the pointer
};

// The segments of a page in an R-tree over their bounding boxes.
class Index {
 public:
  explicit Index(Geometry geometry);
  ~Index();
  Index(Index const&) = delete;
  Index& operator=(Index const&) = delete;

  // The snap point for the device point `pointer` of a view whose page to
  // device matrix is `toDevice`, within `radius` device pixels: of the end
  // points, intersections and midpoints in reach (the kinds switched on),
  // the one nearest the pointer; candidates within kTieReach of the
  // nearest go by kind, end point first, then intersection, then midpoint.
  // The nearest point on a line only when none of those is in reach.
  // Distances are measured in device pixels, so the reach is the same at
  // every zoom and rotation. Kind 0 when nothing is in reach.
  Hit Query(const KS_Matrix& toDevice, double px, double py, double radius, const Modes& modes) const;

  const Geometry& geometry() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Candidates this many device pixels farther from the pointer than the
// nearest one still count as equally near; their kind decides.
inline constexpr double kTieReach = 1.0;

// Of more segments than this in one query's reach, only the nearest ones are
// tested against each other for intersections (each pair is a test).
inline constexpr size_t kMaxIntersectionCandidates = 64;

}  // namespace kshost::snap
