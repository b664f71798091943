#!/usr/bin/env bash
# Checks that a built program is a 32-bit GUI executable for Intel 80386 that needs no DLL beside it.
set -euo pipefail
exe=$1
[ -f "$exe" ] || { echo "check-pe: $exe was not built"; exit 1; }
kind=$(file -b "$exe" 2>/dev/null || true)
objdump=$(command -v i686-w64-mingw32-objdump)
header=$($objdump -f "$exe")
grep -q 'file format pei-i386' <<<"$header" || { echo "check-pe: $exe is not PE32 i386: $header"; exit 1; }
subsystem=$($objdump -p "$exe" | awk '/^Subsystem/ {print $2}')
[ "$subsystem" = 00000002 ] || { echo "check-pe: $exe is not a GUI program (subsystem $subsystem)"; exit 1; }
# Every imported DLL must be part of Windows itself.
allowed='^(kernel32|user32|gdi32|comdlg32|advapi32|msvcrt|shell32|ole32|comctl32|winmm|ws2_32|api-ms-win-.*)\.dll$'
bad=$($objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | grep -v -E "$allowed" || true)
[ -z "$bad" ] || { echo "check-pe: $exe needs DLLs that Windows does not have: $bad"; exit 1; }
echo "check-pe: $exe is a PE32 GUI executable for i386 (${kind:-PE32}); imports only system DLLs"
