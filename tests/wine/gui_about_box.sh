#!/usr/bin/env bash
# The About box measured, whatever font Wine gives its template: the client area is exactly the picture, the OK
# button lies inside the picture and clear of its caption "Notes, pictures, bitmaps and packages", and the
# rectangle the version text is drawn into (control 1007's place, taken in window coordinates) holds the whole
# text "v2.03 QUAYLINE/32" measured in the font it is drawn with, inside the picture and clear of the caption.
cd "$(dirname "$0")/../.." && source scripts/wine-env.sh
gui_test_begin about_box
read -r pic_w pic_h < <(identify -format '%w %h\n' ui/resources/splash.bmp) || fail "cannot read splash.bmp"
# Where the caption lies on the picture (ui/resources/art/splash.mvg, 10-pixel text at 12,238), with a margin.
caption=(11 228 205 242)

skiff_up
# The splash's one tick also closes an About box opened before it: the box is opened once the tick has come.
gui wait-window 'owned:Skiff|Skiff' 10000 >/dev/null || fail "no splash"
gui wait-gone 'owned:Skiff|Skiff' 12000 || fail "the splash stayed"
gui command 'Skiff|Skiff' 41 || fail "could not post About"
about='owned:Skiff|Skiff'
gui wait-window "$about" 10000 >/dev/null || fail "no About box"
expect_eq "$(gui client "$about")" "$pic_w $pic_h" "the About box's client area against its picture"

read -r cl ct _ _ < <(gui client-box "$about")
read -r wl wt _ _ < <(gui rect "$about")
read -r ol ot or ob < <(gui rect "$about" 1)
read -r vl vt vr vb < <(gui rect "$about" 1007)
read -r tw th < <(gui text-size 'v2.03 QUAYLINE/32')
echo "    OK button $((ol - cl)),$((ot - ct))-$((or - cl)),$((ob - ct)); version text ${tw}x${th}"

# LEFT TOP RIGHT BOTTOM (client pixels) lies inside the picture and clear of the caption.
on_picture() {
  [ "$1" -ge 0 ] && [ "$2" -ge 0 ] && [ "$3" -le "$pic_w" ] && [ "$4" -le "$pic_h" ] ||
    fail "$5 ($1,$2)-($3,$4) leaves the ${pic_w}x${pic_h} picture"
  [ "$3" -le "${caption[0]}" ] || [ "$1" -ge "${caption[2]}" ] || [ "$4" -le "${caption[1]}" ] ||
    [ "$2" -ge "${caption[3]}" ] || fail "$5 ($1,$2)-($3,$4) covers the picture's caption"
}
on_picture $((ol - cl)) $((ot - ct)) $((or - cl)) $((ob - ct)) "the OK button"

# The text goes right-aligned from the top of control 1007's place, in window coordinates used as client ones.
dl=$((vl - wl)); dt=$((vt - wt)); dr=$((vr - wl)); db=$((vb - wt))
[ "$tw" -gt 0 ] && [ "$th" -gt 0 ] || fail "the version text measured ${tw}x${th}"
[ $((dr - dl)) -ge "$tw" ] && [ $((db - dt)) -ge "$th" ] ||
  fail "the version text (${tw}x${th}) does not fit its place ($dl,$dt)-($dr,$db)"
on_picture $((dr - tw)) "$dt" "$dr" $((dt + th)) "the version text"
[ $((dr - tw)) -ge $((or - cl)) ] || [ $((dt + th)) -le $((ot - ct)) ] ||
  fail "the version text runs into the OK button"

gui click "$about" 1 >/dev/null || fail "could not press OK"
gui wait-gone "$about" 10000 || fail "the About box stayed"
exit 0
