// Measure dictionaries as PDF object text: the ratio, the number-format
// records of every array, the caption texts they give, and normalising.
#include "fuzz/fuzz_support.h"
#include "kwannotation/kw_measure_dict.h"

using kwannotation::CKW_MeasureDictImpl;

namespace {

void ShowValues(const CKW_MeasureDictImpl& dict) {
  static const double kValues[] = {0.0, 1.0, -2.5, 10.0 / 3.0, 1e9, 123456.789, 1e-7};
  for (int array = 0; array < 7; ++array) {
    dict.GetFormats(array);
    for (double v : kValues) dict.FormatValue(array, v);
  }
  dict.GetPrecision();
  dict.GetOrigin();
  dict.GetCYX();
  dict.InvalidReason();
  dict.RatioProblem();
  dict.IsGeospatial();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  KPD_Object obj = ks::host::ObjectParse(reinterpret_cast<const char*>(data), size);
  if (!obj) return 0;
  if (ks::host::ObjectGetType(obj) != KPD_OBJ_DICTIONARY) {
    ks::host::ObjectRelease(obj);
    return 0;
  }
  CKW_MeasureDictImpl dict(obj, /*owned=*/true);
  ShowValues(dict);
  dict.Normalize();
  ShowValues(dict);
  return 0;
}
