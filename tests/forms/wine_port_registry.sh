#!/bin/bash
# Runs the Win32 registry check under Wine in a private prefix, made once in WORK_DIR.
#
# usage: wine_port_registry.sh CHECK_EXE WORK_DIR
set -u
check=$1 work=$2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"

template=$work/wine-template
(
  flock 9
  if [ ! -f "$template/system.reg" ]; then
    rm -rf "$template"
    WINEPREFIX=$template wineboot -i >"$work/wineboot.log" 2>&1 || exit 1
    WINEPREFIX=$template wineserver -w >>"$work/wineboot.log" 2>&1
  fi
) 9>"$work/wine-template.lock" || { echo "FAIL: could not make the Wine prefix (see $work/wineboot.log)" >&2; exit 1; }

prefix=$(mktemp -d "$work/run.XXXXXX")
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT
cp -a "$template/." "$prefix/" || { echo "FAIL: could not copy the Wine prefix" >&2; exit 1; }

WINEPREFIX=$prefix timeout 60 wine "$check"
