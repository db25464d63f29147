#!/usr/bin/env bash
# The headline figures, on the shared reference inputs and with the shared
# peer scripts, each job beside its peer in the same run:
#   - `annot regenerate annotated_10000.pdf` against pymupdf_regen.py and
#     against a plain `qpdf in out` rewrite (time), and against PyMuPDF's
#     peak resident memory;
#   - one square saved over the 2,000-page drawing set, run after run on the
#     same file: `annot xfdf import x.pdf one.xfdf -o x.pdf` against
#     pymupdf_add_one_incr.py on its own copy.
# The inputs are made afresh with the shared generators in a temporary
# folder; nothing of the shared folder is copied into the repository.
#
#   bench/reference_vs_peers.sh [BUILD_DIR] [RUNS] [SHARED_BENCH_DIR]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
shared=${3:-}
if [ -z "$shared" ]; then
  for d in "$here/../../shared/bench" /work/shared/bench; do
    [ -f "$d/gen_inputs.py" ] && { shared=$(cd "$d" && pwd); break; }
  done
fi
[ -n "$shared" ] || { echo "bench: the shared reference inputs (../shared/bench) are missing" >&2; exit 1; }
annot="$build/bin/annot"
[ -x "$annot" ] || { echo "bench: $annot is missing; build the annot target" >&2; exit 1; }
python=/usr/bin/python3
"$python" -c "import fitz" 2>/dev/null || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "bench: hyperfine is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }
command -v qpdf >/dev/null || { echo "bench: qpdf is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" "$shared/gen_inputs.py" "$work" >/dev/null
"$python" "$shared/gen_bigset.py" "$work/bigset.pdf" 2000 >/dev/null
in="$work/annotated_10000.pdf"

cmd_annot="'$annot' regenerate '$in' -o '$work/annot.pdf'"
cmd_mupdf="'$python' '$shared/pymupdf_regen.py' '$in' '$work/mupdf.pdf'"
cmd_qpdf="qpdf '$in' '$work/qpdf.pdf'"
hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/regen.json" \
  "$cmd_annot" "$cmd_mupdf" "$cmd_qpdf" >/dev/null 2>&1
qpdf --check "$work/annot.pdf" >/dev/null || { echo "bench: qpdf --check rejects the regenerated file" >&2; exit 1; }

# Peak resident memory, the median of three runs each.
peak() {
  local values=()
  for _ in 1 2 3; do
    /usr/bin/time -f "%M" -o "$work/mem" bash -c "$1" >/dev/null 2>&1
    values+=("$(cat "$work/mem")")
  done
  printf "%s\n" "${values[@]}" | sort -n | sed -n 2p
}
mem_annot=$(peak "$cmd_annot")
mem_mupdf=$(peak "$cmd_mupdf")

# One square, saved over the same file again and again.
cat >"$work/one.xfdf" <<'XFDF'
<?xml version="1.0" encoding="UTF-8"?>
<xfdf xmlns="http://ns.adobe.com/xfdf/"><annots>
<square page="0" rect="100,100,200,150" color="#FF0000" width="2"/>
</annots></xfdf>
XFDF
cp "$work/bigset.pdf" "$work/x.pdf"
cp "$work/bigset.pdf" "$work/y.pdf"
cmd_one="'$annot' xfdf import '$work/x.pdf' '$work/one.xfdf' -o '$work/x.pdf'"
cmd_one_mupdf="'$python' '$shared/pymupdf_add_one_incr.py' '$work/y.pdf'"
hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/one.json" "$cmd_one" "$cmd_one_mupdf" \
  >/dev/null 2>&1
qpdf --check "$work/x.pdf" >/dev/null || { echo "bench: qpdf --check rejects the updated set" >&2; exit 1; }
/usr/bin/time -f "%M" -o "$work/mem" bash -c "$cmd_one" >/dev/null 2>&1
mem_one=$(cat "$work/mem")
/usr/bin/time -f "%M" -o "$work/mem" bash -c "$cmd_one_mupdf" >/dev/null 2>&1
mem_one_mupdf=$(cat "$work/mem")

"$python" - "$work/regen.json" "$work/one.json" "$mem_annot" "$mem_mupdf" "$mem_one" "$mem_one_mupdf" "$runs" <<'PY'
import json, sys
regen = [r["mean"] for r in json.load(open(sys.argv[1]))["results"]]
one = [r["mean"] for r in json.load(open(sys.argv[2]))["results"]]
mem_annot, mem_mupdf, mem_one, mem_one_mupdf = (int(v) / 1024 for v in sys.argv[3:7])
runs = sys.argv[7]
annot, mupdf, qpdf = regen
print(f"reference inputs; mean of {runs} runs each, side by side")
print(f"{'job':44} {'annot':>9} {'peer':>9} {'ratio':>6}  target")
print(f"{'regenerate annotated_10000 vs PyMuPDF':44} {annot:8.3f}s {mupdf:8.3f}s {annot / mupdf:6.2f}  <= 0.8")
print(f"{'regenerate annotated_10000 vs qpdf rewrite':44} {annot:8.3f}s {qpdf:8.3f}s {annot / qpdf:6.2f}  <= 1.0")
print(f"{'peak memory of that job vs PyMuPDF':44} {mem_annot:7.0f}MB {mem_mupdf:7.0f}MB {mem_annot / mem_mupdf:6.2f}  <= 1.0")
print(f"{'one square over the 2,000-page set':44} {one[0]:8.3f}s {one[1]:8.3f}s {one[0] / one[1]:6.2f}  <= 0.05")
print(f"{'peak memory of the one-square save':44} {mem_one:7.0f}MB {mem_one_mupdf:7.0f}MB {mem_one / mem_one_mupdf:6.2f}")
PY
