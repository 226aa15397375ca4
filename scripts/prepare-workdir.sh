#!/usr/bin/env bash
# Makes a working directory ready for tessaline: the interface pictures in
# texture/, the overlay font as Inconsolata.ttf, and an images/ folder filled
# with sample photographs from Debian packages when it holds no pictures
# (a download of about 280 MB the first time, kept in ~/.cache/tessaline).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-.}
if [ "$(cd "$dir" && pwd)" != "$root" ]; then
  mkdir -p "$dir/texture"
  cp "$root"/texture/*.png "$dir/texture/"
fi
font=/usr/share/fonts/truetype/inconsolata/Inconsolata.otf
if [ ! -e "$dir/Inconsolata.ttf" ] && [ -f "$font" ]; then
  cp "$font" "$dir/Inconsolata.ttf"
fi
mkdir -p "$dir/images"
# Pictures anywhere below, as the program's folder scan finds them.
pictures=$(find "$dir/images" -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \
  -o -iname '*.bmp' -o -iname '*.gif' -o -iname '*.tif' -o -iname '*.tiff' -o -iname '*.webp' \
  -o -iname '*.heic' -o -iname '*.heif' \) -print -quit)
if [ -z "$pictures" ]; then
  # Without them the program starts all the same, with an empty tile folder.
  python3 "$root/scripts/photo_library.py" "$dir/images" || true
fi
