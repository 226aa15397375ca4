# Shared helpers of the end-to-end tests. Each test is called by CTest as
#   bash tests/e2e/NAME_test.sh BUILD_DIR SOURCE_DIR
# and runs the real programs in a temporary directory, under its own Xvfb
# unless it set E2E_NO_DISPLAY=1 before sourcing this file.
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
SOURCE_DIR=$(cd "$2" && pwd)
TESSALINE="$BUILD_DIR/app/tessaline"
BATCH="$BUILD_DIR/batch/tessaline-batch"
source "$SOURCE_DIR/scripts/xvfb.sh"

WORK=$(mktemp -d)
# Stops what the test started; an empty pid is skipped (kill 0 would signal
# the whole process group, CTest included).
stop_pid() { if [ -n "${1:-}" ]; then kill "$1" 2>/dev/null || true; fi; }
cleanup_work() {
  stop_pid "${APP_PID:-}"
  stop_pid "${XVFB_PID:-}"
  [ -n "${TESSALINE_KEEP_WORK:-}" ] || rm -rf "$WORK"
}
[ -n "${E2E_NO_DISPLAY:-}" ] || start_xvfb
trap 'cleanup_work' EXIT
cd "$WORK"

# Ends the test with a message, followed by what the programs printed.
fail() {
  echo "FAIL: $*" >&2
  local f
  for f in console.txt stderr.txt out.txt err.txt; do
    [ -s "$WORK/$f" ] || continue
    echo "--- $f" >&2
    cat "$WORK/$f" >&2
  done
  exit 1
}

# Starts the program in the background (console to console.txt) and waits
# for its main window; sets APP_PID and WID.
start_app() {
  "$TESSALINE" >"$WORK/console.txt" 2>"$WORK/stderr.txt" &
  APP_PID=$!
  WID=$(timeout 30 xdotool search --sync --onlyvisible --name '^tessaline$' | head -n 1) ||
    fail "the main window did not appear"
  sleep 0.5
}

# Waits for the program to end and puts its exit status in APP_STATUS.
# (Not meant for $(...): a subshell cannot wait for this shell's child.)
wait_app() {
  APP_STATUS=0
  wait "$APP_PID" || APP_STATUS=$?
  APP_PID=
}

# Runs the batch program with the given arguments, its standard output to
# out.txt and its standard error to err.txt; sets STATUS.
run() {
  STATUS=0
  "$BATCH" "$@" >out.txt 2>err.txt || STATUS=$?
}
# Fails with message $2 unless the last run ended with status $1.
expect_status() {
  [ "$STATUS" -eq "$1" ] || fail "$2: expected status $1, got $STATUS"
}

press() {
  xdotool windowfocus --sync "$WID"
  xdotool key "$@"
  sleep 0.4
}

# Moves the pointer to pixel ($1, $2) of the main window.
move_to() { xdotool mousemove --window "$WID" "$1" "$2" && sleep 0.4; }
# Clicks button $3 (default 1, the left one) at pixel ($1, $2) of the main
# window.
click_at() { move_to "$1" "$2" && xdotool click "${3:-1}" && sleep 0.4; }

# Runs the command "$@" every 0.2 s until it succeeds, for up to 30 s;
# returns 1 if it never did. A state that follows an event (a window's size,
# a screenshot) is checked this way: the command sets the values it read, so
# the caller's failure message can name them.
poll() {
  local deadline=$((SECONDS + 30))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# Reads window $1's X, Y, WIDTH and HEIGHT; succeeds when it is $2 x $3 (and,
# when given, at $4, $5).
window_is() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  [ "$WIDTH" -eq "$2" ] && [ "$HEIGHT" -eq "$3" ] && [ "${4:-$X}" -eq "$X" ] && [ "${5:-$Y}" -eq "$Y" ]
}

# Returns once the program has handled every event sent before: the export
# (Ctrl+S and its file chooser) logs when it ran. Needs a mosaic; writes
# mosaic_export.png.
sync_app() { export_view mosaic_export.png; }

# Waits up to $2 seconds (default 30) for a line matching $1 in file $3.
wait_for_line() {
  local pattern=$1 seconds=${2:-30} file=${3:-$WORK/tessaline.log}
  local deadline=$((SECONDS + seconds))
  until grep -q -- "$pattern" "$file" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "no line '$pattern' in $file"
    sleep 0.2
  done
}

expect_line() {
  grep -qxF -- "$1" "$2" || fail "expected the line '$1' in $2"
}

expect_count() {
  local n
  n=$(grep -cxF -- "$1" "$2" || true)
  [ "$n" -eq "$3" ] || fail "expected $3 lines '$1' in $2, found $n"
}

