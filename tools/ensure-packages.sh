#!/usr/bin/env bash
# Installs the Debian packages a group needs, when any is missing:
#   tools/ensure-packages.sh demo    what ./run-demo needs: the Windows program, the simulated
#                                    unit and its pty shim, Wine and a virtual display
#   tools/ensure-packages.sh [all]   the demo's and what the tests need besides (GoogleTest,
#                                    the sanitizers' clang, the web build and its browser, signing,
#                                    the Debian package and the Windows installer with their checkers)
set -euo pipefail

group=${1:-all}
# The x86-64 cross compiler only: the mingw-w64 bundle would bring the 32-bit one too.
demo=(
  cmake ninja-build g++ make
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth imagemagick
  python3 procps psmisc locales
)
tests=(
  pkg-config mingw-w64
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  emscripten chromium
  openssl osslsigncode
  dpkg-dev lintian wixl msitools
)

case $group in
  demo) packages=("${demo[@]}") ;;
  all) packages=("${demo[@]}" "${tests[@]}") ;;
  *)
    echo "usage: $0 [demo|all]" >&2
    exit 2
    ;;
esac

missing=()
if [ "$group" = all ]; then
  # Node and npm may come from elsewhere than Debian (a newer node with its own npm): any will do.
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
fi
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
if [ "$(id -u)" -ne 0 ]; then
  # A Debian installed with a root password has no sudo: say what to do instead of failing on a missing command.
  if ! command -v sudo >/dev/null; then
    echo "These packages are missing and installing them needs root: run this as root once (su -c '$0 ${group}')," >&2
    echo "or install them yourself: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
