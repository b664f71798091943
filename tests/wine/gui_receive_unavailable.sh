#!/usr/bin/env bash
# Receiving is not in this version: the "Receive" button is disabled, "&Receive Skiff" greyed, and command 22
# answers with the "Function not available" box.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin receive_unavailable
skiff_up
skiff_dismiss_splash
expect_eq "$(gui is-enabled 'Skiff|Skiff' 2)" disabled "the Receive button"
expect_eq "$(gui is-enabled 'Skiff|Skiff' 1005)" enabled "the Download button"
expect_eq "$(gui is-enabled 'Skiff|Skiff' 3)" enabled "the Package button"
expect_eq "$(gui menu-state 'Skiff|Skiff' 22)" "unchecked greyed disabled" "&Receive Skiff"
gui command 'Skiff|Skiff' 22 || fail "could not post command 22"
box='#32770|Function not available'
gui wait-window "$box" 10000 >/dev/null || fail "no Function not available box"
expect_eq "$(gui dlg-text "$box" 65535)" "That function is not available in this version of Skiff." "the box's text"
gui click "$box" 1 || fail "could not press OK"
gui wait-gone "$box" 10000 || fail "the box did not close"
exit 0
