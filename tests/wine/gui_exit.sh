#!/usr/bin/env bash
# File > Exit closes the window, shuts the link down and ends the process with exit code 0.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin exit
skiff_up
skiff_dismiss_splash
gui command 'Skiff|Skiff' 5 || fail "could not post Exit"
skiff_wait_exit 20 || fail "skiff.exe still runs twenty seconds after Exit"
expect_eq "$SKIFF_EXIT" 0 "exit code"
exit 0
