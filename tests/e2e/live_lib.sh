# Helpers for a live camera stream, shared by the end-to-end tests and
# bench/live_rate.sh; sourced after lib.sh, in the run's folder.

# cameras.txt with one device, "Test pattern": a GStreamer test source of
# $1 x $2 pixels at $3 frames per second, paced by the clock as a camera is;
# with $4, a stream of that many frames, after which the camera is lost (the
# program then logs its rate line by itself).
write_test_camera() {
  local count=""
  [ -z "${4:-}" ] || count=" num-buffers=$4"
  printf 'Test pattern = videotestsrc is-live=true%s pattern=ball ! video/x-raw,width=%s,height=%s,framerate=%s/1 ! videoconvert ! appsink\n' \
    "$count" "$1" "$2" "$3" >cameras.txt
}

# The CPU time, in clock ticks, that the program has used so far (all its
# threads: the GL rendering threads, the camera reader).
cpu_ticks() { sed 's/.*) //' "/proc/$APP_PID/stat" | awk '{ print $12 + $13 }'; }

# Chooses the first device in "Choose a device" (OK is at the bottom left,
# 25 pixels above the dialog's lower edge) and waits until it streams.
open_test_camera() {
  local before dialog
  before=$(count "^\[Capture from camera\] $")
  press shift+a
  dialog=$(timeout 20 xdotool search --sync --onlyvisible --name "^Choose a device\$" | head -n 1) ||
    fail "no device dialog"
  xdotool windowfocus --sync "$dialog"
  poll window_settled "$dialog" dialog.png || fail "the device dialog kept changing"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  xdotool mousemove --window "$dialog" 60 $((HEIGHT - 25)) click 1
  wait_for_count "^\[Capture from camera\] $" $((before + 1))
}

# Ends live input with a click on the view and waits for its rate line.
close_live_input() {
  local before
  before=$(count "^live rate : ")
  click_at 320 158
  wait_for_count "^live rate : " $((before + 1))
}

# The last "live rate : ..." line of the log.
rate_line() { grep "^live rate : " tessaline.log | tail -n 1; }
