#include "kwannotation/kw_free_text_appearance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_cloud.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_ending.h"
#include "kwannotation/kw_caption_text.h"
#include "kwannotation/kw_default_appearance.h"
#include "kwannotation/kw_geometry.h"
#include "kwannotation/kw_rich_text.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// The graphics state that carries a free text's opacity.
constexpr const char* kStateName = "VistrelFreetext";
// Space between the border and the text.
constexpr double kPadding = 2.0;
// How far a line may reach into the padding before it wraps. Producers size
// a box to fit its text and write /Rect rounded (to hundredths, sometimes
// to whole points); a box that lost that much still holds its lines.
constexpr double kFitSlack = 1.0;
// How far text may be condensed along its lines so that no line falls
// below the box: a quarter, about what a condensed face saves.
constexpr double kMinCondense = 0.75;
// Text beyond this many characters cannot show in any box a page holds;
// it is not laid out.
constexpr size_t kMaxLaidOutChars = 200000;
constexpr float kDefaultFontSize = 12.0f;
constexpr float kMaxFontSize = 1000.0f;

bool Fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

// "%f" numbers, each followed by a space.
void Num(std::string& out, double v) {
  ks::AppendFixed(out, v, 6);
  out += ' ';
}

void RectOperands(std::string& out, const KS_FloatRect& r) {
  Num(out, r.left);
  Num(out, r.bottom);
  Num(out, r.right - r.left);
  Num(out, r.top - r.bottom);
}

bool Empty(const KS_FloatRect& r) { return !(r.right > r.left) || !(r.top > r.bottom); }

bool SameColor(const KPD_ColorF& a, const KPD_ColorF& b) {
  for (int i = 0; i < 3; ++i)
    if (std::fabs(a.c[i] - b.c[i]) > 1.0f / 255.0f) return false;
  return true;
}

// A rectangle moved in by `by` on every side, never turned inside out: an
// axis too short keeps its centre line.
KS_FloatRect Shrink(const KS_FloatRect& r, double by) {
  KS_FloatRect s = r;
  if (r.right - r.left > 2 * by) {
    s.left = float(r.left + by);
    s.right = float(r.right - by);
  } else {
    s.left = s.right = float((r.left + r.right) / 2);
  }
  if (r.top - r.bottom > 2 * by) {
    s.bottom = float(r.bottom + by);
    s.top = float(r.top - by);
  } else {
    s.bottom = s.top = float((r.bottom + r.top) / 2);
  }
  return s;
}

// The fonts one layout used, until the appearance writer has put them into
// the stream's resources.
class FreeTextFonts : public CaptionFonts {
 public:
  explicit FreeTextFonts(KA_TextLayout layout) : layout_(layout) {}
  ~FreeTextFonts() override { host::TextLayoutRelease(layout_); }
  bool AddTo(KPD_Document doc, KPD_Dictionary fontDict) const override {
    return host::TextLayoutAddResources(layout_, doc, fontDict) != 0;
  }

 private:
  KA_TextLayout layout_;
};

// Everything a generator reads from the dictionary, checked once.
struct FreeTextState {
  FreeTextKind kind = FreeTextKind::kTextBox;
  KS_FloatRect rect{};
  KS_FloatRect box{};  // the text box: /Rect less /RD
  KwBorderInfo border;
  bool hasBorderRecord = false;
  KPD_ColorF fill{};        // /C, RGB; kind 0 for none
  KPD_ColorF borderColor{};  // RGB
  KPD_ColorF textColor{};    // RGB
  float opacity = 1.0f;
  int rotation = 0;     // the quarter turn nearest to /Rotate: 0, 90, 180 or 270
  double degrees = 0;   // /Rotate itself, 0 to 360
  DefaultAppearanceInfo da;
  CKW_RichTextStyle base;  // /DA, then /DS over it
  int align = 0;           // /Q
};

