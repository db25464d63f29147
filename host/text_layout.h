// The text-layout engine behind selector 653: runs of text, each with its
// own style (font family, size, bold, italic, underline, strike-through,
// baseline shift, colour, character spacing), laid out into lines within a
// width (breaking at spaces, and inside a word too long for a line),
// aligned left, centred, right or justified, and written as content-stream
// text with the font resources a page can show.
//
// Fonts. A character the standard fonts' WinAnsiEncoding holds is drawn with
// the standard font of the family (measured with its AFM metrics). Any other
// character is drawn with the first Unicode face that has a glyph for it:
// DejaVu Sans (its bold face for bold runs), then Droid Sans Fallback for
// Chinese, Japanese and Korean, then the installed TrueType face
// fontconfig ranks first among those that cover it (Noto for Devanagari,
// Thai, Ol Chiki, ...). Each face is embedded as a Type0 font with
// Identity-H encoding over the glyph ids of a subset holding only the glyphs
// the layout draws (named "ABCDEF+DejaVuSans"), with /W widths and a
// /ToUnicode map, so the text shows and extracts as itself. A character no
// face covers is drawn as the missing-glyph box, never as a question mark.
// Italic runs drawn with a Unicode face (which has no italic here) are
// slanted.
//
// Scripts. Each line is put in visual order by the Unicode bidirectional
// algorithm (FriBidi), in the direction of its paragraph's first strong
// letter; text drawn with a Unicode face is shaped with HarfBuzz (joining,
// marks, ligatures, kerning), and where its glyphs do not map one to one to
// its characters it is marked with them as /ActualText. A right-to-left
// paragraph without an alignment of its own aligns right.
//
// Placement. Content() is written for inside BT ... ET and positions every
// piece of text with an absolute Tm in the coordinates in force at BT; it
// may also close and reopen the text object (ET ... BT) to draw underlines
// and to restore the caller's colour. So the caller places the box with a
// `cm` (or the form's /Matrix) before BT, never with a Tm of its own.
//
// Internal to host/; the table functions of selector 653 are a thin layer.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "sdk/ks_types.h"

namespace kshost {

namespace pdf {
class Document;
}

// The Unicode faces, in the order a character looks for a glyph; after
// them, faces fontconfig finds for a character none of them covers.
enum class UnicodeFace { kSans = 0, kSansBold = 1, kCjk = 2 };
constexpr int kUnicodeFaceCount = 3;
// The fixed faces and the faces found, together.
constexpr int kMaxUnicodeFaces = 48;

// A TrueType face read with FreeType: glyph ids, advances (1/1000 em), the
// file's bytes, and subsets of it made with HarfBuzz.
class UnicodeFont {
 public:
  // The application's face: DejaVu Sans (bold) from $ANNOT_UNICODE_FONT_DIR
  // or the system's DejaVu folder; the CJK face from $ANNOT_CJK_FONT or
  // Debian's Droid Sans Fallback. Null when the file cannot be read.
  static UnicodeFont* Get(UnicodeFace face);
  // The face of an index: a UnicodeFace, or one Find found. Null for others.
  static UnicodeFont* At(int index);
  // The index of an installed TrueType face that has a glyph for `c`, a
  // bold one preferred for `bold`, found through fontconfig by coverage;
  // -1 when none has one (or every slot is taken).
  static int Find(char32_t c, bool bold);
  // A face from a TrueType file; null when it cannot be read.
  static std::unique_ptr<UnicodeFont> Load(const std::string& path, bool bold);
  ~UnicodeFont();

