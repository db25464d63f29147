#include "kwannotation/kw_annot_impl.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "kwannotation/kw_annot.h"
#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_ap_ending.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "kwannotation/kw_default_appearance.h"
#include "kwannotation/kw_geometry.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_page_annot_list.h"
#include "kwannotation/kw_rich_text.h"
#include "kwannotation/kw_viewport.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace host = ks::host;
using dict::Owned;

namespace {

// Float slack of the opacity range and of "differs from 1.0".
constexpr float kFloatSlack = 1.1920929e-7f;

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

KPD_Array ColorArray(const KPD_ColorF& color) {
  int count = color.kind == KPD_COLOR_GRAY ? 1 : color.kind == KPD_COLOR_RGB ? 3 : 4;
  float values[4];
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(color.c[i])) return nullptr;
    values[i] = Clamp01(color.c[i]);
  }
  return dict::NewNumberArray(values, static_cast<size_t>(count));
}

std::vector<KS_FloatPoint> PointsOf(const std::vector<float>& values) {
  std::vector<KS_FloatPoint> points;
  points.reserve(values.size() / 2);
  for (size_t i = 0; i + 1 < values.size(); i += 2) points.push_back({values[i], values[i + 1]});
  return points;
}

std::vector<float> ValuesOf(const std::vector<KS_FloatPoint>& points) {
  std::vector<float> values;
  values.reserve(points.size() * 2);
  for (const KS_FloatPoint& p : points) {
    values.push_back(p.x);
    values.push_back(p.y);
  }
  return values;
}

}  // namespace

bool KW_ColorFromArray(KPD_Object array, KPD_ColorF* color) { return dict::ColorFromArray(array, color); }

// ---- CKW_AnnotImpl -----------------------------------------------------------

CKW_AnnotImpl::CKW_AnnotImpl(KPD_Annot annot, int32_t subtypeCode,
                             const std::shared_ptr<CKW_PageAnnotListImpl>& list)
    : annot_(annot), subtype_(subtypeCode), list_(list) {
  if (annot_ && list && !list->Holds(annot_)) annot_ = nullptr;
  // A handle keeps its kind for its whole life; only what the dictionary
  // holds changes, and that is always read afresh.
  dict_ = dict::IsDict(annot_) ? annot_ : nullptr;
}

CKW_AnnotImpl::~CKW_AnnotImpl() = default;

KPD_Dictionary CKW_AnnotImpl::GetDict() const { return dict_; }

bool CKW_AnnotImpl::SetRect(const KS_FloatRect& rect) {
  KS_FloatRect r = rect;
  host::RectNormalize(&r);
  float values[4] = {r.left, r.bottom, r.right, r.top};
  return WriteNumbers("/Rect", values, 4);
}

bool CKW_AnnotImpl::ReadColorKey(const char* key, KPD_ColorF* color) const {
  KPD_Dictionary d = GetDict();
  KPD_Object array = d ? host::DictGet(d, key) : nullptr;
  if (!array) {
    if (color) *color = KPD_ColorF{KPD_COLOR_NONE, {0, 0, 0, 0}};
    return false;
  }
  return KW_ColorFromArray(array, color);
}

bool CKW_AnnotImpl::WriteColorKey(const char* key, const KPD_ColorF& color) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (color.kind == KPD_COLOR_NONE) {
    RemoveKey(key);
    return true;
  }
  if (color.kind < KPD_COLOR_GRAY || color.kind > KPD_COLOR_CMYK) return false;
  return WriteOwned(key, ColorArray(color));
}

bool CKW_AnnotImpl::GetColor(KPD_ColorF* color) const { return ReadColorKey("/C", color); }

bool CKW_AnnotImpl::GetBorderColor(KPD_ColorF* color) const { return CKW_AnnotImpl::GetColor(color); }

bool CKW_AnnotImpl::SetColor(const KPD_ColorF& color) {
  if (!WriteColorKey("/C", color)) return false;
  std::u16string ds;
  if (color.kind != KPD_COLOR_NONE && GetDefaultStyle(&ds)) {
    CDS_DefaultAppearance style(ds);
    style.SetColor(color);
    std::u16string text = style.GetText();
    if (!text.empty()) SetDefaultStyle(text);
  }
  return true;
}

bool CKW_AnnotImpl::SetBorderColor(const KPD_ColorF& color) { return CKW_AnnotImpl::SetColor(color); }

