#include "drawing/cda_shapes.h"

#include <climits>
#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "plugin/host_binding.h"
#include "plugin/measure_types.h"

namespace AnnotationPlugin {

namespace {

std::string IntentText(KPD_Dictionary dict) {
  KPD_Object intent = dict ? Host::DictGet(dict, "/IT") : nullptr;
  if (!intent) return {};
  Host::ByteString name;
  if (!Host::NameGet(intent, name.get())) return {};
  std::string text = name.str();
  return !text.empty() && text[0] == '/' ? text.substr(1) : text;
}

KS_ColorRef ToColorRef(const KPD_ColorF& c) {
  // Gray and CMYK reach the panel as their RGB look.
  float r = c.c[0], g = c.c[0], b = c.c[0];
  if (c.kind == KPD_COLOR_RGB) {
    g = c.c[1];
    b = c.c[2];
  } else if (c.kind == KPD_COLOR_CMYK) {
    r = (1 - c.c[0]) * (1 - c.c[3]);
    g = (1 - c.c[1]) * (1 - c.c[3]);
    b = (1 - c.c[2]) * (1 - c.c[3]);
  }
  auto byte = [](float v) { return static_cast<uint32_t>(std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255)); };
  return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

constexpr int32_t kAbsent = INT32_MIN;
constexpr int32_t kNoColor = -1;

KS_ColorRef ColorRefOf(const KPD_ColorF& c) { return ToColorRef(c); }

KPD_ColorF ColorOfRef(KS_ColorRef ref) {
  int32_t a = 0, r = 0, g = 0, b = 0;
  Host::ColorSplit(Host::ColorFromRef(ref, 255), &a, &r, &g, &b);
  return {KPD_COLOR_RGB, {r / 255.0f, g / 255.0f, b / 255.0f, 0}};
}

}  // namespace

int32_t DA_NearestPoint(const std::vector<KS_FloatPoint>& points, const KS_FloatPoint& pt) {
  int32_t best = -1;
  double bestDistance = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    double dx = points[i].x - pt.x, dy = points[i].y - pt.y, d = dx * dx + dy * dy;
    if (best < 0 || d < bestDistance) {
      best = static_cast<int32_t>(i);
      bestDistance = d;
    }
  }
  return best;
}

// ---- CDA_ShapeAnnot ----------------------------------------------------------------

CDA_ShapeAnnot::CDA_ShapeAnnot(KA_Annot annot) : CMarkup_Annot(annot) {
  dict_ = Host::AnnotGetDict(annot);
  KA_Document doc = Host::AnnotGetDocument(annot);
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  int32_t page = Host::AnnotGetPageIndex(annot);
  if (!dict_ || !pdf || page < 0) return;
  list_ = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  if (list_) kw_ = list_->GetAnnot(dict_);
}

// A measurement finds its scale and its page's rotation through the list
// it belongs to, so after a move it must belong to the new page's list.
void CDA_ShapeAnnot::PageChanged() {
  KA_Document doc = Host::AnnotGetDocument(GetAnnot());
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  const int32_t page = Host::AnnotGetPageIndex(GetAnnot());
  if (!dict_ || !pdf || page < 0) return;
  auto list = kwannotation::CKW_PageAnnotList::Create(pdf, page);
  auto kw = list ? list->GetAnnot(dict_) : nullptr;
  if (!kw) return;
  list_ = std::move(list);
  kw_ = std::move(kw);
}

kwannotation::CKW_MarkupAnnotImpl* CDA_ShapeAnnot::Markup() const {
  return kw_ ? dynamic_cast<kwannotation::CKW_MarkupAnnotImpl*>(kw_->GetImpl().get()) : nullptr;
}

void CDA_ShapeAnnot::Regenerate() {
  if (!kw_) return;
  kw_->ResetAppearance();
  if (GetObject()) Host::AnnotObjectAppearanceChanged(GetObject());
}

