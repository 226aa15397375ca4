# tessaline-batch --tiles: a first run reads every picture and writes the
# cache and touched-tile files, a second run of the unchanged folder changes
# nothing, the exit status tells whether the library is empty, and the
# command line is checked. Runs without a display.
E2E_NO_DISPLAY=1
source "$(dirname "$0")/lib.sh"

expect_no_line() { ! grep -qF -- "$1" "$2" || fail "unexpected '$1' in $2"; }
stamp() { echo "$(sha256sum "$1" | cut -d' ' -f1) $(stat -c %y "$1")"; }

# Twenty small pictures of several kinds, one folder deep as well.
mkdir -p imgs/sub
for i in $(seq 1 20); do
  case $((i % 5)) in
    0) name=imgs/p$i.jpg ;;
    1) name=imgs/p$i.png ;;
    2) name=imgs/p$i.bmp ;;
    3) name=imgs/p$i.gif ;;
    4) name=imgs/sub/p$i.jpg ;;
  esac
  convert -size $((20 + i))x$((12 + i)) "gradient:rgb($((i * 12)),40,90)-rgb(250,$((i * 9)),10)" "$name"
done
cache=imgs/mosaic_info2x2-32x18.pmc

run --tiles imgs
[ "$STATUS" -eq 0 ] || fail "first run ended with $STATUS"
expect_line "reading images... (imgs)" tessaline.log
expect_line "add : 20" tessaline.log
expect_line "del : 0" tessaline.log
expect_line "images infomation file : $cache" tessaline.log
expect_line "readed image : 20" tessaline.log
expect_line "20 images were read. " tessaline.log
expect_line "**** load sub images : end ****" tessaline.log
[ -f "$cache" ] || fail "no cache file $cache"
[ "$(find imgs -name '*.tle' | wc -l)" -eq 20 ] || fail "expected 20 .tle files"
identify -format '%m %wx%h' imgs/sub/p4.tle | grep -qx 'PNG 224x126' || fail "p4.tle is not a 224x126 PNG"
# Every message reached the log and the console once, in the same order.
cmp -s out.txt tessaline.log || fail "console and tessaline.log differ"
expect_no_line "creating thumbnails" err.txt  # no progress bar when not a terminal
[ ! -e tessaline.cfg ] || fail "tessaline.cfg was written"

before=$(stamp "$cache")
run --tiles imgs
[ "$STATUS" -eq 0 ] || fail "second run ended with $STATUS"
expect_line "use the existing mosaic infomation($cache)" tessaline.log
expect_line "add : 0" tessaline.log
expect_line "del : 0" tessaline.log
expect_no_line "images infomation file" tessaline.log
expect_line "the number of image : 20" tessaline.log
cmp -s out.txt tessaline.log || fail "console and tessaline.log differ after the second run"
[ "$(stamp "$cache")" = "$before" ] || fail "the cache file was rewritten"
# The folder typed with a trailing separator is the same folder: the same
# cache and names, nothing read again.
run --tiles imgs/
[ "$STATUS" -eq 0 ] || fail "the run with imgs/ ended with $STATUS"
expect_line "use the existing mosaic infomation($cache)" tessaline.log
expect_line "add : 0" tessaline.log
expect_line "del : 0" tessaline.log
[ "$(stamp "$cache")" = "$before" ] || fail "imgs/ rewrote the cache file"

# The configuration file is read, never written; options override it.
printf '[mosaic]\nsub_width=16\nsub_height=9\n' >tessaline.cfg
cp tessaline.cfg expected.cfg
run --tiles imgs
[ "$STATUS" -eq 0 ] || fail "run with tessaline.cfg ended with $STATUS"
[ -f imgs/mosaic_info2x2-16x9.pmc ] || fail "tessaline.cfg's tile size was not used"
cmp -s tessaline.cfg expected.cfg || fail "tessaline.cfg was changed"
run --tiles=imgs --tile 8x6 --grid 1x3
[ "$STATUS" -eq 0 ] || fail "run with --tile and --grid ended with $STATUS"
[ -f imgs/mosaic_info1x3-8x6.pmc ] || fail "--tile/--grid were not used"
[ "$(stamp "$cache")" = "$before" ] || fail "another tile size touched $cache"

# A progress bar appears on a terminal.
rm imgs/mosaic_info1x3-8x6.pmc
script -qec "'$BATCH' --tiles imgs --tile 8x6 --grid 1x3" /dev/null >tty.txt </dev/null
grep -q "creating thumbnails" tty.txt || fail "no progress bar on a terminal"

# Nothing to load: exit status 1.
mkdir empty
run --tiles empty
[ "$STATUS" -eq 1 ] || fail "an empty folder should end with 1, got $STATUS"
expect_line "0 images were read. " tessaline.log
run --tiles missing
[ "$STATUS" -eq 1 ] || fail "a missing folder should end with 1, got $STATUS"

# The command line.
run --help
[ "$STATUS" -eq 0 ] || fail "--help ended with $STATUS"
grep -q -- "--tiles DIR" out.txt || fail "--help does not describe --tiles"
for args in "--bogus" "--tiles" "--tile 32 --tiles imgs" "--grid 0x2 --tiles imgs" ""; do
  # shellcheck disable=SC2086
  run $args
  [ "$STATUS" -eq 2 ] || fail "'$args' should end with 2, got $STATUS"
  head -n 1 err.txt | grep -q "^tessaline-batch: " || fail "'$args' gave no clear first line"
  grep -q "^usage: " err.txt || fail "'$args' gave no usage"
done
# Odd files named like pictures: a FIFO (opening it would block the load for
# good), a socket, and a PNG whose few bytes of header ask for 30000 x 30000
# pixels, more than decodes may take. The load ends and uses the others.
rm tessaline.cfg  # the default tile size again
mkdir odd
cp imgs/p1.png imgs/p2.bmp odd/
mkfifo odd/fifo.jpg
python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' odd/socket.png
printf '\211PNG\r\n\032\n\0\0\0\015IHDR\0\0\165\060\0\0\165\060\010\002\0\0\0\0\0\0\0\0\0\0\0IEND\256B`\202' \
  >odd/huge.png
STATUS=0
timeout 60 "$BATCH" --tiles odd >out.txt 2>err.txt || STATUS=$?
[ "$STATUS" -ne 124 ] || fail "the load of odd files hung"
[ "$STATUS" -eq 0 ] || fail "the load of odd files ended with $STATUS"
expect_line "add : 3" tessaline.log
expect_line "too large to decode, skipped : /huge.png (30000 x 30000)" tessaline.log
[ "$(grep -c "huge.png" tessaline.log)" -eq 1 ] || fail "huge.png is named more than once"
expect_line "2 images were read. " tessaline.log

# A touched tile cut short by a crash is made again at the next load.
head -c 100 odd/p1.tle >cut && mv cut odd/p1.tle
run --tiles odd
[ "$STATUS" -eq 0 ] || fail "the reload of odd files ended with $STATUS"
identify -format '%m %wx%h' odd/p1.tle | grep -qx 'PNG 224x126' || fail "p1.tle was not made again"
[ -z "$(find odd -name '*.tmp')" ] || fail "a temporary file was left"
echo "batch tiles: ok"
