#!/usr/bin/env bash
# A new scale on a page of 1,000 distance measurements (viewport 0, then
# every measurement re-derived with its appearance), and PyMuPDF updating
# the contents and appearance of the same 1,000 lines, side by side in one
# run.
#
#   bench/page_scale_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

. "$(dirname "$0")/pymupdf_common.sh" page_scale_bench "$@"
out=$("$bench" "$work/lines.pdf" "$runs")
echo "$out" | grep -v '^rescale_ms='
ours=$(echo "$out" | sed -n 's/^rescale_ms=//p')
theirs=$("$python" "$here/pymupdf_line_rescale.py" "$work/lines.pdf" "$runs" 2>/dev/null | grep -E "^[0-9.]+$" | tail -n 1)
"$python" - "$ours" "$theirs" <<'PY'
import sys
ours, theirs = float(sys.argv[1]), float(sys.argv[2])
print(f"new scale, 1,000 measurements (ms): {ours:8.3f}")
print(f"PyMuPDF, 1,000 line updates (ms):   {theirs:8.3f}")
print(f"ours / PyMuPDF:                     {ours / theirs:8.3f}")
PY
