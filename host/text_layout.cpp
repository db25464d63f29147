#include "host/text_layout.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <tuple>
#include <unordered_map>

#include "host/font_service.h"
#include "host/pdf_document.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"

namespace kshost {

struct UnicodeFont::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  hb_face_t* hb = nullptr;
  float unitsPerEm = 1000;
  mutable std::mutex mutex;  // FreeType faces are not safe across threads
  ~Face() {
    if (hb) hb_face_destroy(hb);
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

UnicodeFont::~UnicodeFont() = default;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string FontPath(UnicodeFace face) {
  if (face == UnicodeFace::kCjk) {
    if (const char* file = std::getenv("ANNOT_CJK_FONT"); file && *file) return file;
    return "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
  }
  std::string dir = "/usr/share/fonts/truetype/dejavu";
  if (const char* d = std::getenv("ANNOT_UNICODE_FONT_DIR"); d && *d) dir = d;
  return dir + (face == UnicodeFace::kSansBold ? "/DejaVuSans-Bold.ttf" : "/DejaVuSans.ttf");
}

}  // namespace

UnicodeFont* UnicodeFont::Get(UnicodeFace face) {
  static std::mutex mutex;
  static std::unique_ptr<UnicodeFont> fonts[kUnicodeFaceCount];
  static bool tried[kUnicodeFaceCount] = {};
  std::lock_guard<std::mutex> lock(mutex);
  const int i = int(face);
  if (i < 0 || i >= kUnicodeFaceCount) return nullptr;
  if (!tried[i]) {
    tried[i] = true;
    fonts[i] = Load(FontPath(face), face == UnicodeFace::kSansBold);
  }
  return fonts[i].get();
}

namespace {

// The faces fontconfig found, by index from kUnicodeFaceCount on.
struct FoundFaces {
  std::mutex mutex;
  std::vector<std::unique_ptr<UnicodeFont>> fonts;
  std::map<std::string, int> byFile;
  std::map<std::pair<char32_t, bool>, int> byChar;  // -1 remembers none
  bool initialised = false, usable = false;
  FcCharSet* covered = nullptr;  // every scalable face's characters together
};

FoundFaces& Found() {
  static FoundFaces found;
  return found;
}

}  // namespace

UnicodeFont* UnicodeFont::At(int index) {
  if (index >= 0 && index < kUnicodeFaceCount) return Get(UnicodeFace(index));
  FoundFaces& found = Found();
  std::lock_guard<std::mutex> lock(found.mutex);
  const size_t i = size_t(index - kUnicodeFaceCount);
  return index >= kUnicodeFaceCount && i < found.fonts.size() ? found.fonts[i].get() : nullptr;
}

int UnicodeFont::Find(char32_t c, bool bold) {
  FoundFaces& found = Found();
  std::lock_guard<std::mutex> lock(found.mutex);
  const auto key = std::make_pair(c, bold);
  if (auto known = found.byChar.find(key); known != found.byChar.end()) return known->second;
  if (!found.initialised) {
    found.initialised = true;
    found.usable = FcInit() == FcTrue;
    if (found.usable) {
      // A character no face has is answered without a search.
      found.covered = FcCharSetCreate();
      FcPattern* scalable = FcPatternBuild(nullptr, FC_SCALABLE, FcTypeBool, FcTrue, nullptr);
      FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
      FcFontSet* all = scalable && objects ? FcFontList(nullptr, scalable, objects) : nullptr;
      for (int n = 0; all && n < all->nfont; ++n) {
        FcCharSet* has = nullptr;
        if (FcPatternGetCharSet(all->fonts[n], FC_CHARSET, 0, &has) == FcResultMatch) FcCharSetMerge(found.covered, has, nullptr);
      }
      if (all) FcFontSetDestroy(all);
      if (objects) FcObjectSetDestroy(objects);
      if (scalable) FcPatternDestroy(scalable);
    }
  }
  int result = -1;
  if (found.usable && found.byChar.size() < 65536 && found.covered && FcCharSetHasChar(found.covered, FcChar32(c))) {
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, FcChar32(c));
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res = FcResultNoMatch;
    FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &res);
    for (int n = 0; set && n < set->nfont && result < 0; ++n) {
      FcCharSet* has = nullptr;
      FcChar8* file = nullptr;
      int faceIndex = 0;
      if (FcPatternGetCharSet(set->fonts[n], FC_CHARSET, 0, &has) != FcResultMatch || !FcCharSetHasChar(has, c))
        continue;
      if (FcPatternGetString(set->fonts[n], FC_FILE, 0, &file) != FcResultMatch || !file) continue;
      if (FcPatternGetInteger(set->fonts[n], FC_INDEX, 0, &faceIndex) == FcResultMatch && faceIndex != 0) continue;
      const std::string path(reinterpret_cast<const char*>(file));
      if (auto seen = found.byFile.find(path); seen != found.byFile.end()) {
        if (seen->second >= 0 && found.fonts[size_t(seen->second - kUnicodeFaceCount)]->Glyph(c)) result = seen->second;
        continue;
      }
      if (kUnicodeFaceCount + int(found.fonts.size()) >= kMaxUnicodeFaces) break;
      int weight = FC_WEIGHT_REGULAR;
      FcPatternGetInteger(set->fonts[n], FC_WEIGHT, 0, &weight);
      std::unique_ptr<UnicodeFont> font = Load(path, weight >= FC_WEIGHT_BOLD);
      // Only TrueType outlines: the embedding is a TrueType font program.
      if (!font || !font->IsTrueType() || !font->Glyph(c)) {
        found.byFile[path] = -1;
        continue;
      }
      result = kUnicodeFaceCount + int(found.fonts.size());
      found.byFile[path] = result;
      found.fonts.push_back(std::move(font));
    }
    if (set) FcFontSetDestroy(set);
    FcCharSetDestroy(wanted);
    FcPatternDestroy(pattern);
  }
  found.byChar[key] = result;
  return result;
}

