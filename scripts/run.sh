#!/usr/bin/env bash
# Installs what is missing, builds, and starts tessaline in the repository's
# root folder, its working directory. The tile folder is ./images; when it is
# empty it is filled with sample photographs taken from Debian packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
bash "$root/scripts/prepare-workdir.sh" "$root"
cd "$root"
exec "$root/build/app/tessaline" "$@"
