#include "tessel/label.h"

#include "tessel/tessel_utils.h"

namespace Tessel {

std::u16string Label::GetDisplayText() const {
  std::u16string text = GetText();
  const int width = GetWindowRect().width;
  if (!truncate_ || width <= 0) return text;
  const double charWidth = kAverageCharWidth * TesselUtils::GetScaleFactor();
  const auto fits = static_cast<size_t>(width / (charWidth > 0 ? charWidth : kAverageCharWidth));
  if (text.size() <= fits) return text;
  if (fits == 0) return {};
  size_t keep = fits - 1;
  // Never split a surrogate pair.
  if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  return text.substr(0, keep) + u"\u2026";
}

}  // namespace Tessel