std::vector<UnicodeFont::Shaped> UnicodeFont::Shape(std::u32string_view text, bool rightToLeft) const {
  std::vector<Shaped> out;
  if (!face_->hb || text.empty()) return out;
  std::lock_guard<std::mutex> lock(face_->mutex);
  hb_font_t* font = hb_font_create(face_->hb);
  hb_buffer_t* buffer = hb_buffer_create();
  for (size_t i = 0; i < text.size(); ++i) hb_buffer_add(buffer, hb_codepoint_t(text[i]), unsigned(i));
  hb_buffer_set_content_type(buffer, HB_BUFFER_CONTENT_TYPE_UNICODE);
  hb_buffer_guess_segment_properties(buffer);
  hb_buffer_set_direction(buffer, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  hb_shape(font, buffer, nullptr, 0);
  unsigned n = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &n);
  const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
  int xScale = 0, yScale = 0;
  hb_font_get_scale(font, &xScale, &yScale);
  const float k = xScale > 0 ? 1000.0f / float(xScale) : 1000.0f / face_->unitsPerEm;
  for (unsigned i = 0; i < n; ++i)
    if (info[i].codepoint <= 0xFFFF) out.push_back({uint16_t(info[i].codepoint), float(pos[i].x_advance) * k, info[i].cluster});
  hb_buffer_destroy(buffer);
  hb_font_destroy(font);
  return out;
}

bool UnicodeFont::IsTrueType() const {
  std::lock_guard<std::mutex> lock(face_->mutex);
  FT_ULong length = 0;
  return FT_Load_Sfnt_Table(face_->face, TTAG_glyf, 0, nullptr, &length) == 0 && length > 0;
}

std::unique_ptr<UnicodeFont> UnicodeFont::Load(const std::string& path, bool bold) {
  std::unique_ptr<UnicodeFont> font(new UnicodeFont());
  font->bytes_ = ReadFile(path);
  if (font->bytes_.empty()) return nullptr;
  font->face_ = std::make_unique<Face>();
  Face& f = *font->face_;
  if (FT_Init_FreeType(&f.library)) return nullptr;
  if (FT_New_Memory_Face(f.library, reinterpret_cast<const FT_Byte*>(font->bytes_.data()),
                         FT_Long(font->bytes_.size()), 0, &f.face))
    return nullptr;
  if (!FT_IS_SFNT(f.face) || f.face->units_per_EM == 0) return nullptr;
  f.unitsPerEm = float(f.face->units_per_EM);
  hb_blob_t* blob = hb_blob_create(font->bytes_.data(), unsigned(font->bytes_.size()), HB_MEMORY_MODE_READONLY,
                                   nullptr, nullptr);
  f.hb = hb_face_create(blob, 0);
  hb_blob_destroy(blob);
  const char* ps = FT_Get_Postscript_Name(f.face);
  font->psName_ = ps ? ps : (bold ? "DejaVuSans-Bold" : "DejaVuSans");
  const float k = 1000.0f / f.unitsPerEm;
  font->ascent = float(f.face->ascender) * k;
  font->descent = float(f.face->descender) * k;
  font->capHeight = font->ascent * 0.7f;
  font->bbox[0] = float(f.face->bbox.xMin) * k;
  font->bbox[1] = float(f.face->bbox.yMin) * k;
  font->bbox[2] = float(f.face->bbox.xMax) * k;
  font->bbox[3] = float(f.face->bbox.yMax) * k;
  font->bold = bold;
  return font;
}