bool CDA_ShapeAnnot::SetProperty(const KS_AnnotPropertyValue& value) {
  auto* markup = Markup();
  if (!markup) return false;
  const KPD_ColorF rgb{KPD_COLOR_RGB, {value.rgb[0], value.rgb[1], value.rgb[2], 0}};
  const std::u16string text = value.text ? std::u16string(value.text) : std::u16string();
  switch (value.property) {
    case KS_PROP_COLOR: return value.none ? markup->SetColor(KPD_ColorF{}) : markup->SetColor(rgb);
    case KS_PROP_FILL: {
      if (!value.none) return markup->SetInteriorColor(rgb);
      return kwannotation::CKW_AnnotWriter(*markup).Remove("/IC");
    }
    case KS_PROP_WIDTH:
    case KS_PROP_DASH: {
      if (!std::isfinite(value.number) || value.number < 0 || value.number > 100) return false;
      kwannotation::KwBorderInfo border;
      markup->GetBorderInfo(&border);
      if (value.property == KS_PROP_WIDTH) {
        border.width = value.number;
      } else if (value.number == 0) {
        border.style = kwannotation::KW_BORDER_SOLID;
        border.dashes.clear();
      } else {
        border.style = kwannotation::KW_BORDER_DASH;
        border.dashes = {value.number, value.number};
      }
      return markup->SetBorderInfo(border);
    }
    case KS_PROP_OPACITY:
      if (!std::isfinite(value.number) || value.number < 0 || value.number > 1) return false;
      return kw_->SetOpacity(value.number);
    case KS_PROP_LINE_START:
    case KS_PROP_LINE_END: {
      // Without /LE both ends are "None"; kinds without endings refuse the set.
      int32_t start = 0, end = 0;
      if (value.number < 0 || value.number > 9) return false;
      GetLineEndings(&start, &end);
      (value.property == KS_PROP_LINE_START ? start : end) = static_cast<int32_t>(value.number);
      return SetLineEndings(start, end);
    }
    case KS_PROP_SUBJECT: return markup->SetSubject(text);
    case KS_PROP_LABEL: {
      // Only measurements draw a label.
      if (IntentText(dict_).empty()) return false;
      kwannotation::CKW_AnnotWriter writer(*markup);
      if (text.empty()) return writer.Remove("/Label");
      return writer.SetOwned("/Label", Host::StringObjectNewFromText(text.data(), text.size()));
    }
    default: return false;
  }
}

void CDA_ShapeAnnot::SetInteriorColor(KS_ColorRef color, bool none) {
  auto* markup = Markup();
  if (!markup) return;
  if (none) {
    kwannotation::CKW_AnnotWriter(*markup).Remove("/IC");
    return;
  }
  // Through the host's colour service, so that each part is an exact
  // integer before it is divided by 255.
  int32_t a = 0, r = 0, g = 0, b = 0;
  if (!Host::ColorSplit(Host::ColorFromRef(color, 255), &a, &r, &g, &b)) return;
  KPD_ColorF ic{KPD_COLOR_RGB, {r / 255.0f, g / 255.0f, b / 255.0f, 0}};
  markup->SetInteriorColor(ic);
}

bool CDA_ShapeAnnot::GetInteriorColor(KS_ColorRef* color, bool* none) const {
  auto* markup = Markup();
  if (!markup || !color || !none) return false;
  KPD_ColorF ic{};
  *none = !markup->GetInteriorColor(&ic) || ic.kind == KPD_COLOR_NONE;
  *color = *none ? 0 : ToColorRef(ic);
  return true;
}

bool CDA_ShapeAnnot::GetOpacity(float* opacity) const {
  if (!kw_ || !opacity) return false;
  *opacity = kw_->GetImpl()->GetOpacity();
  return true;
}

bool CDA_ShapeAnnot::SetOpacity(float opacity) { return kw_ && kw_->GetImpl()->SetOpacity(opacity); }

std::u16string CDA_ShapeAnnot::GetPrefSection() {
  // A measurement takes the section of its measuring tool.
  const MeasureTypeInfo* row = MeasureTypeRow(MeasureTypeOfAnnot(dict_));
  if (row && kwannotation::dict::GetName(dict_, "/Subtype") == row->subtype)
    section_ = row->styleSection;
  else
    section_ = SectionForIntent(IntentText(dict_));
  return section_;
}

