#!/usr/bin/env bash
# Close on the main window while a package streams is an abort: the status dialog closes at once, the load
# stops after the chunk in flight without "newtdockdisc", no box is shown and skiff.exe keeps running.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh && source tests/wine/lib/package_helpers.sh
gui_test_begin package_close_aborts
make_package "$SKIFF_RUN_DIR/BIG.PKG" 120000
dock_start "$SKIFF_RUN_DIR/out"
skiff_up
skiff_dismiss_splash
package_choose "$SKIFF_RUN_DIR/BIG.PKG"

status='Connection Progress'
# The connection dialog waits for the simulated Newton's call; then the status dialog opens.
gui wait-window "$status" 60000 >/dev/null ||
  fail "no status dialog; windows: $(gui windows); sim: $(tail -n 3 "$SKIFF_RUN_DIR/out/sim.log" 2>/dev/null)"
gui wait-text "$status" 1004 "Transferring byte" 60000 >/dev/null || fail "no count line while streaming; windows: $(gui windows); sim: $(tail -n 5 "$SKIFF_RUN_DIR/out/sim.log" 2>/dev/null)"
echo "closing at: $(gui dlg-text "$status" 1004)"
gui close 'Skiff|Skiff' || fail "could not post Close"
gui wait-gone "$status" 10000 || fail "the status dialog did not close on Close"
sim_wait 40 || fail "newton-sim did not see the link end"
log="$SKIFF_RUN_DIR/out/dock.log"
grep -q "rx disc" "$log" && fail "a disconnect frame was sent after the abort"
grep -q "check result" "$log" && fail "the whole package went despite the abort"
gui wait-window 'Skiff|Skiff' 1000 >/dev/null || fail "the main window went away"
no_message_box || fail "a message box showed: $(gui windows)"
# Idle again: a second Close ends the program.
gui close 'Skiff|Skiff' || fail "could not post the second Close"
skiff_wait_exit 20 || fail "skiff.exe did not end after the second Close"
exit 0
