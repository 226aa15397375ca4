# tessaline-batch --tiles on a folder with odd files named like pictures: a
# FIFO (whose opening would block the load for good), a socket, a picture
# whose header asks for more memory than decodes may take, and a touched
# tile file cut short. The load ends, uses the other pictures, names the
# huge one once and makes the cut tile file again. Runs without a display.
set -euo pipefail
BUILD_DIR=$(cd "$1" && pwd)
BATCH="$BUILD_DIR/app/tessaline-batch"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

fail() {
  echo "FAIL: $*" >&2
  for f in out.txt err.txt tessaline.log; do
    echo "--- $f" >&2
    cat "$WORK/$f" >&2 2>/dev/null || true
  done
  exit 1
}
expect_line() { grep -qxF -- "$1" "$2" || fail "expected the line '$1' in $2"; }
run() {
  STATUS=0
  timeout 60 "$BATCH" "$@" >out.txt 2>err.txt || STATUS=$?
  [ "$STATUS" -ne 124 ] || fail "the load hung"
}

mkdir imgs
for i in 1 2 3; do
  convert -size $((20 + i))x12 "gradient:rgb($((i * 40)),40,90)-rgb(250,30,10)" imgs/p$i.png
done
mkfifo imgs/fifo.jpg
python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' imgs/socket.png
# A 30000 x 30000 PNG is a few bytes of header: signature, IHDR, IEND.
printf '\211PNG\r\n\032\n\0\0\0\015IHDR\0\0\165\060\0\0\165\060\010\002\0\0\0\0\0\0\0\0\0\0\0IEND\256B`\202' \
  >imgs/huge.png

run --tiles imgs
[ "$STATUS" -eq 0 ] || fail "the load ended with $STATUS"
expect_line "add : 4" tessaline.log
expect_line "too large to decode, skipped : /huge.png (30000 x 30000)" tessaline.log
[ "$(grep -c "huge.png" tessaline.log)" -eq 1 ] || fail "huge.png is named more than once"
expect_line "3 images were read. " tessaline.log
[ "$(find imgs -name '*.tle' | wc -l)" -eq 3 ] || fail "expected 3 .tle files"

# A touched tile cut short by a crash is made again at the next load.
head -c 100 imgs/p2.tle >cut && mv cut imgs/p2.tle
run --tiles imgs
[ "$STATUS" -eq 0 ] || fail "the reload ended with $STATUS"
expect_line "3 images were read. " tessaline.log
identify -format '%m %wx%h' imgs/p2.tle | grep -qx 'PNG 224x126' || fail "p2.tle was not made again"
[ -z "$(find imgs -name '*.tmp')" ] || fail "a temporary file was left"
echo "odd tiles: ok"
