# Sourced by scripts/wine-tests.sh, the Wine tests and the Wine benchmarks: one Xvfb display and one Wine
# prefix per run. The prefix is made once (wineboot, nothing fetched from the network) and reused by later runs.
# Which Wine and which build: scripts/wine-arch.sh (32-bit Wine and build/win32 where this machine runs 32-bit
# programs, else 64-bit Wine, build/win64 and a prefix of its own); `wine` and `wineserver` are that Wine's.
#
#   wine_env_start        start Xvfb and the Wine server unless this run already has them (idempotent)
#   wine_env_stop         stop the Wine server and the Xvfb this run started
#   wine_env_restart      kill the Wine server and start again (after Wine itself failed to start)
#   wine_map_com1 DEVICE  map COM1 to a Unix serial device (a pseudo-terminal) in the prefix's registry
#   wine_map_port PORT DEVICE...  the same for any of COM1 to COM4
#   gui ARGS...           run the Win32 test driver (tests/win32/gui_driver.cpp) with a deadline
#   skiff_start DIR       start skiff.exe with DIR as its current directory; sets SKIFF_PID
#   skiff_wait_exit SECS  wait for skiff.exe to end; sets SKIFF_EXIT, returns 1 on time-out
#   skiff_kill            end the skiff.exe this script started (by its process id)
#   screenshot FILE.png   grab the Xvfb screen (the virtual desktop's part with SKIFF_DESKTOP)
#   gui_test_begin NAME, skiff_up, skiff_dismiss_splash, fail, expect_eq, wait_file_hex: see below
#
# Variables: SKIFF_WINE_ARCH (32 or 64) and SKIFF_WINE_ARCH_WHY, WINEPREFIX, DISPLAY, SKIFF_WIN32_BIN (the
# Windows build directory: build/win32 or build/win64), SKIFF_ARTEFACTS.

_wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$_wine_env_root/scripts/wine-arch.sh"
_wine_env_refused=""
wine_arch_choose || _wine_env_refused=$SKIFF_WINE_ARCH_WHY
export SKIFF_WINE_ARCH SKIFF_WINE_ARCH_WHY
if [ "$SKIFF_WINE_ARCH" = 64 ]; then
  _wine_build=win64 _wine_suffix=64 _wine_loader=/usr/lib/wine/wine64 _wine_server=/usr/lib/wine/wineserver64
  export WINEARCH=win64
else
  _wine_build=win32 _wine_suffix="" _wine_loader=/usr/lib/wine/wine _wine_server=/usr/lib/wine/wineserver32
  export WINEARCH=win32
fi
export SKIFF_WIN32_BIN=${SKIFF_WIN32_BIN:-$_wine_env_root/build/$_wine_build}
export SKIFF_ARTEFACTS=${SKIFF_ARTEFACTS:-$_wine_env_root/build/artefacts${_wine_suffix:+-win$_wine_suffix}}
export WINEPREFIX=${WINEPREFIX:-$_wine_env_root/build/wineprefix$_wine_suffix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download dialogs, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=d}
_wine_env_state=${SKIFF_WINE_STATE:-$_wine_env_root/build/wine-run$_wine_suffix}
# Debian's `wine` and `wineserver` take the 32-bit Wine whenever it is installed, whatever the prefix; this run's
# own `wine` and `wineserver` (first on PATH, for the tests too) are those of the chosen Wine. Wine starts further
# programs and its server with WINELOADER and WINESERVER.
export WINELOADER=$_wine_loader WINESERVER=$_wine_server
case ":$PATH:" in
  *":$_wine_env_state/bin:"*) ;;
  *) export PATH="$_wine_env_state/bin:$PATH" ;;
esac

_wine_log() { echo "wine-env: $*" >&2; }

_wine_xvfb_alive() {
  [ -n "${SKIFF_XVFB_PID:-}" ] && kill -0 "$SKIFF_XVFB_PID" 2>/dev/null
}

