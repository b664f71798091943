#!/usr/bin/env bash
# With no skiff.cfg the program writes its built-in settings (COM1, less time, 38400, receive once) and
# checks the matching menu items.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin settings_default
skiff_up
have=$(wait_file_hex "$SKIFF_RUN_DIR/skiff.cfg" "43 4f 4d 31 00 00 96 00 00 00" 10000) ||
  fail "skiff.cfg holds '$have'"
for item in "50 checked" "51 unchecked" "52 unchecked" "53 unchecked" "70 unchecked" "71 checked" \
            "81 checked" "82 unchecked" "83 unchecked" "85 unchecked" "86 checked"; do
  set -- $item
  expect_eq "$(gui menu-state 'Skiff|Skiff' "$1")" "$2" "menu item $1"
done
exit 0