bool ReadState(const CKW_AnnotImpl& annot, FreeTextState* s, std::string* reason) {
  KPD_Dictionary d = annot.GetDict();
  if (!d) return Fail(reason, "no annotation dictionary");
  std::vector<float> v;
  if (dict::ReadNumbers(host::DictGet(d, "/Rect"), v, 4) != 4) return Fail(reason, "missing or malformed /Rect");
  if (!geom::InRange(v)) return Fail(reason, "/Rect out of range");
  s->rect = {std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]), std::max(v[1], v[3])};
  float rd[4];
  s->box = annot.GetRectDifferences(rd) && geom::InRange(std::vector<float>(rd, rd + 4)) ? geom::Inset(s->rect, rd)
                                                                                        : s->rect;
  s->kind = FreeTextKindOf(annot);

  s->hasBorderRecord = annot.GetBorderInfo(&s->border);
  if (!std::isfinite(s->border.width) || s->border.width > 1000) return Fail(reason, "unusable border width");
  if (s->border.width < 0) s->border.width = 1.0f;
  if (!std::isfinite(s->border.intensity)) s->border.intensity = 0;
  s->border.dashes.erase(std::remove_if(s->border.dashes.begin(), s->border.dashes.end(),
                                        [](float x) { return !std::isfinite(x) || x < 0; }),
                         s->border.dashes.end());
  if (s->border.dashes.size() > 64) s->border.dashes.resize(64);

  KPD_ColorF c{};
  if (annot.CKW_AnnotImpl::GetColor(&c) && c.kind != KPD_COLOR_NONE) s->fill = ColorToRGB(c);

  std::string daText;
  annot.GetDefaultAppearance(&daText);
  s->da = CDA_DefaultAppearance(daText).GetInfo();
  const KPD_ColorF black{KPD_COLOR_RGB, {0, 0, 0, 0}};
  s->textColor = (s->da.flags & kDA_FillColor) ? ColorToRGB(s->da.fillColor) : black;
  s->borderColor = (s->da.flags & kDA_StrokeColor) ? ColorToRGB(s->da.strokeColor) : s->textColor;
  for (KPD_ColorF* col : {&s->textColor, &s->borderColor, &s->fill})
    for (float& x : col->c) x = std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f;
  // Some producers (Preview among them) write the text's colour as /C and
  // draw no background. A fill in the text's own colour would only hide
  // the text, so /C that equals the text colour is not a fill.
  if (s->fill.kind != KPD_COLOR_NONE && SameColor(s->fill, s->textColor)) s->fill = KPD_ColorF{};

  const float opacity = annot.GetOpacity();
  s->opacity = std::isfinite(opacity) ? std::clamp(opacity, 0.0f, 1.0f) : 1.0f;

  int32_t degrees = 0;
  if (annot.GetRotate(&degrees)) {
    // Quarter turns only; anything else is taken to the nearest one.
    s->degrees = static_cast<double>(((degrees % 360) + 360) % 360);
    int q = static_cast<int>(std::lround(s->degrees / 90.0));
    s->rotation = q % 4 * 90;
  }

  double q = 0;
  if (dict::GetNumber(d, "/Q", &q) && q >= 0 && q <= 3) s->align = static_cast<int>(q);

  // The defaults of every run: the /DA font, then /DS over it.
  const bool daFont = (s->da.flags & kDA_Font) != 0;
  s->base.fontFamily = text::FromAscii(FamilyOfFontResource(daFont ? s->da.fontName : std::string()));
  s->base.fontSize = daFont && std::isfinite(s->da.fontSize) && s->da.fontSize > 0 ? s->da.fontSize : kDefaultFontSize;
  std::u16string ds;
  if (annot.GetDefaultStyle(&ds) && !ds.empty()) ApplyRichTextStyle(ds, &s->base);
  return true;
}

// The family name the host's layout is given.
std::string LayoutFamily(const std::u16string& family) {
  std::string name = text::ToUtf8(FirstFontFamily(family));
  if (name.empty() || name.size() > 128) return "Helvetica";
  return NormalizeFontFamily(name);
}

float LayoutSize(const CKW_RichTextStyle& style, float fallback) {
  if (!style.HasFontSize() || !std::isfinite(style.fontSize) || style.fontSize <= 0) return fallback;
  return std::min(style.fontSize, kMaxFontSize);
}

// Line breaks at the very end of the text, and the empty paragraphs they
// make, draw nothing; laid out, they would only make the text taller than
// what it shows.
// `breaks` counts them ("\r\n" once, a paragraph of its own once).
std::vector<RichTextRun> WithoutTrailingBreaks(std::vector<RichTextRun> runs, int* breaks) {
  int n = 0;
  while (!runs.empty()) {
    std::u16string& t = runs.back().text;
    while (!t.empty() && (t.back() == u'\n' || t.back() == u'\r')) {
      if (t.back() == u'\n' && t.size() > 1 && t[t.size() - 2] == u'\r') t.pop_back();
      t.pop_back();
      ++n;
    }
    if (!t.empty()) break;
    if (runs.back().paragraphStart) ++n;
    runs.pop_back();
  }
  if (breaks) *breaks = n;
  return runs;
}

// The runs to draw: /RC when it reads, else /Contents in the defaults;
// `breaks` counts the line breaks left off their end.
std::vector<RichTextRun> RunsOf(const CKW_AnnotImpl& annot, const FreeTextState& s, int* breaks = nullptr) {
  // A body without any text (stale, or the bare template) gives way to
  // /Contents too.
  std::u16string rc;
  if (annot.GetRichContents(&rc) && !rc.empty()) {
    if (auto xml = CKW_RichTextXML::Parse(rc)) {
      auto runs = xml->GetRuns(s.base, kMaxLaidOutChars);
      if (std::any_of(runs.begin(), runs.end(), [](const RichTextRun& r) { return !r.text.empty(); }))
        return WithoutTrailingBreaks(std::move(runs), breaks);
    }
  }
  std::u16string contents;
  annot.GetContents(&contents);
  std::vector<RichTextRun> runs;
  if (!contents.empty()) runs.push_back(RichTextRun{contents, s.base, false});
  return WithoutTrailingBreaks(std::move(runs), breaks);
}

// Whether a line of the runs may end anywhere but where the layout's
// width lets it: a paragraph aligned otherwise than left, or right-to-left
// letters (Hebrew, Arabic, Syriac, Thaana, N'Ko and their presentation
// forms), whose paragraph may align right.
bool MayAlignOffLeft(const std::vector<RichTextRun>& runs, const FreeTextState& s) {
  if (s.align != 0) return true;
  for (const RichTextRun& run : runs) {
    if (run.style.HasTextAlign() && run.style.textAlign != CKW_RichTextStyle::kLeft) return true;
    for (char16_t c : run.text)
      if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF)) return true;
  }
  return false;
}

