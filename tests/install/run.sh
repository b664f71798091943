#!/usr/bin/env bash
# Checks Skiff as a user gets it: `cmake --install` into a temporary prefix, the man pages, the bash
# completion, the Debian package, and the version resource of skiff.exe against `skiff --version`.
# Usage: tests/install/run.sh [NATIVE_BUILD [SKIFF_EXE]]   (defaults: build/native, build/win32/skiff.exe;
# without SKIFF_EXE the version resource is checked only when that skiff.exe is there)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/native}" && pwd) || exit 2
skiff_exe=${2:-$here/../../build/win32/skiff.exe}
exe_named=${2:+1}
source "$here/lib.sh"

cmake --build "$build" -j 2 --target skiff newton-sim skiff_man_pages skiff_completion >/dev/null || exit 2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt"; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

# What an install holds, below its prefix.
installed_files=(
  bin/newton-sim
  bin/skiff
  share/bash-completion/completions/skiff
  share/doc/skiff/README.md
  share/man/man1/newton-sim.1.gz
  share/man/man1/skiff.1.gz
)
commands=(listen send install)

source "$here/installed_files.sh"
source "$here/completion.sh"
source "$here/debian_package.sh"
if [ -f "$skiff_exe" ]; then
  source "$here/windows_version.sh"
elif [ -n "$exe_named" ]; then
  fail "skiff.exe's version resource" "no $skiff_exe"
else
  echo "skip  skiff.exe's version resource: no $skiff_exe"
fi

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
