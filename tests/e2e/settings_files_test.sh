# The settings files survive what the program cannot read: a tessaline.cfg
# with a malformed line is used and never rewritten, a folder name with a
# space, quoted or not, reaches the engine, and tessaline.ini with a malformed line
# keeps the window geometry it holds.
source "$(dirname "$0")/lib.sh" "$@"

mkdir -p tiles "My Photos"
convert -size 8x6 xc:red tiles/red.png
convert -size 8x6 xc:blue "My Photos/blue.png"

# Runs the program once and quits with Esc.
run_once() {
  start_app
  press Escape
  wait_app
  [ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1, got $APP_STATUS"
}

# Third line malformed; the values before and after it are the user's own.
cat >tessaline.cfg <<'CFG'
[mosaic]
sub_width=48
this line has no equals sign
sub_height=27
[image]
image_dir=./tiles
CFG
cp tessaline.cfg user.cfg
run_once
cmp -s tessaline.cfg user.cfg || fail "tessaline.cfg was rewritten: $(diff user.cfg tessaline.cfg)"
expect_line "tessaline.cfg has lines that could not be read; it is left as it is" tessaline.log
expect_line "images dir : ./tiles" tessaline.log
expect_line "sub : 48 x 27" tessaline.log

# A folder name with a space, written in quotes, is used as it stands.
cat >tessaline.cfg <<'CFG'
[image]
image_dir = "./My Photos" ; the holiday pictures
CFG
cp tessaline.cfg user.cfg
run_once
expect_line "images dir : ./My Photos" tessaline.log
cmp -s tessaline.cfg user.cfg || fail "tessaline.cfg with a quoted value was rewritten"
# Unquoted, it keeps the blank inside and loses those around it.
printf '[image]\nimage_dir = ./My Photos \t\n' >tessaline.cfg
run_once
expect_line "images dir : ./My Photos" tessaline.log

# The window settings: the readable values are used and saved back, the
# unreadable line is reported once on the console.
cat >tessaline.ini <<'INI'
[window]
width=700
[broken
height=500
[extra]
note="kept as it is"
INI
start_app
expect_line "tessaline.ini has lines that could not be read; the values of the others are used" \
  console.txt
poll window_is "$WID" 700 500 || fail "window is ${WIDTH}x${HEIGHT}, not 700x500"
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "the run with a malformed tessaline.ini did not quit with status 1"
for line in "width=700" "height=500" "[extra]" 'note="kept as it is"'; do
  expect_line "$line" tessaline.ini
done
echo "settings files: ok"
