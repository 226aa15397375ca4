# tessaline-batch --target/--out: makes the mosaic of a picture at the
# working size from whole tiles of the library, reproducibly with --seed,
# of a random tile with -1, as PNG, BMP, JPEG, TIFF, PPM, WebP or HEIC, and
# with --gpu the same picture as on the CPU; failures end with one line and
# the documented status. Runs under the Xvfb that lib.sh starts.
source "$(dirname "$0")/lib.sh"

expect_size() {
  identify -format '%m %wx%h' "$1" | grep -qx "$2[0-9]* 320x180" || fail "$1 is not a $2 of 320x180"
}
expect_one_error_line() {
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "$1: expected one line on standard error"
  grep -q "^tessaline-batch: $2" err.txt || fail "$1: the line does not say '$2'"
}

# Forty tiles, each of one flat colour, all colours distinct.
mkdir tiles
for i in $(seq 0 39); do
  printf -v colour '#%02x%02x%02x' $(((i * 53) % 256)) $(((i * 97 + 30) % 256)) $(((i * 31 + 80) % 256))
  echo "$colour" >>colours.txt
  convert -size 40x30 "xc:$colour" "tiles/t$i.png"
done
convert -size 640x360 gradient:'#ff8000-#0040c0' -swirl 120 target.png
common=(--tiles tiles --tile 16x9 --size 320x180 --k 3)

run "${common[@]}" --target target.png --out m.png --seed 5
expect_status 0 "a mosaic of target.png"
expect_size m.png PNG
expect_line "reading a texture... (target.png)" tessaline.log
expect_line "**** load sub images : end ****" tessaline.log
[ -f tiles/mosaic_info2x2-16x9.pmc ] || fail "the library was not loaded at the tile size 16x9"
# Only the program's view shows touched tiles; a plain --tiles load makes them.
[ -z "$(find tiles -name '*.tle')" ] || fail "a mosaic run made touched-tile files"

# A few cells, each of them a whole tile of the library: one flat colour
# that is a tile's colour.
for cell in 0+0 304+171 160+90 48+18 272+63 16+153; do
  crop=$(convert m.png -crop "16x9+$cell" +repage -unique-colors -format '%k %[hex:p{0,0}]' info:)
  [ "${crop%% *}" = 1 ] || fail "cell at $cell is not of one colour ($crop)"
  grep -qix "#${crop##* }" colours.txt || fail "cell at $cell is not a tile's colour ($crop)"
done

run "${common[@]}" --target target.png --out again.png --seed 5
expect_status 0 "the same mosaic again"
cmp -s m.png again.png || fail "the same seed gave another mosaic"
run "${common[@]}" --target target.png --out other.png --seed 6
cmp -s m.png other.png && fail "another seed gave the same mosaic"

run "${common[@]}" --target -1 --out random.png --seed 5
expect_status 0 "a mosaic of a random tile"
expect_size random.png PNG
grep -q "^reading a texture... (tiles/*t[0-9]*\.png)$" tessaline.log || fail "no tile was the target"

run "${common[@]}" --target target.png --out m.jpg --seed 5
expect_status 0 "a JPEG mosaic"
expect_size m.jpg JPEG
run "${common[@]}" --target target.png --out m.bmp --seed 5
expect_status 0 "a BMP mosaic"
expect_size m.bmp BMP
# The exact formats hold the very pixels of the PNG: no channel swapped, no
# row flipped; the lossy ones at least their size.
for type in TIFF:tif PPM:ppm WEBP:webp HEIC:heic; do
  run "${common[@]}" --target target.png --out "m.${type#*:}" --seed 5
  expect_status 0 "a ${type%:*} mosaic"
  expect_size "m.${type#*:}" "${type%:*}"
done
for exact in m.bmp m.tif m.ppm; do
  [ "$(compare -metric AE m.png "$exact" null: 2>&1)" = 0 ] || fail "$exact differs from m.png"
done

