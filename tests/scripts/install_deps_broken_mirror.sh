#!/usr/bin/env bash
# scripts/apt-install.sh (what install-deps.sh installs with) against a mirror like the broken one it is there for,
# in a throw-away apt setup (APT_CONFIG) with its own dpkg database: no network, nothing of this machine's touched,
# no root needed. The local repository's main suite has "skiff-twin" 1.0 for amd64 and i386 (Multi-Arch: same) and
# packages that need it; its security suite has skiff-twin 1.1 for amd64 only, and its i386 Packages file is cut
# short, as on a mirror caught mid-sync, so that `apt-get update` fails. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
top=$(pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-apt-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install-deps test: FAILED: $*"; exit 1; }
native=$(dpkg --print-architecture)

# deb NAME VERSION ARCH [DEPENDS]: a package with nothing in it but its control file, in the pool.
deb() {
  local dir=$work/src/$1_$2_$3
  mkdir -p "$dir/DEBIAN" "$work/repo/pool"
  printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMulti-Arch: same\nMaintainer: Skiff tests <t@skiff.invalid>\n%bDescription: test package\n' \
    "$1" "$2" "$3" "${4:+Depends: $4\n}" >"$dir/DEBIAN/control"
  dpkg-deb --root-owner-group --build "$dir" "$work/repo/pool/$1_$2_$3.deb" >/dev/null || fail "dpkg-deb"
}
# index SUITE ARCH DEB...: the suite's Packages file for ARCH.
index() {
  local out=$work/repo/dists/$1/main/binary-$2/Packages file
  mkdir -p "$(dirname "$out")"
  : >"$out"
  for file in "${@:3}"; do
    { dpkg-deb -f "$work/repo/pool/$file"
      echo "Filename: pool/$file"
      echo "Size: $(stat -c %s "$work/repo/pool/$file")"
      echo "SHA256: $(sha256sum "$work/repo/pool/$file" | cut -d' ' -f1)"
      echo; } >>"$out"
  done
}
# release SUITE LABEL: the suite's Release file with the size and hash of each Packages file as it is now.
release() {
  local dir=$work/repo/dists/$1 file
  { echo "Label: $2"; echo "Suite: $1"; echo "Codename: $1"; echo "Date: $(date -Ru)"
    echo "Architectures: $native i386"; echo "Components: main"; echo "SHA256:"
    for file in main/binary-$native/Packages main/binary-i386/Packages; do
      echo " $(sha256sum "$dir/$file" | cut -d' ' -f1) $(stat -c %s "$dir/$file") $file"
    done; } >"$dir/Release"
}

deb skiff-twin 1.0 "$native"; deb skiff-twin 1.0 i386; deb skiff-twin 1.1 "$native"; deb skiff-solo 1.0 "$native"
deb skiff-tool 1.0 "$native" skiff-twin; deb skiff-app 1.0 i386 skiff-twin  # each needs its own architecture's twin
deb skiff-stranded 1.0 "$native" skiff-nowhere
index bookworm "$native" "skiff-twin_1.0_$native.deb" "skiff-solo_1.0_$native.deb" "skiff-tool_1.0_$native.deb" \
  "skiff-stranded_1.0_$native.deb"
index bookworm i386 skiff-twin_1.0_i386.deb skiff-app_1.0_i386.deb
index bookworm-security "$native" "skiff-twin_1.1_$native.deb"
index bookworm-security i386 skiff-twin_1.0_i386.deb
release bookworm Debian
release bookworm-security Debian-Security
truncate -s -10 "$work/repo/dists/bookworm-security/main/binary-i386/Packages"  # the mirror's half-synced index

# A fresh apt setup and dpkg database for each case: nothing of this machine's is read or written. As on a machine
# that is given i386 only now, the lists come from an update made before i386 was added, which had no i386 index to
# fetch; the security suite's amd64 list then stays when its new i386 index fails.
setup() {
  local case=$work/case-$1
  mkdir -p "$case"/{lists/partial,cache/archives/partial,state,log,etc,none} "$case/root/var/lib/dpkg"/{info,updates,triggers}
  touch "$case/root/var/lib/dpkg/status"
  dpkg --root="$case/root" --force-not-root --add-architecture i386
  [ -z "$2" ] || dpkg --root="$case/root" --force-not-root --log=/dev/null -i "$work/repo/pool/$2.deb" >/dev/null || fail "dpkg -i $2"
  printf 'deb [trusted=yes] file:%s %s main\n' "$work/repo" bookworm "$work/repo" bookworm-security >"$case/etc/sources.list"
  cat >"$case/apt.conf" <<EOF
Dir::Etc::Parts "$case/none"; Dir::Etc::SourceParts "$case/none"; Dir::Etc::SourceList "$case/etc/sources.list";
Dir::Etc::Preferences "$case/etc/none"; Dir::Etc::PreferencesParts "$case/none"; Dir::Etc::Main "$case/etc/none";
Dir::State "$case/state"; Dir::State::Lists "$case/lists"; Dir::State::status "$case/root/var/lib/dpkg/status";
Dir::Cache "$case/cache"; Dir::Log "$case/log"; APT::Sandbox::User "root";
APT::Architecture "$native"; APT::Architectures { "$native"; };
DPkg::Options { "--root=$case/root"; "--log=$case/log/dpkg.log"; "--force-not-root"; };
EOF
  APT_CONFIG=$case/apt.conf apt-get update -qq >/dev/null 2>&1 || fail "the update before i386 failed"
  sed -i 's/APT::Architectures { "'"$native"'"; }/APT::Architectures { "'"$native"'"; "i386"; }/' "$case/apt.conf"
  echo "$case"
}

# name | installed before | packages | exit code | a line of the output | what the dpkg database holds afterwards
cases=(
  "skew||skiff-tool skiff-app:i386|0|trying again with the main suite's versions|skiff-app:i386 1.0,skiff-tool:$native 1.0,skiff-twin:$native 1.0,skiff-twin:i386 1.0"
  "installed twin|skiff-twin_1.0_$native|skiff-app:i386|0|trying again with the main suite's versions|skiff-app:i386 1.0,skiff-twin:$native 1.0,skiff-twin:i386 1.0"
  "plain||skiff-solo|0|apt-get update failed 3 times; going on with the indexes that came; failed: file:$work/repo/dists/bookworm-security/main/binary-i386/Packages (|skiff-solo:$native 1.0"
  "missing||skiff-solo skiff-absent|1|install-deps: cannot install skiff-absent: no package index offers it (an index failed: file:|"
  "unmet||skiff-stranded|1|install-deps: cannot install skiff-stranded: skiff-stranded : Depends: skiff-nowhere but it is not installable|"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name before packages want_rc want_line want_installed <<<"$row"
  case=$(setup "$name" "$before")
  out=$(APT_CONFIG=$case/apt.conf SKIFF_APT_PAUSE=0 bash "$top/scripts/apt-install.sh" $packages 2>&1)
  rc=$?
  [ $rc = "$want_rc" ] || fail "$name: exit code $rc, not $want_rc: $out"
  grep -qF -- "$want_line" <<<"$out" || fail "$name: no line with '$want_line' in: $out"
  [ $rc = 0 ] || [ "$(grep -c '^install-deps: cannot' <<<"$out")" = 1 ] || fail "$name: not one line saying why: $out"
  installed=$(dpkg-query --admindir="$case/root/var/lib/dpkg" -W -f '${binary:Package} ${Version} ${db:Status-Status}\n' |
    awk '$3 == "installed" {print $1, $2}' | sort | paste -sd, -)
  [ "$installed" = "$want_installed" ] || fail "$name: installed '$installed', not '$want_installed': $out"
  echo "install-deps test: $name: passed"
done
