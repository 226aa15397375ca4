# Files dragged from another X client onto the view: every dropped path is
# printed decoded, the first one opens by its extension and its name goes to
# the status line; the drags never reach the view's mouse handling.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 5
cat >tessaline.cfg <<'CFG'
[image]
image_default=images/BytheWater.jpg
CFG
[ -f images/BytheWater.jpg ] || fail "the sample photograph BytheWater.jpg is missing"

# The dropped files lie outside the tile folder, in a folder whose name has
# a space (a %20 in the URI); the second picture's name is not ASCII.
DROP="$WORK/drop here"
mkdir -p "$DROP"
mapfile -t others < <(ls images/*.jpg | grep -v -e _part -e BytheWater)
[ "${#others[@]}" -ge 2 ] || fail "fewer than three sample photographs"
cp "${others[0]}" "$DROP/Sea.JPG"
cp "${others[1]}" "$DROP/Pier é.jpg"
echo "not a picture" >"$DROP/notes.txt"
# A name holding terminal controls: set the window title, ring the bell.
TIDE="Tide"$'\e]0;x\a'".jpg"
cp "${others[0]}" "$DROP/$TIDE"

PYTHON=/usr/bin/python3  # the system one, which has the GTK bindings
"$PYTHON" -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null ||
  fail "python3-gi and gir1.2-gtk-3.0 are needed for the drag source"
DRAG_PID=
trap 'stop_pid "$DRAG_PID"; cleanup_work' EXIT

# Succeeds when the pointer lies inside window $1 (without a window
# manager X names no window under the pointer).
pointer_on() {
  local X Y WIDTH HEIGHT px py
  eval "$(xdotool getmouselocation --shell)"
  px=$X py=$Y
  eval "$(xdotool getwindowgeometry --shell "$1")"
  [ "$px" -ge "$X" ] && [ "$px" -lt $((X + WIDTH)) ] && [ "$py" -ge "$Y" ] && [ "$py" -lt $((Y + HEIGHT)) ]
}
# The lines of the drop target's events for a position: the first over it
# comes as an enter, the others as drags.
POSITIONS="^qxFlDndBox::FL_DND_\(ENTER\|DRAG\)$"
# Succeeds when the drop target was told of more than $1 positions.
drags_beyond() { [ "$(count "$POSITIONS" console.txt)" -gt "$1" ]; }
# Moves the pointer (on the screen) to ($1, $2) and waits until the drop
# target has been told of a position after it.
drag_onto() {
  local seen
  seen=$(count "$POSITIONS" console.txt)
  xdotool mousemove "$1" "$2"
  poll drags_beyond "$seen" || fail "the drop target saw no drag to $1, $2"
}
# Drags the given files from a fresh drag source window (top left of the
# screen) to the middle of the view and drops them there.
drag_files() {
  "$PYTHON" "$SOURCE_DIR/tests/e2e/drag_source.py" "drag source" "$@" >drag.txt 2>&1 &
  DRAG_PID=$!
  wait_for_line "drag source : ready" 20 drag.txt
  local source_window
  source_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^drag source$' | head -n 1) ||
    fail "no drag source window"
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  local to_x=$((X + 7 + 313)) to_y=$((Y + 27 + 131))
  xdotool mousemove 100 50
  poll pointer_on "$source_window" || fail "the pointer did not reach the drag source"
  xdotool mousedown 1
  # GTK starts the drag after a few pixels of motion; the rest crosses the
  # screen in steps so that the target sees positions on the way.
  xdotool mousemove $((100 + (to_x - 100) / 5)) $((50 + (to_y - 50) / 5))
  wait_for_line "drag source : begin" 20 drag.txt
  for step in 2 3 4; do
    xdotool mousemove $((100 + (to_x - 100) * step / 5)) $((50 + (to_y - 50) * step / 5))
  done
  # The source sends the next position only once the target answered the
  # last, so a second position seen means the drop will be taken.
  drag_onto "$to_x" "$to_y"
  drag_onto $((to_x + 2)) $((to_y + 2))
  xdotool mouseup 1
  wait_for_line "drag source : end" 20 drag.txt
  stop_pid "$DRAG_PID"
  wait "$DRAG_PID" 2>/dev/null || true
  DRAG_PID=
}

start_app
xdotool mousemove --window "$WID" 52 318 click 1
wait_for_line "status : photomosaic have been generated." 60 console.txt
expect_line "image name : BytheWater.jpg" tessaline.log
import -window "$WID" before.png

# One picture: opened as the target (the extension is compared in lower
# case), its name on the status line.
drag_files "$DROP/Sea.JPG"
wait_for_line "^status : Sea.JPG$" 30 console.txt
expect_line "file0 : $DROP/Sea.JPG" console.txt
wait_for_line "^image name : Sea.JPG$"
# The drop target itself took the drag, not only the paste: the drop does
# not hang on the pointer having entered the window before the release.
grep -q "^qxFlDndBox::FL_DND_DRAG$" console.txt || fail "the drag did not reach the drop target"
# Screenshots the window into after.png; succeeds when it differs from
# before.png (the RMSE goes to changed).
view_changed() {
  import -window "$WID" after.png
  changed=$({ compare -metric RMSE before.png after.png null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/')
  awk -v c="$changed" 'BEGIN { exit !(c > 0.02) }'
}
poll view_changed || fail "the view did not change with the drop (RMSE $changed)"

# Three files: all printed in order, only the first opened.
opened=$(count "^reading a texture" tessaline.log)
drag_files "$DROP/Pier é.jpg" "$DROP/notes.txt" "$DROP/Sea.JPG"
wait_for_line "^status : Pier é.jpg$" 30 console.txt
expect_line "file0 : $DROP/Pier é.jpg" console.txt
expect_line "file1 : $DROP/notes.txt" console.txt
expect_line "file2 : $DROP/Sea.JPG" console.txt
wait_for_line "^image name : Pier é.jpg$"
[ "$(count "^reading a texture" tessaline.log)" -eq $((opened + 1)) ] ||
  fail "more than the first of three dropped files was opened"

# Not a picture or a movie: the name is shown, nothing is opened.
opened=$(count "^reading a texture" tessaline.log)
drag_files "$DROP/notes.txt"
wait_for_line "^status : notes.txt$" 30 console.txt
expect_line "file0 : $DROP/notes.txt" console.txt
[ "$(count "^reading a texture" tessaline.log)" -eq "$opened" ] || fail "a text file was opened"

# The name holding terminal controls is printed with them escaped, on the
# console and in the log: they never reach the terminal.
drag_files "$DROP/$TIDE"
wait_for_line '^status : Tide\\x1b]0;x\\x07\.jpg$' 30 console.txt
expect_line "file0 : $DROP/"'Tide\x1b]0;x\x07.jpg' console.txt
wait_for_line '^image name : Tide\\x1b]0;x\\x07\.jpg$'
! grep -q $'[\e\a]' console.txt tessaline.log || fail "a control character reached the console or the log"

# The drags never reached the view's mouse handling: no cell was picked.
[ "$(count "^sel : " tessaline.log)" -eq 0 ] || fail "a drag selected a cell"
[ "$(count "^zoom" tessaline.log)" -eq 0 ] || fail "a drag started a zoom"

[ -z "${TESSALINE_SHOTS:-}" ] || cp after.png "$TESSALINE_SHOTS/drop.png"
press Escape
wait_app
echo "drop: ok"
