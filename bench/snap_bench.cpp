// The snapping service on one page: building the page's snap index
// (extraction from the content stream and the R-tree), and one snap query
// as a mouse move makes it, all four modes on. Prints key=value lines in
// milliseconds, medians of the runs.
//
//   snap_bench PLAN.pdf [RUNS]
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "host/snap_geometry.h"
#include "sdk/ks_functions.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// Processor time of this process in milliseconds: on a shared machine the
// wall clock also counts the time other processes had the cores.
double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: snap_bench PLAN.pdf [RUNS]\n", stderr);
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  QPDF pdf;
  try {
    pdf.processFile(argv[1]);
  } catch (std::exception& e) {
    std::fprintf(stderr, "snap_bench: %s\n", e.what());
    return 1;
  }
  QPDFObjectHandle page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();

  std::vector<double> builds, buildsCpu;
  std::unique_ptr<kshost::snap::Index> index;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuMs();
    auto built = std::make_unique<kshost::snap::Index>(kshost::snap::ExtractPage(page));
    builds.push_back(Ms(start));
    buildsCpu.push_back(CpuMs() - cpu);
    index = std::move(built);
  }

  // Pointers a few pixels off the drawing's segments at zoom 1 on an A4
  // landscape page (device y downwards), as a hovering pointer is.
  const KS_Matrix view{1, 0, 0, -1, 0, 595};
  const kshost::snap::Modes all{true, true, true, true};
  const auto& segs = index->geometry().segments;
  std::mt19937 random(7);
  std::vector<double> queries, queriesCpu;
  int snapped = 0;
  for (int r = 0; r < runs; ++r) {
    constexpr int kQueries = 2000;
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuMs();
    for (int q = 0; q < kQueries; ++q) {
      const auto& s = segs[random() % segs.size()];
      const double t = (random() % 1000) / 1000.0;
      const double px = s.x1 + t * (s.x2 - s.x1) + double(random() % 9) - 4;
      const double py = 595 - (s.y1 + t * (s.y2 - s.y1)) + double(random() % 9) - 4;
      snapped += index->Query(view, px, py, 8, all).kind != KS_SNAP_NONE;
    }
    queries.push_back(Ms(start) / kQueries);
    queriesCpu.push_back((CpuMs() - cpu) / kQueries);
  }
  std::printf("segments=%zu\n", segs.size());
  std::printf("snapped=%d of %d\n", snapped, runs * 2000);
  std::printf("build_ms=%.3f\n", Median(builds));
  std::printf("query_ms=%.4f\n", Median(queries));
  std::printf("build_cpu_ms=%.3f\n", Median(buildsCpu));
  std::printf("query_cpu_ms=%.4f\n", Median(queriesCpu));
  return 0;
}
