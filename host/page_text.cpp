#include "host/page_text.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include "host/angled_text.h"
#include "host/guard.h"
#include "host/pdf_handles.h"
#include "host/host_functions.h"
#include "host/page_layers.h"
#include "host/session.h"

namespace kshost {
namespace {

// poppler reports damaged input on stderr by default; the caller reports
// what matters.
void Quiet(const std::string&, void*) {}

// Whether a word starts a new line after `prev`: its middle lies outside the
// previous word's extent across the text, or it goes back along it.
bool NewLine(const poppler::rectf& prev, int prevRot, const poppler::rectf& box, int rot) {
  if (rot != prevRot) return true;
  const bool across = rot == 0 || rot == 2;  // text runs along x
  const double mid = across ? box.y() + box.height() / 2 : box.x() + box.width() / 2;
  const double lo = across ? prev.y() : prev.x();
  const double hi = lo + (across ? prev.height() : prev.width());
  if (mid < lo || mid > hi) return true;
  switch (rot) {
    case 0: return box.x() < prev.x();
    case 1: return box.y() < prev.y();
    case 2: return box.x() > prev.x();
    default: return box.y() > prev.y();
  }
}

}  // namespace

KS_FloatPoint UserPointOfTextSpace(const KS_FloatRect& crop, int rotation, double x, double y) {
  const double x0 = std::min(crop.left, crop.right), x1 = std::max(crop.left, crop.right);
  const double y0 = std::min(crop.bottom, crop.top), y1 = std::max(crop.bottom, crop.top);
  double ux = 0, uy = 0;
  switch (((rotation % 360) + 360) % 360) {
    case 90: ux = x0 + y, uy = y0 + x; break;
    case 180: ux = x1 - x, uy = y0 + y; break;
    case 270: ux = x1 - y, uy = y1 - x; break;
    default: ux = x0 + x, uy = y1 - y; break;
  }
  return KS_FloatPoint{static_cast<float>(ux), static_cast<float>(uy)};
}

namespace {

// The glyphs of each page read so far, with the moment they were read. A
// page's text is what it draws without its annotations, so it stays as read
// until the page's own drawing changes (see PageLooks); a drag across text
// after another markup was made reads nothing again.
// Only the document last read is kept.
struct TextReading {
  uint64_t document = 0;
  PageLooks looks;
  struct Page {
    DocumentMoment read;
    std::vector<KS_TextGlyph> glyphs;
  };
  std::map<int, Page> pages;  // by page index
};

std::mutex& ReadingMutex() {
  static std::mutex m;
  return m;
}

TextReading& Reading() {
  static TextReading reading;
  return reading;
}

uint64_t writes = 0;

// The glyphs of page `readerPage` of poppler's `reader`, which shows page
// `pageIndex` of `doc`.
bool ReadGlyphsOf(poppler::document& reader, int readerPage, KPD_Document doc, int pageIndex,
                  std::vector<KS_TextGlyph>* out, std::string* why) {
  std::unique_ptr<poppler::page> page(reader.create_page(readerPage));
  if (!page) {
    *why = "no page " + std::to_string(pageIndex + 1);
    return false;
  }
  const poppler::rectf cropRect = page->page_rect(poppler::crop_box);
  const KS_FloatRect crop{static_cast<float>(cropRect.x()), static_cast<float>(cropRect.y()),
                          static_cast<float>(cropRect.x() + cropRect.width()),
                          static_cast<float>(cropRect.y() + cropRect.height())};
  int rotation = 0;
  switch (page->orientation()) {
    case poppler::page::landscape: rotation = 90; break;
    case poppler::page::upside_down: rotation = 180; break;
    case poppler::page::seascape: rotation = 270; break;
    default: break;
  }
  int line = -1;
  poppler::rectf prev;
  int prevRot = -1;
  for (const poppler::text_box& word : page->text_list()) {
    const poppler::rectf box = word.bbox();
    const int rot = word.rotation();
    if (line < 0 || NewLine(prev, prevRot, box, rot)) ++line;
    prev = box, prevRot = rot;
    const std::vector<char> utf8 = word.text().to_utf8();
    // One glyph a character: poppler gives a box for each.
    std::u32string chars;
    for (size_t i = 0; i < utf8.size();) {
      unsigned char c = static_cast<unsigned char>(utf8[i]);
      int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
      for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      chars.push_back(cp);
      i += static_cast<size_t>(n);
    }
    for (size_t i = 0; i < chars.size(); ++i) {
      const poppler::rectf g = word.char_bbox(i);
      if (g.width() <= 0 && g.height() <= 0) continue;
      const double l = g.x(), t = g.y(), r = g.x() + g.width(), b = g.y() + g.height();
      // Corners as the glyph stands: upper-left, upper-right, lower-left,
      // lower-right, in text space (y down).
      double c[4][2];
      switch (rot) {
        case 1: c[0][0] = r, c[0][1] = t, c[1][0] = r, c[1][1] = b, c[2][0] = l, c[2][1] = t, c[3][0] = l, c[3][1] = b; break;
        case 2: c[0][0] = r, c[0][1] = b, c[1][0] = l, c[1][1] = b, c[2][0] = r, c[2][1] = t, c[3][0] = l, c[3][1] = t; break;
        case 3: c[0][0] = l, c[0][1] = b, c[1][0] = l, c[1][1] = t, c[2][0] = r, c[2][1] = b, c[3][0] = r, c[3][1] = t; break;
        default: c[0][0] = l, c[0][1] = t, c[1][0] = r, c[1][1] = t, c[2][0] = l, c[2][1] = b, c[3][0] = r, c[3][1] = b; break;
      }
      KS_TextGlyph glyph{};
      for (int k = 0; k < 4; ++k) glyph.quad[k] = UserPointOfTextSpace(crop, rotation, c[k][0], c[k][1]);
      glyph.line = line;
      glyph.codepoint = static_cast<uint32_t>(chars[i]);
      out->push_back(glyph);
    }
  }
  // poppler boxes glyphs square to the page; text set at an angle is
  // read again along its own baseline and takes the place of what poppler
  // made of it.
  QPDFObjectHandle* pageObject = pdf::ObjectOf(direct::DocGetPage(doc, pageIndex));
  const std::vector<KS_TextGlyph> angled =
      pageObject ? ReadAngledGlyphs(*pageObject) : std::vector<KS_TextGlyph>();
  if (!angled.empty()) {
    const auto inside = [](const KS_TextGlyph& g, double x, double y) {
      const double ax = g.quad[1].x - g.quad[0].x, ay = g.quad[1].y - g.quad[0].y;
      const double ux = g.quad[0].x - g.quad[2].x, uy = g.quad[0].y - g.quad[2].y;
      const double dx = x - g.quad[2].x, dy = y - g.quad[2].y;
      const double la = ax * ax + ay * ay, lu = ux * ux + uy * uy;
      if (la <= 0 || lu <= 0) return false;
      const double s = (dx * ax + dy * ay) / la, t = (dx * ux + dy * uy) / lu;
      return s >= -0.25 && s <= 1.25 && t >= -0.25 && t <= 1.25;
    };
    std::vector<KS_TextGlyph> kept;
    for (const KS_TextGlyph& g : *out) {
      double cx = 0, cy = 0;
      for (const KS_FloatPoint& p : g.quad) cx += p.x / 4, cy += p.y / 4;
      bool covered = false;
      for (const KS_TextGlyph& a : angled) covered = covered || inside(a, cx, cy);
      if (!covered) kept.push_back(g);
    }
    int lines = 0;
    for (const KS_TextGlyph& g : kept) lines = std::max(lines, g.line + 1);
    for (KS_TextGlyph g : angled) {
      g.line += lines;
      kept.push_back(g);
    }
    *out = std::move(kept);
  }
  return true;
}

}  // namespace

bool ReadPageGlyphs(KPD_Document doc, int pageIndex, std::vector<KS_TextGlyph>* out, std::string* error) {
  out->clear();
  std::string why;
  const bool ok = Guard<bool>(false, [&] {
    std::lock_guard lock(ReadingMutex());
    TextReading& reading = Reading();
    const DocumentMoment now = MomentOf(doc);
    if (now.document != reading.document) reading = TextReading{now.document, {}, {}};
    const DocumentMoment looked = reading.looks.LastChange(doc, pageIndex);
    auto known = reading.pages.find(pageIndex);
    if (known != reading.pages.end() && known->second.read.changes >= looked.changes) {
      *out = known->second.glyphs;
      return true;
    }
    // Only this page goes to poppler, without its annotations: neither the
    // rest of a long document nor text the comments show is read.
    std::string bytes;
    ++writes;
    if (!PageDrawingOf(doc, pageIndex, &bytes, &why)) return false;
    poppler::set_debug_error_function(Quiet, nullptr);
    std::unique_ptr<poppler::document> pdf(
        poppler::document::load_from_raw_data(bytes.data(), static_cast<int>(bytes.size())));
    if (!pdf || pdf->is_locked()) {
      why = "the page's text cannot be read";
      return false;
    }
    if (!ReadGlyphsOf(*pdf, 0, doc, pageIndex, out, &why)) return false;
    reading.pages[pageIndex] = TextReading::Page{now, *out};
    return true;
  });
  if (!ok && error) *error = why.empty() ? "the page's text cannot be read" : why;
  return ok;
}

uint64_t PageTextWrites() {
  std::lock_guard lock(ReadingMutex());
  return writes;
}

namespace direct {

int32_t PageGetTextGlyphs(KPD_Document doc, int32_t pageIndex, KS_TextGlyph* out, int32_t capacity) {
  std::vector<KS_TextGlyph> glyphs;
  if (!doc || pageIndex < 0 || !ReadPageGlyphs(doc, pageIndex, &glyphs, nullptr)) return -1;
  const size_t n = out && capacity > 0 ? std::min(glyphs.size(), static_cast<size_t>(capacity)) : 0;
  for (size_t i = 0; i < n; ++i) out[i] = glyphs[i];
  return static_cast<int32_t>(glyphs.size());
}

}  // namespace direct
}  // namespace kshost