// Lays the runs out `width` wide, into `lines` lines. Null when there is
// nothing to draw. Each paragraph is aligned by its own style, /Q where it
// has none.
KA_TextLayout LayOut(const std::vector<RichTextRun>& runs, const FreeTextState& s, double width, int* lines) {
  KA_TextLayout layout = host::TextLayoutNew();
  if (!layout) return nullptr;
  size_t budget = kMaxLaidOutChars;
  bool any = false;
  const float fallback = LayoutSize(s.base, kDefaultFontSize);
  for (const RichTextRun& run : runs) {
    if (budget == 0) break;
    std::u16string text;
    if (run.paragraphStart) text += u'\n';
    text.append(run.text, 0, std::min(run.text.size(), budget));
    budget -= std::min(run.text.size(), budget);
    if (text.empty()) continue;
    const std::string family = LayoutFamily(run.style.fontFamily);
    KS_TextRunStyle style{};
    style.size = sizeof style;
    style.family = family.c_str();
    style.fontSize = LayoutSize(run.style, fallback);
    style.bold = run.style.bold;
    style.italic = run.style.italic;
    style.underline = run.style.underline;
    style.strike = run.style.strikeThrough;
    style.baselineShift = run.style.verticalAlign == CKW_RichTextStyle::kSuperscript ? style.fontSize * 0.33f
                          : run.style.verticalAlign == CKW_RichTextStyle::kSubscript ? style.fontSize * -0.2f
                                                                                     : 0.0f;
    // A run in the text's own colour (the /DS a first rebuild writes from
    // /DA holds it to 1/255) is drawn in the colour already set, so that
    // rebuilding again draws the same.
    KPD_ColorF color{};
    if (!run.style.color.empty() && ParseCssColor(run.style.color, &color) &&
        !SameColor(ColorToRGB(color), s.textColor)) {
      style.hasColor = 1;
      for (int i = 0; i < 3; ++i) style.color[i] = color.c[i];
    }
    style.paragraphAlign = run.style.HasTextAlign() ? run.style.textAlign + 1 : 0;
    style.charSpacing = (s.da.flags & kDA_CharSpacing) && std::isfinite(s.da.charSpacing)
                            ? std::clamp(s.da.charSpacing, -100.0f, 100.0f)
                            : 0.0f;
    if (host::TextLayoutAddStyledRun(layout, &style, text.data(), text.size())) any = true;
  }
  // A width too small for anything still breaks (one character a line); 0
  // would mean "do not break".
  *lines = any ? host::TextLayoutArrange(layout, static_cast<float>(std::max(width, 0.01)), s.align, 1.0f) : 0;
  if (*lines <= 0) {
    host::TextLayoutRelease(layout);
    return nullptr;
  }
  return layout;
}

