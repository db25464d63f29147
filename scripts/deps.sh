#!/usr/bin/env bash
# Installs the Debian packages the project needs when any is missing.
set -euo pipefail

packages=(
  g++ make cmake ninja-build ccache pkg-config binutils python3
  libqpdf-dev qpdf libpugixml-dev zlib1g-dev libfreetype-dev fonts-urw-base35 fonts-dejavu-core fonts-droid-fallback libharfbuzz-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  poppler-utils mupdf-tools locales-all openssl libmimalloc-dev
)
[ "${1:-}" = "--bench" ] && packages+=(python3-fitz hyperfine)
# Debian's clang 19 (the newest Debian ships) and the compiler-rt package that carries its libFuzzer.
[ "${1:-}" = "--fuzz" ] && packages+=(clang-19 libclang-rt-19-dev)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

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
