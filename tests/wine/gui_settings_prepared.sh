#!/usr/bin/env bash
# A prepared skiff.cfg (COM3, more time, 9600, batches) gives the matching check marks; choosing "COM1:" then
# rewrites the whole file with COM1 and the other values kept.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin settings_prepared
printf 'COM3\001\200\045\000\000\001' >"$SKIFF_RUN_DIR/skiff.cfg"
skiff_up
for item in "50 unchecked" "51 unchecked" "52 checked" "53 unchecked" "70 checked" "71 unchecked" \
            "81 unchecked" "82 checked" "83 unchecked" "85 checked" "86 unchecked"; do
  set -- $item
  expect_eq "$(gui menu-state 'Skiff|Skiff' "$1")" "$2" "menu item $1"
done
gui command 'Skiff|Skiff' 50 || fail "could not post COM1:"
have=$(wait_file_hex "$SKIFF_RUN_DIR/skiff.cfg" "43 4f 4d 31 01 80 25 00 00 01" 10000) ||
  fail "after COM1: skiff.cfg holds '$have'"
expect_eq "$(gui menu-state 'Skiff|Skiff' 50)" checked "COM1: after the choice"
expect_eq "$(gui menu-state 'Skiff|Skiff' 52)" unchecked "COM3: after the choice"
exit 0
