# Recording the view: with a movie as the live input the "Output " switch
# asks for a file in "Movie Output"; playing the movie to its end writes one
# video frame per frame pulled while recording, at the movie's rate, each the
# mosaic blended over the source frame by alpha; a name the writer refuses
# leaves recording off with one line.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 2
# A 2 s movie at 25 fps, and a small working size that keeps each frame's
# mosaic quick.
ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=320x240:rate=25 \
  -c:v mpeg4 -q:v 2 clip.mp4 || fail "ffmpeg cannot make the movie"
cat >tessaline.cfg <<'CFG'
[image]
image_width=640
image_height=360
CFG
# Half mosaic, half source frame.
cat >tessaline.ini <<'INI'
[mosaic]
alpha=0.5
INI

# In the 640 x 480 window: Generate, Start/Stop and the Output switch.
GENERATE="52 318" START_STOP="52 348" OUTPUT="406 348"

start_app
click_at $GENERATE
wait_for_line "status : photomosaic have been generated." 60 console.txt
press ctrl+m
type_into_chooser "Open movie file" clip.mp4
wait_for_line "^ framerate : 25 fps$"

# The movie shows its first frame and waits; the switch asks for the file.
# Cancelled, it shows recording off again.
switch_shot() { import -window "$WID" -crop 25x25+394+336 +repage "$1"; }
# Succeeds when the switch looks as in picture $1 again (shot in cancelled.png).
switch_as() { switch_shot cancelled.png && [ "$(rmse "$1" cancelled.png)" = 0 ]; }
switch_shot switch_off.png
click_at $OUTPUT
type_into_chooser "Movie Output" ""
poll switch_as switch_off.png || fail "a cancelled switch shows recording on"
click_at $OUTPUT
type_into_chooser "Movie Output" run1.avi
wait_for_line "^Output : .*/run1.avi$"
import -window "$WID" recording.png
click_at $START_STOP
wait_for_line "^live input : end after 50 frames$" 120
wait_for_line "^recording end : .*/run1.avi : [0-9]* frames$"
written=$(sed -n 's/^recording end : .* : \([0-9]*\) frames$/\1/p' tessaline.log)
# All but the first frame, pulled before the switch was on.
[ "$written" -eq 49 ] || fail "the view wrote $written frames, not 49"

[ "$(probe run1.avi)" = "49 25/1" ] || fail "run1.avi is '$(probe run1.avi)', not 49 frames at 25/1"
[ -z "$(ls -A | grep '^\.run1\.')" ] || fail "the unfinished recording was left behind"

# The last video frame is the last mosaic (exported now) averaged with the
# movie's last frame at the working size.
export_view mosaic_export.png
ffmpeg -loglevel error -i clip.mp4 -vf "select=eq(n\,49),scale=640:360" -frames:v 1 source.png
ffmpeg -loglevel error -i run1.avi -vf "select=eq(n\,48)" -frames:v 1 last.png
convert source.png mosaic_export.png -evaluate-sequence mean expected.png
blended=$(rmse last.png expected.png)
below "$blended" 0.04 || fail "the last video frame is not the blend (RMSE $blended)"

# A folder that does not exist: one line, no recording, no file.
click_at $OUTPUT
type_into_chooser "Movie Output" missing/run2.avi
wait_for_line "^cannot record to .*missing/run2.avi : "
[ "$(count "^Output : ")" -eq 1 ] || fail "a refused file was reported as the output"
[ ! -e missing ] || fail "a refused recording left files"

# Ends the live input (whatever the name; the still mosaic is made again at
# once) and opens movie $1.
reopen_movie() {
  local closed
  closed=$(count "^live input : closed after ")
  press ctrl+m
  type_into_chooser "Open movie file" clip.mp4
  wait_for_count "^live input : closed after " $((closed + 1))
  press ctrl+m
  type_into_chooser "Open movie file" "$1"
}

# A movie of 3 frames at one frame per 2 s is recorded at 30 frames per
# second.
ffmpeg -loglevel error -f lavfi -i testsrc=duration=6:size=320x240:rate=1/2 \
  -c:v mpeg4 -q:v 2 slow.mp4 || fail "ffmpeg cannot make the slow movie"
reopen_movie slow.mp4
wait_for_line "^ framerate : 0.5 fps$"
click_at $OUTPUT
type_into_chooser "Movie Output" run3.avi
wait_for_line "^Output : .*/run3.avi$"
click_at $START_STOP
wait_for_line "^recording end : .*/run3.avi : 2 frames$" 60
[ "$(probe run3.avi)" = "2 30/1" ] || fail "run3.avi is '$(probe run3.avi)', not 2 frames at 30/1"

# Quitting while recording finishes the file: three single steps, then Esc.
reopen_movie clip.mp4
wait_for_count "^ framerate : 25 fps$" 2
click_at $OUTPUT
type_into_chooser "Movie Output" run4.avi
wait_for_line "^Output : .*/run4.avi$"
switch_shot switch_on.png
# Switched off but cancelled, the recording goes on and the switch says so.
click_at $OUTPUT
type_into_chooser "Movie Output" ""
poll switch_as switch_on.png || fail "a cancelled switch shows recording off"
for step in 1 2 3; do press space; done
if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp recording.png "$TESSALINE_SHOTS/recording.png"
fi
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
expect_line "recording end : $WORK/run4.avi : 3 frames" tessaline.log
[ "$(probe run4.avi)" = "3 25/1" ] || fail "run4.avi is '$(probe run4.avi)', not 3 frames at 25/1"

# A disk that fills up while recording (a file size limit, whose signal the
# program ignores): one line, the status line says so and the frame rate
# does not write over it, and the earlier file is all there is.
echo "an earlier recording" >run5.avi
(ulimit -f 600; exec "$TESSALINE") >console.txt 2>stderr.txt &
APP_PID=$!
WID=$(timeout 30 xdotool search --sync --onlyvisible --name '^tessaline$' | head -n 1) ||
  fail "the main window did not appear again"
wait_for_line "^GLEW OK : " 30 console.txt  # the view has its GL context
click_at $GENERATE
wait_for_line "status : photomosaic have been generated." 60 console.txt
press ctrl+m
type_into_chooser "Open movie file" clip.mp4
wait_for_line "^ framerate : 25 fps$" 30 console.txt
click_at $OUTPUT
type_into_chooser "Movie Output" run5.avi
click_at $START_STOP
wait_for_line "^cannot finish the recording .*/run5.avi : the file size limit is reached$" 120 \
  console.txt
expect_line "status : cannot finish the recording run5.avi : the file size limit is reached" \
  console.txt
# The long message reaches the left half of the status line; a frame rate
# is a short text at its right end.
ink=$(import -window "$WID" -crop 300x16+20+460 +repage -format '%[fx:minima.intensity<0.3]' info:)
[ "$ink" = 1 ] || fail "the status line does not show the failed recording"
[ "$(cat run5.avi)" = "an earlier recording" ] || fail "the earlier run5.avi was changed"
[ -z "$(ls -A | grep '^\.run5\.')" ] || fail "a part of the failed recording was left"
press Escape
wait_app
echo "recording: ok"
