#!/usr/bin/env bash
# Pictures of every screen a user meets, taken in a Wine virtual desktop so that windows have their frames, in
# build/artefacts/: about-box.png (the splash), main-window.png, main-window-pressed.png ("Download" held down),
# menu-file.png, menu-transfer.png, menu-config.png, menu-help.png (each menu dropped down), open-file-dialog.png,
# connection-dialog.png ("Looking for Newton..." on a line nobody answers), error-box.png and error-report.png (a
# port that does not exist). The status dialog's pictures come from gui_status_bar.sh, the maximised window's from
# gui_maximise.sh. Each screen is checked to be there; what it looks like is for a person to judge.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin screenshots
export SKIFF_DESKTOP=800x600
main='Skiff|Skiff'
shot() { sleep 0.5; screenshot "$SKIFF_ARTEFACTS/$1.png" || fail "screenshot $1"; }

# COM1 is a line nobody answers on, COM2 a port that does not exist.
python3 -c 'import os, pty, time; m, s = pty.openpty(); print(os.ttyname(s), flush=True); time.sleep(600)' \
  >"$SKIFF_RUN_DIR/.pty" &
PTY_PID=$!
trap 'kill "$PTY_PID" 2>/dev/null; skiff_kill; rm -rf "$SKIFF_RUN_DIR"; wine_env_stop' EXIT
deadline=$((SECONDS + 10))
until [ -s "$SKIFF_RUN_DIR/.pty" ]; do [ $SECONDS -lt $deadline ] || fail "no pseudo-terminal"; sleep 0.05; done
wine_map_port COM1 "$(head -n1 "$SKIFF_RUN_DIR/.pty")" COM2 /dev/skiff-no-such-port || exit 99
echo "A note" >"$SKIFF_RUN_DIR/NOTE.TXT"

skiff_up
gui wait-window "owned:$main" 5000 >/dev/null || fail "no splash"
shot about-box
gui wait-gone "owned:$main" 12000 || fail "the splash stayed"
shot main-window
expect_eq "$(gui client "$main")" "600 400" "client area"
gui press "$main" 1005 1 || fail "could not press Download"
shot main-window-pressed
gui press "$main" 1005 0

for menu in f:file t:transfer c:config h:help; do
  gui drop-menu "$main" "${menu%%:*}" || fail "could not drop the ${menu#*:} menu"
  gui wait-window '#32768|' 5000 >/dev/null || fail "the ${menu#*:} menu did not drop down"
  shot "menu-${menu#*:}"
  gui key "$main" 27 && gui key "$main" 27  # Escape closes the menu, then leaves the menu bar
  gui wait-gone '#32768|' 5000 || fail "the ${menu#*:} menu stayed"
done

# pick_file: Download, then NOTE.TXT in the open-file dialog.
pick_file() {
  local dialog='#32770|Choose file(s) to download'
  gui command "$main" 1005 >/dev/null || fail "the Download command was not taken"
  gui wait-window "$dialog" 20000 >/dev/null || fail "no open-file dialog"
  [ -z "${1:-}" ] || shot "$1"
  gui set-text "$dialog" 1148 'NOTE.TXT' || fail "cannot type the file name"
  gui click "$dialog" 1 >/dev/null || fail "cannot press Open"
}
pick_file open-file-dialog
gui wait-window Connection 20000 >/dev/null || fail "no connection dialog"
expect_eq "$(gui dlg-text Connection 1002)" "Looking for Newton..." "the connection dialog's text"
shot connection-dialog
gui click Connection 31 >/dev/null || fail "could not press STOP"
gui wait-gone Connection 10000 || fail "the connection dialog stayed after STOP"

box='#32770|Skiff'
gui command "$main" 51 >/dev/null  # COM2:
pick_file
first=$(gui wait-window "$box" 20000) || fail "no error box for a missing port"
expect_eq "$(gui dlg-text "$first" 65535)" "Error: CDPipeInit error ... err -97" "the error box"
shot error-box
gui click "$first" 1 >/dev/null || gui click "$first" 2 >/dev/null
gui wait-gone "$first" 10000 || fail "the error box stayed"
gui wait-window "$box" 10000 >/dev/null || fail "no error report after the error box"
[[ $(gui dlg-text "$box" 65535) == "Error -- "* ]] || fail "the report: $(gui dlg-text "$box" 65535)"
shot error-report
gui click "$box" 1 >/dev/null || gui click "$box" 2 >/dev/null
gui wait-gone "$box" 10000 || fail "the error report stayed"
gui command "$main" 5
skiff_wait_exit 20 || fail "skiff.exe did not end"
exit 0
