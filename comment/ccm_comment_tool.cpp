#include "comment/ccm_comment_tool.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

#include "comment/ccm_geometry.h"
#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_file_attachment.h"
#include "kwannotation/kw_free_text_appearance.h"
#include "kwannotation/kw_page_annot_list.h"
#include "plugin/annot_identity.h"
#include "plugin/annot_undo.h"
#include "plugin/host_binding.h"
#include "sdk/ks_number.h"
#include "sdk/ks_utf.h"
#include "tessel/dialog.h"
#include "tessel/edit.h"
#include "tessel/file_dialog.h"
#include "tessel/translator.h"

namespace AnnotationComment {

namespace Host = ::ks::host;

using kwannotation::CKW_Annot;
using kwannotation::CKW_MarkupAnnot;

namespace {

// A text of the editor's words with "%1" standing for `what`.
std::u16string Replaced(std::u16string text, const std::u16string& what) {
  const size_t at = text.find(u"%1");
  if (at != std::u16string::npos) text.replace(at, 2, what);
  return text;
}

constexpr int kKeyBackspace = 8, kKeyEnter = 13, kKeyEscape = 27;
// Below this many points a drag is a click.
constexpr float kMinDrag = 3;
// A stroke that starts this long after the last one ended begins a new ink.
constexpr auto kInkPause = std::chrono::seconds(2);

std::u16string PrefText(const std::u16string& section, const char16_t* key, bool* found) {
  Host::WideString out;
  *found = Host::PrefGetText(section.c_str(), key, out.get()) != 0;
  return *found ? out.str() : std::u16string();
}

std::optional<float> PrefNumber(const std::u16string& section, const char16_t* key) {
  bool found = false;
  const std::u16string text = PrefText(section, key, &found);
  if (!found || text.empty()) return std::nullopt;
  const std::string narrow(text.begin(), text.end());
  double v = 0;
  const auto [end, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), v);
  if (ec != std::errc() || end != narrow.data() + narrow.size() || !std::isfinite(v)) return std::nullopt;
  return static_cast<float>(v);
}

std::u16string NumberText(float v) {
  const std::string s = ks::FormatFixed(v, 2);
  return std::u16string(s.begin(), s.end());
}

std::u16string PdfDateNow() {
  KS_DateTime now{};
  Host::DateNow(&now);
  Host::ByteString s;
  Host::DateToPdfString(&now, s.get());
  const std::string text = s.str();
  return std::u16string(text.begin(), text.end());
}

// The undo item of a new annotation: undo takes it (and its pop-up) off its
// page, redo puts the same dictionaries back where they were.
class CCM_UndoCreate final : public AnnotationPlugin::CAnnot_BaseUndo {
 public:
  CCM_UndoCreate(KA_Document doc, int pageIndex, KPD_Dictionary dict, int index)
      : doc_(doc), pageIndex_(pageIndex), dict_(dict), index_(index) {
    KPD_Object popup = Host::DictGet(dict, "/Popup");
    popup_ = popup && Host::ObjectGetType(popup) == KPD_OBJ_DICTIONARY ? static_cast<KPD_Dictionary>(popup) : nullptr;
  }
  void Undo() override {
    KPD_Page page = Page();
    if (!page) return;
    for (KPD_Dictionary d : {popup_, dict_}) {
      const int at = d ? Host::PageFindAnnot(page, d) : -1;
      if (at >= 0) Host::PageRemoveAnnot(page, at);
    }
    Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
  }
  void Redo() override {
    KPD_Page page = Page();
    if (!page || Host::PageFindAnnot(page, dict_) >= 0) return;
    Host::PageInsertAnnot(page, std::clamp(index_, 0, Host::PageAnnotCount(page)), dict_);
    if (popup_ && Host::PageFindAnnot(page, popup_) < 0)
      Host::PageInsertAnnot(page, std::clamp(index_ + 1, 0, Host::PageAnnotCount(page)), popup_);
    Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
  }