uint16_t UnicodeFont::Glyph(char32_t c) const {
  std::lock_guard<std::mutex> lock(face_->mutex);
  FT_UInt g = FT_Get_Char_Index(face_->face, FT_ULong(c));
  return g > 0xFFFF ? 0 : uint16_t(g);
}

float UnicodeFont::Advance(uint16_t glyph) const {
  std::lock_guard<std::mutex> lock(face_->mutex);
  if (FT_Load_Glyph(face_->face, glyph, FT_LOAD_NO_SCALE)) return 0;
  return float(face_->face->glyph->metrics.horiAdvance) * 1000.0f / face_->unitsPerEm;
}

bool UnicodeFont::Subset(const std::set<uint16_t>& glyphs, std::string* bytes,
                         std::map<uint16_t, uint16_t>* newIds) const {
  if (!face_->hb) return false;
  // Captions repeat the same few characters: the last subsets made are
  // kept (planning a subset of a CJK face takes milliseconds).
  struct Made {
    std::string bytes;
    std::map<uint16_t, uint16_t> newIds;
  };
  static std::mutex cacheMutex;
  // By the face's name and size, not its address, which a later face may reuse.
  static std::map<std::tuple<std::string, size_t, std::set<uint16_t>>, Made> cache;
  const auto key = std::make_tuple(psName_, bytes_.size(), glyphs);
  {
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto found = cache.find(key);
    if (found != cache.end()) {
      *bytes = found->second.bytes;
      *newIds = found->second.newIds;
      return true;
    }
  }
  hb_subset_input_t* input = hb_subset_input_create_or_fail();
  if (!input) return false;
  hb_set_t* keep = hb_subset_input_glyph_set(input);
  hb_set_add(keep, 0);
  for (uint16_t g : glyphs) hb_set_add(keep, g);
  // A PDF reaches glyphs by id: no shaping tables, no character map needed.
  hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (const char* tag : {"GSUB", "GPOS", "GDEF", "kern", "morx", "hdmx", "VDMX", "LTSH", "DSIG"})
    hb_set_add(drop, hb_tag_from_string(tag, 4));
  hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
  bool ok = false;
  if (hb_subset_plan_t* plan = hb_subset_plan_create_or_fail(face_->hb, input)) {
    if (hb_face_t* out = hb_subset_plan_execute_or_fail(plan)) {
      hb_blob_t* blob = hb_face_reference_blob(out);
      unsigned length = 0;
      const char* data = hb_blob_get_data(blob, &length);
      if (data && length) {
        bytes->assign(data, length);
        const hb_map_t* map = hb_subset_plan_old_to_new_glyph_mapping(plan);
        newIds->clear();
        ok = true;
        for (uint16_t g : glyphs) {
          const hb_codepoint_t n = hb_map_get(map, g);
          if (n == HB_MAP_VALUE_INVALID || n > 0xFFFF) ok = false;
          else (*newIds)[g] = uint16_t(n);
        }
      }
      hb_blob_destroy(blob);
      hb_face_destroy(out);
    }
    hb_subset_plan_destroy(plan);
  }
  hb_subset_input_destroy(input);
  if (ok) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (cache.size() >= 64) cache.clear();
    cache[key] = Made{*bytes, *newIds};
  }
  return ok;
}

std::string StandardFontResource(const std::string& baseFont) {
  if (baseFont == "Helvetica") return "Helv";
  std::string r = "Kw";
  for (char c : baseFont)
    if (std::isalnum(static_cast<unsigned char>(c))) r += c;
  return r;
}

namespace {

// UTF-16 text by code point; a lone surrogate stands for itself.
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) out += ks::NextCodePoint(text, &i);
  return out;
}

void AppendNumber(std::string& out, double v) { ks::AppendFixed(out, v, 3); }

std::string Hex4(unsigned v) {
  static const char* const digits = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 15];
  return s;
}

std::string Utf16Hex(char32_t c) {
  std::u16string units;
  ks::AppendUtf16(units, c);
  std::string hex;
  for (char16_t unit : units) hex += Hex4(unit);
  return hex;
}

float Finite(float v, float lo, float hi, float fallback) { return std::isfinite(v) && v >= lo && v <= hi ? v : fallback; }

// The slant given to italic text drawn with an upright face (12 degrees).
constexpr float kSlant = 0.2126f;

}  // namespace

void TextLayout::AddRun(std::string_view family, bool bold, bool italic, float size, std::u16string_view text) {
  RunStyle style;
  style.family = std::string(family);
  style.bold = bold;
  style.italic = italic;
  style.size = size;
  AddStyledRun(style, text);
}

