# A setting that sizes something is used within its sane range: a font of
# 100000 points in tessaline.ini, which would take the glyph cache down (or
# gigabytes and seconds for each line of text), is used at 72 points with
# one log line; the image information draws with it, and Esc still ends the
# program at once.
source "$(dirname "$0")/lib.sh" "$@"

prepare_colour_tiles
cp /usr/share/fonts/truetype/inconsolata/Inconsolata.otf Inconsolata.ttf
# A window wide enough for the centred line at 72 points.
printf '[gl]\nfont=100000\n[window]\nwidth=1200\nheight=600\n' >tessaline.ini

# The view lies at (7, 27) in the 1200 x 600 window and is 1186 x 382 pixels.
view_shot() {
  timeout 10 import -window "$WID" shot.png
  convert shot.png -crop 1186x382+7+27 +repage "$1"
}
# True while the program runs (an ended child stays a zombie until waited for).
running() { grep -q '^State:[[:space:]]*[^Z]' "/proc/$APP_PID/status" 2>/dev/null; }

start_app
expect_line "setting font : 100000 is out of range (6 to 72); 72 is used" tessaline.log
press m  # Generate
wait_for_line "status : photomosaic have been generated." 60 console.txt
view_shot mosaic.png

# "4" shows the image information: the name of the target over the mosaic.
press 4
deadline=$((SECONDS + 20))
until view_shot info.png && [ "$(pixels_differing mosaic.png info.png)" -gt 500 ]; do
  running || fail "the program ended while drawing the image information"
  [ $SECONDS -lt $deadline ] || fail "the image information was not drawn"
  sleep 0.3
done

xdotool windowfocus --sync "$WID" key Escape
deadline=$((SECONDS + 5))
while running; do
  [ $SECONDS -lt $deadline ] || fail "Esc did not end the program within 5 seconds"
  sleep 0.2
done
wait_app
[ "$APP_STATUS" -eq 1 ] || fail "Esc should end the program with status 1, got $APP_STATUS"
expect_line "font=72" tessaline.ini
[ -z "${TESSALINE_SHOTS:-}" ] || cp info.png "$TESSALINE_SHOTS/huge_font.png"
echo "setting bounds: ok"
