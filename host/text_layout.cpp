#include "host/text_layout.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <unordered_map>

#include "host/font_service.h"
#include "host/pdf_document.h"
#include "sdk/ks_number.h"

namespace kshost {

struct UnicodeFont::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  float unitsPerEm = 1000;
  ~Face() {
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

std::string FontFolder() {
  if (const char* dir = std::getenv("ANNOT_UNICODE_FONT_DIR"); dir && *dir) return dir;
  return "/usr/share/fonts/truetype/dejavu";
}

}  // namespace

UnicodeFont* UnicodeFont::ForStyle(bool bold) {
  static std::mutex mutex;
  static std::unique_ptr<UnicodeFont> fonts[2];
  static bool tried[2] = {false, false};
  std::lock_guard<std::mutex> lock(mutex);
  const int i = bold ? 1 : 0;
  if (!tried[i]) {
    tried[i] = true;
    fonts[i] = Load(FontFolder() + (bold ? "/DejaVuSans-Bold.ttf" : "/DejaVuSans.ttf"), bold);
  }
  return fonts[i].get();
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
  FT_UInt g = FT_Get_Char_Index(face_->face, FT_ULong(c));
  return g > 0xFFFF ? 0 : uint16_t(g);
}

float UnicodeFont::Advance(uint16_t glyph) const {
  if (FT_Load_Glyph(face_->face, glyph, FT_LOAD_NO_SCALE)) return 0;
  return float(face_->face->glyph->metrics.horiAdvance) * 1000.0f / face_->unitsPerEm;
}

std::string StandardFontResource(const std::string& baseFont) {
  if (baseFont == "Helvetica") return "Helv";
  std::string r = "Kw";
  for (char c : baseFont)
    if (std::isalnum(static_cast<unsigned char>(c))) r += c;
  return r;
}

std::string UnicodeFontResource(bool bold) { return bold ? "KwUniB" : "KwUni"; }

namespace {

// UTF-16 text by code point; a lone surrogate stands for itself.
std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    out += c;
  }
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
  if (c < 0x10000) return Hex4(unsigned(c));
  c -= 0x10000;
  return Hex4(0xD800 + unsigned(c >> 10)) + Hex4(0xDC00 + unsigned(c & 0x3FF));
}

}  // namespace

void TextLayout::AddRun(std::string_view family, bool bold, bool italic, float size, std::u16string_view text) {
  Run run;
  run.bold = bold;
  run.size = std::isfinite(size) && size > 0 && size < 2000 ? size : 9.0f;
  run.baseFont = FontService::StandardName(family, bold, italic);
  AfmFont const* afm = FontService::Application().Font(run.baseFont);
  UnicodeFont* uni = UnicodeFont::ForStyle(bold);
  float asc = 718, desc = -207;
  if (afm && afm->metrics.ascent > 0) {
    asc = afm->metrics.ascent;
    desc = afm->metrics.descent;
  }
  run.ascent = asc * run.size / 1000;
  run.descent = desc * run.size / 1000;
  for (char32_t c : CodePoints(text)) {
    Glyph g{c, 0, false, 0};
    if (c == U'\n' || c == U'\r') {
      run.glyphs.push_back(g);
      continue;
    }
    if (c < 0x20 || c == 0x7F) c = g.c = U' ';
    if (afm && FontService::HasGlyph(*afm, c)) {
      g.code = FontService::Encode(*afm, c);
      g.width = FontService::CharWidth(*afm, c) * run.size / 1000;
    } else if (uni) {
      g.unicode = true;
      g.code = uni->Glyph(c);
      g.width = uni->Advance(g.code) * run.size / 1000;
    } else {
      g.code = '?';
      g.width = afm ? FontService::CharWidth(*afm, U'?') * run.size / 1000 : run.size / 2;
    }
    if (!std::isfinite(g.width) || g.width < 0) g.width = 0;
    run.glyphs.push_back(g);
  }
  runs_.push_back(std::move(run));
}

