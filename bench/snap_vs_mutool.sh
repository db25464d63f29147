#!/usr/bin/env bash
# Object snapping on a floor plan of about 50,000 path segments: building the
# page's snap index and one snap query (targets 150 ms and 0.5 ms), beside
# `mutool draw` rendering the same page at 72 dpi, in one run.
#
#   bench/snap_vs_mutool.sh [BUILD_DIR] [RUNS] [SEGMENTS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-7}
segments=${3:-50000}
for tool in "$build/bin/snap_bench" "$build/bin/annot"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build the snap_bench and annot targets" >&2; exit 1; }
done
command -v mutool >/dev/null || { echo "bench: mutool is missing; run 'bash scripts/deps.sh'" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/annot" sample floorplan --segments "$segments" -o "$work/plan.pdf"
out=$("$build/bin/snap_bench" "$work/plan.pdf" "$runs")
echo "$out"
build_ms=$(echo "$out" | sed -n 's/^build_ms=//p')
query_ms=$(echo "$out" | sed -n 's/^query_ms=//p')
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  mutool draw -q -r 72 -o "$work/page.png" "$work/plan.pdf" 1 >/dev/null 2>&1
  end=$(date +%s%N)
  times+=("$(( (end - start) / 1000 ))")
done
python3 - "$build_ms" "$query_ms" "${times[@]}" <<'PY'
import sys
build, query = float(sys.argv[1]), float(sys.argv[2])
mutool = sorted(int(t) / 1000.0 for t in sys.argv[3:])[len(sys.argv[3:]) // 2]
print(f"mutool draw (ms):         {mutool:9.3f}")
print(f"index build / mutool:     {build / mutool:9.3f}")
print(f"build within 150 ms:      {'yes' if build <= 150 else 'NO'}")
print(f"query within 0.5 ms:      {'yes' if query <= 0.5 else 'NO'}")
PY
