#!/usr/bin/env bash
# Installs what building and testing Skiff needs on a Debian machine, only when it is missing.
# Usage: scripts/install-deps.sh [native|all]   (native: compiler, CMake, GoogleTest; all: also MinGW, Wine, Xvfb)
# Both MinGW compilers: the shipped skiff.exe is 32-bit, and the same sources are built as a 64-bit program in every
# run. The Wine is the one the Wine tests will run under (scripts/wine-arch.sh): 32-bit Wine where this machine
# runs 32-bit programs, else 64-bit Wine. scripts/apt-install.sh does the installing and copes with a partly
# broken mirror; a package that cannot be had ends this with exit code 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
want=${1:-all}

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd ninja || need+=(ninja-build)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg googletest || need+=(googletest)
have_cmd clang++ || need+=(clang)
have_pkg libclang-rt-14-dev || have_pkg libclang-rt-dev || need+=(libclang-rt-14-dev)
have_cmd script || need+=(bsdutils)
# The command line's backup: SQLite for the archive, Nettle for the dock password's DES.
have_pkg libsqlite3-dev || need+=(libsqlite3-dev)
have_pkg nettle-dev || need+=(nettle-dev)
have_cmd pkg-config || need+=(pkg-config)

if [ "$want" = all ]; then
  # The checks of the installed files (tests/install): man page lint, man, bash-completion, the .deb's tools.
  have_cmd mandoc || need+=(mandoc)
  have_cmd man || need+=(man-db)
  have_cmd groff || need+=(groff-base)
  have_pkg bash-completion || need+=(bash-completion)
  have_cmd dpkg-shlibdeps || need+=(dpkg-dev)
  have_cmd python3 || need+=(python3)
  # The export's tests read its vCard and iCalendar files back with real parsers: Debian's own, for Debian's
  # /usr/bin/python3 (tests/export/check_export.py), whatever python3 comes first on PATH.
  have_pkg python3-vobject || need+=(python3-vobject)
  have_pkg python3-icalendar || need+=(python3-icalendar)
  # The win32 thread model: what cmake/mingw-i686.cmake builds with, so that skiff.exe runs on Windows XP.
  have_cmd i686-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-i686-win32)
  have_cmd i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
  have_cmd x86_64-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-x86-64-win32)
  have_cmd x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
  have_cmd Xvfb || need+=(xvfb)
  have_cmd import || need+=(imagemagick)
  have_pkg fonts-wine || need+=(fonts-wine)
  source "$here/wine-arch.sh"
  wine_arch_choose || { echo "install-deps: $SKIFF_WINE_ARCH_WHY"; exit 1; }
  # 64-bit Wine on every machine: the test of how the 64-bit path starts Wine (tests/scripts/wine_loader.sh) runs
  # everywhere, and strace (or a private mount namespace) watches it.
  have_pkg wine64 || need+=(wine wine64)
  have_cmd strace || need+=(strace)
  if [ "$SKIFF_WINE_ARCH" = 32 ] && ! have_pkg wine32 && ! have_pkg wine32:i386; then
    dpkg --print-foreign-architectures | grep -q i386 || dpkg --add-architecture i386
    need+=(wine wine32:i386)
  fi
fi

[ ${#need[@]} -eq 0 ] || bash "$here/apt-install.sh" "${need[@]}"
