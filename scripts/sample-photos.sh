#!/usr/bin/env bash
# Fills a folder with sample photographs taken from installed Debian wallpaper
# packages (plasma-workspace-wallpapers, mate-backgrounds, ukui-wallpapers):
# each photograph once at a screen size, and its nine sections as pictures of
# their own: a quick, offline tile folder for the tests and benchmarks (the
# run command's sample library is scripts/photo_library.py).
#   sample-photos.sh DIR [LIMIT]   (LIMIT: at most this many photographs)
set -euo pipefail
out=$1
limit=${2:-1000}
mkdir -p "$out"

photos() {
  # The largest picture of each Plasma wallpaper (its folder holds sizes).
  for wallpaper in /usr/share/wallpapers/*/contents/images; do
    [ -d "$wallpaper" ] || continue
    ls -S "$wallpaper"/*.jpg 2>/dev/null | head -n 1 || true
  done
  ls /usr/share/backgrounds/mate/nature/*.jpg 2>/dev/null || true
  for name in 2004default firstgeneration rhythm string the-mouse; do
    ls /usr/share/backgrounds/$name.jpg 2>/dev/null || true
  done
}

n=0
while IFS= read -r photo; do
  [ -n "$photo" ] || continue
  [ "$n" -lt "$limit" ] || break
  base=$(basename "$(dirname "$(dirname "$(dirname "$photo")")")")
  case "$photo" in /usr/share/wallpapers/*) ;; *) base=$(basename "$photo" .jpg) ;; esac
  convert "$photo" -resize 1280x1280 -quality 90 "$out/${base}.jpg" 2>/dev/null
  convert "$photo" -resize 1920x1920 -crop 3x3@ +repage -quality 90 "$out/${base}_part%d.jpg" 2>/dev/null
  n=$((n + 1))
done < <(photos)
echo "images: $n sample photographs, $(ls "$out" | wc -l) pictures in $out"