bool CKW_AnnotImpl::ResetAppearance() {
  ShapeAppearanceFn rebuild = AppearanceFor(GetDict(), nullptr);
  if (!rebuild) return false;
  // Captions read in the view of the page this wrapper was made for.
  ShapeAppearanceOptions options;
  if (auto list = GetPageList()) options.page = list->GetPage();
  return rebuild(GetDict(), nullptr, options);
}

KPD_Dictionary CKW_AnnotImpl::GetAPFontDict(bool create) {
  KPD_Dictionary d = GetDict();
  if (!d) return nullptr;
  KPD_Object ap = host::DictGet(d, "/AP");
  if (dict::TypeOf(ap) != KPD_OBJ_DICTIONARY) {
    if (!create) return nullptr;
    Owned fresh(host::DictNew());
    if (!fresh || !WriteKey("/AP", fresh.get())) return nullptr;
    ap = host::DictGet(d, "/AP");
  }
  KPD_Object normal = host::DictGet(ap, "/N");
  if (dict::TypeOf(normal) != KPD_OBJ_STREAM) {
    if (!create) return nullptr;
    KPD_Stream stream = host::DocNewStream(GetDocument(), "", 0);
    if (!stream) return nullptr;
    bool stored = host::DictSet(ap, "/N", stream) != 0;
    host::ObjectRelease(stream);
    if (!stored) return nullptr;
    normal = host::DictGet(ap, "/N");
    dict::SetName(normal, "/Type", "XObject");
    dict::SetName(normal, "/Subtype", "Form");
  }
  const char* keys[] = {"/Resources", "/Font"};
  KPD_Object container = normal;
  for (const char* key : keys) {
    KPD_Object child = host::DictGet(container, key);
    if (dict::TypeOf(child) != KPD_OBJ_DICTIONARY) {
      if (!create) return nullptr;
      Owned fresh(host::DictNew());
      if (!fresh || !host::DictSet(container, key, fresh.get())) return nullptr;
      child = host::DictGet(container, key);
    }
    container = child;
  }
  return container;
}

bool CKW_AnnotImpl::ResetAppearanceAndState() {
  if (!ResetAppearance()) return false;
  KPD_Dictionary d = GetDict();
  KPD_Object ap = host::DictGet(d, "/AP");
  KPD_Object normal = dict::TypeOf(ap) == KPD_OBJ_DICTIONARY ? host::DictGet(ap, "/N") : nullptr;
  if (dict::TypeOf(normal) != KPD_OBJ_DICTIONARY) {
    // A single appearance has no states to choose between.
    RemoveKey("/AS");
    return true;
  }
  std::string state = dict::GetName(d, "/AS");
  if (!state.empty() && dict::Has(normal, ("/" + state).c_str())) return true;
  std::string on;
  int32_t count = host::DictKeyCount(normal);
  for (int32_t i = 0; i < count && on.empty(); ++i) {
    host::ByteString key;
    if (host::DictKeyAt(normal, i, key.get()) && key.str() != "/Off") on = key.str().substr(1);
  }
  return WriteName("/AS", on.empty() ? "Off" : on);
}

CKW_AnnotImpl::StoredTransparency CKW_AnnotImpl::ReadTransparency() const {
  StoredTransparency t;
  KPD_Dictionary d = GetDict();
  if (!d) return t;
  t.hasStroke = dict::GetNumber(d, "/CA", &t.stroke);
  t.hasFill = dict::GetNumber(d, "/ca", &t.fill);
  t.blendMode = dict::GetName(d, "/BM");
  return t;
}

CKW_AnnotImpl::Transparency CKW_AnnotImpl::GetTransparency() const {
  StoredTransparency t = ReadTransparency();
  auto differs = [](bool has, double v) { return has && v >= 0 && std::fabs(v - 1.0) >= kFloatSlack; };
  Transparency out;
  out.stroke = t.hasStroke ? static_cast<float>(t.stroke) : 1.0f;
  // Without /ca, /CA rules the fills too, as files made before /ca existed
  // mean it.
  out.fill = t.hasFill ? static_cast<float>(t.fill) : out.stroke;
  out.needsState = differs(t.hasStroke, t.stroke) || differs(t.hasFill, t.fill) || !t.blendMode.empty();
  out.blendMode = std::move(t.blendMode);
  return out;
}

bool CKW_AnnotImpl::GetOpacityState() const { return GetDict() && GetTransparency().needsState; }

bool CKW_AnnotImpl::InflateCloudRect(KS_FloatRect*) const { return false; }

