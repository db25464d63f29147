#!/usr/bin/env bash
# Checks annot against real PDF and XFDF files written by other programs.
#
#   scripts/corpus_check.sh [--annot PATH] [-j N] [--work DIR] [--worst N] CORPUS_DIR
#
# Every *.pdf and *.xfdf under CORPUS_DIR is checked: a PDF with
# `annot regenerate`, `annot regenerate --missing-only` and an XFDF round trip,
# an XFDF file by importing it, exporting it again and importing the export.
# Each annotation is drawn before and after by MuPDF and poppler (only the
# pages with annotations, at CORPUS_DPI, 72 by default) and its box compared,
# with its words per `pdftotext -bbox`. Prints per check and kind how many
# files kept every annotation of that kind, changed one, or failed (a command
# failed or crashed, or `qpdf --check` failed on its output), then the worst
# examples. The build under test is --annot, else $ANNOT, else build/bin/annot.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
annot="${ANNOT:-$root/build/bin/annot}"
jobs=2
work=""
worst=25
while [ $# -gt 0 ]; do
  case "$1" in
    --annot) annot="$2"; shift 2 ;;
    -j) jobs="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --worst) worst="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "corpus_check: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: scripts/corpus_check.sh [--annot PATH] [-j N] [--work DIR] [--worst N] CORPUS_DIR" >&2
  exit 2
fi
corpus="$1"
annot="$(cd "$(dirname "$annot")" && pwd)/$(basename "$annot")"
[ -x "$annot" ] || { echo "corpus_check: no annot at $annot (give --annot or ANNOT)" >&2; exit 2; }
for tool in mutool pdftoppm pdftotext qpdf python3; do
  command -v "$tool" >/dev/null || { echo "corpus_check: $tool is missing (scripts/deps.sh installs it)" >&2; exit 2; }
done

if [ -z "$work" ]; then
  work="$(mktemp -d -t corpus-check.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
else
  mkdir -p "$work"
  rm -f "$work"/*.json
fi

count=$(find "$corpus" -type f \( -iname '*.pdf' -o -iname '*.xfdf' \) -not -path '*/.*' | wc -l)
echo "corpus_check: $count files under $corpus with $annot, $jobs at a time" >&2
start=$(date +%s)
find "$corpus" -type f \( -iname '*.pdf' -o -iname '*.xfdf' \) -not -path '*/.*' -print0 | sort -z |
  xargs -0 -P "$jobs" -n 1 python3 "$root/scripts/corpus_check.py" file "$work" "$annot"
echo "corpus_check: done in $(( $(date +%s) - start )) s" >&2
python3 "$root/scripts/corpus_check.py" report "$work" --worst "$worst"
