// Operator text of appearance content streams. Every number goes through
// ks::AppendFixed, so the text is what printf gives in the C locale whatever
// locale the process runs in.
#pragma once

#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// "%.3f %.3f m\n", "%.3f %.3f l\n", "%.3f %.3f %.3f %.3f %.3f %.3f c\n".
void AppendMoveTo(std::string& out, double x, double y);
void AppendLineTo(std::string& out, double x, double y);
void AppendCurveTo(std::string& out, double x1, double y1, double x2, double y2, double x3, double y3);
// "%.3f %.3f %.3f %.3f re\n" from the lower-left corner, width and height.
void AppendRectangle(std::string& out, double x, double y, double width, double height);
// "%.3f %.3f %.3f %.3f %.3f %.3f cm\n".
void AppendTransform(std::string& out, const KS_Matrix& m);
// "%.3f %.3f %.3f %.3f %.3f %.3f Tm\n".
void AppendTextMatrix(std::string& out, const KS_Matrix& m);

// Colours are turned into RGB first; "%.3f %.3f %.3f RG\n" / "... rg\n".
void AppendStrokeColor(std::string& out, const KPD_ColorF& color);
void AppendFillColor(std::string& out, const KPD_ColorF& color);

// Line width with butt cap and miter (round: round join) join, in the
// given precision: "%.3f w\n0 J\n0 j\n" or "%.2f w\n0 J\n2 j\n" and so on.
void AppendLineState(std::string& out, double width, int precision, bool roundJoin);

// "[2 1]0 d\n": values and phase truncated to integers; an empty array is
// written as the single value 3. Values that all truncate to 0 write
// nothing: the line stays solid.
void AppendDash(std::string& out, const std::vector<float>& dashes, float phase);

// The painting operator of a figure. A closed figure with both colours is
// "h\nB\n", fill only "f\n", stroke only "h\nS\n", neither "n\n"; an open
// figure is "S\n" with a stroke colour, else "n\n".
const char* PaintOperator(bool closed, bool fill, bool stroke);

// kind 2 unchanged, gray copied into all three, CMYK converted, none left
// as it is (components stay as they were).
KPD_ColorF ToRGB(const KPD_ColorF& color);

}  // namespace kwannotation