void TextLayout::AddStyledRun(const RunStyle& in, std::u16string_view text) {
  Run run;
  run.style = in;
  RunStyle& s = run.style;
  s.size = Finite(s.size, 1e-3f, 2000, 9.0f);
  s.rise = Finite(s.rise, -4 * s.size, 4 * s.size, 0);
  s.charSpacing = Finite(s.charSpacing, -s.size, 4 * s.size, 0);
  if (s.align < -1 || s.align > int(TextAlign::kJustify)) s.align = -1;
  for (float& c : s.color) c = Finite(c, 0, 1, 0);
  run.baseFont = FontService::StandardName(s.family, s.bold, s.italic);
  AfmFont const* afm = FontService::Application().Font(run.baseFont);
  float asc = 718, desc = -207, under = -100, thick = 50, xHeight = 523;
  if (afm && afm->metrics.ascent > 0) {
    asc = afm->metrics.ascent;
    desc = afm->metrics.descent;
    under = afm->underlinePosition;
    thick = afm->underlineThickness;
    if (afm->metrics.xHeight > 0) xHeight = afm->metrics.xHeight;
  }
  const float k = s.size / 1000;
  run.ascent = std::max(0.0f, asc * k + s.rise);
  run.descent = std::min(0.0f, desc * k + s.rise);
  run.lineThickness = thick * k;
  run.underlineY = under * k;
  run.strikeY = xHeight * k / 2;
  UnicodeFont* sans = UnicodeFont::Get(s.bold ? UnicodeFace::kSansBold : UnicodeFace::kSans);
  for (char32_t c : CodePoints(text)) {
    Glyph g{c, 0, -1, 0};
    if (c == U'\n' || c == U'\r') {
      run.glyphs.push_back(g);
      continue;
    }
    if (c < 0x20 || c == 0x7F) c = g.c = U' ';
    if (afm && FontService::HasGlyph(*afm, c)) {
      g.code = FontService::Encode(*afm, c);
      g.width = FontService::CharWidth(*afm, c) * k;
    } else {
      UnicodeFont* font = nullptr;
      for (UnicodeFace face : {s.bold ? UnicodeFace::kSansBold : UnicodeFace::kSans, UnicodeFace::kCjk}) {
        UnicodeFont* f = UnicodeFont::Get(face);
        if (f && f->Glyph(c)) {
          font = f;
          g.face = int8_t(face);
          g.code = f->Glyph(c);
          break;
        }
      }
      if (!font) {
        const int found = UnicodeFont::Find(c, s.bold);
        if (UnicodeFont* f = found >= 0 ? UnicodeFont::At(found) : nullptr) {
          font = f;
          g.face = int8_t(found);
          g.code = f->Glyph(c);
        }
      }
      if (!font && sans) {  // the missing-glyph box
        font = sans;
        g.face = int8_t(s.bold ? UnicodeFace::kSansBold : UnicodeFace::kSans);
        g.code = 0;
      }
      if (font) {
        g.width = font->Advance(g.code) * k;
      } else {
        g.code = '?';
        g.width = afm ? FontService::CharWidth(*afm, U'?') * k : s.size / 2;
      }
    }
    if (!std::isfinite(g.width) || g.width < 0) g.width = 0;
    run.glyphs.push_back(g);
  }
  MeasureShapedWords(run);
  runs_.push_back(std::move(run));
  subsetsMade_ = false;
}

