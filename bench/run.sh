#!/usr/bin/env bash
# Every benchmark once, each beside its peer in the same run (`make bench`).
#
#   bench/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${2:-5}
cmake --build "$build" --target annot make_bench_input make_drawing_set shape_appearance_bench eraser_bench \
  text_layout_bench page_scale_bench snap_bench toolset_bench >/dev/null
[ -x "$build/bin/serve_load_bench" ] || cmake --build "$build" --target serve_load_bench >/dev/null 2>&1 || true

run() {
  echo "== $*"
  "$@" || echo "bench: '$*' failed with status $?"
}
run "$here/reference_vs_peers.sh" "$build" "$runs"
run "$here/regenerate_vs_peers.sh" "$build" "$runs"
run "$here/incremental_vs_peers.sh" "$build" "$runs"
run "$here/big_memory_vs_pymupdf.sh" "$build"
run "$build/bin/shape_appearance_bench"
run "$here/eraser_vs_pymupdf.sh" "$build" "$runs"
run "$here/text_layout_vs_pymupdf.sh" "$build" "$runs"
run "$here/page_scale_vs_pymupdf.sh" "$build" "$runs"
run "$here/snap_vs_mutool.sh" "$build" "$runs"
run "$build/bin/toolset_bench"
[ -x "$build/bin/serve_load_bench" ] && run "$build/bin/serve_load_bench"
# The browser view: Debian's Chromium through playwright-core (npm ci).
if [ -x "${ANNOT_CHROMIUM:-/usr/bin/chromium}" ] && [ -d "$here/../node_modules/playwright-core" ] &&
  [ -f "$build/web/pdfjs/pdf.min.mjs" ] && command -v node >/dev/null; then
  cmake --build "$build" --target annotation_plugin >/dev/null
  run node "$here/serve_view_bench.mjs" "$build" "$runs"
else
  echo "== serve_view_bench skipped: it needs Chromium, node with playwright-core and pdf.js in the build"
fi
exit 0