 private:
  KPD_Page Page() const {
    KPD_Document pdf = Host::AppDocGetPdfDocument(doc_);
    return pdf ? Host::DocGetPage(pdf, pageIndex_) : nullptr;
  }
  KA_Document doc_;
  int pageIndex_;
  KPD_Dictionary dict_;
  KPD_Dictionary popup_ = nullptr;
  int index_;
};

// Reading a page's text is costly (the host reads the whole document
// afresh): one call takes a page of ordinary length, a second only a longer.
std::vector<KS_TextGlyph> PageGlyphs(KPD_Document pdf, int pageIndex) {
  std::vector<KS_TextGlyph> glyphs(8192);
  int32_t count = Host::PageGetTextGlyphs(pdf, pageIndex, glyphs.data(), static_cast<int32_t>(glyphs.size()));
  if (count > static_cast<int32_t>(glyphs.size())) {
    glyphs.resize(static_cast<size_t>(count));
    count = std::min(count, Host::PageGetTextGlyphs(pdf, pageIndex, glyphs.data(), count));
  }
  glyphs.resize(static_cast<size_t>(std::max(count, 0)));
  return glyphs;
}

KS_ColorRef ColorRefOf(const std::optional<KPD_ColorF>& c) {
  if (!c) return 0x0000FF;
  const auto byte = [](float v) { return static_cast<KS_ColorRef>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  return byte(c->c[0]) | (byte(c->c[1]) << 8) | (byte(c->c[2]) << 16);
}

// The page points `points` as one line through the view, 1 wide in `color`.
void StrokePageLine(KA_PageView view, KA_Device device, const std::vector<KS_FloatPoint>& points, KS_ColorRef color,
                    bool closed) {
  std::vector<KS_DevicePoint> d;
  for (const KS_FloatPoint& p : points) {
    KS_DevicePoint q{};
    Host::PageViewPageToDevice(view, p, &q);
    d.push_back(q);
  }
  KA_Pen pen = Host::PenNew(color, 1, 0);
  KA_Pen old = Host::DeviceSelectPen(device, pen);
  Host::DevicePolyline(device, d.data(), static_cast<int32_t>(d.size()), closed && d.size() > 2);
  Host::DeviceSelectPen(device, old);
  Host::PenRelease(pen);
}

// The lines of a text as the default font measures them.
std::vector<float> LineWidths(const std::u16string& text, const std::string& font, float size) {
  KA_FontService fonts = Host::AppGetFontService();
  std::vector<float> widths;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(u'\n', start);
    const std::u16string line = text.substr(start, end == std::u16string::npos ? end : end - start);
    widths.push_back(fonts ? Host::FontTextWidth(fonts, font.c_str(), line.data(), line.size(), size) : 0.6f * size * line.size());
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return widths;
}

std::string MimeTypeOf(const std::u16string& name) {
  const size_t dot = name.rfind(u'.');
  std::string ext;
  if (dot != std::u16string::npos)
    for (char16_t c : name.substr(dot + 1)) ext += static_cast<char>(c < 128 ? std::tolower(c) : '_');
  if (ext == "pdf") return "application/pdf";
  if (ext == "txt") return "text/plain";
  if (ext == "png") return "image/png";
  if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
  if (ext == "csv") return "text/csv";
  if (ext == "xml") return "application/xml";
  return "application/octet-stream";
}

}  // namespace

CommentStyle ReadCommentStyle(const CommentToolInfo& tool) {
  CommentStyle s = tool.defaults;
  const std::u16string section = CommentStyleSection(tool);
  bool found = false;
  std::u16string text = PrefText(section, u"Color", &found);
  if (found) s.color = ParseHexColor(text);
  text = PrefText(section, u"FillColor", &found);
  if (found) s.fill = ParseHexColor(text);
  if (auto w = PrefNumber(section, u"Width"); w && *w >= 0 && *w <= 100) s.width = *w;
  const int opacity = Host::PrefGetInt(section.c_str(), u"Opacity", s.opacity);
  if (opacity >= 0 && opacity <= 100) s.opacity = opacity;
  text = PrefText(section, u"FontName", &found);
  if (found && !text.empty()) s.font = std::string(text.begin(), text.end());
  if (auto size = PrefNumber(section, u"FontSize"); size && *size >= 1 && *size <= 400) s.fontSize = *size;
  return s;
}

void WriteCommentStyle(const CommentToolInfo& tool, const CommentStyle& s) {
  const std::u16string section = CommentStyleSection(tool);
  Host::PrefSetText(section.c_str(), u"Color", s.color ? HexColor(*s.color).c_str() : u"");
  Host::PrefSetText(section.c_str(), u"FillColor", s.fill ? HexColor(*s.fill).c_str() : u"");
  Host::PrefSetText(section.c_str(), u"Width", NumberText(s.width).c_str());
  Host::PrefSetInt(section.c_str(), u"Opacity", s.opacity);
  Host::PrefSetText(section.c_str(), u"FontName", std::u16string(s.font.begin(), s.font.end()).c_str());
  Host::PrefSetText(section.c_str(), u"FontSize", NumberText(s.fontSize).c_str());
}

void CCM_CommentTool::SetStampName(const std::string& name) {
  Host::PrefSetText(CommentStyleSection(info_).c_str(), u"StampName", std::u16string(name.begin(), name.end()).c_str());
}

bool CCM_CommentTool::AskStampText() {
  const std::u16string section = CommentStyleSection(info_);
  bool found = false;
  std::u16string shown = PrefText(section, u"StampName", &found);
  for (const std::string& name : StandardStampNames())
    if (shown == std::u16string(name.begin(), name.end())) shown.clear();
  Tessel::Translator& words = Tessel::Translator::GetInstance();
  if (!words.HasTranslation("Editor", kStampTextTitleKey)) words.LoadStrings("Editor");
  Tessel::Dialog dialog(u"ccm_custom_stamp.ui.kw", nullptr);
  dialog.SetInitHook([&](Tessel::Dialog& d) {
    if (auto edit = d.GetElement<Tessel::Edit>(u"lineEditStampText")) edit->SetText(shown);
  });
  if (dialog.DoModal() != Tessel::kDialogOk) return false;
  auto edit = dialog.GetElement<Tessel::Edit>(u"lineEditStampText");
  const std::u16string text = CustomStampText(edit ? edit->GetText() : std::u16string());
  if (text.empty()) return false;
  Host::PrefSetText(section.c_str(), u"StampName", text.c_str());
  return true;
}

// ---- the gesture ------------------------------------------------------------------

bool CCM_CommentTool::ToPage(KA_PageView view, const KS_DevicePoint& pt, KS_FloatPoint* out) const {
  return view && Host::PageViewDeviceToPage(view, pt, out) != 0;
}

void CCM_CommentTool::Invalidate() const {
  if (!view_) return;
  Host::AppDocInvalidateRect(Host::PageViewGetDocument(view_), Host::PageViewGetPageIndex(view_), nullptr);
}

void CCM_CommentTool::Drop() {
  if (started_) Invalidate();
  started_ = false;
  points_.clear();
}

void CCM_CommentTool::OnActivate(bool) {
  // The tool's button shows pressed while the tool is current.
  if (KA_RibbonElement button = frame_ ? Host::RibbonFindControl(frame_, info_.button) : nullptr)
    Host::RibbonSetChecked(button, 1);
}

void CCM_CommentTool::ForgetDocument(KA_Document doc) {
  if (view_ && Host::PageViewGetDocument(view_) == doc) {
    started_ = false;
    points_.clear();
    view_ = nullptr;
  }
  if (typingDoc_ == doc) typing_.reset(), typingDoc_ = nullptr;
  if (inkDoc_ == doc) ink_.reset(), inkDoc_ = nullptr;
}

void CCM_CommentTool::OnDeactivate() {
  if (KA_RibbonElement button = frame_ ? Host::RibbonFindControl(frame_, info_.button) : nullptr)
    Host::RibbonSetChecked(button, 0);
  Drop();
  EndTyping();
  ink_.reset();
}

bool CCM_CommentTool::OnLButtonDown(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  KS_FloatPoint p{};
  if (!ToPage(view, pt, &p)) return false;
  EndTyping();
  if (info_.gesture == CommentGesture::kVertices && started_ && view == view_) {
    // The point at the pointer becomes a vertex; a new one follows on.
    if (flags & KS_FLAG_SHIFT) p = ConstrainTo45(points_[points_.size() - 2], p);
    points_.back() = p;
    points_.push_back(p);
    Invalidate();
    return true;
  }
  view_ = view;
  started_ = true;
  strokeStarted_ = std::chrono::steady_clock::now();
  flags_ = flags;
  points_ = {p, p};
  if (info_.gesture == CommentGesture::kFreehand) points_ = {p};
  Invalidate();
  return true;
}

bool CCM_CommentTool::OnMouseMove(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_ || view != view_) return false;
  KS_FloatPoint p{};
  if (!ToPage(view, pt, &p)) return true;
  if (info_.gesture == CommentGesture::kFreehand) {
    if (p.x != points_.back().x || p.y != points_.back().y) points_.push_back(p);
  } else {
    if ((flags & KS_FLAG_SHIFT) && (info_.gesture == CommentGesture::kLine || info_.gesture == CommentGesture::kVertices))
      p = ConstrainTo45(points_[points_.size() - 2], p);
    points_.back() = p;
  }
  flags_ = flags;
  Invalidate();
  return true;
}