int TextLayout::Arrange(float maxWidth, TextAlign align, float spacing) {
  lines_.clear();
  subsetsMade_ = false;
  struct Item {
    size_t run, index;
  };
  const bool wrap = std::isfinite(maxWidth) && maxWidth > 0;
  if (!std::isfinite(spacing) || spacing <= 0 || spacing > 10) spacing = 1;
  std::vector<Item> line;
  float width = 0;
  size_t lastSpace = SIZE_MAX;
  // The alignment of the paragraph being broken, from the run of its first
  // character; kUnsetParagraph until one is seen.
  constexpr int kUnsetParagraph = -2;
  int paragraphAlign = kUnsetParagraph;
  auto widthOf = [&](const Item& it) { return Advance(runs_[it.run].glyphs[it.index], runs_[it.run]); };
  auto emit = [&](std::vector<Item>::const_iterator b, std::vector<Item>::const_iterator e, size_t lastRun,
                  bool paragraphEnd) {
    Line l;
    l.paragraphEnd = paragraphEnd;
    l.align = paragraphAlign == kUnsetParagraph ? -1 : paragraphAlign;
    for (auto i = b; i != e; ++i) {
      const Glyph& g = runs_[i->run].glyphs[i->index];
      if (!l.pieces.empty() && l.pieces.back().run == i->run && l.pieces.back().end == i->index &&
          g.face == runs_[i->run].glyphs[i->index - 1].face) {
        l.pieces.back().end = i->index + 1;
      } else {
        l.pieces.push_back({i->run, i->index, i->index + 1});
      }
      l.width += widthOf(*i);
    }
    // Trailing spaces take no room.
    while (!l.pieces.empty()) {
      Piece& p = l.pieces.back();
      const Run& r = runs_[p.run];
      if (r.glyphs[p.end - 1].c != U' ') break;
      l.width -= Advance(r.glyphs[p.end - 1], r);
      if (--p.end == p.begin) l.pieces.pop_back();
    }
    std::set<size_t> used;
    for (const Piece& p : l.pieces) used.insert(p.run);
    if (used.empty() && !runs_.empty()) used.insert(std::min(lastRun, runs_.size() - 1));
    for (size_t r : used) {
      l.ascent = std::max(l.ascent, runs_[r].ascent);
      l.descent = std::min(l.descent, runs_[r].descent);
    }
    lines_.push_back(std::move(l));
  };
  size_t lastRun = 0;
  for (size_t r = 0; r < runs_.size(); ++r) {
    for (size_t i = 0; i < runs_[r].glyphs.size(); ++i) {
      lastRun = r;
      const char32_t c = runs_[r].glyphs[i].c;
      if (c == U'\r' || c == U'\n') {
        // "\r\n" is one line end.
        if (c == U'\n' && i > 0 && runs_[r].glyphs[i - 1].c == U'\r') continue;
        emit(line.begin(), line.end(), r, true);
        line.clear();
        width = 0;
        lastSpace = SIZE_MAX;
        paragraphAlign = kUnsetParagraph;
        continue;
      }
      if (paragraphAlign == kUnsetParagraph) paragraphAlign = runs_[r].style.align;
      Item it{r, i};
      const float w = widthOf(it);
      if (wrap && width + w > maxWidth && !line.empty() && c != U' ') {
        if (lastSpace != SIZE_MAX) {
          emit(line.begin(), line.begin() + long(lastSpace), r, false);
          line.erase(line.begin(), line.begin() + long(lastSpace) + 1);
          width = 0;
          for (const Item& x : line) width += widthOf(x);
          lastSpace = SIZE_MAX;
        }
        if (width + w > maxWidth && !line.empty()) {
          // A word longer than the line breaks where it reaches the edge.
          emit(line.begin(), line.end(), r, false);
          line.clear();
          width = 0;
        }
      }
      if (c == U' ') lastSpace = line.size();
      line.push_back(it);
      width += w;
    }
  }
  emit(line.begin(), line.end(), lastRun, true);

  ReorderAndShape(align);
  boxWidth_ = wrap ? maxWidth : 0;
  for (const Line& l : lines_) boxWidth_ = std::max(boxWidth_, l.width);
  float y = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    Line& l = lines_[i];
    // Single spacing leaves 15% of the line's height between lines.
    const float height = l.ascent - l.descent;
    const float gap = i == 0 ? 0 : std::max(-0.5f * height, height * (1.15f * spacing - 1));
    y -= l.ascent + gap;
    l.y = y;
    y += l.descent;
    const float room = boxWidth_ - l.width;
    const TextAlign own = l.align >= 0 && l.align <= int(TextAlign::kJustify) ? TextAlign(l.align) : align;
    l.x = own == TextAlign::kCentre ? room / 2 : own == TextAlign::kRight ? room : 0;
    int spaces = 0;
    for (const Piece& p : l.pieces)
      for (size_t g = p.begin; g < p.end; ++g) spaces += runs_[p.run].glyphs[g].c == U' ';
    if (own == TextAlign::kJustify && wrap && !l.paragraphEnd && spaces > 0 && room > 0) {
      l.spaceExtra = room / float(spaces);
      l.width = boxWidth_;
    }
    float x = 0;
    for (Piece& p : l.pieces) {
      p.x = x;
      p.width = 0;
      const Run& r = runs_[p.run];
      for (const Glyph& g : GlyphsOf(p))
        p.width += Advance(g, r) + (g.c == U' ' ? l.spaceExtra : 0);
      x += p.width;
    }
  }
  boxHeight_ = -y;
  return int(lines_.size());
}

KS_FloatRect TextLayout::Box() const { return KS_FloatRect{0, -boxHeight_, boxWidth_, 0}; }

bool TextLayout::Caret(KS_FloatRect* out) const {
  // A layout without text has one line of no height.
  if (lines_.empty() || !(lines_.back().ascent > lines_.back().descent)) return false;
  const Line& l = lines_.back();
  const float x = l.x + l.width;
  *out = KS_FloatRect{x, l.y + l.descent, x, l.y + l.ascent};
  return true;
}

