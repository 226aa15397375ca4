#!/usr/bin/env bash
# Makes a working directory ready for tessaline: fills an empty images/
# folder with sample photographs from installed Debian packages.
set -euo pipefail
dir=${1:-.}
mkdir -p "$dir/images"
if [ -z "$(ls -A "$dir/images")" ]; then
  n=0
  while IFS= read -r -d '' picture; do
    cp "$picture" "$dir/images/sample_$n.${picture##*.}"
    n=$((n + 1))
  done < <(find /usr/share/backgrounds /usr/share/wallpapers /usr/share/images/desktop-base \
             -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' \) -print0 2>/dev/null)
  echo "images: $n sample pictures copied"
fi