// The text group: "/Tx BMC", the clip of `clip`, and the laid-out text
// with its top left at the text area's (turned) corner, "EMC". The caller
// wraps it in "q" ... "Q".
void AppendTextGroup(std::string& out, const CKW_AnnotImpl& annot, const FreeTextState& s, const KS_FloatRect& clip,
                     KS_FloatRect area, ShapeAppearanceResult* result) {
  out += "/Tx BMC\n";
  RectOperands(out, clip);
  out += "re\nW\nn\n";
  const bool turned = s.rotation == 90 || s.rotation == 270;
  auto across = [&](const KS_FloatRect& r) { return turned ? r.top - r.bottom : r.right - r.left; };
  auto down = [&](const KS_FloatRect& r) { return turned ? r.right - r.left : r.top - r.bottom; };
  // The lines may lean into the padding by the slack (a typewriter's, which
  // has none, over the box's edge, where the clip keeps them).
  auto widthOf = [&](const KS_FloatRect& r) {
    return across(r) + std::min(kFitSlack, across(r) > 0 ? kPadding : 0.0);
  };
  auto height = [](KA_TextLayout l) {
    KS_FloatRect laid{};
    host::TextLayoutGetBox(l, &laid);
    return double(laid.top) - laid.bottom;
  };
  auto arrange = [&](KA_TextLayout l, double w) {
    return host::TextLayoutArrange(l, static_cast<float>(std::max(w, 0.01)), s.align, 1.0f);
  };
  double width = widthOf(area);
  double condense = 1.0;  // the text's scale across its lines
  KA_TextLayout layout = nullptr;
  int breaks = 0;  // line breaks after the last letter
  if (!Empty(clip)) {
    const auto runs = RunsOf(annot, s, &breaks);
    int lines = 0;
    if (!runs.empty()) layout = LayOut(runs, s, width, &lines);
    // The slack is for lines that need it: when the area's own width makes
    // as many lines, right aligned, centred and justified lines keep to the
    // padding.
    if (layout && MayAlignOffLeft(runs, s)) {
      if (arrange(layout, across(area)) == lines) width = across(area);
      else arrange(layout, width);
    }
    // Text that the padding pushes out of the box (a producer's font
    // narrower than ours filled the line to the box's edges) is laid out
    // to the edges when all of it fits there.
    if (layout && height(layout) > down(area) + 0.01 && across(clip) > across(area)) {
      if (arrange(layout, widthOf(clip)) > 0 && height(layout) <= down(clip) + 0.01) {
        area = clip;
        width = widthOf(clip);
      } else {
        arrange(layout, width);
      }
    }
    // Lines the box's height cannot hold would be lost below it (the
    // producer's font, or the face a script falls back to, is narrower
    // than ours): the text is condensed across, as little as lets every
    // line show, down to kMinCondense.
    if (layout && height(layout) > down(area) + 0.01 && across(area) > 0) {
      auto fits = [&](double k) {
        return arrange(layout, across(area) / k) > 0 && height(layout) <= down(area) + 0.01;
      };
      if (fits(kMinCondense)) {
        double lo = kMinCondense, hi = 1.0;
        for (int i = 0; i < 10; ++i) {
          const double mid = (lo + hi) / 2;
          (fits(mid) ? lo : hi) = mid;
        }
        condense = lo;
        width = across(area) / lo;
      }
      arrange(layout, width);
    }
  }
  // Left aligned text starts at the area's edge; the slack only lets a
  // line reach further. The text's frame has its origin at the text's top
  // left and its axes turned with the box; condensed text is scaled along
  // its lines. Without text, the frame is that of an empty line.
  KS_FloatRect laid{0, 0, float(width), 0};
  if (layout) host::TextLayoutGetBox(layout, &laid);
  const double k = condense;
  KS_Matrix frame{};
  if (s.degrees != double(s.rotation)) {
    // A turn between quarters: the text block turns about the area's
    // centre by the exact angle, laid out as wide as the nearest
    // quarter turn allows.
    const double th = s.degrees * M_PI / 180.0, c = std::cos(th), sn = std::sin(th);
    const double cx = (area.left + area.right) / 2, cy = (area.top + area.bottom) / 2;
    const double h = laid.top - laid.bottom;
    const double ox = -across(area) / 2, oy = h / 2;  // the text's top left from the centre, unturned
    frame = KS_Matrix{float(c * k), float(sn * k), float(-sn), float(c), float(cx + c * ox - sn * oy),
                      float(cy + sn * ox + c * oy)};
  } else {
    double x = area.left, y = area.top, c = 1, sn = 0;
    switch (s.rotation) {
      case 90: x = area.left, y = area.bottom, c = 0, sn = 1; break;
      case 180: x = area.right, y = area.bottom, c = -1, sn = 0; break;
      case 270: x = area.right, y = area.top, c = 0, sn = -1; break;
      default: break;
    }
    frame = KS_Matrix{float(c * k) + 0.0f, float(sn * k) + 0.0f, float(-sn) + 0.0f, float(c), float(x), float(y)};
  }
  host::ByteString ops;
  bool handedOver = false;  // the fonts own the layout from then on
  if (layout && host::TextLayoutGetContent(layout, ops.get()) && !ops.str().empty()) {
    AppendTransform(out, frame);
    out += "BT\n";
    AppendFillColor(out, s.textColor);
    out += ops.str();
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += "ET\n";
    result->captionFonts = std::make_shared<FreeTextFonts>(layout);
    handedOver = true;
  }
  // Where typing goes on: after the last letter and a line further down
  // for each line break after it, at the start of a line aligned as the
  // text is; without text, where the first letter goes.
  KS_FloatRect caret{};
  const double lineStart = s.align == 1 ? laid.right / 2.0 : s.align == 2 ? laid.right : 0.0;
  if (layout && host::TextLayoutGetCaret(layout, &caret)) {
    const double pitch = 1.15 * (caret.top - caret.bottom);
    if (breaks > 0) caret.left = caret.right = float(lineStart);
    caret.top -= float(pitch * breaks);
    caret.bottom -= float(pitch * breaks);
  } else {
    const float size = LayoutSize(s.base, kDefaultFontSize);
    caret = KS_FloatRect{float(lineStart), -size, float(lineStart), 0};
  }
  auto place = [&](double x, double y) {
    return KS_FloatPoint{float(frame.a * x + frame.c * y + frame.e), float(frame.b * x + frame.d * y + frame.f)};
  };
  result->hasCaret = true;
  result->caret[0] = place(caret.left, caret.bottom);
  result->caret[1] = place(caret.left, caret.top);
  if (layout && !handedOver) host::TextLayoutRelease(layout);
  out += "EMC\n";
}

// The area the text is laid out in: the box inside its border and padding.
KS_FloatRect TextArea(const KS_FloatRect& box, double borderWidth) {
  return Shrink(box, borderWidth + kPadding);
}

void AppendDashPattern(std::string& out, const std::vector<float>& dashes) {
  out += '[';
  if (dashes.size() == 1) {
    Num(out, dashes[0]);
    ks::AppendFixed(out, dashes[0], 6);
  } else {
    for (size_t i = 0; i < dashes.size(); ++i) {
      if (i) out += ' ';
      ks::AppendFixed(out, dashes[i], 6);
    }
  }
  out += "] 0 d\n";
}

bool Cloudy(const FreeTextState& s) {
  return s.border.style == KW_BORDER_CLOUDY && s.border.intensity > 0.0001f && s.border.width != 0;
}

// The text box: fill, border (cloudy or straight), text. `bounds` grows
// over what is drawn.
void AppendTextBox(std::string& out, const CKW_AnnotImpl& annot, const FreeTextState& s, ApBounds* bounds,
                   ShapeAppearanceResult* result) {
  const KS_FloatRect& box = s.box;
  const double w = s.border.width;
  if (Cloudy(s) && !Empty(box)) {
    std::string path;
    ApBounds cloud = AppendRectangleCloud(path, box, s.border.intensity);
    if (!cloud.empty) {
      bounds->Add(cloud.left - w / 2, cloud.bottom - w / 2);
      bounds->Add(cloud.right + w / 2, cloud.top + w / 2);
    }
    if (s.fill.kind != KPD_COLOR_NONE) {
      out += "q\n";
      AppendFillColor(out, s.fill);
      out += path;
      out += "f\nQ\n";
    }
    out += "q\n";
    AppendStrokeColor(out, s.borderColor);
    Num(out, w);
    out += "w\n";
    out += path;
    out += "S\nQ\n";
  } else {
    if (!Empty(box) && s.fill.kind != KPD_COLOR_NONE) {
      AppendFillColor(out, s.fill);
      RectOperands(out, box);
      out += "re f\n";
    }
    if (w != 0 && !Empty(box)) {
      out += "q\n";
      AppendStrokeColor(out, s.borderColor);
      Num(out, w);
      out += "w\n";
      if (s.border.style == KW_BORDER_DASH && !s.border.dashes.empty()) AppendDashPattern(out, s.border.dashes);
      RectOperands(out, Shrink(box, w / 2));
      out += "re S\nQ\n";
    }
  }
  out += "q\n";
  AppendTextGroup(out, annot, s, Shrink(box, w), TextArea(box, w), result);
  out += "Q\n";
}

