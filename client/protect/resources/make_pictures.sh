#!/usr/bin/env bash
# Draws the protection program's pictures with ImageMagick: the scan
# reminder's picture (bitmap 157, which carries the reminder's text) and the
# up, down, focused and disabled faces of its two buttons. Run it once when a
# picture changes; the .bmp files are kept in the repository.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
font=DejaVu-Sans
bold=DejaVu-Sans-Bold

# 320 by 170: a title, two lines of text, room for the buttons (at y 104)
# and the link (at y 140) on a deep blue that the white link reads on.
convert -size 320x170 gradient:'#2a4f8a-#0d1d3a' \
  -fill '#ffffff' -font "$bold" -pointsize 15 -annotate +16+28 'Kelvan Gorsewatch' \
  -fill '#9fc3ff' -font "$font" -pointsize 11 -annotate +16+46 'Scan reminder' \
  -fill '#ffffff' -font "$font" -pointsize 11 \
  -annotate +16+70 'Your computer has not been scanned for pests' \
  -annotate +16+86 'for more than seven days. Scan it now?' \
  -fill none -stroke '#9fc3ff' -draw 'line 16,54 304,54' \
  BMP3:reminder.bmp

# face NAME TEXT: the four faces of a 96 by 26 button.
face() {
  local name=$1 text=$2
  local common=(-font "$bold" -pointsize 11 -gravity center)
  convert -size 96x26 gradient:'#f4f8ff-#c9d9f2' -fill none -stroke '#0d1d3a' \
    -draw 'rectangle 0,0 95,25' -stroke none -fill '#0d1d3a' "${common[@]}" -annotate +0+0 "$text" \
    "BMP3:${name}u.bmp"
  convert -size 96x26 gradient:'#aec4e6-#dbe6f7' -fill none -stroke '#0d1d3a' \
    -draw 'rectangle 0,0 95,25' -stroke none -fill '#0d1d3a' "${common[@]}" -annotate +1+1 "$text" \
    "BMP3:${name}d.bmp"
  convert -size 96x26 gradient:'#f4f8ff-#c9d9f2' -fill none -stroke '#ffc400' \
    -draw 'rectangle 0,0 95,25' -draw 'rectangle 1,1 94,24' -stroke none -fill '#0d1d3a' \
    "${common[@]}" -annotate +0+0 "$text" "BMP3:${name}f.bmp"
  convert -size 96x26 xc:'#d8dce3' -fill none -stroke '#8a9099' -draw 'rectangle 0,0 95,25' \
    -stroke none -fill '#8a9099' "${common[@]}" -annotate +0+0 "$text" "BMP3:${name}x.bmp"
}
face scannow 'Scan Now'
face scanlater 'Later'

# The program's icon (129): a white shield on a blue disc, 32 and 16 pixels.
for size in 32 16; do
  convert -size 64x64 xc:none -fill '#2a4f8a' -draw 'circle 32,32 32,1' \
    -fill '#ffffff' -draw 'polygon 32,12 50,19 48,38 32,54 16,38 14,19' \
    -fill '#2a4f8a' -draw 'polygon 32,20 43,24 42,36 32,46' \
    -resize "${size}x${size}" "PNG32:icon-$size.png"
done
convert icon-32.png icon-16.png wakenor.ico
rm -f icon-32.png icon-16.png
