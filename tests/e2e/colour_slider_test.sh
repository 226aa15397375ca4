# The "Colour " slider belongs to the session, not to the configuration: a
# tile size chosen with Left and a share set with the slider leave
# tessaline.cfg as the user wrote it; the share is kept in tessaline.ini and
# the next start shows the slider where it was left; " Default" in the
# preference dialog then saves the share into tessaline.cfg with the rest.
source "$(dirname "$0")/lib.sh" "$@"

prepare_colour_tiles
printf '[mosaic]\nsub_scale_list=32,18,64,36\n' >>tessaline.cfg
cp tessaline.cfg user.cfg

# The slider lies at (159, 389), 145 x 25, in the 640 x 480 window.
slider_shot() {
  timeout 10 import -window "$WID" shot.png
  convert shot.png -crop 145x25+159+389 +repage "$1"
}

start_app
slider_shot slider0.png
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_line "status : photomosaic have been generated." 60 console.txt
press Left
wait_for_line "new tile size : 64 x 36"
wait_for_count "status : photomosaic have been generated." 2 console.txt

# The knob from the left end to past the right end: the share 1.
drag_slider 200 400 408
wait_for_line "^colour correction : 1$"
slider_shot slider1.png
[ "$(pixels_differing slider0.png slider1.png)" -gt 100 ] || fail "the slider did not move"
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
cmp -s tessaline.cfg user.cfg || fail "tessaline.cfg was rewritten: $(diff user.cfg tessaline.cfg)"
expect_line "color_correction=1" tessaline.ini

# The next start: the slider stands where it was left.
start_app
slider_shot slider2.png
[ "$(pixels_differing slider1.png slider2.png)" -lt 20 ] ||
  fail "the slider did not come back at 1 ($(pixels_differing slider1.png slider2.png) pixels differ)"

# OK with " Default" ticked saves the configuration in use, the share too;
# the tile size is the file's, not the one Left chose in the last session.
press p
DLG=$(timeout 10 xdotool search --sync --onlyvisible --name '^photomosaic setting$' | head -n 1) ||
  fail "the preference dialog did not open"
# X delivers the clicks in order: the box is ticked before OK is pressed.
xdotool mousemove --window "$DLG" 22 317 click 1 mousemove --window "$DLG" 280 317 click 1
wait_for_line "^save : tessaline.cfg$" 10 console.txt
for line in color_correction=1 sub_width=32 sub_height=18 sub_scale_list=32,18,64,36; do
  expect_line "$line" tessaline.cfg
done
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "the second run did not quit with status 1"
echo "colour slider: ok"
