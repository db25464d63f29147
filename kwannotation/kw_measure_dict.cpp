#include "kwannotation/kw_measure_dict.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "kwannotation/kw_annot_dict.h"
#include "kwannotation/kw_annot_impl.h"
#include "kwannotation/kw_text.h"
#include "kwannotation/kw_units.h"
#include "sdk/ks_host_binding.h"

namespace kwannotation {

namespace {

namespace host = ks::host;

constexpr int kArrayCount = 7;
constexpr const char* kArrayKeys[kArrayCount] = {"/X", "/Y", "/D", "/A", "/T", "/S", "/V"};
constexpr const char* kArrayLetters[kArrayCount] = {"X", "Y", "D", "A", "T", "S", "V"};
constexpr int kX = 0, kY = 1, kD = 2, kA = 3, kT = 4, kV = 6;
constexpr std::u16string_view kDegree = u"\u00b0";

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

NumberFormat ReadFormat(KPD_Object element) {
  NumberFormat f;
  if (!dict::IsType(element, KPD_OBJ_DICTIONARY)) {
    f.readable = false;
    return f;
  }
  f.unit = dict::GetText(element, "/U").value_or(u"");
  // A "C" that is not a number is not a factor; 0 makes the element
  // unusable rather than silently unscaled.
  if (host::DictHasKey(element, "/C")) f.factor = dict::GetNumber(element, "/C").value_or(0.0);
  f.thousandsSep = dict::GetText(element, "/RT");
  f.decimalSep = dict::GetText(element, "/RD");
  f.prefix = dict::GetText(element, "/PS");
  f.suffix = dict::GetText(element, "/SS");
  f.position = LabelPositionFromName(dict::FindName(element, "/O").value_or("S"));
  f.mode = DisplayModeFromName(dict::FindName(element, "/F").value_or("D"));
  if (std::optional<int64_t> d = dict::GetInteger(element, "/D")) {
    if (f.mode == DisplayMode::Fraction)
      f.fractionDenominator = ClampToInt32(*d);
    else
      f.decimalDenominator = ClampToInt32(*d);
  }
  f.noReduce = dict::GetBool(element, "/FD").value_or(false);
  return f;
}

// The write rule: labels and separators always, the display mode only on
// the last element of an array, the denominator and no-reduce flag only
// where the mode uses them.
KPD_Dictionary WriteFormat(const NumberFormat& f, bool last) {
  KPD_Dictionary d = host::DictNew();
  if (!d) return nullptr;
  dict::SetText(d, "/U", f.unit);
  dict::SetText(d, "/RT", f.ThousandsSeparator());
  dict::SetText(d, "/RD", f.DecimalSeparator());
  dict::SetText(d, "/PS", f.PrefixText());
  dict::SetText(d, "/SS", f.SuffixText());
  dict::SetName(d, "/O", f.position == LabelPosition::Prefix ? "P" : "S");
  dict::SetNumber(d, "/C", f.factor);
  if (!last) return d;
  dict::SetName(d, "/F", DisplayModeName(f.mode));
  if (f.mode == DisplayMode::Decimal || f.mode == DisplayMode::Fraction) {
    dict::SetInteger(d, "/D", f.mode == DisplayMode::Fraction ? f.fractionDenominator : f.decimalDenominator);
    dict::SetBool(d, "/FD", f.noReduce);
  }
  return d;
}

std::string ElementProblem(const NumberFormat& f, const char* letter, int index, bool last) {
  std::string where = std::string(letter) + " element " + std::to_string(index + 1);
  if (!f.readable) return where + " is not a dictionary";
  if (f.unit.empty()) return where + " has no unit label";
  if (!(f.factor > 0) || !std::isfinite(f.factor)) return where + " has a factor that is not > 0";
  if (last && !HasUsableDenominator(f)) return where + " has no usable denominator";
  return {};
}

// The part of "R" that holds the X ratio, and the part that holds the Y
// ratio: "in X 1 in = 10 ft, in Y 1 in = 20 ft" splits at "X", "," and "Y".
struct RatioParts {
  std::optional<std::u16string_view> x;
  std::optional<std::u16string_view> y;
};

RatioParts SplitRatio(std::u16string_view r) {
  RatioParts parts;
  const size_t comma = r.find(u',');
  const size_t x = r.find(u'X');
  if (comma != std::u16string_view::npos) {
    if (x != std::u16string_view::npos && x < comma) parts.x = r.substr(x + 1, comma - x - 1);
    const size_t y = r.find(u'Y');
    if (y != std::u16string_view::npos) parts.y = r.substr(y + 1);
  } else {
    parts.x = x == std::u16string_view::npos ? r : r.substr(x + 1);
  }
  return parts;
}

using FactorFn = double (*)(std::u16string_view, std::u16string_view);

// Sets the factor of the first element to `first` (when given) and of each
// later element to the factor from its predecessor's unit to its own.
void SetChainFactors(KPD_Array array, std::optional<double> first, FactorFn factor) {
  const int count = host::ArrayCount(array);
  std::u16string previous;
  for (int i = 0; i < count; ++i) {
    KPD_Object element = host::ArrayGet(array, i);
    if (!dict::IsType(element, KPD_OBJ_DICTIONARY)) {
      previous.clear();
      continue;
    }
    std::u16string unit = dict::GetText(element, "/U").value_or(u"");
    if (i == 0) {
      if (first) dict::SetNumber(element, "/C", *first);
    } else {
      dict::SetNumber(element, "/C", factor(previous, unit));
    }
    previous = std::move(unit);
  }
}

std::u16string FirstUnit(KPD_Array array) {
  KPD_Object element = host::ArrayGet(array, 0);
  if (!dict::IsType(element, KPD_OBJ_DICTIONARY)) return {};
  return dict::GetText(element, "/U").value_or(u"");
}

NumberFormat ScaleElement(std::u16string_view label, double factor, std::u16string_view prefix,
                          std::u16string_view suffix) {
  NumberFormat f;
  f.unit = std::u16string(label);
  f.factor = factor;
  f.thousandsSep = u",";
  f.decimalSep = u".";
  f.prefix = std::u16string(prefix);
  f.suffix = std::u16string(suffix);
  return f;
}

}  // namespace

const char* FormatArrayKey(int arrayIndex) {
  return arrayIndex >= 0 && arrayIndex < kArrayCount ? kArrayKeys[arrayIndex] : nullptr;
}

CKW_MeasureDictImpl::CKW_MeasureDictImpl(KPD_Dictionary dict, bool owned) : dict_(dict), owned_(owned) {}

CKW_MeasureDictImpl::~CKW_MeasureDictImpl() {
  if (owned_) host::ObjectRelease(dict_);
}

KPD_Dictionary CKW_MeasureDictImpl::GetOrCreateForAnnot(KPD_Dictionary annot, KPD_Document doc, bool create) {
  if (!annot) return nullptr;
  if (KPD_Dictionary existing = dict::GetDict(annot, "/Measure")) return existing;
  if (!create || !doc) return nullptr;
  KPD_Dictionary fresh = host::DictNew();
  if (!fresh) return nullptr;
  dict::SetName(fresh, "/Type", "Measure");
  KPD_Dictionary indirect = host::DocMakeIndirect(doc, fresh);
  host::ObjectRelease(fresh);
  // The reference is stored through the annotation's own write path.
  CKW_MarkupAnnotImpl view(annot, KW_ANNOT_UNKNOWN, nullptr);
  if (!indirect || !CKW_AnnotWriter(view).Set("/Measure", indirect)) return nullptr;
  return indirect;
}

bool CKW_MeasureDictImpl::SetForAnnot(KPD_Dictionary annot, KPD_Dictionary measure) {
  if (!annot || dict::TypeOf(measure) != KPD_OBJ_DICTIONARY) return false;
  CKW_MarkupAnnotImpl view(annot, KW_ANNOT_UNKNOWN, nullptr);
  return CKW_AnnotWriter(view).Set("/Measure", measure);
}

bool CKW_MeasureDictImpl::IsGeospatial() const {
  std::optional<std::string> sub = dict::FindName(dict_, "/SubType");
  if (!sub) sub = dict::FindName(dict_, "/Subtype");
  return sub && *sub == "GEO";
}

std::string CKW_MeasureDictImpl::InvalidReason() const {
  if (!dict::IsType(dict_, KPD_OBJ_DICTIONARY)) return "no measure dictionary";
  if (IsGeospatial()) return "geospatial (GEO) measure dictionary";
  // The ratio text is a label (the scale is X's factor): it must be there,
  // but may be blank, as CAD programs write it.
  if (!dict::GetText(dict_, "/R")) return "no R text";
  for (int a = 0; a < kArrayCount; ++a) {
    KPD_Object value = host::DictGet(dict_, kArrayKeys[a]);
    const bool required = a == kX || a == kD || a == kA;
    if (!value) {
      if (required) return std::string("no ") + kArrayLetters[a] + " array";
      continue;
    }
    if (!dict::IsType(value, KPD_OBJ_ARRAY)) return std::string(kArrayLetters[a]) + " is not an array";
    const int count = host::ArrayCount(value);
    if (count == 0 && required) return std::string(kArrayLetters[a]) + " array is empty";
    for (int i = 0; i < count; ++i) {
      std::string problem = ElementProblem(ReadFormat(host::ArrayGet(value, i)), kArrayLetters[a], i, i + 1 == count);
      if (!problem.empty()) return problem;
    }
  }
  return {};
}

std::string CKW_MeasureDictImpl::RatioProblem() const {
  const std::u16string r = GetRatioText();
  if (text::Trim(r).empty()) return {};
  const RatioParts parts = SplitRatio(r);
  if (!parts.x || !ParseRatioText(*parts.x)) return "the X ratio of R does not read as a scale ratio";
  if (parts.y && !ParseRatioText(*parts.y)) return "the Y ratio of R does not read as a scale ratio";
  return {};
}

std::u16string CKW_MeasureDictImpl::GetRatioText() const { return dict::GetText(dict_, "/R").value_or(u""); }

bool CKW_MeasureDictImpl::SetRatioText(std::u16string_view text) {
  return dict_ && dict::SetText(dict_, "/R", text);
}

int CKW_MeasureDictImpl::GetFormatCount(int arrayIndex) const {
  const char* key = FormatArrayKey(arrayIndex);
  KPD_Array array = key ? dict::GetArray(dict_, key) : nullptr;
  return array ? host::ArrayCount(array) : 0;
}

NumberFormat CKW_MeasureDictImpl::GetFormat(int arrayIndex, int elementIndex) const {
  const char* key = FormatArrayKey(arrayIndex);
  KPD_Array array = key ? dict::GetArray(dict_, key) : nullptr;
  return ReadFormat(array ? host::ArrayGet(array, elementIndex) : nullptr);
}

std::vector<NumberFormat> CKW_MeasureDictImpl::GetFormats(int arrayIndex) const {
  std::vector<NumberFormat> out;
  const char* key = FormatArrayKey(arrayIndex);
  KPD_Array array = key ? dict::GetArray(dict_, key) : nullptr;
  if (!array) return out;
  const int count = host::ArrayCount(array);
  out.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) out.push_back(ReadFormat(host::ArrayGet(array, i)));
  return out;
}