int TextLayout::Arrange(float maxWidth, TextAlign align, float spacing) {
  lines_.clear();
  struct Item {
    size_t run, index;
  };
  const bool wrap = std::isfinite(maxWidth) && maxWidth > 0;
  if (!std::isfinite(spacing) || spacing <= 0 || spacing > 10) spacing = 1;
  std::vector<Item> line;
  float width = 0;
  size_t lastSpace = SIZE_MAX;
  auto widthOf = [&](const Item& it) { return runs_[it.run].glyphs[it.index].width; };
  auto emit = [&](std::vector<Item>::const_iterator b, std::vector<Item>::const_iterator e, size_t lastRun) {
    Line l;
    for (auto i = b; i != e; ++i) {
      if (!l.pieces.empty() && l.pieces.back().run == i->run && l.pieces.back().end == i->index &&
          runs_[i->run].glyphs[i->index].unicode == runs_[i->run].glyphs[i->index - 1].unicode) {
        l.pieces.back().end = i->index + 1;
      } else {
        l.pieces.push_back({i->run, i->index, i->index + 1});
      }
      l.width += widthOf(*i);
    }
    // Trailing spaces take no room.
    while (!l.pieces.empty()) {
      Piece& p = l.pieces.back();
      if (runs_[p.run].glyphs[p.end - 1].c != U' ') break;
      l.width -= runs_[p.run].glyphs[p.end - 1].width;
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
        emit(line.begin(), line.end(), r);
        line.clear();
        width = 0;
        lastSpace = SIZE_MAX;
        continue;
      }
      Item it{r, i};
      const float w = widthOf(it);
      if (wrap && width + w > maxWidth && !line.empty() && c != U' ') {
        if (lastSpace != SIZE_MAX) {
          emit(line.begin(), line.begin() + long(lastSpace), r);
          line.erase(line.begin(), line.begin() + long(lastSpace) + 1);
          width = 0;
          for (const Item& x : line) width += widthOf(x);
          lastSpace = SIZE_MAX;
        }
        if (width + w > maxWidth && !line.empty()) {
          // A word longer than the line breaks where it reaches the edge.
          emit(line.begin(), line.end(), r);
          line.clear();
          width = 0;
        }
      }
      if (c == U' ') lastSpace = line.size();
      line.push_back(it);
      width += w;
    }
  }
  emit(line.begin(), line.end(), lastRun);

  boxWidth_ = wrap ? maxWidth : 0;
  for (const Line& l : lines_) boxWidth_ = std::max(boxWidth_, l.width);
  float y = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    Line& l = lines_[i];
    const float gap = i == 0 ? 0 : (l.ascent - l.descent) * 0.15f * spacing;
    y -= l.ascent + gap;
    l.y = y;
    y += l.descent;
    const float room = boxWidth_ - l.width;
    l.x = align == TextAlign::kCentre ? room / 2 : align == TextAlign::kRight ? room : 0;
  }
  boxHeight_ = -y;
  return int(lines_.size());
}

KS_FloatRect TextLayout::Box() const { return KS_FloatRect{0, -boxHeight_, boxWidth_, 0}; }

std::string TextLayout::Content() const {
  std::string out;
  float cx = 0, cy = 0;
  std::string font;
  float size = -1;
  for (const Line& l : lines_) {
    if (l.pieces.empty()) continue;
    AppendNumber(out, l.x - cx);
    out += ' ';
    AppendNumber(out, l.y - cy);
    out += " Td\n";
    cx = l.x;
    cy = l.y;
    for (const Piece& p : l.pieces) {
      const Run& run = runs_[p.run];
      const bool uni = run.glyphs[p.begin].unicode;
      std::string res = uni ? UnicodeFontResource(run.bold) : StandardFontResource(run.baseFont);
      if (res != font || run.size != size) {
        out += "/" + res + " ";
        AppendNumber(out, run.size);
        out += " Tf\n";
        font = res;
        size = run.size;
      }
      if (uni) {
        out += '<';
        for (size_t i = p.begin; i < p.end; ++i) out += Hex4(run.glyphs[i].code);
        out += "> Tj\n";
      } else {
        out += '(';
        for (size_t i = p.begin; i < p.end; ++i) {
          char c = static_cast<char>(run.glyphs[i].code);
          if (c == '(' || c == ')' || c == '\\') out += '\\';
          out += c;
        }
        out += ") Tj\n";
      }
    }
  }
  return out;
}

