// Normal appearances of the shape annotations: square, circle, polygon,
// polyline, line and ink, rebuilt from what the object model reads in the
// annotation dictionary.
//
// Each generator reads and checks everything it needs and computes the
// whole appearance without writing; one writer then puts the result into
// the annotation, so nothing is written unless the whole appearance could
// be built: on failure it returns false,
// puts a short reason into *skipReason (when given) and leaves the
// annotation as it was. On success the annotation's /AP /N is a new stream
// (the old one is no longer referenced), /Rect covers everything drawn, and
// the "TransGs" graphics state is present exactly when /CA, /ca, /BM or the
// ink highlight intent call for it.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdk/ks_number.h"
#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotImpl;
class CKW_MarkupAnnotImpl;
class CKW_LineImpl;
class CaptionFonts;
class CKW_ContentBuffer;

struct ShapeAppearanceOptions {
  // Rewrite the existing normal appearance stream in place (keeping its
  // object, its other resources and its fonts) instead of making a new
  // one. Only for a stream that nothing else in the document refers to:
  // every other user would change with it.
  bool reuseStream = false;
  // The page the annotation lies on, when the caller knows it: measurement
  // captions read in the view of that page, turned by its /Rotate. Without
  // it the page the annotation's /P names is taken.
  KPD_Page page = nullptr;
};

// What a generator drew, before anything is written: the content and its
// box, the /Rect and /RD the annotation needs for it, and the transparency
// state of the stream.
struct ShapeAppearanceResult {
  std::string content;
  // When set, the content is this buffer's text instead (and `content` is
  // empty): the writer hands it to the stream without a copy, once.
  std::shared_ptr<CKW_ContentBuffer> contentBuffer;
  KS_FloatRect bbox{};
  KS_Matrix matrix{1, 0, 0, 1, 0, 0};
  std::vector<std::string> procSets{"PDF"};
  bool setRect = false;  // /Rect becomes `rect`
  KS_FloatRect rect{};
  bool setInsets = false;  // /RD becomes `insets` (left, bottom, right, top)
  KS_FloatRect insets{};
  // The "TransGs" graphics state; it is left out when both opacities are 1
  // and there is no blend mode.
  float strokeOpacity = 1.0f;
  float fillOpacity = 1.0f;
  std::string blendMode;
  // The name of that state in /ExtGState.
  std::string stateName = "TransGs";
  // Stroke adjustment (/SA true) in that state, which is then written even
  // at full opacity.
  bool strokeAdjust = false;
  // Forms the content draws by name ("/Name Do"), put under /XObject.
  std::vector<std::pair<std::string, KPD_Object>> xobjects;
  // The stream is a transparency group (/Group /S /Transparency).
  bool transparencyGroup = false;
  // The caption's font "Helv" from this font service.
  bool captionFont = false;
  KA_FontService fontService = nullptr;
  // Fonts of captions laid out by the host's text layout, added to the
  // stream's /Font resources.
  std::shared_ptr<CaptionFonts> captionFonts;
  // Where typing into a laid-out text goes on, from the caret's foot to
  // its head, in the appearance's space; set by the free text generator.
  bool hasCaret = false;
  KS_FloatPoint caret[2]{};
  // How many numbers that were not finite this thread had written when the
  // result was begun; the writer refuses a result composed while more were
  // (its content holds "nan" or "inf" where a number belongs).
  unsigned long long nonFiniteMark = ks::NonFiniteWrites();
};

// Computes the appearance of a shape annotation from the model's getters;
// writes nothing. False, with the reason, when this kind has no shape
// appearance or its values cannot be drawn.
bool ComputeShapeAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* skipReason);

// `text` as a PDF string for the caption font "/Helv" in the encoding the
// font service gives it (Latin-1 when it cannot say); control characters
// become spaces or '?'.
std::string KW_CaptionPdfString(KA_FontService svc, const std::u16string& text);

// The line's figure (path, leaders, endings) without the /Contents caption,
// for line kinds that draw a caption of their own.
// With `gap`, the line is broken for a caption written in it: `half` on
// each side of its middle moved `along` the reading direction.
struct LineGap {
  double along = 0;
  double half = 0;
};
bool ComputeLineFigure(const CKW_LineImpl& line, ShapeAppearanceResult* out, std::string* skipReason,
                       const LineGap* gap = nullptr);

// The one writer of a computed appearance: the /AP /N stream (a new one, or
// with `options.reuseStream` the old one rewritten in place), its
// transparency state and font, then /Rect and /RD through the annotation's
// write path. False, with the reason, when nothing could be written.
class CKW_AppearanceWriter {
 public:
  static bool Apply(CKW_AnnotImpl& annot, const ShapeAppearanceResult& result, const ShapeAppearanceOptions& options,
                    std::string* reason);
};

using ShapeAppearanceFn = bool (*)(KPD_Dictionary annot, std::string* skipReason,
                                   const ShapeAppearanceOptions& options);

}  // namespace kwannotation