bool CKW_MeasureDictImpl::SetFormats(int arrayIndex, std::span<const NumberFormat> formats) {
  const char* key = FormatArrayKey(arrayIndex);
  if (!dict_ || !key) return false;
  if (formats.empty()) {
    host::DictRemove(dict_, key);
    return true;
  }
  KPD_Array array = host::ArrayNew();
  if (!array) return false;
  for (size_t i = 0; i < formats.size(); ++i) dict::AppendOwned(array, WriteFormat(formats[i], i + 1 == formats.size()));
  if (host::ArrayCount(array) > 0) return dict::SetOwned(dict_, key, array);
  host::ObjectRelease(array);
  host::DictRemove(dict_, key);
  return false;
}

std::optional<KS_FloatPoint> CKW_MeasureDictImpl::GetOrigin() const {
  KPD_Array o = dict::GetArray(dict_, "/O");
  if (!o || host::ArrayCount(o) < 2) return std::nullopt;
  KPD_Object x = host::ArrayGet(o, 0), y = host::ArrayGet(o, 1);
  if (!dict::IsType(x, KPD_OBJ_NUMBER) || !dict::IsType(y, KPD_OBJ_NUMBER)) return std::nullopt;
  return KS_FloatPoint{static_cast<float>(host::ObjectGetNumber(x)), static_cast<float>(host::ObjectGetNumber(y))};
}

