#!/usr/bin/env bash
# Checks that a built program is a GUI executable for its processor that needs no DLL beside it and that
# Windows XP's loader accepts: its header asks for no Windows later than XP (5.1; 5.2 for a 64-bit program,
# the first 64-bit XP), and it imports no function that XP's system DLLs lack (scripts/after-xp-imports.txt,
# with where each entry comes from).
# Usage: scripts/check-pe.sh PROGRAM.exe [i686|x86_64]   (the processor it is built for; i686 by default)
# Prints every problem it finds; exits 1 when there is any.
set -uo pipefail
exe=$1
machine=${2:-i686}
here=$(cd "$(dirname "$0")" && pwd)
case $machine in
  i686) format=pei-i386; kind="PE32 GUI executable for i386"; latest=501 ;;
  x86_64) format=pei-x86-64; kind="PE32+ GUI executable for x86-64"; latest=502 ;;
  *) echo "check-pe: unknown processor $machine (i686 or x86_64)"; exit 2 ;;
esac
[ -f "$exe" ] || { echo "check-pe: $exe was not built"; exit 1; }
objdump=$(command -v "$machine-w64-mingw32-objdump") || { echo "check-pe: $machine-w64-mingw32-objdump is missing"; exit 1; }
# The rest reads fields that only mean something in the expected format.
header=$($objdump -f "$exe" 2>&1)
if ! grep -q "file format $format\$" <<<"$header"; then
  echo "check-pe: $exe: not a ${kind%% *} ($format): $(grep -o 'file format.*' <<<"$header" || echo "$header")"
  exit 1
fi
problems=()
private=$($objdump -p "$exe")
field() { awk -v name="$1" '$1 == name {print $2; exit}' <<<"$private"; }

subsystem=$(field Subsystem)
[ "$subsystem" = 00000002 ] || problems+=("not a GUI program (subsystem $subsystem)")
# XP is Windows 5.1: its loader refuses an image that asks for a later operating system or subsystem.
for pair in OSystemVersion SubsystemVersion; do
  major=$(field "Major$pair"); minor=$(field "Minor$pair")
  if [ -z "$major" ] || [ $((major * 100 + minor)) -gt $latest ]; then
    problems+=("Major$pair.Minor$pair is ${major:-?}.${minor:-?}, later than XP's $((latest / 100)).$((latest % 100))")
  fi
done

# Every imported DLL must be part of Windows XP itself.
allowed='^(kernel32|user32|gdi32|comdlg32|advapi32|msvcrt|shell32|ole32|comctl32|winmm|ws2_32)\.dll$'
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$private")
bad=$(grep -v -E "$allowed" <<<"$dlls" || true)
[ -z "$bad" ] || problems+=("needs DLLs that Windows XP does not have: $(echo $bad)")

# Every imported function, as "dll function", against the list of functions XP lacks.
imports=$(awk '/DLL Name:/ {dll = tolower($3); sub(/\.dll$/, "", dll); next}
               /^$/ {dll = ""}
               dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 {print dll, $3}' <<<"$private")
[ -n "$imports" ] || problems+=("no imports found: cannot check them")
late=$(awk 'NR == FNR { if ($0 !~ /^#/ && NF >= 2) { first[$1 " " $2] = $3 " " $4 " " $5 " " $6 }; next }
            ($1 " " $2) in first {printf "%s!%s (Windows %s)\n", $1, $2, first[$1 " " $2]}' \
          "$here/after-xp-imports.txt" - <<<"$imports" | sed 's/ *)$/)/')
[ -z "$late" ] || problems+=("imports functions that Windows XP does not have: $(echo $late)")

if [ ${#problems[@]} -gt 0 ]; then
  for problem in "${problems[@]}"; do echo "check-pe: $exe: $problem"; done
  exit 1
fi
count=$(wc -l <<<"$imports")
echo "check-pe: $exe is a $kind that Windows XP accepts ($count imports from system DLLs)"