bool CKW_AnnotImpl::GetBorderWidth(float* width) const {
  if (!GetDict()) return false;
  KwBorderInfo border;
  GetBorderInfo(&border);
  const KwBorderInfo::Stored& raw = border.stored;
  if (raw.bsKey ? !raw.bs || !raw.bsWidthKey : !raw.borderKey) return false;
  double w = raw.hasWidth ? raw.width : 1.0;
  if (!std::isfinite(w)) w = 1.0;
  if (width) *width = w < 0 ? 0.0f : static_cast<float>(w);
  return true;
}

KPD_Document CKW_AnnotImpl::GetDocument() const {
  if (auto list = GetPageList()) return list->GetDocument();
  return annot_ ? host::DocOfObject(annot_) : nullptr;
}

int32_t CKW_AnnotImpl::GetPageIndex() const {
  auto list = GetPageList();
  return list ? list->GetPageIndex() : -1;
}

std::string CKW_AnnotImpl::GetSubtype() const { return dict::GetName(GetDict(), "/Subtype"); }

std::string CKW_AnnotImpl::GetIntent() const { return dict::GetName(GetDict(), "/IT"); }

bool CKW_AnnotImpl::GetRect(KS_FloatRect* rect) const {
  std::vector<float> v;
  if (!dict::GetNumbers(GetDict(), "/Rect", &v) || v.size() != 4) return false;
  KS_FloatRect r{v[0], v[1], v[2], v[3]};
  host::RectNormalize(&r);
  if (rect) *rect = r;
  return true;
}

bool CKW_AnnotImpl::GetContents(std::u16string* text) const { return dict::GetText(GetDict(), "/Contents", text); }

bool CKW_AnnotImpl::SetContents(const std::u16string& text) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (text.empty()) {
    RemoveKey("/Contents");
    RemoveKey("/RC");
    return true;
  }
  std::u16string before, rc;
  const bool same = GetContents(&before) && before == text;
  if (!WriteText("/Contents", text)) return false;
  // Rich text left from before would go on showing the old words (a free
  // text draws its /RC): it is written anew from the new text in the style
  // its first run had, or dropped when it does not parse (the text then
  // shows in /DS).
  if (!same && GetRichContents(&rc) && !rc.empty()) return SetRichContents(KW_RichTextForPlainText(rc, text));
  return true;
}

bool CKW_AnnotImpl::GetRichContents(std::u16string* xhtml) const {
  KPD_Dictionary d = GetDict();
  KPD_Object rc = d ? host::DictGet(d, "/RC") : nullptr;
  if (dict::TypeOf(rc) == KPD_OBJ_STREAM) {
    host::ByteString data;
    if (!host::StreamGetData(rc, 1, data.get())) return false;
    std::string bytes = data.str();
    host::WideString text;
    if (!host::PdfTextToWide(bytes.data(), bytes.size(), text.get())) return false;
    *xhtml = text.str();
    return true;
  }
  return dict::GetText(d, "/RC", xhtml);
}

bool CKW_AnnotImpl::SetRichContents(const std::u16string& xhtml) { return WriteTextOrRemove("/RC", xhtml); }

bool CKW_AnnotImpl::GetDefaultStyle(std::u16string* ds) const { return dict::GetText(GetDict(), "/DS", ds); }

bool CKW_AnnotImpl::SetDefaultStyle(const std::u16string& ds) { return WriteTextOrRemove("/DS", ds); }

bool CKW_AnnotImpl::GetDefaultAppearance(std::string* da) const {
  KPD_Dictionary d = GetDict();
  KPD_Object value = d ? host::DictGet(d, "/DA") : nullptr;
  if (dict::TypeOf(value) != KPD_OBJ_STRING) return false;
  host::ByteString bytes;
  if (!host::StringGetBytes(value, bytes.get())) return false;
  *da = bytes.str();
  return true;
}

bool CKW_AnnotImpl::SetDefaultAppearance(const std::string& da) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (da.empty()) {
    RemoveKey("/DA");
    return true;
  }
  Owned value(host::StringNew(da.data(), da.size()));
  return value && WriteKey("/DA", value.get()) != 0;
}

bool CKW_AnnotImpl::GetName(std::u16string* name) const { return dict::GetText(GetDict(), "/NM", name); }

bool CKW_AnnotImpl::SetName(const std::u16string& name) { return WriteTextOrRemove("/NM", name); }

