#include "measure/cma_units.h"

#include <array>

#include "kwannotation/kw_number_format.h"
#include "plugin/host_binding.h"
#include "plugin/widget_binding.h"

namespace AnnotationPlugin {

namespace {

constexpr const char* kListMessages[] = {"IDS_STRINGUNITII", "IDS_STRINGUNITI", "IDS_MA_AREA_UNIT",
                                         "IDS_MA_VOLUME_UNIT"};

struct RatioKeys {
  const char16_t* paperUnit;
  const char16_t* realUnit;
  const char16_t* paperNumber;
  const char16_t* realNumber;
};
constexpr RatioKeys kXKeys = {u"ScaleRatioUINT0", u"ScaleRatioUINT1", u"ScaleRatioNum0", u"ScaleRatioNum1"};
constexpr RatioKeys kYKeys = {u"ScaleRatioUnitYUser", u"ScaleRatioUnitYReal", u"ScaleRatioNumYUser",
                              u"ScaleRatioNumYReal"};
constexpr char16_t kSeparateY[] = u"ScaleRatioY";

std::u16string KeyAt(UnitList list, int32_t index, int fallback) {
  auto keys = kwannotation::UnitKeys(list);
  if (index < 0 || static_cast<size_t>(index) >= keys.size()) index = fallback;
  return std::u16string(keys[static_cast<size_t>(index)]);
}

double ReadNumber(const char16_t* key) {
  Host::WideString text;
  if (!Host::PrefGetText(kMeasurementSection, key, text.get())) return 1.0;
  return kwannotation::ReadPreferenceRatioNumber(text.str());
}

MeasureRatioPair ReadRatio(const RatioKeys& keys, std::u16string_view defaultUnit) {
  const int paperDefault = std::max(kwannotation::UnitIndex(defaultUnit, UnitList::Paper), 0);
  const int realDefault = std::max(kwannotation::UnitIndex(defaultUnit, UnitList::Real), 0);
  MeasureRatioPair r;
  r.paperUnit = KeyAt(UnitList::Paper, Host::PrefGetInt(kMeasurementSection, keys.paperUnit, paperDefault),
                      paperDefault);
  r.realUnit =
      KeyAt(UnitList::Real, Host::PrefGetInt(kMeasurementSection, keys.realUnit, realDefault), realDefault);
  r.paperNumber = ReadNumber(keys.paperNumber);
  r.realNumber = ReadNumber(keys.realNumber);
  return r;
}

void WriteRatio(const RatioKeys& keys, const MeasureRatioPair& r) {
  Host::PrefSetInt(kMeasurementSection, keys.paperUnit,
                   std::max(kwannotation::UnitIndex(UnitKeyFromText(r.paperUnit, UnitList::Paper), UnitList::Paper), 0));
  Host::PrefSetInt(kMeasurementSection, keys.realUnit,
                   std::max(kwannotation::UnitIndex(UnitKeyFromText(r.realUnit, UnitList::Real), UnitList::Real), 0));
  Host::PrefSetText(kMeasurementSection, keys.paperNumber,
                    kwannotation::PreferenceRatioNumberText(r.paperNumber).c_str());
  Host::PrefSetText(kMeasurementSection, keys.realNumber, kwannotation::PreferenceRatioNumberText(r.realNumber).c_str());
}

}  // namespace

const std::vector<std::u16string>& UnitDisplayNames(UnitList list) {
  static const std::array<std::vector<std::u16string>, 4> names = [] {
    std::array<std::vector<std::u16string>, 4> out;
    for (size_t i = 0; i < out.size(); ++i) {
      const std::string_view message = kListMessages[i];
      std::u16string translated = Widgets::Translate(std::string(message));
      // A table that is not loaded answers with the message key itself; the
      // unit keys then stand for their own names.
      if (translated != std::u16string(message.begin(), message.end()))
        out[i] = kwannotation::SplitUnitNames(translated);
    }
    return out;
  }();
  return names[static_cast<size_t>(list)];
}

std::u16string UnitKeyFromText(std::u16string_view text, UnitList list) {
  return kwannotation::UnitKeyFromText(text, list, UnitDisplayNames(list));
}

std::u16string AreaUnitFor(std::u16string_view lengthKey) {
  return kwannotation::AreaUnitNameFor(lengthKey, UnitDisplayNames(UnitList::Area));
}

std::u16string VolumeUnitFor(std::u16string_view lengthKey) {
  return kwannotation::VolumeUnitNameFor(lengthKey, UnitDisplayNames(UnitList::Volume));
}

std::u16string RatioText(const PageScale& scale) {
  return kwannotation::ComposeRatioText(scale, UnitDisplayNames(UnitList::Paper), UnitDisplayNames(UnitList::Real));
}

PageScale LoadDefaultRatio(std::u16string_view defaultUnit, PageScale into) {
  into.x = ReadRatio(kXKeys, defaultUnit);
  into.separateY = Host::PrefGetInt(kMeasurementSection, kSeparateY, 0) == 1;
  if (into.separateY) into.y = ReadRatio(kYKeys, defaultUnit);
  return into;
}

void SaveDefaultRatio(const PageScale& scale) {
  WriteRatio(kXKeys, scale.x);
  if (scale.separateY) {
    Host::PrefSetInt(kMeasurementSection, kSeparateY, 1);
    WriteRatio(kYKeys, scale.y);
    return;
  }
  for (const char16_t* key :
       {kSeparateY, kYKeys.paperUnit, kYKeys.realUnit, kYKeys.paperNumber, kYKeys.realNumber})
    Host::PrefRemove(kMeasurementSection, key);
}

bool WritePageScale(KPD_Dictionary annot, KPD_Document doc, const PageScale& scale,
                    const kwannotation::MeasureUnits& units) {
  KPD_Dictionary dict = kwannotation::CKW_MeasureDictImpl::GetOrCreateForAnnot(annot, doc, true);
  if (!dict) return false;
  kwannotation::CKW_MeasureDictImpl measure(dict);
  kwannotation::MeasureUnits keys{UnitKeyFromText(units.length, UnitList::Real),
                                  UnitKeyFromText(units.area, UnitList::Area),
                                  UnitKeyFromText(units.volume, UnitList::Volume)};
  PageScale withKeys = scale;
  withKeys.x.realUnit = UnitKeyFromText(scale.x.realUnit, UnitList::Real);
  withKeys.y.realUnit = UnitKeyFromText(scale.y.realUnit, UnitList::Real);
  return measure.WriteScale(withKeys, RatioText(scale), keys);
}

std::u16string SlopeDisplay(double slope, int slopeType, double pitchRun) {
  return kwannotation::SlopeDisplayText(slope, slopeType, pitchRun, Widgets::Translate("IDS_GRADE"),
                                        Widgets::Translate("IDS_PITCH"));
}

}  // namespace AnnotationPlugin
