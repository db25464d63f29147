#include "drawing/cda_rubber.h"

#include <algorithm>
#include <cmath>

#include "drawing/cda_rubber_undo.h"
#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_annot_types.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

namespace {

constexpr const char16_t* kSizeSection = u"Annotation\\RubberSize";

KS_ColorRef Rgb(int r, int g, int b) { return KS_ColorRef(r) | (KS_ColorRef(g) << 8) | (KS_ColorRef(b) << 16); }

std::string TypeOf(KA_Annot annot) {
  Host::ByteString type;
  if (!Host::AnnotGetTypeName(annot, type.get())) return {};
  return type.str();
}

// The border width as the annotation model reads it (1 without one).
float BorderWidth(KPD_Dictionary dict) {
  kwannotation::CKW_InkImpl ink(dict, kwannotation::KW_ANNOT_INK, nullptr);
  float width = 1;
  return ink.GetBorderWidth(&width) ? width : 1.0f;
}

KA_Document CurrentDoc() { return Host::AppGetCurrentDocument(); }

}  // namespace

CDA_CNRubberToolHandler::CDA_CNRubberToolHandler() : size_(ReadSize()) {}

CDA_CNRubberToolHandler::~CDA_CNRubberToolHandler() = default;

int32_t CDA_CNRubberToolHandler::ReadSize() {
  return std::clamp(Host::PrefGetInt(kSizeSection, u"Size", 8), 1, 30);
}

void CDA_CNRubberToolHandler::SetSize(int32_t size) {
  size_ = std::clamp(size, 1, 30);
  Host::PrefSetInt(kSizeSection, u"Size", size_);
}

KS_ColorRef CDA_CNRubberToolHandler::PreviewColor(int32_t nightMode) {
  switch (nightMode) {
    case 1: return Rgb(39, 39, 39);
    case 2: return Rgb(224, 247, 229);
    case 3: return Rgb(250, 235, 215);
    default: return Rgb(255, 255, 255);
  }
}

bool CDA_CNRubberToolHandler::IsErasable(KA_Annot annot) {
  return annot && TypeOf(annot) == "Ink" && !Host::AnnotIsLocked(annot) && !Host::AnnotIsReadOnly(annot) &&
         Host::AnnotIsModifiable(annot, 0) == 1;
}

// Nothing stays selected or focused in any open document while the
// eraser is the tool, nor after it.
void CDA_CNRubberToolHandler::ClearEveryView() {
  const int32_t count = Host::AppDocumentCount();
  for (int32_t i = 0; i < count; ++i) {
    if (KA_Document doc = Host::AppGetDocument(i)) {
      Host::AppDocDeselectAll(doc);
      Host::AppDocSetFocusedAnnot(doc, nullptr);
    }
  }
}

void CDA_CNRubberToolHandler::OnActivate(bool) {
  size_ = ReadSize();
  ClearEveryView();
  // The eraser stays the tool after each erase.
  Host::PrefSetInt(u"KeepToolSelected", u"Rubber", 1);
}

void CDA_CNRubberToolHandler::OnDeactivate() {
  ClearEveryView();
  busy_ = false;
  candidates_.clear();
  prepared_.clear();
  trail_.Clear();
}

void CDA_CNRubberToolHandler::OnControl(const std::string& id) {
  if (id == "Button_CNRubberPart") mode_ = kPart;
  else if (id == "Button_CNRubberWhole") mode_ = kWhole;
  else if (id == "Button_CNRubberAll") mode_ = kAll;
  else mode_ = kNone;
  if (mode_ == kAll) EraseAll();
  if (mode_ != kNone && HostTool()) Host::AppSetCurrentTool(HostTool(), 1);
}

bool CDA_CNRubberToolHandler::GetAnchor(KS_DevicePoint& out) {
  if (!busy_) return false;
  out = start_;
  return true;
}