bool CKW_AnnotImpl::GetModifiedDate(std::u16string* date) const { return dict::GetText(GetDict(), "/M", date); }

bool CKW_AnnotImpl::SetModifiedDate(const std::u16string& date) { return WriteTextOrRemove("/M", date); }

bool CKW_AnnotImpl::GetFlags(uint32_t* flags) const {
  double v = 0;
  if (!dict::GetNumber(GetDict(), "/F", &v) || v < 0 || v > 4294967295.0) return false;
  if (flags) *flags = static_cast<uint32_t>(v);
  return true;
}

bool CKW_AnnotImpl::SetFlags(uint32_t flags) { return WriteInteger("/F", flags); }

float CKW_AnnotImpl::GetOpacity() const { return GetTransparency().stroke; }

bool CKW_AnnotImpl::SetOpacity(float opacity) {
  if (!std::isfinite(opacity) || opacity < -kFloatSlack || opacity > 1.0000001f) return false;
  return WriteOwned("/CA", host::NumberNew(Clamp01(opacity)));
}

float CKW_AnnotImpl::GetFillOpacity() const { return GetTransparency().fill; }

std::string CKW_AnnotImpl::GetBlendMode() const { return GetTransparency().blendMode; }

bool CKW_AnnotImpl::GetBorderInfo(KwBorderInfo* info) const { return KW_ReadBorderInfo(GetDict(), info); }

bool CKW_AnnotImpl::SetBorderInfo(const KwBorderInfo& info) {
  if (!GetDict()) return false;
  KPD_Object bs = nullptr;
  KPD_Object be = nullptr;
  if (!KW_MakeBorderObjects(info, &bs, &be)) return false;
  Owned ownedBs(bs), ownedBe(be);
  if (!WriteKey("/BS", bs)) return false;
  return be ? WriteKey("/BE", be) : RemoveKey("/BE");
}

bool CKW_AnnotImpl::SetBorderWidth(double width) {
  if (!std::isfinite(width) || width < 0) return false;
  return WriteBorderEntry("/W", host::NumberNew(width));
}

bool CKW_AnnotImpl::SetBorderStyle(int32_t style) {
  static const char* const kNames[] = {"/S", "/D", "/B", "/I", "/U"};
  if (style < KW_BORDER_SOLID || style >= KW_BORDER_CLOUDY) return false;
  return WriteBorderEntry("/S", host::NameNew(kNames[style]));
}

// The whole of /BS is written again, as a copy of the one there, so that the
// one write path sees the change (and an undo record of the dictionary
// catches it even when /BS is an indirect object).
bool CKW_AnnotImpl::WriteBorderEntry(const char* entry, KPD_Object owned) {
  Owned value(owned);
  KPD_Dictionary d = GetDict();
  if (!d || !owned) return false;
  KPD_Object bs = host::DictGet(d, "/BS");
  Owned copy(dict::TypeOf(bs) == KPD_OBJ_DICTIONARY ? host::ObjectClone(bs) : host::DictNew());
  if (!copy || !host::DictSet(copy.get(), entry, owned)) return false;
  return WriteKey("/BS", copy.get());
}

bool CKW_AnnotImpl::HasKey(const char* key) const { return dict::Has(GetDict(), key); }

bool CKW_AnnotWriter::SetNumber(const char* key, double value) {
  return std::isfinite(value) && annot_.WriteOwned(key, host::NumberNew(value));
}

// ---- the write path ----------------------------------------------------------------

namespace {

// Whether `a` and `b` are written alike: the same value, or the same
// indirect object. Streams are never taken as equal.
bool SameValue(KPD_Object a, KPD_Object b) {
  if (!a || !b) return false;
  if (host::ObjectIsIdentical(a, b)) return true;
  // An indirect value stays a reference, a direct one a copy: they write
  // differently even when their contents agree.
  if (host::ObjectIsIndirect(a) || host::ObjectIsIndirect(b)) return false;
  const int32_t type = dict::TypeOf(a);
  if (type != dict::TypeOf(b) || type == KPD_OBJ_STREAM) return false;
  host::ByteString ta, tb;
  if (!host::ObjectWrite(a, ta.get()) || !host::ObjectWrite(b, tb.get())) return false;
  return ta.str() == tb.str();
}

}  // namespace

