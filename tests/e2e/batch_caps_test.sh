# tessaline-batch --max-uses and --use-all on sample photographs: --stats
# states the mosaic once, no photo goes over the cap (or over the higher cap
# the log says the library needs), --use-all with more cells than photos
# leaves none out, and the same seed writes the same mosaic.
E2E_NO_DISPLAY=1
source "$(dirname "$0")/lib.sh" "$@"

bash "$SOURCE_DIR/scripts/sample-photos.sh" tiles 6 >/dev/null # sixty pictures
[ "$(ls tiles | wc -l)" -ge 60 ] || fail "the sample photographs are missing"
common=(--tiles tiles --target -1 --tile 16x18 --seed 11)

# 10 x 5 cells, fewer than the photos: a cap of 1 holds as it is.
run "${common[@]}" --size 160x90 --out once.png --max-uses 1 --stats
expect_status 0 "--max-uses 1"
expect_within_cap out.txt 1
grep -q "each is used at most" out.txt && fail "fifty cells need no photo twice, yet the cap was raised"
[ "$(grep -c '^cells : 50, ' out.txt)" -eq 1 ] || fail "--stats did not state the mosaic once"

# 20 x 10 cells, more than the photos.
run "${common[@]}" --size 320x180 --out all.png --max-uses 1 --use-all --stats
expect_status 0 "--max-uses 1 --use-all"
expect_within_cap out.txt 1 0
[ "$(grep -c '^cells : 200, ' tessaline.log)" -eq 1 ] || fail "the log does not state the mosaic once"
run "${common[@]}" --size 320x180 --out again.png --max-uses 1 --use-all
cmp -s all.png again.png || fail "the same seed gave another mosaic"
grep -q '^cells : ' out.txt && fail "the mosaic was stated without --stats"
echo "batch caps: ok"
