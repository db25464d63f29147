// The drawing state every appearance generator starts from, and the two
// writers that put a finished content string into the annotation: the
// transparency graphics state and the appearance stream itself.
#pragma once

#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

// Border styles of the border record.
enum KwBorderStyle {
  kBorderSolid = 0,
  kBorderDash = 1,
  kBorderBevelled = 2,
  kBorderInset = 3,
  kBorderUnderline = 4,
  kBorderCloudy = 5
};

// The drawing state of one annotation, read once from its dictionary.
class CAPCommon {
 public:
  CAPCommon() = default;
  virtual ~CAPCommon();

  // Reads the state of `annot`. False when the dictionary or its document
  // is missing, or when a value the generators would write is unusable
  // (not finite, out of range, a dash array too long to be real); `Problem`
  // then says why. Nothing in the dictionary changes.
  bool Init(KPD_Dictionary annot);
  const std::string& Problem() const { return problem_; }

  // Fill colour, pattern, stroke colour, line state, dash and transparency,
  // in that order.
  void WriteGraphicsState(std::string& out) const;

  KPD_Document document = nullptr;
  KPD_Dictionary dict = nullptr;
  float borderWidth = 1.0f;
  int borderStyle = kBorderSolid;
  float intensity = 0.0f;
  float dashPhase = 0.0f;
  std::vector<float> dashes;
  KPD_ColorF strokeColor{};  // RGB once read
  KPD_ColorF fillColor{};    // RGB once read
  float strokeOpacity = 1.0f;
  float fillOpacity = 1.0f;
  bool invert = false;
  bool hasFill = false;
  bool hasPattern = false;
  bool hasStroke = false;
  bool needsTransparency = false;
  std::string blendMode;  // without the slash; empty for none

 private:
  std::string problem_;
};

// True when /CA or /ca is not negative and differs from 1 by at least
// 1.1920929e-7, or /BM is a non-empty name.
bool GetOpacityState(KPD_Dictionary annot);

// Sets the graphics state `stateName` in the resources of `stream`, or
// clears /ExtGState when both opacities are 1 (or negative) and there is no
// blend mode. An existing entry "XJC" is renamed rather than left behind.
bool SetTransparencyGState(KPD_Stream stream, const char* stateName, float strokeOpacity, float fillOpacity,
                           KPD_Document doc, bool forceOpaqueStroke, const std::string& blendMode);

// Stores `content` as the appearance `kind` ("N", "R", "D") of `annot`,
// with /BBox, /Matrix, /ProcSet and the annotation's /Pattern as "KWP".
// With `replace` a new stream is made and takes over the old one's fonts;
// without it an existing stream is reused. Returns the stream, or null when
// `annot` is null or the stream cannot be made; other /AP entries are left
// alone.
KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, const char* kind, const KS_FloatRect& bbox,
                                 const KS_Matrix& matrix, const std::string& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace);

// Small readers of annotation values; none of them changes the dictionary.
namespace apread {

// The number under `key`; false when absent or not a number.
bool Number(KPD_Dictionary dict, const char* key, double* out);
// The numbers of an array: their count, or -1 when `array` is not an array
// of numbers, -2 when it holds more than `maxCount`.
int Numbers(KPD_Object array, std::vector<float>& out, int maxCount);
// True when every value is finite and within the coordinate range the
// generators accept (magnitude up to 1e7).
bool Finite(const std::vector<float>& values);
bool Finite(double value);
// A colour array of 0, 1, 3 or 4 numbers in [0, 1]; kind 0 when absent.
// False for a malformed array.
bool Color(KPD_Dictionary dict, const char* key, KPD_ColorF* out);
// Whether the name under `key` is `name` (given with its slash).
bool NameIs(KPD_Dictionary dict, const char* key, const char* name);

}  // namespace apread

}  // namespace kwannotation
