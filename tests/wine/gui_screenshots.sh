#!/usr/bin/env bash
# Pictures of the main window, the About box and the status dialog, taken in a Wine virtual desktop so that
# windows have their frames: build/artefacts/main-window.png (and -pressed.png, "Download" held down),
# about-box.png, status-dialog.png. Also checks the client area and that the status dialog's lines read as
# they should in the middle of a transfer.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin screenshots
export SKIFF_DESKTOP=800x600
skiff_up
gui wait-window 'owned:Skiff|Skiff' 5000 >/dev/null || fail "no splash"
sleep 0.5  # let the splash finish painting; the picture is an artefact, not an assertion
screenshot "$SKIFF_ARTEFACTS/about-box.png" || fail "screenshot of the About box"
gui wait-gone 'owned:Skiff|Skiff' 12000 || fail "the splash stayed"
sleep 0.5
screenshot "$SKIFF_ARTEFACTS/main-window.png" || fail "screenshot of the main window"
expect_eq "$(gui client 'Skiff|Skiff')" "600 400" "client area"
gui press 'Skiff|Skiff' 1005 1 || fail "could not press Download"
sleep 0.3
screenshot "$SKIFF_ARTEFACTS/main-window-pressed.png" || fail "screenshot of the pressed button"
gui press 'Skiff|Skiff' 1005 0
gui command 'Skiff|Skiff' 5
skiff_wait_exit 20 || fail "skiff.exe did not end"

cp "$SKIFF_WIN32_BIN/status_preview.exe" "$SKIFF_RUN_DIR/"
(cd "$SKIFF_RUN_DIR" && exec wine explorer "/desktop=skiff,$SKIFF_DESKTOP" ./status_preview.exe 1200 4000 30 \
   >"$SKIFF_RUN_DIR/preview.log" 2>&1) &
SKIFF_PID=$!
gui wait-window 'Connection Progress' 20000 >/dev/null || exit 99
gui wait-text 'Connection Progress' 1004 'Transferring byte 1200 of 4000 (30%)' 5000 >/dev/null ||
  fail "count line: $(gui dlg-text 'Connection Progress' 1004)"
line=$(gui dlg-text 'Connection Progress' 1003)
[[ $line == "Sending Data...  "[\|/\\-] ]] || fail "status line: '$line'"
controls=$(gui controls 'Connection Progress' | cut -f1,2 | tr '\n\t' ' :')
expect_eq "$controls" "1003:Static 1004:Static 1007:Static 1006:Static " "the status dialog's controls"
sleep 0.5
screenshot "$SKIFF_ARTEFACTS/status-dialog.png" || fail "screenshot of the status dialog"
gui close 'Connection Progress' >/dev/null 2>&1 || true
skiff_kill
exit 0