bool CDA_ShapeAnnot::RefreshFromPrefs() {
  std::u16string section = GetPrefSection();
  opacity_ = Host::PrefGetInt(section.c_str(), u"Opacity", 100) / 100.0f;
  textInLine_ = Host::PrefGetInt(section.c_str(), u"ShowTextInLine", 0) != 0;
  return true;
}

bool CDA_ShapeAnnot::WriteDefaultProperties() {
  auto* markup = Markup();
  if (!markup) return false;
  std::u16string section = GetPrefSection();
  const char16_t* sec = section.c_str();
  KPD_ColorF c{};
  Host::PrefSetInt(sec, u"Color", kw_->GetColor(&c) && c.kind ? int32_t(ColorRefOf(c)) : kNoColor);
  KPD_ColorF fill{};
  Host::PrefSetInt(sec, u"FillColor",
                   markup->GetInteriorColor(&fill) && fill.kind ? int32_t(ColorRefOf(fill)) : kNoColor);
  float width = 1;
  kw_->GetBorderWidth(&width);
  Host::PrefSetInt(sec, u"Thickness", static_cast<int32_t>(std::lround(width * 100)));  // hundredths of a point
  // The style /BS names (0 solid to 4 underline); a cloud is not one of them.
  kwannotation::KwBorderInfo border;
  kw_->GetImpl()->GetBorderInfo(&border);
  Host::PrefSetInt(sec, u"BorderStyle", border.stored.bsStyle);
  int32_t start = 0, end = 0;
  if (GetLineEndings(&start, &end)) {
    Host::PrefSetInt(sec, u"LineStart", start);
    Host::PrefSetInt(sec, u"LineEnd", end);
  }
  Host::PrefSetInt(sec, u"Opacity", static_cast<int32_t>(std::lround(markup->GetOpacity() * 100)));
  std::u16string text;
  if (markup->GetTitle(&text)) Host::PrefSetText(sec, u"Author", text.c_str());
  if (markup->GetSubject(&text)) Host::PrefSetText(sec, u"Subject", text.c_str());
  return true;
}

bool CDA_ShapeAnnot::ReadDefaultProperties() {
  auto* markup = Markup();
  if (!markup) return false;
  std::u16string section = GetPrefSection();
  const char16_t* sec = section.c_str();
  if (int32_t v = Host::PrefGetInt(sec, u"Color", kAbsent); v != kAbsent)
    kw_->SetColor(v == kNoColor ? KPD_ColorF{} : ColorOfRef(static_cast<KS_ColorRef>(v)));
  if (int32_t v = Host::PrefGetInt(sec, u"FillColor", kAbsent); v != kAbsent)
    SetInteriorColor(static_cast<KS_ColorRef>(v), v == kNoColor);
  // Width and style alone: a cloudy border keeps its cloud.
  if (int32_t v = Host::PrefGetInt(sec, u"Thickness", kAbsent); v != kAbsent && v >= 0) kw_->SetBorderWidth(v / 100.0);
  if (int32_t v = Host::PrefGetInt(sec, u"BorderStyle", kAbsent); v >= 0 && v < 5) kw_->SetBorderStyle(v);
  int32_t start = Host::PrefGetInt(sec, u"LineStart", kAbsent), end = Host::PrefGetInt(sec, u"LineEnd", kAbsent);
  if (start != kAbsent && end != kAbsent) SetLineEndings(start, end);
  if (int32_t v = Host::PrefGetInt(sec, u"Opacity", kAbsent); v >= 0 && v <= 100) markup->SetOpacity(v / 100.0f);
  Host::WideString text;
  if (Host::PrefGetText(sec, u"Author", text.get())) markup->SetTitle(text.str());
  if (Host::PrefGetText(sec, u"Subject", text.get())) markup->SetSubject(text.str());
  Regenerate();
  return true;
}

// ---- CDA_Line -----------------------------------------------------------------------

kwannotation::CKW_Line* CDA_Line::Line() const { return dynamic_cast<kwannotation::CKW_Line*>(kw_.get()); }

std::u16string CDA_Line::SectionForIntent(const std::string& intent) const {
  if (intent == "LineArrow") return u"Annotation\\Arrow";
  return u"Annotation\\Line";
}