bool CCM_CommentTool::OnLButtonUp(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (!started_ || view != view_) return false;
  if (info_.gesture == CommentGesture::kVertices) return true;  // vertices end on a double click
  OnMouseMove(view, flags, pt);
  Finish(flags);
  return true;
}

bool CCM_CommentTool::OnLButtonDblClk(KA_PageView view, uint32_t flags, const KS_DevicePoint& pt) {
  if (info_.gesture != CommentGesture::kVertices || !started_) return started_;
  Finish(flags);
  return true;
}

bool CCM_CommentTool::OnRButtonUp(KA_PageView, uint32_t flags, const KS_DevicePoint&) {
  if (!started_) return false;
  if (info_.gesture == CommentGesture::kVertices) Finish(flags);
  return true;
}

bool CCM_CommentTool::OnKeyDown(int32_t key, uint32_t flags) {
  if (typing_) {
    if (key == kKeyEscape) {
      EndTyping();
      return true;
    }
    if (key == kKeyBackspace) {
      if (!typed_.empty()) {
        // A character outside the basic plane goes as a whole.
        const bool pair = typed_.size() >= 2 && typed_.back() >= 0xDC00 && typed_.back() < 0xE000 &&
                          typed_[typed_.size() - 2] >= 0xD800 && typed_[typed_.size() - 2] < 0xDC00;
        typed_.resize(typed_.size() - (pair ? 2 : 1));
        RefreshTyped();
      }
      return true;
    }
    if (key == kKeyEnter) {
      TypeText(u"\n");
      return true;
    }
    return false;
  }
  if (!started_) return false;
  if (key == kKeyEscape) {
    Drop();
    return true;
  }
  if (key == kKeyEnter && info_.gesture == CommentGesture::kVertices) {
    // The point at the pointer is not a vertex.
    if (points_.size() > 1) points_.back() = points_[points_.size() - 2];
    Finish(flags);
    return true;
  }
  return false;
}