std::optional<double> CKW_MeasureDictImpl::GetCYX() const { return dict::GetNumber(dict_, "/CYX"); }

int CKW_MeasureDictImpl::GetPrecision() const {
  // The display mode and denominator sit on the last element: for a
  // one-element array that is the first, for feet and inches the inches.
  const int count = GetFormatCount(kX);
  return count == 0 ? 0 : PrecisionOf(GetFormat(kX, count - 1));
}

std::optional<std::u16string> CKW_MeasureDictImpl::FormatValue(int arrayIndex, double value) const {
  if (!FormatArrayKey(arrayIndex)) return std::nullopt;
  std::vector<NumberFormat> formats = GetFormats(arrayIndex);
  return kwannotation::FormatValue(formats, static_cast<FormatArray>(arrayIndex), value);
}

bool CKW_MeasureDictImpl::WriteToAnnot(KPD_Dictionary annot, KPD_Document doc) const {
  if (!IsValid()) return false;
  KPD_Dictionary target = GetOrCreateForAnnot(annot, doc, true);
  if (!target) return false;
  if (host::ObjectIsIdentical(target, dict_)) return true;
  CKW_MeasureDictImpl out(target);
  dict::SetName(target, "/Type", "Measure");
  dict::SetName(target, "/SubType", IsGeospatial() ? "GEO" : "RL");
  out.SetRatioText(GetRatioText());
  if (std::optional<KS_FloatPoint> origin = GetOrigin()) {
    KPD_Array o = host::ArrayNew();
    dict::AppendOwned(o, host::NumberNew(origin->x));
    dict::AppendOwned(o, host::NumberNew(origin->y));
    dict::SetOwned(target, "/O", o);
  } else {
    host::DictRemove(target, "/O");
  }
  if (std::optional<double> cyx = GetCYX())
    dict::SetNumber(target, "/CYX", *cyx);
  else
    host::DictRemove(target, "/CYX");
  for (int a = 0; a < kArrayCount; ++a) out.SetFormats(a, GetFormats(a));
  return true;
}