bool CDA_Line::GetAnchor(KS_FloatPoint* out) const {
  KS_FloatPoint start, end;
  auto* line = Line();
  if (!out || !line || !line->GetLinePoints(&start, &end)) return false;
  *out = end.x > start.x ? end : start;
  return true;
}

void CDA_Line::SetBoolProperty(bool value) {
  if (!kw_ || !dict_) return;
  kwannotation::CKW_AnnotWriter(*kw_->GetImpl()).SetBool("/Cap", value);
  Host::PropertyPanelRefresh();
}

bool CDA_Line::GetBoolProperty(bool* value) const {
  if (value) {
    KPD_Object flag = dict_ ? Host::DictGet(dict_, "/Cap") : nullptr;
    *value = flag && Host::BooleanGet(flag);
  }
  return true;
}

bool CDA_Line::GetLineEndings(int32_t* start, int32_t* end) const {
  auto* line = Line();
  return line && line->GetLineEndings(start, end);
}

bool CDA_Line::SetLineEndings(int32_t start, int32_t end) {
  auto* line = Line();
  return line && line->SetLineEndings(start, end);
}

bool CDA_Line::ShowsTextInLine() const {
  std::u16string section = const_cast<CDA_Line*>(this)->GetPrefSection();
  return Host::PrefGetInt(section.c_str(), u"ShowTextInLine", 0) != 0;
}

bool CDA_Line::ShowsTextAboveLine() const { return !ShowsTextInLine(); }

std::vector<KS_FloatPoint> CDA_Line::GetSnapPoints() const {
  auto* line = Line();
  KS_FloatPoint start, end;
  if (!line || !line->GetLinePoints(&start, &end)) return {};
  return {start, end};
}

bool CDA_Line::SetPoint(const KS_FloatPoint& pt) {
  auto* line = Line();
  KS_FloatPoint start, end;
  if (!line || !line->GetLinePoints(&start, &end)) return false;
  if (DA_NearestPoint({start, end}, pt) == 0) {
    start = pt;
  } else {
    end = pt;
  }
  if (!line->SetLinePoints(start, end)) return false;
  Regenerate();
  return true;
}

// ---- CDA_PolyLine and CDA_Polygon ---------------------------------------------------

std::u16string CDA_PolyLine::SectionForIntent(const std::string&) const { return u"Annotation\\Polyline"; }

std::u16string CDA_Polygon::SectionForIntent(const std::string&) const { return u"Annotation\\Polygon"; }

bool CDA_PolyLine::GetAnchor(KS_FloatPoint* out) const {
  auto* markup = Markup();
  if (!out || !markup) return false;
  std::vector<KS_FloatPoint> vertices = markup->GetVertices();
  if (vertices.empty()) return false;
  KS_FloatPoint best = vertices[0];
  for (const KS_FloatPoint& v : vertices)
    if (v.x >= best.x) best = v;
  *out = best;
  return true;
}

std::vector<KS_FloatPoint> CDA_PolyLine::GetSnapPoints() const {
  auto* markup = Markup();
  return markup ? markup->GetVertices() : std::vector<KS_FloatPoint>{};
}

bool CDA_PolyLine::GetLineEndings(int32_t* start, int32_t* end) const {
  auto* poly = kw_ ? dynamic_cast<kwannotation::CKW_PolyLine*>(kw_.get()) : nullptr;
  return poly && poly->GetLineEndings(start, end);
}

bool CDA_PolyLine::SetLineEndings(int32_t start, int32_t end) {
  auto* poly = kw_ ? dynamic_cast<kwannotation::CKW_PolyLine*>(kw_.get()) : nullptr;
  return poly && poly->SetLineEndings(start, end);
}

bool CDA_PolyLine::SetPoint(const KS_FloatPoint& pt) {
  auto* markup = Markup();
  if (!markup) return false;
  vertices_ = markup->GetVertices();
  int32_t index = DA_NearestPoint(vertices_, pt);
  if (index < 0) return false;
  vertices_[index] = pt;
  if (!markup->SetVertices(vertices_)) return false;
  Regenerate();
  return true;
}

// ---- CDA_Circle -----------------------------------------------------------------------

std::u16string CDA_Circle::SectionForIntent(const std::string&) const { return u"Annotation\\Circle"; }

}  // namespace AnnotationPlugin
