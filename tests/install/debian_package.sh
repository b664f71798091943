# The Debian package `cpack -G DEB` makes of the native build: its fields, its files, and a skiff that runs
# out of it. Sourced by run.sh.
arch=$(dpkg --print-architecture)
if ! out=$(cd "$build" && cpack -G DEB -B "$work/deb" 2>&1); then
  fail "cpack -G DEB" "$out"
  return
fi
deb=$work/deb/skiff_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  fail "cpack -G DEB makes skiff_${version}_$arch.deb" "$(ls "$work/deb")"
  return
fi
ok "cpack -G DEB makes skiff_${version}_$arch.deb"

# field | expected value
field_cases=(
  "Package|skiff"
  "Version|$version"
  "Architecture|$arch"
  "Section|comm"
)
for case in "${field_cases[@]}"; do
  same "the package's ${case%%|*}" "$(dpkg-deb -f "$deb" "${case%%|*}")" "${case#*|}"
done
description=$(dpkg-deb -f "$deb" Description)
[ "$(wc -l <<<"$description")" -ge 2 ] && ok "the package has a summary and a description" ||
  fail "the package has a summary and a description" "$description"
# Dependencies are what the build links against: the C and C++ runtimes, and for the backup SQLite (the archive)
# and Nettle (the dock password's DES); nothing else.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/ *(.*//; s/^ *//' | sort | paste -sd' ')
same "the package depends on the C and C++ runtimes, SQLite and Nettle only" "$depends" \
  "libc6 libgcc-s1 libnettle8 libsqlite3-0 libstdc++6"

same "the package's files" "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)" \
  "$(printf './usr/%s\n' "${installed_files[@]}")"

dpkg -x "$deb" "$work/unpacked"
same "skiff --version out of the package" "$("$work/unpacked/usr/bin/skiff" --version 2>&1)" "skiff $version"
same "its man page renders" "$(MANWIDTH=200 man -l "$work/unpacked/usr/share/man/man1/skiff.1.gz" 2>&1 |
  grep -A1 '^NAME' | tail -n 1 | tr -s ' ' | sed 's/^ //')" \
  "skiff - move files from this computer to a Newton handheld over a serial cable"
