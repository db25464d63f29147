#!/usr/bin/env bash
# Peak memory and time of two large jobs, each beside PyMuPDF doing the
# same in the same run:
#   - `annot regenerate` of 200,000 notes without appearances (10,000
#     pages, about 25 MB) against PyMuPDF's update() of every annotation
#     and save (pymupdf_regen.py of the shared benchmark scripts);
#   - `annot xfdf import` of 100,000 squares into 1,000 empty pages against
#     PyMuPDF adding the same squares with their appearances
#     (pymupdf_add_annots.py).
# Peak memory is the largest resident set (/usr/bin/time's %M); the target
# for both annot jobs is below 600 MB.
#
#   bench/big_memory_vs_pymupdf.sh [BUILD_DIR] [PEERS_DIR]
# PEERS_DIR holds the shared peer scripts (default ../shared/bench beside
# the checkout, else /work/shared/bench); without them only annot runs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
peers=${2:-}
if [ -z "$peers" ]; then
  for d in "$here/../../shared/bench" /work/shared/bench; do
    [ -f "$d/pymupdf_regen.py" ] && { peers=$(cd "$d" && pwd); break; }
  done
fi
annot="$build/bin/annot"
[ -x "$annot" ] || { echo "bench: $annot is missing; build the annot target" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian's time package)" >&2; exit 1; }
python=""
for p in /usr/bin/python3 python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || echo "bench: PyMuPDF is missing ('bash scripts/deps.sh --bench'); annot runs alone" >&2
[ -n "$peers" ] || echo "bench: the shared peer scripts are missing; annot runs alone" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_big_inputs.py" notes "$work/notes.pdf" 200000 10000
python3 "$here/make_big_inputs.py" squares "$work/squares.pdf" "$work/squares.xfdf" 100000 1000 "$work/squares.spec"

# "<seconds> <peak MB>" of one run of a command.
peak() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || {
    echo "bench: '$*' failed:" >&2
    cat "$work/err" >&2
    echo "failed -"
    return
  }
  awk '{ printf "%s %.0f\n", $1, $2 / 1024 }' "$work/time"
}

row() {  # job, tool, "seconds MB"
  read -r seconds mb <<<"$3"
  printf "%-32s %-22s %9s s %8s MB\n" "$1" "$2" "$seconds" "$mb"
}

echo "peak resident memory, one run each (target for annot: below 600 MB)"
row "regenerate 200,000 notes" "annot" "$(peak "$annot" regenerate "$work/notes.pdf" -o "$work/annot_notes.pdf")"
if [ -n "$python" ] && [ -n "$peers" ]; then
  row "" "PyMuPDF update+save" "$(peak "$python" "$peers/pymupdf_regen.py" "$work/notes.pdf" "$work/mupdf_notes.pdf")"
fi
row "xfdf import 100,000 squares" "annot" \
  "$(peak "$annot" xfdf import "$work/squares.pdf" "$work/squares.xfdf" -o "$work/annot_squares.pdf")"
if [ -n "$python" ] && [ -n "$peers" ]; then
  row "" "PyMuPDF add+save" \
    "$(peak "$python" "$peers/pymupdf_add_annots.py" "$work/squares.pdf" "$work/squares.spec" "$work/mupdf_squares.pdf")"
fi
for f in annot_notes annot_squares; do
  [ -f "$work/$f.pdf" ] && { qpdf --check "$work/$f.pdf" >/dev/null || echo "bench: qpdf --check rejects $f.pdf" >&2; }
done
exit 0