_wine_start_xvfb() {
  mkdir -p "$_wine_env_state"
  rm -f "$_wine_env_state/display"
  # Xvfb picks a free display number itself and writes it to the descriptor: no clash with other runs.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$_wine_env_state/display" \
    >"$_wine_env_state/xvfb.log" 2>&1 &
  SKIFF_XVFB_PID=$!
  local deadline=$((SECONDS + 20))
  until [ -s "$_wine_env_state/display" ]; do
    if ! kill -0 "$SKIFF_XVFB_PID" 2>/dev/null || [ $SECONDS -ge $deadline ]; then
      _wine_log "Xvfb did not start"; cat "$_wine_env_state/xvfb.log" >&2; return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$_wine_env_state/display")"
  export SKIFF_XVFB_PID
  echo "$SKIFF_XVFB_PID" >"$_wine_env_state/xvfb.pid"
  _wine_log "Xvfb $SKIFF_XVFB_PID on $DISPLAY"
}

# What a failed start of Wine leaves to go on, in one block: the loader's last lines, which loader and which PATH.
_wine_start_failed() {
  {
    echo "wine-env: wineboot failed: $SKIFF_WINE_ARCH-bit Wine, loader $WINELOADER started as $(command -v wine)"
    echo "wine-env: PATH=$PATH"
    echo "wine-env: the loader's last lines ($_wine_env_state/wineboot.log):"
    tail -n 20 "$_wine_env_state/wineboot.log" | sed 's/^/    /'
  } >&2
}

_wine_boot() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    _wine_log "creating the Wine prefix $WINEPREFIX (once; later runs reuse it)"
    mkdir -p "$(dirname "$WINEPREFIX")"
    timeout 300 wine wineboot -i >"$_wine_env_state/wineboot.log" 2>&1 || { _wine_start_failed; return 1; }
    timeout 120 wineserver -w 2>/dev/null || true
  fi
  # Wine draws the caption buttons with its Marlett font. A Wine that does not load the fonts of its own data
  # folder (Debian's Wine 8) shows the letters "0 1 r" there instead; the prefix's font folder is always read.
  local marlett=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$marlett" ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then cp "$marlett" "$fonts/"; fi
  # A server that outlives each program for a minute keeps later Wine starts fast, and still ends by itself
  # if this run is killed before it can stop it.
  timeout 30 wineserver -p60 2>/dev/null || true
}

# wine_env_usable: whether the chosen Wine is there to run the tests; WINE_ENV_PROBLEM says why not.
wine_env_usable() {
  local package=wine32:i386
  [ "$SKIFF_WINE_ARCH" = 64 ] && package=wine64
  if [ -n "$_wine_env_refused" ]; then
    WINE_ENV_PROBLEM=$_wine_env_refused
  elif [ ! -x "$_wine_loader" ] || [ ! -x "$_wine_server" ]; then
    WINE_ENV_PROBLEM="$SKIFF_WINE_ARCH-bit Wine is not installed ($_wine_loader, package $package)"
  elif ! command -v Xvfb >/dev/null; then
    WINE_ENV_PROBLEM="Xvfb is not installed"
  else
    WINE_ENV_PROBLEM=""
  fi
  [ -z "$WINE_ENV_PROBLEM" ]
}

# wine_env_programs: this run's `wine` and `wineserver` (first on PATH). Each is a script that starts the chosen
# Wine's program under that program's own name: Debian's 64-bit loader takes the name it was started by to choose
# which loader it is, and started through a link named `wine` it hands over to the 32-bit one.
wine_env_programs() {
  mkdir -p "$_wine_env_state/bin"
  local name target
  for name in wine wineserver; do
    target=$_wine_loader
    [ $name = wine ] || target=$_wine_server
    rm -f "$_wine_env_state/bin/$name"
    printf '#!/bin/sh\n# %s of this run: %s under its own name\nexec %s "$@"\n' "$name" "$target" "$target" \
      >"$_wine_env_state/bin/$name"
    chmod +x "$_wine_env_state/bin/$name"
  done
}