void AppendTypewriter(std::string& out, const CKW_AnnotImpl& annot, const FreeTextState& s,
                      ShapeAppearanceResult* result) {
  // A typewriter draws a border only when it has a border record that asks
  // for one; a width below 1 is drawn 1 wide.
  const bool border = s.hasBorderRecord && s.border.width != 0;
  const double w = border ? std::max(1.0f, s.border.width) : 0.0;
  out += "q\n";
  if (border) {
    out += "q\n";
    AppendStrokeColor(out, s.borderColor);
    Num(out, w);
    out += "w\n";
    if (s.border.style == KW_BORDER_DASH && !s.border.dashes.empty()) AppendDashPattern(out, s.border.dashes);
    RectOperands(out, Shrink(s.box, w / 2));
    out += "re S\nQ\n";
  }
  // Typewriter text sits on the box's edges: producers size the box to
  // the text's own extent and draw it from the box's top left, so padding
  // would wrap a line that fits and push the last one out of the box.
  AppendTextGroup(out, annot, s, s.box, Shrink(s.box, w), result);
  out += "Q\n";
}

// The callout line and its ending; false when /CL is not two or three
// points of usable numbers.
bool CalloutPoints(const CKW_AnnotImpl& annot, std::vector<KS_FloatPoint>* points) {
  std::vector<float> v;
  const int n = dict::ReadNumbers(host::DictGet(annot.GetDict(), "/CL"), v, 6);
  if ((n != 4 && n != 6) || !geom::InRange(v)) return false;
  for (int i = 0; i + 1 < n; i += 2) points->push_back({v[size_t(i)], v[size_t(i + 1)]});
  return true;
}

int CalloutEnding(const CKW_AnnotImpl& annot) {
  int start = kEndNone;
  ReadLineEndings(annot.GetDict(), &start, nullptr, true);
  return start;
}

void AppendCallout(std::string& out, const FreeTextState& s, const std::vector<KS_FloatPoint>& points, int ending,
                   ApBounds* bounds) {
  const double w = s.border.width;
  out += "q\n";
  AppendStrokeColor(out, s.borderColor);
  if (s.fill.kind != KPD_COLOR_NONE) AppendFillColor(out, s.fill);
  Num(out, w);
  out += "w\n";
  if (s.border.style == KW_BORDER_DASH && !s.border.dashes.empty()) AppendDashPattern(out, s.border.dashes);
  for (size_t i = 0; i < points.size(); ++i) {
    Num(out, points[i].x);
    Num(out, points[i].y);
    out += i == 0 ? "m\n" : "l\n";
    bounds->Add(points[i].x - w / 2, points[i].y - w / 2);
    bounds->Add(points[i].x + w / 2, points[i].y + w / 2);
  }
  out += "S\n";
  if (ending != kEndNone) {
    const KS_FloatPoint start = points[0], next = points[1];
    const KS_FloatPoint direction{start.x - next.x, start.y - next.y};
    std::string path;
    bool closed = false;
    ApBounds end = DrawLineEnding(path, ending, start, direction, LineEndingSize(ending, std::max(w, 1.0), nullptr),
                                  &closed);
    if (!end.empty) {
      bounds->Add(end.left - w, end.bottom - w);
      bounds->Add(end.right + w, end.top + w);
      out += path;
      // A closed ending is filled with the fill colour, or the line's when
      // the box has none.
      if (closed && s.fill.kind == KPD_COLOR_NONE) AppendFillColor(out, s.borderColor);
      out += closed ? "h\nB\n" : "S\n";
    }
  }
  out += "Q\n";
}

// The base font a /DA resource name is drawn with when regular.
std::string StandardBaseFont(const std::string& family) {
  return family == "Times" ? "Times-Roman" : family;
}

