# The mosaic configuration: a first start writes tessaline.cfg with the
# defaults, quitting writes the view's keys before the window's into
# tessaline.ini, and a changed tessaline.cfg shapes the engine's grid.
source "$(dirname "$0")/lib.sh" "$@"

start_app
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"

head -n 4 tessaline.log >first_lines.txt
printf '%s\n' "[qxINI::Load] Invalid or corrupted file specified" \
  "Failed to open the tessaline.cfg file!" "saving the settings to tessaline.cfg..." \
  "save : tessaline.cfg" >expected_first.txt
cmp -s first_lines.txt expected_first.txt || fail "first log lines: $(cat first_lines.txt)"
for line in "matching : 2 x 2" "sub : 32 x 18" "div : 120 x 120" "images dir : ./images" \
            "search : 1" "tile scales : 32,18" "32, 18"; do
  expect_line "$line" tessaline.log
done

cat >expected.cfg <<'CFG'
[mosaic]
matching_x=2
matching_y=2
sub_width=32
sub_height=18
search_num=1
sub_scale_list=32,18
[image]
image_default=
image_dir=./images
image_width=3840
image_height=2160
touched_tile_scale=7
[icon]
icon_width=0.029999999999999999
icon_height=0.029999999999999999
icon_top_margin=0.040000000000000001
icon_left_margin=0.95999999999999996
[mosaic]
color_correction=0
repeat_distance=0
max_uses=0
use_all=0
steadiness=0.29999999999999999
CFG
cmp -s tessaline.cfg expected.cfg || fail "tessaline.cfg differs: $(diff expected.cfg tessaline.cfg)"

cat >expected.ini <<'INI'
[gl]
draw=65
font=14
font_file=Inconsolata.ttf
[mosaic]
alpha=1
color_correction=0
[window]
width=640
height=480
pos_x=100
pos_y=100
INI
cmp -s tessaline.ini expected.ini || fail "tessaline.ini differs: $(diff expected.ini tessaline.ini)"

# A changed configuration: its sizes reach the engine, and the file is read,
# not rewritten.
sed -i 's/^sub_width=32$/sub_width=48/; s/^sub_height=18$/sub_height=27/' tessaline.cfg
cp tessaline.cfg changed.cfg
start_app
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "second run did not quit with status 1"
expect_line "sub : 48 x 27" tessaline.log
expect_line "div : 80 x 80" tessaline.log
expect_line "48, 27" tessaline.log
grep -q "Failed to open the tessaline.cfg" tessaline.log && fail "tessaline.cfg was not read"
cmp -s tessaline.cfg changed.cfg || fail "tessaline.cfg was rewritten"

# Bad values: a size of 0 falls back to its default with one line, a value
# that is not a number keeps the default, and the program still runs.
sed -i 's/^sub_width=48$/sub_width=0/; s/^sub_height=27$/sub_height=abc/' tessaline.cfg
start_app
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "a run with bad values did not quit with status 1"
expect_line "invalid sub_width : 0; the default 32 is used" tessaline.log
expect_line "sub : 32 x 18" tessaline.log
grep -q "abc" console.txt || fail "the bad value 'abc' was not reported"

# A drag of the "Colour " slider that the program takes up late (stopped
# here, so that the press, the motion and the release arrive together)
# still moves the slider, and its value is kept with the window's state.
start_app
kill -STOP "$APP_PID"
xdotool mousemove --window "$WID" 200 408 mousedown 1 mousemove --window "$WID" 400 408 mouseup 1 || true
kill -CONT "$APP_PID"
wait_for_line "^colour correction : 1$"
press Escape
wait_app
expect_line "color_correction=1" tessaline.ini
echo "config: ok"
