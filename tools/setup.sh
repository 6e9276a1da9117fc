#!/usr/bin/env bash
# Set-up: installs the Debian packages the build needs when they are missing, then configures and
# builds one preset (default, asan, tsan, or fuzz: the libFuzzer harnesses only). `bench` is the default build plus OpenCV and libyuv,
# which the comparison benchmark of the image primitives (imaging_peer_comparison) measures
# itself against; nothing else needs them.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

packages=(cmake ninja-build g++ binutils python3 googletest libgtest-dev libgmock-dev libbenchmark-dev pkg-config)
# Independent tools that tests check our outputs with (never skipped):
#   sox          the audio step tests read delivered samples with `sox ... stats`;
#   libzvbi-dev  the board tests read the line-21 captions back with libzvbi's raw decoder;
#   ffmpeg       the AVI test source's tests play files ffmpeg writes and compare its decoding.
packages+=(sox libzvbi-dev ffmpeg)
#   libpng-dev   the user side writes pictures of windows as PNG files, and their tests read them back.
packages+=(libpng-dev)
#   libfreetype-dev, fonts-liberation  the user side's fonts and text (FreeType over the Liberation
#                faces standing in for "Arial", "Times New Roman" and "Courier New"); the caption
#                tests make a glyph file from a real face.
packages+=(libfreetype-dev fonts-liberation)
#   clang, libclang-rt-14-dev  the fuzz preset: libFuzzer harnesses built with clang (tools/fuzz.sh).
if [ "$preset" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi
if [ "$preset" = bench ]; then
  packages+=(libopencv-dev libyuv-dev)
  preset=default
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