void CDA_CNRubberToolHandler::AddCandidate(KA_Annot annot) {
  if (!annot) return;
  for (const Candidate& c : candidates_)
    if (c.annot == annot) return;
  for (auto it = prepared_.begin(); it != prepared_.end(); ++it) {
    if (it->annot != annot) continue;
    candidates_.push_back(std::move(*it));
    prepared_.erase(it);
    return;
  }
  if (!IsErasable(annot)) return;
  candidates_.push_back(Prepare(annot));
}

// The erasable inks of the view's page, read and indexed before the first
// move: a dense ink takes a while to index, and the preview of a move must
// not wait for it.
void CDA_CNRubberToolHandler::PrepareInks(KA_PageView view) {
  prepared_.clear();
  KA_Document doc = Host::PageViewGetDocument(view);
  KPD_Page page = Host::PageViewGetPage(view);
  const int32_t count = page && doc ? Host::PageAnnotCount(page) : 0;
  for (int32_t i = 0; i < count; ++i) {
    KA_Annot annot = Host::AnnotFromDict(doc, Host::PageGetAnnot(page, i));
    if (IsErasable(annot)) prepared_.push_back(Prepare(annot));
  }
}

CDA_CNRubberToolHandler::Candidate CDA_CNRubberToolHandler::Prepare(KA_Annot annot) {
  Candidate c;
  c.annot = annot;
  KPD_Dictionary dict = Host::AnnotGetDict(annot);
  c.data = DA_ReadInk(dict);
  c.lineWidth = BorderWidth(dict) * (c.data.pressure ? 3.0f : 1.0f);
  if (c.data.problem.empty()) {
    c.index = std::make_unique<CDA_StrokeIndex>(c.data.strokes);
    c.preview = std::make_unique<CDA_StrokeIndex::Preview>(*c.index, mode_ == kWhole);
  }
  return c;
}

void CDA_CNRubberToolHandler::SetCursor(KA_PageView view) {
  if (mode_ == kPart) {
    const float zoom = view ? Host::PageViewGetZoom(view) : 1.0f;
    const double diameter = std::max(1.0, double(size_) * zoom);
    Host::AppSetCursor("circle", int32_t(std::lround(diameter)));
  } else if (mode_ == kWhole) {
    Host::AppSetCursor("resource:4948", 0);
  }
}

bool CDA_CNRubberToolHandler::OnLButtonDown(KA_PageView view, uint32_t, const KS_DevicePoint& pt) {
  if (!view) return false;
  candidates_.clear();
  trail_ = CDA_RubberTrail(RubberRadius(size_));
  view_ = view;
  start_ = pt;
  KS_FloatPoint p{};
  if (!Host::PageViewDeviceToPage(view, pt, &p)) return false;
  KS_FloatRect box{};
  KPD_Page page = Host::PageViewGetPage(view);
  if (!page || (!Host::PageGetBox(page, "/CropBox", &box) && !Host::PageGetBox(page, "/MediaBox", &box)))
    return false;
  if (mode_ != kPart && mode_ != kWhole) return false;
  busy_ = true;
  PrepareInks(view);
  AddCandidate(Host::PageViewHitTestAnnot(view, pt, "Ink"));
  trail_.Add(p);
  return true;
}

bool CDA_CNRubberToolHandler::OnMouseMove(KA_PageView view, uint32_t, const KS_DevicePoint& pt) {
  if (mode_ != kPart && mode_ != kWhole) return false;
  SetCursor(view);
  if (!busy_ || view != view_) return false;
  AddCandidate(Host::PageViewHitTestAnnot(view, pt, "Ink"));
  KS_FloatPoint p{};
  if (Host::PageViewDeviceToPage(view, pt, &p)) trail_.Add(p);
  int32_t night = 0;
  Host::WideString text;
  if (Host::PrefGetText(u"Preferences\\Documents", u"bNightMode", text.get())) {
    std::u16string t = text.str();
    night = 0;
    bool digits = !t.empty();
    for (char16_t ch : t) digits = digits && ch >= u'0' && ch <= u'9';
    if (digits && t.size() < 6) night = std::stoi(std::string(t.begin(), t.end()));
  }
  if (night != nightMode_) {
    nightMode_ = night;
    background_ = PreviewColor(night);
  }
  for (Candidate& c : candidates_)
    if (c.preview) PaintPreview(view, c, c.preview->Extend(trail_));
  return true;
}