// The fonts the normal appearance draws with, added to the annotation's
// /DR /Font (kept beside what it already holds), so that an editor that
// rebuilds the text from /DA finds them; the /DA font's own name, when /DR
// lacks it, stands for the appearance's font of its family. True when
// there is nothing to add.
bool AddFontsToDefaultResources(KPD_Dictionary d, const std::string& daFont) {
  KPD_Object ap = host::DictGet(d, "/AP");
  KPD_Object normal = ap && dict::TypeOf(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(ap, "/N") : nullptr;
  if (!normal || dict::TypeOf(normal) != KPD_OBJ_STREAM) return true;
  KPD_Object res = host::DictGet(host::StreamGetDict(normal), "/Resources");
  KPD_Object fonts = res && dict::TypeOf(res) == KPD_OBJ_DICTIONARY ? host::DictGet(res, "/Font") : nullptr;
  if (!fonts || dict::TypeOf(fonts) != KPD_OBJ_DICTIONARY || host::DictKeyCount(fonts) <= 0) return true;
  KPD_Object dr = host::DictGet(d, "/DR");
  if (!dr || dict::TypeOf(dr) != KPD_OBJ_DICTIONARY) {
    KPD_Object made = host::DictNew();
    const bool set = made && host::DictSet(d, "/DR", made);
    host::ObjectRelease(made);
    if (!set) return false;
    dr = host::DictGet(d, "/DR");
  }
  KPD_Object drFonts = dr ? host::DictGet(dr, "/Font") : nullptr;
  if (!drFonts || dict::TypeOf(drFonts) != KPD_OBJ_DICTIONARY) {
    KPD_Object made = host::DictNew();
    const bool set = made && host::DictSet(dr, "/Font", made);
    host::ObjectRelease(made);
    if (!set) return false;
    drFonts = host::DictGet(dr, "/Font");
  }
  if (!drFonts) return false;
  const int32_t n = host::DictKeyCount(fonts);
  for (int32_t i = 0; i < n; ++i) {
    host::ByteString key;
    if (!host::DictKeyAt(fonts, i, key.get())) return false;
    std::string name = key.str();
    if (name.empty()) continue;
    if (name[0] != '/') name.insert(0, "/");
    if (!host::DictSet(drFonts, name.c_str(), host::DictGet(fonts, name.c_str()))) return false;
  }
  const std::string daKey = "/" + daFont;
  if (daFont.empty() || daFont.size() > 127 || host::DictGet(drFonts, daKey.c_str())) return true;
  const std::string base = StandardBaseFont(FamilyOfFontResource(daFont));
  for (int32_t i = 0; i < n; ++i) {
    host::ByteString key;
    if (!host::DictKeyAt(fonts, i, key.get())) continue;
    std::string name = key.str();
    if (name.empty()) continue;
    if (name[0] != '/') name.insert(0, "/");
    KPD_Object font = host::DictGet(fonts, name.c_str());
    if (font && dict::TypeOf(font) == KPD_OBJ_DICTIONARY && dict::NameOf(host::DictGet(font, "/BaseFont")) == base)
      return host::DictSet(drFonts, daKey.c_str(), font) != 0;
  }
  return true;
}

}  // namespace

bool FreeTextHasText(const CKW_AnnotImpl& annot) {
  std::u16string text;
  if (annot.GetContents(&text) && !text.empty()) return true;
  if (!annot.GetRichContents(&text) || text.empty()) return false;
  auto xml = CKW_RichTextXML::Parse(text);
  if (!xml) return false;
  const auto runs = xml->GetRuns(CKW_RichTextStyle{}, kMaxLaidOutChars);
  return std::any_of(runs.begin(), runs.end(), [](const RichTextRun& r) { return !r.text.empty(); });
}

float DrawnTextSize(std::string_view content) {
  // Row vectors, as in PDF: a point p goes to p * m.
  struct M {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  };
  auto times = [](const M& x, const M& y) {
    return M{x.a * y.a + x.b * y.c, x.a * y.b + x.b * y.d, x.c * y.a + x.d * y.c,
             x.c * y.b + x.d * y.d, x.e * y.a + x.f * y.c + y.e, x.e * y.b + x.f * y.d + y.f};
  };
  KPD_Content parsed = host::ContentParse(content.data(), content.size());
  if (!parsed) return 0;
  auto number = [&](int32_t i, int32_t k, double* out) {
    KPD_Object obj = host::ContentGetOperand(parsed, i, k);
    if (!obj || host::ObjectGetType(obj) != KPD_OBJ_NUMBER) return false;
    *out = host::ObjectGetNumber(obj);
    return std::isfinite(*out);
  };
  auto matrix = [&](int32_t i, M* out) {
    double v[6];
    if (host::ContentOperandCount(parsed, i) != 6) return false;
    for (int32_t k = 0; k < 6; ++k)
      if (!number(i, k, &v[k])) return false;
    *out = M{v[0], v[1], v[2], v[3], v[4], v[5]};
    return true;
  };
  std::vector<M> saved;
  M ctm, tm;
  double fontSize = 0, found = 0;
  bool mixed = false;
  const int32_t count = host::ContentCount(parsed);
  for (int32_t i = 0; i < count && !mixed; ++i) {
    host::ByteString name;
    if (!host::ContentGetOperator(parsed, i, name.get())) continue;
    const std::string op = name.str();
    M m;
    if (op == "q") {
      if (saved.size() < 64) saved.push_back(ctm);
    } else if (op == "Q") {
      if (!saved.empty()) ctm = saved.back(), saved.pop_back();
    } else if (op == "cm") {
      if (matrix(i, &m)) ctm = times(m, ctm);
    } else if (op == "BT") {
      tm = M{};
    } else if (op == "Tm") {
      if (matrix(i, &m)) tm = m;
    } else if (op == "Tf") {
      double size = 0;
      if (host::ContentOperandCount(parsed, i) == 2 && number(i, 1, &size)) fontSize = std::fabs(size);
    } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
      // The height of the text's em on the page: the font size through the
      // text matrix and the current matrix.
      const M r = times(tm, ctm);
      const double size = fontSize * std::hypot(r.c, r.d);
      if (!std::isfinite(size) || size <= 0) continue;
      if (found == 0) found = size;
      else if (std::fabs(size - found) > 0.01 * found) mixed = true;
    }
  }
  host::ContentRelease(parsed);
  return mixed || found > kMaxFontSize ? 0.0f : static_cast<float>(found);
}

