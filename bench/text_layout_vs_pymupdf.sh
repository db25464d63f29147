#!/usr/bin/env bash
# One text box of 10,000 characters laid out, justified, by the host's text
# layout and by PyMuPDF's insert_textbox, side by side in one run.
#
#   bench/text_layout_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-5}
bench="$build/bin/text_layout_bench"
[ -x "$bench" ] || { echo "bench: $bench is missing; build the text_layout_bench target" >&2; exit 1; }
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Words of 2 to 11 letters, a paragraph end now and then: 10,000 characters.
"$python" - "$work/text.txt" <<'PY'
import random, sys
random.seed(1)
out, n = [], 0
while n < 10000:
    w = "".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 11)))
    sep = "\n" if random.random() < 0.02 else " "
    out.append(w + sep)
    n += len(w) + 1
open(sys.argv[1], "w", encoding="utf-8").write("".join(out)[:10000])
PY
out=$("$bench" "$work/text.txt" "$runs")
echo "$out" | grep -v '^layout_ms='
ours=$(echo "$out" | sed -n 's/^layout_ms=//p')
theirs=$("$python" "$here/pymupdf_textbox.py" "$work/text.txt" "$runs")
"$python" - "$ours" "$theirs" <<'PY'
import sys
ours, theirs = float(sys.argv[1]), float(sys.argv[2])
print(f"PyMuPDF textbox (ms):  {theirs:8.3f}")
print(f"annot / PyMuPDF:       {ours / theirs:8.3f}")
PY
