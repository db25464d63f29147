#!/usr/bin/env bash
# The browser tests of annot serve: headless Debian Chromium driven by
# playwright-core (npm ci). Skipped, with the reason, when either is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export ANNOT_BUILD_DIR="${ANNOT_BUILD_DIR:-$root/build}"
chromium="${ANNOT_CHROMIUM:-/usr/bin/chromium}"
if [ ! -x "$chromium" ]; then
  echo "browser tests skipped: no Chromium at $chromium (scripts/deps.sh installs Debian's chromium)"
  exit 77
fi
if [ ! -d "$root/node_modules/playwright-core" ] || ! command -v node >/dev/null 2>&1; then
  echo "browser tests skipped: node or playwright-core is missing (scripts/deps.sh runs npm ci)"
  exit 77
fi
if [ ! -f "$ANNOT_BUILD_DIR/web/pdfjs/pdf.min.mjs" ]; then
  echo "browser tests skipped: the build has no pdf.js in $ANNOT_BUILD_DIR/web (run npm ci, then build)"
  exit 77
fi
cd "$root"
# A test that hangs (a dialog nobody answers) fails after three minutes
# instead of holding up the run.
exec node --test --test-concurrency=1 --test-timeout=180000 tests/browser/