namespace {

QPDFObjectHandle Name(const std::string& n) { return QPDFObjectHandle::newName(n); }

// The font file of a face in `doc`, made once per document and found again
// by its object number.
QPDFObjectHandle FontFileOf(pdf::Document& doc, const UnicodeFont& font) {
  static std::mutex mutex;
  static std::unordered_map<const QPDF*, std::map<bool, QPDFObjGen>> made;
  std::lock_guard<std::mutex> lock(mutex);
  QPDF& q = doc.qpdf();
  auto& entry = made[&q];
  const auto size = static_cast<long long>(font.Bytes().size());
  auto found = entry.find(font.bold);
  if (found != entry.end()) {
    QPDFObjectHandle old = q.getObject(found->second);
    // A later document may live at the same address: check it is ours.
    if (old.isStream() && old.getDict().getKey("/Length1").isInteger() &&
        old.getDict().getKey("/Length1").getIntValue() == size &&
        old.getDict().getKey("/KwFace").isNameAndEquals("/" + font.PostScriptName()))
      return old;
  }
  QPDFObjectHandle file = q.makeIndirectObject(QPDFObjectHandle::newStream(&q, font.Bytes()));
  file.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(size));
  file.getDict().replaceKey("/KwFace", Name("/" + font.PostScriptName()));
  entry[font.bold] = file.getObjGen();
  return file;
}

QPDFObjectHandle Real(double v) { return QPDFObjectHandle::newReal(v, 3, true); }

QPDFObjectHandle UnicodeFontDict(pdf::Document& doc, const UnicodeFont& font,
                                 const std::map<uint16_t, std::pair<float, char32_t>>& glyphs) {
  QPDF& q = doc.qpdf();
  const std::string base = "/" + font.PostScriptName();
  QPDFObjectHandle desc = QPDFObjectHandle::newDictionary();
  desc.replaceKey("/Type", Name("/FontDescriptor"));
  desc.replaceKey("/FontName", Name(base));
  desc.replaceKey("/Flags", QPDFObjectHandle::newInteger(32));
  QPDFObjectHandle bbox = QPDFObjectHandle::newArray();
  for (float v : font.bbox) bbox.appendItem(Real(v));
  desc.replaceKey("/FontBBox", bbox);
  desc.replaceKey("/ItalicAngle", QPDFObjectHandle::newInteger(0));
  desc.replaceKey("/Ascent", Real(font.ascent));
  desc.replaceKey("/Descent", Real(font.descent));
  desc.replaceKey("/CapHeight", Real(font.capHeight));
  desc.replaceKey("/StemV", QPDFObjectHandle::newInteger(font.bold ? 120 : 80));
  desc.replaceKey("/FontFile2", FontFileOf(doc, font));

  QPDFObjectHandle widths = QPDFObjectHandle::newArray();
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::pair<uint16_t, char32_t>> map;
  for (const auto& [gid, wc] : glyphs) {
    widths.appendItem(QPDFObjectHandle::newInteger(gid));
    QPDFObjectHandle w = QPDFObjectHandle::newArray();
    w.appendItem(Real(wc.first));
    widths.appendItem(w);
    if (gid != 0) map.emplace_back(gid, wc.second);
  }
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
  return q.makeIndirectObject(type0);
}

}  // namespace

bool TextLayout::AddResources(pdf::Document& doc, QPDFObjectHandle fonts) const {
  if (!fonts.isDictionary()) return false;
  std::map<std::string, std::string> standard;  // resource -> base font
  std::map<bool, std::map<uint16_t, std::pair<float, char32_t>>> unicode;
  for (const Line& l : lines_) {
    for (const Piece& p : l.pieces) {
      const Run& run = runs_[p.run];
      if (!run.glyphs[p.begin].unicode) {
        standard[StandardFontResource(run.baseFont)] = run.baseFont;
        continue;
      }
      UnicodeFont* font = UnicodeFont::ForStyle(run.bold);
      if (!font) continue;
      for (size_t i = p.begin; i < p.end; ++i)
        unicode[run.bold][run.glyphs[i].code] = {font->Advance(run.glyphs[i].code), run.glyphs[i].c};
    }
  }
  for (const auto& [res, base] : standard) {
    QPDFObjectHandle font = QPDFObjectHandle::newDictionary();
    font.replaceKey("/Type", Name("/Font"));
    font.replaceKey("/Subtype", Name("/Type1"));
    font.replaceKey("/BaseFont", Name("/" + base));
    if (base != "Symbol" && base != "ZapfDingbats") font.replaceKey("/Encoding", Name("/WinAnsiEncoding"));
    fonts.replaceKey("/" + res, doc.qpdf().makeIndirectObject(font));
  }
  for (const auto& [bold, glyphs] : unicode) {
    UnicodeFont* font = UnicodeFont::ForStyle(bold);
    if (font) fonts.replaceKey("/" + UnicodeFontResource(bold), UnicodeFontDict(doc, *font, glyphs));
  }
  return true;
}

}  // namespace kshost
