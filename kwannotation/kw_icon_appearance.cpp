#include "kwannotation/kw_icon_appearance.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_geometry.h"
#include "kwannotation/kw_provider.h"
#include "sdk/ks_host_binding.h"
#include "sdk/ks_number.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

bool Fail(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
  return false;
}

constexpr double kIconSize = 20;

// An icon in a 20 by 20 box, y upwards. `body` is filled with the
// annotation's colour and outlined; `marks` are drawn over it with lines
// only. Paths: "M x y", "L x y", "C x1 y1 x2 y2 x y", "Z", and "O cx cy r"
// for a whole circle. A `marks` of a kind with no body is drawn in the
// annotation's colour at `markWidth`.
struct IconShape {
  const char* name;
  const char* body;
  const char* marks;
  double markWidth;
};

const IconShape kNoteIcons[] = {
    {"Check", "M 1.5 10 L 4.5 13 L 8 9.5 L 16 18 L 19 15 L 8 3.5 Z", "", 0.6},
    {"Circle", "O 10 10 8.5 O 10 10 5", "", 0.6},
    {"Comment", "M 2 6 L 2 18 L 18 18 L 18 6 L 9 6 L 5 2 L 6 6 Z", "M 5 14 L 15 14 M 5 10 L 15 10", 0.6},
    {"Cross",
     "M 4 1.5 L 10 7.5 L 16 1.5 L 18.5 4 L 12.5 10 L 18.5 16 L 16 18.5 L 10 12.5 L 4 18.5 L 1.5 16 L 7.5 10 "
     "L 1.5 4 Z",
     "", 0.6},
    {"Help", "O 10 10 9", "M 7 13 C 7 17 13 17 13 13 C 13 10.5 10 11 10 8 L 10 7 M 10 5 L 10 3.8", 1.6},
    {"Insert", "M 2 2 L 10 18 L 18 2 L 15 2 L 10 12 L 5 2 Z", "", 0.6},
    {"Key", "O 6.5 13.5 5 O 6.5 13.5 2", "M 10 10 L 18 2 M 15.5 4.5 L 17.5 6.5 M 13 7 L 15 9", 2.0},
    {"NewParagraph", "M 10 19 L 16 11 L 4 11 Z",
     "M 4 2 L 4 8 L 8 2 L 8 8 M 11 2 L 11 8 L 14.5 8 C 16.5 8 16.5 5 14.5 5 L 11 5", 0.9},
    {"Note", "M 3 1 L 17 1 L 17 14 L 12 19 L 3 19 Z",
     "M 12 19 L 12 14 L 17 14 M 5.5 11 L 14.5 11 M 5.5 8 L 14.5 8 M 5.5 5 L 14.5 5 M 5.5 14 L 10 14", 0.6},
    {"Paragraph",
     "M 9 18 L 17 18 L 17 16 L 15.5 16 L 15.5 2 L 13.5 2 L 13.5 16 L 11.5 16 L 11.5 2 L 9.5 2 L 9.5 10 "
     "C 3 10 3 18 9 18 Z",
     "", 0.6},
    {"RightArrow", "M 2 7.5 L 11 7.5 L 11 3 L 18.5 10 L 11 17 L 11 12.5 L 2 12.5 Z", "", 0.6},
    {"RightPointer", "M 3 3 L 18 10 L 3 17 L 7 10 Z", "", 0.6},
    {"Star",
     "M 10 19 L 12.23 13.07 L 18.56 12.78 L 13.61 8.83 L 15.29 2.72 L 10 6.2 L 4.71 2.72 L 6.39 8.83 "
     "L 1.44 12.78 L 7.77 13.07 Z",
     "", 0.6},
    {"UpArrow", "M 7.5 2 L 12.5 2 L 12.5 11 L 17 11 L 10 18.5 L 3 11 L 7.5 11 Z", "", 0.6},
    {"UpLeftArrow", "M 2 18 L 2 8 L 5.5 11.5 L 15 2 L 18 5 L 8.5 14.5 L 12 18 Z", "", 0.6},
};

