# Which Wine the Windows program's tests run under, decided the same way for scripts/install-deps.sh and the Wine
# scripts: 32-bit Wine and the shipped 32-bit skiff.exe where this machine runs 32-bit programs, else 64-bit Wine
# and the 64-bit build. Whether it does is found out by running one, not guessed from the kernel or packages.
#
# Sourced: wine_arch_choose sets SKIFF_WINE_ARCH (32 or 64) and SKIFF_WINE_ARCH_WHY (one clause saying why), and
# returns 1 with the reason in SKIFF_WINE_ARCH_WHY when the choice cannot be made. SKIFF_WINE_ARCH=64 in the
# environment forces the 64-bit path, SKIFF_WINE_ARCH=32 the 32-bit one (refused where it cannot run).
# Run as a script it prints the choice: "32: this machine runs 32-bit programs".

# The smallest static i386 program: an ELF header, one loadable segment (the file itself, at 0x08048000) and
# "mov eax, 1; mov ebx, 7; int 0x80", that is exit(7). MACHINE (two bytes, little-endian, as printf escapes) is
# the header's processor, 3 for i386.
_i386_program() {
  local machine=${1:-'\x03\x00'}
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00'"$machine"'\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  printf '\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80'
}

# _run_probe FILE: 0 when FILE ran (exit code 7), 1 when the kernel refused its format, 2 when that could not be
# told (the folder does not allow running programs, say). Sets RUNS_I386_WHY.
_run_probe() {
  local out rc
  chmod +x "$1"
  out=$("$1" 2>&1); rc=$?
  if [ $rc -eq 7 ]; then
    RUNS_I386_WHY="this machine runs 32-bit programs"
    return 0
  fi
  if grep -q 'Exec format error' <<<"$out"; then
    RUNS_I386_WHY="this machine cannot run 32-bit programs (Exec format error)"
    return 1
  fi
  RUNS_I386_WHY="a 32-bit test program ended with $rc: ${out##*: }"
  return 2
}

# An emulator registered for i386 programs (qemu-user through binfmt_misc) runs them, but Wine does not get
# through its start-up under one.
_i386_emulator() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null &&
      grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" && { echo "${entry##*/}"; return 0; }
  done
  return 1
}

# runs_i386: 0 when this machine runs 32-bit programs natively; RUNS_I386_WHY says what was found.
runs_i386() {
  local top dir rc=2 emulator
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  # /tmp may not allow running programs; the checkout's build folder then does.
  for dir in "${TMPDIR:-/tmp}" "$top/build"; do
    mkdir -p "$dir" 2>/dev/null || continue
    local probe
    probe=$(mktemp "$dir/skiff-i386.XXXXXX" 2>/dev/null) || continue
    _i386_program >"$probe"
    _run_probe "$probe"; rc=$?
    rm -f "$probe"
    [ $rc -eq 2 ] || break
  done
  if [ $rc -eq 0 ] && emulator=$(_i386_emulator); then
    RUNS_I386_WHY="this machine runs 32-bit programs only through an emulator (binfmt_misc $emulator)"
    return 1
  fi
  [ $rc -eq 0 ]
}

wine_arch_choose() {
  case ${SKIFF_WINE_ARCH:-} in
    64)
      SKIFF_WINE_ARCH_WHY="SKIFF_WINE_ARCH=64 asks for it" ;;
    32)
      runs_i386 || { SKIFF_WINE_ARCH_WHY="SKIFF_WINE_ARCH=32 asks for 32-bit Wine, but $RUNS_I386_WHY"; return 1; }
      SKIFF_WINE_ARCH_WHY="SKIFF_WINE_ARCH=32 asks for it" ;;
    "")
      if runs_i386; then SKIFF_WINE_ARCH=32; else SKIFF_WINE_ARCH=64; fi
      SKIFF_WINE_ARCH_WHY=$RUNS_I386_WHY ;;
    *)
      SKIFF_WINE_ARCH_WHY="SKIFF_WINE_ARCH is '$SKIFF_WINE_ARCH'; it can be 32, 64 or unset"
      return 1 ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  wine_arch_choose || { echo "wine-arch: $SKIFF_WINE_ARCH_WHY"; exit 1; }
  echo "$SKIFF_WINE_ARCH: $SKIFF_WINE_ARCH_WHY"
fi
