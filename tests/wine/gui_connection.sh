#!/usr/bin/env bash
# The connection dialog over the real link library and COM1 mapped to a pseudo-terminal: with nobody calling
# it waits, "Looking for Newton...", until STOP ends it with 2; with newton-sim calling it accepts the call and
# ends with 5 (the pipe state after the accept is printed; keeping the link up is the link library's part).
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin connection
sim="$_wine_env_root/build/native/newton-sim"
[ -x "$sim" ] || fail "newton-sim was not built (native preset)"
others=()
trap 'kill "${others[@]}" 2>/dev/null; skiff_kill; rm -rf "$SKIFF_RUN_DIR"; wine_env_stop' EXIT

first_line() {  # FILE MS: the first line of FILE once it has one
  local deadline=$(( $(date +%s%3N) + $2 ))
  until [ -s "$1" ] && head -n1 "$1" | grep -q .; do
    [ "$(date +%s%3N)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
  head -n1 "$1"
}
run_dialog() {  # OUT: the connection dialog program, its output in OUT
  cp "$SKIFF_WIN32_BIN/connection_wintest.exe" "$SKIFF_RUN_DIR/"
  (cd "$SKIFF_RUN_DIR" && exec wine ./connection_wintest.exe COM1 19200 >"$1" 2>&1) &
  SKIFF_PID=$!
}

# Nobody calls: the dialog waits until STOP.
python3 -c 'import os, pty, time; m, s = pty.openpty(); print(os.ttyname(s), flush=True); time.sleep(300)' \
  >"$SKIFF_RUN_DIR/pty.txt" &
others+=($!)
device=$(first_line "$SKIFF_RUN_DIR/pty.txt" 10000) || fail "no pseudo-terminal"
wine_map_com1 "$device" || exit 99
run_dialog "$SKIFF_RUN_DIR/stop.out"
gui wait-window Connection 30000 >/dev/null || { cat "$SKIFF_RUN_DIR/stop.out"; fail "no connection dialog"; }
expect_eq "$(gui dlg-text Connection 1002)" "Looking for Newton..." "the dialog's text"
expect_eq "$(gui dlg-text Connection 31)" "STOP" "the dialog's button"
gui click Connection 31 || fail "could not press STOP"
skiff_wait_exit 20 || fail "the dialog did not end after STOP"
grep -q "connection dialog ended with 2" "$SKIFF_RUN_DIR/stop.out" || { cat "$SKIFF_RUN_DIR/stop.out"; fail "STOP"; }

# A Newton calls (and stays, echoing): accepted, connected.
"$sim" --log "$SKIFF_RUN_DIR/sim.log" --call-timeout 90000 echo >"$SKIFF_RUN_DIR/sim.out" 2>&1 &
others+=($!)
device=$(first_line "$SKIFF_RUN_DIR/sim.out" 10000) || fail "newton-sim did not start"
wine_map_com1 "$device" || exit 99
run_dialog "$SKIFF_RUN_DIR/connect.out"
skiff_wait_exit 60 || fail "the dialog did not end while newton-sim called"
grep -q "connection dialog ended with 5" "$SKIFF_RUN_DIR/connect.out" ||
  { cat "$SKIFF_RUN_DIR/connect.out" "$SKIFF_RUN_DIR/sim.out"; fail "the call was not accepted"; }
# The desktop's answer to the call (its own LR) reached the Newton.
grep -q "rx LR len=24" "$SKIFF_RUN_DIR/sim.log" || fail "the Newton never saw the desktop accept"
echo "    after the accept: $(grep 'pipe state' "$SKIFF_RUN_DIR/connect.out")"
exit 0
