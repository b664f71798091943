#!/usr/bin/env bash
# The About box is open as a splash right after start-up, shows its OK button, and is gone after about four
# seconds without anyone touching it.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin splash
skiff_up
shown=$(date +%s%3N)
gui wait-window 'owned:Skiff|Skiff' 5000 >/dev/null || fail "no splash after start-up"
controls=$(gui controls 'owned:Skiff|Skiff' | cut -f1,2,4)
expect_eq "$controls" "$(printf '1\tButton\tOK\n1007\tStatic\tStatic')" "the About box's controls"
gui wait-gone 'owned:Skiff|Skiff' 12000 || fail "the splash is still open after twelve seconds"
elapsed=$(( $(date +%s%3N) - shown ))
echo "    splash closed ${elapsed} ms after the main window appeared"
[ "$elapsed" -ge 2500 ] || fail "the splash closed after only $elapsed ms"
exit 0
