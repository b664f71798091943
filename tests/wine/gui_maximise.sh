#!/usr/bin/env bash
# The main window has one size: maximised (the caption's maximise box, which stays) it keeps its client area of
# 600 x 400, the picture, with no grey around it, and restored it is the same again. Picture of the maximised
# window: build/artefacts/main-window-maximised.png (in a Wine virtual desktop).
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin maximise
export SKIFF_DESKTOP=800x600
main='Skiff|Skiff'
skiff_up
skiff_dismiss_splash
expect_eq "$(gui state "$main")" "normal maximise-box" "the window before"
read -r l t r b < <(gui rect "$main")
size="$((r - l)) $((b - t))"

# wait_state STATE: polls the window's state for up to five seconds.
wait_state() {
  local deadline=$((SECONDS + 5))
  until [ "$(gui state "$main")" = "$1" ]; do
    [ $SECONDS -lt $deadline ] || fail "the window is '$(gui state "$main")', not '$1'"
    sleep 0.2
  done
}
gui syscommand "$main" maximise || fail "could not maximise"
wait_state "maximised maximise-box"
expect_eq "$(gui client "$main")" "600 400" "the maximised client area"
read -r l t r b < <(gui rect "$main")
expect_eq "$((r - l)) $((b - t))" "$size" "the maximised window's size"
sleep 0.3  # the picture is an artefact, not an assertion
screenshot "$SKIFF_ARTEFACTS/main-window-maximised.png" || fail "screenshot of the maximised window"
gui syscommand "$main" restore || fail "could not restore"
wait_state "normal maximise-box"
expect_eq "$(gui client "$main")" "600 400" "the restored client area"
gui command "$main" 5
skiff_wait_exit 20 || fail "skiff.exe did not end"
exit 0