bool CCM_CommentTool::OnChar(int32_t key, uint32_t) {
  if (!typing_ || key < 32 || key == 127) return false;
  std::u16string s;
  ks::AppendUtf16(s, static_cast<char32_t>(key));
  TypeText(s);
  return true;
}

void CCM_CommentTool::OnPaint(KA_PageView view, KA_Device device, intptr_t, uint32_t) {
  PaintCaret(view, device);
  if (!started_ || view != view_ || points_.empty()) return;
  std::vector<KS_FloatPoint> figure = points_;
  if (info_.gesture == CommentGesture::kBox || info_.gesture == CommentGesture::kTextBox ||
      info_.gesture == CommentGesture::kTextMarkup) {
    const KS_FloatRect r = BoxFromDrag(points_.front(), points_.back(), (flags_ & KS_FLAG_SHIFT) != 0);
    figure = {{r.left, r.bottom}, {r.right, r.bottom}, {r.right, r.top}, {r.left, r.top}, {r.left, r.bottom}};
  }
  const bool closed = info_.gesture == CommentGesture::kVertices && std::string(info_.subtype) == "Polygon";
  StrokePageLine(view, device, figure, ColorRefOf(ReadCommentStyle(info_).color), closed);
}

bool CCM_CommentTool::Finish(uint32_t flags) {
  if (!started_) return false;
  std::vector<KS_FloatPoint> points = points_;
  started_ = false;
  points_.clear();
  Invalidate();
  if (info_.gesture == CommentGesture::kVertices) {
    // The point at the pointer joins as the last vertex; repeated clicks
    // on one spot (a double click's) count once.
    std::vector<KS_FloatPoint> kept;
    for (const KS_FloatPoint& p : points)
      if (kept.empty() || std::hypot(p.x - kept.back().x, p.y - kept.back().y) > 0.01) kept.push_back(p);
    points = kept;
    const size_t need = std::string(info_.subtype) == "Polygon" ? 3 : 2;
    if (points.size() < need) return false;
  }
  return Create(points, flags);
}