const IconShape kAttachmentIcons[] = {
    {"Graph", "M 1.5 1.5 L 18.5 1.5 L 18.5 18.5 L 1.5 18.5 Z",
     "M 5 4 L 5 10 M 8.5 4 L 8.5 15 M 12 4 L 12 8 M 15.5 4 L 15.5 13", 2.0},
    {"Paperclip", "",
     "M 13 5 L 13 15 C 13 19 7 19 7 15 L 7 4 C 7 1 11 1 11 4 L 11 14 C 11 16 9 16 9 14 L 9 6", 1.5},
    {"PushPin", "M 7 19 L 13 19 L 12 14 L 15 10 L 5 10 L 8 14 Z", "M 10 10 L 10 1", 1.0},
    {"Tag", "M 1.5 10 L 7 16 L 18.5 16 L 18.5 4 L 7 4 Z O 6 10 1.5", "M 10 12 L 16 12 M 10 8 L 16 8", 1.0},
    {"VenkoFlag", "M 5 18 L 18 15 L 5 11 Z", "M 4 1 L 4 19", 1.2},
};

template <size_t N>
const IconShape* Find(const IconShape (&icons)[N], const std::string& name) {
  for (const IconShape& icon : icons)
    if (name == icon.name) return &icon;
  return nullptr;
}

bool IsAttachment(const std::string& subtype) { return subtype == "FileAttachment"; }

const IconShape* ShapeOf(const std::string& subtype, const std::string& icon) {
  return IsAttachment(subtype) ? Find(kAttachmentIcons, icon) : Find(kNoteIcons, icon);
}

// Writes a path of the little language above. The tables are the
// library's own; an operator it does not know is passed over.
void AppendPath(std::string& out, const char* path) {
  std::istringstream in(path);
  std::string op;
  while (in >> op) {
    double v[6] = {0, 0, 0, 0, 0, 0};
    if (op == "M" || op == "L") {
      in >> v[0] >> v[1];
      if (op == "M")
        AppendMoveTo(out, v[0], v[1]);
      else
        AppendLineTo(out, v[0], v[1]);
    } else if (op == "C") {
      for (double& x : v) in >> x;
      AppendCurveTo(out, v[0], v[1], v[2], v[3], v[4], v[5]);
    } else if (op == "O") {
      in >> v[0] >> v[1] >> v[2];
      KS_FloatRect r{float(v[0] - v[2]), float(v[1] - v[2]), float(v[0] + v[2]), float(v[1] + v[2])};
      CMKA_Path::AppendEllipse(out, r, 0);
    } else if (op == "Z") {
      out += "h\n";
    }
  }
}

// The width of the outline drawn under a kind made of lines alone, so that
// a light colour shows on a light page.
constexpr double kOutline = 1.2;

// The box the icon's ink covers in its 20 by 20 design, strokes included.
KS_FloatRect InkBox(const IconShape& icon) {
  ApBounds box;
  auto add = [&box](const char* path, double pad) {
    std::istringstream in(path);
    std::string op;
    while (in >> op) {
      int points = op == "M" || op == "L" ? 1 : op == "C" ? 3 : 0;
      for (int i = 0; i < points; ++i) {
        double x = 0, y = 0;
        in >> x >> y;
        box.Add(x - pad, y - pad);
        box.Add(x + pad, y + pad);
      }
      if (op == "O") {
        double x = 0, y = 0, r = 0;
        in >> x >> y >> r;
        box.Add(x - r - pad, y - r - pad);
        box.Add(x + r + pad, y + r + pad);
      }
    }
  };
  add(icon.body, 0.3);
  add(icon.marks, (icon.markWidth + (*icon.body ? 0 : kOutline)) / 2);
  return box.Rect();
}

void AppendRGB(std::string& out, const KPD_ColorF& rgb, const char* op) {
  for (int i = 0; i < 3; ++i) {
    ks::AppendFixed(out, rgb.c[i], 3);
    out += ' ';
  }
  out += op;
}

uint32_t Packed(const KPD_ColorF& color) {
  KPD_ColorF rgb = ToRGB(color);
  uint32_t v = 0xFF000000u;
  if (color.kind == KPD_COLOR_NONE) return v;
  for (int i = 0; i < 3; ++i) {
    double c = std::clamp(double(rgb.c[i]), 0.0, 1.0);
    v |= uint32_t(std::lround(c * 255)) << (16 - 8 * i);
  }
  return v;
}