void TextLayout::MakeSubsets() const {
  if (subsetsMade_) return;
  subsetsMade_ = true;
  std::set<uint16_t> used[kMaxUnicodeFaces];
  std::map<uint16_t, char32_t> chars[kMaxUnicodeFaces];
  for (const Line& l : lines_)
    for (const Piece& p : l.pieces)
      for (const Glyph& g : GlyphsOf(p)) {
        if (g.face < 0) continue;
        used[g.face].insert(g.code);
        if (g.code != 0) chars[g.face].emplace(g.code, g.c);
      }
  for (int f = 0; f < kMaxUnicodeFaces; ++f) {
    Subset& s = subsets_[f];
    s = Subset();
    UnicodeFont* font = used[f].empty() ? nullptr : UnicodeFont::At(f);
    if (used[f].empty() || !font) continue;
    used[f].insert(0);
    if (!font->Subset(used[f], &s.bytes, &s.newIds)) {
      // Whole font, glyph ids unchanged.
      s.bytes = font->Bytes();
      s.newIds.clear();
      for (uint16_t g : used[f]) s.newIds[g] = g;
    }
    // The tag names the subset: the same glyphs of the same face give the
    // same name, so layouts of one document can share the font.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    for (char c : font->PostScriptName()) mix(uint8_t(c));
    for (const auto& [old, now] : s.newIds) mix((uint64_t(old) << 16) | now);
    std::string tag;
    for (int i = 0; i < 6; ++i, h /= 26) tag += char('A' + h % 26);
    s.baseFont = tag + "+" + font->PostScriptName();
    s.resource = "Kw" + tag;
    for (const auto& [old, now] : s.newIds) {
      auto c = chars[f].find(old);
      s.glyphs[now] = {font->Advance(old), c == chars[f].end() ? char32_t(0) : c->second};
    }
    s.made = true;
  }
}