// ---- making the annotation ------------------------------------------------------------

bool CCM_CommentTool::Create(const std::vector<KS_FloatPoint>& points, uint32_t flags) {
  KA_Document doc = view_ ? Host::PageViewGetDocument(view_) : nullptr;
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  KPD_Page page = view_ ? Host::PageViewGetPage(view_) : nullptr;
  const int pageIndex = view_ ? Host::PageViewGetPageIndex(view_) : -1;
  if (!pdf || !page || points.empty() || !CurrentDocumentAllowsAnnotEdits()) return false;
  const CommentStyle style = ReadCommentStyle(info_);
  const KS_FloatPoint a = points.front(), b = points.back();
  const bool dragged = std::hypot(b.x - a.x, b.y - a.y) >= kMinDrag;
  const bool shift = (flags & KS_FLAG_SHIFT) != 0;

  // What the gesture gives, checked before anything is made.
  std::vector<float> quads;
  KS_FloatRect caret{};
  std::u16string attachName;
  std::string attachBytes;
  switch (info_.gesture) {
    case CommentGesture::kBox:
    case CommentGesture::kLine:
    case CommentGesture::kCallout:
      if (!dragged) return false;
      break;
    case CommentGesture::kFreehand:
      if (ink_ && inkDoc_ == doc && inkPage_ == pageIndex && strokeStarted_ - inkEnded_ < kInkPause &&
          AddStroke(points))
        return true;
      break;
    case CommentGesture::kTextMarkup: {
      const TextSelection sel = SelectText(PageGlyphs(pdf, pageIndex), a, b);
      if (sel.quads.empty()) return false;
      quads = sel.quads;
      break;
    }
    case CommentGesture::kCaret:
      if (!CaretBox(PageGlyphs(pdf, pageIndex), b, &caret)) return false;
      break;
    case CommentGesture::kAttach: {
      const std::vector<std::u16string> files = Tessel::FileDialog(nullptr, true, u"(*.*)|*.*||", u"");
      if (files.empty()) return false;
      std::ifstream in(ks::ToUtf8(files.front()), std::ios::binary);
      if (!in) {
        Host::MessageBox(Replaced(CommentText(kAttachUnreadableKey), files.front()).c_str(),
                         CommentToolTitle(info_).c_str(), 0);
        return false;
      }
      attachBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      const size_t slash = files.front().find_last_of(u"/\\");
      attachName = slash == std::u16string::npos ? files.front() : files.front().substr(slash + 1);
      break;
    }
    default: break;
  }

  auto list = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  std::shared_ptr<CKW_Annot> annot = list ? list->CreateAnnot(info_.subtype, nullptr, info_.intent) : nullptr;
  auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get());
  if (!markup) {
    if (annot) list->RemoveAnnot(annot->GetAnnot());
    return false;
  }
  CKW_Annot& an = *annot;
  kwannotation::CKW_AnnotWriter writer(*an.GetImpl());

  // Style first: the intents below adjust the border they find.
  // A free text's /C is its background; its border and text colours go in
  // its /DA.
  const bool freeText = std::string(info_.subtype) == "FreeText";
  if (style.color && !freeText) an.SetColor(*style.color);
  if (style.fill && freeText) an.SetColor(*style.fill);
  if (style.fill && !freeText && info_.gesture != CommentGesture::kFreehand) markup->SetInteriorColor(*style.fill);
  if (style.opacity < 100) an.SetOpacity(style.opacity / 100.0f);
  kwannotation::KwBorderInfo border;
  border.width = style.width;
  const bool bordered = info_.gesture == CommentGesture::kBox || info_.gesture == CommentGesture::kLine ||
                        info_.gesture == CommentGesture::kVertices || info_.gesture == CommentGesture::kFreehand ||
                        info_.gesture == CommentGesture::kTextBox || info_.gesture == CommentGesture::kCallout ||
                        info_.gesture == CommentGesture::kTypewriter;
  if (bordered) an.GetImpl()->SetBorderInfo(border);
  if (*info_.intent) markup->SetIntent(info_.intent);

  const std::string da = [&] {
    const auto rgb = [](const KPD_ColorF& c) {
      return ks::FormatFixed(c.c[0], 3) + " " + ks::FormatFixed(c.c[1], 3) + " " + ks::FormatFixed(c.c[2], 3);
    };
    // A typewriter's colour is its text's; a text box's and a callout's is
    // their border's, over black text.
    const bool typewriter = info_.gesture == CommentGesture::kTypewriter;
    const KPD_ColorF text = typewriter && style.color ? *style.color : KPD_ColorF{2, {0, 0, 0, 0}};
    std::string out = "/Helv " + ks::FormatFixed(style.fontSize, 2) + " Tf " + rgb(text) + " rg";
    if (!typewriter && style.color) out += " " + rgb(*style.color) + " RG";
    return out;
  }();

  switch (info_.gesture) {
    case CommentGesture::kBox:
      an.SetRect(BoxFromDrag(a, b, shift));
      break;
    case CommentGesture::kLine:
      if (auto* line = dynamic_cast<kwannotation::CKW_Line*>(&an)) {
        line->SetLinePoints(a, b);
        const float m = std::max(style.width, 1.0f) * 6;
        an.SetRect({std::min(a.x, b.x) - m, std::min(a.y, b.y) - m, std::max(a.x, b.x) + m, std::max(a.y, b.y) + m});
      }
      break;
    case CommentGesture::kVertices: {
      markup->SetVertices(points);
      KS_FloatRect box{a.x, a.y, a.x, a.y};
      for (const KS_FloatPoint& p : points)
        box = {std::min(box.left, p.x), std::min(box.bottom, p.y), std::max(box.right, p.x), std::max(box.top, p.y)};
      const float m = style.width + 1;
      an.SetRect({box.left - m, box.bottom - m, box.right + m, box.top + m});
      break;
    }
    case CommentGesture::kFreehand:
      if (auto* ink = dynamic_cast<kwannotation::CKW_Ink*>(&an)) {
        ink->SetInkList({points});
        if (std::string(info_.intent) == "InkHighlight") writer.SetName("/BM", "Multiply");
      }
      break;
    case CommentGesture::kTextBox:
      an.SetRect(dragged ? BoxFromDrag(a, b, shift) : KS_FloatRect{a.x, a.y - 40, a.x + 160, a.y});
      an.SetDefaultAppearance(da);
      break;
    case CommentGesture::kTypewriter:
      an.SetRect(TypewriterBox(b, LineWidths(u"", style.font, style.fontSize), style.fontSize));
      an.SetDefaultAppearance(da);
      break;
    case CommentGesture::kCallout: {
      const CalloutLayout layout = LayoutCallout(a, b, 160, 40);
      std::vector<float> cl;
      for (const KS_FloatPoint& p : layout.leader) cl.push_back(p.x), cl.push_back(p.y);
      writer.SetNumbers("/CL", cl.data(), cl.size());
      writer.SetName("/LE", "OpenArrow");
      an.SetRect(layout.box);
      an.SetDefaultAppearance(da);
      break;
    }
    case CommentGesture::kNote:
      an.SetRect({b.x, b.y - 20, b.x + 20, b.y});
      break;
    case CommentGesture::kTextMarkup:
      if (auto* tm = dynamic_cast<kwannotation::CKW_TextMarkupAnnot*>(&an)) tm->SetQuadPoints(quads);
      break;
    case CommentGesture::kCaret:
      an.SetRect(caret);
      break;
    case CommentGesture::kStamp: {
      bool found = false;
      std::u16string name = PrefText(CommentStyleSection(info_), u"StampName", &found);
      if (name.empty()) name = u"Approved";
      writer.SetName("/Name", kwannotation::dict::ToUtf8(name));
      // On a turned page the stamp is turned back, to stand upright as
      // the page is shown.
      const int turn = ((Host::PageGetRotation(page) % 360) + 360) % 360;
      const bool across = turn == 90 || turn == 270;
      const float hw = across ? 22 : 90, hh = across ? 90 : 22;
      an.SetRect({b.x - hw, b.y - hh, b.x + hw, b.y + hh});
      if (turn) an.SetRotate(turn);
      break;
    }
    case CommentGesture::kAttach:
      an.SetRect({b.x, b.y - 20, b.x + 14, b.y});
      writer.SetName("/Name", "PushPin");
      kwannotation::KW_AttachFile(*an.GetImpl(), attachName, attachBytes, MimeTypeOf(attachName), PdfDateNow());
      an.SetContents(attachName);
      break;
  }
  markup->SetSubject(CommentToolTitle(info_));
  Commit(annot, pageIndex);
  WriteCommentStyle(info_, style);

  switch (info_.gesture) {
    case CommentGesture::kTextBox:
    case CommentGesture::kTypewriter:
    case CommentGesture::kCallout:
    case CommentGesture::kNote:
      typing_ = annot;
      typingDoc_ = doc;
      typingPage_ = pageIndex;
      typed_.clear();
      typingOrigin_ = b;
      break;
    case CommentGesture::kFreehand:
      ink_ = annot;
      inkDoc_ = doc;
      inkPage_ = pageIndex;
      inkEnded_ = std::chrono::steady_clock::now();
      break;
    default: break;
  }
  return true;
}

