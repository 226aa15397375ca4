# The cap per photo and the every-photo rule from the preference dialog: the
# statement logged after each generation keeps the cap set in "Uses " (or
# the higher one the log says a small library needs), "Use all" leaves no
# photo out, and " Default" saves both to tessaline.cfg.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 4 # forty pictures
# A 10 x 10 grid: more cells than photos, so that a cap of 1 must be raised.
printf '[image]\nimage_width=320\nimage_height=180\n' >tessaline.cfg

# The lines the log gained since it had $1 lines.
log_since() { tail -n "+$(($1 + 1))" tessaline.log >since.txt; }
open_dialog() {
  press p
  DLG=$(timeout 30 xdotool search --sync --onlyvisible --name '^photomosaic setting$' |
    head -n 1) || fail "the preference dialog did not open"
}
# X delivers the clicks and keys to the dialog in the order they are sent.
click_dialog() { xdotool mousemove --window "$DLG" "$1" "$2" click 1; }

start_app
xdotool mousemove --window "$WID" 52 318 click 1 # Generate
wait_for_line "status : photomosaic have been generated." 60 console.txt
[ "$(count '^cells : 100, ')" -eq 1 ] || fail "a mosaic without a cap was not stated"
# "Uses " 1 makes the mosaic again under the cap.
before=$(wc -l <tessaline.log) made=$(count "^average time : ")
open_dialog
click_dialog 300 252
xdotool key ctrl+a
xdotool type --delay 80 1
xdotool key Tab
click_dialog 280 317 # OK
wait_for_count "^average time : " $((made + 1))
log_since "$before"
expect_within_cap since.txt 1
# "Use all" and " Default" make the mosaic again too; then Generate.
open_dialog
click_dialog 132 282
click_dialog 22 317
click_dialog 280 317
wait_for_count "^average time : " $((made + 2))
wait_for_line "^save : tessaline.cfg" 30 console.txt
before=$(wc -l <tessaline.log)
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_count "^average time : " $((made + 3))
log_since "$before"
expect_within_cap since.txt 1 0
expect_line max_uses=1 tessaline.cfg
expect_line use_all=1 tessaline.cfg
press Escape
wait_app
echo "uses dialog: ok"
