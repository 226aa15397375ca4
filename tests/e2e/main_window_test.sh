# The main window: first start without settings, Esc quits with status 1 after
# saving once, and the saved geometry is restored on the next start.
source "$(dirname "$0")/lib.sh" "$@"

start_app
expect_line "Failed opening the tessaline.ini file!" console.txt
expect_line "630, 266" console.txt
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" -eq 640 ] && [ "$HEIGHT" -eq 480 ] || fail "first window is ${WIDTH}x${HEIGHT}"
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
sleep 0.5
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "second run did not quit with status 1"
for line in "width=800" "height=600" "pos_x=150" "pos_y=120"; do
  expect_line "$line" tessaline.ini
done

start_app
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" -eq 800 ] && [ "$HEIGHT" -eq 600 ] || fail "restored size is ${WIDTH}x${HEIGHT}"
[ "$X" -eq 150 ] && [ "$Y" -eq 120 ] || fail "restored position is $X,$Y"
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "third run did not quit with status 1"
echo "main window: ok"
