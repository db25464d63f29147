// The ten line endings of lines, polylines and measurement lines.
#pragma once

#include <string>

#include "kwannotation/kw_ap_path.h"
#include "sdk/ks_types.h"

namespace kwannotation {

enum KwLineEnding {
  kEndNone = 0,
  kEndSquare = 1,
  kEndCircle = 2,
  kEndDiamond = 3,
  kEndOpenArrow = 4,
  kEndClosedArrow = 5,
  kEndButt = 6,
  kEndROpenArrow = 7,
  kEndRClosedArrow = 8,
  kEndSlash = 9
};

// "None", "Square", ... without a slash; any other name is kEndNone.
int LineEndingFromName(const std::string& name);
std::string LineEndingName(int style);

// The line endings /LE of `annot`: an array of two names (a missing or
// unknown one is kEndNone) or, with `singleName`, a free text callout's one
// name, its start. False, leaving the codes alone, when /LE is neither.
bool ReadLineEndings(KPD_Dictionary annot, int* start, int* end, bool singleName = false);

// Whether the ending encloses an area (and so takes the closed painting
// operator): Square, Circle, Diamond, ClosedArrow, RClosedArrow.
bool LineEndingIsClosed(int style);

// The size of an ending: 6 times the border width; for a measurement line
// with a /LES factor (null for none) the factor, scaled by 5/7 for Diamond,
// 9/6 for the four arrows and 2 for Slash, times 6 when that is positive.
double LineEndingSize(int style, double borderWidth, const double* lesFactor);

// Writes the path of ending `style` at `end` into `out` (cleared first).
// `direction` points from the line into the end point; a direction shorter
// than 0.0001 counts as the x axis. Returns the bounds of what was drawn
// (empty for None) and sets *closed as LineEndingIsClosed.
ApBounds DrawLineEnding(std::string& out, int style, KS_FloatPoint end, KS_FloatPoint direction, double size,
                        bool* closed);

}  // namespace kwannotation
