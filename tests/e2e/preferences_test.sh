# The preference dialog: "p" opens "photomosaic setting"; Cancel, closing the
# window and OK without a change leave the engine and tessaline.cfg alone; a
# tile size typed into the spinners with " Default" ticked reloads the tiles
# at that size and saves it; a new tile size list replaces the offered sizes;
# sizes the GPU cannot hold are refused and the program goes on.
source "$(dirname "$0")/lib.sh" "$@"

prepare_colour_tiles
# Sends the window manager's WM_DELETE_WINDOW to window $1 (there is no
# window manager here to do it).
close_window() {
  python3 -c '
import ctypes as c, sys
x = c.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype, x.XInternAtom.restype = c.c_void_p, c.c_ulong
x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
x.XSendEvent.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.c_void_p]
x.XFlush.argtypes = [c.c_void_p]
class Event(c.Structure):  # XClientMessageEvent inside the 24-long XEvent
    _fields_ = [("type", c.c_int), ("serial", c.c_ulong), ("send_event", c.c_int),
                ("display", c.c_void_p), ("window", c.c_ulong), ("message_type", c.c_ulong),
                ("format", c.c_int), ("data", c.c_long * 5), ("pad", c.c_long * 16)]
d = x.XOpenDisplay(None)
e = Event(type=33, send_event=1, display=d, window=int(sys.argv[1]), format=32,
          message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0))
e.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(d, e.window, 0, 0, c.byref(e))
x.XFlush(d)' "$1"
}

open_dialog() {
  press p
  DLG=$(timeout 30 xdotool search --sync --onlyvisible --name '^photomosaic setting$' |
    head -n 1) || fail "the preference dialog did not open"
}
wait_closed() { wait_gone "photomosaic setting"; }
# X delivers the clicks and keys to the dialog in the order they are sent.
click_dialog() { xdotool mousemove --window "$DLG" "$1" "$2" click 1; }
# Replaces the text of the field at dialog-relative ($1, $2) by $3.
type_into() {
  click_dialog "$1" "$2"
  xdotool key ctrl+a
  xdotool type --delay 80 "$3"
  xdotool key Tab
}
# Tile size 16 x 9 and " Default" ticked.
edit_dialog() {
  type_into 150 72 16
  type_into 260 72 9
  click_dialog 22 317
}

start_app
wait_for_line "sub : 32 x 18"
cp tessaline.cfg first.cfg
open_dialog
edit_dialog
click_dialog 370 317 # Cancel
wait_closed
open_dialog
edit_dialog
close_window "$DLG"
wait_closed
open_dialog
click_dialog 280 317 # OK without a change
wait_closed
# The dialog opens again once the program has handled that OK.
open_dialog
[ "$(count "^sub : " tessaline.log)" -eq 1 ] || fail "the engine was replaced without a change"
[ "$(count "^save : " console.txt)" -eq 0 ] || fail "tessaline.cfg was saved"
cmp -s tessaline.cfg first.cfg || fail "tessaline.cfg changed: $(diff first.cfg tessaline.cfg)"
edit_dialog
click_dialog 280 317
wait_closed
wait_for_line "sub : 16 x 9"
wait_for_line "status : photomosaic have been generated." 60 console.txt
wait_for_line "^save : tessaline.cfg" 30 console.txt
expect_line "div : 240 x 240" tessaline.log
for line in sub_width=16 sub_height=9 image_width=3840 sub_scale_list=32,18; do
  expect_line "$line" tessaline.cfg
done

# Right walks from 16 x 9 to the next entry of the new list.
open_dialog
type_into 250 162 "16,9, 48,27"
click_dialog 280 317
wait_closed
press Right
wait_for_line "new tile size : "
expect_line "new tile size : 48 x 27" tessaline.log
[ "$(count "^sub : " tessaline.log)" -eq 2 ] || fail "a new list alone replaced the engine"

# Tiles of 2 x 2 with a 10 x 2 grid ask for a matching image 19200 pixels
# wide, past the GPU's texture side: refused in one line before anything
# changes, and the program goes on at the sizes it had.
wait_for_count "^status : photomosaic have been generated." 2 console.txt
cp tessaline.cfg before_refusal.cfg
open_dialog
type_into 150 72 2
type_into 260 72 2
type_into 150 102 10
click_dialog 280 317
wait_closed
wait_for_line "^the settings are not applied : the matching image 19200 x 2160 is larger than the largest texture side [0-9]*$"
wait_for_line "^status : the matching image 19200 x 2160 is larger" 30 console.txt
[ "$(count "^sub : " tessaline.log)" -eq 2 ] || fail "the refused settings replaced the engine"
cmp -s tessaline.cfg before_refusal.cfg || fail "the refused settings changed tessaline.cfg"
press Left
wait_for_line "new tile size : 16 x 9"
wait_for_count "^status : photomosaic have been generated." 3 console.txt
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "the program did not end cleanly after a new engine"
echo "preferences: ok"
