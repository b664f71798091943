#!/usr/bin/env bash
# skiff.exe's Download with two files picked in the real open-file dialog, received by the native newton-sim
# (companion) on COM1 at 19200 bit/s: the status dialog's count line is read while the data flows, and both
# files arrive byte-exact. Exit 0 passed, 99 when Wine itself did not start, anything else failed.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin download_two_files

# A note with DOS line ends and a bitmap big enough to take several seconds on the paced line.
printf 'Scrub the deck\r\nCoil the lines\r\n' >"$SKIFF_RUN_DIR/A.TXT"
head -c 60000 /dev/urandom >"$SKIFF_RUN_DIR/B.BMP"
sim_start "$SKIFF_RUN_DIR" --baud 19200 --log "$SKIFF_RUN_DIR/sim.log" --call-timeout 120000 companion \
  --out "$SKIFF_RUN_DIR/newton"

skiff_up
skiff_dismiss_splash
gui command 'Skiff|Skiff' 1005 >/dev/null || fail "the Download button's command was not taken"
gui wait-window '#32770|Choose file(s) to download' 20000 >/dev/null || fail "no open-file dialog"
# Several names, quoted and relative to the dialog's folder (skiff.exe's current directory).
gui set-text '#32770|Choose file(s) to download' 1148 '"A.TXT" "B.BMP"' || fail "cannot type the file names"
gui click '#32770|Choose file(s) to download' 1 >/dev/null || fail "cannot press Open"
gui wait-gone '#32770|Choose file(s) to download' 10000 || fail "the open-file dialog stayed"

# The second file's count line while its bytes flow, read in the status dialog its session made (the first
# file's dialog stays open until the batch ends and is refreshed only by its own timer).
first=$(gui wait-window 'Connection Progress' 90000) || fail "no status dialog"
second=""
deadline=$((SECONDS + 60))
while [ -z "$second" ]; do
  [ $SECONDS -lt $deadline ] || fail "no status dialog for the second file"
  second=$(gui windows | awk -F '\t' -v first="$first" '$3 == "Connection Progress" && $1 != first { print $1; exit }')
  [ -n "$second" ] || sleep 0.2
done
line=$(gui wait-text "$second" 1004 'of 60000' 60000) || fail "no count line for B.BMP: '$line'"
echo "    count line while the data flows: $line"
[[ $line =~ ^Transferring\ byte\ ([0-9]+)\ of\ 60000\ \(\ ?([0-9]+)%\)$ ]] || fail "count line reads '$line'"
[ "${BASH_REMATCH[1]}" -lt 60000 ] || fail "the count line was read only after the data: '$line'"
screenshot "$SKIFF_ARTEFACTS/download_status.png" || true

# The simulated Newton ends once the batch is done and the desktop has disconnected.
sim_wait 90 || fail "newton-sim did not end; its log: $(tail -n 5 "$SKIFF_RUN_DIR/sim.log")"
[ "$SIM_EXIT" -eq 0 ] || fail "newton-sim ended with $SIM_EXIT: $(cat "$SKIFF_RUN_DIR/sim.err")"

expect_eq "$(od -An -tx1 -v "$SKIFF_RUN_DIR/newton/A.TXT" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')" \
  "$(printf 'Scrub the deck\rCoil the lines\r' | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')" \
  "the note as stored (CR line ends)"
cmp -s "$SKIFF_RUN_DIR/B.BMP" "$SKIFF_RUN_DIR/newton/B.BMP" || fail "the bitmap arrived changed"
grep -q 'done files=2' "$SKIFF_RUN_DIR/newton/companion.log" || fail "no DONE in the companion's log"
# No message box: the batch went through without a report.
gui wait-window '#32770|Skiff' 500 >/dev/null 2>&1 && fail "a message box appeared: $(gui dlg-text '#32770|Skiff' 65535)"
exit 0
