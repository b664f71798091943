#!/usr/bin/env bash
# Runs the Windows-side tests under Wine in one Xvfb display and one Wine prefix: every tests/wine/*.sh is a
# test (exit 0 passes). A test may be retried once when Wine itself failed to start (exit 99), never when an
# assertion failed. Prints "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
wine_env_start

passed=0; failed=0; names=()
for t in tests/wine/*.sh; do
  [ -e "$t" ] || continue
  name=$(basename "$t" .sh)
  echo "--- wine test: $name"
  bash "$t"; rc=$?
  if [ $rc -eq 99 ]; then echo "    Wine did not start; retrying once"; wine_env_restart; bash "$t"; rc=$?; fi
  if [ $rc -eq 0 ]; then passed=$((passed+1)); echo "    passed"; else failed=$((failed+1)); names+=("$name"); echo "    FAILED ($rc)"; fi
done
wine_env_stop
[ $failed -eq 0 ] || echo "failed wine tests: ${names[*]}"
echo "wine: $passed passed, $failed failed"
[ $failed -eq 0 ]
