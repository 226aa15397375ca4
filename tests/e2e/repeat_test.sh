# The repeat distance end to end. tessaline-batch --repeat R: no tile colour
# of the written mosaic appears twice within R cells, the same seed gives
# the same file, a library too small for R says so in one log line and
# still fills every cell, and a bad R is refused in one line. In the
# program: the "Repeat " field of the preference dialog makes the mosaic
# again under the new rule without a new engine or a new load.
source "$(dirname "$0")/lib.sh" "$@"

# The first cell of mosaic $1 (a grid of $2 x $2 flat cells) whose colour
# appears again within $3 cells; "none" when there is none.
first_repeat() {
  convert "$1" -sample "$2x$2!" -depth 8 txt:- | python3 -c '
import re, sys
n, r = int(sys.argv[1]), int(sys.argv[2])
cells = {}
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+):.*(#[0-9A-Fa-f]{6})", line)
    if m:
        cells[int(m.group(1)), int(m.group(2))] = m.group(3)
for (x, y), c in sorted(cells.items()):
    for dx in range(-r, r + 1):
        for dy in range(-r, r + 1):
            if (dx or dy) and cells.get((x + dx, y + dy)) == c:
                print(x, y); sys.exit()
print("none")' "$2" "$3"
}

# Forty tiles, each one flat colour, all distinct; a 20 x 20 grid.
mkdir tiles
for i in $(seq 0 39); do
  printf -v colour '#%02x%02x%02x' $(((i * 53) % 256)) $(((i * 97 + 30) % 256)) $(((i * 31 + 80) % 256))
  convert -size 40x30 "xc:$colour" "tiles/t$i.png"
done
convert -size 640x360 xc:'#808080' target.png # one flat colour: every cell wants the same tile
common=(--tiles tiles --tile 16x9 --size 320x180 --target target.png --seed 3)

run "${common[@]}" --out plain.png --repeat 0
expect_status 0 "--repeat 0"
[ "$(first_repeat plain.png 20 1)" != none ] || fail "a flat target without a repeat distance should repeat its tile"
run "${common[@]}" --out r2.png --repeat 2
expect_status 0 "--repeat 2"
[ "$(first_repeat r2.png 20 2)" = none ] || fail "a tile repeats within 2 cells: $(first_repeat r2.png 20 2)"
grep -q "too small to keep photos" tessaline.log && fail "40 tiles keep 2 cells apart, yet the log says they cannot"
run "${common[@]}" --out r2again.png --repeat=2
cmp -s r2.png r2again.png || fail "the same seed gave another mosaic"

# Any 7 x 7 cells must differ at R = 6: forty tiles cannot keep it.
run "${common[@]}" --out r6.png --repeat 6
expect_status 0 "--repeat 6 with too few tiles"
expect_count "the library is too small to keep photos 6 cells apart; some repeat closer" tessaline.log 1
[ "$(identify -format '%wx%h' r6.png)" = 320x180 ] || fail "r6.png is not a whole mosaic"

for bad in -1 x 2.5; do
  run "${common[@]}" --out bad.png --repeat "$bad"
  expect_status 2 "--repeat $bad"
  # One line says what is wrong; the usage follows it.
  head -n 1 err.txt | grep -q "^tessaline-batch: invalid value for --repeat : '$bad'" ||
    fail "--repeat $bad: $(head -n 1 err.txt)"
done
grep -q -- "--repeat R" <("$BATCH" --help) || fail "--help does not describe --repeat"

# The program: eight tiles cannot keep R = 2 (any 3 x 3 cells differ) on
# the default 120 x 120 grid, which the log says once the new rule applies.
prepare_colour_tiles
cp tessaline.cfg first.cfg
start_app
xdotool mousemove --window "$WID" 52 318 click 1 # Generate
wait_for_line "status : photomosaic have been generated." 60 console.txt
press p
DLG=$(timeout 30 xdotool search --sync --onlyvisible --name '^photomosaic setting$' | head -n 1) ||
  fail "the preference dialog did not open"
# X delivers the clicks and keys to the dialog in the order they are sent.
xdotool mousemove --window "$DLG" 150 252 click 1 # Repeat
xdotool key ctrl+a
xdotool type --delay 80 2
xdotool key Tab
xdotool mousemove --window "$DLG" 280 317 click 1 # OK
wait_for_count "^average time : " 2 # a second mosaic, made with the library already loaded
expect_count "the library is too small to keep photos 2 cells apart; some repeat closer" tessaline.log 1
[ "$(count "^sub : ")" -eq 1 ] || fail "a new repeat distance replaced the engine"
cmp -s tessaline.cfg first.cfg || fail "tessaline.cfg changed without \" Default\""
press Escape
wait_app
echo "repeat: ok"