# The interface pictures, the overlay font, and images/ filled with the
# sections of the first $1 sample photographs (real photographs from
# Debian's wallpaper packages, about ten pictures each).
prepare_tiles() {
  mkdir -p texture images
  cp "$SOURCE_DIR"/texture/*.png texture/
  cp /usr/share/fonts/truetype/inconsolata/Inconsolata.otf Inconsolata.ttf
  bash "$SOURCE_DIR/scripts/sample-photos.sh" images "$1" >/dev/null
  [ "$(ls images | wc -l)" -ge "$((10 * $1))" ] || fail "the sample photographs are missing"
}

# The interface pictures, eight tiles of one colour each, and a red-blue
# gradient target.png that tessaline.cfg names as the first target.
prepare_colour_tiles() {
  mkdir -p texture images
  cp "$SOURCE_DIR"/texture/*.png texture/
  for colour in red green blue yellow white black orange purple; do
    convert -size 64x36 "xc:$colour" "images/$colour.png"
  done
  convert -size 320x180 gradient:red-blue target.png
  printf '[image]\nimage_default=target.png\n' >tessaline.cfg
}

# tiles/ with 30 swirled gradients of distinct hues, p0.jpg to p29.jpg, and a
# 640 x 360 plasma target.png: tiles a mosaic and its print are told apart by.
prepare_swirl_tiles() {
  mkdir tiles
  for i in $(seq 0 29); do
    convert -size 160x120 "gradient:hsb($((i * 12)),90%,$((50 + i))%)-hsb($((i * 12 + 90)),60%,40%)" \
      -swirl $((i * 11)) "tiles/p$i.jpg"
  done
  convert -seed 7 -size 640x360 plasma:fractal target.png
}

# The number of lines matching $1 in file $2 (default the log).
count() { grep -c -- "$1" "${2:-$WORK/tessaline.log}" || true; }

# Waits up to 60 seconds until $1 matches at least $2 lines of file $3
# (default the log).
wait_for_count() {
  local pattern=$1 n=$2 file=${3:-$WORK/tessaline.log}
  local deadline=$((SECONDS + 60))
  until [ "$(count "$pattern" "$file")" -ge "$n" ]; do
    [ $SECONDS -lt $deadline ] || fail "fewer than $n lines '$pattern' in $file"
    sleep 0.2
  done
}

# Fails unless the last statement of a mosaic ("cells : ...") in file $1
# keeps the cap per photo $2, or the higher cap a line of $1 says the library
# needed, and, with $3 given, leaves at most $3 photos unused.
expect_within_cap() {
  local raised stats most never
  raised=$(sed -n 's/.*; each is used at most \([0-9]*\) times$/\1/p' "$1" | tail -n 1)
  stats=$(grep '^cells : ' "$1" | tail -n 1) || fail "no statement of the mosaic in $1"
  most=$(sed -n 's/.*most uses of one photo : \([0-9]*\),.*/\1/p' <<<"$stats")
  never=$(sed -n 's/.*photos never used : \([0-9]*\),.*/\1/p' <<<"$stats")
  [ "$most" -le "${raised:-$2}" ] || fail "a photo fills $most cells under a cap of ${raised:-$2}: $stats"
  [ -z "${3:-}" ] || [ "$never" -le "$3" ] || fail "$never photos unused: $stats"
}

# Types $2 into the file chooser titled $1 (already on its way) and presses
# Enter; with $2 empty it presses Escape instead.
type_into_chooser() {
  local chooser
  chooser=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) ||
    fail "no window '$1'"
  xdotool windowfocus --sync "$chooser"
  sleep 0.3
  [ -z "$2" ] || xdotool type --delay 40 "$2"
  sleep 0.3
  xdotool key "$([ -n "$2" ] && echo Return || echo Escape)"
  sleep 0.4
}
# Exports the view's mosaic with Ctrl+S to $1 (a name in the working folder)
# and waits for the line that says it is written.
export_view() {
  local before
  before=$(count "^saved the mosaic image to .*$1\$")
  press ctrl+s
  type_into_chooser "Save Image" "$1"
  wait_for_count "^saved the mosaic image to .*$1\$" $((before + 1))
}
# Prints the frame count and the rate of movie $1 ("49 25/1").
probe() {
  ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames,r_frame_rate -of csv=p=0 "$1" | awk -F, '{ print $2, $1 }'
}
# Exits 0 when the number $1 is below the number $2.
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
# The RMSE (0 ... 1) of pictures $1 and $2 (compare exits 1 when they differ
# at all).
rmse() { { compare -metric RMSE "$1" "$2" null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/'; }
# The number of pixels that differ (by more than 5 %) between pictures $1
# and $2.
pixels_differing() { { compare -metric AE -fuzz 5% "$1" "$2" null: 2>&1 || true; } | cut -d' ' -f1; }

# Succeeds while a visible window is titled $1.
window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Waits up to 30 seconds until no visible window is titled $1 (a dialog or
# a chooser has closed).
wait_gone() {
  local deadline=$((SECONDS + 30))
  while window_shown "$1"; do
    [ $SECONDS -lt $deadline ] || fail "the window '$1' did not close"
    sleep 0.2
  done
}
# Screenshots window $1 into $2 twice, 0.3 s apart; succeeds when both are
# the same (the window is at rest) and, with $3 given, differ from picture
# $3 (the window has changed since then).
window_settled() {
  import -window "$1" "$2.first.png" && sleep 0.3 && import -window "$1" "$2" || return 1
  local now
  now=$(identify -format '%#' "$2")
  [ "$(identify -format '%#' "$2.first.png")" = "$now" ] &&
    { [ -z "${3:-}" ] || [ "$(identify -format '%#' "$3")" != "$now" ]; }
}

# The panel's sliders (Alpha, Sleep, Colour, Steady) of the 640 x 480 main
# window into $1.
sliders_shot() { import -window "$WID" -crop 145x112+159+331 +repage "$1"; }
sliders_moved() {
  sliders_shot sliders_now.png && [ "$(pixels_differing sliders_before.png sliders_now.png)" -gt 20 ]
}
# Drags a panel slider's knob with the left button along row $3 of the main
# window from x = $1 to x = $2; the release waits until the knob has moved,
# so that the slider sees the drag before the release.
drag_slider() {
  sliders_shot sliders_before.png
  xdotool mousemove --window "$WID" "$1" "$3" mousedown 1 mousemove --window "$WID" "$2" "$3"
  poll sliders_moved || fail "the slider at $1, $3 did not follow the drag"
  xdotool mouseup 1
}
