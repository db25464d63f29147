#!/usr/bin/env bash
# A new scale on a page of 1,000 distance measurements (viewport 0, then
# every measurement re-derived with its appearance), and PyMuPDF updating
# the contents and appearance of the same 1,000 lines, side by side in one
# run.
#
#   bench/page_scale_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
bench="$build/bin/page_scale_bench"
[ -x "$bench" ] || { echo "bench: $bench is missing; build the page_scale_bench target" >&2; exit 1; }
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
