// The text-layout engine behind selector 653: runs of text, each with its
// font family, size, bold and italic, laid out into lines within a width
// (breaking at spaces, and inside a word too long for a line), aligned, and
// written as content-stream text with the font resources a page can show.
//
// Characters the standard fonts' WinAnsiEncoding holds are drawn with the
// standard font of the family (measured with its AFM metrics). Any other
// character (Greek, Cyrillic, ...) is drawn with DejaVu Sans, embedded as a
// Type0 font with Identity-H encoding over glyph ids and a /ToUnicode map,
// so it shows and extracts as itself. A character DejaVu Sans has no glyph
// for is drawn as its missing-glyph box, never as a question mark.
//
// Internal to host/; the table functions of selector 653 are a thin layer.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "sdk/ks_types.h"

namespace kshost {

namespace pdf {
class Document;
}

// A TrueType face read with FreeType: glyph ids, advances (1/1000 em) and
// the file's bytes for embedding.
class UnicodeFont {
 public:
  // DejaVu Sans (bold face for `bold`) from $ANNOT_UNICODE_FONT_DIR or the
  // system's DejaVu folder; null when the file cannot be read.
  static UnicodeFont* ForStyle(bool bold);
  // A face from a TrueType file; null when it cannot be read.
  static std::unique_ptr<UnicodeFont> Load(const std::string& path, bool bold);
  ~UnicodeFont();

  uint16_t Glyph(char32_t c) const;
  float Advance(uint16_t glyph) const;
  const std::string& Bytes() const { return bytes_; }
  const std::string& PostScriptName() const { return psName_; }
  float ascent = 0, descent = 0, capHeight = 0;  // 1/1000 em
  float bbox[4] = {0, 0, 0, 0};
  bool bold = false;

 private:
  UnicodeFont() = default;
  struct Face;
  std::unique_ptr<Face> face_;
  std::string bytes_;
  std::string psName_;
};

enum class TextAlign { kLeft = 0, kCentre = 1, kRight = 2 };

class TextLayout {
 public:
  // Appends a run; "\n" (and "\r\n", "\r") inside it ends a line.
  void AddRun(std::string_view family, bool bold, bool italic, float size, std::u16string_view text);
  // Breaks and aligns the lines; `maxWidth` <= 0 breaks only at line ends.
  // `spacing` scales the gap between lines (1 normal). The number of lines.
  int Arrange(float maxWidth, TextAlign align, float spacing);
  // The laid-out box: its top left at (0, 0), reaching right and down.
  KS_FloatRect Box() const;
  // Text operators for inside BT ... ET, after a matrix that puts the box's
  // top left at the origin.
  std::string Content() const;
  // Every font Content names, added to the /Font dictionary `fonts` of a
  // stream of `doc`.
  bool AddResources(pdf::Document& doc, QPDFObjectHandle fonts) const;

 private:
  struct Glyph {
    char32_t c;
    float width;  // user units
    bool unicode;
    uint16_t code;  // WinAnsi byte, or glyph id
  };
  struct Run {
    std::string baseFont;  // the standard font
    bool bold = false;
    float size = 9;
    float ascent = 0, descent = 0;  // user units
    std::vector<Glyph> glyphs;
  };
  struct Piece {
    size_t run;
    size_t begin, end;  // glyph range in the run
  };
  struct Line {
    std::vector<Piece> pieces;
    float width = 0, ascent = 0, descent = 0, x = 0, y = 0;
  };
  std::vector<Run> runs_;
  std::vector<Line> lines_;
  float boxWidth_ = 0, boxHeight_ = 0;
};

// The resource name of a standard font ("Helv" for Helvetica) and of the
// embedded Unicode face.
std::string StandardFontResource(const std::string& baseFont);
std::string UnicodeFontResource(bool bold);

}  // namespace kshost
