// The strokes of an ink annotation as the eraser reads and writes them:
// /InkList, and for inks that carry pressure ("PSI") the pressure of every
// point, kept stroke by stroke beside the points.
//
// An ink the eraser cannot read whole is left alone: reading says why, and
// nothing of it is ever rewritten.
#pragma once

#include <string>

#include "drawing/cda_rubber_geometry.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

struct DA_InkData {
  DA_InkStrokes strokes;
  // The ink carries "PSI"; `perPoint` when "PSI" is an array holding the
  // pressure of every point (one number array per stroke).
  bool pressure = false;
  bool perPoint = false;
  // Non-empty: why the ink cannot be erased (and is left as it is).
  std::string problem;
};

// Reads the strokes. Malformed strokes (not arrays, not numbers, an odd
// number of coordinates, a coordinate that is not finite) and pressure data
// that does not match the points make `problem`.
DA_InkData DA_ReadInk(KPD_Dictionary ink);

// Writes the strokes back (and the pressure arrays when `data.perPoint`).
// False when the document refuses the write.
bool DA_WriteInk(KPD_Dictionary ink, const DA_InkData& data);

// Leaves the ink with the given pieces of its present strokes (and of their
// pressure), in order. The numbers kept are the ink's own: nothing is
// written anew. False, changing nothing, when a piece does not fit.
bool DA_KeepRuns(KPD_Dictionary ink, const std::vector<DA_InkRun>& runs);

}  // namespace AnnotationPlugin
