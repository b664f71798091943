#!/usr/bin/env bash
# scripts/apt-install.sh (what install-deps.sh installs with) against a mirror like the broken one it is there for,
# in a throw-away apt setup (APT_CONFIG) with its own dpkg database: no network, nothing of this machine's touched,
# no root needed. The local repository's main suite has "skiff-twin" 1.0 for amd64 and i386 (Multi-Arch: same) and
# packages that need it; its security suite has skiff-twin 1.1 for amd64 only, and its i386 Packages file is cut
# short, as on a mirror caught mid-sync, so that `apt-get update` fails. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-apt-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install-deps test: FAILED: $*"; exit 1; }
native=$(dpkg --print-architecture)
repo=$work/repo

# pkg SUITE ARCH NAME VERSION [DEPENDS]: a package with nothing in it but its control file, listed in the suite.
pkg() {
  local src=$work/src/$3_$4_$2 deb=pool/$3_$4_$2.deb list=$repo/dists/$1/main/binary-$2/Packages
  mkdir -p "$src/DEBIAN" "$repo/pool" "${list%/*}"
  printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMulti-Arch: same\nMaintainer: t <t@skiff.invalid>\n%bDescription: t\n' \
    "$3" "$4" "$2" "${5:+Depends: $5\n}" >"$src/DEBIAN/control"
  [ -f "$repo/$deb" ] || dpkg-deb --root-owner-group --build "$src" "$repo/$deb" >/dev/null || fail "dpkg-deb"
  { cat "$src/DEBIAN/control"; echo "Filename: $deb"; echo "Size: $(stat -c %s "$repo/$deb")"
    echo "SHA256: $(sha256sum <"$repo/$deb" | cut -d' ' -f1)"; echo; } >>"$list"
}
pkg bookworm "$native" skiff-twin 1.0; pkg bookworm i386 skiff-twin 1.0; pkg bookworm "$native" skiff-solo 1.0
pkg bookworm "$native" skiff-tool 1.0 skiff-twin; pkg bookworm i386 skiff-app 1.0 skiff-twin  # each its own twin
pkg bookworm "$native" skiff-stranded 1.0 skiff-nowhere
pkg bookworm-security "$native" skiff-twin 1.1; pkg bookworm-security i386 skiff-twin 1.0
for suite in bookworm:Debian bookworm-security:Debian-Security; do
  dir=$repo/dists/${suite%%:*}
  { printf 'Label: %s\nSuite: %s\nDate: %s\nArchitectures: %s i386\nComponents: main\nSHA256:\n' "${suite#*:}" \
      "${suite%%:*}" "$(date -Ru)" "$native"
    for list in "$dir"/main/binary-*/Packages; do echo " $(sha256sum <"$list" | cut -d' ' -f1) $(stat -c %s "$list") ${list#"$dir"/}"; done
  } >"$dir/Release"
done
truncate -s -10 "$repo/dists/bookworm-security/main/binary-i386/Packages"  # the mirror's half-synced index

# A fresh apt setup and dpkg database for each case. As on a machine given i386 only now, the lists come from an
# update made before, which fetched no i386 index: the security suite's amd64 list stays when its i386 one fails.
setup() {
  local case=$work/case-$1 root=$work/case-$1/root
  mkdir -p "$case"/{lists/partial,cache/archives/partial,state,log,none} "$root/var/lib/dpkg"/{info,updates,triggers}
  touch "$root/var/lib/dpkg/status"
  dpkg --root="$root" --force-not-root --add-architecture i386
  [ -z "$2" ] || dpkg --root="$root" --force-not-root --log=/dev/null -i "$repo/pool/$2.deb" >/dev/null || fail "dpkg -i"
  printf 'deb [trusted=yes] file:%s %s main\n' "$repo" bookworm "$repo" bookworm-security >"$case/sources.list"
  cat >"$case/apt.conf" <<EOF
Dir::Etc::Parts "$case/none"; Dir::Etc::SourceParts "$case/none"; Dir::Etc::SourceList "$case/sources.list";
Dir::Etc::Preferences "$case/none/x"; Dir::Etc::PreferencesParts "$case/none"; Dir::Etc::Main "$case/none/x";
Dir::State "$case/state"; Dir::State::Lists "$case/lists"; Dir::State::status "$root/var/lib/dpkg/status";
Dir::Cache "$case/cache"; Dir::Log "$case/log"; APT::Sandbox::User "root";
APT::Architecture "$native"; APT::Architectures { "$native"; };
DPkg::Options { "--root=$root"; "--log=$case/log/dpkg.log"; "--force-not-root"; };
EOF
  APT_CONFIG=$case/apt.conf apt-get update -qq >/dev/null 2>&1 || fail "the update before i386 failed"
  sed -i "s/APT::Architectures { \"$native\"; }/APT::Architectures { \"$native\"; \"i386\"; }/" "$case/apt.conf"
  echo "$case"
}

failed="failed: file:$repo/dists/bookworm-security/main/binary-i386/Packages ("
# name | installed before | packages | exit code | a line of the output | what the dpkg database holds afterwards
cases=(
  "skew||skiff-tool skiff-app:i386|0|trying again with the main suite's versions|skiff-app:i386 1.0,skiff-tool:$native 1.0,skiff-twin:$native 1.0,skiff-twin:i386 1.0"
  "installed twin|skiff-twin_1.0_$native|skiff-app:i386|0|trying again with the main suite's versions|skiff-app:i386 1.0,skiff-twin:$native 1.0,skiff-twin:i386 1.0"
  "plain||skiff-solo|0|apt-get update failed 3 times; going on with the indexes that came; $failed|skiff-solo:$native 1.0"
  "missing||skiff-solo skiff-absent|1|install-deps: cannot install skiff-absent: no package index offers it (an index $failed|"
  "unmet||skiff-stranded|1|install-deps: cannot install skiff-stranded: skiff-stranded : Depends: skiff-nowhere but it is not installable|"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name before packages want_rc want_line want_installed <<<"$row"
  case=$(setup "$name" "$before")
  out=$(APT_CONFIG=$case/apt.conf SKIFF_APT_PAUSE=0 bash scripts/apt-install.sh $packages 2>&1); rc=$?
  [ $rc = "$want_rc" ] || fail "$name: exit code $rc, not $want_rc: $out"
  grep -qF -- "$want_line" <<<"$out" || fail "$name: no line with '$want_line' in: $out"
  [ $rc = 0 ] || [ "$(grep -c '^install-deps: cannot' <<<"$out")" = 1 ] || fail "$name: not one line saying why: $out"
  installed=$(dpkg-query --admindir="$case/root/var/lib/dpkg" -W -f '${binary:Package} ${Version} ${db:Status-Status}\n' |
    awk '$3 == "installed" {print $1, $2}' | sort | paste -sd, -)
  [ "$installed" = "$want_installed" ] || fail "$name: installed '$installed', not '$want_installed': $out"
done
echo "install-deps test: ${#cases[@]} cases passed"
