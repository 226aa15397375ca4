# The view at work: Generate loads a tile folder on the worker with its
# progress on the status line and shows the mosaic; a click on a tile zooms
# into it; Left and Right reload at the neighbouring tile sizes; the random
# icon starts the auto pilot and a right click stops it after the running
# zoom.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 5  # fifty pictures

# Two tile sizes, so that Left and Right change something; the first mosaic
# is that of a photograph whose top and bottom differ (a pier under the
# sky), so that a picture upside down cannot pass for it.
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_scale_list=32,18,64,36
[image]
image_default=images/BytheWater.jpg
CFG
[ -f images/BytheWater.jpg ] || fail "the sample photograph BytheWater.jpg is missing"
# The view is compared with the exported mosaic scaled down: with the
# "Mipmapping" toggle on (draw bit 32) the view averages the cells it
# shrinks as the scaled export does.
cat >tessaline.ini <<'INI'
[gl]
draw=97
INI

# The view lies at (7, 27) in the 640 x 480 window and is 626 x 262 pixels;
# the 16:9 working image fills its height, 466 pixels wide, centred.
VIEW_X=7 VIEW_Y=27 MOSAIC_X=80 MOSAIC_W=466 VIEW_H=262

# The mosaic's part of a screenshot, and the RMSE (0 ... 1) of two pictures.
crop_mosaic() {
  convert "$1" -crop "${MOSAIC_W}x${VIEW_H}+$((VIEW_X + MOSAIC_X))+$VIEW_Y" +repage "$2"
}
# Screenshots the window into $1 and its mosaic part into $2; succeeds when
# that part lies within RMSE $4 of picture $3 (the RMSE goes to DIFF).
view_near() {
  import -window "$WID" "$1"
  crop_mosaic "$1" "$2"
  DIFF=$(rmse "$2" "$3")
  below "$DIFF" "$4"
}
# Screenshots the screen into full.png; succeeds when the part where the view
# shows the mosaic is not black (its mean goes to MEAN).
screen_lit() {
  import -window root full.png
  MEAN=$(convert full.png -crop 640x300+320+400 -colorspace Gray -format '%[fx:mean]' info:)
  below 0.05 "$MEAN"
}

export_mosaic() {
  export_view mosaic_export.png
  convert mosaic_export.png -resize "${MOSAIC_W}x${VIEW_H}!" "$1"
}

start_app

# Generate: progress texts, then the mosaic.
click_at 52 318
wait_for_line "status : photomosaic have been generated." 60 console.txt
grep -q "^status : creating thumbnails - [0-9.e+-]*%$" console.txt ||
  fail "no thumbnail progress on the status line"
first_progress=$(grep -n "^status : creating" console.txt | head -n 1 | cut -d: -f1)
done_line=$(grep -n "^status : photomosaic have been generated.$" console.txt | cut -d: -f1)
[ "$first_progress" -lt "$done_line" ] || fail "the progress came after the mosaic"
for line in "**** load sub images : start ****" "**** load sub images : end ****" \
            "**** generate mosaic : start ****" "**** generate mosaic : end ****"; do
  expect_line "$line" tessaline.log
done

expect_line "image name : BytheWater.jpg" tessaline.log

# The view shows the mosaic the engine made.
export_mosaic export1.png
convert export1.png -flip flipped1.png
poll view_near shot1.png view1.png export1.png 0.08 ||
  fail "the view differs from the exported mosaic (RMSE $DIFF)"
match=$DIFF
other=$(rmse view1.png flipped1.png)
below 0.05 "$(rmse export1.png flipped1.png)" || fail "the first mosaic is nearly symmetric"
below "$match" "$(awk -v o="$other" 'BEGIN { print o / 2 }')" ||
  fail "the view is not closer to the mosaic ($match) than to its mirror image ($other)"

# A click on an interior tile zooms into it: "sel : " names the cell, and
# when the zoom has run its 51 steps the view shows the tile's mosaic.
click_at 320 158
wait_for_line "^sel : 60, 60 - " 30
wait_for_count "zoom : end" 1
export_mosaic export2.png
poll view_near shot2.png view2.png export2.png 0.08 ||
  fail "the zoomed view differs from its mosaic (RMSE $DIFF)"
changed=$(rmse view1.png view2.png)
below 0.02 "$changed" || fail "the view did not change with the zoom (RMSE $changed)"