void CDA_CNRubberToolHandler::PaintPreview(KA_PageView view, const Candidate& c,
                                           const std::vector<DA_SegmentRef>& segments) {
  if (segments.empty()) return;
  KA_Device device = Host::PageViewGetWindowDevice(view);
  if (!device) return;
  const float zoom = Host::PageViewGetZoom(view);
  const double dpi = 72.0;  // device pixels of this host are points at zoom 1
  const int32_t width = int32_t(dpi * std::max(2.0, (double(c.lineWidth) + 1) * zoom) / 72 + 0.5);
  KA_Pen pen = Host::PenNew(background_, width, 0);
  KA_Pen old = Host::DeviceSelectPen(device, pen);
  for (const DA_SegmentRef& s : segments) {
    const auto& pts = c.index->Strokes()[size_t(s.stroke)].points;
    KS_DevicePoint a{}, b{};
    if (Host::PageViewPageToDevice(view, pts[size_t(s.index)], &a) &&
        Host::PageViewPageToDevice(view, pts[size_t(s.index) + 1], &b))
      Host::DeviceLine(device, a, b);
  }
  Host::DeviceSelectPen(device, old);
  Host::PenRelease(pen);
}

bool CDA_CNRubberToolHandler::EraseOne(Candidate& c, KA_Document doc, std::vector<std::string>* skipped) {
  if (!c.data.problem.empty()) {
    skipped->push_back(c.data.problem);
    return false;
  }
  if (Host::AnnotGetPageIndex(c.annot) < 0 || !c.index) return false;
  DA_EraseResult r = mode_ == kWhole ? c.index->EraseWhole(trail_) : c.index->ErasePart(trail_);
  if (!r.changed) return false;
  KPD_Dictionary dict = Host::AnnotGetDict(c.annot);
  const std::u16string caption = Widgets::Translate("IDS_STR_UNDORUBBER");
  DA_Removal removal;
  if (r.strokes.empty()) {
    // Nothing of the ink is left: it leaves its page.
    if (!DA_RemoveFromPage(c.annot, &removal)) return false;
    std::unique_ptr<CAnnot_BaseUndo> item;
    if (mode_ == kWhole)
      item = std::make_unique<CDA_UndoRubberWhole>(doc, c.annot, nullptr, c.data.strokes, DA_InkStrokes(), removal,
                                                   c.data.pressure, caption);
    else
      item = std::make_unique<CDA_UndoRubberPart>(doc, c.annot, nullptr, c.data.strokes, DA_InkStrokes(), removal,
                                                  caption);
    AnnotUndo_HandOver(std::move(item), doc);
    return true;
  }
  // The strokes are replaced whole, never changed in place, and the new
  // appearance goes into a new stream: the record keeps the old strokes and
  // stream as they are rather than copying every number and byte.
  auto change =
      std::make_unique<kwannotation::CKW_AnnotChange>(dict, std::vector<std::string>{"/InkList", "/PSI"}, true);
  std::string why;
  if (!DA_KeepRuns(dict, r.runs) || !kwannotation::RebuildAppearance(dict, &why)) {
    if (change->Finish()) change->Apply(false);
    skipped->push_back(why.empty() ? std::string("the document refused the new strokes") : why);
    return false;
  }
  if (r.droppedSinglePoints > 0)
    skipped->push_back(std::to_string(r.droppedSinglePoints) + " piece(s) of one point dropped");
  change->Finish();
  DA_AppearanceChanged(c.annot);
  std::unique_ptr<CAnnot_BaseUndo> item;
  if (mode_ == kWhole)
    item = std::make_unique<CDA_UndoRubberWhole>(doc, c.annot, std::move(change), c.data.strokes, r.strokes,
                                                 removal, c.data.pressure, caption);
  else
    item = std::make_unique<CDA_UndoRubberPart>(doc, c.annot, std::move(change), c.data.strokes, r.strokes,
                                                removal, caption);
  AnnotUndo_HandOver(std::move(item), doc);
  Host::AppDocInvalidateRect(doc, Host::AnnotGetPageIndex(c.annot), nullptr);
  return true;
}

