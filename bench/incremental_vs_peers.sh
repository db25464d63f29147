#!/usr/bin/env bash
# Adds one square to a 2,000-page, 100 MB drawing set and saves it over
# itself: `annot xfdf import` (an incremental update) against PyMuPDF's
# open + add_rect_annot + saveIncr() on the same file, with a plain `cp` of
# the file as the cost of copying its bytes. Prints the times, the ratio,
# annot's own processor time and both programs' peak memory.
#
#   bench/incremental_vs_peers.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
annot="$build/bin/annot"
maker="$build/bin/make_drawing_set"
for tool in "$annot" "$maker"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build the annot and make_drawing_set targets" >&2; exit 1; }
done
command -v hyperfine >/dev/null || { echo "bench: hyperfine is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }
python=/usr/bin/python3
"$python" -c "import fitz" 2>/dev/null || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" "$work/set.pdf" 2000 100
cat >"$work/square.xfdf" <<'XFDF'
<?xml version="1.0" encoding="UTF-8"?>
<xfdf xmlns="http://ns.adobe.com/xfdf/"><annots>
<square page="0" rect="150,150,250,250" color="#FF0000" width="3" name="bench"/>
</annots></xfdf>
XFDF

cmd_annot="'$annot' xfdf import '$work/in.pdf' '$work/square.xfdf' -o '$work/in.pdf'"
cmd_mupdf="'$python' '$here/pymupdf_add_square.py' '$work/in.pdf'"
cmd_copy="cp '$work/set.pdf' '$work/copy.pdf'"
fresh="cp '$work/set.pdf' '$work/in.pdf'"

hyperfine --style none --warmup 1 --runs "$runs" --prepare "$fresh" --export-json "$work/t.json" \
  "$cmd_annot" "$cmd_mupdf" "$cmd_copy" >/dev/null 2>&1

eval "$fresh"
/usr/bin/time -f "%U %S" -o "$work/cpu" bash -c "$cmd_annot"
qpdf --check "$work/in.pdf" >/dev/null || { echo "bench: qpdf --check rejects the updated file" >&2; exit 1; }
cmp -n "$(stat -c %s "$work/set.pdf")" "$work/set.pdf" "$work/in.pdf" || { echo "bench: the file before the update changed" >&2; exit 1; }
eval "$fresh"
mem_annot=$("$python" "$here/peak_memory.py" bash -c "exec $cmd_annot")
eval "$fresh"
mem_mupdf=$("$python" "$here/peak_memory.py" bash -c "exec $cmd_mupdf")

"$python" - "$work/t.json" "$work/cpu" "$mem_annot" "$mem_mupdf" "$runs" <<'PY'
import json, sys
t = [r["mean"] for r in json.load(open(sys.argv[1]))["results"]]
user, system = (float(x) for x in open(sys.argv[2]).read().split())
annot_mem = [int(x) for x in sys.argv[3].split()]
mupdf_mem = [int(x) for x in sys.argv[4].split()]
annot, mupdf, copy = t
print(f"input: 2000 pages, 100 MB; one square added and saved over the file; mean of {sys.argv[5]} runs")
print(f"annot xfdf import (incremental)     {annot:8.3f} s")
print(f"PyMuPDF open+add+saveIncr           {mupdf:8.3f} s")
print(f"cp of the file                      {copy:8.3f} s")
print(f"annot / PyMuPDF                     {annot / mupdf:8.2f}   (target <= 0.80)")
print(f"annot beyond the copy               {1000 * (annot - copy):8.0f} ms (wall; includes the sync to disk)")
print(f"annot processor time                {1000 * user:8.0f} ms user, {1000 * system:.0f} ms system")
print(f"peak memory annot                   {annot_mem[0] / 1024:8.1f} MB ({annot_mem[1] / 1024:.1f} MB allocated, the rest mapped file pages)")
print(f"peak memory PyMuPDF                 {mupdf_mem[0] / 1024:8.1f} MB ({mupdf_mem[1] / 1024:.1f} MB allocated)")
PY
