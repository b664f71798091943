#!/usr/bin/env bash
# Skiff's main job on the built-in default: sends sample files to the simulated Newton.
# A to-do note, a picture, a bitmap and a package go from `skiff send` over a pseudo-terminal to newton-sim
# playing the companion application; then the files the simulated Newton stored and its log are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target skiff newton-sim

bin=$top/build/native
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-demo.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

samples=("$top/samples/todo.txt" "$top/samples/harbour.pic" "$top/samples/wave.bmp" "$top/samples/skiff-test.pkg")

echo
echo "== The simulated Newton: the companion application, storing into $work/newton"
"$bin/newton-sim" --log "$work/sim.log" companion --out "$work/newton" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
device=$(head -n 1 "$work/sim.out")
[ -n "$device" ] || { echo "newton-sim did not start"; cat "$work/sim.err"; exit 1; }
echo "   it calls the desktop on $device"

echo
echo "== skiff send --port $device ${samples[*]##*/}"
status=0
(cd "$work" && "$bin/skiff" send --port "$device" "${samples[@]}") || status=$?
for _ in $(seq 300); do
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$sim_pid" || true
sim_pid=

echo
echo "== What the simulated Newton stored"
for f in "${samples[@]}"; do
  name=${f##*/}
  printf '   %-16s %6s bytes on the Newton (%s bytes on disk here)\n' "$name" \
    "$(stat -c %s "$work/newton/$name" 2>/dev/null || echo missing)" "$(stat -c %s "$f")"
done
echo
echo "   the note as the Newton received it (header line first, line ends as CR):"
tr '\r' '\n' <"$work/newton/todo.txt" | sed 's/^/      /'
echo
echo "== The companion's log"
sed 's/^/   /' "$work/newton/companion.log"
if cmp -s <(tail -c +513 "$top/samples/harbour.pic") "$work/newton/harbour.pic" &&
  cmp -s "$top/samples/wave.bmp" "$work/newton/wave.bmp" &&
  cmp -s "$top/samples/skiff-test.pkg" "$work/newton/skiff-test.pkg"; then
  echo
  echo "demo: all four files arrived intact (the picture without its 512-byte file header, as the protocol sends it)"
else
  echo "demo: a stored file differs from what was sent"
  exit 1
fi
exit "$status"