// The matrix that turns a box of `w` by `h` at the origin by `degrees`
// about its centre and puts that centre at (cx, cy); `bounds` gets where
// the turned box lands.
KS_Matrix Place(double w, double h, double scale, int32_t degrees, double cx, double cy, KS_FloatRect* bounds) {
  double a = geom::Radians(degrees);
  double c = std::cos(a) * scale, s = std::sin(a) * scale;
  // Quarter turns are exact.
  if (degrees % 90 == 0) {
    c = std::round(c / scale) * scale;
    s = std::round(s / scale) * scale;
  }
  KS_Matrix m{float(c), float(s), float(-s), float(c), 0, 0};
  double hx = w / 2, hy = h / 2;
  m.e = float(cx - (c * hx - s * hy));
  m.f = float(cy - (s * hx + c * hy));
  double ex = std::fabs(c) * hx + std::fabs(s) * hy, ey = std::fabs(s) * hx + std::fabs(c) * hy;
  *bounds = {float(cx - ex), float(cy - ey), float(cx + ex), float(cy + ey)};
  return m;
}

// Whether a note's /Rect can hold its icon as its producer drew it: no
// side below 6 points (a dot) or above 64 (an area, not an icon).
bool SensibleNoteBox(double w, double h) {
  constexpr double kSmallest = 6, kLargest = 64;
  return w >= kSmallest && h >= kSmallest && w <= kLargest && h <= kLargest;
}

int32_t RotationOf(const CKW_AnnotImpl& annot) {
  int32_t degrees = 0;
  if (!annot.GetRotate(&degrees)) return 0;
  degrees %= 360;
  return degrees < 0 ? degrees + 360 : degrees;
}

// ---- stamps -----------------------------------------------------------------------

struct StandardStamp {
  const char* name;
  const char* caption;
  float rgb[3];
};

const StandardStamp kStamps[] = {
    {"Approved", "APPROVED", {0.1f, 0.5f, 0.1f}},
    {"Experimental", "EXPERIMENTAL", {0.15f, 0.3f, 0.7f}},
    {"NotApproved", "NOT APPROVED", {0.75f, 0.1f, 0.1f}},
    {"AsIs", "AS IS", {0.15f, 0.3f, 0.7f}},
    {"Expired", "EXPIRED", {0.75f, 0.1f, 0.1f}},
    {"NotForPublicRelease", "NOT FOR PUBLIC RELEASE", {0.75f, 0.1f, 0.1f}},
    {"Confidential", "CONFIDENTIAL", {0.75f, 0.1f, 0.1f}},
    {"Final", "FINAL", {0.1f, 0.5f, 0.1f}},
    {"Sold", "SOLD", {0.15f, 0.3f, 0.7f}},
    {"Departmental", "DEPARTMENTAL", {0.15f, 0.3f, 0.7f}},
    {"ForComment", "FOR COMMENT", {0.15f, 0.3f, 0.7f}},
    {"TopSecret", "TOP SECRET", {0.75f, 0.1f, 0.1f}},
    {"Draft", "DRAFT", {0.15f, 0.3f, 0.7f}},
    {"ForPublicRelease", "FOR PUBLIC RELEASE", {0.1f, 0.5f, 0.1f}},
};

// The letters of a stamp name: UTF-8 when the bytes are that, else one
// letter a byte (Latin-1), as writers of names do either.
std::u16string NameLetters(const std::string& name) {
  std::u16string utf16 = dict::FromUtf8(name);
  if (utf16.find(u'\uFFFD') == std::u16string::npos) return utf16;
  std::u16string latin1;
  for (char c : name) latin1 += char16_t(static_cast<unsigned char>(c));
  return latin1;
}

char16_t UpperCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
  // Latin-1 small letters but the division sign; sharp s and y with
  // diaeresis have no capital there and stay.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  return c;
}

// A stamp name that is none of the standard ones is shown as it is, upper
// case, without control characters.
std::u16string CaptionOf(const std::string& name, const StandardStamp** standard) {
  for (const StandardStamp& s : kStamps)
    if (name == s.name) {
      *standard = &s;
      return std::u16string(s.caption, s.caption + std::char_traits<char>::length(s.caption));
    }
  *standard = nullptr;
  std::u16string caption;
  for (char16_t c : NameLetters(name)) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) continue;
    caption += UpperCase(c);
  }
  return caption.substr(0, 64);
}