void CCM_CommentTool::Commit(const std::shared_ptr<CKW_Annot>& annot, int pageIndex) {
  KA_Document doc = Host::PageViewGetDocument(view_);
  KPD_Dictionary dict = annot->GetDict();
  AnnotationPlugin::StampIdentity(dict);
  const std::u16string now = PdfDateNow();
  if (auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get())) markup->SetCreationDate(now);
  annot->SetModifiedDate(now);
  if (std::string(info_.subtype) == "Text") {
    // The note's pop-up opens beside its icon.
    KS_FloatRect r{};
    annot->GetRect(&r);
    if (auto* markup = dynamic_cast<CKW_MarkupAnnot*>(annot.get()))
      markup->SetPopup({r.right + 4, r.top - 120, r.right + 184, r.top}, false);
  }
  annot->ResetAppearance();

  KPD_Page page = Host::DocGetPage(Host::AppDocGetPdfDocument(doc), pageIndex);
  const int index = Host::PageFindAnnot(page, dict);
  auto undo = std::make_unique<CCM_UndoCreate>(doc, pageIndex, dict, index);
  undo->SetCaption(Replaced(CommentText(kUndoCreateKey), CommentToolTitle(info_)));
  AnnotationPlugin::AnnotUndo_HandOver(std::move(undo), doc);
  if (KA_Annot made = Host::AnnotFromDict(doc, dict)) {
    Host::AppDocSelect(doc, made, 0);
    Host::AppDocSetFocusedAnnot(doc, made);
  }
  Host::AppDocInvalidateRect(doc, pageIndex, nullptr);
}

