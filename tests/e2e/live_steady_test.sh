# Steady live mosaics: a camera that films a still scene with light noise
# (a GStreamer colour pattern with a faint layer of snow in it) keeps its
# tiles at the default steadiness, while at 0, set with the "Steady "
# slider, the noise swaps many of them. Two screenshots a second apart are
# compared cell by cell in each case.
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/live_lib.sh"

prepare_tiles 10
# Snow is the compositor's first (lowest) layer; the pattern over it lets
# 20 % of it through.
caps="video/x-raw,width=320,height=180,framerate=25/1"
echo "Noisy pattern = videotestsrc is-live=true pattern=snow ! $caps ! mix." \
  "videotestsrc is-live=true pattern=colors ! $caps !" \
  "compositor name=mix sink_1::alpha=0.8 ! videoconvert ! appsink" >cameras.txt
# 20 x 20 cells, each about 23 x 13 pixels on the screen.
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=32
sub_height=18
sub_scale_list=32,18
[image]
image_width=640
image_height=360
CFG

# The 16:9 mosaic fills the view's height, 466 pixels wide, centred.
mosaic_shot() { import -window "$WID" -crop 466x262+87+27 +repage "$1"; }
# Succeeds once the view shows another mosaic than picture $1 (into $2).
mosaic_changed() { mosaic_shot "$2" && [ "$(pixels_differing "$1" "$2")" -gt 500 ]; }
# The cells of the 20 x 20 grid that differ between pictures $1 and $2 by
# more than 4 % on average.
changed_cells() {
  convert "$1" "$2" -compose difference -composite -colorspace Gray -scale '20x20!' \
    -threshold 4% -format '%[fx:round(mean * w * h)]' info:
}
# Opens the camera, waits for its first mosaic and puts the cells that
# changed in the second after it into CHANGED; ends live input. $1 names the
# pictures.
cells_changing() {
  mosaic_shot "$1_before.png"
  open_test_camera
  poll mosaic_changed "$1_before.png" "$1_a.png" || fail "no live mosaic appeared ($1)"
  sleep 1 # the measurement's own interval
  mosaic_shot "$1_b.png"
  close_live_input
  local mosaics
  mosaics=$(rate_line | sed 's/.* : \([0-9]*\) mosaics of .*/\1/')
  [ "$mosaics" -ge 10 ] || fail "only $mosaics live mosaics were made ($1): $(rate_line)"
  CHANGED=$(changed_cells "$1_a.png" "$1_b.png")
}

start_app
click_at 52 318
wait_for_line "status : photomosaic have been generated." 120 console.txt
cells_changing default
steady=$CHANGED

# The "Steady " slider's knob past its left end: steadiness 0.
drag_slider 298 100 430
wait_for_line "^steadiness : 0$"
cells_changing zero
fresh=$CHANGED
echo "cells changed in a second: $steady at the default steadiness, $fresh at 0"
[ "$fresh" -ge 20 ] || fail "at steadiness 0 the noise swapped only $fresh of 400 cells"
[ $((steady * 5)) -le "$fresh" ] || fail "$steady cells changed at the default steadiness, $fresh at 0"

press Escape
wait_app
echo "live steady: ok"
