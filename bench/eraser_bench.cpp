// The ink eraser on one dense ink: 100,000 points in 200 strokes, a 60-point
// trail moved across it. Prints, in milliseconds, the stroke index build,
// the slowest and the mean preview of one move, the partial erase applied at
// button up (erase and strokes written), and the regeneration of the ink's
// appearance afterwards; writes the ink before the erase to the given PDF so
// that bench/eraser_vs_pymupdf.sh can time PyMuPDF on the same ink.
//
//   eraser_bench OUT.pdf [REPEATS]
#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <random>
#include <string>

#include "drawing/cda_rubber_geometry.h"
#include "drawing/cda_rubber_ink.h"
#include "host/core_hft.h"
#include "kwannotation/kw_annot_change.h"
#include "kwannotation/kw_appearance_kinds.h"
#include "plugin/host_binding.h"

using namespace AnnotationPlugin;

namespace {

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

DA_InkStrokes MakeInk() {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> start(60, 540), step(-2.5f, 2.5f);
  DA_InkStrokes strokes(200);
  for (auto& s : strokes) {
    KS_FloatPoint p{start(rng) * 1.4f, start(rng)};
    for (int i = 0; i < 500; ++i) {
      s.points.push_back(p);
      p = {std::clamp(p.x + step(rng) + 0.8f, 20.0f, 820.0f), std::clamp(p.y + step(rng), 20.0f, 580.0f)};
    }
  }
  return strokes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: eraser_bench OUT.pdf [REPEATS]\n");
    return 2;
  }
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  Host::Bind(kshost::CoreHFT(), nullptr);
  using clock = std::chrono::steady_clock;
  const DA_InkStrokes strokes = MakeInk();

  double build = 1e9, worstMove = 1e9, meanMove = 1e9, runs = 1e9, apply = 1e9, regen = 1e9, record = 1e9;
  size_t erasedTo = 0;
  for (int rep = 0; rep < repeats; ++rep) {
    KPD_Document doc = Host::DocNew();
    KS_FloatRect box{0, 0, 842, 595};
    KPD_Page page = Host::DocAddPage(doc, &box);
    std::string text = "<< /Type /Annot /Subtype /Ink /C [0 0 1] /BS << /W 1 >> /Rect [0 0 842 595] >>";
    KPD_Object parsed = Host::ObjectParse(text.data(), text.size());
    KPD_Dictionary ink = Host::PageInsertAnnot(page, -1, parsed);
    Host::ObjectRelease(parsed);
    DA_InkData data;
    data.strokes = strokes;
    DA_WriteInk(ink, data);
    kwannotation::RebuildAppearance(ink, nullptr);
    if (rep == 0) {
      Host::ByteString why;
      if (!Host::DocSave(doc, argv[1], why.get())) {
        std::fprintf(stderr, "eraser_bench: cannot write %s: %s\n", argv[1], why.str().c_str());
        return 1;
      }
    }

    auto t0 = clock::now();
    const DA_InkData read = DA_ReadInk(ink);
    CDA_StrokeIndex index(read.strokes);
    CDA_StrokeIndex::Preview preview(index, false);
    auto t1 = clock::now();
    build = std::min(build, Ms(t0, t1));

    // A zigzag across the middle of the ink, 60 points.
    CDA_RubberTrail trail(RubberRadius(8));
    double worst = 0, total = 0;
    for (int i = 0; i < 60; ++i) {
      trail.Add({100.0f + float(i) * 11.0f, 300.0f + (i % 2 ? 40.0f : -40.0f)});
      auto a = clock::now();
      auto added = preview.Extend(trail);
      auto b = clock::now();
      worst = std::max(worst, Ms(a, b));
      total += Ms(a, b);
      (void)added;
    }
    worstMove = std::min(worstMove, worst);
    meanMove = std::min(meanMove, total / 60);

    // Button up as the tool does it: the runs, the undo record's snapshot,
    // the strokes kept; the appearance; the undo record's comparison.
    auto u0 = clock::now();
    DA_EraseResult r = index.ErasePart(trail);
    runs = std::min(runs, Ms(u0, clock::now()));
    auto change =
        std::make_unique<kwannotation::CKW_AnnotChange>(ink, std::vector<std::string>{"/InkList", "/PSI"}, true);
    DA_KeepRuns(ink, r.runs);
    auto u1 = clock::now();
    apply = std::min(apply, Ms(u0, u1));
    erasedTo = r.strokes.size();

    auto g0 = clock::now();
    kwannotation::RebuildAppearance(ink, nullptr);
    auto g1 = clock::now();
    regen = std::min(regen, Ms(g0, g1));
    change->Finish();
    record = std::min(record, Ms(g1, clock::now()));
    Host::DocClose(doc);
  }
  std::printf("ink: 100000 points in 200 strokes, trail of 60 points; best of %d runs (ms)\n", repeats);
  std::printf("index build:          %8.3f\n", build);
  std::printf("preview, worst move:  %8.3f\n", worstMove);
  std::printf("preview, mean move:   %8.3f\n", meanMove);
  std::printf("erase: runs computed: %8.3f\n", runs);
  std::printf("erase at button up:   %8.3f  (%zu strokes left; runs, undo snapshot, strokes kept)\n", apply,
              erasedTo);
  std::printf("regenerate appearance:%8.3f\n", regen);
  std::printf("undo record finished: %8.3f\n", record);
  std::printf("regen_ms=%f\n", regen);
  return 0;
}
