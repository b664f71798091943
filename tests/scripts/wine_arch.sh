#!/usr/bin/env bash
# Which Wine and which build the Windows tests take (scripts/wine-arch.sh, scripts/wine-env.sh), and that a Wine
# that cannot run fails the Wine tests with the reason instead of skipping them. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
top=$(pwd)
source scripts/wine-arch.sh
fail() { echo "wine-arch test: FAILED: $*"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-wine-arch-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The probe tells a program the kernel refuses from one it runs: the same program for a processor no kernel has
# is refused, and the i386 one runs exactly where the system's own i386 loader runs.
_i386_program '\xef\xbe' >"$work/unknown"
_run_probe "$work/unknown" && fail "a program for an unknown processor ran: $RUNS_I386_WHY"
runs_i386; probe=$?
if [ -e /lib/ld-linux.so.2 ]; then
  /lib/ld-linux.so.2 --version >/dev/null 2>&1; loader=$?
  [ $((probe == 0)) = $((loader == 0)) ] || fail "the probe says '$RUNS_I386_WHY', /lib/ld-linux.so.2 ended with $loader"
fi
echo "wine-arch test: the probe says: $RUNS_I386_WHY${loader:+ (as /lib/ld-linux.so.2 does)}"

# SKIFF_WINE_ARCH | whether this machine runs 32-bit programs | the choice, its exit code and its reason
cases=(
  "|no|64|0|this machine cannot run 32-bit programs (Exec format error)"
  "64|yes|64|0|SKIFF_WINE_ARCH=64 asks for it"
  "32|no|32|1|SKIFF_WINE_ARCH=32 asks for 32-bit Wine, but this machine cannot run 32-bit programs (Exec format error)"
)
for row in "${cases[@]}"; do
  IFS='|' read -r forced runs want <<<"$row"
  got=$(runs_i386() { RUNS_I386_WHY="this machine cannot run 32-bit programs (Exec format error)"; [ "$runs" = yes ]; }
        SKIFF_WINE_ARCH=$forced; wine_arch_choose; echo "$SKIFF_WINE_ARCH|$?|$SKIFF_WINE_ARCH_WHY")
  [ "$got" = "$want" ] || fail "SKIFF_WINE_ARCH='$forced', 32-bit programs run: $runs: '$got', not '$want'"
done

# Each Wine has its own build, prefix, pictures and loader (Debian's plain `wine` is the 32-bit one whenever that
# is installed, and a 32-bit prefix does not take 64-bit programs).
for want in "32|build/win32|build/wineprefix|build/artefacts|/usr/lib/wine/wine" \
            "64|build/win64|build/wineprefix64|build/artefacts-win64|/usr/lib/wine/wine64"; do
  got=$(unset SKIFF_WIN32_BIN WINEPREFIX SKIFF_ARTEFACTS; SKIFF_WINE_ARCH=${want%%|*}; source scripts/wine-env.sh
        echo "$SKIFF_WINE_ARCH|${SKIFF_WIN32_BIN#"$top"/}|${WINEPREFIX#"$top"/}|${SKIFF_ARTEFACTS#"$top"/}|$WINELOADER")
  [ "$got" = "$want" ] || fail "arch, build, prefix, pictures, loader are '$got', not '$want'"
done
echo "wine-arch test: ${#cases[@]} forced and refused choices, and each Wine's own folders, passed"

# The Wine tests say which build they take and why; a Wine that cannot be had, or a build that is missing, fails
# them with the reason before anything starts.
SKIFF_WINE_ARCH="" && wine_arch_choose
mkdir "$work/empty"
# SKIFF_WINE_ARCH | SKIFF_WIN32_BIN | the whole output
cases=(
  "16||wine: cannot run the Windows program's tests: SKIFF_WINE_ARCH is '16'; it can be 32, 64 or unset"
  "|$work/empty|wine: the tests run on $work/empty/skiff.exe under $SKIFF_WINE_ARCH-bit Wine: $SKIFF_WINE_ARCH_WHY
wine: $work/empty/skiff.exe is not built (cmake --preset win$SKIFF_WINE_ARCH && cmake --build --preset win$SKIFF_WINE_ARCH)"
)
for row in "${cases[@]}"; do
  IFS='|' read -r -d '' forced bin want <<<"$row"
  want=${want%$'\n'}
  out=$(SKIFF_WINE_ARCH=$forced SKIFF_WIN32_BIN=$bin bash scripts/wine-tests.sh 2>&1); rc=$?
  [ $rc = 1 ] && [ "$out" = "$want" ] || fail "wine-tests.sh with SKIFF_WINE_ARCH='$forced' ended with $rc: '$out', not '$want'"
done
echo "wine-arch test: the Wine tests name their build and why, and fail with the reason where they cannot run"
