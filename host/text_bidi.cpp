// The visual order of laid-out lines and the shaping of their text: the
// Unicode bidirectional algorithm (FriBidi) gives each character of a line
// its embedding level, within its paragraph's direction; the line is cut
// into pieces of one run, one face and one level, the pieces are put in
// visual order (rule L2: every sequence at a level or above reversed, from
// the highest level down), and the text of each piece drawn with a Unicode
// face is shaped with HarfBuzz in its direction.
#include <fribidi.h>

#include <algorithm>
#include <cmath>

#include "host/text_layout.h"

namespace kshost {

namespace {

bool RightToLeftLetter(char32_t c) {
  const FriBidiCharType type = fribidi_get_bidi_type(FriBidiChar(c));
  return type == FRIBIDI_TYPE_RTL || type == FRIBIDI_TYPE_AL;
}

bool LeftToRightLetter(char32_t c) { return fribidi_get_bidi_type(FriBidiChar(c)) == FRIBIDI_TYPE_LTR; }

}  // namespace

void TextLayout::MeasureShapedWords(Run& run) {
  // Joined letters (Arabic) and conjuncts (Devanagari) take less room than
  // the same letters alone; a word longer than this is measured letter by
  // letter, as it breaks inside anyway.
  constexpr size_t kLongestWord = 256;
  std::vector<Glyph>& g = run.glyphs;
  auto inWord = [&](size_t i, int face) { return g[i].face == face && g[i].c != U' ' && g[i].c != U'\n' && g[i].c != U'\r'; };
  const float k = run.style.size / 1000;
  for (size_t a = 0; a < g.size();) {
    const int face = g[a].face;
    if (face < 0 || !inWord(a, face)) {
      ++a;
      continue;
    }
    size_t b = a + 1;
    while (b < g.size() && inWord(b, face)) ++b;
    UnicodeFont* font = UnicodeFont::At(face);
    if (font && b - a > 1 && b - a <= kLongestWord) {
      std::u32string word;
      for (size_t i = a; i < b; ++i) word += g[i].c;
      std::vector<float> widths(word.size(), 0.0f);
      const auto shaped = font->Shape(word, RightToLeftLetter(word[0]));
      bool usable = !shaped.empty();
      for (const UnicodeFont::Shaped& sh : shaped) {
        if (sh.cluster >= widths.size() || !std::isfinite(sh.advance)) {
          usable = false;
          break;
        }
        widths[sh.cluster] += sh.advance * k;
      }
      if (usable)
        for (size_t i = a; i < b; ++i) g[i].width = std::max(0.0f, widths[i - a]);
    }
    a = b;
  }
}

void TextLayout::ReorderAndShape(TextAlign align) {
  // A paragraph's direction is that of its first strong letter.
  size_t paragraphStart = 0;
  while (paragraphStart < lines_.size()) {
    size_t paragraphEnd = paragraphStart;
    while (paragraphEnd + 1 < lines_.size() && !lines_[paragraphEnd].paragraphEnd) ++paragraphEnd;
    bool rtl = false, decided = false;
    bool needed = false;
    for (size_t li = paragraphStart; li <= paragraphEnd; ++li)
      for (const Piece& p : lines_[li].pieces)
        for (size_t i = p.begin; i < p.end; ++i) {
          const Glyph& g = runs_[p.run].glyphs[i];
          if (!decided && (RightToLeftLetter(g.c) || LeftToRightLetter(g.c))) {
            decided = true;
            rtl = RightToLeftLetter(g.c);
          }
          needed = needed || g.face >= 0 || RightToLeftLetter(g.c) || (g.c >= 0x0590 && g.c < 0x2000);
        }
    for (size_t li = paragraphStart; li <= paragraphEnd; ++li) {
      Line& l = lines_[li];
      if (rtl && l.align < 0 && align == TextAlign::kLeft) l.align = int(TextAlign::kRight);
      if (!needed || l.pieces.empty()) continue;
      // The line's characters in logical order, with where each comes from.
      struct Char {
        size_t run, index;
      };
      std::vector<Char> chars;
      std::vector<FriBidiChar> text;
      for (const Piece& p : l.pieces)
        for (size_t i = p.begin; i < p.end; ++i) {
          chars.push_back({p.run, i});
          text.push_back(FriBidiChar(runs_[p.run].glyphs[i].c));
        }
      const FriBidiStrIndex n = FriBidiStrIndex(text.size());
      std::vector<FriBidiCharType> types(text.size());
      std::vector<FriBidiBracketType> brackets(text.size());
      std::vector<FriBidiLevel> levels(text.size(), rtl ? 1 : 0);
      fribidi_get_bidi_types(text.data(), n, types.data());
      fribidi_get_bracket_types(text.data(), n, types.data(), brackets.data());
      FriBidiParType direction = rtl ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
      if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &direction, levels.data()))
        std::fill(levels.begin(), levels.end(), FriBidiLevel(rtl ? 1 : 0));
      // Pieces of one run, one face and one level, in logical order.
      struct Span {
        size_t run, begin, end;
        int face;
        FriBidiLevel level;
      };
      std::vector<Span> spans;
      for (size_t k = 0; k < chars.size(); ++k) {
        const Glyph& g = runs_[chars[k].run].glyphs[chars[k].index];
        if (!spans.empty() && spans.back().run == chars[k].run && spans.back().end == chars[k].index &&
            spans.back().face == g.face && spans.back().level == levels[k]) {
          ++spans.back().end;
        } else {
          spans.push_back({chars[k].run, chars[k].index, chars[k].index + 1, g.face, levels[k]});
        }
      }
      // Rule L2 over the spans.
      FriBidiLevel highest = 0, lowestOdd = 255;
      for (const Span& sp : spans) {
        highest = std::max(highest, sp.level);
        if (sp.level % 2) lowestOdd = std::min(lowestOdd, sp.level);
      }
      for (int level = highest; level >= int(lowestOdd) && level > 0; --level)
        for (size_t a = 0; a < spans.size();) {
          if (spans[a].level < level) {
            ++a;
            continue;
          }
          size_t b = a;
          while (b < spans.size() && spans[b].level >= level) ++b;
          std::reverse(spans.begin() + long(a), spans.begin() + long(b));
          a = b;
        }
      std::vector<Piece> pieces;
      l.width = 0;
      for (const Span& sp : spans) {
        const Run& run = runs_[sp.run];
        Piece p{sp.run, sp.begin, sp.end};
        p.shaped = true;
        const bool reversed = sp.level % 2 == 1;
        UnicodeFont* font = sp.face >= 0 ? UnicodeFont::At(sp.face) : nullptr;
        if (font) {
          std::u32string cluster;
          for (size_t i = sp.begin; i < sp.end; ++i) cluster += run.glyphs[i].c;
          const float k = run.style.size / 1000;
          size_t lastCluster = SIZE_MAX;
          for (const UnicodeFont::Shaped& s : font->Shape(cluster, reversed)) {
            // The first glyph of a cluster carries its character, for the
            // text a reader copies out.
            const char32_t c = s.cluster != lastCluster && s.cluster < cluster.size() ? cluster[s.cluster] : 0;
            lastCluster = s.cluster;
            p.glyphs.push_back(Glyph{c, std::isfinite(s.advance) ? s.advance * k : 0, int8_t(sp.face), s.glyph});
          }
        } else {
          for (size_t i = sp.begin; i < sp.end; ++i) p.glyphs.push_back(run.glyphs[i]);
          if (reversed) std::reverse(p.glyphs.begin(), p.glyphs.end());
        }
        if (font) {
          p.actualText = p.glyphs.size() != sp.end - sp.begin;
          for (size_t i = 0; i < p.glyphs.size() && !p.actualText; ++i)
            p.actualText = p.glyphs[i].c != run.glyphs[reversed ? sp.end - 1 - i : sp.begin + i].c;
        }
        if (p.glyphs.empty()) continue;
        for (const Glyph& g : p.glyphs) l.width += Advance(g, run);
        pieces.push_back(std::move(p));
      }
      l.pieces = std::move(pieces);
    }
    paragraphStart = paragraphEnd + 1;
  }
}

}  // namespace kshost
