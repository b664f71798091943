#!/usr/bin/env bash
# The 64-bit Wine path starts 64-bit Wine and never hands over to the 32-bit loader (/usr/lib/wine/wine or
# wine-preloader): on a machine that cannot run 32-bit programs that loader is missing and Wine does not start; on
# one that can, it would quietly run the 32-bit Wine. Runs the project's own start of wineboot (scripts/wine-env.sh,
# SKIFF_WINE_ARCH=64) with a prefix that is a plain file, so that Wine stops at once after its loader is chosen,
# and watches which programs it starts: under strace where the machine lets a process be traced, else with the
# 32-bit loader's files hidden in a private mount namespace. As a control, a link named `wine` to the 64-bit
# loader (what the project once used) must be caught the same way. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "wine-loader test: FAILED: $*"; exit 1; }
[ -x /usr/lib/wine/wine64 ] || fail "64-bit Wine is not installed (/usr/lib/wine/wine64, package wine64)"
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-wine-loader.XXXXXX")
trap 'rm -rf "$work"' EXIT

export SKIFF_WINE_ARCH=64 SKIFF_WINE_STATE="$work/state" WINEPREFIX="$work/not-a-prefix"
source scripts/wine-env.sh
fail() { echo "wine-loader test: FAILED: $*"; exit 1; }  # wine-env.sh has a fail() of its own for the Wine tests
wine_env_programs
touch "$WINEPREFIX"
mkdir "$work/link"
ln -s /usr/lib/wine/wine64 "$work/link/wine"
thirty_two=(/usr/lib/wine/wine /usr/lib/wine/wine-preloader)

# traced WINE OUT: runs `WINE wineboot -i` under strace; 0 when no 32-bit loader was started. 2: cannot trace.
traced() {
  timeout 60 strace -f -qq -e trace=execve -o "$2.trace" "$1" wineboot -i >"$2" 2>&1
  grep -q 'execve(' "$2.trace" 2>/dev/null || return 2  # strace could not trace
  ! grep -qE 'execve\("/usr/lib/wine/wine(-preloader)?"' "$2.trace"
}

# hidden WINE OUT: runs `WINE wineboot -i` with the 32-bit loader's files made unrunnable; 0 when Wine got as far
# as the prefix (so it did not need them). 2: no private mount namespace here.
hidden() {
  timeout 60 unshare -m bash -c '
    empty=$(mktemp); chmod -x "$empty"
    for f in "${@:2}"; do [ -e "$f" ] || continue; mount --bind "$empty" "$f" || exit 97; done
    exec "$1" wineboot -i' hide "$1" "${thirty_two[@]}" >"$2" 2>&1
  local rc=$?
  [ $rc -ne 97 ] && ! grep -q 'unshare:' "$2" || return 2
  grep -q 'cannot use directory' "$2"
}

how=""
for method in traced hidden; do
  command -v "${method/traced/strace}" >/dev/null 2>&1 || [ $method = hidden ] || continue
  $method "$work/state/bin/wine" "$work/own.out"; own=$?
  [ $own -eq 2 ] && continue
  $method "$work/link/wine" "$work/control.out"; control=$?
  [ $control -eq 2 ] && continue
  how=$method
  break
done
case $how in
  traced) what="under strace, no exec of ${thirty_two[*]}" ;;
  hidden) what="with ${thirty_two[*]} hidden (unshare -m), Wine still reached the prefix" ;;
  *) fail "neither strace nor a private mount namespace (unshare -m) can watch Wine start on this machine" ;;
esac
if [ "$own" -ne 0 ]; then
  if [ -L "$work/state/bin/wine" ]; then started="a link to $(readlink "$work/state/bin/wine")"
  else started=$(grep '^exec' "$work/state/bin/wine"); fi
  echo "wine-loader test: the project's start of 64-bit Wine ($started):"
  sed 's/^/    /' "$work/own.out"
  [ ! -f "$work/own.out.trace" ] || grep execve "$work/own.out.trace" | sed 's/^/    /'
  fail "64-bit Wine handed over to the 32-bit loader"
fi
[ "$control" -ne 0 ] || fail "a link named wine was not caught ($how): the check proves nothing here"
echo "wine-loader test: 64-bit Wine starts under its own name ($what); a link named wine is caught"
