#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the demo need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth imagemagick
  python3 procps psmisc locales
  clang libclang-rt-14-dev
  emscripten chromium
)

missing=()
# Node and npm may come from elsewhere than Debian (a newer node with its own npm): any will do.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
