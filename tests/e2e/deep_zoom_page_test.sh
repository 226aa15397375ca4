# The deep-zoom page in a headless Chromium shows the mosaic undistorted:
# the fitted view keeps the picture's size and aspect, and at three zoom
# levels around the bottom-right corner, where every pyramid level has its
# smaller edge tiles (128 x 56 at level 11, 192 x 28 at level 10), the
# screen matches the print picture. A click there names the photo of the
# cell under the pointer and opens its popup at that point.
source "$(dirname "$0")/lib.sh"

if ! command -v chromium >/dev/null; then
  echo "SKIP: chromium is not installed (Debian package chromium): the deep-zoom page is not checked"
  exit 77
fi

prepare_swirl_tiles
# 20 x 20 cells of 96 x 54 pixels: a 1920 x 1080 picture, levels 0 to 11.
run --tiles tiles --tile 16x9 --size 320x180 --target target.png --seed 3 \
  --print 96 --out print.png --deepzoom dz
expect_status 0 "the batch"
[ "$(identify -format '%wx%h' dz/mosaic_files/11/7_4.jpg)" = 128x56 ] ||
  fail "the corner tile of level 11 is not 128 x 56"

# A 1000 x 600 screenshot of the page with the view $1 (#ZOOM/X/Y or
# empty) into $2. Headless Chromium lays a page out in a shorter viewport
# and enlarges it just before the screenshot, too late for the tiles the
# map then needs; a frame of fixed size inside the page keeps the map's size.
shoot() {
  printf '<body style="margin: 0"><iframe src="dz/index.html%s" %s></iframe></body>\n' "$1" \
    'style="border: 0; width: 1000px; height: 600px"' >frame.html
  rm -f raw.png
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars \
    --user-data-dir="$WORK/profile" --allow-file-access-from-files --window-size=1000,800 \
    --virtual-time-budget=8000 --screenshot="$WORK/raw.png" "file://$WORK/frame.html" \
    >/dev/null 2>&1 || true
  [ -f raw.png ] || fail "chromium made no screenshot of index.html$1"
  convert raw.png -crop 1000x600+0+0 +repage "$2"
}
# Where the picture lies on screenshot $1 ("W H X Y"), the zoom buttons,
# the photo's name and the attribution painted over in the background colour.
extent() {
  convert "$1" -fill '#202020' -draw 'rectangle 0,0 60,90' -draw 'rectangle 0,550 300,600' \
    -draw 'rectangle 900,571 1000,600' -fuzz 3% -trim -format '%w %h %X %Y' info:
}
# Fails unless the numbers $2 and $3 differ by at most a pixel ($1 says
# what they are): Leaflet may round a level's position either way.
expect_near() {
  awk -v a="$2" -v b="$3" 'BEGIN { exit !(a - b <= 1 && b - a <= 1) }' ||
    fail "$1 is $2, not $3"
}

# Fitted: zoom 10 shows the picture at half size, centred in 1000 x 600.
shoot "" fit.png
read -r w h x y <<<"$(extent fit.png)"
expect_near "the fitted mosaic's width" "$w" 960
expect_near "the fitted mosaic's height" "$h" 540
expect_near "the fitted mosaic's left edge" "$x" 20
expect_near "the fitted mosaic's top edge" "$y" 30
# Compared right of the zoom buttons, like the views below.
convert fit.png -crop "$((x + 960 - 64))x540+64+$y" +repage fit_shown.png
convert print.png -scale 50% -crop "$((x + 960 - 64))x540+$((64 - x))+0" +repage fit_expected.png
e=$(rmse fit_shown.png fit_expected.png)
below "$e" 0.03 || fail "the fitted view is not the mosaic (RMSE $e)"

