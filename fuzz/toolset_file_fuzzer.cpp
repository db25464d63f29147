// Toolset files: whatever loads must write out to a file that loads to the
// same tools and keeps the items it could not read, a tool that has a dictionary must place on a page, and the
// import's check of a package agrees with the loader.
#include "fuzz/fuzz_support.h"
#include "toolset/annot_toolset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > annot_fuzz::kMaxTextInput) return 0;
  annot_fuzz::BindHost();
  using namespace AnnotationPlugin;
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(annot_fuzz::Bytes(data, size), u"/fuzz/input.ktz", &problems);
  // A package the import's check lets through loads, with no more tools
  // than it counted.
  const ToolsetPackageScan scan = ScanToolsetPackage(annot_fuzz::Bytes(data, size));
  FUZZ_CHECK(!scan.sound || (set && set->tools.size() <= static_cast<size_t>(scan.supported)));
  FUZZ_CHECK(scan.supported <= scan.items);
  if (!set) {
    FUZZ_CHECK(!problems.empty());
    return 0;
  }
  std::vector<ToolsetProblem> again;
  auto back = ReadToolSet(WriteToolSet(*set), u"/fuzz/input.ktz", &again);
  FUZZ_CHECK(back && back->title == set->title && back->tools.size() <= set->tools.size());
  // What the reader could not use travels through the write.
  FUZZ_CHECK(back->unreadItems.size() == set->unreadItems.size());
  KPD_Document doc = ks::host::DocNew();
  KS_FloatRect box{0, 0, 200, 200};
  ks::host::DocAddPage(doc, &box);
  for (size_t i = 0; i < set->tools.size() && i < 4; ++i) {
    std::vector<KPD_Dictionary> placed;
    std::string error;
    if (set->tools[i]->Dictionary()) PlaceTool(doc, 0, *set->tools[i], 10, 190, &placed, &error);
  }
  ks::host::DocClose(doc);
  return 0;
}
