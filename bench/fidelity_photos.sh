# Sourced by the benchmarks over real photographs (fidelity_compare.sh,
# cap_fidelity.sh): the photographs, the held-out targets and the tile
# folders, each made once under $WORK and reused. The caller sets
# SOURCE_DIR, WORK, MOSAIC_SIZE, TARGETS, SECTIONS and TILES (see
# fidelity_compare.sh).

make_photos() {
  [ -f "$WORK/photos.complete" ] && return
  rm -rf "$WORK/photos"
  python3 "$SOURCE_DIR/scripts/photo_library.py" "$WORK/photos"
  touch "$WORK/photos.complete"
}

# Targets: TARGETS whole-frame photographs evenly spread over the sorted
# names, held out of the library; their paths go to targets.list.
choose_targets() {
  local made="$TARGETS targets of $MOSAIC_SIZE"
  [ "$(cat "$WORK/targets.complete" 2>/dev/null)" = "$made" ] && return
  rm -rf "$WORK/targets" "$WORK"/tiles-* "$WORK"/metapixel-* && mkdir -p "$WORK/targets"
  local framed=() i step
  mapfile -t framed < <(find "$WORK/photos" -name '*.jpg' ! -name 'stamp-*' | sort)
  step=$(( ${#framed[@]} / TARGETS ))
  [ "$step" -ge 2 ] || { echo "too few photographs (${#framed[@]}) for $TARGETS targets" >&2; exit 1; }
  : >"$WORK/targets.list"
  for i in "${!framed[@]}"; do
    (( i % step == step / 2 && i / step < TARGETS )) || continue
    convert "${framed[$i]}" -resize "${MOSAIC_SIZE}^" -gravity center -extent "$MOSAIC_SIZE" \
      "$WORK/targets/$(basename "${framed[$i]}" .jpg).png"
    echo "${framed[$i]}" >>"$WORK/targets.list"
  done
  echo "$made" >"$WORK/targets.complete"
}

# The library: every photograph not held out (hard links, no copies) and,
# with SECTIONS = N, also its N x N sections as tiles of their own.
make_tiles() {
  [ -f "$TILES.complete" ] && return
  rm -rf "$TILES" "$WORK/metapixel-s$SECTIONS-"* && mkdir -p "$TILES"
  local photo
  find "$WORK/photos" -name '*.jpg' | grep -v -x -F -f "$WORK/targets.list" | sort |
    while IFS= read -r photo; do
      cp -l "$photo" "$TILES/"
      [ "$SECTIONS" -gt 0 ] || continue
      convert "$photo" -crop "${SECTIONS}x${SECTIONS}@" +repage -quality 90 \
        "$TILES/$(basename "$photo" .jpg)_part%d.jpg"
    done
  touch "$TILES.complete"
}