bool BuiltInStamp(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason) {
  KS_FloatRect rect;
  if (!annot.GetRect(&rect)) return Fail(reason, "missing or malformed /Rect");
  std::vector<float> check{rect.left, rect.bottom, rect.right, rect.top};
  if (!geom::InRange(check)) return Fail(reason, "/Rect out of range");
  // A stamp without a name is a draft, as the PDF standard has it; stamps
  // this library makes carry their name.
  std::string name = dict::GetName(annot.GetDict(), "/Name");
  if (name.empty()) name = "Draft";
  const StandardStamp* standard = nullptr;
  const std::u16string caption = CaptionOf(name, &standard);

  KPD_ColorF color;
  if (!annot.GetColor(&color) && annot.HasKey("/C")) return Fail(reason, "malformed /C");
  const KPD_ColorF rgb = KW_StampColor(annot);
  const int32_t degrees = RotationOf(annot);
  const bool sideways = degrees == 90 || degrees == 270;
  const double rw = double(rect.right) - rect.left, rh = double(rect.top) - rect.bottom;
  const double w = sideways ? rh : rw, h = sideways ? rw : rh;
  if (!(w > 2) || !(h > 2)) return Fail(reason, "/Rect too small for a stamp");

  const double line = std::max(1.0, std::min(w, h) / 16);
  const double radius = std::min(w, h) / 6;
  std::string content;
  const CKW_AnnotImpl::Transparency t = annot.GetTransparency();
  if (t.needsState) content += "/TransGs gs\n";
  AppendRGB(content, rgb, "RG\n");
  AppendRGB(content, rgb, "rg\n");
  ks::AppendFixed(content, line, 3);
  content += " w\n";
  // A frame with rounded corners inside the box.
  const double l = line, b = line, r = w - line, tp = h - line, k = radius * 0.4477152;
  AppendMoveTo(content, l + radius, b);
  AppendLineTo(content, r - radius, b);
  AppendCurveTo(content, r - k, b, r, b + k, r, b + radius);
  AppendLineTo(content, r, tp - radius);
  AppendCurveTo(content, r, tp - k, r - k, tp, r - radius, tp);
  AppendLineTo(content, l + radius, tp);
  AppendCurveTo(content, l + k, tp, l, tp - k, l, tp - radius);
  AppendLineTo(content, l, b + radius);
  AppendCurveTo(content, l, b + k, l + k, b, l + radius, b);
  content += "h\nS\n";
  // The caption fills the frame's width, bold by a stroke of its own colour.
  // A frame turned a quarter so that it stands taller than wide on the page
  // (a wide /Rect) would leave the caption a few points high across its
  // narrow side: there the caption runs along the frame's length instead,
  // which reads level on the page.
  KA_FontService svc = host::AppGetFontService();
  double unit = host::FontTextWidth(svc, "Helvetica", caption.data(), caption.size(), 1.0f);
  if (!std::isfinite(unit) || unit <= 0) unit = 0.6 * double(caption.size());
  const bool along = sideways && h > w;
  const double across = along ? h : w, high = along ? w : h;
  double size = std::min((across - 4 * line - 2 * radius * 0.5) / std::max(unit, 0.01), (high - 4 * line) * 0.7);
  size = std::max(size, 1.0);
  const double textWidth = unit * size;
  content += "BT\n/Helv ";
  ks::AppendFixed(content, size, 3);
  content += " Tf\n2 Tr\n";
  ks::AppendFixed(content, size / 30, 3);
  content += " w\n";
  // The caption's start relative to the frame's centre, then turned so.
  const double dx = -textWidth / 2, dy = -size * 0.35;
  KS_Matrix tm{1, 0, 0, 1, float(w / 2 + dx), float(h / 2 + dy)};
  if (along) {
    // Back by the quarter the frame is turned: 90 turns the caption by -90.
    const double s = degrees == 90 ? -1 : 1;
    tm = {0, float(s), float(-s), 0, float(w / 2 - s * dy), float(h / 2 + s * dx)};
  }
  AppendTextMatrix(content, tm);
  content += KW_CaptionPdfString(svc, caption) + " Tj\nET\n";

  KS_FloatRect placed;
  out->content = std::move(content);
  out->bbox = {0, 0, float(w), float(h)};
  out->matrix = Place(w, h, 1.0, degrees, (double(rect.left) + rect.right) / 2, (double(rect.bottom) + rect.top) / 2,
                      &placed);
  out->procSets = {"PDF", "Text"};
  out->setRect = !geom::SameRect(placed, rect);
  out->rect = placed;
  out->strokeOpacity = t.stroke;
  out->fillOpacity = t.fill;
  out->blendMode = t.blendMode;
  out->captionFont = true;
  out->fontService = svc;
  return true;
}

