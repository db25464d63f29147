#include "kwannotation/kw_caption_text.h"

#include <algorithm>
#include <cmath>

#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_ap_content.h"
#include "kwannotation/kw_ap_path.h"
#include "kwannotation/kw_default_appearance.h"
#include "kwannotation/kw_text.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;

namespace {

// The layouts of the captions of one appearance; their fonts go into the
// stream's resources.
class LayoutFonts : public CaptionFonts {
 public:
  ~LayoutFonts() override {
    for (KA_TextLayout l : layouts_) host::TextLayoutRelease(l);
  }
  void Keep(KA_TextLayout layout) { layouts_.push_back(layout); }
  bool AddTo(KPD_Document doc, KPD_Dictionary fontDict) const override {
    bool ok = true;
    for (KA_TextLayout l : layouts_) ok = host::TextLayoutAddResources(l, doc, fontDict) != 0 && ok;
    return ok;
  }

 private:
  std::vector<KA_TextLayout> layouts_;
};

}  // namespace

float DefaultCaptionSize(KPD_Page page) {
  constexpr float kMin = 9, kMax = 72;
  KS_FloatRect box{};
  if (!page || (!host::PageGetBox(page, "/CropBox", &box) && !host::PageGetBox(page, "/MediaBox", &box)))
    return kMin;
  const double shorter = std::min(std::fabs(double(box.right) - box.left), std::fabs(double(box.top) - box.bottom));
  if (!std::isfinite(shorter)) return kMin;
  return std::clamp(float(std::round(shorter / 50 * 2) / 2), kMin, kMax);
}

bool CaptionBackgroundEnabled() { return host::PrefGetInt(u"Measurement", u"CaptionBackground", 1) != 0; }

CaptionFontSpec CaptionFontOf(const CKW_AnnotImpl& annot, KPD_Page page) {
  CaptionFontSpec spec;
  spec.size = DefaultCaptionSize(page);
  std::u16string ds;
  if (!annot.GetDefaultStyle(&ds) || ds.empty()) return spec;
  DefaultStyleFont f;
  if (!CDS_DefaultAppearance(ds).GetFont(&f)) return spec;
  if (!f.family.empty()) spec.family = text::ToUtf8(f.family);
  if (std::isfinite(f.size) && f.size > 0 && f.size <= 500) spec.size = f.size;
  spec.bold = f.bold;
  spec.italic = f.italic;
  return spec;
}

bool AppendCaption(std::string& content, const CaptionFontSpec& font, const KPD_ColorF& color,
                   const CaptionPlacement& placement, ApBounds* box, std::shared_ptr<CaptionFonts>* fonts) {
  if (placement.lines.empty() || !std::isfinite(placement.x) || !std::isfinite(placement.y) ||
      !std::isfinite(placement.angle))
    return false;
  std::u16string joined;
  for (const auto& line : placement.lines) {
    if (!joined.empty()) joined += u'\n';
    joined += line;
  }
  KA_TextLayout layout = host::TextLayoutNew();
  if (!layout) return false;
  KS_FloatRect r{};
  host::ByteString text;
  if (!host::TextLayoutAddRun(layout, font.family.c_str(), font.bold, font.italic, font.size, joined.data(),
                              joined.size()) ||
      host::TextLayoutArrange(layout, 0, 1, 1) <= 0 || !host::TextLayoutGetBox(layout, &r) ||
      !host::TextLayoutGetContent(layout, text.get()) || text.str().empty()) {
    host::TextLayoutRelease(layout);
    return false;
  }
  const double w = r.right - r.left, h = r.top - r.bottom;
  // The text box's top left in the caption's own frame, the anchor at 0, 0.
  double lx = -w / 2, ly = h / 2;
  if (placement.anchor == CaptionAnchor::kAbove) ly = placement.gap + h;
  // The background reaches a margin beyond the text; a caption above its
  // anchor moves up by that margin so that the background keeps clear.
  const double margin = CaptionBackgroundEnabled() ? 0.2 * font.size : 0;
  if (placement.anchor == CaptionAnchor::kAbove) ly += margin;
  const double c = std::cos(placement.angle), s = std::sin(placement.angle);
  auto at = [&](double x, double y, double* ox, double* oy) {
    *ox = placement.x + x * c - y * s;
    *oy = placement.y + x * s + y * c;
  };
  double tx, ty;
  at(lx, ly, &tx, &ty);
  // The layout positions its text in the space in force at BT: the
  // caption's turn and place go into the CTM.
  content += "q\n";
  AppendFillColor(content, color);
  AppendTransform(content, KS_Matrix{float(c), float(s), float(-s), float(c), float(tx), float(ty)});
  if (margin > 0) {
    // In the text's frame, its top left at the origin.
    content += "q 1 g\n";
    AppendRectangle(content, -margin, -h - margin, w + 2 * margin, h + 2 * margin);
    content += "f Q\n";
  }
  content += "BT\n";
  content += text.str();
  content += "ET Q\n";
  for (double x : {lx - margin, lx + w + margin})
    for (double y : {ly + margin, ly - h - margin}) {
      double ox, oy;
      at(x, y, &ox, &oy);
      box->Add(ox, oy);
    }
  if (!*fonts) *fonts = std::make_shared<LayoutFonts>();
  static_cast<LayoutFonts*>(fonts->get())->Keep(layout);
  return true;
}

}  // namespace kwannotation
