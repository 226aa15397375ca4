#!/usr/bin/env bash
# Installs the Debian packages tessaline needs to build and run it, and with
# --test also what the tests and benchmarks use.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something is missing.
#   install-deps.sh [--test]
set -euo pipefail

# Building and running, and the run command's sample photographs.
packages=(
  build-essential cmake pkg-config
  libfltk1.3-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
  libann-dev libboost-iostreams-dev libpng-dev zlib1g-dev libgif-dev
  libftgl-dev freeglut3-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri fonts-inconsolata
  # picture readers and writers (reduced-scale JPEG, fast PNG, TIFF, WebP, HEIC)
  libjpeg62-turbo-dev libdeflate-dev libtiff-dev libwebp-dev libheif-dev
  # cameras.txt sources given as GStreamer pipelines
  gstreamer1.0-plugins-base
  # the deep-zoom export copies Leaflet beside its page
  libjs-leaflet
  # scripts/photo_library.py chooses the sample photographs (python3,
  # ImageMagick's convert, dpkg-deb)
  python3 imagemagick dpkg
)

if [ "${1:-}" = "--test" ]; then
  packages+=(
    git clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
    # a private X server and the tools that drive the program in it
    xvfb xauth xdotool x11-utils mesa-utils python3-gi gir1.2-gtk-3.0
    # test movies and pictures
    ffmpeg libheif-examples webp
    # the tests' offline tile folders (scripts/sample-photos.sh)
    plasma-workspace-wallpapers mate-backgrounds ukui-wallpapers
    # the benchmarks' comparisons
    hyperfine metapixel
    # the deep-zoom page is loaded in a headless browser by its end-to-end test
    chromium
  )
elif [ -n "${1:-}" ]; then
  echo "usage: install-deps.sh [--test]" >&2
  exit 2
fi

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
