# Input lands where the pointer is: with 16 x 9 tiles (a 240 x 240 grid of
# cells about two pixels wide) a click selects exactly the cell under the
# pointer, in the first window, after a resize and in view full screen,
# where the hidden panel takes no clicks and keys still work. The fade icon
# let go outside the view fades the mosaic back in. An empty tile folder
# says so on the status line, and a tile size larger than the working image
# is refused.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 2

cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=16
sub_height=9
sub_scale_list=16,9,32,18
CFG

# RMSE (0 ... 1) of the view's middle in two screenshots.
view_rmse() {
  { compare -metric RMSE -extract "300x150+$((VX + 160))+$((VY + 100))" "$1" "$2" null: 2>&1 ||
    true; } | sed 's/.*(\(.*\))/\1/'
}

# The view's place and size in the main window: VX VY VW VH.
view_geometry() {
  local child
  child=$(xwininfo -children -id "$WID" | awk '/^ +0x[0-9a-f]+ .*: \(/ { print $1; exit }')
  [ -n "$child" ] || fail "the view's window was not found"
  eval "$(xwininfo -id "$child" | awk '
    /Relative upper-left X/ { print "VX=" $NF } /Relative upper-left Y/ { print "VY=" $NF }
    /Width:/ { print "VW=" $NF } /Height:/ { print "VH=" $NF }')"
}
# Succeeds when the view is at "VX,VY,VW,VH" $1.
view_at() { view_geometry && [ "$VX,$VY,$VW,$VH" = "$1" ]; }

# The cell ("col, row") under view pixel ($1, $2) of a VW x VH view showing
# the 3840 x 2160 working image in 16 x 9 cells: the camera rectangle
# widened to the view's aspect, every step truncated to whole pixels.
cell_at() {
  awk -v x="$1" -v y="$2" -v w="$VW" -v h="$VH" 'BEGIN {
    l = -1920; r = 1920; t = -1080; b = 1080
    if (w > h && (r - l) / (b - t) < w / h) { m = ((b - t) * w / h - (r - l)) / 2; l -= m; r += m }
    else { m = ((r - l) * h / w - (b - t)) / 2; t -= m; b += m }
    px = int(l + x / w * (r - l)) + 1920; py = int(t + y / h * (b - t)) + 1080
    printf "%d, %d", int(px / 16), int(py / 9) }'
}

# A click at view pixel ($1, $2) selects that pixel's cell and zooms into
# it: the "sel : " line names exactly that cell.
click_cell() {
  local cell sels zooms got
  cell=$(cell_at "$1" "$2")
  sels=$(count "^sel : ")
  zooms=$(count "^zoom : end")
  click_at $((VX + $1)) $((VY + $2))
  wait_for_count "^sel : " $((sels + 1))
  got=$(grep "^sel : " tessaline.log | tail -n 1 | sed 's/^sel : \([0-9]*, [0-9]*\) - .*/\1/')
  [ "$got" = "$cell" ] || fail "$3: a click on cell $cell selected $got"
  wait_for_count "^zoom : end" $((zooms + 1))
}

start_app
click_at 52 318  # Generate
wait_for_line "status : photomosaic have been generated." 120 console.txt

# The first window: the view at (7, 27), 626 x 262.
poll view_at 7,27,626,262 || fail "the view is at $VX,$VY ${VW}x$VH"
click_cell 301 130 "640 x 480"

# The fade icon (the last of the row, centred at 0.96 of the width) held
# fades the mosaic out; let go outside the view, it fades back in.
fade_x=$(awk -v w="$VW" 'BEGIN { printf "%d", w * 0.96 + 0.5 }')
fade_y=$(awk -v h="$VH" 'BEGIN { printf "%d", h * 0.04 + 0.5 }')
sync_app
# The view at rest: the frame after the zoom's last step and after the
# export's chooser closed is drawn.
view_still() {
  import -window "$WID" -crop "${VW}x${VH}+${VX}+${VY}" +repage still.png &&
    sleep 0.3 && import -window "$WID" -crop "${VW}x${VH}+${VX}+${VY}" +repage view_now.png &&
    [ "$(identify -format '%#' still.png)" = "$(identify -format '%#' view_now.png)" ]
}
poll view_still || fail "the view did not come to rest after the zoom"
import -window "$WID" before_fade.png
# Screenshots the window into $1; the RMSE from before_fade.png goes to DIFF.
shot_diff() { import -window "$WID" "$1" && DIFF=$(view_rmse before_fade.png "$1"); }
faded_out() { shot_diff faded.png && below 0.02 "$DIFF"; }
faded_back() { shot_diff after_fade.png && below "$DIFF" 0.01; }
move_to $((VX + fade_x)) $((VY + fade_y))
xdotool mousedown 1
poll faded_out || fail "holding the fade icon did not fade the mosaic (RMSE $DIFF)"
move_to 320 440
xdotool mouseup 1
poll faded_back || fail "the mosaic stayed faded after a release outside the view (RMSE $DIFF)"

# After a resize the view has moved and grown.
xdotool windowsize --sync "$WID" 900 700
view_moved() { view_geometry && { [ "$VX" -ne 7 ] || [ "$VY" -ne 27 ] || [ "$VW" -ne 626 ]; }; }
poll view_moved || fail "the view did not follow the resize"
click_cell $((VW / 2 + 3)) $((VH / 2 - 5)) "900 x 700"

# The full-screen icon (the first of the row) takes the window and the view
# over the whole screen.
fs_x=$(awk -v w="$VW" -v h="$VH" 'BEGIN { printf "%d", w * 0.96 - 3 * 2.4 * 0.03 * h + 0.5 }')
fs_y=$(awk -v h="$VH" 'BEGIN { printf "%d", h * 0.04 + 0.5 }')
click_at $((VX + fs_x)) $((VY + fs_y))
poll view_at 0,0,1280,1024 || fail "full screen view at $VX,$VY ${VW}x$VH"
# Where the hidden "Generate" button lies (12, H - 174 ... + 25) the click
# is the view's alone: one zoom, and no new mosaic from the button.
mosaics=$(count "^average time : ")
click_cell 52 862 "full screen"
[ "$(count "^average time : ")" -eq $((mosaics + 1)) ] ||
  fail "the hidden Generate button took the click"
import -window root full.png

# x is no command: once the Generate that follows it is done, no file has
# been written.
rm -f mosaic_export.png
mosaics=$(count "^average time : ")
saved=$(count "^saved the mosaic image")
press x
press m
wait_for_count "^average time : " $((mosaics + 1))
[ ! -e mosaic_export.png ] && [ "$(count "^saved the mosaic image")" -eq "$saved" ] ||
  fail "x wrote a file"
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc in view full screen should end the program with status 1"

# An empty tile folder: the status line says why the load failed. The
# second tile size is larger than the working image and never offered.
mkdir -p empty
rm -f tessaline.ini  # it holds the full-screen size the first run ended in
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=16
sub_height=9
sub_scale_list=16,9,4000,2500
[image]
image_dir=./empty
CFG
start_app
expect_line "tile scales : '4000,2500' is larger than 3840 x 2160 and is skipped" tessaline.log
import -window "$WID" unloaded.png
click_at 52 318
wait_for_line "status : the images folder holds no pictures : ./empty" 60 console.txt
grep -qx "4000, 2500" tessaline.log && fail "the refused tile size is in the list"
poll window_settled "$WID" empty.png unloaded.png || fail "the window did not show the failed load"

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp faded.png after_fade.png full.png empty.png "$TESSALINE_SHOTS/"
fi
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
echo "input: ok"