// The four corners of `box` through `m`, as bounds.
KS_FloatRect Transformed(const KS_FloatRect& box, const KS_Matrix& m) {
  ApBounds b;
  for (double x : {box.left, box.right})
    for (double y : {box.bottom, box.top}) b.Add(m.a * x + m.c * y + m.e, m.b * x + m.d * y + m.f);
  return b.Rect();
}

}  // namespace

std::string KW_IconToDraw(const std::string& subtype, const std::string& name) {
  if (ShapeOf(subtype, name)) return name;
  return IsAttachment(subtype) ? "PushPin" : "Note";
}

std::string KW_IconCacheKey(const std::string& subtype, const std::string& icon, const KPD_ColorF& stroke,
                            const KPD_ColorF& fill, const std::string& provider, const std::string& version) {
  char colors[32];
  std::snprintf(colors, sizeof colors, "%08X+%08X", Packed(stroke), Packed(fill));
  return "Icon+" + subtype + "+" + icon + "+" + colors + "-Venko-" + (provider.empty() ? "RDK" : provider) + "-" +
         (version.empty() ? "0" : version);
}

bool ComputeIconAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, std::string* reason) {
  if (!annot.GetDict() || !annot.GetDocument()) return Fail(reason, "not in a document");
  const std::string subtype = annot.GetSubtype();
  if (subtype != "Text" && !IsAttachment(subtype)) return Fail(reason, "not a note or file attachment");
  KS_FloatRect rect;
  if (!annot.GetRect(&rect)) return Fail(reason, "missing or malformed /Rect");
  std::vector<float> check{rect.left, rect.bottom, rect.right, rect.top};
  if (!geom::InRange(check)) return Fail(reason, "/Rect out of range");
  const std::string icon = KW_IconToDraw(subtype, dict::GetName(annot.GetDict(), "/Name"));
  const IconShape* shape = ShapeOf(subtype, icon);

  KPD_ColorF fill, stroke;
  if (!annot.GetColor(&fill) && annot.HasKey("/C")) return Fail(reason, "malformed /C");
  if (!annot.GetInteriorColor(&stroke) && annot.HasKey("/IC")) return Fail(reason, "malformed /IC");
  KPD_ColorF fillRGB = KW_IconFillColor(annot), strokeRGB = ToRGB(stroke);
  if (stroke.kind == KPD_COLOR_NONE) strokeRGB = {KPD_COLOR_RGB, {0, 0, 0, 0}};

  const CKW_AnnotImpl::Transparency t = annot.GetTransparency();
  std::string content;
  if (t.needsState) content += "/TransGs gs\n";
  content += "0.600 w\n";
  AppendRGB(content, strokeRGB, "RG\n");
  AppendRGB(content, fillRGB, "rg\n");
  // An icon the application draws itself replaces the built-in drawing.
  std::string provided;
  if (auto provider = CKW_ProviderManager::Get()->GetIconProvider())
    if (provider->HasIcon(subtype, icon)) provided = provider->GetIconContent(subtype, icon);
  if (!provided.empty()) {
    content += provided;
    if (content.back() != '\n') content += '\n';
  } else if (*shape->body) {
    AppendPath(content, shape->body);
    content += " B*\n";
    if (*shape->marks) {
      ks::AppendFixed(content, shape->markWidth, 3);
      content += " w\n1 J\n1 j\n";
      AppendPath(content, shape->marks);
      content += "S\n";
    }
  } else {
    // A kind drawn with lines alone draws them in its colour over a wider
    // stroke in the outline colour.
    ks::AppendFixed(content, shape->markWidth + kOutline, 3);
    content += " w\n1 J\n1 j\n";
    AppendPath(content, shape->marks);
    content += "S\n";
    AppendRGB(content, fillRGB, "RG\n");
    ks::AppendFixed(content, shape->markWidth, 3);
    content += " w\n";
    AppendPath(content, shape->marks);
    content += "S\n";
  }

  const double w = double(rect.right) - rect.left, h = double(rect.top) - rect.bottom;
  const int32_t degrees = RotationOf(annot);
  out->content = std::move(content);
  if (IsAttachment(subtype) && w > 0 && h > 0) {
    // An attachment keeps the box its producer gave it (a paperclip is
    // narrow and tall); the icon's ink, turned by /Rotate, is fitted into
    // it whole and centred, keeping its proportions.
    const KS_FloatRect ink = provided.empty() ? InkBox(*shape) : KS_FloatRect{0, 0, float(kIconSize), float(kIconSize)};
    const double iw = double(ink.right) - ink.left, ih = double(ink.top) - ink.bottom;
    const double a = geom::Radians(degrees), c = std::fabs(std::cos(a)), sn = std::fabs(std::sin(a));
    const double scale = std::min(w / (c * iw + sn * ih), h / (sn * iw + c * ih));
    KS_FloatRect placed;
    KS_Matrix m = Place(iw, ih, scale, degrees, (double(rect.left) + rect.right) / 2,
                        (double(rect.bottom) + rect.top) / 2, &placed);
    m.e -= m.a * ink.left + m.c * ink.bottom;
    m.f -= m.b * ink.left + m.d * ink.bottom;
    out->bbox = ink;
    out->matrix = m;
    out->setRect = false;
  } else {
    // A note keeps the box its producer gave it (iText writes 18 by 18,
    // others 24 by 24). A box that is no icon box (a point, a sliver, a
    // page-sized area) gets the standard one instead: the 20-point icon's
    // turned bounds hanging from the upper-left corner of /Rect, which
    // becomes /Rect. Either way the icon's square, turned by /Rotate, is
    // fitted into the box whole and centred.
    const double a = geom::Radians(degrees), c = std::fabs(std::cos(a)), sn = std::fabs(std::sin(a));
    const double reach = (c + sn) * kIconSize;
    KS_FloatRect box = rect;
    if (!SensibleNoteBox(w, h)) {
      // To thousandths, so that /Rect reads back as the same box.
      const double side = std::round(reach * 1000) / 1000;
      box = {rect.left, float(rect.top - side), float(rect.left + side), rect.top};
      out->setRect = !geom::SameRect(box, rect);
      out->rect = box;
    }
    double scale = std::min(double(box.right) - box.left, double(box.top) - box.bottom) / reach;
    // The standard box read back from /Rect differs from the icon's
    // bounds in the last digits; it draws at the icon's own size again.
    if (std::fabs(scale - 1) < 1e-4) scale = 1;
    KS_FloatRect placed;
    out->bbox = {0, 0, float(kIconSize), float(kIconSize)};
    out->matrix = Place(kIconSize, kIconSize, scale, degrees, (double(box.left) + box.right) / 2,
                        (double(box.bottom) + box.top) / 2, &placed);
  }
  out->strokeOpacity = t.stroke;
  out->fillOpacity = t.fill;
  out->blendMode = t.blendMode;
  return true;
}