bool CKW_AnnotImpl::WriteKey(const char* key, KPD_Object value) {
  KPD_Dictionary d = GetDict();
  if (!d || !key) return false;
  if (!value) {
    if (host::DictHasKey(d, key)) host::DictRemove(d, key);
    return true;
  }
  if (SameValue(host::DictGet(d, key), value)) return true;
  return host::DictSet(d, key, value) != 0;
}

bool CKW_AnnotImpl::WriteOwned(const char* key, KPD_Object owned) {
  if (!owned) return false;
  Owned value(owned);
  return WriteKey(key, owned);
}

bool CKW_AnnotImpl::WriteName(const char* key, std::string_view name) {
  if (name.empty()) return false;
  std::string withSlash = "/";
  withSlash += name;
  return WriteOwned(key, host::NameNew(withSlash.c_str()));
}

bool CKW_AnnotImpl::WriteText(const char* key, std::u16string_view text) {
  return WriteOwned(key, host::StringObjectNewFromText(text.data(), text.size()));
}

bool CKW_AnnotImpl::WriteTextOrRemove(const char* key, const std::u16string& text) {
  if (!GetDict()) return false;
  return text.empty() ? RemoveKey(key) : WriteText(key, text);
}

bool CKW_AnnotImpl::WriteInteger(const char* key, int64_t value) { return WriteOwned(key, host::IntegerNew(value)); }

bool CKW_AnnotImpl::WriteBool(const char* key, bool value) { return WriteOwned(key, host::BooleanNew(value ? 1 : 0)); }

bool CKW_AnnotImpl::WriteNumbers(const char* key, const float* values, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (!std::isfinite(values[i])) return false;
  return WriteOwned(key, dict::NewNumberArray(values, count));
}

bool CKW_AnnotImpl::WriteLineEndings(int32_t start, int32_t end) {
  if (!GetDict()) return false;
  Owned le(host::ArrayNew());
  for (int32_t code : {start, end}) {
    if (!le || !dict::AppendOwned(le.get(), host::NameNew(("/" + KW_LineEndingName(code)).c_str()))) return false;
  }
  return WriteKey("/LE", le.get());
}

bool CKW_AnnotImpl::GetRectDifferences(float insets[4]) const {
  std::vector<float> v;
  if (!dict::GetNumbers(GetDict(), "/RD", &v) || v.size() != 4) return false;
  std::copy(v.begin(), v.end(), insets);
  return true;
}

bool CKW_AnnotImpl::SetRectDifferences(const float insets[4]) {
  for (int i = 0; i < 4; ++i)
    if (!std::isfinite(insets[i]) || insets[i] < 0) return false;
  return WriteNumbers("/RD", insets, 4);
}

bool CKW_AnnotImpl::GetRotate(int32_t* degrees) const {
  double v = 0;
  if (!dict::GetNumber(GetDict(), "/Rotate", &v) || std::fabs(v) > 1e9) return false;
  if (degrees) *degrees = static_cast<int32_t>(std::lround(v));
  return true;
}

bool CKW_AnnotImpl::SetRotate(int32_t degrees) { return WriteInteger("/Rotate", degrees); }

bool CKW_AnnotImpl::GetRotation(int32_t* degrees) const {
  double v = 0;
  if (!dict::GetNumber(GetDict(), "/Rotation", &v) || std::fabs(v) > 1e9) return false;
  if (degrees) *degrees = static_cast<int32_t>(std::lround(v));
  return true;
}

bool CKW_AnnotImpl::SetRotation(int32_t degrees) { return WriteInteger("/Rotation", degrees); }

// ---- CKW_MarkupAnnotImpl ---------------------------------------------------------

bool CKW_MarkupAnnotImpl::SetIntent(const std::string& intent) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (intent.empty()) {
    RemoveKey("/IT");
    return true;
  }
  return WriteName("/IT", intent);
}

std::vector<KS_FloatPoint> CKW_MarkupAnnotImpl::GetVertices() const { return {}; }

bool CKW_MarkupAnnotImpl::SetVertices(const std::vector<KS_FloatPoint>&) { return false; }

bool CKW_MarkupAnnotImpl::GetTitle(std::u16string* title) const { return dict::GetText(GetDict(), "/T", title); }

bool CKW_MarkupAnnotImpl::SetTitle(const std::u16string& title) { return WriteTextOrRemove("/T", title); }

bool CKW_MarkupAnnotImpl::GetSubject(std::u16string* subject) const {
  return dict::GetText(GetDict(), "/Subj", subject);
}

bool CKW_MarkupAnnotImpl::SetSubject(const std::u16string& subject) {
  return WriteTextOrRemove("/Subj", subject);
}

