#!/usr/bin/env bash
# The real status dialog (status_preview.exe) at 0 %, 50 % and 100 % of a 4000-byte transfer: the lines read as
# they should, the bar grows from its frame's left edge and its right edge never passes the frame's, and at 50 %
# it covers half its full length within a pixel. Pictures at 50 % and 100 %: build/artefacts/status-dialog-50.png
# and status-dialog-100.png (in a Wine virtual desktop, so the dialog has its frame).
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin status_bar
export SKIFF_DESKTOP=800x600
status='Connection Progress'
cp "$SKIFF_WIN32_BIN/status_preview.exe" "$SKIFF_RUN_DIR/"
(cd "$SKIFF_RUN_DIR" && exec wine explorer "/desktop=skiff,$SKIFF_DESKTOP" ./status_preview.exe 1200 4000 120 \
   >"$SKIFF_RUN_DIR/preview.log" 2>&1) &
SKIFF_PID=$!
gui wait-window "$status" 20000 >/dev/null || exit 99
gui wait-text "$status" 1004 'Transferring byte 1200 of 4000 (30%)' 5000 >/dev/null ||
  fail "count line: $(gui dlg-text "$status" 1004)"
line=$(gui dlg-text "$status" 1003)
[[ $line == "Sending Data...  "[\|/\\-] ]] || fail "status line: '$line'"
controls=$(gui controls "$status" | cut -f1,2 | tr '\n\t' ' :')
expect_eq "$controls" "1003:Static 1004:Static 1007:Static 1006:Static " "the status dialog's controls"

# stage DONE PERCENT: the preview shows DONE bytes; sets BAR_WIDTH after checking the bar against its frame.
stage() {
  gui command 'StatusPreview|Skiff' "$1" >/dev/null || fail "could not set $1 bytes"
  gui wait-text "$status" 1004 "Transferring byte $1 of 4000 ($2%)" 5000 >/dev/null ||
    fail "count line at $1 bytes: $(gui dlg-text "$status" 1004)"
  local bl bt br bb fl ft fr fb
  read -r bl bt br bb < <(gui rect "$status" 1007)
  read -r fl ft fr fb < <(gui rect "$status" 1006)
  echo "    $2%: bar $bl-$br in frame $fl-$fr"
  expect_eq "$bl" "$fl" "the bar's left edge at $2 %"
  [ "$br" -le "$fr" ] || fail "at $2 % the bar's right edge $br passes its frame's $fr"
  BAR_WIDTH=$((br - bl))
}
stage 1 ' 0'
stage 2000 50
half=$BAR_WIDTH
sleep 0.3  # the picture is an artefact, not an assertion
screenshot "$SKIFF_ARTEFACTS/status-dialog-50.png" || fail "screenshot at 50 %"
stage 4000 100
full=$BAR_WIDTH
[ "$full" -gt 0 ] || fail "the full bar has no width"
off=$((2 * half - full))
[ "${off#-}" -le 2 ] || fail "at 50 % the bar is $half pixels, not half of the full $full"
sleep 0.3
screenshot "$SKIFF_ARTEFACTS/status-dialog-100.png" || fail "screenshot at 100 %"
gui close "$status" >/dev/null 2>&1 || true
skiff_kill
exit 0
