# Shared by the package tests under Wine (sourced after scripts/wine-env.sh): a valid package file, and
# newton-sim's dock on a pseudo-terminal that COM1 is mapped to.

SKIFF_NATIVE_BIN=${SKIFF_NATIVE_BIN:-$_wine_env_root/build/native}

_be32() {
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((($1 >> 24) & 255)) $((($1 >> 16) & 255)) $((($1 >> 8) & 255)) $(($1 & 255))
}

# make_package FILE SIZE: one "form" part named "Skiff:TEST" whose data fills the file to SIZE bytes.
make_package() {
  local file=$1 size=$2 part=$(($2 - 108))
  {
    printf "package0xxxx$(_be32 0)$(_be32 1)$(_be32 0)$(_be32 22)$(_be32 "$size")"
    printf "$(_be32 0)$(_be32 0)$(_be32 0)$(_be32 108)$(_be32 1)"
    printf "$(_be32 0)$(_be32 "$part")$(_be32 "$part")form$(_be32 0)$(_be32 0x81)$(_be32 0)$(_be32 0)"
    printf '\x00S\x00k\x00i\x00f\x00f\x00:\x00T\x00E\x00S\x00T\x00\x00\x00\x00'
    head -c "$part" /dev/urandom
  } >"$file"
  [ "$(stat -c %s "$file")" = "$size" ] || fail "the package file has $(stat -c %s "$file") bytes, not $size"
}

# dock_start OUTDIR [DOCK ARGS...]: newton-sim's dock at 38400 bit/s, COM1 mapped to its pseudo-terminal.
# Sets SIM_PID; the simulator is stopped when the test ends.
dock_start() {
  local out=$1; shift
  [ -x "$SKIFF_NATIVE_BIN/newton-sim" ] || fail "$SKIFF_NATIVE_BIN/newton-sim was not built"
  mkdir -p "$out"
  "$SKIFF_NATIVE_BIN/newton-sim" --baud 38400 --log "$out/sim.log" dock --out "$out" "$@" \
    >"$out/sim.out" 2>"$out/sim.err" &
  SIM_PID=$!
  trap 'skiff_kill; [ -z "${SIM_PID:-}" ] || kill "$SIM_PID" 2>/dev/null; rm -rf "$SKIFF_RUN_DIR"' EXIT
  local deadline=$((SECONDS + 10))
  until [ -s "$out/sim.out" ]; do
    [ $SECONDS -lt $deadline ] || fail "newton-sim gave no device: $(cat "$out/sim.err")"
    sleep 0.05
  done
  SIM_DEVICE=$(head -n1 "$out/sim.out")
  wine_map_com1 "$SIM_DEVICE" || fail "could not map COM1 to $SIM_DEVICE"
}

# dock_wait SECS: waits for the simulator to end; sets SIM_EXIT. Returns 1 on time-out.
dock_wait() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$SIM_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  wait "$SIM_PID"
  SIM_EXIT=$?
  SIM_PID=
}

# package_choose FILE: presses "Package" and picks FILE in the real open-file dialog.
package_choose() {
  local dialog='#32770|Choose package file to download'
  gui click 'Skiff|Skiff' 3 >/dev/null || fail "could not press Package"
  gui wait-window "$dialog" 20000 >/dev/null || fail "no open-file dialog"
  gui set-text "$dialog" 1148 "Z:${1//\//\\}" || fail "could not type the file name"
  gui click "$dialog" 1 >/dev/null || fail "could not press Open"
  gui wait-gone "$dialog" 10000 || fail "the open-file dialog stayed"
}

# No message box ("#32770|Skiff") is showing.
no_message_box() {
  ! gui windows | grep -q '#32770.*Skiff$'
}