std::string TextLayout::Content() const {
  MakeSubsets();
  struct State {
    std::string font;
    float size = -1, tc = 0, ts = 0;
  } st;
  struct Decoration {
    size_t run, line;
    float x, y, w, h;
  };
  std::vector<Decoration> decorations;
  std::string out;
  for (size_t li = 0; li < lines_.size(); ++li) {
    const Line& l = lines_[li];
    for (const Piece& p : l.pieces) {
      const Run& run = runs_[p.run];
      const RunStyle& s = run.style;
      const std::vector<Glyph> drawn = GlyphsOf(p);
      if (drawn.empty()) continue;
      const int face = drawn.front().face;
      if (face >= 0 && !subsets_[face].made) continue;
      const std::string res = face < 0 ? StandardFontResource(run.baseFont) : subsets_[face].resource;
      const State saved = st;
      if (s.hasColor) {
        // Own colour inside q ... Q, so later runs get the caller's back.
        out += "ET\nq\nBT\n";
        for (float c : s.color) {
          AppendNumber(out, c);
          out += ' ';
        }
        out += "rg\n";
      }
      if (res != st.font || s.size != st.size) {
        out += "/" + res + " ";
        AppendNumber(out, s.size);
        out += " Tf\n";
        st.font = res;
        st.size = s.size;
      }
      if (s.charSpacing != st.tc) {
        AppendNumber(out, st.tc = s.charSpacing);
        out += " Tc\n";
      }
      if (s.rise != st.ts) {
        AppendNumber(out, st.ts = s.rise);
        out += " Ts\n";
      }
      if (p.actualText) {
        out += "/Span << /ActualText <FEFF";
        for (size_t i = p.begin; i < p.end; ++i) out += Utf16Hex(run.glyphs[i].c);
        out += "> >> BDC\n";
      }
      out += (s.italic && face >= 0) ? "1 0 0.213 1 " : "1 0 0 1 ";
      AppendNumber(out, l.x + p.x);
      out += ' ';
      AppendNumber(out, l.y);
      out += " Tm\n";
      bool stretched = l.spaceExtra > 0;
      const char open = face < 0 ? '(' : '<', close = face < 0 ? ')' : '>';
      std::string text(1, open);
      for (size_t i = 0; i < drawn.size(); ++i) {
        const Glyph& g = drawn[i];
        float shift = 0;  // thousandths of the size the next glyph moves left by
        if (face < 0) {
          const char c = static_cast<char>(g.code);
          if (c == '(' || c == ')' || c == '\\') text += '\\';
          text += c;
        } else {
          auto id = subsets_[face].newIds.find(g.code);
          const uint16_t now = id == subsets_[face].newIds.end() ? 0 : id->second;
          text += Hex4(now);
          if (p.shaped) {
            // A shaped advance (kerning, a joined form) that differs from
            // the glyph's own width moves the next glyph.
            auto w = subsets_[face].glyphs.find(now);
            const float nominal = w == subsets_[face].glyphs.end() ? 0 : w->second.first;
            shift = nominal - g.width * 1000 / s.size;
          }
        }
        if (std::fabs(shift) > 0.01f && i + 1 < drawn.size()) {
          text += close;
          text += ' ';
          AppendNumber(text, shift);
          text += ' ';
          text += open;
          stretched = true;
        }
        if (l.spaceExtra > 0 && g.c == U' ' && i + 1 < drawn.size()) {
          // Word spacing (Tw) reaches only single-byte spaces: widen each
          // space by moving the next glyph, in thousandths of the size.
          text += close;
          text += ' ';
          AppendNumber(text, -l.spaceExtra * 1000 / s.size);
          text += ' ';
          text += open;
        }
      }
      text += close;
      out += stretched ? "[" + text + "] TJ\n" : text + " Tj\n";
      if (p.actualText) out += "EMC\n";
      if (s.hasColor) {
        out += "ET\nQ\nBT\n";
        st = saved;
      }
      for (int which = 0; which < 2; ++which) {
        if (!(which == 0 ? s.underline : s.strike)) continue;
        const float y = l.y + s.rise + (which == 0 ? run.underlineY : run.strikeY) - run.lineThickness / 2;
        const float x = l.x + p.x;
        Decoration* last = decorations.empty() ? nullptr : &decorations.back();
        if (last && last->run == p.run && last->line == li && std::fabs(last->y - y) < 1e-4f &&
            std::fabs(last->x + last->w - x) < 1e-3f)
          last->w += p.width;
        else
          decorations.push_back({p.run, li, x, y, p.width, run.lineThickness});
      }
    }
  }
  if (!decorations.empty()) {
    // Filled rectangles need a path, outside the text object: the runs
    // without a colour of their own first, in the caller's colour.
    out += "ET\nq\n";
    std::stable_sort(decorations.begin(), decorations.end(), [&](const Decoration& a, const Decoration& b) {
      return !runs_[a.run].style.hasColor && runs_[b.run].style.hasColor;
    });
    for (const Decoration& d : decorations) {
      const RunStyle& s = runs_[d.run].style;
      if (s.hasColor) {
        for (float c : s.color) {
          AppendNumber(out, c);
          out += ' ';
        }
        out += "rg\n";
      }
      for (float v : {d.x, d.y, d.w, d.h}) {
        AppendNumber(out, v);
        out += ' ';
      }
      out += "re f\n";
    }
    out += "Q\nBT\n";
  }
  if (st.tc != 0) out += "0 Tc\n";
  if (st.ts != 0) out += "0 Ts\n";
  return out;
}

namespace {

QPDFObjectHandle Name(const std::string& n) { return QPDFObjectHandle::newName(n); }
QPDFObjectHandle Real(double v) { return QPDFObjectHandle::newReal(v, 3, true); }

}  // namespace

