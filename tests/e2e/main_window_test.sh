# The main window: first start without settings, Esc quits with status 1 after
# saving once, the saved geometry is restored on the next start, full screen
# is not saved, and a saved geometry that cannot be shown is not used.
source "$(dirname "$0")/lib.sh" "$@"

start_app
expect_line "Failed opening the tessaline.ini file!" console.txt
expect_line "630, 266" console.txt
poll window_is "$WID" 640 480 || fail "first window is ${WIDTH}x${HEIGHT}"
import -window "$WID" "$WORK/first.png"
[ -n "${TESSALINE_SHOTS:-}" ] && cp "$WORK/first.png" "$TESSALINE_SHOTS/main_window.png"

press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1, got $APP_STATUS"
expect_count "save : tessaline.ini" console.txt 1
for line in "[window]" "width=640" "height=480" "pos_x=100" "pos_y=100"; do
  expect_line "$line" tessaline.ini
done

# Move and resize, quit, and expect that geometry back on the next start.
start_app
grep -q "Failed opening" console.txt && fail "tessaline.ini was not read on the second start"
xdotool windowmove --sync "$WID" 150 120
xdotool windowsize --sync "$WID" 800 600
press Escape  # queued after the resize, so handled after it
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "second run did not quit with status 1"
for line in "width=800" "height=600" "pos_x=150" "pos_y=120"; do
  expect_line "$line" tessaline.ini
done

start_app
poll window_is "$WID" 800 600 150 120 || fail "restored window is ${WIDTH}x${HEIGHT} at $X,$Y"
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "third run did not quit with status 1"

# Quitting while full screen saves the rectangle the window had before.
start_app
press alt+Return
poll window_is "$WID" 1280 1024 || fail "full screen is ${WIDTH}x${HEIGHT}"
press Escape
wait_app
for line in "width=800" "height=600" "pos_x=150" "pos_y=120"; do
  expect_line "$line" tessaline.ini
done

# A saved size that is empty or a position off the screen opens at the
# default rectangle, with one line saying so.
for row in "width=0|0 x 600 at 150, 120" "pos_x=-5000|800 x 600 at -5000, 120" \
  "height=2000|800 x 2000 at 150, 120"; do
  bad=${row%%|*}
  sed -i "s/^${bad%%=*}=.*/$bad/" tessaline.ini
  start_app
  expect_count "tessaline.ini window ${row#*|} is too small or off the screen; opening at 640 x 480 at 100, 100" console.txt 1
  poll window_is "$WID" 640 480 100 100 || fail "with $bad the window is ${WIDTH}x${HEIGHT} at $X,$Y"
  press Escape
  wait_app
  sed -i "s/^width=.*/width=800/; s/^height=.*/height=600/; s/^pos_x=.*/pos_x=150/; s/^pos_y=.*/pos_y=120/" tessaline.ini
done
echo "main window: ok"
