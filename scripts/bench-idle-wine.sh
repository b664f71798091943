#!/usr/bin/env bash
# Benchmark (not a test): processor time skiff.exe uses while its main window sits idle for ten seconds under
# Wine, read from /proc/<pid>/stat (utime + stime) of the Wine process that runs it, and the Wine server's share.
# Goal: under 1 % of one core. Usage: scripts/bench-idle-wine.sh [SECONDS]   (needs a win32 build)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
seconds=${1:-10}
trap 'skiff_kill; wine_env_stop; rm -rf "$dir"' EXIT
wine_env_start || { echo "bench-idle-wine: Wine did not start"; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/skiff-bench.XXXXXX")
skiff_start "$dir"
gui wait-window 'Skiff|Skiff' 30000 >/dev/null || { echo "bench-idle-wine: no main window"; exit 1; }
skiff_dismiss_splash
tr '\0' ' ' <"/proc/$SKIFF_PID/cmdline" | grep -q 'skiff.exe' || { echo "bench-idle-wine: pid $SKIFF_PID is not skiff.exe"; exit 1; }

ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# This run's Wine server: the one whose environment names this prefix (other runs may have their own).
server=""
for candidate in $(pgrep -x wineserver32) $(pgrep -x wineserver64) $(pgrep -x wineserver); do
  tr '\0' '\n' <"/proc/$candidate/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$candidate
done
hz=$(getconf CLK_TCK)
[ -n "$server" ] || echo "bench-idle-wine: this run's wineserver was not found; its share reads 0"
sleep 1  # past the start-up work
p0=$(ticks "$SKIFF_PID"); s0=$([ -n "$server" ] && ticks "$server" || echo 0); t0=$(date +%s%N)
sleep "$seconds"
p1=$(ticks "$SKIFF_PID"); s1=$([ -n "$server" ] && ticks "$server" || echo 0); t1=$(date +%s%N)
awk -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v hz="$hz" -v ns=$((t1 - t0)) 'BEGIN {
  wall = ns / 1e9
  printf "idle for %.1f s: skiff.exe used %.2f s of processor time (%.1f %% of one core)\n", wall, p / hz, 100 * p / hz / wall
  printf "                 wineserver used %.2f s (%.1f %% of one core)\n", s / hz, 100 * s / hz / wall
}'
