# The preference dialog: "p" opens "photomosaic setting"; Cancel, closing the
# window, and OK without a change leave the engine and tessaline.cfg alone; a
# tile size typed into the spinners with " Default" ticked reloads the tiles
# at that size and saves it to tessaline.cfg; a new tile size list replaces
# the offered sizes.
source "$(dirname "$0")/lib.sh" "$@"

mkdir -p texture images
cp "$SOURCE_DIR"/texture/*.png texture/
for colour in red green blue yellow white black orange purple; do
  convert -size 64x36 "xc:$colour" "images/$colour.png"
done
convert -size 320x180 gradient:red-blue target.png
printf '[image]\nimage_default=target.png\n' >tessaline.cfg

count() { grep -c -- "$1" "$2" || true; }

# Asks the window manager's way for the window $1 to close: a WM_DELETE_WINDOW
# message (there is no window manager here to send it).
close_window() {
  python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class Message(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = Message(type=33, send_event=1, display=display, window=window, format=32)
event.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                         ctypes.c_void_p]
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush.argtypes = [ctypes.c_void_p]
x.XFlush(display)
PY
}

# Opens the dialog with "p"; sets DLG.
open_dialog() {
  press p
  DLG=$(timeout 10 xdotool search --sync --onlyvisible --name '^photomosaic setting$' |
    head -n 1) || fail "the preference dialog did not open"
  sleep 0.3
}

# Waits until the dialog is gone.
wait_closed() {
  local deadline=$((SECONDS + 10))
  while xdotool search --onlyvisible --name '^photomosaic setting$' >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || fail "the preference dialog did not close"
    sleep 0.2
  done
}

# Clicks at dialog-relative (x, y).
click_dialog() {
  xdotool mousemove --window "$DLG" "$1" "$2"
  sleep 0.2
  xdotool click 1
  sleep 0.3
}

# Puts the tile size $1 x $2 into the spinners (the text of each is selected
# and replaced) and ticks " Default".
edit_tile_size() {
  click_dialog 150 72
  xdotool key ctrl+a
  xdotool type --delay 100 "$1"
  xdotool key Tab
  sleep 0.2
  click_dialog 260 72
  xdotool key ctrl+a
  xdotool type --delay 100 "$2"
  xdotool key Tab
  sleep 0.2
  click_dialog 22 317
}

start_app
wait_for_line "sub : 32 x 18"
cp tessaline.cfg first.cfg

# Cancel, the window closed, and OK without a change: nothing is replaced
# or saved.
open_dialog
import -window "$DLG" "$WORK/preferences.png"
edit_tile_size 16 9
click_dialog 370 317
wait_closed
open_dialog
edit_tile_size 16 9
close_window "$DLG"
wait_closed
open_dialog
click_dialog 280 317
wait_closed
sleep 0.5
[ "$(count "^sub : " tessaline.log)" -eq 1 ] || fail "the engine was replaced without a change"
[ "$(count "^save : tessaline.cfg" console.txt)" -eq 0 ] || fail "tessaline.cfg was saved"
cmp -s tessaline.cfg first.cfg || fail "tessaline.cfg changed: $(diff first.cfg tessaline.cfg)"

# OK with a new tile size and " Default": a new engine at 16 x 9 loads the
# tiles again and the values are saved.
open_dialog
edit_tile_size 16 9
click_dialog 280 317
wait_closed
wait_for_line "sub : 16 x 9"
wait_for_line "status : photomosaic have been generated." 60 console.txt
wait_for_line "^save : tessaline.cfg" 10 console.txt
expect_line "div : 240 x 240" tessaline.log
for line in sub_width=16 sub_height=9 image_width=3840 sub_scale_list=32,18 \
            image_default=target.png; do
  expect_line "$line" tessaline.cfg
done
[ ! -e tessaline.cfg.tmp ] || fail "the temporary file was left behind"

# A new tile size list alone keeps the engine and replaces the offered
# sizes: Right walks from 16 x 9 to the list's next entry.
open_dialog
click_dialog 250 162
xdotool key ctrl+a
xdotool type --delay 50 "16,9, 48,27"
click_dialog 280 317
wait_closed
press Right
wait_for_line "new tile size : "
expect_line "new tile size : 48 x 27" tessaline.log
[ "$(count "^sub : " tessaline.log)" -eq 2 ] || fail "a new list alone replaced the engine"
echo "preferences: ok"
