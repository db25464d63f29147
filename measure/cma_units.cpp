#include "measure/cma_units.h"

#include <array>

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

std::u16string RatioText(const PageScale& scale) {
  return kwannotation::ComposeRatioText(scale, UnitDisplayNames(UnitList::Paper), UnitDisplayNames(UnitList::Real));
}

PageScale LoadDefaultRatio(std::u16string_view defaultUnit, PageScale into) {
  into.x = ReadRatio(kXKeys, defaultUnit);
  into.separateY = Host::PrefGetInt(kMeasurementSection, kSeparateY, 0) == 1;
  if (into.separateY) into.y = ReadRatio(kYKeys, defaultUnit);
  return into;
}

}  // namespace AnnotationPlugin
