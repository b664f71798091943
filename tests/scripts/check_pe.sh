#!/usr/bin/env bash
# scripts/check-pe.sh catches what it is there for, on both Windows builds: each skiff.exe passes as what it is
# built for and fails as the other, and the test driver (test-only, never shipped) fails for the Windows 7
# function it imports, K32EnumProcessModules. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "check-pe test: FAILED: $*"; exit 1; }

# program | processor | exit code | a line of the output
cases=(
  "build/win32/skiff.exe|i686|0|build/win32/skiff.exe is a PE32 GUI executable for i386 that Windows XP accepts"
  "build/win64/skiff.exe|x86_64|0|build/win64/skiff.exe is a PE32+ GUI executable for x86-64 that Windows XP accepts"
  "build/win64/skiff.exe|i686|1|build/win64/skiff.exe: not a PE32 (pei-i386)"
  "build/win32/skiff.exe|x86_64|1|build/win32/skiff.exe: not a PE32+ (pei-x86-64)"
  "build/win32/gui_driver.exe|i686|1|kernel32!K32EnumProcessModules (Windows 7)"
  "build/win64/gui_driver.exe|x86_64|1|kernel32!K32EnumProcessModules (Windows 7)"
)
for row in "${cases[@]}"; do
  IFS='|' read -r program machine want_rc want_line <<<"$row"
  [ -f "$program" ] || fail "$program was not built"
  out=$(bash scripts/check-pe.sh "$program" "$machine" 2>&1); rc=$?
  [ $rc = "$want_rc" ] || fail "$program as $machine: exit code $rc, not $want_rc: $out"
  grep -qF -- "$want_line" <<<"$out" || fail "$program as $machine: no '$want_line' in: $out"
done
echo "check-pe test: ${#cases[@]} cases passed"
