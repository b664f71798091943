#!/usr/bin/env bash
# The Windows link library under Wine: COM1 mapped to a pseudo-terminal whose other end is the native
# newton-sim (echo). link_wintest.exe connects (states 3, 4, 5), exchanges 64 KiB byte-exact, times out a read
# and disconnects. Exit 0 passed, 99 when Wine itself did not start, anything else failed.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
sim=${SKIFF_NATIVE_BIN:-build/native}/newton-sim
program=$SKIFF_WIN32_BIN/link_wintest.exe
[ -x "$sim" ] || { echo "FAIL: $sim was not built"; exit 1; }
[ -f "$program" ] || { echo "FAIL: $program was not built"; exit 1; }
wine_env_start || exit 99

work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-link-com1.XXXXXX")
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$sim" --log "$work/sim.log" --retransmit-ms 1000 --call-timeout 90000 echo >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
deadline=$((SECONDS + 10))
until [ -s "$work/sim.out" ]; do
  [ $SECONDS -lt $deadline ] && kill -0 "$sim_pid" 2>/dev/null || { echo "FAIL: newton-sim gave no device"; exit 1; }
  sleep 0.05
done
device=$(head -n1 "$work/sim.out")
wine_map_com1 "$device" || exit 99

timeout 120 wine "$program" COM1 38400 65536 >"$work/test.out" 2>"$work/test.err"
rc=$?
cat "$work/test.out"
if ! grep -q "link_wintest: start" "$work/test.out"; then
  echo "link_wintest.exe never ran (rc $rc)"; tail -n 5 "$work/test.err"; exit 99
fi
if [ $rc -ne 0 ]; then
  echo "FAIL: link_wintest.exe exit $rc"; tail -n 20 "$work/sim.log"; exit 1
fi
# The Newton's side saw the desktop's LR, the data and the desktop's LD.
grep -q "rx LR len=24" "$work/sim.log" || { echo "FAIL: no desktop LR in the Newton's log"; exit 1; }
grep -q "rx LD reason=255" "$work/sim.log" || { echo "FAIL: no LD from the desktop"; exit 1; }
exit 0
