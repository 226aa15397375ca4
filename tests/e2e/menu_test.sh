# The menu bar: every shortcut reaches its command while the view has the
# keyboard, the marks follow the view, Help/Version shows its message, and
# Alt+Enter switches the window to full screen and back.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 3
cat >tessaline.cfg <<'CFG'
[image]
image_width=1920
image_height=1080
CFG

# Waits for a visible window titled $1 (screenshots it drawn into $2 when
# given) and closes it with Escape.
expect_window() {
  local id
  id=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1) ||
    fail "no window '$1'"
  [ -z "${2:-}" ] || poll window_settled "$id" "$2" || fail "the window '$1' kept changing"
  xdotool windowfocus --sync "$id" key Escape
  wait_gone "$1"
}

start_app
# "m": Generate.
press m
wait_for_line "status : photomosaic have been generated." 60 console.txt

# Draw toggles: "2", "4" and "n" on; "z" switches "Zoom with selected" on
# and with it "Around photomosaics". Their bits reach tessaline.ini below.
for key in 2 4 n z; do press "$key"; done

# "r": a random tile becomes the target and its mosaic is made.
names=$(count "^image name : " tessaline.log)
press r
wait_for_count "^image name : " $((names + 1))

# Shift+A: the camera command; this machine has no camera.
press shift+a
wait_for_line "^camera had not been found$"
expect_line "no video capture device was found" console.txt
expect_line "no video capture device was found" tessaline.log

# "a": the auto pilot zooms on its own; "s" stops the animation, so the
# zooms stop; each Space is one step: 51 of them finish the running zoom.
press a
wait_for_count "zoom : end" 1
press s
sync_app
ends=$(count "zoom : end" tessaline.log)
# A zoom changes the view with every step and the auto pilot starts the
# next at once: stopped, the view comes to rest.
poll window_settled "$WID" stopped.png || fail "Animation did not stop the zooms (the view kept changing)"
[ "$(count "zoom : end" tessaline.log)" -eq "$ends" ] || fail "Animation did not stop the zooms"
xdotool key --delay 40 --repeat 60 space
wait_for_count "zoom : end" $((ends + 1))
press s
wait_for_count "zoom : end" $((ends + 2))
press a  # the auto pilot stops after its running zoom
sync_app
wait_for_count "zoom : end" "$(count "^sel : ")"

# "u": the tile folder is read again.
press u
wait_for_count "\*\*\*\* load sub images : start \*\*\*\*" 2
wait_for_count "\*\*\*\* generate mosaic : end \*\*\*\*" 2

# The dialogs of "d", Ctrl+F, Ctrl+M, Ctrl+S and Ctrl+E; Escape cancels each.
press d
expect_window "Image Directory"
press ctrl+f
expect_window "Open image file" open.png
press ctrl+m
expect_window "Open movie file"
press ctrl+s
expect_window "Save Image"
# Ctrl+E asks for the export size first; cancelled, it asks nothing more.
press ctrl+e
expect_window "Export size"
! xdotool search --onlyvisible --name "^Save Print Image\$" >/dev/null ||
  fail "a cancelled export size still asked for the file"

# Alt+Enter: full screen over the 1280 x 1024 screen and back to the
# window's own rectangle.
press alt+Return
poll window_is "$WID" 1280 1024 || fail "full screen is ${WIDTH}x${HEIGHT}"
press alt+Return
poll window_is "$WID" 640 480 100 100 || fail "leaving full screen gave ${WIDTH}x${HEIGHT} at $X,$Y"

# Help/Version: the message box, closed with Return. The menu drops below
# the menu bar, over the window (a screenshot of the screen shows it).
eval "$(xdotool getwindowgeometry --shell "$WID")"
menu_area="120x60+$((X + 340))+$((Y + 22))"
import -window root -crop "$menu_area" +repage menu_closed.png
menu_open() {
  import -window root menu_help.png && convert menu_help.png -crop "$menu_area" +repage menu_now.png &&
    [ "$(pixels_differing menu_closed.png menu_now.png)" -gt 100 ]
}
xdotool mousemove --window "$WID" 370 10 click 1
poll menu_open || fail "the Help menu did not open"
xdotool mousemove --window "$WID" 380 32 click 1
message=
deadline=$((SECONDS + 30))
while [ -z "$message" ]; do
  [ $SECONDS -lt $deadline ] || fail "Help/Version showed no message"
  sleep 0.2
  message=$(xdotool search --onlyvisible --class FLTK | grep -vx "$WID" | head -n 1 || true)
done
import -window root version.png
xdotool windowfocus --sync "$message" key Return
message_gone() { ! xdotool search --onlyvisible --class FLTK | grep -qx "$message"; }
poll message_gone || fail "Return did not close the version message"

press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
# 65 with Logo (2), Image infomation (8), Mipmapping (32), Zoom with
# selected (128) and Around photomosaics (16).
expect_line "draw=251" tessaline.ini
if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp open.png menu_help.png version.png "$TESSALINE_SHOTS/"
fi
echo "menu: ok"
