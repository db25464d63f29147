// What a properties panel shows of an annotation: its kind and the style
// and text a person may change, read from its dictionary as stored.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "sdk/ks_types.h"

namespace kshost {

struct AnnotProps {
  std::string subtype, intent;  // names without the slash
  std::u16string subject, contents, label;
  std::optional<std::array<float, 3>> color, fill;  // RGB; none when absent
  float width = 1;    // /BS /W, else element 2 of /Border
  float dash = 0;     // the first dash length of a dashed border, else 0
  float opacity = 1;  // /CA
  bool lineEndings = false;  // a line or polyline: /LE applies
  std::string lineStart = "None", lineEnd = "None";
  // Its handler sets properties (KS_AH_SET_PROPERTY) and its document may
  // be changed.
  bool settable = false;
  // The properties its handler says the kind has (KS_AH_GET_PROPERTY), by
  // KS_PROP_* code (bit 1 << code), with their values as the handler reads
  // them over those of the dictionary; 0 when the handler does not say.
  uint32_t offered = 0;
  std::optional<float> fontSize;                      // a text's letters
  std::optional<std::array<float, 3>> fontColor;
};

AnnotProps ReadAnnotProps(KA_Annot annot);

}  // namespace kshost
