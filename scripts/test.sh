#!/usr/bin/env bash
# Builds everything and passes every test: native unit and end-to-end tests, the same under address and
# undefined-behaviour sanitizers, a bounded fuzzing run, the 32-bit Windows build, the installed files and the
# Debian package, and the Windows program's tests under Wine.
# Installs what it needs first. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

stage() { printf '\n=== %s ===\n' "$*"; }

stage "Installing what the build needs"
bash scripts/install-deps.sh all

stage "Native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

stage "Sanitizers: unit and end-to-end tests under address and undefined-behaviour sanitizers"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j "$jobs"

if ls tests/fuzz/*.cpp >/dev/null 2>&1; then
  stage "Fuzzing the decoders for a bounded time"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  bash scripts/fuzz.sh "${SKIFF_FUZZ_SECONDS:-30}"
fi

stage "32-bit Windows build"
cmake --preset win32 >/dev/null || cmake --preset win32 --fresh >/dev/null  # a folder set up for another compiler
cmake --build --preset win32 -j "$jobs"
bash scripts/check-pe.sh build/win32/skiff.exe
# The check must catch what it is there for: the test driver (test-only, never shipped) imports
# K32EnumProcessModules, a Windows 7 function.
pe_check=$(bash scripts/check-pe.sh build/win32/gui_driver.exe) && pe_passed=1 || pe_passed=0
if [ $pe_passed = 1 ] || ! grep -q 'K32EnumProcessModules' <<<"$pe_check"; then
  echo "check-pe did not report the test driver's Windows 7 import: $pe_check"; exit 1
fi

stage "Installed files: cmake --install, man pages, bash completion, the Debian package, skiff.exe's version"
bash tests/install/run.sh build/native build/win32/skiff.exe

if [ -f scripts/wine-tests.sh ]; then
  stage "Windows program under Wine and Xvfb"
  bash scripts/wine-tests.sh
fi

stage "All stages passed"
