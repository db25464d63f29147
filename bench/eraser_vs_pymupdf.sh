#!/usr/bin/env bash
# The ink eraser on one ink of 100,000 points in 200 strokes with a 60-point
# trail: preview per move, erase at button up and appearance regeneration,
# and PyMuPDF's update() of the same ink, side by side in one run.
#
#   bench/eraser_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
bench="$build/bin/eraser_bench"
[ -x "$bench" ] || { echo "bench: $bench is missing; build the eraser_bench target" >&2; exit 1; }
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
