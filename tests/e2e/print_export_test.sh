# tessaline-batch --print/--deepzoom: the mosaic at print size from the
# original photos, as a picture and as a deep-zoom folder whose page loads
# in a headless Chromium, from a static web server (its access log shows
# the tiles fetched) and from a file URL, and names the photo of a cell.
source "$(dirname "$0")/lib.sh"
SERVER_PID=
trap 'stop_pid "$SERVER_PID"; cleanup_work' EXIT

if ! command -v chromium >/dev/null; then
  echo "SKIP: chromium is not installed (Debian package chromium): the deep-zoom page is not checked"
  exit 77
fi

prepare_swirl_tiles
# 20 x 20 cells of 64 x 36 pixels: a 1280 x 720 picture, pyramid levels 0 to 11.
common=(--tiles tiles --tile 16x9 --size 320x180 --target target.png --seed 3)

run "${common[@]}" --print 64 --out print.png --deepzoom dz
expect_status 0 "a print picture and a deep-zoom folder"
[ "$(identify -format '%wx%h' print.png)" = 1280x720 ] || fail "print.png is not 1280x720"
expect_line "print picture : 1280 x 720 written to print.png" tessaline.log
for f in index.html cells.js mosaic.dzi leaflet/leaflet.js leaflet/leaflet.css \
  mosaic_files/0/0_0.jpg mosaic_files/11/4_2.jpg; do
  [ -f "dz/$f" ] || fail "dz/$f is missing"
done
[ ! -e dz/mosaic_files/11/5_0.jpg ] || fail "a tile lies outside the picture"
# The deepest level is the picture itself, the next one it halved.
similar() {
  local rmse
  rmse=$(compare -metric RMSE "$1" "$2" null: 2>&1 | sed 's/.*(\(.*\))/\1/') || true
  awk -v e="$rmse" 'BEGIN { exit !(e < 0.03) }' || fail "$3 (RMSE $rmse)"
}
convert print.png -crop 256x208+1024+512 +repage level11.png
similar dz/mosaic_files/11/4_2.jpg level11.png "the last deepest tile is not the picture's corner"
convert print.png -scale 50% -crop 256x256+256+0 +repage level10.png
similar dz/mosaic_files/10/1_0.jpg level10.png "a tile of the next level is not the picture halved"

# The photo of the cell at column $1, row $2 of 20, from the cell table.
photo_of() {
  python3 - "$1" "$2" <<'PY'
import json, sys
text = open("dz/cells.js").read()
m = json.loads(text[text.index("{"):text.rindex("}") + 1])
print(m["names"][m["cells"][int(sys.argv[2]) * m["divX"] + int(sys.argv[1])]])
PY
}
expected=$(photo_of 3 2)  # under (200, 100)
[[ "$expected" =~ ^p[0-9]+\.jpg$ ]] || fail "cells.js does not name base names ($expected)"
corner=$(photo_of 17 18)  # under (1150, 670)

browse() {
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --user-data-dir="$WORK/profile" --virtual-time-budget=8000 --dump-dom "$1" 2>/dev/null
}
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -u -m http.server "$PORT" --bind 127.0.0.1 --directory dz >access.log 2>&1 &
SERVER_PID=$!
poll grep -q "Serving HTTP" access.log || fail "the web server did not start"

browse "http://127.0.0.1:$PORT/index.html#0/640/360" >top.html
grep -q '"GET /mosaic_files/0/0_0.jpg' access.log || fail "the top-level tile was not fetched"
browse "http://127.0.0.1:$PORT/index.html#11/200/100" >deep.html
grep -q '"GET /mosaic_files/11/0_0.jpg' access.log || fail "a deepest-level tile was not fetched"
grep -q "id=\"photo\">$expected<" deep.html || fail "the page does not name $expected"
grep -q ' 404 ' access.log && grep ' 404 ' access.log | grep -v favicon >&2 && fail "a file was missing"

# Offline, from the folder itself.
browse "file://$WORK/dz/index.html#11/1150/670" >file.html
grep -q "id=\"photo\">$corner<" file.html || fail "the page from a file URL does not name $corner"

# A second export replaces the first whole (the folder named as a shell's
# completion gives it, with a trailing slash); a folder of other files, or
# an earlier export the user has added a file to, is never touched.
run "${common[@]}" --deepzoom dz/ --print 32
expect_status 0 "a second export into the same folder, named dz/"
grep -q '"width":640' dz/cells.js || fail "the second export did not replace the first"
echo keep >dz/notes.txt
run "${common[@]}" --deepzoom dz --print 16
expect_status 1 "an export into an earlier export holding a file of the user's"
[ -f dz/notes.txt ] && grep -q '"width":640' dz/cells.js || fail "the earlier export was changed"
mkdir mine && echo keep >mine/notes.txt
run "${common[@]}" --deepzoom mine
expect_status 1 "an export into a folder of other files"
[ "$(wc -l <err.txt)" -eq 1 ] && grep -q "^tessaline-batch: .*holds other files" err.txt ||
  fail "the refusal is not one line: $(cat err.txt)"
[ "$(ls mine)" = notes.txt ] || fail "the folder of other files was changed"
[ -z "$(ls -a | grep tessaline-)" ] || fail "a temporary folder was left behind"

# A disk that fills up midway (a file size limit, its signal ignored so
# that writes fail): one line, and neither the picture nor a part of it.
for name in full.png full.tif full.jpg; do
  STATUS=0
  (trap '' XFSZ; ulimit -f 150; "$BATCH" "${common[@]}" --print 128 --out "$name") >out.txt 2>err.txt ||
    STATUS=$?
  expect_status 1 "$name on a full disk"
  [ "$(wc -l <err.txt)" -eq 1 ] && grep -q "^tessaline-batch: cannot write $name" err.txt ||
    fail "$name on a full disk: $(cat err.txt)"
  [ ! -e "$name" ] || fail "a part of $name was left"
done
[ -z "$(ls -A | grep '^\.full\.')" ] || fail "a temporary file was left behind"

# Absurd sizes are refused before any work, with one line.
for bad in 4 5000 x; do
  run "${common[@]}" --print "$bad" --out p.tif
  expect_status 2 "--print $bad"
  grep -q "^tessaline-batch: invalid value for --print" err.txt || fail "--print $bad: $(cat err.txt)"
done
run "${common[@]}" --size 3840x2160 --tile 32x18 --print 600 --out p.jpg
expect_status 2 "a JPEG beyond 65500 pixels"
grep -q "^tessaline-batch: a JPEG holds at most 65500 pixels" err.txt || fail "$(cat err.txt)"
[ ! -e p.jpg ] || fail "the refused run wrote something"
run "${common[@]}" --size 3840x2160 --print 4096 --deepzoom big
expect_status 2 "a picture too large to make in bounded memory"
grep -q "^tessaline-batch: the print picture would be too large" err.txt || fail "$(cat err.txt)"
[ ! -e big ] || fail "the refused deep zoom wrote something"
echo "print export test passed"