// ---- ink groups ---------------------------------------------------------------------

bool CCM_CommentTool::AddStroke(const std::vector<KS_FloatPoint>& stroke) {
  auto* ink = dynamic_cast<kwannotation::CKW_Ink*>(ink_.get());
  KPD_Document pdf = Host::AppDocGetPdfDocument(inkDoc_);
  KPD_Page page = pdf ? Host::DocGetPage(pdf, inkPage_) : nullptr;
  // An ink undone meanwhile is off its page: the stroke starts a new one.
  if (!ink || !page || Host::PageFindAnnot(page, ink->GetDict()) < 0) return false;
  std::vector<std::vector<KS_FloatPoint>> strokes = ink->GetInkList();
  strokes.push_back(stroke);
  ink->SetInkList(strokes);
  ink->SetModifiedDate(PdfDateNow());
  ink->ResetAppearance();
  inkEnded_ = std::chrono::steady_clock::now();
  Host::AppDocInvalidateRect(inkDoc_, inkPage_, nullptr);
  return true;
}

// ---- typing -------------------------------------------------------------------------

bool CCM_CommentTool::EditingAlive() const {
  if (!typing_) return false;
  KPD_Document pdf = Host::AppDocGetPdfDocument(typingDoc_);
  KPD_Page page = pdf ? Host::DocGetPage(pdf, typingPage_) : nullptr;
  return page && Host::PageFindAnnot(page, typing_->GetDict()) >= 0;
}