# Zoom 10, 11 and 12 (the full size is zoom 11; 12 enlarges level 11) with
# the centre X, Y in full-size pixels: the picture fills the frame from its
# top left and ends where its corner belongs, and the screen right of the
# zoom buttons is the print picture.
for view in "10 1600 800" "11 1700 900" "12 1800 960"; do
  read -r z cx cy <<<"$view"
  shoot "#$z/$cx/$cy" "zoom$z.png"
  read -r right bottom x y <<<"$(extent "zoom$z.png")"
  scale=$(awk -v z="$z" 'BEGIN { print 2 ^ (z - 11) }')
  expect_near "at zoom $z the picture's left edge" "$x" 0
  expect_near "at zoom $z the picture's top edge" "$y" 0
  expect_near "at zoom $z the picture's right edge" "$right" \
    "$(awk -v s="$scale" -v c="$cx" 'BEGIN { print 500 + (1920 - c) * s }')"
  expect_near "at zoom $z the picture's bottom edge" "$bottom" \
    "$(awk -v s="$scale" -v c="$cy" 'BEGIN { print 300 + (1080 - c) * s }')"
  # The compared part starts right of the buttons, on a whole full-size
  # pixel when the view enlarges.
  read -r left top fw fh fx fy <<<"$(awk -v s="$scale" -v r="$right" -v b="$bottom" 'BEGIN {
    k = s > 1 ? s : 1; l = 64 + (r - 64) % k; t = b % k
    printf "%d %d %d %d %d %d", l, t, (r - l) / s, (b - t) / s, 1920 - (r - l) / s, 1080 - (b - t) / s }')"
  convert "zoom$z.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "shown$z.png"
  convert print.png -crop "${fw}x${fh}+${fx}+${fy}" +repage \
    -resize "$((right - left))x$((bottom - top))!" "expected$z.png"
  e=$(rmse "shown$z.png" "expected$z.png")
  below "$e" 0.03 || fail "the bottom-right corner at zoom $z is not the mosaic (RMSE $e)"
done

# A click 200 and 220 pixels right of and below the centre of the zoom 12
# view lands on full-size pixel (1900, 1070): the last cell, column 19 and
# row 19. The probe clicks once the tiles are in and, once the popup is
# open, writes into the page the photo named, the click and where the
# popup's tip points.
cat >dz/probe.js <<'JS'
(function () {
  var x = Math.round(innerWidth / 2) + 200, y = Math.round(innerHeight / 2) + 220;
  function report() {
    var tip = document.querySelector('.leaflet-popup-tip-container');
    if (!tip) return setTimeout(report, 50);
    var r = tip.getBoundingClientRect();
    var out = document.createElement('div');
    out.id = 'probe';
    out.textContent = [document.getElementById('photo').textContent || 'none', x, y,
      Math.round(r.left + r.width / 2), Math.round(r.bottom)].join(' ');
    document.body.appendChild(out);
  }
  function click() {
    if (document.querySelectorAll('.leaflet-tile').length === 0 ||
        document.querySelector('.leaflet-tile:not(.leaflet-tile-loaded)'))
      return setTimeout(click, 50);
    document.elementFromPoint(x, y).dispatchEvent(
      new MouseEvent('click', { bubbles: true, cancelable: true, clientX: x, clientY: y }));
    report();
  }
  click();
})();
JS
sed 's#</body>#<script src="probe.js"></script></body>#' dz/index.html >dz/probeindex.html
timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
  --user-data-dir="$WORK/profile" --allow-file-access-from-files --window-size=1000,800 \
  --virtual-time-budget=8000 --dump-dom "file://$WORK/dz/probeindex.html#12/1800/960" \
  >probe.html 2>/dev/null || true
expected=$(python3 - <<'PY'
import json
text = open("dz/cells.js").read()
m = json.loads(text[text.index("{"):text.rindex("}") + 1])
print(m["names"][m["cells"][19 * m["divX"] + 19]])
PY
)
read -r photo click_x click_y tip_x tip_y <<<"$(sed -n 's/.*<div id="probe">\([^<]*\)<.*/\1/p' probe.html)"
[ "${photo:-}" = "$expected" ] || fail "a click on the last cell names '${photo:-}', not $expected"
expect_near "the popup tip's x" "$tip_x" "$click_x"
# Leaflet's popup offset (0, 7) puts the bottom of the tip's box 7 pixels
# below the point the tip shows.
expect_near "the popup tip's bottom" "$tip_y" "$((click_y + 7))"

if [ -n "${TESSALINE_SHOTS:-}" ]; then
  cp fit.png zoom10.png zoom11.png zoom12.png "$TESSALINE_SHOTS/"
fi
echo "deep zoom page: ok"
