#!/usr/bin/env bash
# Runs the Windows-side tests under Wine in one Xvfb display and one Wine prefix: every tests/wine/*.sh is a
# test (exit 0 passes). A test may be retried once when Wine itself failed to start (exit 99), never when an
# assertion failed. Every test has a deadline. Prints which build the tests run on and why, then "N passed, N failed".
# They run on build/win32 under 32-bit Wine where this machine runs 32-bit programs, else on build/win64 under
# 64-bit Wine (scripts/wine-arch.sh; SKIFF_WINE_ARCH=32 or 64 forces one). A Wine that cannot run fails the run.
# Usage: scripts/wine-tests.sh [NAME_PATTERN]   (e.g. gui_ to run only the shell's window tests)
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
pattern=${1:-}
per_test=${SKIFF_WINE_TEST_SECONDS:-300}

trap 'wine_env_stop' EXIT
trap 'exit 130' INT TERM
wine_env_usable || { echo "wine: cannot run the Windows program's tests: $WINE_ENV_PROBLEM"; exit 1; }
build=${SKIFF_WIN32_BIN#"$_wine_env_root"/}
echo "wine: the tests run on $build/skiff.exe under $SKIFF_WINE_ARCH-bit Wine: $SKIFF_WINE_ARCH_WHY"
for program in skiff gui_driver; do
  [ -f "$SKIFF_WIN32_BIN/$program.exe" ] || {
    echo "wine: $build/$program.exe is not built (cmake --preset $_wine_build && cmake --build --preset $_wine_build)"
    exit 1
  }
done
wine_env_start || { echo "wine: the Wine environment did not start"; exit 1; }

passed=0; failed=0; names=()
for t in tests/wine/*.sh; do
  [ -e "$t" ] || continue
  name=$(basename "$t" .sh)
  [ -z "$pattern" ] || [[ $name == *"$pattern"* ]] || continue
  echo "--- wine test: $name"
  timeout -k 10 "$per_test" bash "$t"; rc=$?
  if [ $rc -eq 99 ]; then
    echo "    Wine did not start; retrying once"
    wine_env_restart
    timeout -k 10 "$per_test" bash "$t"; rc=$?
  fi
  if [ $rc -eq 0 ]; then passed=$((passed+1)); echo "    passed"
  else failed=$((failed+1)); names+=("$name"); echo "    FAILED ($rc)"; fi
done
[ $failed -eq 0 ] || echo "failed wine tests: ${names[*]}"
echo "wine: $passed passed, $failed failed"
[ $failed -eq 0 ]