bool TextLayout::AddResources(pdf::Document& doc, QPDFObjectHandle fonts) const {
  if (!fonts.isDictionary()) return false;
  MakeSubsets();
  std::map<std::string, std::string> standard;  // resource -> base font
  bool unicode[kMaxUnicodeFaces] = {};
  for (const Line& l : lines_)
    for (const Piece& p : l.pieces) {
      const Run& run = runs_[p.run];
      const std::vector<Glyph> drawn = GlyphsOf(p);
      if (drawn.empty()) continue;
      const int face = drawn.front().face;
      if (face < 0) standard[StandardFontResource(run.baseFont)] = run.baseFont;
      else unicode[face] = subsets_[face].made;
    }
  QPDF& q = doc.qpdf();
  for (const auto& [res, base] : standard) {
    QPDFObjectHandle font = QPDFObjectHandle::newDictionary();
    font.replaceKey("/Type", Name("/Font"));
    font.replaceKey("/Subtype", Name("/Type1"));
    font.replaceKey("/BaseFont", Name("/" + base));
    if (base != "Symbol" && base != "ZapfDingbats") font.replaceKey("/Encoding", Name("/WinAnsiEncoding"));
    fonts.replaceKey("/" + res, q.makeIndirectObject(font));
  }
  // A subset made once per document is found again by its name.
  static std::mutex mutex;
  static std::unordered_map<const QPDF*, std::map<std::string, QPDFObjGen>> made;
  for (int f = 0; f < kMaxUnicodeFaces; ++f) {
    if (!unicode[f]) continue;
    const Subset& s = subsets_[f];
    UnicodeFont* font = UnicodeFont::At(f);
    if (!font) continue;
    const std::string base = "/" + s.baseFont;
    {
      std::lock_guard<std::mutex> lock(mutex);
      auto found = made[&q].find(s.baseFont);
      if (found != made[&q].end()) {
        QPDFObjectHandle old = q.getObject(found->second);
        // A later document may live at the same address: check it is ours.
        if (old.isDictionary() && old.getKey("/BaseFont").isNameAndEquals(base)) {
          fonts.replaceKey("/" + s.resource, old);
          continue;
        }
      }
    }
    QPDFObjectHandle file = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, s.bytes));
    file.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(s.bytes.size())));

    QPDFObjectHandle desc = QPDFObjectHandle::newDictionary();
    desc.replaceKey("/Type", Name("/FontDescriptor"));
    desc.replaceKey("/FontName", Name(base));
    desc.replaceKey("/Flags", QPDFObjectHandle::newInteger(4));  // symbolic: glyphs by id
    QPDFObjectHandle bbox = QPDFObjectHandle::newArray();
    for (float v : font->bbox) bbox.appendItem(Real(v));
    desc.replaceKey("/FontBBox", bbox);
    desc.replaceKey("/ItalicAngle", QPDFObjectHandle::newInteger(0));
    desc.replaceKey("/Ascent", Real(font->ascent));
    desc.replaceKey("/Descent", Real(font->descent));
    desc.replaceKey("/CapHeight", Real(font->capHeight));
    desc.replaceKey("/StemV", QPDFObjectHandle::newInteger(font->bold ? 120 : 80));
    desc.replaceKey("/FontFile2", file);

    // Widths of consecutive ids share one array.
    std::vector<std::pair<uint16_t, std::vector<float>>> groups;
    std::vector<std::pair<uint16_t, char32_t>> map;
    for (const auto& [id, wc] : s.glyphs) {
      if (groups.empty() || groups.back().first + groups.back().second.size() != id) groups.push_back({id, {}});
      groups.back().second.push_back(wc.first);
      if (wc.second) map.emplace_back(id, wc.second);
    }
    QPDFObjectHandle widths = QPDFObjectHandle::newArray();
    for (const auto& [first, ws] : groups) {
      widths.appendItem(QPDFObjectHandle::newInteger(first));
      QPDFObjectHandle list = QPDFObjectHandle::newArray();
      for (float w : ws) list.appendItem(Real(w));
      widths.appendItem(list);
    }
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (size_t i = 0; i < map.size(); i += 100) {
      const size_t n = std::min<size_t>(100, map.size() - i);
      cmap += std::to_string(n) + " beginbfchar\n";
      for (size_t k = i; k < i + n; ++k) cmap += "<" + Hex4(map[k].first) + "> <" + Utf16Hex(map[k].second) + ">\n";
      cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";

    QPDFObjectHandle info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Registry", QPDFObjectHandle::newString("Adobe"));
    info.replaceKey("/Ordering", QPDFObjectHandle::newString("Identity"));
    info.replaceKey("/Supplement", QPDFObjectHandle::newInteger(0));
    QPDFObjectHandle cid = QPDFObjectHandle::newDictionary();
    cid.replaceKey("/Type", Name("/Font"));
    cid.replaceKey("/Subtype", Name("/CIDFontType2"));
    cid.replaceKey("/BaseFont", Name(base));
    cid.replaceKey("/CIDSystemInfo", info);
    cid.replaceKey("/FontDescriptor", q.makeIndirectObject(desc));
    cid.replaceKey("/W", widths);
    cid.replaceKey("/CIDToGIDMap", Name("/Identity"));

    QPDFObjectHandle type0 = QPDFObjectHandle::newDictionary();
    type0.replaceKey("/Type", Name("/Font"));
    type0.replaceKey("/Subtype", Name("/Type0"));
    type0.replaceKey("/BaseFont", Name(base));
    type0.replaceKey("/Encoding", Name("/Identity-H"));
    QPDFObjectHandle descendants = QPDFObjectHandle::newArray();
    descendants.appendItem(q.makeIndirectObject(cid));
    type0.replaceKey("/DescendantFonts", descendants);
    type0.replaceKey("/ToUnicode", q.makeIndirectObject(QPDFObjectHandle::newStream(&q, cmap)));
    QPDFObjectHandle dict = q.makeIndirectObject(type0);
    fonts.replaceKey("/" + s.resource, dict);
    std::lock_guard<std::mutex> lock(mutex);
    made[&q][s.baseFont] = dict.getObjGen();
  }
  return true;
}

}  // namespace kshost