  // 0 when the face has no glyph for `c`.
  uint16_t Glyph(char32_t c) const;
  // True when the outlines are TrueType ("glyf"), not CFF.
  bool IsTrueType() const;
  // Text shaped with HarfBuzz (joining, marks, ligatures, kerning): the
  // glyphs in drawing order, each with its advance (1/1000 em) and the
  // index in `text` of the first character of its cluster.
  struct Shaped {
    uint16_t glyph;
    float advance;
    size_t cluster;
  };
  std::vector<Shaped> Shape(std::u32string_view text, bool rightToLeft) const;
  float Advance(uint16_t glyph) const;
  const std::string& Bytes() const { return bytes_; }
  const std::string& PostScriptName() const { return psName_; }
  // A font file holding only `glyphs` (and the missing glyph, and the parts
  // of composite glyphs), and the new id of each old one. False when the
  // subsetter fails.
  bool Subset(const std::set<uint16_t>& glyphs, std::string* bytes, std::map<uint16_t, uint16_t>* newIds) const;
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

enum class TextAlign { kLeft = 0, kCentre = 1, kRight = 2, kJustify = 3 };

// How a run looks. `rise` raises the run (superscript > 0, subscript < 0)
// in points; without `hasColor` the run keeps the caller's fill colour.
struct RunStyle {
  std::string family = "Helvetica";
  float size = 9;
  bool bold = false, italic = false, underline = false, strike = false;
  float rise = 0;
  bool hasColor = false;
  float color[3] = {0, 0, 0};
  float charSpacing = 0;
  // The alignment of a paragraph whose first character is in this run
  // (a TextAlign); -1 leaves it to Arrange's.
  int align = -1;
};

class TextLayout {
 public:
  // Appends a run; "\n" (and "\r\n", "\r") inside it ends a paragraph.
  void AddRun(std::string_view family, bool bold, bool italic, float size, std::u16string_view text);
  void AddStyledRun(const RunStyle& style, std::u16string_view text);
  // Breaks and aligns the lines; `maxWidth` <= 0 breaks only at paragraph
  // ends. A paragraph takes the alignment of the run its first character is
  // in, `align` when that run has none. Justified lines reach `maxWidth` by widening their spaces; the last
  // line of a paragraph is left aligned. `spacing` scales the line pitch
  // (1 normal, 2 double). The number of lines.
  int Arrange(float maxWidth, TextAlign align, float spacing);
  // The laid-out box: its top left at (0, 0), reaching right and down.
  KS_FloatRect Box() const;
  // Where typing goes on: after the last character of the last line, as
  // a rectangle of no width from that line's descent to its ascent, in the
  // box's coordinates; a paragraph end last puts it at the start of an
  // empty line. False when there is no text.
  bool Caret(KS_FloatRect* out) const;
  // Text operators for inside BT ... ET, in coordinates with the box's top
  // left at the origin (see the placement note above).
  std::string Content() const;
  // Every font Content names, added to the /Font dictionary `fonts` of a
  // stream of `doc`.
  bool AddResources(pdf::Document& doc, QPDFObjectHandle fonts) const;

 private:
  struct Glyph {
    char32_t c;
    float width;    // advance in user units, without character spacing
    int8_t face;    // -1 the run's standard font, else a UnicodeFont::At index
    uint16_t code;  // WinAnsi byte, or glyph id in the face
  };
  struct Run {
    RunStyle style;
    std::string baseFont;  // the standard font
    float ascent = 0, descent = 0;  // user units, the rise included
    float underlineY = 0, strikeY = 0, lineThickness = 0;  // from the baseline
    std::vector<Glyph> glyphs;
  };
  struct Piece {
    size_t run;
    size_t begin, end;  // glyph range in the run
    float x = 0;        // from the line's start
    float width = 0;    // with character spacing and justification
    // Reordered or shaped text: the glyphs to draw, in drawing order, each
    // with its shaped advance; begin..end then only name the characters.
    bool shaped = false;
    std::vector<Glyph> glyphs;
    // The glyphs do not map one to one, in order, to the characters
    // (joined forms, reordered vowel signs): the text is marked with the
    // characters it stands for.
    bool actualText = false;
  };
  struct Line {
    std::vector<Piece> pieces;
    float width = 0, ascent = 0, descent = 0, x = 0, y = 0;
    float spaceExtra = 0;  // added after each space when justified
    bool paragraphEnd = true;
    int align = -1;  // the paragraph's own alignment, -1 the layout's
  };
  // The subset of one Unicode face the laid-out lines draw.
  struct Subset {
    bool made = false;
    std::string resource, baseFont, bytes;
    std::map<uint16_t, uint16_t> newIds;
    std::map<uint16_t, std::pair<float, char32_t>> glyphs;  // new id -> width, character
  };
  std::vector<Glyph> GlyphsOf(const Piece& p) const {
    if (p.shaped) return p.glyphs;
    return std::vector<Glyph>(runs_[p.run].glyphs.begin() + long(p.begin), runs_[p.run].glyphs.begin() + long(p.end));
  }
  float Advance(const Glyph& g, const Run& r) const { return std::max(0.0f, g.width + r.style.charSpacing); }
  void MakeSubsets() const;
  // Puts each line's pieces in visual order by the Unicode bidirectional
  // algorithm and shapes the text of the Unicode faces; a right-to-left
  // paragraph without an alignment of its own is aligned right where the
  // layout's alignment is left. In text_bidi.cpp.
  void ReorderAndShape(TextAlign align);
  // Gives each word of `run` drawn with a Unicode face the widths it has
  // once shaped, each cluster's on its first character, so that lines break
  // where the drawn text reaches the edge. In text_bidi.cpp.
  static void MeasureShapedWords(Run& run);

  std::vector<Run> runs_;
  std::vector<Line> lines_;
  float boxWidth_ = 0, boxHeight_ = 0;
  mutable bool subsetsMade_ = false;
  mutable Subset subsets_[kMaxUnicodeFaces];
};

// The resource name of a standard font ("Helv" for Helvetica).
std::string StandardFontResource(const std::string& baseFont);

}  // namespace kshost
