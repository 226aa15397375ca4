# Quitting while a first load of a large folder runs: the program ends at
# once instead of after the whole load, and the next start loads the folder
# and makes its mosaic, the cache then reading back.
source "$(dirname "$0")/lib.sh" "$@"

prepare_tiles 1  # about ten photographs
# Four hundred tiles: hard links to ten photographs of 2560 pixels, so that
# a whole load takes several seconds without filling the disk.
mkdir many big
for photo in images/*.jpg; do convert "$photo" -resize 200% "big/$(basename "$photo")"; done
n=0
while [ $n -lt 400 ]; do
  for photo in big/*.jpg; do
    [ $n -lt 400 ] || break
    ln "$photo" "many/t$n.jpg"
    n=$((n + 1))
  done
done
rm -r images big && mv many images
printf '[image]\nimage_default=images/t0.jpg\n' >tessaline.cfg
cache=images/mosaic_info2x2-32x18.pmc

start_app
press m
wait_for_line "**** load sub images : start ****" 20
start=$(date +%s%N)
xdotool key Escape
deadline=$((start + 1500000000))
while kill -0 "$APP_PID" 2>/dev/null; do
  [ "$(date +%s%N)" -lt $deadline ] || fail "the program still ran 1.5 s after Escape"
  sleep 0.05
done
wait_app
echo "ended $((($(date +%s%N) - start) / 1000000)) ms after Escape"
grep -q "images were read" tessaline.log && fail "the load was not cut short"
[ -z "$(ls -A images | grep '^\.mosaic_info.*\.tmp$')" ] || fail "a temporary cache file was left"

# The next start loads everything; the one after reads the cache back.
for expected in "add : 400" "add : 0"; do
  rm -f tessaline.log
  start_app
  press m
  wait_for_line "status : photomosaic have been generated." 120 console.txt
  expect_line "$expected" tessaline.log
  expect_line "400 images were read. " tessaline.log
  xdotool key Escape
  wait_app
  : >console.txt
done
grep -q "^use the existing mosaic infomation(.*mosaic_info2x2-32x18.pmc)$" tessaline.log || fail "the cache was not read"
echo "quit during load: ok"
