// The preference file: whatever reads must write back to a text that reads
// to the same preferences.
#include "fuzz/fuzz_support.h"
#include "host/pref_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  auto prefs = kshost::ParsePrefFile(annot_fuzz::Bytes(data, size));
  if (!prefs) return 0;
  auto again = kshost::ParsePrefFile(kshost::FormatPrefFile(*prefs));
  FUZZ_CHECK(again && *again == *prefs);
  return 0;
}