# The GLSL pass composes the very same picture.
run "${common[@]}" --target target.png --out gpu.png --seed 5 --gpu
expect_status 0 "a mosaic on the GPU"
grep -qx "GLSL link (mosaic synthesis)" out.txt || fail "the synthesis program was not built"
cmp -s m.png gpu.png || fail "the GPU mosaic differs from the CPU mosaic"
# Colour correction moves the same tiles toward their cells' colours, alike
# on both.
run "${common[@]}" --target target.png --out tinted.png --seed 5 --color 0.3
expect_status 0 "a colour-corrected mosaic"
run "${common[@]}" --target target.png --out tinted_gpu.png --seed 5 --color 0.3 --gpu
expect_status 0 "a colour-corrected mosaic on the GPU"
cmp -s tinted.png tinted_gpu.png || fail "the colour-corrected GPU mosaic differs from the CPU's"
! cmp -s m.png tinted.png || fail "--color 0.3 changed nothing"
# Sizes no memory holds are refused before the load, in one line, instead of
# an allocation failure after it.
run "${common[@]}" --size 16384x16384 --tile 1x1 --grid 32x32 --target target.png --out huge.png
expect_status 2 "a matching image of 524288 x 524288"
expect_one_error_line "a matching image of 524288 x 524288" "the matching image 524288 x 524288 needs"
[ ! -e huge.png ] || fail "a mosaic was written at refused sizes"
run "${common[@]}" --size 3840x2160 --tile 1x1 --k 1000 --target target.png --out huge.png
expect_status 2 "1000 candidates of 8 million cells"
expect_one_error_line "1000 candidates of 8 million cells" "search_num 1000 over 3840 x 2160 cells"
# The GPU's own limit: a matching image past the texture side.
run "${common[@]}" --size 3840x2160 --tile 1x1 --grid 8x8 --target target.png --out huge.png --gpu
expect_status 2 "a matching image past the texture side"
expect_one_error_line "a matching image past the texture side" "the matching image 30720 x 17280 is larger"

STATUS=0
env -u DISPLAY "$BATCH" "${common[@]}" --target target.png --out nodisplay.png --gpu \
  >out.txt 2>err.txt || STATUS=$?
expect_status 2 "--gpu without a display"
expect_one_error_line "--gpu without a display" "--gpu needs an X display"
[ ! -e nodisplay.png ] || fail "a mosaic was written without a display"

# Failures: one line and the documented status; a refused output type
# before anything is loaded.
: >tessaline.log
run "${common[@]}" --target target.png --out m.gif
expect_status 2 "a GIF output"
head -n 1 err.txt | grep -q "^tessaline-batch: cannot write a mosaic to 'm.gif'" ||
  fail "a GIF output gave no clear line"
[ ! -s tessaline.log ] || fail "a GIF output still loaded something"
run "${common[@]}" --target missing.png --out x.png
expect_status 1 "a missing target"
expect_one_error_line "a missing target" "cannot read the target picture missing.png : no such file$"
run "${common[@]}" --target tiles --out x.png
expect_status 1 "a folder as target"
expect_one_error_line "a folder as target" "cannot read the target picture tiles : a folder, not a picture$"
# A JPEG cut after its headers holds no picture: no grey mosaic is made of it.
convert target.png target.jpg
python3 - <<'PY'
data = open("target.jpg", "rb").read()
scan = data.index(b"\xff\xda")
open("headers.jpg", "wb").write(data[:scan + 2 + int.from_bytes(data[scan + 2:scan + 4], "big")])
PY
run "${common[@]}" --target headers.jpg --out x.png
expect_status 1 "a target of JPEG headers only"
expect_one_error_line "a target of JPEG headers only" \
  "cannot read the target picture headers.jpg : not a picture this program reads (a JPEG without image data)$"
run "${common[@]}" --target target.png --out no/folder/x.png
expect_status 1 "an unwritable output"
expect_one_error_line "an unwritable output" "cannot write the mosaic to no/folder/x.png : no folder"
# A disk that fills up (a file size limit, whose signal the program
# ignores): the line keeps the reason, and no file is left.
STATUS=0
(ulimit -f 64; "$BATCH" "${common[@]}" --target target.png --out full.bmp) >out.txt 2>err.txt ||
  STATUS=$?
expect_status 1 "a full disk"
expect_one_error_line "a full disk" "cannot write the mosaic to full.bmp : .*file size limit"
[ -z "$(ls -A | grep full)" ] || fail "a part of full.bmp was left"
mkdir empty
run --tiles empty --target target.png --out x.png
expect_status 1 "an empty library"
expect_one_error_line "an empty library" "no tile pictures in empty"
[ ! -e x.png ] || fail "a failed run wrote x.png"

run --help
expect_status 0 "--help"
for option in --tiles --tile --grid --target --out --size --k --seed --color --gpu --help; do
  grep -q -- "^  $option " out.txt || fail "--help does not describe $option"
done
echo "batch mosaic: ok"
