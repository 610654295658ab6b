#!/usr/bin/env bash
# Installs the Debian packages this project builds, runs and tests with.
# Only what is missing is installed; a machine that has everything is left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libpng-dev libdeflate-dev libjpeg62-turbo-dev zlib1g-dev
  libogg-dev libvorbis-dev libmpg123-dev
  sox lame twolame vorbis-tools
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic
  libgtest-dev libgmock-dev libbenchmark-dev libspng-dev time
  clang libclang-rt-dev xvfb xauth xdotool x11-utils x11-apps imagemagick evilwm
  libepoxy-dev libgl1-mesa-dri libglx-mesa0 mesa-utils
  python3
  # the browser build (scripts/web.sh) and its tests
  emscripten nodejs chromium dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
