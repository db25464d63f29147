// /DA text: read every part, write the parts back into the same text and read
// them again. Rewriting what was read must not change what reads back.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_default_appearance.h"

using kwannotation::CDA_DefaultAppearance;
using kwannotation::DefaultAppearanceInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  CDA_DefaultAppearance da{std::string(annot_fuzz::Bytes(data, size))};
  DefaultAppearanceInfo info = da.GetInfo();
  std::string name;
  float fontSize = 0;
  da.GetFont(&name, &fontSize);
  KPD_ColorF color{};
  da.GetFillColor(&color);
  da.GetStrokeColor(&color);

  da.SetInfo(info);
  DefaultAppearanceInfo again = da.GetInfo();
  FUZZ_CHECK((again.flags & info.flags) == info.flags);
  if (info.flags & kwannotation::kDA_Font) FUZZ_CHECK(again.fontName == info.fontName);
  return 0;
}
