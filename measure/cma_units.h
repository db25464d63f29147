// The measuring tools' side of units and scales: unit names in the user's
// language, the default scale ratio kept in the host's preferences, the
// ratio text and measure dictionary written for a new measurement, and the
// slope text of the dialogs. The tables themselves are the annotation
// library's (kwannotation/kw_units.h, kw_ratio.h), so the tools and the
// captions cannot disagree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kwannotation/kw_measure_dict.h"
#include "kwannotation/kw_ratio.h"
#include "kwannotation/kw_units.h"
#include "sdk/ks_types.h"

namespace AnnotationPlugin {

using kwannotation::MeasureRatioPair;
using kwannotation::PageScale;
using kwannotation::UnitList;

// The display names of a unit list in the user's language, in list order
// ("IDS_STRINGUNITII", "IDS_STRINGUNITI", "IDS_MA_AREA_UNIT",
// "IDS_MA_VOLUME_UNIT"). Read from the translation tables on first use and
// kept for the life of the plug-in.
const std::vector<std::u16string>& UnitDisplayNames(UnitList list);

// A unit typed or stored as text, as a key of `list`: its key, the key whose
// display name it is, or the text trimmed.
std::u16string UnitKeyFromText(std::u16string_view text, UnitList list);

// Display names of the area and volume units of a length unit ("ft" ->
// the name of "sq ft"); the names of "sq mm" and "cu mm" for a unit that has
// none.
std::u16string AreaUnitFor(std::u16string_view lengthKey);
std::u16string VolumeUnitFor(std::u16string_view lengthKey);

// The "R" text of a scale, units turned into keys through the display names.
std::u16string RatioText(const PageScale& scale);

// The preference section and keys of the default ratio.
inline constexpr char16_t kMeasurementSection[] = u"Measurement";

// Reads the default ratio from section "Measurement". A missing unit index
// (or one outside its list) gives the index of `defaultUnit` (the host's
// document unit, DefaultUnitKey) in that list, 0 when the list lacks it;
// numbers that are missing or not positive finite numbers read as 1, and
// larger than 99999999 as 99999999. The Y ratio is read only when
// "ScaleRatioY" is set. The precision is left as it is in `into`.
PageScale LoadDefaultRatio(std::u16string_view defaultUnit, PageScale into = {});

// Writes the ratio to the same keys; without a separate Y ratio the five Y
// keys are removed instead. Units that are not in their list are stored as
// index 0.
void SaveDefaultRatio(const PageScale& scale);

// Writes the scale of a new or rescaled measurement into the annotation's
// measure dictionary (made when missing): "R" from RatioText, one number
// format per array from the precision, then the factors. False when there
// is no annotation or the dictionary cannot be made.
bool WritePageScale(KPD_Dictionary annot, KPD_Document doc, const PageScale& scale,
                    const kwannotation::MeasureUnits& units);

// The slope as the measuring dialogs show it, with the translated unit
// words ("IDS_GRADE", "IDS_PITCH"); empty when there is no slope.
std::u16string SlopeDisplay(double slope, int slopeType, double pitchRun);

}  // namespace AnnotationPlugin
