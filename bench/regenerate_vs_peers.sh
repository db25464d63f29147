#!/usr/bin/env bash
# Times `annot regenerate`, the same job in PyMuPDF and a plain
# `qpdf in.pdf out.pdf` rewrite on one generated input (200 pages, 10,000
# shape annotations at opacity 0.5 that already have appearances), then
# prints the three times and the ratios.
#
#   bench/regenerate_vs_peers.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
annot="$build/bin/annot"
maker="$build/bin/make_bench_input"
for tool in "$annot" "$maker"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build the annot and make_bench_input targets" >&2; exit 1; }
done
command -v qpdf >/dev/null || { echo "bench: qpdf is not installed" >&2; exit 1; }

# A Python that has PyMuPDF (the Debian package goes with the system Python).
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" "$work/raw.pdf"
# The input carries appearances, as a real file does; every tool replaces them.
"$annot" regenerate "$work/raw.pdf" -o "$work/in.pdf" >/dev/null

cmd_annot="'$annot' regenerate '$work/in.pdf' -o '$work/annot.pdf'"
cmd_mupdf="'$python' '$here/pymupdf_update.py' '$work/in.pdf' '$work/mupdf.pdf'"
cmd_qpdf="qpdf '$work/in.pdf' '$work/qpdf.pdf'"

# Mean wall time in seconds of a command over $runs runs after one warm-up.
measure() {
  if command -v hyperfine >/dev/null; then
    hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/t.json" "$1" >/dev/null 2>&1
    "$python" -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][0]['mean'])" "$work/t.json"
  else
    bash -c "$1" >/dev/null 2>&1
    local start end
    start=$(date +%s.%N)
    for _ in $(seq "$runs"); do bash -c "$1" >/dev/null 2>&1; done
    end=$(date +%s.%N)
    "$python" -c "import sys; print((float(sys.argv[2]) - float(sys.argv[1])) / int(sys.argv[3]))" "$start" "$end" "$runs"
  fi
}

t_annot=$(measure "$cmd_annot")
t_mupdf=$(measure "$cmd_mupdf")
t_qpdf=$(measure "$cmd_qpdf")
qpdf --check "$work/annot.pdf" >/dev/null || { echo "bench: qpdf --check rejects the regenerated file" >&2; exit 1; }

"$python" - "$t_annot" "$t_mupdf" "$t_qpdf" "$runs" <<'PY'
import sys
annot, mupdf, qpdf, runs = float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
print(f"input: 200 pages, 10000 annotations; mean of {runs} runs")
print(f"annot regenerate     {annot:8.3f} s")
print(f"PyMuPDF update+save  {mupdf:8.3f} s")
print(f"qpdf rewrite         {qpdf:8.3f} s")
print(f"annot / PyMuPDF      {annot / mupdf:8.2f}   (target <= 0.80)")
print(f"annot / qpdf         {annot / qpdf:8.2f}   (target <= 1.15)")
PY
