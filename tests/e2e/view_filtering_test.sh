# The view shrinks a 3840 x 2160 mosaic to about 466 x 262 pixels: sampled
# without mipmaps, tiles of one-pixel stripes and checkers turn into moire.
# At the default draw flags the mosaic must show its tiles' average colour;
# the "Mipmapping" toggle (n) then switches mipmaps for the target picture,
# seen here with the Alpha slider at 0.
source "$(dirname "$0")/lib.sh" "$@"

mkdir -p texture images
cp "$SOURCE_DIR"/texture/*.png texture/
cp /usr/share/fonts/truetype/inconsolata/Inconsolata.otf Inconsolata.ttf
# Tiles of the cell size, so that their thumbnails keep every stripe: three
# one-pixel patterns in four colour pairs, each pair averaging to grey.
patterns=("(i+j)%2" "i%2" "j%2")
pairs=("black,white" "red,cyan" "blue,yellow" "lime,magenta")
for p in 0 1 2; do
  for c in 0 1 2 3; do
    convert -size 32x18 xc: -fx "${patterns[$p]}" +level-colors "${pairs[$c]}" \
      "images/tile$p$c.png"
  done
done
# A target of the working image's size made of one-pixel checkers: every
# cell matches a striped tile, and the picture itself aliases unfiltered.
convert -size 3840x2160 pattern:gray50 target.png
printf '[image]\nimage_default=target.png\n' >tessaline.cfg

# The middle of the mosaic's part of the view (the view lies at (7, 27), the
# 16:9 mosaic 466 x 262 pixels from x = 87), clear of the icons: its
# standard deviation and its mean, grey levels from 0 to 1. Without an
# argument from a new screenshot, shot.png.
middle() {
  [ -n "${2:-}" ] || import -window "$WID" shot.png
  convert "${2:-shot.png}" -crop 300x160+170+80 +repage -colorspace Gray -format "%[fx:$1]" info:
}
spread() { middle standard_deviation "${1:-}"; }
mean_grey() { middle mean "${1:-}"; }
# Takes screenshots until the spread is below ($2 "<") or above ($2 ">")
# the bound $1; fails with the message $3 after 20 s.
wait_for_spread() {
  local deadline=$((SECONDS + 20)) s
  while :; do
    s=$(spread)
    if [ "$2" = "<" ]; then below "$s" "$1" && return; else below "$1" "$s" && return; fi
    [ $SECONDS -lt $deadline ] || fail "$3 (spread $s)"
    sleep 0.3
  done
}
SMOOTH=0.06  # filtered, the view is flat grey (0); moire measures about 0.17
MOIRE=0.12

start_app
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_line "status : photomosaic have been generated." 60 console.txt
# The view is redrawn after that line: wait until it shows the tiles' mean
# grey (filtered or not, the middle of the view averages to it), then
# measure how flat it is.
deadline=$((SECONDS + 20))
until below 0.45 "$(mean_grey)" && below "$(mean_grey shot.png)" 0.55; do
  [ $SECONDS -lt $deadline ] || fail "the mosaic did not show (mean grey $(mean_grey shot.png))"
  sleep 0.3
done
mosaic=$(spread shot.png)
cp shot.png mosaic_shot.png
below "$mosaic" "$SMOOTH" || fail "the mosaic shimmers at the default draw flags (spread $mosaic)"

# Alpha 0: only the picture shows, unfiltered at the default flags.
drag_slider 298 100 348
wait_for_spread "$MOIRE" ">" "the picture did not show through at alpha 0"
cp shot.png picture_plain.png
press n
wait_for_spread "$SMOOTH" "<" "Mipmapping on did not filter the picture"
cp shot.png picture_mipmapped.png
press n
wait_for_spread "$MOIRE" ">" "Mipmapping off still filters the picture"

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp mosaic_shot.png picture_plain.png picture_mipmapped.png "$TESSALINE_SHOTS/"
fi
press Escape
wait_app
echo "view filtering: ok"
