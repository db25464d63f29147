#!/usr/bin/env bash
# Installs the Debian packages the project needs when any is missing.
set -euo pipefail

packages=(
  g++ make cmake ninja-build ccache pkg-config binutils python3
  libqpdf-dev qpdf libpugixml-dev zlib1g-dev libfreetype-dev fonts-urw-base35 fonts-dejavu-core fonts-droid-fallback libharfbuzz-dev
  libfontconfig-dev libfribidi-dev libpoppler-cpp-dev fonts-noto-core fonts-nanum
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  poppler-utils mupdf-tools locales-all openssl libmimalloc-dev libboost-dev
  libcpp-httplib-dev libssl-dev libbrotli-dev chromium
)
# annot serve's page takes pdf.js from npm; Debian's npm where the machine has none.
command -v npm >/dev/null 2>&1 || packages+=(npm)
[ "${1:-}" = "--bench" ] && packages+=(python3-fitz hyperfine)
# Debian's clang 19 (the newest Debian ships) and the compiler-rt package that carries its libFuzzer.
[ "${1:-}" = "--fuzz" ] && packages+=(clang-19 libclang-rt-19-dev)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

# pdf.js for annot serve's page and playwright-core for its browser tests,
# as package-lock.json pins them; the build copies pdf.js into build/web.
npm_ci() {
  local root
  root="$(cd "$(dirname "$0")/.." && pwd)"
  if [ ! -f "$root/node_modules/.package-lock.json" ] || [ "$root/package-lock.json" -nt "$root/node_modules/.package-lock.json" ]; then
    echo "deps: npm ci"
    (cd "$root" && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  npm_ci
  exit 0
fi

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "deps: these Debian packages are missing: ${missing[*]}" >&2
    echo "deps: run 'make deps' as root (or install them with apt-get) and try again" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
npm_ci
