#!/usr/bin/env bash
# The menu "Skiff" as the program shows it: every popup, item text, id, separator and greyed label in order,
# with the built-in settings' check marks.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin menu
skiff_up
expected='POPUP &File
  5 E&xit
POPUP &Transfer
  21 &Download Skiff
  22 &Receive Skiff [greyed]
  24 Download &Package
POPUP &Config
  50 COM1: [checked]
  51 COM2:
  52 COM3:
  53 COM4:
  SEPARATOR
  70 More time for background tasks (slower)
  71 Less time for background tasks [checked]
  SEPARATOR
  80 Package Download Mode: [greyed]
  81 Serial (38400 baud) [checked]
  82 Serial 9600 - Windows
  83 Serial 2400 - Windows
  SEPARATOR
  40013 When Receiving... [greyed]
  85 Receive in Batches
  86 Receive Once [checked]
POPUP &Help
  41 &About Skiff'
menu=$(gui menu 'Skiff|Skiff') || fail "could not read the menu"
[ "$menu" = "$expected" ] || { diff <(echo "$expected") <(echo "$menu"); fail "the menu differs"; }
exit 0