bool CKW_MeasureDictImpl::Normalize() {
  if (!dict::IsType(dict_, KPD_OBJ_DICTIONARY)) return false;
  const std::u16string r = GetRatioText();
  const RatioParts parts = SplitRatio(r);
  std::optional<ParsedRatio> xRatio = parts.x ? ParseRatioText(*parts.x) : std::nullopt;
  std::optional<ParsedRatio> yRatio = parts.y ? ParseRatioText(*parts.y) : std::nullopt;

  KPD_Array x = dict::GetArray(dict_, "/X");
  const std::u16string base = x ? NormalizeUnit(FirstUnit(x)) : std::u16string();
  if (x) SetChainFactors(x, LengthFactor(u"pt", base) * (xRatio ? xRatio->ratio : 1.0), &LengthFactor);
  if (KPD_Array y = dict::GetArray(dict_, "/Y"))
    SetChainFactors(y, LengthFactor(u"pt", FirstUnit(y)) * (yRatio ? yRatio->ratio : 1.0), &LengthFactor);

  // "CYX" turns a y distance in the Y real unit into the X real unit. It
  // only has a meaning when there is a Y ratio. The units are those the
  // arrays measure in, which are the ratio's real units unless the values
  // were set to be shown in another unit.
  if (yRatio) {
    KPD_Array y = dict::GetArray(dict_, "/Y");
    const std::u16string xReal = x && y ? base : xRatio ? xRatio->realUnit : std::u16string();
    const std::u16string yReal = x && y ? NormalizeUnit(FirstUnit(y)) : yRatio->realUnit;
    double cyx = xReal == yReal ? 1.0 : LengthFactor(yReal, xReal);
    if (cyx > 0 && std::isfinite(cyx)) dict::SetNumber(dict_, "/CYX", cyx);
  } else {
    host::DictRemove(dict_, "/CYX");
  }

  if (KPD_Array d = dict::GetArray(dict_, "/D")) SetChainFactors(d, LengthFactor(base, FirstUnit(d)), &LengthFactor);
  if (KPD_Array a = dict::GetArray(dict_, "/A"))
    SetChainFactors(a, AreaFactor(AreaKeyOfLength(base), FirstUnit(a)), &AreaFactor);
  if (KPD_Array v = dict::GetArray(dict_, "/V"))
    SetChainFactors(v, VolumeFactor(VolumeKeyOfLength(base), FirstUnit(v)), &VolumeFactor);
  if (KPD_Array t = dict::GetArray(dict_, "/T")) {
    const int count = host::ArrayCount(t);
    for (int i = 0; i < count; ++i) {
      KPD_Object element = host::ArrayGet(t, i);
      if (dict::IsType(element, KPD_OBJ_DICTIONARY) && dict::GetText(element, "/U").value_or(u"").empty())
        dict::SetText(element, "/U", kDegree);
    }
  }
  return true;
}

std::vector<NumberFormat> ScaleFormatsFor(std::u16string_view unit, int precision) {
  std::vector<NumberFormat> out;
  const std::u16string key = CanonicalUnitKey(unit);
  switch (GetUnitKind(key)) {
    case UnitKind::FeetInches: {
      out.push_back(ScaleElement(u"'", 1.0, u"", u"-"));
      NumberFormat inches = ScaleElement(u"\"", 12.0, u"", u"");
      ApplyPrecision(inches, precision, key);
      out.push_back(std::move(inches));
      break;
    }
    case UnitKind::InchFraction: {
      NumberFormat inches = ScaleElement(u"\"", 1.0, u"", u"");
      ApplyPrecision(inches, precision, key);
      out.push_back(std::move(inches));
      break;
    }
    case UnitKind::Decimal: {
      NumberFormat f = ScaleElement(key, 1.0, u" ", u"");
      ApplyPrecision(f, precision, key);
      out.push_back(std::move(f));
      break;
    }
  }
  return out;
}