bool CKW_MarkupAnnotImpl::GetCreationDate(std::u16string* date) const {
  return dict::GetText(GetDict(), "/CreationDate", date);
}

bool CKW_MarkupAnnotImpl::SetCreationDate(const std::u16string& date) {
  return WriteTextOrRemove("/CreationDate", date);
}

KPD_Dictionary CKW_MarkupAnnotImpl::GetInReplyTo() const {
  KPD_Dictionary d = GetDict();
  KPD_Object irt = d ? host::DictGet(d, "/IRT") : nullptr;
  return dict::TypeOf(irt) == KPD_OBJ_DICTIONARY ? irt : nullptr;
}

bool CKW_MarkupAnnotImpl::SetInReplyTo(KPD_Dictionary annot) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (!annot) {
    RemoveKey("/IRT");
    return true;
  }
  // Only an indirect annotation can be referred to; a direct one would be
  // copied into this dictionary.
  if (!host::ObjectIsIndirect(annot) || host::ObjectIsIdentical(annot, d)) return false;
  return WriteKey("/IRT", annot) != 0;
}

std::string CKW_MarkupAnnotImpl::GetReplyType() const { return dict::GetName(GetDict(), "/RT"); }

bool CKW_MarkupAnnotImpl::SetReplyType(const std::string& type) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  if (type.empty()) {
    RemoveKey("/RT");
    return true;
  }
  return WriteName("/RT", type);
}

bool CKW_MarkupAnnotImpl::GetState(std::u16string* state) const { return dict::GetText(GetDict(), "/State", state); }

bool CKW_MarkupAnnotImpl::SetState(const std::u16string& state) { return WriteTextOrRemove("/State", state); }

bool CKW_MarkupAnnotImpl::GetStateModel(std::u16string* model) const {
  return dict::GetText(GetDict(), "/StateModel", model);
}

bool CKW_MarkupAnnotImpl::SetStateModel(const std::u16string& model) {
  return WriteTextOrRemove("/StateModel", model);
}

KPD_Dictionary CKW_MarkupAnnotImpl::GetPopup() const {
  KPD_Dictionary d = GetDict();
  KPD_Object popup = d ? host::DictGet(d, "/Popup") : nullptr;
  return dict::TypeOf(popup) == KPD_OBJ_DICTIONARY && dict::GetName(popup, "/Subtype") == "Popup" ? popup : nullptr;
}

bool CKW_MarkupAnnotImpl::GetPopupOpen(bool* open) const {
  KPD_Dictionary popup = GetPopup();
  bool value = false;
  if (!popup || !dict::GetBool(popup, "/Open", &value)) return false;
  if (open) *open = value;
  return true;
}

KPD_Dictionary CKW_MarkupAnnotImpl::SetPopup(const KS_FloatRect& rect, bool open) {
  KPD_Dictionary d = GetDict();
  if (!d) return nullptr;
  KS_FloatRect r = rect;
  host::RectNormalize(&r);
  KPD_Dictionary popup = GetPopup();
  if (!popup) {
    auto list = GetPageList();
    if (!list || !host::ObjectIsIndirect(d)) return nullptr;
    Owned fresh(host::DictNew());
    if (!fresh || !host::DictSet(fresh.get(), "/Parent", d)) return nullptr;
    auto wrapper = list->CreateAnnot("Popup", fresh.get(), {});
    popup = wrapper ? wrapper->GetDict() : nullptr;
    if (!popup || !WriteKey("/Popup", popup)) return nullptr;
  }
  // The popup is an annotation of its own and changes through its own
  // write path.
  CKW_PopupAnnotImpl view(popup, KW_ANNOT_POPUP, nullptr);
  view.SetRect(r);
  view.SetOpen(open);
  return popup;
}

bool CKW_MarkupAnnotImpl::GetInteriorColor(KPD_ColorF* color) const { return ReadColorKey("/IC", color); }

bool CKW_MarkupAnnotImpl::SetInteriorColor(const KPD_ColorF& color) { return WriteColorKey("/IC", color); }

// ---- kinds ---------------------------------------------------------------------

KPD_Dictionary CKW_PopupAnnotImpl::GetParent() const {
  KPD_Dictionary d = GetDict();
  KPD_Object parent = d ? host::DictGet(d, "/Parent") : nullptr;
  return dict::TypeOf(parent) == KPD_OBJ_DICTIONARY ? parent : nullptr;
}

