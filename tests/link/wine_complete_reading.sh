#!/bin/bash
# Runs the Windows reader under Wine against the simulated unit and checks the complete reading byte for byte.
#
# usage: wine_complete_reading.sh READER_EXE SIMUNIT PTYSHIM_SO EXPECTED_FILE WORK_DIR HARNESS_PY
# The unit's pty is COM5 of a private Wine prefix, a copy of the Wine harness's
# template; the shim is preloaded into Wine so that the pty takes 8E1 settings.
set -u
reader=$1 simunit=$2 shim=$3 expected=$4 work=$5 harness=$6
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -f "$reader" ] || fail "no $reader: build the Windows tree first"
run=$(mktemp -d "$work/run.XXXXXX")
prefix=$run/prefix
python3 "$harness" --copy-prefix "$prefix" 2>"$run/prefix.log" || fail "could not make the Wine prefix (see $run/prefix.log)"

simpid=
cleanup() {
  if [ -n "$simpid" ]; then
    kill -TERM "$simpid" 2>/dev/null
    wait "$simpid" 2>/dev/null
  fi
  # Stop the prefix's server and wait for it, so it writes nothing into a removed folder.
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT

"$simunit" --transcript "$run/transcript.txt" --ready-file "$run/ready" >/dev/null &
simpid=$!
for _ in $(seq 100); do
  [ -s "$run/ready" ] && break
  sleep 0.05
done
[ -s "$run/ready" ] || fail "the simulated unit did not start"
ln -s "$(cat "$run/ready")" "$prefix/dosdevices/com5"

WINEPREFIX=$prefix BRAVELLE_PTYSHIM_LOG=$run/shim.log LD_PRELOAD=$shim \
  timeout 60 wine "$reader" --port 5 >"$run/reader.crlf" 2>"$run/wine.err"
status=$?
tr -d "\r" <"$run/reader.crlf" >"$run/reader.out"  # the console writes CR LF

kill -TERM "$simpid"
wait "$simpid"
simpid=

cat "$run/reader.out"
[ "$status" -eq 0 ] || fail "the reader ended with $status (see $run)"
for line in "Connect: 0" "Serial number: 305419896" "Circuit version: 5" "Software version: 1.12" "Release: 0"; do
  grep -qxF "$line" "$run/reader.out" || fail "missing \"$line\" in the reader's output"
done
grep -qF "tcsetattr 9600 8E1 0" "$run/shim.log" || fail "9600 8E1 was never asked for (see $run/shim.log)"
if ! diff <(grep -v '^#' "$expected") <(awk '{print $2 " " $3}' "$run/transcript.txt") >"$run/diff.txt"; then
  cat "$run/diff.txt"
  fail "the bytes on the wire differ from $expected (see $run)"
fi
echo "PASS: the complete reading under Wine is byte for byte the expected one"
trap - EXIT
cleanup
rm -rf "$run"
exit 0
