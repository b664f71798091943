#!/usr/bin/env bash
# Renders the artwork sources (*.mvg, ImageMagick vector graphics) into the resources skiff.rc binds:
# 24-bit bitmaps and a 16/32/48 pixel icon. The outputs are committed, so the build itself needs no ImageMagick.
# Usage: ui/resources/art/make-art.sh   (needs imagemagick and fonts-dejavu-core)
set -euo pipefail
cd "$(dirname "$0")"
out=..
magick=/usr/bin/convert
[ -x "$magick" ] || magick=convert
bmp() { "$magick" -size "$2" "mvg:$1.mvg" -alpha off -type TrueColor "BMP3:$out/$3"; }
bmp controls 600x400 controls.bmp
bmp download 104x46 download.bmp
bmp package 104x46 package.bmp
bmp receive 104x46 receive.bmp
bmp splash 388x332 splash.bmp
"$magick" -size 64x64 -background none mvg:icon.mvg -define icon:auto-resize=48,32,16 "$out/skiff.ico"
echo "artwork written to ui/resources/"