bool CKW_PopupAnnotImpl::GetOpen(bool* open) const { return dict::GetBool(GetDict(), "/Open", open); }

bool CKW_PopupAnnotImpl::SetOpen(bool open) { return WriteBool("/Open", open); }

std::string CKW_NoteAnnotImpl::GetIconName() const { return dict::GetName(GetDict(), "/Name"); }

bool CKW_NoteAnnotImpl::SetIconName(const std::string& name) { return WriteName("/Name", name); }

bool CKW_TextMarkupAnnotImpl::GetQuadPoints(std::vector<float>* values) const {
  return dict::GetNumbers(GetDict(), "/QuadPoints", values);
}

bool CKW_TextMarkupAnnotImpl::SetQuadPoints(const std::vector<float>& values) {
  return WriteNumbers("/QuadPoints", values.data(), values.size());
}

bool CKW_LineImpl::SetIntent(const std::string& intent) {
  if (!CKW_MarkupAnnotImpl::SetIntent(intent)) return false;
  if (intent == "LineArrow") return SetLineEndings(0, 4);
  return true;
}

bool CKW_LineImpl::GetLinePoints(KS_FloatPoint* start, KS_FloatPoint* end) const {
  std::vector<float> v;
  if (!dict::GetNumbers(GetDict(), "/L", &v) || v.size() != 4) return false;
  if (start) *start = {v[0], v[1]};
  if (end) *end = {v[2], v[3]};
  return true;
}

bool CKW_LineImpl::SetLinePoints(const KS_FloatPoint& start, const KS_FloatPoint& end) {
  float values[4] = {start.x, start.y, end.x, end.y};
  return WriteNumbers("/L", values, 4);
}

bool CKW_LineImpl::GetLineEndings(int32_t* start, int32_t* end) const {
  return ReadLineEndings(GetDict(), start, end);
}

bool CKW_LineImpl::SetLineEndings(int32_t start, int32_t end) { return WriteLineEndings(start, end); }

bool CKW_LineImpl::GetCaptionColor(KPD_ColorF* color) const { return ReadColorKey("/CC", color); }

bool KW_ReadCaptionOffset(KPD_Dictionary annot, double* along, double* across) {
  const std::vector<double> v = annot ? dict::GetDoubles(host::DictGet(annot, "/CO")) : std::vector<double>();
  if (v.size() != 2 || !geom::InRange(v[0]) || !geom::InRange(v[1])) return false;
  if (along) *along = v[0];
  if (across) *across = v[1];
  return true;
}

bool CKW_LineImpl::GetCaptionOffset(float* along, float* across) const {
  double a = 0, b = 0;
  if (!KW_ReadCaptionOffset(GetDict(), &a, &b)) return false;
  if (along) *along = float(a);
  if (across) *across = float(b);
  return true;
}

bool CKW_LineImpl::SetCaptionOffset(float along, float across) {
  const float v[2] = {along, across};
  return WriteNumbers("/CO", v, 2);
}

bool CKW_LineImpl::RemoveCaptionOffset() { return RemoveKey("/CO"); }

bool KW_ReadLineLeader(KPD_Dictionary annot, KwLineLeader* out) {
  if (!out) return false;
  *out = {};
  if (!annot) return false;
  double* fields[] = {&out->length, &out->extension, &out->offset};
  const char* keys[] = {"/LL", "/LLE", "/LLO"};
  bool wellFormed = true;
  for (int i = 0; i < 3; ++i) {
    if (!host::DictHasKey(annot, keys[i])) continue;
    // GetNumber leaves the field at 0 for anything but a finite number.
    if (!dict::GetNumber(annot, keys[i], fields[i])) wellFormed = false;
  }
  return wellFormed;
}

bool CKW_LineImpl::GetLeader(KwLineLeader* out) const { return KW_ReadLineLeader(GetDict(), out); }

bool CKW_LineImpl::SetLeader(const KwLineLeader& leader) {
  if (!std::isfinite(leader.length) || !std::isfinite(leader.extension) || !std::isfinite(leader.offset))
    return false;
  CKW_AnnotWriter writer(*this);
  if (!writer.SetNumber("/LL", leader.length) || !writer.SetNumber("/LLE", leader.extension)) return false;
  return leader.offset != 0 ? writer.SetNumber("/LLO", leader.offset) : (RemoveKey("/LLO"), true);
}

bool CKW_LineImpl::Flip() {
  KS_FloatPoint start, end;
  return GetLinePoints(&start, &end) && SetLinePoints(end, start);
}