# The "Colour " slider at its right end paints every cell its target's
# colour at once: the same assignment (no new mosaic is generated), the view
# and the export flat cell by cell, the share logged on release. Back at its
# left end the tiles return.
generations=$(count "generate mosaic : start" tessaline.log)
drag_slider 200 400 408  # the knob from the left end to past the right end
wait_for_line "^colour correction : 1$"
export_mosaic export_flat.png
convert mosaic_export.png -scale '120x120!' -scale '3840x2160!' cells.png
below "$(rmse mosaic_export.png cells.png)" 0.002 || fail "the cells are not flat at colour 1"
poll view_near shot3.png view3.png export_flat.png 0.08 || fail "the view differs from the tinted mosaic"
below 0.02 "$(rmse view2.png view3.png)" || fail "the view did not change with the colour"
drag_slider 298 100 408
wait_for_line "^colour correction : 0$"
export_mosaic export_back.png
below "$(rmse export2.png export_back.png)" 0.002 || fail "colour 0 did not bring the tiles back"
[ "$(count "generate mosaic : start" tessaline.log)" -eq "$generations" ] ||
  fail "the colour slider generated a new mosaic"

# Left and Right walk the two tile sizes; each reloads the library.
press Left
wait_for_line "new tile size : 64 x 36"
wait_for_count "status : photomosaic have been generated." 2 console.txt
press Right
wait_for_count "new tile size : 32 x 18" 1
wait_for_count "status : photomosaic have been generated." 3 console.txt

# The random icon (the third of the row) starts the auto pilot: zoom after
# zoom into random cells. The row of four would run past the view's right
# edge from 0.96 of its width, so it ends where the first icon alone would:
# the third centre lies one pitch (2.4 x 0.03 x the view height) left of
# 0.96 of the width, 0.04 of the height down.
icon_x=$(awk -v vx=$VIEW_X -v h=$VIEW_H 'BEGIN { printf "%d", vx + 626 * 0.96 - 2.4 * 0.03 * h + 0.5 }')
icon_y=$(awk -v vy=$VIEW_Y -v h=$VIEW_H 'BEGIN { printf "%d", vy + 0.04 * h + 0.5 }')
sel_before=$(count "^sel : " tessaline.log)
click_at "$icon_x" "$icon_y"
wait_for_count "^sel : " $((sel_before + 3))

# A right click stops it: the zoom that runs finishes, and no other starts.
click_at 320 158 3
sync_app
sels=$(count "^sel : " tessaline.log)
wait_for_count "zoom : end" "$sels"
export_mosaic export3.png  # one more round of events and idle steps
[ "$(count "^sel : " tessaline.log)" -eq "$sels" ] || fail "the auto pilot went on after a right click"
[ "$(count "zoom : end" tessaline.log)" -eq "$sels" ] || fail "a zoom started after the auto pilot stopped"

# The full-screen icon (the first of the row, three pitches left of 0.96 of
# the width) takes the window and the view over the whole 1280 x 1024
# screen, still showing the mosaic; there its own first icon takes both back.
fs_x=$(awk -v vx=$VIEW_X -v h=$VIEW_H 'BEGIN { printf "%d", vx + 626 * 0.96 - 3 * 2.4 * 0.03 * h + 0.5 }')
click_at "$fs_x" "$icon_y"
poll window_is "$WID" 1280 1024 || fail "full screen is ${WIDTH}x${HEIGHT}"
poll screen_lit || fail "the full-screen view is black (mean $MEAN)"
# At 1280 x 1024 the image is widened to the screen's taller aspect, so the
# icon size follows the screen's height: the first icon sits three pitches
# of 2.4 x 0.03 x 1024 pixels left of 0.96 x 1280.
fs_back_x=$(awk 'BEGIN { printf "%d", 1280 * 0.96 - 3 * 2.4 * 0.03 * 1024 + 0.5 }')
click_at "$fs_back_x" "$(awk 'BEGIN { printf "%d", 1024 * 0.04 + 0.5 }')"
poll window_is "$WID" 640 480 || fail "leaving full screen gave ${WIDTH}x${HEIGHT}"

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp shot1.png "$TESSALINE_SHOTS/gui_mosaic.png"
  cp shot2.png "$TESSALINE_SHOTS/gui_mosaic_zoomed.png"
fi
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
echo "gui mosaic: ok"
