# tessaline-batch --movie: the mosaic movie of every frame of a generated
# movie, at its frame rate, each frame made of whole library tiles; and the
# failures of a movie run end with one line and the documented status.
source "$(dirname "$0")/lib.sh"

# The values of the entries $1 of the video stream of movie $2 ("320,180").
stream_value() { ffprobe -v error -select_streams v:0 -count_frames -show_entries "stream=$1" -of csv=p=0 "$2"; }

# Forty tiles of one flat colour each, all colours distinct; "r g b" lines.
mkdir tiles
for i in $(seq 0 39); do
  r=$(((i * 53) % 256)) g=$(((i * 97 + 30) % 256)) b=$(((i * 31 + 80) % 256))
  echo "$r $g $b" >>colours.txt
  convert -size 40x30 "xc:rgb($r,$g,$b)" "tiles/t$i.png"
done
ffmpeg -v error -f lavfi -i testsrc=duration=2:size=320x240:rate=25 -c:v mpeg4 -q:v 3 in.mp4

run --tiles tiles --tile 32x18 --size 320x180 --k 3 --seed 5 --movie in.mp4 --out out.avi
expect_status 0 "a mosaic movie"
[ "$(stream_value nb_read_frames out.avi)" = 50 ] || fail "the mosaic movie has not the input's 50 frames"
[ "$(stream_value r_frame_rate out.avi)" = 25/1 ] || fail "the mosaic movie does not play at 25 fps"
[ "$(stream_value width,height out.avi)" = 320,180 ] || fail "the mosaic movie is not of the working size"
grep -q "^movie : 50 frames at 25 fps" tessaline.log || fail "no summary line in the log"
ls -A | grep -q '\.part' && fail "a temporary file was left behind"

# In the first, a middle and the last frame, the inside of a few cells is
# flat and of a tile's colour (MJPEG blurs only the cell borders).
ffmpeg -v error -i out.avi -vf 'select=eq(n\,0)+eq(n\,24)+eq(n\,49)' -vsync 0 frame%d.png
for frame in frame1.png frame2.png frame3.png; do
  for cell in 0+0 288+162 160+90 64+36 256+18 32+144; do
    x=$((${cell%+*} + 6)) y=$((${cell#*+} + 4))
    read -r r g b spread < <(convert "$frame" -crop "20x10+$x+$y" +repage -format \
      '%[fx:round(255*mean.r)] %[fx:round(255*mean.g)] %[fx:round(255*mean.b)] %[fx:round(255*standard_deviation)]\n' info:)
    [ "$spread" -le 6 ] || fail "$frame: cell at $cell is not flat (spread $spread)"
    awk -v r="$r" -v g="$g" -v b="$b" 'function d(a, b) { return a > b ? a - b : b - a }
      d($1, r) <= 12 && d($2, g) <= 12 && d($3, b) <= 12 { found = 1 } END { exit !found }' \
      colours.txt || fail "$frame: cell at $cell ($r $g $b) is not a tile's colour"
  done
done

# The GLSL pass in a hidden GL context composes the very same movie.
run --tiles tiles --tile 32x18 --size 320x180 --k 3 --seed 5 --movie in.mp4 --out gpu.avi --gpu
expect_status 0 "a mosaic movie on the GPU"
cmp -s out.avi gpu.avi || fail "the GPU mosaic movie differs from the CPU one"

# Failures: one line, the documented status, no output.
head -c 3000 /dev/urandom >junk.mp4
run --tiles tiles --tile 32x18 --size 320x180 --movie junk.mp4 --out m.avi
expect_status 1 "a movie that is none"
[ "$(wc -l <err.txt)" -eq 1 ] && grep -q "^tessaline-batch: cannot read the movie junk.mp4" err.txt ||
  fail "a movie that is none gave no clear line"
run --tiles tiles --movie in.mp4 --out m.gif
expect_status 2 "a GIF movie"
grep -q "^tessaline-batch: cannot write a movie to 'm.gif'" err.txt || fail "a GIF movie gave no clear line"
[ ! -e m.avi ] && [ ! -e m.gif ] || fail "a failed run wrote a movie"

# A disk that fills up midway (a file size limit; the program ignores its
# signal, so the write fails): one line with the reason, the earlier movie
# unchanged byte for byte and no temporary file.
mkdir F
cp out.avi F/m.avi
STATUS=0
(ulimit -f 100; "$BATCH" --tiles tiles --tile 32x18 --size 320x180 --movie in.mp4 --out F/m.avi) \
  >out.txt 2>err.txt || STATUS=$?
expect_status 1 "a movie onto a full disk"
[ "$(wc -l <err.txt)" -eq 1 ] &&
  grep -q "^tessaline-batch: cannot write the movie to F/m.avi : .*file size limit" err.txt ||
  fail "a movie onto a full disk gave no clear line: $(cat err.txt)"
cmp -s out.avi F/m.avi || fail "the earlier movie was changed"
[ "$(ls -A F)" = m.avi ] || fail "a temporary file was left beside the movie: $(ls -A F)"

# An input cut short: the movie of the frames there are, and a line saying
# how many were read of those the file reports.
head -c 100000 out.avi >cut.avi
run --tiles tiles --tile 32x18 --size 320x180 --movie cut.avi --out from_cut.avi
expect_status 0 "a movie of a cut input"
read_frames=$(stream_value nb_read_frames from_cut.avi)
grep -q "^movie : $read_frames frames read : the movie file ended early (it reports 50 frames)$" \
  tessaline.log || fail "no line says that the input ended early after $read_frames frames"

run --help
for option in --movie --alpha; do
  grep -q -- "^  $option " out.txt || fail "--help does not describe $option"
done
echo "batch movie: ok"
