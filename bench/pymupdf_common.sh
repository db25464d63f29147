# Sourced by the benchmarks that run PyMuPDF beside one of ours:
#
#   . "$(dirname "$0")/pymupdf_common.sh" TARGET [BUILD_DIR] [RUNS]
#
# sets here (this folder), build, runs (default 5), bench (TARGET's program),
# python (an interpreter that imports PyMuPDF) and work (a scratch folder
# removed on exit), or stops with what is missing.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${2:-$here/../build}" && pwd)
runs=${3:-5}
bench="$build/bin/$1"
[ -x "$bench" ] || { echo "bench: $bench is missing; build the $1 target" >&2; exit 1; }
python=""
for p in python3 /usr/bin/python3; do
  if "$p" -c "import fitz" 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "bench: PyMuPDF is missing; run 'bash scripts/deps.sh --bench'" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
