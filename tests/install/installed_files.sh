# `cmake --install` into a temporary prefix: the files it puts there, the installed programs, and the man
# pages (lint, version, and every option the programs' --help names). Sourced by run.sh.
prefix=$work/prefix
if ! out=$(cmake --install "$build" --prefix "$prefix" 2>&1); then
  fail "cmake --install" "$out"
  return
fi
same "the installed files" "$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)" \
  "$(printf '%s\n' "${installed_files[@]}")"

same "installed skiff --version" "$("$prefix/bin/skiff" --version 2>&1)" "skiff $version"
same "installed newton-sim --version" "$("$prefix/bin/newton-sim" --version 2>&1)" "newton-sim $version"
help=$("$prefix/bin/skiff" install --help 2>&1) && help_status=0 || help_status=$?
same "installed skiff install --help: exit code" "$help_status" 0
same "installed skiff install --help: usage" "$(head -n 1 <<<"$help" | cut -d' ' -f1-3)" "usage: skiff install"

# `man skiff` finds the page under the prefix, as it finds /usr's.
for page in skiff newton-sim; do
  same "man -w $page" "$(MANPATH=$prefix/share/man man -w "$page" 2>&1)" "$prefix/share/man/man1/$page.1.gz"
done

for page in skiff newton-sim; do
  source_text=$(zcat "$prefix/share/man/man1/$page.1.gz")
  quiet "$page.1: mandoc -T lint, every level" mandoc -T lint -W all <<<"$source_text"
  quiet "$page.1: groff -ww -z" groff -ww -z -man <<<"$source_text"
  same "$page.1: the version in its header" "$(grep '^\.TH' <<<"$source_text" | grep -o "\"skiff [^\"]*\"")" \
    "\"skiff $version\""
done

# Every option the programs' --help names has an entry of its own in their man pages (the tag of a .TP).
manual_entries() { zcat "$prefix/share/man/man1/$1.1.gz" | awk 'tag {print} {tag = ($1 == ".TP")}' |
  sed 's/\\-/-/g' | long_options; }
for command in "${commands[@]}"; do
  missing=$(comm -23 <("$prefix/bin/skiff" "$command" --help | long_options) <(manual_entries skiff))
  same "skiff.1 has an entry for every option of skiff $command --help" "$missing" ""
done
missing=$(comm -23 <("$prefix/bin/newton-sim" --help | long_options) <(manual_entries newton-sim))
same "newton-sim.1 has an entry for every option of newton-sim --help" "$missing" ""