bool CKW_MeasureDictImpl::WriteScale(const PageScale& scale, std::u16string_view ratioText,
                                     const MeasureUnits& units) {
  if (!dict::IsType(dict_, KPD_OBJ_DICTIONARY)) return false;
  dict::SetName(dict_, "/Type", "Measure");
  dict::SetName(dict_, "/SubType", "RL");
  SetRatioText(ratioText);
  for (int a : {kX, kY, kD, kA, kT, kV}) SetFormats(a, {});
  SetFormats(kX, ScaleFormatsFor(scale.x.realUnit, scale.precision));
  if (scale.separateY) SetFormats(kY, ScaleFormatsFor(scale.y.realUnit, scale.precision));
  SetFormats(kD, ScaleFormatsFor(units.length, scale.precision));
  // Area and volume units are decimal whatever the length unit is.
  NumberFormat area = ScaleElement(units.area, 1.0, u" ", u"");
  ApplyPrecision(area, scale.precision, units.area);
  SetFormats(kA, std::span<const NumberFormat>(&area, 1));
  NumberFormat volume = ScaleElement(units.volume, 1.0, u" ", u"");
  ApplyPrecision(volume, scale.precision, units.volume);
  SetFormats(kV, std::span<const NumberFormat>(&volume, 1));
  NumberFormat angle = ScaleElement(kDegree, 1.0, u" ", u"");
  ApplyPrecision(angle, scale.precision, kDegree);
  SetFormats(kT, std::span<const NumberFormat>(&angle, 1));
  return Normalize();
}

bool CKW_MeasureDictImpl::SetDisplayUnits(const MeasureUnits& units) {
  if (!dict::IsType(dict_, KPD_OBJ_DICTIONARY) || IsGeospatial()) return false;
  const bool length = !units.length.empty(), area = !units.area.empty(), volume = !units.volume.empty();
  if ((length && !IsKnownUnit(UnitDimension::Length, CanonicalUnitKey(units.length))) ||
      (area && !IsKnownUnit(UnitDimension::Area, units.area)) ||
      (volume && !IsKnownUnit(UnitDimension::Volume, units.volume)))
    return false;
  const int precision = GetPrecision();
  if (length) {
    const std::vector<NumberFormat> formats = ScaleFormatsFor(units.length, precision);
    SetFormats(kX, formats);
    SetFormats(kD, formats);
  }
  // Area and volume units are decimal whatever the length unit is.
  if (area) {
    NumberFormat f = ScaleElement(units.area, 1.0, u" ", u"");
    ApplyPrecision(f, precision, units.area);
    SetFormats(kA, std::span<const NumberFormat>(&f, 1));
  }
  if (volume) {
    NumberFormat f = ScaleElement(units.volume, 1.0, u" ", u"");
    ApplyPrecision(f, precision, units.volume);
    SetFormats(kV, std::span<const NumberFormat>(&f, 1));
  }
  return Normalize();
}

MeasureUnits CKW_MeasureDictImpl::GetDisplayUnits() const {
  MeasureUnits units;
  if (GetFormatCount(kX) > 0) {
    units.length = CanonicalUnitKey(GetFormat(kX, 0).unit);
    if (units.length == u"ft" && GetFormatCount(kX) > 1) units.length = u"ft'in\"";
  }
  units.area = GetFormatCount(kA) > 0 ? GetFormat(kA, 0).unit : AreaKeyOfLength(units.length);
  units.volume = GetFormatCount(kV) > 0 ? GetFormat(kV, 0).unit : VolumeKeyOfLength(units.length);
  return units;
}

CKW_MeasureDict CKW_MeasureDict::Borrow(KPD_Dictionary dict) {
  if (!dict) return {};
  return CKW_MeasureDict(std::make_shared<CKW_MeasureDictImpl>(dict, false));
}

CKW_MeasureDict CKW_MeasureDict::Own(KPD_Dictionary dict) {
  if (!dict) return {};
  return CKW_MeasureDict(std::make_shared<CKW_MeasureDictImpl>(dict, true));
}

}  // namespace kwannotation