wine_env_start() {
  wine_env_usable || { _wine_log "$WINE_ENV_PROBLEM"; return 1; }
  mkdir -p "$SKIFF_ARTEFACTS"
  wine_env_programs
  if ! _wine_xvfb_alive; then
    _wine_start_xvfb || return 1
    SKIFF_WINE_OWNER=$$
    export SKIFF_WINE_OWNER
  fi
  if [ -z "${SKIFF_WINE_BOOTED:-}" ]; then
    _wine_boot || return 1
    export SKIFF_WINE_BOOTED=1
  fi
}

wine_env_stop() {
  # Only the shell that started the display takes it down; tests run inside a run leave it to the runner.
  [ "${SKIFF_WINE_OWNER:-}" = "$$" ] || return 0
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
  if _wine_xvfb_alive; then
    kill "$SKIFF_XVFB_PID" 2>/dev/null
    local deadline=$((SECONDS + 10))
    while kill -0 "$SKIFF_XVFB_PID" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
    kill -9 "$SKIFF_XVFB_PID" 2>/dev/null || true
  fi
  unset SKIFF_XVFB_PID SKIFF_WINE_BOOTED SKIFF_WINE_OWNER
}

wine_env_restart() {
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
  unset SKIFF_WINE_BOOTED
  _wine_xvfb_alive || _wine_start_xvfb || return 1
  wine_env_start
}

wine_map_com1() { wine_map_port COM1 "$1"; }

