#!/usr/bin/env bash
# Makes a working directory ready for tessaline: the interface pictures in
# texture/, the overlay font as Inconsolata.ttf, and an images/ folder filled
# with sample photographs from installed Debian packages when it is empty.
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
if [ -z "$(ls -A "$dir/images")" ]; then
  bash "$root/scripts/sample-photos.sh" "$dir/images"
fi
