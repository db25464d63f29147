// Toolsets in process: reading a toolset of 500 captured tools (mixed kinds,
// some with an image and a pattern in their appearance resources), and
// placing one tool on a page. Budgets: 50 ms to load, 5 ms to place.
#include <benchmark/benchmark.h>

#include <string>

#include "host/core_hft.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "sdk/ks_host_binding.h"
#include "toolset/annot_toolset.h"

namespace {

namespace host = ks::host;
using namespace AnnotationPlugin;

const char* const kShapes[] = {
    "<</Subtype/Square/Rect[20 20 120 90]/C[1 0 0]/BE<</S/C/I 1>>/BS<</W 2>>>>",
    "<</Subtype/PolyLine/Rect[20 20 140 120]/Vertices[30 30 80 110 130 40]/LE[/OpenArrow/ClosedArrow]/C[0 0 1]>>",
    "<</Subtype/Line/Rect[20 20 220 50]/L[30 35 210 35]/LE[/OpenArrow/OpenArrow]/LL 8/Cap true/Contents(12 ft)"
    "/Measure<</Type/Measure/Subtype/RL/R(1 in = 10 ft)/X[<</U(ft)/C 0.1389/D 100>>]/D[<</U(ft)/C 1>>]>>>>",
    "<</Subtype/Circle/Rect[20 20 90 70]/C[0 0.5 0]/IC[0.9 0.9 1]>>",
    "<</Subtype/Ink/Rect[20 20 120 80]/InkList[[25 25 40 60 60 30 90 70 110 25]]/C[0 0 0]>>",
};

// One source document holding a tool of every kind; every fifth gets an
// image and a tiling pattern in its appearance.
std::string MakeToolsetText(int count) {
  KPD_Document doc = host::DocNew();
  KS_FloatRect box{0, 0, 612, 792};
  KPD_Page page = host::DocAddPage(doc, &box);
  std::string pixels(64 * 64 * 3, '\x80');
  KPD_Stream image = host::DocNewStream(doc, pixels.data(), pixels.size());
  const std::string imageKeys =
      "<</Type/XObject/Subtype/Image/Width 64/Height 64/ColorSpace/DeviceRGB/BitsPerComponent 8>>";
  KPD_Object imageDict = host::ObjectParse(imageKeys.data(), imageKeys.size());
  KPD_Stream pattern = host::DocNewStream(doc, "0 0 4 4 re f", 12);
  for (int i = 0; i < 5; ++i) {
    std::string text = kShapes[i];
    KPD_Object parsed = host::ObjectParse(text.data(), text.size());
    KPD_Dictionary annot = host::PageInsertAnnot(page, -1, parsed);
    host::ObjectRelease(parsed);
    std::string reason;
    kwannotation::AppearanceFor(annot, nullptr)(annot, &reason, {});
  }
  KPD_Dictionary id = host::StreamGetDict(image);
  for (const char* k : {"/Type", "/Subtype", "/Width", "/Height", "/ColorSpace", "/BitsPerComponent"})
    host::DictSet(id, k, host::DictGet(reinterpret_cast<KPD_Dictionary>(imageDict), k));
  KPD_Dictionary pd = host::StreamGetDict(pattern);
  host::DictSet(pd, "/PatternType", host::IntegerNew(1));
  KPD_Dictionary first = host::PageGetAnnot(page, 0);
  KPD_Stream n = reinterpret_cast<KPD_Stream>(
      host::DictGet(reinterpret_cast<KPD_Dictionary>(host::DictGet(first, "/AP")), "/N"));
  std::string res = "<<>>";
  KPD_Object resources = host::ObjectParse(res.data(), res.size());
  KPD_Object xo = host::ObjectParse(res.data(), res.size());
  KPD_Object pat = host::ObjectParse(res.data(), res.size());
  host::DictSet(reinterpret_cast<KPD_Dictionary>(xo), "/Im1", reinterpret_cast<KPD_Object>(image));
  host::DictSet(reinterpret_cast<KPD_Dictionary>(pat), "/P1", reinterpret_cast<KPD_Object>(pattern));
  host::DictSet(reinterpret_cast<KPD_Dictionary>(resources), "/XObject", xo);
  host::DictSet(reinterpret_cast<KPD_Dictionary>(resources), "/Pattern", pat);
  host::DictSet(host::StreamGetDict(n), "/Resources", resources);
  CAnnot_ToolSet set;
  set.title = u"Bench";
  for (int i = 0; i < count; ++i) {
    set.AddTool(page, i % 5);
    set.tools.back()->name = u"tool-" + std::u16string(1, u'a' + i % 26) + std::u16string(1, u'0' + i % 10) +
                             std::u16string(1, u'A' + i / 26 % 26);
  }
  host::ObjectRelease(imageDict);
  host::DocClose(doc);
  return WriteToolSet(set);
}

void BM_LoadToolset500(benchmark::State& state) {
  host::Bind(kshost::CoreHFT(), nullptr);
  const std::string text = MakeToolsetText(500);
  state.counters["file_MB"] = text.size() / 1e6;
  for (auto _ : state) {
    std::vector<ToolsetProblem> problems;
    auto set = ReadToolSet(text, u"/bench/bench.ktz", &problems);
    if (!set || set->tools.size() != 500) state.SkipWithError("the toolset did not load whole");
    benchmark::DoNotOptimize(set);
  }
}
BENCHMARK(BM_LoadToolset500)->Unit(benchmark::kMillisecond);

void BM_PlaceTool(benchmark::State& state) {
  host::Bind(kshost::CoreHFT(), nullptr);
  std::vector<ToolsetProblem> problems;
  auto set = ReadToolSet(MakeToolsetText(5), u"/bench/bench.ktz", &problems);
  const CAnnot_Tool& tool = *set->tools[static_cast<size_t>(state.range(0))];
  KPD_Document doc = host::DocNew();
  KS_FloatRect box{0, 0, 612, 792};
  host::DocAddPage(doc, &box);
  for (auto _ : state) {
    std::vector<KPD_Dictionary> placed;
    std::string error;
    if (!PlaceTool(doc, 0, tool, 100, 700, &placed, &error)) state.SkipWithError(error.c_str());
  }
  host::DocClose(doc);
}
// The cloud with its image and pattern, and the distance measurement.
BENCHMARK(BM_PlaceTool)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
