// The drawing state every appearance generator starts from, and the two
// writers that put a finished content string into the annotation: the
// transparency graphics state and the appearance stream itself.
#pragma once

#include <string>
#include <vector>

#include "kwannotation/kw_annot_types.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_MarkupAnnotImpl;
class CKW_ContentBuffer;

// The drawing state of one annotation, read once from its dictionary.
class CAPCommon {
 public:
  CAPCommon() = default;
  virtual ~CAPCommon();

  // Takes the state of `annot` from its getters, so that the drawing and
  // the object model agree on every value. False when the dictionary or its
  // document is missing, or when a value the generators would write is
  // unusable (out of range, malformed, a dash array too long to be real);
  // `Problem` then says why. Nothing in the dictionary changes.
  bool Init(const CKW_MarkupAnnotImpl& annot);
  const std::string& Problem() const { return problem_; }

  // Fill colour, pattern, stroke colour, line state, dash and transparency,
  // in that order.
  void WriteGraphicsState(std::string& out) const;

  KPD_Document document = nullptr;
  KPD_Dictionary dict = nullptr;
  float borderWidth = 1.0f;
  int borderStyle = KW_BORDER_SOLID;
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
// The same into `ap`, the annotation's /AP dictionary, which the caller
// has found or made.
KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                                 const KS_FloatRect& bbox, const KS_Matrix& matrix, const std::string& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace);
// The same with the content in `content`, whose text the stream takes over
// (the buffer is empty afterwards, whatever the result).
KPD_Stream WriteAppearanceStream(KPD_Document doc, KPD_Dictionary annot, KPD_Dictionary ap, const char* kind,
                                 const KS_FloatRect& bbox, const KS_Matrix& matrix, CKW_ContentBuffer& content,
                                 const std::vector<std::string>& procSets, const std::string& stateName,
                                 bool replace);

}  // namespace kwannotation
