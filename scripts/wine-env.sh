# Sourced by the Wine test scripts: one Wine prefix and one Xvfb display per run.
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export DISPLAY=${SKIFF_DISPLAY:-:97}
wine_env_start() { :; }
wine_env_restart() { :; }
wine_env_stop() { :; }