KPD_ColorF KW_IconFillColor(const CKW_MarkupAnnotImpl& annot) {
  KPD_ColorF color;
  if (!annot.GetColor(&color) || color.kind == KPD_COLOR_NONE) return {KPD_COLOR_RGB, {1, 1, 0, 0}};
  return ToRGB(color);
}

KPD_ColorF KW_StampColor(const CKW_MarkupAnnotImpl& annot) {
  KPD_ColorF color;
  if (annot.GetColor(&color) && color.kind != KPD_COLOR_NONE) return ToRGB(color);
  std::string name = dict::GetName(annot.GetDict(), "/Name");
  if (name.empty()) name = "Draft";
  const StandardStamp* standard = nullptr;
  CaptionOf(name, &standard);
  const float* c = standard ? standard->rgb : kStamps[2].rgb;
  return {KPD_COLOR_RGB, {c[0], c[1], c[2], 0}};
}

bool KW_StampPictureIsStandard(const CKW_MarkupAnnotImpl& annot) {
  KPD_Dictionary d = annot.GetDict();
  KPD_Dictionary ap = d ? dict::GetDict(d, "/AP") : nullptr;
  KPD_Object normal = ap ? host::DictGet(ap, "/N") : nullptr;
  if (!normal) return d != nullptr;
  if (!dict::IsType(normal, KPD_OBJ_STREAM)) return false;
  // The picture, unwrapped from the form an opacity put around it.
  KPD_Object picture = normal;
  KPD_Dictionary resources = dict::GetDict(host::StreamGetDict(normal), "/Resources");
  KPD_Dictionary xobjects = dict::GetDict(resources, "/XObject");
  if (KPD_Object inner = xobjects ? host::DictGet(xobjects, "/MWFOForm") : nullptr; dict::IsType(inner, KPD_OBJ_STREAM))
    picture = inner;
  host::ByteString data;
  if (!host::StreamGetData(picture, 1, data.get())) return false;
  ShapeAppearanceResult drawn;
  if (!BuiltInStamp(annot, &drawn, nullptr)) return false;
  // The opacity's state may have been drawn in or left to the wrapper.
  auto withoutState = [](std::string content) {
    constexpr std::string_view kState = "/TransGs gs\n";
    if (content.compare(0, kState.size(), kState) == 0) content.erase(0, kState.size());
    return content;
  };
  return withoutState(data.str()) == withoutState(drawn.content);
}

