// Captions of measurement appearances: a few lines of text laid out by the
// host's text-layout service and placed at a point of the figure, turned
// by an angle, in the caption colour.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

class CKW_AnnotImpl;
struct ApBounds;

// The caption's font from "DS" (family, size, bold, italic); Helvetica
// at the default size of `page` without one.
struct CaptionFontSpec {
  std::string family = "Helvetica";
  float size = 9.0f;
  bool bold = false;
  bool italic = false;
};
CaptionFontSpec CaptionFontOf(const CKW_AnnotImpl& annot, KPD_Page page = nullptr);

// The caption size of a page whose style says none: a fiftieth of the
// shorter side of its crop box (else media box), to the half point, from
// 9 to 72 points: 12 on A4 and Letter, 17 on A3, 33.5 on A1. 9 without a
// page or a usable box.
float DefaultCaptionSize(KPD_Page page);

// Whether captions get their background box: the preference
// "CaptionBackground" of section "Measurement" (default on).
bool CaptionBackgroundEnabled();

enum class CaptionAnchor {
  kCentre,  // the box's centre at the point
  kAbove,   // the box's bottom middle `gap` above the point
};

struct CaptionPlacement {
  std::vector<std::u16string> lines;
  double x = 0, y = 0;
  double angle = 0;  // radians, counter-clockwise
  CaptionAnchor anchor = CaptionAnchor::kCentre;
  double gap = 0;
};

// The fonts a set of captions draws with, kept until the appearance
// writer has put them into the stream's resources.
class CaptionFonts {
 public:
  virtual ~CaptionFonts() = default;
  // Adds the fonts to the /Font dictionary of a stream of `doc`.
  virtual bool AddTo(KPD_Document doc, KPD_Dictionary fontDict) const = 0;
};

// Lays out one caption and appends it ("q\n", colour, its matrix as "cm",
// while the background preference is on a white box a fifth of the font
// size wider than the text all round, "BT\n", the text, "ET Q\n"), so
// that it reads over walls and hatching; `box` grows over the caption's
// turned box, with its background. The fonts
// it needs are remembered in `fonts` (made when null). False when there
// is nothing to draw or the host cannot lay text out.
bool AppendCaption(std::string& content, const CaptionFontSpec& font, const KPD_ColorF& color,
                   const CaptionPlacement& placement, ApBounds* box, std::shared_ptr<CaptionFonts>* fonts);

}  // namespace kwannotation