bool CDA_CNRubberToolHandler::OnLButtonUp(KA_PageView view, uint32_t, const KS_DevicePoint&) {
  if (!busy_) return false;
  KA_Document doc = Host::PageViewGetDocument(view_ ? view_ : view);
  std::vector<std::string> skipped;
  if (doc && !trail_.Empty() && !candidates_.empty()) {
    const std::u16string caption = Widgets::Translate("IDS_STR_UNDORUBBER");
    Host::UndoBeginGroup(doc, caption.c_str());
    bool erased = false;
    for (Candidate& c : candidates_) erased = EraseOne(c, doc, &skipped) || erased;
    if (erased) Host::AppDocNotifyPageChanged(doc, Host::PageViewGetPageIndex(view_ ? view_ : view));
    Host::UndoEndGroup(doc);
  }
  prepared_.clear();
  if (doc) Host::AppDocInvalidateRect(doc, Host::PageViewGetPageIndex(view_ ? view_ : view), nullptr);
  busy_ = false;
  ShowSkipped(skipped);
  return true;
}

void CDA_CNRubberToolHandler::ShowSkipped(const std::vector<std::string>& skipped) {
  if (skipped.empty()) return;
  std::u16string text = Widgets::Translate("IDS_RUBBER_SKIPPED_TOOLTIP");
  for (size_t i = 0; i < skipped.size(); ++i) {
    text += i == 0 ? u" " : u"; ";
    text += std::u16string(skipped[i].begin(), skipped[i].end());
  }
  Host::AppShowMessageTip(text.c_str());
}

bool CDA_CNRubberToolHandler::EraseAll() {
  KA_Document doc = CurrentDoc();
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  std::vector<KA_Annot> inks;
  const int32_t pages = pdf ? Host::DocPageCount(pdf) : 0;
  for (int32_t p = 0; p < pages; ++p) {
    KPD_Page page = Host::DocGetPage(pdf, p);
    const int32_t count = page ? Host::PageAnnotCount(page) : 0;
    for (int32_t i = 0; i < count; ++i) {
      KA_Annot annot = Host::AnnotFromDict(doc, Host::PageGetAnnot(page, i));
      if (IsErasable(annot)) inks.push_back(annot);
    }
  }
  if (inks.empty()) {
    Host::AppShowMessageTip(Widgets::Translate("IDS_RUBBER_NOERASABLE_TOOLTIP").c_str());
    return false;
  }
  const std::u16string caption = Widgets::Translate("IDS_STR_UNDORUBBER");
  Host::UndoBeginGroup(doc, caption.c_str());
  for (KA_Annot annot : inks) {
    DA_InkData data = DA_ReadInk(Host::AnnotGetDict(annot));
    DA_Removal removal;
    if (!DA_RemoveFromPage(annot, &removal)) continue;
    AnnotUndo_HandOver(std::make_unique<CDA_UndoRubberWhole>(doc, annot, nullptr, data.strokes, DA_InkStrokes(),
                                                             removal, data.pressure, caption),
                       doc);
  }
  Host::UndoEndGroup(doc);
  return true;
}

}  // namespace AnnotationPlugin
