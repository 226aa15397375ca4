# The File menu: Ctrl+F opens a picture as the target, Ctrl+S exports the
# mosaic in the type its name asks for (or says in one line why not, leaving
# no file), Ctrl+M hands a movie to the live input; each chosen name goes to
# the status line.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 2
# A target from outside the tile folder, a stand-in movie file, and a folder
# for the exports.
mkdir out elsewhere
convert "$(ls images/*.jpg | head -n 1)" -resize 320x target.png
touch clip.mp4

# A small working size keeps every export quick.
cat >tessaline.cfg <<'CFG'
[image]
image_width=1280
image_height=720
CFG

# Opens the chooser titled $2 with the keys $1, types $3 into its file name
# field and presses Enter; returns once the chooser has closed. Sets
# CHOOSER to the chooser's window. With SHOT set, screenshots the drawn
# chooser into that file first.
choose() {
  press "$1"
  CHOOSER=$(timeout 20 xdotool search --sync --onlyvisible --name "^$2\$" | head -n 1) ||
    fail "no window '$2' after $1"
  xdotool windowfocus --sync "$CHOOSER"
  [ -z "${SHOT:-}" ] || poll window_settled "$CHOOSER" "$SHOT" || fail "the chooser '$2' kept changing"
  xdotool type --delay 40 "$3"
  xdotool key Return
  wait_gone "$2"
}

start_app

# Export before any mosaic: one "no mosaic images", no file.
choose ctrl+s "Save Image" out/early.png
wait_for_count "^no mosaic images$" 1
[ ! -e out/early.png ] || fail "an export without a mosaic wrote early.png"
import -window "$WID" early.png

# Generate, then open a picture of our own as the target.
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_line "status : photomosaic have been generated." 60 console.txt
SHOT=chooser.png choose ctrl+f "Open image file" target.png
wait_for_count "^image name : target.png$" 1

# Each written type is whole and of the working size.
for name in out.png out.jpg out.tif; do
  choose ctrl+s "Save Image" "out/$name"
  wait_for_count "^saved the mosaic image to .*$name$" 1
  size=$(identify -format '%w x %h' "out/$name") || fail "identify cannot read $name"
  [ "$size" = "1280 x 720" ] || fail "$name is $size, not the working size"
done
import -window "$WID" exported.png

# A name typed as an absolute path goes where it says, not into the folder
# the chooser shows.
choose ctrl+s "Save Image" "$PWD/elsewhere/typed.png"
wait_for_count "^saved the mosaic image to $PWD/elsewhere/typed.png$" 1
[ -s elsewhere/typed.png ] || fail "the absolute name did not write elsewhere/typed.png"

# An unknown type and a missing folder: one line each, no file, no temporary.
choose ctrl+s "Save Image" out/out.xyz
wait_for_count "^cannot write the mosaic image to .*out.xyz : unknown picture type '.xyz'$" 1
choose ctrl+s "Save Image" out/missing/out.png
wait_for_count "^cannot write the mosaic image to .*missing/out.png : " 1
[ "$(count "cannot write the mosaic image" tessaline.log)" -eq 2 ] ||
  fail "the failed exports did not log one line each"
[ "$(ls -A out | tr '\n' ' ')" = "out.jpg out.png out.tif " ] ||
  fail "failed exports left files: $(ls -A out)"

# Keys typed while the program is busy (stopped here) reach the name in
# order, also across the "/" after which the chooser looks for the folder
# (here a missing one).
press ctrl+s
CHOOSER=$(timeout 30 xdotool search --sync --onlyvisible --name "^Save Image\$" | head -n 1) ||
  fail "no window 'Save Image' after ctrl+s"
xdotool windowfocus --sync "$CHOOSER"
poll window_settled "$CHOOSER" untyped.png || fail "the chooser 'Save Image' kept changing"
kill -STOP "$APP_PID"
xdotool type --delay 40 nofolder/bu || true
kill -CONT "$APP_PID"
# A pause in the typing: the chooser shows those keys taken and is at rest.
poll window_settled "$CHOOSER" typed.png untyped.png || fail "the chooser did not show the keys typed"
xdotool type --delay 40 sy.png
xdotool key Return
wait_for_count "^cannot write the mosaic image to .*/nofolder/busy.png : " 1

# Ctrl+E: the size first (128 px per tile is preselected; OK sits at the
# bottom right), then the file. The export runs on a worker with its
# progress on the status line and ends in one line: the picture at 128
# pixels per tile, or why it was not written (then no file is left).
press ctrl+e
DIALOG=$(timeout 20 xdotool search --sync --onlyvisible --name "^Export size\$" | head -n 1) ||
  fail "no window 'Export size' after ctrl+e"
eval "$(xdotool getwindowgeometry --shell "$DIALOG")"
xdotool mousemove --window "$DIALOG" $((WIDTH - 140)) $((HEIGHT - 22)) click 1
type_into_chooser "Save Print Image" out/print.tif
wait_for_line "^\(exported\|cannot export\) the mosaic to .*out/print.tif" 120
grep -q "^status : exporting print.tif : [0-9]* %$" console.txt ||
  fail "no export progress on the status line"
if grep -q "^exported the mosaic to .*out/print.tif$" tessaline.log; then
  [ "$(identify -format '%w x %h' out/print.tif)" = "5120 x 2880" ] ||
    fail "print.tif is not 40 x 40 tiles of 128 x 72"
else
  wait_for_line "^status : cannot export the mosaic to .*out/print.tif : " 30 console.txt
  [ ! -e out/print.tif ] || fail "a failed export left print.tif"
fi

# A movie reaches the live input.
choose ctrl+m "Open movie file" clip.mp4
wait_for_count "^cannot decode the movie .*clip.mp4 : the file is empty$" 1

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp chooser.png "$TESSALINE_SHOTS/file_chooser.png"
  cp early.png "$TESSALINE_SHOTS/file_early.png"
  cp exported.png "$TESSALINE_SHOTS/file_exported.png"
fi
press Escape
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1"
echo "file commands: ok"
