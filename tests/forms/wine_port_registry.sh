#!/bin/bash
# Runs the Win32 registry check under Wine in a private prefix, a copy of the Wine harness's template.
#
# usage: wine_port_registry.sh CHECK_EXE WORK_DIR HARNESS_PY
set -u
check=$1 work=$2 harness=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"

prefix=$(mktemp -d "$work/run.XXXXXX")
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
rmdir "$prefix"
python3 "$harness" --copy-prefix "$prefix" || { echo "FAIL: could not make the Wine prefix" >&2; exit 1; }

WINEPREFIX=$prefix timeout 60 wine "$check"
