// The application's font service: the standard 14 PDF fonts with their real
// metrics, and the rules that map a family name to one of them. Internal to
// host/; the table functions of selector 331 are a thin layer over it.
//
// Metrics come from the AFM files of the URW base-35 fonts, the free metric
// twins of the standard 14 (Nimbus Sans for Helvetica, Nimbus Roman for
// Times, Nimbus Mono PS for Courier, Standard Symbols PS for Symbol, D050000L
// for ZapfDingbats). A font's file is read the first time the font is asked
// for, once.
//
// Text is measured and encoded in WinAnsiEncoding, the encoding this host
// writes into every standard font dictionary it makes (Symbol and
// ZapfDingbats keep their built-in encodings). A character the encoding
// cannot hold is written as '?' and therefore measured as '?'.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "sdk/ks_types.h"

namespace kshost {

// What one AFM file says about a font, widths in thousandths of the em.
struct AfmFont {
  KS_FontMetrics metrics{};           // flags left 0: they depend on the family
  bool fixedPitch = false;
  bool bold = false;                  // Weight names a bold face
  bool symbolic = false;              // EncodingScheme FontSpecific
  float underlinePosition = -100;     // centre of the underline below the baseline
  float underlineThickness = 50;
  std::array<float, 256> widthByCode; // by the font's built-in code; -1 none
  std::unordered_map<std::string, float> widthByName;
  AfmFont() { widthByCode.fill(-1); }
};

// Reads AFM text. Lines that do not parse are skipped; the result is empty
// when the text holds no character metrics at all. An Ascender or Descender
// that is missing or 0 (the URW files write 0) is taken from the top of "d"
// and the bottom of "p", or else from the font box.
std::optional<AfmFont> ParseAfm(std::string_view text);

// The WinAnsiEncoding code of a Unicode character, if it has one.
std::optional<uint8_t> WinAnsiCode(char32_t unicode);

// The glyph name WinAnsiEncoding gives `code`; empty for the unused codes.
std::string_view WinAnsiGlyphName(uint8_t code);

class FontService {
 public:
  // A service reading AFM files from `folder`.
  explicit FontService(std::string folder);
  FontService(FontService const&) = delete;
  FontService& operator=(FontService const&) = delete;

  // The application's service: AFM files from $ANNOT_FONT_DIR when set, else
  // from the system's URW base-35 folder.
  static FontService& Application();

  // True for the exact names of the standard 14 fonts.
  static bool IsStandard14(std::string_view baseFont);

  // The standard font of a family name and style, when the family is one
  // this service knows: Helvetica, Arial, Helv and sans families; Times,
  // Times New Roman and serif families; Courier, Courier New, Cour and mono
  // families; Symbol; ZapfDingbats and ZaDb. Case, spaces and a trailing "MT"
  // or "PS" do not matter; style words after a comma or hyphen ("Arial,Bold",
  // "Arial-BoldItalicMT") add to `bold` and `italic`.
  static std::optional<std::string> KnownStandardName(std::string_view family, bool bold, bool italic);

  // As KnownStandardName, with a Helvetica face for unknown families.
  static std::string StandardName(std::string_view family, bool bold, bool italic);

  // The standard font a base font is drawn with: itself when standard,
  // else the face StandardName picks for it. A leading slash is ignored.
  static std::string Resolve(std::string_view baseFont);

  // The metrics of the font `baseFont` is drawn with, its descriptor flags
  // filled in; null when the AFM file cannot be read.
  AfmFont const* Font(std::string_view baseFont);

  // The advance width of a character in thousandths of the em, as encoded
  // by Encode (so unencodable characters measure as '?').
  static float CharWidth(AfmFont const& font, char32_t unicode);

  // True when the font's encoding holds the character and the font has a
  // glyph for it.
  static bool HasGlyph(AfmFont const& font, char32_t unicode);

  // The byte a character is written as: its WinAnsi code (its built-in code
  // for a symbolic font: codes below 256 and the U+F0xx symbol area), or '?'.
  static uint8_t Encode(AfmFont const& font, char32_t unicode);

 private:
  std::string folder_;
  std::mutex mutex_;
  // Keyed by standard name; a null entry remembers a file that failed.
  std::unordered_map<std::string, std::unique_ptr<AfmFont>> fonts_;
};

}  // namespace kshost
