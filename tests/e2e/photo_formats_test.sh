# tessaline-batch over a folder as phones leave it: JPEGs stored sideways or
# upside down with an EXIF orientation, HEIC and WebP photos, names in any
# letter case. Every picture enters the library, and every cell of the
# mosaic is a library tile the right way up.
source "$(dirname "$0")/lib.sh"

# Puts an EXIF block holding only an orientation right after a JPEG's start
# marker, as a camera does (ImageMagick keeps no orientation it did not read).
tag_orientation() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, orientation = sys.argv[1], int(sys.argv[2])
tiff = b"MM\0*" + struct.pack(">IHHHIHHI", 8, 1, 0x0112, 3, 1, orientation, 0, 0)
body = b"Exif\0\0" + tiff
data = open(path, "rb").read()
open(path, "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body + data[2:])
PY
}

# Twelve 64 x 36 tiles, each a top half of one colour over a bottom half of
# another. Top colours are all reddish and bottom ones all bluish, so a
# tile shown sideways or upside down cannot pass for any tile upright.
mkdir tiles
names=(a.jpg b.JPG c.jpeg d.jpg e.JPG f.jpg g.heic h.HEIC i.webp j.WebP k.jpg l.png)
orients=(6 8 3 6 8 3 - - - - 1 -)
rotations=(-90 90 180 -90 90 180 0 0 0 0 0 0)
for i in $(seq 0 11); do
  top=$(printf '#%02x%02x%02x' 230 $((i * 20)) 40)
  bottom=$(printf '#%02x%02x%02x' 30 $((i * 20)) 220)
  echo "$i $top $bottom" >>halves.txt
  convert -size 64x18 "xc:$top" -size 64x18 "xc:$bottom" -append "up$i.png"
  if [ "${orients[$i]}" = - ]; then
    convert "up$i.png" -quality 95 "tiles/${names[$i]}"
  else
    convert "up$i.png" -rotate "${rotations[$i]}" -quality 95 "tiles/${names[$i]}"
    tag_orientation "tiles/${names[$i]}" "${orients[$i]}"
  fi
done
# The target is made of the upright tiles themselves, one a cell, so that
# the mosaic picks every kind of file.
cells=()
for c in $(seq 0 19); do cells+=("up$((c % 12)).png"); done
convert "${cells[@]}" -resize '32x18!' +append row.png
convert $(for r in $(seq 0 19); do echo row.png; done) -append target.png
rm up*.png row.png

run --tiles tiles --tile 16x9 --size 320x180 --k 3 --target target.png --out m.png --seed 3
expect_status 0 "the batch run"
expect_line "**** load sub images : end ****" tessaline.log
for name in "${names[@]}"; do
  grep -aq "/$name" tiles/mosaic_info*.pmc || fail "$name did not enter the library"
done

convert m.png -depth 8 rgb:m.rgb
python3 - m.rgb halves.txt <<'PY' || fail "a mosaic cell is not an upright library tile"
import sys
data = open(sys.argv[1], "rb").read()
tiles = []
for line in open(sys.argv[2]):
    _, top, bottom = line.split()
    rgb = lambda h: tuple(int(h[k:k + 2], 16) for k in (1, 3, 5))
    tiles.append((rgb(top), rgb(bottom)))
def pixel(x, y):
    at = (y * 320 + x) * 3
    return tuple(data[at:at + 3])
def near(a, b):
    return max(abs(p - q) for p, q in zip(a, b)) <= 24
used = set()
for cy in range(0, 180, 9):
    for cx in range(0, 320, 16):
        corners = [pixel(cx + x, cy + y) for x, y in ((1, 1), (14, 1), (1, 7), (14, 7))]
        match = [i for i, (t, b) in enumerate(tiles)
                 if all(near(c, t) for c in corners[:2]) and all(near(c, b) for c in corners[2:])]
        if not match:
            sys.exit("cell at %d,%d: %s" % (cx, cy, corners))
        used.add(match[0])
# Rotated JPEGs (0-5), HEIC (6, 7) and WebP (8, 9) all show in the mosaic.
if not {0, 1, 2, 6, 7, 8, 9} <= used:
    sys.exit("tiles used: %s" % sorted(used))
PY
