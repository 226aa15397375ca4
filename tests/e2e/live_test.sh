# Live input: a movie opened with Ctrl+M shows the mosaic of its first frame,
# Start/Stop plays it to its end, a click on the view ends it early; a
# GStreamer source listed in cameras.txt, chosen in "Choose a device",
# streams live mosaics until a click on the view.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 2
ffmpeg -loglevel error -f lavfi -i testsrc=size=320x180:rate=25 -t 2 -pix_fmt yuv420p \
  -movflags +faststart movie.mp4 ||
  fail "ffmpeg could not make the movie"
# A long one, to be stopped by a click while it plays.
ffmpeg -loglevel error -f lavfi -i testsrc=size=320x180:rate=25 -t 40 -pix_fmt yuv420p long.mp4 ||
  fail "ffmpeg could not make the long movie"
# Half of the movie: its stream ends in the middle of a frame.
head -c "$(($(stat -c %s movie.mp4) / 2))" movie.mp4 >cut.mp4
cat >cameras.txt <<'TXT'
# one source per line
Test pattern = videotestsrc pattern=ball ! video/x-raw,width=320,height=180,framerate=25/1 ! videoconvert ! appsink
broken line without a source
Short clip = videotestsrc num-buffers=40 ! video/x-raw,width=320,height=180,framerate=25/1 ! videoconvert ! appsink
TXT
# A small working size keeps every frame quick.
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=16
sub_height=9
sub_scale_list=16,9
[image]
image_width=640
image_height=360
CFG

open_movie() {
  press ctrl+m
  CHOOSER=$(timeout 20 xdotool search --sync --onlyvisible --name "^Open movie file\$" | head -n 1) ||
    fail "no movie chooser"
  xdotool windowfocus --sync "$CHOOSER"
  xdotool type --delay 40 "$1"
  xdotool key Return
  wait_gone "Open movie file"
}
# The number in the last line "$1 N frames" of the log.
frames_of() { grep -- "^$1 [0-9]* frames$" tessaline.log | tail -n 1 | sed 's/.* \([0-9]*\) frames$/\1/'; }

start_app
click_at 52 318
wait_for_line "status : photomosaic have been generated." 60 console.txt

# A file that is no movie changes nothing.
touch empty.mp4
open_movie empty.mp4
wait_for_count "^cannot decode the movie .*empty.mp4 : the file is empty$" 1

# The movie: its size and rate, and the mosaic of the first frame at once.
open_movie movie.mp4
wait_for_count "^\[File Input\] $" 1
wait_for_line "^ size      : 320 x 180$"
wait_for_line "^ framerate : 25 fps$"
export_view mosaic_export.png
import -window "$WID" movie_first.png
# Start/Stop plays it to the end: each of its 50 frames once.
press s
wait_for_count "^live input : end after [0-9]* frames$" 1
[ "$(frames_of "live input : end after")" -eq 50 ] || fail "the movie did not play 50 frames"
# A click ends the input (the still mosaic is made again), then the movie
# opens anew, plays, and a click during playback ends it early.
click_at 320 158
wait_for_count "^live input : closed after 50 frames$" 1
open_movie long.mp4
wait_for_count "^\[File Input\] $" 2
press s
import -window "$WID" movie_playing.png
click_at 320 158
wait_for_count "^live input : closed after " 2
n=$(frames_of "live input : closed after")
[ "$n" -ge 1 ] && [ "$n" -lt 1000 ] || fail "a click did not end the playing movie ($n frames)"
[ "$(count "^live input : end after")" -eq 1 ] || fail "the stopped movie ran to its end"

# A truncated movie ends cleanly at its last good frame, and says that it
# ended early.
open_movie cut.mp4
wait_for_count "^\[File Input\] $" 3
press s
early=" : the movie file ended early (it reports 50 frames)"
wait_for_line "^live input : end after [0-9]* frames$early$"
kill -0 "$APP_PID" || fail "the truncated movie ended the program"
[ "$(count "^live input : end after [0-9]* frames$")" -eq 1 ] || fail "the whole movie ended early"
n=$(sed -n "s/^live input : end after \([0-9]*\) frames$early$/\1/p" tessaline.log)
[ "$n" -lt 50 ] || fail "the truncated movie had every frame"
click_at 320 158
wait_for_count "^live input : closed after " 3

# Opens "Choose a device" and sets DIALOG to it.
device_dialog() {
  press shift+a
  DIALOG=$(timeout 20 xdotool search --sync --onlyvisible --name "^Choose a device\$" | head -n 1) ||
    fail "no device dialog"
  xdotool windowfocus --sync "$DIALOG"
}
# Waits until the view has shown $1 new frames of a streaming source (its
# picture changed $1 times).
wait_for_frames() {
  local shown=0 deadline=$((SECONDS + 30)) last now
  last=$(import -window "$WID" -crop 626x262+7+27 +repage png:- | identify -format '%#' -)
  while [ $shown -lt "$1" ]; do
    [ $SECONDS -lt $deadline ] || fail "the view showed $shown new frames, not $1"
    sleep 0.2
    now=$(import -window "$WID" -crop 626x262+7+27 +repage png:- | identify -format '%#' -)
    [ "$now" = "$last" ] || shown=$((shown + 1))
    last=$now
  done
}
# The camera list: the skipped line is logged, the pattern is chosen (the
# first device is preselected; OK is at the bottom left).
device_dialog
expect_line "Camera 0 : Test pattern" tessaline.log
expect_line "Camera 1 : Short clip" tessaline.log
expect_count "cameras.txt : line 3 skipped : not name = URL or pipeline" tessaline.log 1
poll window_settled "$DIALOG" dialog.png || fail "the device dialog kept changing"
xdotool mousemove --window "$DIALOG" 60 97 click 1
wait_for_count "^\[Capture from camera\] $" 1
wait_for_count "^ size      : 320 x 180$" 4
expect_count " size      : 320 x 180" tessaline.log 4
wait_for_frames 2
import -window "$WID" camera.png
# Recorded: the "Output " switch (406, 348) asks for the file; a click on the
# view ends the input and with it the recording, at the camera's 30 fps.
click_at 406 348
type_into_chooser "Movie Output" camera.avi
wait_for_line "^Output : .*/camera.avi$"
wait_for_frames 5
click_at 320 158
wait_for_count "^live input : closed after " 4
n=$(frames_of "live input : closed after")
[ "$n" -ge 5 ] || fail "the camera streamed only $n frames"
wait_for_line "^recording end : .*camera.avi : [0-9]* frames$"
read -r recorded rate <<<"$(probe camera.avi)"
[ "$rate" = "30/1" ] || fail "the camera was recorded at $rate"
[ "$recorded" -ge 5 ] || fail "the camera recording holds $recorded frames"

# A source that goes away while streaming ends live input with one line,
# and the program goes on: a click makes the still mosaic again.
device_dialog
# X delivers the clicks in order: the row is chosen before OK is pressed.
xdotool mousemove --window "$DIALOG" 40 57 click 1 mousemove --window "$DIALOG" 60 97 click 1
wait_for_count "^\[Capture from camera\] $" 2
wait_for_count "^camera was lost : live input ends after [0-9]* frames$" 1
click_at 320 158
wait_for_count "^live input : closed after " 5

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp movie_first.png movie_playing.png camera.png dialog.png "$TESSALINE_SHOTS/"
fi
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
echo "live: ok"