# wine_map_port PORT DEVICE [PORT DEVICE...]: maps ports (COM1 to COM4) to Unix devices; a device that does
# not exist makes a missing port.
wine_map_port() {
  while [ $# -ge 2 ]; do
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /d "$2" /f >/dev/null 2>&1 || return 1
    shift 2
  done
  # The server reads the port mapping when it starts.
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w 2>/dev/null || true
  timeout 30 wineserver -p60 2>/dev/null || true
}

# The Win32 test driver; every call has its own deadline on top of the driver's.
# With SKIFF_DESKTOP set it works on the windows of the virtual desktop skiff_start made.
gui() {
  local desktop=()
  [ -z "${SKIFF_DESKTOP:-}" ] || desktop=(--desktop skiff)
  timeout "${SKIFF_GUI_TIMEOUT:-60}" wine "$SKIFF_WIN32_BIN/gui_driver.exe" "${desktop[@]}" "$@" |
    tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# Starts skiff.exe in DIR (its current directory, where skiff.cfg lives). With SKIFF_DESKTOP=WxH it runs in a
# Wine virtual desktop, so that screenshots show window frames and captions.
skiff_start() {
  local dir=$1
  cp "$SKIFF_WIN32_BIN/skiff.exe" "$dir/skiff.exe"
  if [ -n "${SKIFF_DESKTOP:-}" ]; then
    (cd "$dir" && exec wine explorer "/desktop=skiff,$SKIFF_DESKTOP" ./skiff.exe >"$dir/wine.log" 2>&1) &
  else
    (cd "$dir" && exec wine ./skiff.exe >"$dir/wine.log" 2>&1) &
  fi
  SKIFF_PID=$!
}

# sim_start OUTDIR NEWTON-SIM-ARGS...: the native newton-sim on a pseudo-terminal, COM1 mapped to it. Sets SIM_PID
# and SIM_DEVICE; the simulator and skiff.exe are stopped when the test ends.
sim_start() {
  local out=$1; shift
  local sim=${SKIFF_NATIVE_BIN:-$_wine_env_root/build/native}/newton-sim
  [ -x "$sim" ] || fail "$sim was not built"
  mkdir -p "$out"
  "$sim" "$@" >"$out/sim.out" 2>"$out/sim.err" &
  SIM_PID=$!
  trap 'skiff_kill; [ -z "${SIM_PID:-}" ] || kill "$SIM_PID" 2>/dev/null; rm -rf "$SKIFF_RUN_DIR"' EXIT
  local deadline=$((SECONDS + 10))
  until [ -s "$out/sim.out" ]; do
    [ $SECONDS -lt $deadline ] && kill -0 "$SIM_PID" 2>/dev/null || fail "newton-sim gave no device: $(cat "$out/sim.err")"
    sleep 0.05
  done
  SIM_DEVICE=$(head -n1 "$out/sim.out")
  wine_map_com1 "$SIM_DEVICE" || exit 99
}

# wait_exit PID SECS: waits up to SECS for the child PID to end; sets WAITED_EXIT to its exit code. Returns 1
# on time-out.
wait_exit() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  wait "$1"
  WAITED_EXIT=$?
}

# sim_wait SECS: waits for the simulator to end; sets SIM_EXIT. Returns 1 on time-out.
sim_wait() {
  wait_exit "$SIM_PID" "$1" || return 1
  SIM_EXIT=$WAITED_EXIT
  SIM_PID=
}

# Waits up to SECS for skiff.exe to end; sets SKIFF_EXIT to its exit code. Returns 1 on time-out.
skiff_wait_exit() {
  wait_exit "$SKIFF_PID" "${1:-20}" || return 1
  SKIFF_EXIT=$WAITED_EXIT
}

skiff_kill() {
  [ -n "${SKIFF_PID:-}" ] || return 0
  kill "$SKIFF_PID" 2>/dev/null || true
  local deadline=$((SECONDS + 5))
  while kill -0 "$SKIFF_PID" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  kill -9 "$SKIFF_PID" 2>/dev/null || true
  wait "$SKIFF_PID" 2>/dev/null || true
  SKIFF_PID=
}

# --- for tests/wine/*.sh ------------------------------------------------------------------------------------------
# gui_test_begin NAME: the Wine environment (exit 99 when Wine cannot start), a fresh working directory in
# SKIFF_RUN_DIR, and clean-up of whatever the test started when it ends.
gui_test_begin() {
  SKIFF_TEST_NAME=$1
  wine_env_start || exit 99
  [ -f "$SKIFF_WIN32_BIN/skiff.exe" ] || { echo "FAIL: $SKIFF_WIN32_BIN/skiff.exe was not built"; exit 1; }
  SKIFF_RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/skiff-$SKIFF_TEST_NAME.XXXXXX")
  trap 'skiff_kill; rm -rf "$SKIFF_RUN_DIR"; wine_env_stop' EXIT  # the stop only acts when run on its own
}

# skiff_up: starts skiff.exe in SKIFF_RUN_DIR and waits for its main window (exit 99 when it never comes).
skiff_up() {
  skiff_start "$SKIFF_RUN_DIR"
  if ! gui wait-window 'Skiff|Skiff' "${SKIFF_START_MS:-30000}" >/dev/null; then
    echo "skiff.exe did not show its window; Wine log:"; tail -n 20 "$SKIFF_RUN_DIR/wine.log"
    exit 99
  fi
}

# Ends the splash at once (OK on the About box) so that a test can go on without waiting four seconds.
skiff_dismiss_splash() {
  gui click 'owned:Skiff|Skiff' 1 >/dev/null 2>&1 || true
  gui wait-gone 'owned:Skiff|Skiff' 10000 >/dev/null
}

fail() { echo "FAIL: $*"; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "${3:-value}: expected '$2', got '$1'"; }

# Waits up to MS milliseconds for FILE to hold exactly the bytes HEX (e.g. "43 4f 4d 31 ..."). Prints what it has.
wait_file_hex() {
  local file=$1 want=$2 ms=${3:-10000} have=""
  local deadline=$(( $(date +%s%3N) + ms ))
  while :; do
    [ -f "$file" ] && have=$(od -An -tx1 -v "$file" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
    [ "$have" = "$want" ] && return 0
    [ "$(date +%s%3N)" -lt "$deadline" ] || { echo "$have"; return 1; }
    sleep 0.05
  done
}

# With SKIFF_DESKTOP set the picture is cut to the virtual desktop, which sits in the screen's top-left corner.
screenshot() {
  mkdir -p "$(dirname "$1")"
  local crop=()
  [ -z "${SKIFF_DESKTOP:-}" ] || crop=(-crop "${SKIFF_DESKTOP}+0+0" +repage)
  timeout 30 import -display "$DISPLAY" -window root "${crop[@]}" "$1" 2>/dev/null
}
