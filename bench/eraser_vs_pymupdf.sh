#!/usr/bin/env bash
# The ink eraser on one ink of 100,000 points in 200 strokes with a 60-point
# trail: preview per move, erase at button up and appearance regeneration,
# and PyMuPDF's update() of the same ink, side by side in one run.
#
#   bench/eraser_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

. "$(dirname "$0")/pymupdf_common.sh" eraser_bench "$@"
out=$("$bench" "$work/ink.pdf" "$runs")
echo "$out" | grep -v '^regen_ms='
ours=$(echo "$out" | sed -n 's/^regen_ms=//p')
theirs=$("$python" "$here/pymupdf_ink_update.py" "$work/ink.pdf" "$runs")
"$python" - "$ours" "$theirs" <<'PY'
import sys
ours, theirs = float(sys.argv[1]), float(sys.argv[2])
print(f"PyMuPDF update():      {theirs:8.3f}")
print(f"regenerate / PyMuPDF:  {ours / theirs:8.3f}")
PY
