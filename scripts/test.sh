#!/usr/bin/env bash
# Builds everything and passes every test: the install and test scripts' own checks, native unit and end-to-end
# tests, the same under address and undefined-behaviour sanitizers, a bounded fuzzing run, the 32-bit and 64-bit
# Windows builds, the installed files and the Debian package, and the Windows program's tests under Wine: on the
# 32-bit build where this machine runs 32-bit programs, else on the 64-bit one (scripts/wine-arch.sh;
# SKIFF_WINE_ARCH=32 or 64 forces one).
# Installs what it needs first. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

stage() { printf '\n=== %s ===\n' "$*"; }

stage "Installing what the build needs"
bash scripts/install-deps.sh all

stage "The install and test scripts: a partly broken mirror, the choice of Wine, how 64-bit Wine is started; the layers"
bash tests/scripts/install_deps_broken_mirror.sh
bash tests/scripts/wine_arch.sh
bash tests/scripts/wine_loader.sh
bash tests/scripts/check_layers.sh

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

# Every run builds both, whichever the Wine tests take here, so that a fault only one of them shows fails on every
# machine alike. Each link is followed by scripts/check-pe.sh.
for preset in win32 win64; do
  stage "Windows build: $preset"
  cmake --preset $preset >/dev/null || cmake --preset $preset --fresh >/dev/null  # a folder set up for another compiler
  cmake --build --preset $preset -j "$jobs"
done
bash tests/scripts/check_pe.sh

stage "Installed files: cmake --install, man pages, bash completion, the Debian package, skiff.exe's version"
bash tests/install/run.sh build/native build/win32/skiff.exe

stage "Windows program under Wine and Xvfb"
bash scripts/wine-tests.sh

stage "All stages passed"
