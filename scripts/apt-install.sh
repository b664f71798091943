#!/usr/bin/env bash
# Installs Debian packages with apt-get from a mirror that may be partly broken (used by scripts/install-deps.sh):
# - `apt-get update` is tried a few times with a pause; an index that still fails to download is not fatal, the
#   install goes on with the indexes that came;
# - an install apt cannot resolve is tried once more with the security suite lowered below the main one, for this
#   install only. That mends the usual skew: amd64 libraries from the security suite whose i386 twins (Multi-Arch
#   "same", so held to the same version) only the main suite offers, its i386 index having failed;
# - a package that still cannot be had is named, with why, in one line, and the exit code is 1.
# apt reads APT_CONFIG, so the whole run can be pointed at a throw-away apt setup.
# Usage: scripts/apt-install.sh PACKAGE...   (SKIFF_APT_PAUSE: seconds between the updates, 5)
set -uo pipefail
attempts=3
pause=${SKIFF_APT_PAUSE:-5}
packages=("$@")
[ ${#packages[@]} -gt 0 ] || { echo "usage: apt-install.sh PACKAGE..."; exit 2; }
say() { echo "install-deps: $*"; }
command -v apt-get >/dev/null || { say "cannot install ${packages[*]}: apt-get is not available"; exit 1; }
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-apt.XXXXXX")
trap 'rm -rf "$work"' EXIT

say "installing ${packages[*]}"
updated=0
for ((attempt = 1; attempt <= attempts; attempt++)); do
  apt-get update -qq >"$work/update.log" 2>&1 && { updated=1; break; }
  [ $attempt -lt $attempts ] && sleep "$pause"
done
failed_index=""
if [ $updated = 0 ]; then
  # What did not come: "Failed to fetch URL  reason" (apt puts two spaces before the reason).
  failed_index=$(sed -n -E 's/^[EW]: Failed to fetch ([^ ]+) +(.*)$/\1 (\2)/p' "$work/update.log" | head -n 1)
  [ -n "$failed_index" ] || failed_index=$(grep -m 1 -E '^E: ' "$work/update.log" | cut -c4-)
  say "apt-get update failed $attempts times; going on with the indexes that came; failed: $failed_index"
fi

install() { apt-get install -y -q --no-install-recommends "$@" "${packages[@]}" >"$work/install.log" 2>&1; }
install && exit 0

eval "$(apt-config shell parts Dir::Etc::PreferencesParts/d)"
mkdir "$work/preferences.d"
for file in "${parts:-/nonexistent}"/*; do [ -f "$file" ] && cp "$file" "$work/preferences.d/"; done
cat >"$work/preferences.d/zz-skiff-security-below-main.pref" <<'EOF'
Package: *
Pin: release l=Debian-Security
Pin-Priority: 100
EOF
say "apt could not install them as they stand ($(grep -m 1 -E '^E: ' "$work/install.log" | cut -c4-));" \
  "trying again with the main suite's versions (the security suite lowered for this install)"
install -o Dir::Etc::PreferencesParts="$work/preferences.d" && exit 0

# Why not, in one line: packages no index offers, else apt's first unmet dependency, else its last error.
missing=()
for package in "${packages[@]}"; do
  candidate=$(apt-cache policy "$package" 2>/dev/null | awk '$1 == "Candidate:" {print $2}')
  [ -n "$candidate" ] && [ "$candidate" != "(none)" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "cannot install ${missing[*]}: no package index offers it${failed_index:+ (an index failed: $failed_index)}"
else
  why=$(grep -m 1 -E '^ +[^ ]+ : ((Pre-?)?Depends|Breaks|Conflicts):' "$work/install.log" | sed -E 's/^ +//; s/ +/ /g')
  [ -n "$why" ] || why=$(grep -E '^E: ' "$work/install.log" | tail -n 1 | cut -c4-)
  say "cannot install ${packages[*]}: ${why:-apt-get install failed: $(tail -n 1 "$work/install.log")}"
fi
exit 1
