// A new scale on a page of 1,000 distance measurements: viewport 0 made,
// then every measurement's measure dictionary, contents, caption and
// appearance re-derived, recorded for undo. Prints the best of REPEATS in
// milliseconds as "rescale_ms=", after writing the page before the change to
// OUT.pdf so that bench/page_scale_vs_pymupdf.sh can time PyMuPDF updating
// the same 1,000 lines.
//
//   page_scale_bench OUT.pdf [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "host/core_hft.h"
#include "host/editor.h"
#include "kwannotation/kw_measure_appearance.h"
#include "kwannotation/kw_shape_appearance.h"
#include "measure/cma_page_scale.h"
#include "plugin/host_binding.h"
#include "sdk/ks_number.h"

using namespace AnnotationPlugin;

namespace {

constexpr int kMeasurements = 1000;

// 1,000 lines in a grid, 20 to 60 points long, measured at 1 in = 1 in.
void AddMeasurements(KPD_Page page) {
  for (int i = 0; i < kMeasurements; ++i) {
    const double x = 20 + (i % 20) * 28, y = 20 + (i / 20) * 15, length = 20 + (i % 7) * 6;
    std::string text = "<< /Type /Annot /Subtype /Line /IT /LineDimension /C [1 0 0] /MeasurementTypes 130 /L [";
    for (double v : {x, y, x + length, y}) {
      ks::AppendFixed(text, v, 2);
      text += ' ';
    }
    text += "] /Rect [0 0 1 1] /Measure << /Type /Measure /R (1 in = 1 in) /X [ << /U (in) /C 0.0138889 /D 100 >> ] "
            "/D [ << /U (in) /C 1 /D 100 >> ] /A [ << /U (sq in) /C 1 /D 100 >> ] >> >>";
    KPD_Object parsed = Host::ObjectParse(text.data(), text.size());
    KPD_Dictionary annot = Host::PageInsertAnnot(page, -1, parsed);
    Host::ObjectRelease(parsed);
    std::string why;
    kwannotation::RegenerateMeasureAppearance(annot, &why, kwannotation::ShapeAppearanceOptions{});
  }
}

// Processor time of this thread in milliseconds.
double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: page_scale_bench OUT.pdf [REPEATS]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  Host::Bind(kshost::CoreHFT(), nullptr);
  using clock = std::chrono::steady_clock;
  PageScale scale;
  scale.x = scale.y = {10, u"cm", 5, u"m"};
  double best = 1e9, bestCpu = 1e9;
  int changed = 0;
  for (int rep = 0; rep < repeats; ++rep) {
    kshost::Editor::Get().Reset();
    KPD_Document pdf = Host::DocNew();
    KS_FloatRect box{0, 0, 612, 792};
    KPD_Page page = Host::DocAddPage(pdf, &box);
    AddMeasurements(page);
    if (rep == 0) {
      Host::ByteString why;
      if (!Host::DocSave(pdf, argv[1], why.get())) {
        std::fprintf(stderr, "page_scale_bench: cannot write %s: %s\n", argv[1], why.str().c_str());
        return 1;
      }
    }
    KA_Document doc = kshost::Editor::Get().AddDocument(pdf, false);
    ScaleMessage error;
    const auto t0 = clock::now();
    const double c0 = CpuMs();
    const bool ok = ApplyPageScale(doc, {0}, scale, &error, &changed);
    const double c1 = CpuMs();
    const auto t1 = clock::now();
    if (!ok) {
      std::fprintf(stderr, "page_scale_bench: the scale was not applied: %s\n", error.key.c_str());
      return 1;
    }
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    bestCpu = std::min(bestCpu, c1 - c0);
    kshost::Editor::Get().Reset();
    Host::DocClose(pdf);
  }
  std::printf("measurements re-derived: %d\n", changed);
  // On a busy machine the processor time says more than the clock.
  std::printf("processor time of the best run (ms): %.3f\n", bestCpu);
  std::printf("rescale_ms=%f\n", best);
  return 0;
}
