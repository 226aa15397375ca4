#!/usr/bin/env bash
# Installs the Debian packages tessaline needs to build, run and test.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git clang libclang-rt-14-dev
  libfltk1.3-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
  libann-dev libboost-iostreams-dev libpng-dev zlib1g-dev libgif-dev
  libftgl-dev freeglut3-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri mesa-utils
  xvfb xauth xdotool x11-utils imagemagick ffmpeg fonts-inconsolata python3-gi gir1.2-gtk-3.0
  gstreamer1.0-plugins-base
  libgtest-dev libgmock-dev libbenchmark-dev
  # Picture encoders without OpenCV's codec module; hyperfine and metapixel for the benchmarks.
  libtiff-dev libwebp-dev libheif-dev hyperfine metapixel
  plasma-workspace-wallpapers mate-backgrounds ukui-wallpapers
  # picture readers (reduced-scale JPEG, TIFF, WebP, HEIC) and the HEIC and WebP test tools
  libjpeg62-turbo-dev libheif-examples webp
  python3  # scripts/photo_library.py chooses the run command's sample photographs
  # the deep-zoom export copies Leaflet beside its page
  libjs-leaflet
  # the deep-zoom page is loaded in a headless browser by its end-to-end test
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