bool KW_SetStampColor(CKW_MarkupAnnotImpl& annot, const KPD_ColorF& color) {
  if (!KW_StampPictureIsStandard(annot)) return false;
  KPD_ColorF before{};
  const bool had = annot.GetColor(&before);
  if (!annot.SetColor(color)) return false;
  KPD_ColorF after{};
  // Only a colour that changed drops the picture.
  if (had && annot.GetColor(&after) && after.kind == before.kind &&
      std::equal(after.c, after.c + 4, before.c))
    return true;
  return CKW_AnnotWriter(annot).Remove("/AP");
}

bool ComputeStampAppearance(const CKW_MarkupAnnotImpl& annot, ShapeAppearanceResult* out, bool* unchanged,
                            std::string* reason) {
  *unchanged = false;
  KPD_Dictionary d = annot.GetDict();
  if (!d || !annot.GetDocument()) return Fail(reason, "not in a document");
  KPD_Dictionary ap = dict::GetDict(d, "/AP");
  KPD_Object normal = ap ? host::DictGet(ap, "/N") : nullptr;
  if (!normal) return BuiltInStamp(annot, out, reason);
  if (!dict::IsType(normal, KPD_OBJ_STREAM)) {
    // Pictures by appearance state are the stamp's own; they stay as they are.
    *unchanged = true;
    return true;
  }

  KPD_Dictionary sd = host::StreamGetDict(normal);
  KPD_Dictionary resources = dict::GetDict(sd, "/Resources");
  KPD_Dictionary xobjects = dict::GetDict(resources, "/XObject");
  KPD_Object inner = xobjects ? host::DictGet(xobjects, "/MWFOForm") : nullptr;
  const bool wrapped = dict::IsType(inner, KPD_OBJ_STREAM);
  const CKW_AnnotImpl::Transparency t = annot.GetTransparency();
  if (!wrapped && !t.needsState) {
    *unchanged = true;
    return true;
  }
  KPD_Stream picture = wrapped ? inner : normal;
  KPD_Dictionary pd = host::StreamGetDict(picture);
  auto box = dict::GetRect(pd, "/BBox");
  if (!box) return Fail(reason, "the stamp's picture has no /BBox");
  KS_Matrix m{1, 0, 0, 1, 0, 0};
  std::vector<float> mv;
  if (dict::ReadNumbers(host::DictGet(pd, "/Matrix"), mv, 6) == 6 && geom::InRange(mv))
    m = {mv[0], mv[1], mv[2], mv[3], mv[4], mv[5]};
  // The picture draws itself through its own matrix; the wrapper's box is
  // where that puts it, and the wrapper adds no matrix of its own.
  out->bbox = Transformed(*box, m);
  out->matrix = {1, 0, 0, 1, 0, 0};
  out->content = t.needsState ? "/GS0 gs\n/MWFOForm Do\n" : "/MWFOForm Do\n";
  out->stateName = "GS0";
  out->xobjects = {{"MWFOForm", picture}};
  out->transparencyGroup = true;
  out->strokeOpacity = t.stroke;
  out->fillOpacity = t.fill;
  out->blendMode = t.blendMode;
  return true;
}

}  // namespace kwannotation
