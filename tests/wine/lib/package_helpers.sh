# Shared by the package tests under Wine (sourced after scripts/wine-env.sh): a valid package file, and
# newton-sim's dock on a pseudo-terminal that COM1 is mapped to.


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
dock_start() {
  local out=$1; shift
  sim_start "$out" --baud 38400 --log "$out/sim.log" dock --out "$out" "$@"
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
