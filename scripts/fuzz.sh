#!/usr/bin/env bash
# Runs every built fuzz target (build/fuzz/tests/<name>, one per tests/fuzz/<name>.cpp) for a bounded time.
# Usage: scripts/fuzz.sh SECONDS   (each target gets SECONDS; a crash fails the run)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
status=0
for src in tests/fuzz/*.cpp; do
  [ -e "$src" ] || continue
  name=$(basename "$src" .cpp)
  bin=build/fuzz/tests/$name
  if [ ! -x "$bin" ]; then echo "fuzz: $bin is not built"; status=1; continue; fi
  work=$(mktemp -d)
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
        -artifact_prefix="$work/" "$work" >"$work/run.log" 2>&1; then
    tail -n 30 "$work/run.log"
    echo "fuzz: $name FAILED (artefacts in $work)"
    status=1
    continue
  fi
  grep -E "^#[0-9]+.*DONE|Done [0-9]+ runs" "$work/run.log" | tail -n 1 || true
  rm -rf "$work"
done
exit $status
