#!/usr/bin/env bash
# scripts/check-layers.sh on this checkout, and on scratch trees with one include that runs sideways or upwards
# each: every one must fail, naming the file and the include. Exit 0 passed.
set -uo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "check-layers test: FAILED: $*"; exit 1; }
bash scripts/check-layers.sh || fail "this checkout includes against its layers"
work=$(mktemp -d "${TMPDIR:-/tmp}/skiff-layers-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# file | its include
cases=("package/loader.cpp|transfer/session.h" "transfer/session.cpp|package/loader.h" "dock/frame.cpp|package/loader.h"
       "core/pump.cpp|dock/frame.h" "dil/serial.cpp|core/pump.h")
for row in "${cases[@]}"; do
  IFS='|' read -r file include <<<"$row"
  rm -rf "$work/tree"; mkdir -p "$work/tree/${file%/*}"
  printf '#include <cstdint>\n#include "%s"\n' "$include" >"$work/tree/$file"
  out=$(bash scripts/check-layers.sh "$work/tree") && fail "$file including $include passed"
  grep -q "^check-layers: $file:2 includes \"$include\"" <<<"$out" || fail "$file including $include: '$out'"
done
echo "check-layers test: ${#cases[@]} includes against the layers were each caught with file, line and include"