void CCM_CommentTool::TypeText(const std::u16string& text) {
  if (!EditingAlive()) {
    typing_.reset();
    return;
  }
  typed_ += text;
  RefreshTyped();
}

void CCM_CommentTool::RefreshTyped() {
  if (!EditingAlive()) return;
  typing_->SetContents(typed_);
  if (info_.gesture == CommentGesture::kTypewriter) {
    const CommentStyle style = ReadCommentStyle(info_);
    typing_->SetRect(TypewriterBox(typingOrigin_, LineWidths(typed_, style.font, style.fontSize), style.fontSize));
  }
  typing_->SetModifiedDate(PdfDateNow());
  typing_->ResetAppearance();
  Host::AppDocInvalidateRect(typingDoc_, typingPage_, nullptr);
}

void CCM_CommentTool::EndTyping() {
  // The caret goes with the typing.
  if (typing_ && EditingAlive()) Host::AppDocInvalidateRect(typingDoc_, typingPage_, nullptr);
  typing_.reset();
}

void CCM_CommentTool::PaintCaret(KA_PageView view, KA_Device device) const {
  // A note's text is in its pop-up, not on the page.
  if (!typing_ || typing_->GetSubtype() != "FreeText" || Host::PageViewGetDocument(view) != typingDoc_ ||
      Host::PageViewGetPageIndex(view) != typingPage_ || !EditingAlive())
    return;
  std::vector<KS_FloatPoint> ends(2);
  if (!kwannotation::FreeTextCaret(*typing_->GetImpl(), &ends[0], &ends[1])) return;
  // In the text's colour: a typewriter's is the tool's, a box's black.
  const bool typewriter = info_.gesture == CommentGesture::kTypewriter;
  StrokePageLine(view, device, ends, typewriter ? ColorRefOf(ReadCommentStyle(info_).color) : KS_ColorRef(0), false);
}

}  // namespace AnnotationComment
