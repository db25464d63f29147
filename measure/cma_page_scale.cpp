#include "measure/cma_page_scale.h"

#include <charconv>
#include <cmath>

#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_shape_appearance.h"
#include "kwannotation/kw_viewport.h"
#include "measure/cma_annot_handlers.h"
#include "measure/cma_figure_values.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"
#include "sdk/ks_number.h"

namespace AnnotationPlugin {
namespace {

using kwannotation::CKW_AnnotChange;
using kwannotation::CKW_MeasureDict;

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Unit texts in preset files are ASCII keys; anything else is taken byte
// for byte and then refused by the unit lists.
std::u16string Wide(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// A decimal number as preset files hold it: digits with at most one point,
// blanks around allowed. Empty for anything else.
std::optional<double> Decimal(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 64) return std::nullopt;
  int points = 0;
  for (char c : text) {
    if (c == '.') ++points;
    else if (c < '0' || c > '9') return std::nullopt;
  }
  if (points > 1 || text == ".") return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool InList(const std::u16string& key, UnitList list) {
  for (std::u16string_view k : kwannotation::UnitKeys(list))
    if (k == key) return true;
  return false;
}

// The key of a unit text of a list, or empty when it is none of its keys
// or display names.
std::u16string ListKey(std::u16string_view text, UnitList list) {
  std::u16string key = UnitKeyFromText(text, list);
  return InList(key, list) ? key : std::u16string();
}

bool UsableRatio(const MeasureRatioPair& r) {
  return std::isfinite(r.paperNumber) && r.paperNumber > 0 && std::isfinite(r.realNumber) && r.realNumber > 0 &&
         !ListKey(r.paperUnit, UnitList::Paper).empty() && !ListKey(r.realUnit, UnitList::Real).empty();
}

std::string Attribute(KX_Element element, const char* name) {
  Host::ByteString out;
  return Host::XmlGetAttribute(element, name, out.get()) ? out.str() : std::string();
}

// ---- the per-document table of page scales ---------------------------------------

std::map<KA_Document, std::map<int, PageScale>>& Records() {
  static std::map<KA_Document, std::map<int, PageScale>> records;
  return records;
}

void Record(KA_Document doc, int pageIndex, const std::optional<PageScale>& scale) {
  if (scale) {
    Records()[doc][pageIndex] = *scale;
    return;
  }
  auto it = Records().find(doc);
  if (it == Records().end()) return;
  it->second.erase(pageIndex);
  if (it->second.empty()) Records().erase(it);
}

KS_FloatRect PageBox(KPD_Page page) {
  KS_FloatRect box{};
  if (!Host::PageGetBox(page, "/CropBox", &box)) Host::PageGetBox(page, "/MediaBox", &box);
  return box;
}

// A new measure dictionary (owned) written from `scale`, its lengths in the
// scale's real unit.
CKW_MeasureDict MeasureOf(const PageScale& scale) {
  CKW_MeasureDict measure = CKW_MeasureDict::Own(Host::DictNew());
  if (!measure) return measure;
  PageScale keys = scale;
  keys.x.paperUnit = ListKey(scale.x.paperUnit, UnitList::Paper);
  keys.x.realUnit = ListKey(scale.x.realUnit, UnitList::Real);
  keys.y.paperUnit = ListKey(scale.y.paperUnit, UnitList::Paper);
  keys.y.realUnit = ListKey(scale.y.realUnit, UnitList::Real);
  const kwannotation::MeasureUnits units{keys.x.realUnit, kwannotation::AreaKeyOfLength(keys.x.realUnit),
                                         kwannotation::VolumeKeyOfLength(keys.x.realUnit)};
  if (!measure->WriteScale(keys, RatioText(keys), units) || !measure->IsValid()) return {};
  return measure;
}

KPD_Object CloneOf(KPD_Object obj) { return obj ? Host::ObjectClone(obj) : nullptr; }

// The units a measurement shows that its page's scale did not (`was`, its
// display units; null when the page had no scale): those the user picked
// for it. The others follow the page's new scale.
kwannotation::MeasureUnits PickedUnits(KPD_Dictionary annot, const kwannotation::MeasureUnits* was) {
  KPD_Dictionary own = was ? kwannotation::CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, nullptr, false) : nullptr;
  if (!own) return {};
  kwannotation::MeasureUnits picked = kwannotation::CKW_MeasureDictImpl(own).GetDisplayUnits();
  if (picked.length == was->length) picked.length.clear();
  if (picked.area == was->area) picked.area.clear();
  if (picked.volume == was->volume) picked.volume.clear();
  return picked;
}

// The display units of a page's scale before it changes; nothing when it
// had none that could be measured with.
std::optional<kwannotation::MeasureUnits> UnitsOfScale(const kwannotation::CKW_MeasureDictImpl* previous) {
  if (!previous || !previous->IsValid()) return std::nullopt;
  return previous->GetDisplayUnits();
}

// The scale a measurement gets when its page gets `scale`, when the user
// picked units of its own for it: a copy (owned) in those units. Empty when
// it takes `scale` as it is, also when a picked unit cannot be shown with it.
CKW_MeasureDict PickedScale(KPD_Dictionary annot, const kwannotation::CKW_MeasureDictImpl& scale,
                            const std::optional<kwannotation::MeasureUnits>& was) {
  const kwannotation::MeasureUnits picked = PickedUnits(annot, was ? &*was : nullptr);
  if (picked.length.empty() && picked.area.empty() && picked.volume.empty()) return {};
  CKW_MeasureDict converted = CKW_MeasureDict::Own(CloneOf(scale.GetDict()));
  if (converted && converted->SetDisplayUnits(picked) && converted.IsValid()) return converted;
  return {};
}

KS_ExtHFT InnerTable(const char* plugin, const char* name, int version) {
  if (!Host::AppIsInnerPluginRegistered(plugin)) Host::AppRegisterInnerPlugin(plugin);
  return Host::ExtHFTFind(name, version);
}

}  // namespace

// ---- presets ---------------------------------------------------------------------

const std::vector<ScalePreset>& BuiltInScalePresets() {
  static const std::vector<ScalePreset> presets = {
      {u"1:1", {1, u"mm", 1, u"mm"}},      {u"1:10", {1, u"mm", 10, u"mm"}}, {u"1:20", {1, u"mm", 20, u"mm"}},
      {u"1:50", {10, u"cm", 5, u"m"}},     {u"1:100", {1, u"cm", 1, u"m"}},  {u"1:200", {1, u"cm", 2, u"m"}},
      {u"1:500", {1, u"cm", 5, u"m"}},     {u"1:1000", {1, u"cm", 10, u"m"}},
  };
  return presets;
}

int DefaultScalePresetIndex() { return 4; }

std::u16string PresetText(const MeasureRatioPair& ratio) {
  return kwannotation::RatioNumberText(ratio.paperNumber) + u" " + ratio.paperUnit + u" = " +
         kwannotation::RatioNumberText(ratio.realNumber) + u" " + ratio.realUnit;
}

std::vector<MeasureRatioPair> ParseScalePresets(std::string_view xml, int* skipped) {
  std::vector<MeasureRatioPair> out;
  int left = 0;
  Host::ByteString error;
  KX_Document doc = Host::XmlParse(xml.data(), xml.size(), error.get());
  KX_Element root = doc ? Host::XmlGetRoot(doc) : nullptr;
  Host::ByteString rootName;
  if (root && Host::XmlElementName(root, rootName.get()) && rootName.str() == "CustomScales") {
    for (KX_Element e = Host::XmlFirstChild(root, "Scale"); e; e = Host::XmlNextSibling(e, "Scale")) {
      if (out.size() >= kMostCustomPresets) {
        ++left;
        continue;
      }
      const std::optional<double> base = Decimal(Attribute(e, "BaseValue"));
      const std::optional<double> target = Decimal(Attribute(e, "TargetValue"));
      MeasureRatioPair r;
      r.paperUnit = ListKey(Wide(Attribute(e, "BaseUnit")), UnitList::Paper);
      r.realUnit = ListKey(Wide(Attribute(e, "TargetUnit")), UnitList::Real);
      if (base) r.paperNumber = *base;
      if (target) r.realNumber = *target;
      if (!base || !target || !UsableRatio(r)) {
        ++left;
        continue;
      }
      out.push_back(std::move(r));
    }
  }
  if (doc) Host::XmlRelease(doc);
  if (skipped) *skipped = left;
  return out;
}

std::string WriteScalePresets(const std::vector<MeasureRatioPair>& presets) {
  KX_Document doc = Host::XmlNew("CustomScales");
  KX_Element root = doc ? Host::XmlGetRoot(doc) : nullptr;
  std::string text;
  if (root) {
    for (const MeasureRatioPair& r : presets) {
      if (!UsableRatio(r)) continue;
      KX_Element e = Host::XmlAppendChild(root, "Scale");
      Host::XmlSetAttribute(e, "BaseValue", Utf8(kwannotation::RatioNumberText(r.paperNumber)).c_str());
      Host::XmlSetAttribute(e, "BaseUnit", Utf8(ListKey(r.paperUnit, UnitList::Paper)).c_str());
      Host::XmlSetAttribute(e, "TargetValue", Utf8(kwannotation::RatioNumberText(r.realNumber)).c_str());
      Host::XmlSetAttribute(e, "TargetUnit", Utf8(ListKey(r.realUnit, UnitList::Real)).c_str());
    }
    Host::ByteString body;
    if (Host::XmlSerialize(root, 0, 1, body.get()))
      text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body.str();
  }
  if (doc) Host::XmlRelease(doc);
  return text;
}

std::u16string ScalePresetPath() {
  Host::WideString folder;
  if (!Host::AppGetAppDataFolder(folder.get())) return {};
  std::u16string path = folder.str();
  while (!path.empty() && (path.back() == u'/' || path.back() == u'\\')) path.pop_back();
  if (path.empty()) return {};
  return path + u"/measure/ScaleCustomPresets.xml";
}

std::vector<MeasureRatioPair> LoadCustomPresets() {
  const std::u16string path = ScalePresetPath();
  Host::ByteString data;
  if (path.empty() || !Host::FileExists(path.c_str()) || !Host::FileRead(path.c_str(), data.get())) return {};
  return ParseScalePresets(data.str());
}

bool SaveCustomPresets(const std::vector<MeasureRatioPair>& presets) {
  const std::u16string path = ScalePresetPath();
  if (path.empty()) return false;
  const std::u16string folder = path.substr(0, path.rfind(u'/'));
  if (!Host::DirectoryExists(folder.c_str()) && !Host::DirectoryCreate(folder.c_str())) return false;
  const std::string text = WriteScalePresets(presets);
  return !text.empty() && Host::FileWrite(path.c_str(), text.data(), text.size());
}

// ---- the model --------------------------------------------------------------------

ScaleDataModel ScaleDataModel::Default() {
  ScaleDataModel m;
  m.scale.x = BuiltInScalePresets()[DefaultScalePresetIndex()].ratio;
  m.scale.y = m.scale.x;
  m.scale.precision = 2;
  return m;
}

ScaleMessage ScaleDataModel::ValidateScale() const {
  const bool ok = UsableRatio(scale.x) && (!scale.separateY || UsableRatio(scale.y)) && scale.precision >= 0 &&
                  scale.precision < static_cast<int>(kwannotation::PrecisionChoices().size());
  if (ok) return {};
  return {"Annotation", "IDS_PAGESCALE_INVALID_ERR"};
}

bool ResolveScopePages(KA_Document doc, const ScaleDataModel& model, std::vector<int>* pages, ScaleMessage* error) {
  pages->clear();
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  const int count = pdf ? Host::DocPageCount(pdf) : 0;
  if (model.scope == PageScope::kAllPages) {
    for (int i = 0; i < count; ++i) pages->push_back(i);
  } else if (model.scope == PageScope::kCurrentPage) {
    if (model.currentPage >= 0 && model.currentPage < count) pages->push_back(model.currentPage);
  } else {
    KS_ExtHFT hft = InnerTable(KS_DOCPROCESS_INNER_PLUGIN, KS_DOCPROCESS_HFT_NAME, KS_DOCPROCESS_HFT_VERSION);
    auto check = reinterpret_cast<KS_DocProcessCheckRangeProc>(hft ? Host::ExtHFTGetEntry(hft, 8) : nullptr);
    auto message = reinterpret_cast<KS_DocProcessRangeMessageProc>(hft ? Host::ExtHFTGetEntry(hft, 1) : nullptr);
    auto size = reinterpret_cast<KS_DocProcessRangeCountProc>(hft ? Host::ExtHFTGetEntry(hft, 2) : nullptr);
    auto page = reinterpret_cast<KS_DocProcessRangePageProc>(hft ? Host::ExtHFTGetEntry(hft, 3) : nullptr);
    Host::WideString text(model.rangeText);
    const int problem = check ? check(doc, text.get(), count) : KS_PAGERANGE_OK;
    if (problem != KS_PAGERANGE_OK) {
      Host::WideString key;
      const bool known = message && message(doc, problem, key.get());
      const std::u16string k = known ? key.str() : u"IDS_STRING_INPUTERROR";
      error->key = std::string(k.begin(), k.end());
      error->table = error->key == "IDS_WARN_NOPAGE" ? "PageOrganizer" : "Globalwnd";
      return false;
    }
    const int n = size ? size(doc, text.get()) : -1;
    for (int i = 0; i < n && page; ++i) {
      const int index = page(doc, text.get(), i);
      if (index < 0 || index >= count) break;
      pages->push_back(index);
    }
  }
  if (pages->empty()) {
    *error = {"PageOrganizer", "IDS_WARN_NOPAGE"};
    return false;
  }
  return true;
}

ScaleMessage CheckScaleShowsValues(KA_Document doc, const std::vector<int>& pages, const PageScale& scale) {
  const ScaleMessage tooLarge{"Annotation", "IDS_PAGESCALE_VALUES_TOO_LARGE"};
  KPD_Document pdf = doc ? Host::AppDocGetPdfDocument(doc) : nullptr;
  CKW_MeasureDict measure = MeasureOf(scale);
  if (!pdf || !measure) return {"Annotation", "IDS_PAGESCALE_INVALID_ERR"};
  const kwannotation::CKW_MeasureDictImpl& m = *measure.GetImpl();
  for (int pageIndex : pages) {
    KPD_Page page = Host::DocGetPage(pdf, pageIndex);
    if (!page) continue;
    kwannotation::CKW_Viewport vp0 = kwannotation::CKW_PageViewportListImpl(page, pdf).GetViewport(0);
    const CKW_MeasureDict previous = vp0 ? vp0->GetMeasureDict() : CKW_MeasureDict();
    const std::optional<kwannotation::MeasureUnits> was = UnitsOfScale(previous.GetImpl());
    // An area drawn around the whole page: its area, perimeter, width and
    // height are the largest values a measurement on the page usually has.
    const KS_FloatRect box = PageBox(page);
    MeasureFigure outline;
    outline.points = {{box.left, box.bottom}, {box.right, box.bottom}, {box.right, box.top}, {box.left, box.top}};
    const FigureValues whole = MeasureFigureValues(kMeasureArea, outline, m);
    if (whole.main.empty()) return tooLarge;
    for (const auto& [element, text] : whole.panel)
      if (text == u"-") return tooLarge;
    // What the measurements show now, they must show after.
    const int count = Host::PageAnnotCount(page);
    for (int i = 0; i < count; ++i) {
      KPD_Dictionary annot = Host::PageGetAnnot(page, i);
      kwannotation::KwMeasureInput input;
      if (MeasureTypeOfAnnot(annot) == kMeasureNone || !kwannotation::KW_ReadMeasureInput(annot, &input)) continue;
      const kwannotation::KwMeasureTexts now = kwannotation::KW_MeasureTextsOf(annot);
      const CKW_MeasureDict picked = PickedScale(annot, m, was);
      const kwannotation::KwMeasureTexts after =
          kwannotation::KW_ComputeMeasureTextsOfValid(picked ? *picked.GetImpl() : m, input);
      if (!now.contents.empty() && after.contents.empty()) return tooLarge;
      for (const kwannotation::KwMeasureQuantity& q : now.quantities) {
        if (!(now.types & q.bit) || q.text.empty()) continue;
        const kwannotation::KwMeasureQuantity* then = after.Find(q.bit);
        if (!then || then->text.empty()) return tooLarge;
      }
    }
  }
  return {};
}

bool DocumentIsSigned(KA_Document doc) {
  KS_ExtHFT hft = InnerTable(KS_SIGNATURE_INNER_PLUGIN, KS_SIGNATURE_HFT_NAME, KS_SIGNATURE_HFT_VERSION);
  auto isSigned = reinterpret_cast<KS_SignatureIsSignedProc>(hft ? Host::ExtHFTGetEntry(hft, 0) : nullptr);
  return isSigned && isSigned(doc) != 0;
}

// ---- re-deriving measurements -----------------------------------------------------

int RederivePageMeasurements(KPD_Document pdf, KPD_Page page, const kwannotation::CKW_MeasureDictImpl* previous,
                             std::vector<std::unique_ptr<CKW_AnnotChange>>* changes) {
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
  CKW_MeasureDict measure = vp0 ? vp0->GetMeasureDict() : CKW_MeasureDict();
  if (!measure.IsValid()) return 0;
  // Every measurement gets a copy of this dictionary (in the units picked
  // for it), so the values and captions are computed with that copy
  // directly, once per measurement.
  const kwannotation::CKW_MeasureDictImpl scale(measure.GetDict());
  const std::optional<kwannotation::MeasureUnits> was = UnitsOfScale(previous);
  int changed = 0;
  const int count = Host::PageAnnotCount(page);
  for (int i = 0; i < count; ++i) {
    KPD_Dictionary annot = Host::PageGetAnnot(page, i);
    if (MeasureTypeOfAnnot(annot) == kMeasureNone) continue;
    // The measure dictionary, the contents and the rectangle are replaced
    // whole, and the appearance goes into a new stream (the writer's
    // default) set in /AP: the record keeps the old values and stream by
    // reference and copies /AP alone.
    auto change = changes ? CKW_AnnotChange::ReplacingAllBut(annot, {"/AP"}) : nullptr;
    const CKW_MeasureDict picked = PickedScale(annot, scale, was);
    KPD_Object copy = picked ? nullptr : Host::ObjectClone(measure.GetDict());
    if (!picked && !copy) continue;
    kwannotation::KW_PinDepthUnit(annot);
    const bool set = kwannotation::CKW_MeasureDictImpl::SetForAnnot(annot, picked ? picked.GetDict() : copy);
    if (copy) Host::ObjectRelease(copy);
    if (!set) continue;
    kwannotation::KwMeasureInput input;
    const kwannotation::KwMeasureTexts texts =
        kwannotation::KW_ReadMeasureInput(annot, &input)
            ? kwannotation::KW_ComputeMeasureTextsOfValid(picked ? *picked.GetImpl() : scale, input)
            : kwannotation::KW_MeasureTextsOf(annot);
    RederiveContents(annot, texts);
    std::string reason;
    kwannotation::ShapeAppearanceOptions options;
    options.page = page;
    kwannotation::RegenerateMeasureAppearance(annot, texts, &reason, options);
    ++changed;
    if (change && change->Finish()) changes->push_back(std::move(change));
  }
  return changed;
}

// ---- undo -------------------------------------------------------------------------

CMSA_UndoCalibratePage::CMSA_UndoCalibratePage(KA_Document doc, int pageIndex) : doc_(doc), pageIndex_(pageIndex) {}

CMSA_UndoCalibratePage::~CMSA_UndoCalibratePage() {
  if (oldMeasure_) Host::ObjectRelease(oldMeasure_);
  if (newMeasure_) Host::ObjectRelease(newMeasure_);
}

KPD_Page CMSA_UndoCalibratePage::Page() const {
  KPD_Document pdf = doc_ ? Host::AppDocGetPdfDocument(doc_) : nullptr;
  return pdf ? Host::DocGetPage(pdf, pageIndex_) : nullptr;
}

void CMSA_UndoCalibratePage::SetViewportMeasure(KPD_Object measure) {
  KPD_Page page = Page();
  KPD_Document pdf = Host::AppDocGetPdfDocument(doc_);
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
  if (!vp0 || !measure) return;
  KPD_Object copy = Host::ObjectClone(measure);
  Host::DictSet(vp0.GetDict(), "/Measure", copy);
  Host::ObjectRelease(copy);
}

bool CMSA_UndoCalibratePage::Apply(const PageScale& scale) {
  KPD_Page page = Page();
  KPD_Document pdf = doc_ ? Host::AppDocGetPdfDocument(doc_) : nullptr;
  if (!page || !pdf) return false;
  CKW_MeasureDict measure = MeasureOf(scale);
  if (!measure) return false;
  if (const PageScale* old = RecordedPageScale(doc_, pageIndex_)) oldRecord_ = *old;
  newRecord_ = scale;
  kwannotation::CKW_PageViewportListImpl list(page, pdf);
  kwannotation::CKW_Viewport vp0 = list.GetViewport(0);
  if (!vp0) {
    box_ = PageBox(page);
    kwannotation::CKW_Viewport added = list.AddViewport(box_, measure, u"");
    if (!added) return false;
    created_ = true;
    viewport_ = added.GetDict();
    newMeasure_ = CloneOf(Host::DictGet(viewport_, "/Measure"));
  } else {
    oldMeasure_ = CloneOf(Host::DictGet(vp0.GetDict(), "/Measure"));
    newMeasure_ = Host::ObjectClone(measure.GetDict());
    SetViewportMeasure(newMeasure_);
  }
  Record(doc_, pageIndex_, newRecord_);
  const kwannotation::CKW_MeasureDictImpl previous(oldMeasure_);
  RederivePageMeasurements(pdf, page, oldMeasure_ ? &previous : nullptr, &measurements_);
  Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
  return true;
}

void CMSA_UndoCalibratePage::Undo() {
  KPD_Page page = Page();
  if (!page) return;
  for (auto it = measurements_.rbegin(); it != measurements_.rend(); ++it) (*it)->Apply(false);
  if (created_) {
    KPD_Object vp = Host::DictGet(page, "/VP");
    if (vp && Host::ObjectGetType(vp) == KPD_OBJ_ARRAY) {
      for (int i = Host::ArrayCount(vp) - 1; i >= 0; --i)
        if (Host::ObjectIsIdentical(Host::ArrayGet(vp, i), viewport_)) Host::ArrayRemove(vp, i);
    }
    kwannotation::CKW_PageViewportListImpl(page, Host::AppDocGetPdfDocument(doc_)).RemoveEmptyVP();
    viewport_ = nullptr;
  } else if (oldMeasure_) {
    SetViewportMeasure(oldMeasure_);
  } else if (kwannotation::CKW_Viewport vp0 =
                 kwannotation::CKW_PageViewportListImpl(page, Host::AppDocGetPdfDocument(doc_)).GetViewport(0)) {
    Host::DictRemove(vp0.GetDict(), "/Measure");
  }
  Record(doc_, pageIndex_, oldRecord_);
  Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
}

void CMSA_UndoCalibratePage::Redo() {
  KPD_Page page = Page();
  if (!page) return;
  if (created_) {
    kwannotation::CKW_PageViewportListImpl list(page, Host::AppDocGetPdfDocument(doc_));
    CKW_MeasureDict measure = CKW_MeasureDict::Own(Host::ObjectClone(newMeasure_));
    kwannotation::CKW_Viewport added = list.AddViewport(box_, measure, u"");
    viewport_ = added ? added.GetDict() : nullptr;
  } else {
    SetViewportMeasure(newMeasure_);
  }
  for (auto& change : measurements_) change->Apply(true);
  Record(doc_, pageIndex_, newRecord_);
  Host::AppDocInvalidateRect(doc_, pageIndex_, nullptr);
}

const PageScale* RecordedPageScale(KA_Document doc, int pageIndex) {
  auto it = Records().find(doc);
  if (it == Records().end()) return nullptr;
  auto page = it->second.find(pageIndex);
  return page == it->second.end() ? nullptr : &page->second;
}

void ForgetPageScales(KA_Document doc) { Records().erase(doc); }

bool ApplyPageScale(KA_Document doc, const std::vector<int>& pages, const PageScale& scale, ScaleMessage* error,
                    int* changed) {
  if (changed) *changed = 0;
  if (DocumentIsSigned(doc)) {
    *error = {"Annotation", "IDS_STR_SCALE_SIGNED"};
    return false;
  }
  if (ScaleMessage unshowable = CheckScaleShowsValues(doc, pages, scale); !unshowable.empty()) {
    *error = unshowable;
    return false;
  }
  bool any = false;
  for (int pageIndex : pages) {
    auto undo = std::make_unique<CMSA_UndoCalibratePage>(doc, pageIndex);
    if (!undo->Apply(scale)) continue;
    any = true;
    if (changed) *changed += undo->MeasurementCount();
    undo->SetCaption(Widgets::Translate("IDS_STR_UNDO_PAGESCALE"));
    AnnotUndo_HandOver(std::move(undo), doc);
  }
  if (!any) *error = {"Annotation", "IDS_PAGESCALE_INVALID_ERR"};
  return any;
}

}  // namespace AnnotationPlugin
