#!/usr/bin/env bash
# skiff.exe's Package: a package picked in the real open-file dialog goes over COM1 at 38400 to newton-sim's
# dock, which stores it byte for byte; the status dialog's count line counts while it streams.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh && source tests/wine/lib/package_helpers.sh
gui_test_begin package_install
make_package "$SKIFF_RUN_DIR/TEST.PKG" 30001
dock_start "$SKIFF_RUN_DIR/out"
skiff_up
skiff_dismiss_splash
package_choose "$SKIFF_RUN_DIR/TEST.PKG"

status='Connection Progress'
# The connection dialog waits for the simulated Newton's call; then the status dialog opens.
gui wait-window "$status" 60000 >/dev/null ||
  fail "no status dialog; windows: $(gui windows); sim: $(tail -n 3 "$SKIFF_RUN_DIR/out/sim.log" 2>/dev/null)"
gui wait-text "$status" 1004 "Transferring byte" 60000 >/dev/null || fail "no count line while streaming; windows: $(gui windows); sim: $(tail -n 5 "$SKIFF_RUN_DIR/out/sim.log" 2>/dev/null)"
line=$(gui dlg-text "$status" 1004)
[[ $line =~ ^Transferring\ byte\ ([0-9]+)\ of\ 30001\ \(\ ?([0-9]+)%\)$ ]] || fail "count line '$line'"
[ "${BASH_REMATCH[1]}" -lt 30001 ] || fail "the first count seen was already the end: '$line'"
echo "count line while streaming: $line"
screenshot "$SKIFF_ARTEFACTS/package-status.png" || echo "no screenshot taken"
gui wait-text "$status" 1004 "Transferring byte 30001 of 30001 (100%)" 60000 >/dev/null ||
  fail "the count did not reach the end: '$(gui dlg-text "$status" 1004)'"
gui wait-gone "$status" 60000 || fail "the status dialog stayed"

sim_wait 30 || fail "newton-sim did not end"
expect_eq "$SIM_EXIT" 0 "newton-sim's exit code"
cmp -s "$SKIFF_RUN_DIR/TEST.PKG" "$SKIFF_RUN_DIR/out/package.pkg" || fail "the stored package differs"
grep -q "rx lpkg length=30001 pad=3" "$SKIFF_RUN_DIR/out/dock.log" || fail "dock log: $(cat "$SKIFF_RUN_DIR/out/dock.log")"
grep -q "check result=0 name=Skiff:TEST" "$SKIFF_RUN_DIR/out/dock.log" || fail "the package was not accepted"
grep -q "rx disc" "$SKIFF_RUN_DIR/out/dock.log" || fail "no disconnect frame"
no_message_box || fail "a message box showed: $(gui windows)"
exit 0
