#!/usr/bin/env bash
# Draws the interface pictures under texture/ with ImageMagick: the logo, the
# big cursor, and the normal and alternate pictures of the four view icons.
# Icons are white glyphs with a dark outline on a transparent background so
# they read over any mosaic. Run it again after changing a drawing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/texture}
mkdir -p "$out"
S=256   # drawing size; icons are scaled down to 64 x 64 for smooth edges

icon() {  # icon NAME DRAW...
  local name=$1
  shift
  convert -size ${S}x${S} xc:none -stroke '#202020' -strokewidth 22 -fill none "$@" \
    -stroke white -strokewidth 10 "$@" -resize 64x64 "PNG32:$out/$name"
}

# Full screen: four corners pointing outwards; its alternate points inwards.
icon fullscreen.png \
  -draw "polyline 40,100 40,40 100,40" -draw "polyline 156,40 216,40 216,100" \
  -draw "polyline 216,156 216,216 156,216" -draw "polyline 100,216 40,216 40,156"
icon fullscreen2.png \
  -draw "polyline 100,40 100,100 40,100" -draw "polyline 156,40 156,100 216,100" \
  -draw "polyline 216,156 156,156 156,216" -draw "polyline 100,216 100,156 40,156"

# Video input: a movie camera; its alternate (back to photos): a photograph.
icon icon_video.png \
  -draw "roundrectangle 30,80 170,190 14,14" -draw "polygon 176,120 226,88 226,182 176,150"
icon icon_photos.png \
  -draw "roundrectangle 28,48 228,208 12,12" -draw "polyline 44,192 104,120 144,164 172,136 212,192" \
  -draw "circle 180,88 180,104"

# Auto pilot: a die showing five.
icon random.png -draw "roundrectangle 40,40 216,216 30,30" \
  -draw "circle 88,88 88,98" -draw "circle 168,88 168,98" -draw "circle 128,128 128,138" \
  -draw "circle 88,168 88,178" -draw "circle 168,168 168,178"

# Fade: a gradation bar from dark to light inside a white frame.
convert -size 180x120 gradient:'#101010'-'#f0f0f0' -rotate 90 -resize 180x120! /tmp/tessaline_grad.png
convert -size ${S}x${S} xc:none \
  /tmp/tessaline_grad.png -geometry +38+68 -composite \
  -stroke '#202020' -strokewidth 22 -fill none -draw "rectangle 38,68 218,188" \
  -stroke white -strokewidth 10 -draw "rectangle 38,68 218,188" \
  -resize 64x64 "PNG32:$out/icon_grad.png"
rm -f /tmp/tessaline_grad.png

# Big cursor: an arrow pointer, tip at the top left corner.
convert -size 128x128 xc:none -stroke black -strokewidth 6 -fill white \
  -draw "polygon 6,6 6,100 30,78 48,118 66,110 48,72 80,72" \
  -resize 64x64 "PNG32:$out/cursor.png"

# Logo: the name under a strip of coloured tiles.
font=/usr/share/fonts/truetype/inconsolata/Inconsolata.otf
[ -f "$font" ] || font=DejaVu-Sans
tiles=()
colours=('#e4572e' '#f3a712' '#a8c686' '#669bbc' '#29335c' '#d36582' '#4e8098' '#90c2e7' '#ffb997')
for i in $(seq 0 17); do
  x=$((8 + i * 28))
  c=${colours[$(( (i * 5) % 9 ))]}
  tiles+=(-fill "$c" -draw "rectangle $x,8 $((x + 24)),22")
done
convert -size 512x128 xc:none "${tiles[@]}" \
  -font "$font" -pointsize 84 -fill white -stroke '#202020' -strokewidth 3 \
  -gravity south -annotate +0+4 'tessaline' "PNG32:$out/logo.png"
echo "artwork written to $out"
