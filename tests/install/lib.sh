# The checks' common words: each check prints "ok NAME" or "FAIL NAME" with what it saw, and run.sh ends with
# the count. Sourced by run.sh.
passed=0
failed=0

ok() { passed=$((passed + 1)); echo "ok    $1"; }
fail() {
  failed=$((failed + 1))
  echo "FAIL  $1"
  shift
  [ $# -eq 0 ] || printf '      %s\n' "$@"
}

# same NAME ACTUAL EXPECTED
same() {
  if [ "$2" == "$3" ]; then ok "$1"; else fail "$1" "got:      $2" "expected: $3"; fi
}

# quiet NAME COMMAND...: the command ends with 0 and prints nothing at all.
quiet() {
  local name=$1 out
  shift
  if out=$("$@" 2>&1) && [ -z "$out" ]; then ok "$name"; else fail "$name" "$out"; fi
}

# The long options a text mentions, one a line, sorted.
long_options() { grep -oE -- '--[a-z][-a-z0-9]*' | sort -u; }
