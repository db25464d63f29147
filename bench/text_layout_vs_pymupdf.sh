#!/usr/bin/env bash
# One text box of 10,000 characters laid out, justified, by the host's text
# layout and by PyMuPDF's insert_textbox, side by side in one run.
#
#   bench/text_layout_vs_pymupdf.sh [BUILD_DIR] [RUNS]
set -euo pipefail

. "$(dirname "$0")/pymupdf_common.sh" text_layout_bench "$@"
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