bool CKW_PolygonImpl::SetIntent(const std::string& intent) {
  if (!CKW_MarkupAnnotImpl::SetIntent(intent)) return false;
  if (intent != "PolygonCloud") return true;
  KwBorderInfo border;
  KW_ReadBorderInfo(GetDict(), &border);
  border.style = KW_BORDER_CLOUDY;
  border.intensity = 2.0f;
  return SetBorderInfo(border);
}

std::vector<KS_FloatPoint> CKW_PolygonImpl::GetVertices() const {
  std::vector<float> v;
  if (!dict::GetNumbers(GetDict(), "/Vertices", &v) || v.size() % 2 != 0) return {};
  return PointsOf(v);
}

bool CKW_PolygonImpl::SetVertices(const std::vector<KS_FloatPoint>& points) {
  std::vector<float> v = ValuesOf(points);
  return WriteNumbers("/Vertices", v.data(), v.size());
}

std::vector<KS_FloatPoint> CKW_PolyLineImpl::GetVertices() const {
  std::vector<float> v;
  if (!dict::GetNumbers(GetDict(), "/Vertices", &v) || v.size() % 2 != 0) return {};
  return PointsOf(v);
}

bool CKW_PolyLineImpl::SetVertices(const std::vector<KS_FloatPoint>& points) {
  std::vector<float> v = ValuesOf(points);
  return WriteNumbers("/Vertices", v.data(), v.size());
}

bool CKW_PolyLineImpl::GetLineEndings(int32_t* start, int32_t* end) const {
  return ReadLineEndings(GetDict(), start, end);
}

bool CKW_PolyLineImpl::SetLineEndings(int32_t start, int32_t end) { return WriteLineEndings(start, end); }

std::vector<std::vector<KS_FloatPoint>> CKW_InkImpl::GetInkList() const {
  std::vector<std::vector<KS_FloatPoint>> strokes;
  KPD_Dictionary d = GetDict();
  KPD_Object list = d ? host::DictGet(d, "/InkList") : nullptr;
  if (dict::TypeOf(list) != KPD_OBJ_ARRAY) return strokes;
  int32_t count = host::ArrayCount(list);
  for (int32_t i = 0; i < count; ++i) {
    std::vector<float> v;
    if (dict::GetNumbers(host::ArrayGet(list, i), &v)) strokes.push_back(PointsOf(v));
  }
  return strokes;
}

bool CKW_InkImpl::SetInkList(const std::vector<std::vector<KS_FloatPoint>>& strokes) {
  KPD_Dictionary d = GetDict();
  if (!d) return false;
  Owned list(host::ArrayNew());
  if (!list) return false;
  for (const auto& stroke : strokes) {
    std::vector<float> v = ValuesOf(stroke);
    for (float f : v)
      if (!std::isfinite(f)) return false;
    Owned array(dict::NewNumberArray(v.data(), v.size()));
    if (!array || !host::ArrayAppend(list.get(), array.get())) return false;
  }
  return WriteKey("/InkList", list.get()) != 0;
}

}  // namespace kwannotation

// ---- measurements -----------------------------------------------------------------

namespace kwannotation {

CKW_Viewport CKW_MeasureAnnotImpl::GetViewportAt() const {
  const CKW_MarkupAnnotImpl& annot = MeasuredAnnot();
  auto list = annot.GetPageList();
  if (!list || !list->GetPage()) return {};
  KwMeasureInput in;
  if (!KW_ReadMeasureInput(annot.GetDict(), &in)) return {};
  KS_FloatPoint at = in.points.empty()
                         ? KS_FloatPoint{(in.circle.left + in.circle.right) / 2, (in.circle.bottom + in.circle.top) / 2}
                         : in.points.front();
  return CKW_PageViewportListImpl(list->GetPage(), annot.GetDocument()).FindViewportObjectAt(at);
}

CKW_MeasureDict CKW_MeasureAnnotImpl::GetMeasureDict() const {
  KPD_Dictionary d = MeasuredAnnot().GetDict();
  return CKW_MeasureDict::Borrow(d ? CKW_MeasureDictImpl::GetOrCreateForAnnot(d, nullptr, false) : nullptr);
}

KwMeasureTexts CKW_MeasureAnnotImpl::GetMeasureTexts() const { return KW_MeasureTextsOf(MeasuredAnnot().GetDict()); }

}  // namespace kwannotation
