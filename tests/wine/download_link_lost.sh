#!/usr/bin/env bash
# skiff.exe's Download of one bitmap while the simulated Newton's line goes dead in the middle of the data: the
# session ends with the link's status and the main window reports it in the "Error -- " box with the sentence
# for a lost link. Exit 0 passed, 99 when Wine itself did not start, anything else failed.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin download_link_lost

head -c 3000 /dev/urandom >"$SKIFF_RUN_DIR/C.BMP"
sim_start "$SKIFF_RUN_DIR" --log "$SKIFF_RUN_DIR/sim.log" --call-timeout 120000 --drop-after 1200 companion \
  --out "$SKIFF_RUN_DIR/newton"

skiff_up
skiff_dismiss_splash
gui command 'Skiff|Skiff' 1005 >/dev/null || fail "the Download button's command was not taken"
gui wait-window '#32770|Choose file(s) to download' 20000 >/dev/null || fail "no open-file dialog"
gui set-text '#32770|Choose file(s) to download' 1148 'C.BMP' || fail "cannot type the file name"
gui click '#32770|Choose file(s) to download' 1 >/dev/null || fail "cannot press Open"

gui wait-window '#32770|Skiff' 120000 >/dev/null || fail "no report; newton-sim's log: $(tail -n 3 "$SKIFF_RUN_DIR/sim.log")"
expect_eq "$(gui dlg-text '#32770|Skiff' 65535)" "Error -- Disconnection detected." "the report"
grep -q 'fault drop-link' "$SKIFF_RUN_DIR/sim.log" || fail "the line never went dead"
gui click '#32770|Skiff' 2 >/dev/null || gui click '#32770|Skiff' 1 >/dev/null
gui wait-gone '#32770|Skiff' 10000 || fail "the report did not close"
exit 0
