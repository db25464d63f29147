// In-process cost of each shape generator, without load and save: one
// annotation of the benchmark's kinds rebuilt over and over.
#include <benchmark/benchmark.h>

#include <string>

#include "host/core_hft.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "sdk/ks_host_binding.h"

namespace {

namespace host = ks::host;

std::string InkList() {
  std::string s = "[[";
  for (int i = 0; i < 50; ++i) s += std::to_string(24 + i * 2) + " " + std::to_string(100 + (i * 37) % 30) + " ";
  return s + "]]";
}

// Rebuilds one annotation over and over. With `inPlace` the stream is
// rewritten (what annot regenerate does for unshared streams); otherwise a
// new stream is made each time, as the plug-in does when editing.
void Run(benchmark::State& state, const char* subtype, const std::string& keys, bool inPlace) {
  host::Bind(kshost::CoreHFT(), nullptr);
  KPD_Document doc = host::DocNew();
  KS_FloatRect box{0, 0, 612, 792};
  KPD_Page page = host::DocAddPage(doc, &box);
  std::string dict = std::string("<< /Subtype ") + subtype + " " + keys +
                     " /Type /Annot /F 4 /CA 0.5 /BS << /W 1.5 >> /C [0.1 0.3 0.8] /Rect [20 20 126 86] >>";
  KPD_Object parsed = host::ObjectParse(dict.data(), dict.size());
  KPD_Dictionary annot = host::PageInsertAnnot(page, -1, parsed);
  host::ObjectRelease(parsed);
  kwannotation::ShapeAppearanceFn fn = kwannotation::AppearanceFor(annot, nullptr);
  std::string reason;
  if (!fn || !fn(annot, &reason, {})) state.SkipWithError("cannot draw the annotation");
  kwannotation::ShapeAppearanceOptions options;
  options.reuseStream = inPlace;
  for (auto _ : state) {
    if (!fn(annot, &reason, options)) state.SkipWithError(reason.c_str());
  }
  host::DocClose(doc);
}

const std::string kLine = "/LE [/OpenArrow /ClosedArrow] /IC [1 0.5 0] /L [28 28 118 78]";
const std::string kSquare = "/IC [1 1 0.6]";
const std::string kCircle = "/IC [0.6 1 0.6]";
const std::string kPolygon = "/IC [1 0.8 0.8] /Vertices [123 53 98 81 48 81 23 53 48 25 98 25]";
const std::string kPolyLine = "/LE [/Circle /OpenArrow] /Vertices [26 26 50 80 73 26 97 80 120 26]";
const std::string kInk = "/InkList " + InkList();
const std::string kCloudy = "/IC [1 1 0.6] /BE << /S /C /I 1 >>";

// A new stream per rebuild stays in memory until the document closes, so
// those runs have a fixed iteration count.
constexpr int kIterations = 20000;
#define SHAPE_BENCHMARKS(name, subtype, keys)                                                              \
  BENCHMARK_CAPTURE(Run, name##_InPlace, subtype, keys, true)->Unit(benchmark::kMicrosecond);            \
  BENCHMARK_CAPTURE(Run, name##_NewStream, subtype, keys, false)                                         \
      ->Iterations(kIterations)                                                                          \
      ->Unit(benchmark::kMicrosecond);
SHAPE_BENCHMARKS(Line, "/Line", kLine)
SHAPE_BENCHMARKS(Square, "/Square", kSquare)
SHAPE_BENCHMARKS(Circle, "/Circle", kCircle)
SHAPE_BENCHMARKS(Polygon, "/Polygon", kPolygon)
SHAPE_BENCHMARKS(PolyLine, "/PolyLine", kPolyLine)
SHAPE_BENCHMARKS(Ink, "/Ink", kInk)
SHAPE_BENCHMARKS(CloudySquare, "/Square", kCloudy)

}  // namespace

BENCHMARK_MAIN();
