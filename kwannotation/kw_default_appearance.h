// The two style strings of text-bearing annotations: /DA, a fragment of
// content-stream operators (font, size, colours, spacing), and /DS, a
// CSS-like list of declarations.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sdk/ks_types.h"

namespace kwannotation {

class CDS_DefaultAppearance {
 public:
  explicit CDS_DefaultAppearance(std::u16string ds = {});
  virtual ~CDS_DefaultAppearance();

  // Replaces the "color" declaration (added when missing) with #RRGGBB.
  void SetColor(const KPD_ColorF& color);
  // The declarations written back in their order, joined by ";".
  std::u16string GetText() const;

 private:
  std::vector<std::pair<std::u16string, std::u16string>> declarations_;
};

}  // namespace kwannotation
