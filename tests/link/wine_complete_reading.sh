#!/bin/bash
# Runs bravelle-cli.exe under Wine against the simulated unit and checks the complete reading byte for byte.
#
# usage: wine_complete_reading.sh CLI_EXE SIMUNIT PTYSHIM_SO EXPECTED_FILE WORK_DIR HARNESS_PY
# The unit's pty is COM5 of a private Wine prefix, a copy of the Wine harness's
# template; the shim is preloaded into Wine so that the pty takes 8E1 settings.
set -u
cli=$1 simunit=$2 shim=$3 expected=$4 work=$5 harness=$6
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -f "$cli" ] || fail "no $cli: build the Windows tree first"
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
  timeout 60 wine "$cli" read --port COM5 --lang en >"$run/cli.crlf" 2>"$run/wine.err"
status=$?
tr -d "\r" <"$run/cli.crlf" >"$run/cli.out"  # the console writes CR LF

kill -TERM "$simpid"
wait "$simpid"
simpid=

cat "$run/cli.out"
[ "$status" -eq 0 ] || fail "bravelle-cli ended with $status (see $run)"
for line in "Port: COM5" "Serial number: 0305419896" "Circuit version: 5" "Software version: 1.12"; do
  grep -qxF "$line" "$run/cli.out" || fail "missing \"$line\" in the output"
done
grep -qF "tcsetattr 9600 8E1 0" "$run/shim.log" || fail "9600 8E1 was never asked for (see $run/shim.log)"
# The command closes the port itself, and Close begins with the release: its
# bytes are the window's reading without the extra releases of the link's destructor.
if ! diff <(sed '/^# The destructor/,$d' "$expected" | grep -v '^#') <(awk '{print $2 " " $3}' "$run/transcript.txt") \
  >"$run/diff.txt"; then
  cat "$run/diff.txt"
  fail "the bytes on the wire differ from $expected (see $run)"
fi
echo "PASS: the complete reading under Wine is byte for byte the expected one"
trap - EXIT
cleanup
rm -rf "$run"
exit 0