namespace {

// The size the producer's appearance shows its text at, 0 when it cannot
// tell: the stream is drawn into /Rect as it is (no scale from /Matrix or
// from a /BBox of another size), and all its text is one size.
float ProducerTextSize(KPD_Stream normal, const KS_FloatRect& rect) {
  KPD_Dictionary sd = host::StreamGetDict(normal);
  if (KPD_Object matrix = host::DictGet(sd, "/Matrix")) {
    std::vector<float> m;
    if (dict::ReadNumbers(matrix, m, 6) != 6 || m[0] != 1 || m[1] != 0 || m[2] != 0 || m[3] != 1) return 0;
  }
  auto box = dict::GetRect(sd, "/BBox");
  if (!box || std::fabs((box->right - box->left) - (rect.right - rect.left)) > 1 ||
      std::fabs((box->top - box->bottom) - (rect.top - rect.bottom)) > 1)
    return 0;
  host::ByteString data;
  if (!host::StreamGetData(normal, 1, data.get())) return 0;
  return DrawnTextSize(data.str());
}

}  // namespace

bool RebuildFreeTextAppearance(CKW_AnnotImpl& annot, const ShapeAppearanceOptions& options, std::string* reason) {
  // Without text of its own a free text's appearance is the only record of
  // what it shows (words, a border the dictionary does not describe);
  // rebuilding it from the dictionary would draw an empty box.
  KPD_Dictionary d = annot.GetDict();
  KPD_Object ap = d ? host::DictGet(d, "/AP") : nullptr;
  KPD_Object normal = ap && dict::TypeOf(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(ap, "/N") : nullptr;
  const bool drawn = normal && dict::TypeOf(normal) == KPD_OBJ_STREAM;
  if (drawn && !FreeTextHasText(annot)) return true;
  // Some producers (Preview among them) write a /DA size their drawing
  // does not use and keep the size the user chose elsewhere. With no /DS
  // or /RC to say otherwise, the size the drawing shows goes into /DA, so
  // that the rebuilt text and every later edit use it.
  std::u16string ds, rc;
  std::vector<float> r;
  if (drawn && !(annot.GetDefaultStyle(&ds) && !ds.empty()) && !(annot.GetRichContents(&rc) && !rc.empty()) &&
      dict::ReadNumbers(host::DictGet(d, "/Rect"), r, 4) == 4 && geom::InRange(r)) {
    const KS_FloatRect rect{std::min(r[0], r[2]), std::min(r[1], r[3]), std::max(r[0], r[2]), std::max(r[1], r[3])};
    const float size = ProducerTextSize(normal, rect);
    std::string daText;
    annot.GetDefaultAppearance(&daText);
    CDA_DefaultAppearance da(daText);
    std::string font;
    float daSize = 0;
    if (!da.GetFont(&font, &daSize) || font.empty()) font = "Helv";
    if (size > 0 && std::fabs(size - daSize) > 0.5f) {
      da.SetFont(font, std::round(size * 100) / 100);
      if (!annot.SetDefaultAppearance(da.GetText())) return Fail(reason, "cannot write /DA");
    }
  }
  return ResetFreeTextAppearance(annot, options, reason);
}

FreeTextKind FreeTextKindOf(const CKW_AnnotImpl& annot) {
  const std::string intent = annot.GetIntent();
  if (intent == "FreeTextTypewriter") return FreeTextKind::kTypewriter;
  if (intent == "FreeTextCallout") return FreeTextKind::kCallout;
  return FreeTextKind::kTextBox;
}

std::u16string DefaultStyleFromAppearance(const std::string& family, float size, const KPD_ColorF& color) {
  const KPD_ColorF rgb = ColorToRGB(color);
  auto byte = [&](int i) {
    const float c = rgb.kind == KPD_COLOR_NONE || !std::isfinite(rgb.c[i]) ? 0.0f : std::clamp(rgb.c[i], 0.0f, 1.0f);
    return static_cast<int>(std::lround(c * 255.0f));
  };
  std::string text = "font: '";
  text += family.empty() ? "Helvetica" : family;
  text += "',sans-serif ";
  ks::AppendFixed(text, std::isfinite(size) ? size : 0.0, 2);
  char hex[32];
  std::snprintf(hex, sizeof hex, "pt;color:#%02X%02X%02X", byte(0), byte(1), byte(2));
  text += hex;
  return dict::FromUtf8(text);
}

std::string FamilyOfFontResource(const std::string& resource) {
  std::string lower;
  for (char c : resource) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // The symbol fonts draw their own glyphs: "ZaDb" and "Symb" are not
  // Helvetica.
  if (lower.rfind("zadb", 0) == 0 || lower.find("dingbat") != std::string::npos) return "ZapfDingbats";
  if (lower.rfind("symb", 0) == 0) return "Symbol";
  if (lower.rfind("ti", 0) == 0 || lower.find("times") != std::string::npos) return "Times";
  if (lower.rfind("co", 0) == 0 || lower.find("courier") != std::string::npos) return "Courier";
  return "Helvetica";
}

namespace {

// The numbers of `r` (left, bottom, right, top) as the dictionary holds
// them once written, rounded as the host writes a rectangle.
std::vector<float> AsWritten(const KS_FloatRect& r) {
  std::vector<float> v{r.left, r.bottom, r.right, r.top};
  if (KPD_Array written = host::RectToObject(&r)) {
    std::vector<float> back;
    if (dict::ReadNumbers(written, back, 4) == 4) v = back;
    host::ObjectRelease(written);
  }
  return v;
}

// Draws the free text `s` describes.
ShapeAppearanceResult Draw(const CKW_AnnotImpl& annot, FreeTextState s) {
  ShapeAppearanceResult result;
  std::string content;
  if (s.opacity != 1.0f) {
    content += "/";
    content += kStateName;
    content += " gs\n";
  }
  std::vector<KS_FloatPoint> callout;
  const bool hasCallout = s.kind == FreeTextKind::kCallout && CalloutPoints(annot, &callout);
  // A callout's /Rect is exactly what it draws; a text box's only grows
  // when a cloud reaches outside it.
  const KS_FloatRect& start = hasCallout ? s.box : s.rect;
  ApBounds bounds;
  bounds.Add(start.left, start.bottom);
  bounds.Add(start.right, start.top);
  switch (s.kind) {
    case FreeTextKind::kTypewriter:
      AppendTypewriter(content, annot, s, &result);
      break;
    case FreeTextKind::kTextBox:
      AppendTextBox(content, annot, s, &bounds, &result);
      break;
    case FreeTextKind::kCallout: {
      // The callout reaches outside the text box: /Rect becomes the union
      // of the box (with its cloud), the line and its ending, and /RD the
      // distances from it to the box, so that the next rebuild finds the
      // same box. A /CL that is not two or three points draws no line.
      std::string line;
      if (hasCallout) AppendCallout(line, s, callout, CalloutEnding(annot), &bounds);
      AppendTextBox(content, annot, s, &bounds, &result);
      content += line;
      break;
    }
  }
  if (s.kind != FreeTextKind::kTypewriter) {
    // A cloud or a callout that outgrew /Rect takes /Rect and /RD with it.
    // Within a thousandth of a point of /Rect is /Rect: the box comes back
    // from /Rect less /RD rounded, and rewriting both with that noise
    // would move them a little on every rebuild.
    const KS_FloatRect grown = bounds.Rect();
    auto near = [](float a, float b) { return std::fabs(double(a) - b) <= 0.001; };
    if (!(near(grown.left, s.rect.left) && near(grown.bottom, s.rect.bottom) && near(grown.right, s.rect.right) &&
          near(grown.top, s.rect.top))) {
      result.setRect = true;
      result.rect = grown;
      result.setInsets = true;
      KS_FloatRect rd = geom::InsetsBetween(grown, s.box);
      for (float* x : {&rd.left, &rd.bottom, &rd.right, &rd.top})
        if (std::fabs(*x) <= 0.0001f) *x = 0;
      result.insets = rd;
      s.rect = grown;
    }
  }
  result.content = std::move(content);
  result.bbox = s.rect;
  result.strokeOpacity = s.opacity;
  result.fillOpacity = s.opacity;
  result.stateName = kStateName;
  return result;
}

}  // namespace

bool ComputeFreeTextAppearance(const CKW_AnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason) {
  FreeTextState s;
  if (!ReadState(annot, &s, reason)) return false;
  ShapeAppearanceResult result = Draw(annot, s);
  if (result.setRect) {
    // The next rebuild finds the box in /Rect and /RD as they are written,
    // rounded; drawn from that box now, it draws the same then.
    const std::vector<float> r = AsWritten(result.rect), rd = AsWritten(result.insets);
    FreeTextState t = s;
    t.rect = {std::min(r[0], r[2]), std::min(r[1], r[3]), std::max(r[0], r[2]), std::max(r[1], r[3])};
    t.box = geom::Inset(t.rect, rd.data());
    ShapeAppearanceResult again = Draw(annot, t);
    result.content = std::move(again.content);
    result.captionFonts = std::move(again.captionFonts);
    result.hasCaret = again.hasCaret;
    std::copy(std::begin(again.caret), std::end(again.caret), std::begin(result.caret));
  }
  *out = std::move(result);
  return true;
}

bool ResetFreeTextAppearance(CKW_AnnotImpl& annot, const ShapeAppearanceOptions& options, std::string* reason) {
  ShapeAppearanceResult result;
  if (!ComputeFreeTextAppearance(annot, &result, reason)) return false;
  if (!CKW_AppearanceWriter::Apply(annot, result, options, reason)) return false;
  std::string daText;
  annot.GetDefaultAppearance(&daText);
  const DefaultAppearanceInfo daInfo = CDA_DefaultAppearance(daText).GetInfo();
  if (!AddFontsToDefaultResources(annot.GetDict(), (daInfo.flags & kDA_Font) ? daInfo.fontName : std::string()))
    return Fail(reason, "cannot add the fonts to /DR");
  std::u16string ds;
  if (!annot.GetDefaultStyle(&ds) || ds.empty()) {
    std::string da;
    annot.GetDefaultAppearance(&da);
    const DefaultAppearanceInfo info = CDA_DefaultAppearance(da).GetInfo();
    const bool font = (info.flags & kDA_Font) != 0;
    const KPD_ColorF black{KPD_COLOR_RGB, {0, 0, 0, 0}};
    annot.SetDefaultStyle(DefaultStyleFromAppearance(
        FamilyOfFontResource(font ? info.fontName : std::string()),
        font && std::isfinite(info.fontSize) && info.fontSize > 0 ? info.fontSize : kDefaultFontSize,
        (info.flags & kDA_FillColor) ? info.fillColor : black));
  }
  return true;
}

bool FreeTextCaret(const CKW_AnnotImpl& annot, KS_FloatPoint* foot, KS_FloatPoint* head) {
  ShapeAppearanceResult result;
  if (!ComputeFreeTextAppearance(annot, &result, nullptr) || !result.hasCaret) return false;
  if (foot) *foot = result.caret[0];
  if (head) *head = result.caret[1];
  return true;
}

bool CKW_FreeTextImpl::ResetAppearance() { return ResetFreeTextAppearance(*this, ShapeAppearanceOptions{}, nullptr); }

}  // namespace kwannotation
