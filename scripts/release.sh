#!/usr/bin/env bash
# Builds a release into one folder: skiff.exe, the Debian package, a tarball of the Linux programs with their
# man pages, completion and README, and SHA256SUMS of the three. Every build folder is made afresh, and the
# installed files are checked (tests/install) before the sums are written.
# Usage: scripts/release.sh [--dirty] [--out DIR]   (default DIR: build/release/skiff-VERSION)
# A tree with uncommitted changes is refused unless --dirty is given.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

dirty=
out=
while [ $# -gt 0 ]; do
  case $1 in
    --dirty) dirty=1 ;;
    --out) out=${2:?release: --out needs a folder}; shift ;;
    --out=*) out=${1#--out=} ;;
    -h | --help) sed -n '5,6s/^# //p' "$0"; exit 0 ;;
    *) echo "release: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "$dirty" ] && [ -n "$(git status --porcelain)" ]; then
  echo "release: the tree has uncommitted changes; commit them first, or give --dirty to build it as it is:" >&2
  git status --short >&2
  exit 1
fi

bash scripts/install-deps.sh all
jobs=$(nproc)
builds=$top/build/release
rm -rf "$builds/native" "$builds/win32" "$builds/work"
mkdir -p "$builds/work"

echo "== Linux programs"
cmake -S . -B "$builds/native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKIFF_TESTS=OFF >/dev/null
cmake --build "$builds/native" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$builds/native/CMakeCache.txt")

echo "== skiff.exe"
cmake -S . -B "$builds/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DSKIFF_TESTS=OFF >/dev/null
cmake --build "$builds/win32" -j "$jobs" --target skiff_exe

echo "== The installed files of this build"
bash tests/install/run.sh "$builds/native" "$builds/win32/skiff.exe"

out=${out:-$builds/skiff-$version}
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
cp "$builds/win32/skiff.exe" "$out/"
(cd "$builds/native" && cpack -G DEB -B "$builds/work/deb" >/dev/null)
cp "$builds/work/deb/"*.deb "$out/"

# The tarball: the installed tree under one folder; owners and times fixed, so it depends on the files alone.
name=skiff-$version-linux-$(uname -m)
cmake --install "$builds/native" --prefix "$builds/work/$name" --strip >/dev/null
stamp=$(git log -1 --format=%ct)
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$stamp" -C "$builds/work" -cf - "$name" |
  gzip -9n >"$out/$name.tar.gz"

(cd "$out" && sha256sum -- * >SHA256SUMS && sha256sum --quiet -c SHA256SUMS)
echo
echo "== Release $version$([ -n "$dirty" ] && echo ' (from a tree with uncommitted changes)') in $out"
ls -l "$out"
cat "$out/SHA256SUMS"
