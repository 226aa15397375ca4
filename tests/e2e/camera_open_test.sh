# A camera that does not answer never freezes the window: while it opens,
# the status line says so and keys are handled; it is given up with one
# line after ten seconds, at once by a click on the view, and Esc still
# ends the program at once. Both sources in cameras.txt never deliver a
# frame: the first hangs in OpenCV's open, the second in its first read.
source "$(dirname "$0")/lib.sh" "$@"

prepare_colour_tiles
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=16
sub_height=9
sub_scale_list=16,9
[image]
image_default=target.png
image_width=640
image_height=360
CFG
cat >cameras.txt <<'TXT'
Silent = appsrc ! video/x-raw,format=BGR,width=64,height=48,framerate=30/1 ! appsink
Frozen = videotestsrc is-live=true ! video/x-raw,width=64,height=48,framerate=1/1000 ! videoconvert ! appsink
TXT

# Runs "$@" until it succeeds; fails with $2 once $1 seconds have passed.
within() {
  local deadline=$((SECONDS + $1)) message=$2
  shift 2
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "$message"
    sleep 0.2
  done
}
more_mosaics_than() { [ "$(count "^average time : ")" -gt "$1" ]; }
app_gone() { ! kill -0 "$APP_PID" 2>/dev/null; }

# Opens "Choose a device", clicks the row at $1 (none when empty) and OK.
choose_camera() {
  press shift+a
  DIALOG=$(timeout 20 xdotool search --sync --onlyvisible --name "^Choose a device\$" | head -n 1) ||
    fail "no device dialog"
  xdotool windowfocus --sync "$DIALOG"
  # X delivers the clicks in order: the row is chosen before OK is pressed.
  if [ -n "$1" ]; then
    xdotool mousemove --window "$DIALOG" 40 "$1" click 1
  fi
  xdotool mousemove --window "$DIALOG" 60 97 click 1
}

start_app
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_line "^status : photomosaic have been generated.$" 60 console.txt

# While the first camera opens, a key is handled at once: m makes the
# still mosaic again.
choose_camera ""
wait_for_line "^status : opening camera Silent \.\.\.$" 5 console.txt
opened_at=$SECONDS
mosaics=$(count "^average time : ")
press m
within 3 "a key waited for the camera" more_mosaics_than "$mosaics"
import -window "$WID" opening.png
[ "$(count "^camera did not answer")" -eq 0 ] || fail "the camera was given up at once"
# Then it is given up, with one line on the log and on the status line.
wait_for_line "^camera did not answer within 10 s : Silent$" 20
[ $((SECONDS - opened_at)) -ge 9 ] || fail "the camera was given up before ten seconds"
wait_for_line "^status : camera did not answer within 10 s : Silent$" 5 console.txt

# A click on the view gives up a camera that is opening.
choose_camera 57
wait_for_line "^status : opening camera Frozen \.\.\.$" 5 console.txt
xdotool mousemove --window "$WID" 320 158 click 1
wait_for_line "^camera opening cancelled : Frozen$" 3
[ "$(count "^\[Capture from camera\] $")" -eq 0 ] || fail "a camera that never answered ran"

# Esc ends the program at once while a camera opens.
choose_camera ""
wait_for_count "^opening camera Silent \.\.\.$" 2
press Escape
within 3 "Esc did not end the program while a camera opened" app_gone
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1, not $APP_STATUS"
expect_count "camera did not answer within 10 s : Silent" tessaline.log 1

if [ -n "${TESSALINE_SHOTS:-}" ]; then cp opening.png "$TESSALINE_SHOTS/camera_opening.png"; fi
echo "camera open: ok"
